#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <pugixml.hpp>

// The shared string table of an .xlsx package (xl/sharedStrings.xml). Written strings are
// added here rather than written inline, because not every reader (orcus among them, which
// this program reads with) takes inline strings. Existing entries, rich text included, stay.
class XlsxSharedStrings
{
public:
    XlsxSharedStrings();
    // Parses an existing table; false when it is no string table.
    bool load(const QByteArray &xml);
    // The plain text of entry index ("" when there is none).
    QString text(int index) const;
    // The entry for text: an existing plain one, else a new one at the end.
    int add(const QString &text);
    // True when entries were added since loading.
    bool changed() const { return mChanged; }
    // The table with its added entries.
    QByteArray save();

    // The text as an .xlsx string: control characters, which XML cannot carry, and text that
    // looks like such an escape are written as _xHHHH_.
    static QString escaped(const QString &text);

private:
    pugi::xml_document mDocument;
    QStringList mTexts;
    // Plain entries by their text, for reuse; an entry with formatted runs is not reused.
    QHash<QString, int> mPlain;
    bool mChanged = false;
};
