#include "workbook/XlsxSharedStrings.h"

#include <QRegularExpression>

#include <sstream>

namespace {

// An element's name without its namespace prefix.
QString localName(const pugi::xml_node &node)
{
    const QString name = QString::fromUtf8(node.name());
    return name.mid(name.indexOf(u':') + 1);
}

// The element's namespace prefix with its colon ("" for the default namespace).
QString prefixOf(const pugi::xml_node &node)
{
    const QString name = QString::fromUtf8(node.name());
    return name.left(name.indexOf(u':') + 1);
}

} // namespace

// A package without a table gets an empty one.
XlsxSharedStrings::XlsxSharedStrings()
{
    load(QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                           "count=\"0\" uniqueCount=\"0\"/>"));
}

bool XlsxSharedStrings::load(const QByteArray &xml)
{
    mTexts.clear();
    mPlain.clear();
    mChanged = false;
    const unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;
    if (!mDocument.load_buffer(xml.constData(), std::size_t(xml.size()), options, pugi::encoding_utf8)
        || localName(mDocument.document_element()) != QLatin1String("sst"))
        return false;
    for (pugi::xml_node item : mDocument.document_element().children()) {
        if (localName(item) != QLatin1String("si"))
            continue;
        QString text;
        bool plain = true;
        for (pugi::xml_node piece : item.children()) {
            if (localName(piece) == QLatin1String("t")) {
                text += QString::fromUtf8(piece.text().get());
            } else if (localName(piece) == QLatin1String("r")) {
                plain = false;
                for (pugi::xml_node run : piece.children()) {
                    if (localName(run) == QLatin1String("t"))
                        text += QString::fromUtf8(run.text().get());
                }
            }
        }
        if (plain && !text.contains(u'_') && !mPlain.contains(text))
            mPlain.insert(text, int(mTexts.size()));
        mTexts.append(text);
    }
    return true;
}

QString XlsxSharedStrings::text(int index) const
{
    return index >= 0 && index < mTexts.size() ? mTexts.at(index) : QString();
}

int XlsxSharedStrings::add(const QString &text)
{
    const auto found = mPlain.constFind(text);
    if (found != mPlain.constEnd())
        return *found;
    pugi::xml_node root = mDocument.document_element();
    const QString prefix = prefixOf(root);
    pugi::xml_node t = root.append_child((prefix + QLatin1String("si")).toUtf8().constData())
                           .append_child((prefix + QLatin1String("t")).toUtf8().constData());
    if (!text.isEmpty() && (text.front().isSpace() || text.back().isSpace()))
        t.append_attribute("xml:space") = "preserve";
    t.text().set(escaped(text).toUtf8().constData());
    const int index = int(mTexts.size());
    mTexts.append(text);
    mPlain.insert(text, index);
    mChanged = true;
    return index;
}

QByteArray XlsxSharedStrings::save()
{
    pugi::xml_node root = mDocument.document_element();
    if (!root.attribute("uniqueCount"))
        root.append_attribute("uniqueCount");
    root.attribute("uniqueCount").set_value(mTexts.size());
    // The count of all uses is optional and no longer known after editing.
    root.remove_attribute("count");
    std::ostringstream out;
    mDocument.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

QString XlsxSharedStrings::escaped(const QString &text)
{
    static const QRegularExpression lookalike(QStringLiteral("_(x[0-9A-Fa-f]{4}_)"));
    QString escapedText = text;
    escapedText.replace(lookalike, QStringLiteral("_x005F_\\1"));
    QString result;
    result.reserve(escapedText.size());
    for (const QChar c : escapedText) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            result += QLatin1String("_x") + QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper() + u'_';
        else
            result += c;
    }
    return result;
}
