#pragma once

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

#include <map>
#include <utility>

// The cell formats of an .xlsx package (xl/styles.xml), as far as a written duration needs
// them: a cell keeps the number format its template gave it, and one without gets a copy of
// its own format with the duration's number format added.
class XlsxStyles
{
public:
    XlsxStyles();
    // Parses an existing part; false when it is no style sheet.
    bool load(const QByteArray &xml);
    // True when the cell format (an index into cellXfs) shows numbers its own way: anything
    // but General and Text, which would show a duration as a bare fraction of a day.
    bool hasNumberFormat(int style) const;
    // The cell format like style, but with the number format code; made once per pair.
    int withNumberFormat(int style, const QString &code);
    // True when formats were added since loading.
    bool changed() const { return mChanged; }
    // The part with its added formats.
    QByteArray save() const;

private:
    pugi::xml_node cellFormat(int style) const;
    int numberFormatId(const QString &code);

    pugi::xml_document mDocument;
    // The namespace prefix of the part's elements, with its colon ("" for the default one).
    QString mPrefix;
    // Cell formats made, by (original format, number format code), so each is made once.
    std::map<std::pair<int, QString>, int> mMade;
    bool mChanged = false;
};
