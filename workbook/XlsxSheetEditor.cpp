#include "workbook/XlsxSheetEditor.h"

#include "core/TimeText.h"
#include "workbook/DurationFormat.h"
#include "workbook/Workbook.h"
#include "workbook/XlsxFormula.h"
#include "workbook/XlsxSharedStrings.h"
#include "workbook/XlsxStyles.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// Parse options that keep a text consisting of spaces only ("<t> </t>").
constexpr unsigned parseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;

// "A" for column 1, "AB" for 28.
QString columnName(int column)
{
    QString name;
    for (; column > 0; column = (column - 1) / 26)
        name.prepend(QChar(u'A' + (column - 1) % 26));
    return name;
}

// Splits a reference such as "AB12" into row and column; false when it is none.
bool parseReference(const char *text, int *row, int *column)
{
    int c = 0;
    int r = 0;
    const char *p = text;
    for (; *p >= 'A' && *p <= 'Z'; ++p)
        c = c * 26 + (*p - 'A' + 1);
    for (; *p >= '0' && *p <= '9'; ++p)
        r = r * 10 + (*p - '0');
    if (c == 0 || r == 0 || *p != '\0')
        return false;
    *row = r;
    *column = c;
    return true;
}

bool isTrue(const pugi::xml_attribute &attribute)
{
    const QByteArray value(attribute.value());
    return value == "1" || value == "true";
}

// The shortest text that reads back as the same double.
QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

bool XlsxSheetEditor::load(const QByteArray &xml, XlsxSharedStrings *sharedStrings, XlsxStyles *styles,
                           QChar decimalSeparator)
{
    mSharedStrings = sharedStrings;
    mStyles = styles;
    mDecimalSeparator = decimalSeparator;
    if (!mDocument.load_buffer(xml.constData(), std::size_t(xml.size()), parseOptions, pugi::encoding_utf8))
        return false;
    const pugi::xml_node root = mDocument.document_element();
    const QString rootName = QString::fromUtf8(root.name());
    if (!rootName.endsWith(QLatin1String("worksheet")))
        return false;
    mPrefix = rootName.left(rootName.size() - int(qstrlen("worksheet")));
    mSheetData = root.child(tag("sheetData").toUtf8().constData());
    if (!mSheetData)
        return false;
    // Rows and cells may leave their position implied; make it explicit so that new ones
    // can be put in order.
    int rowNumber = 0;
    // The names outlive the loops: pugixml keeps only the pointer.
    const QByteArray rowTag = tag("row").toUtf8();
    const QByteArray cellTag = tag("c").toUtf8();
    for (pugi::xml_node rowNode : mSheetData.children(rowTag.constData())) {
        const int given = rowNode.attribute("r").as_int();
        rowNumber = given > 0 ? given : rowNumber + 1;
        if (given <= 0)
            rowNode.append_attribute("r") = rowNumber;
        mRows[rowNumber] = rowNode;
        int columnNumber = 0;
        for (pugi::xml_node cellNode : rowNode.children(cellTag.constData())) {
            int r = 0;
            int c = 0;
            if (parseReference(cellNode.attribute("r").value(), &r, &c)) {
                columnNumber = c;
            } else {
                ++columnNumber;
                const QByteArray ref = (columnName(columnNumber) + QString::number(rowNumber)).toUtf8();
                if (!cellNode.attribute("r"))
                    cellNode.prepend_attribute("r");
                cellNode.attribute("r").set_value(ref.constData());
            }
        }
    }
    return true;
}

QByteArray XlsxSheetEditor::save()
{
    updateDimension();
    std::ostringstream out;
    mDocument.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

void XlsxSheetEditor::setCell(int row, int column, const QVariant &given)
{
    // A cell cannot hold NaN or infinity: such a cell is left empty, as in a new workbook. An
    // empty text leaves it empty too, as a new workbook does, rather than pointing at an empty
    // shared string, which orcus reads as the entry before it.
    const bool nothing = (CellIsNumber(given) && !std::isfinite(given.toDouble()))
        || (given.typeId() == QMetaType::QString && given.toString().isEmpty());
    const QVariant value = nothing ? QVariant() : given;
    pugi::xml_node rowNode = this->row(row, value.isValid());
    if (!rowNode)
        return;
    pugi::xml_node cellNode = cell(rowNode, row, column, value.isValid());
    if (!cellNode || holds(cellNode, value))
        return;
    clearContent(cellNode);
    if (!value.isValid())
        return;
    const QByteArray v = tag("v").toUtf8();
    if (value.typeId() == qMetaTypeId<CellDuration>()) {
        writeDuration(cellNode, value.value<CellDuration>().ms);
    } else if (value.typeId() == QMetaType::Bool) {
        cellNode.append_attribute("t") = "b";
        cellNode.append_child(v.constData()).text().set(value.toBool() ? "1" : "0");
    } else if (value.typeId() == qMetaTypeId<CellError>()) {
        cellNode.append_attribute("t") = "e";
        cellNode.append_child(v.constData()).text().set(value.value<CellError>().text.toUtf8().constData());
    } else if (CellIsNumber(value)) {
        cellNode.append_child(v.constData()).text().set(numberText(value.toDouble()).toUtf8().constData());
    } else {
        const QString text = value.toString();
        cellNode.append_attribute("t") = "s";
        cellNode.append_child(tag("v").toUtf8().constData()).text().set(mSharedStrings->add(text));
    }
    // The row's span hint may no longer cover its cells; it is optional.
    rowNode.remove_attribute("spans");
    mTop = mTop ? std::min(mTop, row) : row;
    mLeft = mLeft ? std::min(mLeft, column) : column;
    mBottom = std::max(mBottom, row);
    mRight = std::max(mRight, column);
}

int XlsxSheetEditor::dropFormulaResults()
{
    const QByteArray cellTag = tag("c").toUtf8();
    const QByteArray formulaTag = tag("f").toUtf8();
    const QByteArray valueTag = tag("v").toUtf8();
    int dropped = 0;
    for (const auto &[number, rowNode] : mRows) {
        for (pugi::xml_node cellNode : rowNode.children(cellTag.constData())) {
            if (!cellNode.child(formulaTag.constData()) || !cellNode.remove_child(valueTag.constData()))
                continue;
            // The type told what the result was; without one the cell reads as a number.
            cellNode.remove_attribute("t");
            ++dropped;
        }
    }
    return dropped;
}

QByteArray XlsxSheetEditor::emptyPart()
{
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<sheetData/></worksheet>");
}

// The row element with that number, made (in order) when create is set.
pugi::xml_node XlsxSheetEditor::row(int number, bool create)
{
    const auto found = mRows.find(number);
    if (found != mRows.end())
        return found->second;
    if (!create)
        return {};
    const auto next = mRows.upper_bound(number);
    const QByteArray name = tag("row").toUtf8();
    pugi::xml_node rowNode = next == mRows.end() ? mSheetData.append_child(name.constData())
                                                 : mSheetData.insert_child_before(name.constData(), next->second);
    rowNode.append_attribute("r") = number;
    mRows[number] = rowNode;
    return rowNode;
}

// The cell element in rowNode for that column, made (in order, with the row's or the
// column's style, as the application gives a cell typed into) when create is set.
pugi::xml_node XlsxSheetEditor::cell(pugi::xml_node rowNode, int row, int column, bool create)
{
    const QByteArray name = tag("c").toUtf8();
    pugi::xml_node before;
    for (pugi::xml_node cellNode : rowNode.children(name.constData())) {
        int r = 0;
        int c = 0;
        parseReference(cellNode.attribute("r").value(), &r, &c);
        if (c == column)
            return cellNode;
        if (c > column) {
            before = cellNode;
            break;
        }
    }
    if (!create)
        return {};
    pugi::xml_node cellNode;
    if (before) {
        cellNode = rowNode.insert_child_before(name.constData(), before);
    } else {
        // Cells come before a row's extension list, if it has one.
        const pugi::xml_node extension = rowNode.child(tag("extLst").toUtf8().constData());
        cellNode = extension ? rowNode.insert_child_before(name.constData(), extension)
                             : rowNode.append_child(name.constData());
    }
    cellNode.append_attribute("r") = (columnName(column) + QString::number(row)).toUtf8().constData();
    int style = 0;
    if (isTrue(rowNode.attribute("customFormat")))
        style = rowNode.attribute("s").as_int();
    else
        style = columnStyle(column);
    if (style > 0)
        cellNode.append_attribute("s") = style;
    return cellNode;
}

// True when the cell already shows value (a cell with a formula: as its last result).
bool XlsxSheetEditor::holds(pugi::xml_node cellNode, const QVariant &value) const
{
    const QByteArray type(cellNode.attribute("t").value());
    const pugi::xml_node v = cellNode.child(tag("v").toUtf8().constData());
    const bool hasContent = v || cellNode.child(tag("is").toUtf8().constData())
        || cellNode.child(tag("f").toUtf8().constData());
    if (!value.isValid())
        return !hasContent;
    if (!hasContent)
        return false;
    // A duration may need another number format: it is always written.
    if (value.typeId() == qMetaTypeId<CellDuration>())
        return false;
    if (value.typeId() == QMetaType::Bool)
        return type == "b" && v && QByteArray(v.text().get()).trimmed() == (value.toBool() ? "1" : "0");
    if (value.typeId() == qMetaTypeId<CellError>())
        return type == "e" && v && QString::fromUtf8(v.text().get()) == value.value<CellError>().text;
    if (CellIsNumber(value)) {
        if (!(type.isEmpty() || type == "n") || !v)
            return false;
        bool ok = false;
        const double held = QByteArray(v.text().get()).trimmed().toDouble(&ok);
        return ok && held == value.toDouble();
    }
    QString held;
    if (type == "s") {
        held = mSharedStrings->text(v.text().as_int(-1));
    } else if (type == "inlineStr") {
        const pugi::xml_node is = cellNode.child(tag("is").toUtf8().constData());
        for (pugi::xml_node part : is.children()) {
            if (QString::fromUtf8(part.name()) == tag("t"))
                held += QString::fromUtf8(part.text().get());
            else if (QString::fromUtf8(part.name()) == tag("r"))
                held += QString::fromUtf8(part.child(tag("t").toUtf8().constData()).text().get());
        }
    } else if (type == "str" || type == "e") {
        held = QString::fromUtf8(v.text().get());
    } else {
        return false;
    }
    return held == value.toString();
}

// The style the column's definition gives its cells (0 when none).
int XlsxSheetEditor::columnStyle(int column) const
{
    const pugi::xml_node cols = mDocument.document_element().child(tag("cols").toUtf8().constData());
    const QByteArray colTag = tag("col").toUtf8();
    for (pugi::xml_node col : cols.children(colTag.constData())) {
        if (column >= col.attribute("min").as_int() && column <= col.attribute("max").as_int())
            return col.attribute("style").as_int();
    }
    return 0;
}

// Takes value and formula out of the cell; its style stays.
void XlsxSheetEditor::clearContent(pugi::xml_node cellNode)
{
    const pugi::xml_node formula = cellNode.child(tag("f").toUtf8().constData());
    if (QByteArray(formula.attribute("t").value()) == "shared" && formula.attribute("ref"))
        expandSharedFormula(cellNode, formula);
    for (const char *child : {"f", "v", "is"}) {
        const QByteArray name = tag(child).toUtf8();
        while (cellNode.remove_child(name.constData())) {
        }
    }
    cellNode.remove_attribute("t");
}

// Writes the shared formula anchored in anchor as a plain formula into every cell that shares
// it, so that none is left pointing at a formula that is gone.
void XlsxSheetEditor::expandSharedFormula(pugi::xml_node anchor, pugi::xml_node formula)
{
    int anchorRow = 0;
    int anchorColumn = 0;
    if (!parseReference(anchor.attribute("r").value(), &anchorRow, &anchorColumn))
        return;
    const QByteArray index(formula.attribute("si").value());
    const QString text = QString::fromUtf8(formula.text().get());
    const QStringList corners = QString::fromUtf8(formula.attribute("ref").value()).split(u':');
    int bottom = anchorRow;
    int right = anchorColumn;
    int r = 0;
    int c = 0;
    if (parseReference(corners.last().toUtf8().constData(), &r, &c)) {
        bottom = r;
        right = c;
    }
    const QByteArray cellTag = tag("c").toUtf8();
    const QByteArray formulaTag = tag("f").toUtf8();
    for (auto row = mRows.lower_bound(anchorRow); row != mRows.end() && row->first <= bottom; ++row) {
        for (pugi::xml_node cellNode : row->second.children(cellTag.constData())) {
            if (!parseReference(cellNode.attribute("r").value(), &r, &c) || c < anchorColumn || c > right
                || cellNode == anchor)
                continue;
            pugi::xml_node shared = cellNode.child(formulaTag.constData());
            if (QByteArray(shared.attribute("t").value()) != "shared" || QByteArray(shared.attribute("si").value()) != index)
                continue;
            // The formula keeps its place before the cached value.
            for (const char *name : {"t", "si", "ref"})
                shared.remove_attribute(name);
            shared.text().set(XlsxFormula::shifted(text, r - anchorRow, c - anchorColumn).toUtf8().constData());
        }
    }
}

// A duration as a number of days, with a duration's number format unless the cell has its own.
void XlsxSheetEditor::writeDuration(pugi::xml_node cellNode, std::int32_t ms)
{
    const QByteArray v = tag("v").toUtf8();
    if (!DurationFormat::fits(ms)) {
        cellNode.append_attribute("t") = "s";
        cellNode.append_child(v.constData()).text().set(mSharedStrings->add(TimeText::FormatRaceTime(ms, mDecimalSeparator)));
        return;
    }
    cellNode.append_child(v.constData()).text().set(numberText(DurationFormat::days(ms)).toUtf8().constData());
    const int style = cellNode.attribute("s").as_int();
    if (mStyles->hasNumberFormat(style))
        return;
    if (!cellNode.attribute("s"))
        cellNode.append_attribute("s");
    cellNode.attribute("s").set_value(mStyles->withNumberFormat(style, DurationFormat::code(ms, mDecimalSeparator)));
}

// Widens the part's dimension (the used area it announces) to the written cells.
void XlsxSheetEditor::updateDimension()
{
    pugi::xml_node dimension = mDocument.document_element().child(tag("dimension").toUtf8().constData());
    if (!dimension || mBottom == 0)
        return;
    int top = mTop;
    int left = mLeft;
    int bottom = mBottom;
    int right = mRight;
    const QStringList corners = QString::fromUtf8(dimension.attribute("ref").value()).split(u':');
    for (const QString &corner : corners) {
        int r = 0;
        int c = 0;
        if (parseReference(corner.toUtf8().constData(), &r, &c)) {
            top = std::min(top, r);
            left = std::min(left, c);
            bottom = std::max(bottom, r);
            right = std::max(right, c);
        }
    }
    const QString ref = columnName(left) + QString::number(top) + u':' + columnName(right) + QString::number(bottom);
    if (!dimension.attribute("ref"))
        dimension.append_attribute("ref");
    dimension.attribute("ref").set_value(ref.toUtf8().constData());
}

// An element name of the worksheet namespace, with the part's own prefix.
QString XlsxSheetEditor::tag(const char *localName) const
{
    return mPrefix + QString::fromUtf8(localName);
}
