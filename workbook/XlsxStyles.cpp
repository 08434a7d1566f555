#include "workbook/XlsxStyles.h"

#include <algorithm>
#include <sstream>

namespace {

constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

// Number formats 0 (General) and 49 (Text) are built in; custom ones start at 164.
constexpr int generalId = 0;
constexpr int textId = 49;
constexpr int firstCustomId = 164;

QString localName(const pugi::xml_node &node)
{
    const QString name = QString::fromUtf8(node.name());
    return name.mid(name.indexOf(u':') + 1);
}

// The element's child with that local name; made where the schema orders it when create is set.
pugi::xml_node child(pugi::xml_node parent, const QString &prefix, const char *name, bool create)
{
    for (pugi::xml_node node : parent.children()) {
        if (node.type() == pugi::node_element && localName(node) == QLatin1String(name))
            return node;
    }
    if (!create)
        return {};
    // numFmts comes first in a style sheet; cellXfs after cellStyleXfs (or borders).
    const QByteArray element = (prefix + QString::fromUtf8(name)).toUtf8();
    if (qstrcmp(name, "numFmts") == 0)
        return parent.prepend_child(element.constData());
    pugi::xml_node after;
    for (const char *previous : {"fonts", "fills", "borders", "cellStyleXfs"}) {
        if (const pugi::xml_node node = child(parent, prefix, previous, false))
            after = node;
    }
    return after ? parent.insert_child_after(element.constData(), after) : parent.prepend_child(element.constData());
}

} // namespace

// A package without a style sheet gets the least one a spreadsheet program takes.
XlsxStyles::XlsxStyles()
{
    load(QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
        "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
        "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
        "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
        "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
        "</styleSheet>"));
}

bool XlsxStyles::load(const QByteArray &xml)
{
    mMade.clear();
    mChanged = false;
    if (!mDocument.load_buffer(xml.constData(), std::size_t(xml.size()), parseOptions, pugi::encoding_utf8))
        return false;
    const pugi::xml_node root = mDocument.document_element();
    if (localName(root) != QLatin1String("styleSheet"))
        return false;
    const QString name = QString::fromUtf8(root.name());
    mPrefix = name.left(name.indexOf(u':') + 1);
    return true;
}

bool XlsxStyles::hasNumberFormat(int style) const
{
    const pugi::xml_node xf = cellFormat(style);
    const int id = xf ? xf.attribute("numFmtId").as_int() : generalId;
    if (id == generalId || id == textId)
        return false;
    if (id < firstCustomId)
        return true;
    // LibreOffice writes General as a custom format of its own.
    const pugi::xml_node formats = child(mDocument.document_element(), mPrefix, "numFmts", false);
    for (pugi::xml_node format : formats.children()) {
        if (format.attribute("numFmtId").as_int() == id) {
            const QString code = QString::fromUtf8(format.attribute("formatCode").value());
            return code.compare(QLatin1String("General"), Qt::CaseInsensitive) != 0 && code != QLatin1String("@");
        }
    }
    return false;
}

int XlsxStyles::withNumberFormat(int style, const QString &code)
{
    const auto found = mMade.find({style, code});
    if (found != mMade.end())
        return found->second;
    pugi::xml_node formats = child(mDocument.document_element(), mPrefix, "cellXfs", true);
    const pugi::xml_node original = cellFormat(style);
    pugi::xml_node xf = original ? formats.append_copy(original)
                                 : formats.append_child((mPrefix + QLatin1String("xf")).toUtf8().constData());
    const int id = numberFormatId(code);
    for (const char *name : {"numFmtId", "applyNumberFormat"}) {
        if (!xf.attribute(name))
            xf.append_attribute(name);
    }
    xf.attribute("numFmtId").set_value(id);
    xf.attribute("applyNumberFormat").set_value("true");
    int count = 0;
    for (pugi::xml_node node : formats.children()) {
        if (localName(node) == QLatin1String("xf"))
            ++count;
    }
    if (!formats.attribute("count"))
        formats.append_attribute("count");
    formats.attribute("count").set_value(count);
    mChanged = true;
    mMade[{style, code}] = count - 1;
    return count - 1;
}

QByteArray XlsxStyles::save() const
{
    std::ostringstream out;
    mDocument.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

pugi::xml_node XlsxStyles::cellFormat(int style) const
{
    const pugi::xml_node formats = child(mDocument.document_element(), mPrefix, "cellXfs", false);
    int index = 0;
    for (pugi::xml_node xf : formats.children()) {
        if (localName(xf) != QLatin1String("xf"))
            continue;
        if (index++ == style)
            return xf;
    }
    return {};
}

// The id of the custom number format with that code, added when there is none yet.
int XlsxStyles::numberFormatId(const QString &code)
{
    pugi::xml_node formats = child(mDocument.document_element(), mPrefix, "numFmts", true);
    int highest = firstCustomId - 1;
    int count = 0;
    for (pugi::xml_node format : formats.children()) {
        if (localName(format) != QLatin1String("numFmt"))
            continue;
        ++count;
        const int id = format.attribute("numFmtId").as_int();
        if (QString::fromUtf8(format.attribute("formatCode").value()) == code)
            return id;
        highest = std::max(highest, id);
    }
    pugi::xml_node format = formats.append_child((mPrefix + QLatin1String("numFmt")).toUtf8().constData());
    format.append_attribute("numFmtId") = highest + 1;
    format.append_attribute("formatCode") = code.toUtf8().constData();
    if (!formats.attribute("count"))
        formats.append_attribute("count");
    formats.attribute("count").set_value(count + 1);
    return highest + 1;
}
