#include "workbook/PackageCells.h"

#include "workbook/CellCollector.h"

#include <QString>
#include <QStringList>

#include <pugixml.hpp>
#include <zip.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

namespace {

// Same limit as the size check before orcus: no list's part is anywhere near it.
constexpr zip_uint64_t MaxPartSize = 64 * 1024 * 1024;
// A run of spaces longer than this is no name; a hostile count must not cost memory.
constexpr int MaxSpaceRun = 1000;

struct ArchiveCloser
{
    void operator()(zip_t *archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

Archive openArchive(const QByteArray &bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    zip_error_fini(&error);
    if (!source)
        return {};
    zip_error_init(&error);
    zip_t *archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return {};
    }
    return Archive(archive);
}

// A part's bytes; nothing when it is missing, too large or cannot be unpacked.
std::optional<QByteArray> part(zip_t *archive, const QString &name)
{
    const QByteArray utf8 = name.toUtf8();
    zip_stat_t stat;
    if (zip_stat(archive, utf8.constData(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) || stat.size > MaxPartSize)
        return std::nullopt;
    zip_file_t *file = zip_fopen(archive, utf8.constData(), 0);
    if (!file)
        return std::nullopt;
    QByteArray data(qsizetype(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_fread(file, data.data(), stat.size);
    zip_fclose(file);
    if (read < 0 || zip_uint64_t(read) != stat.size)
        return std::nullopt;
    return data;
}

// Element and attribute names without their namespace prefix: the prefixes are the writer's choice.
std::string_view localName(const char *name)
{
    const std::string_view full(name);
    const auto colon = full.find(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

pugi::xml_attribute attribute(const pugi::xml_node &node, std::string_view name)
{
    for (const pugi::xml_attribute &a : node.attributes()) {
        if (localName(a.name()) == name)
            return a;
    }
    return {};
}

pugi::xml_node child(const pugi::xml_node &node, std::string_view name)
{
    for (const pugi::xml_node &c : node.children()) {
        if (c.type() == pugi::node_element && localName(c.name()) == name)
            return c;
    }
    return {};
}

QString utf8(const char *text)
{
    return QString::fromUtf8(text);
}

bool parse(pugi::xml_document &document, const QByteArray &data)
{
    // Whitespace-only texts are kept: a run of spaces in a name is part of it.
    return bool(document.load_buffer(data.constData(), std::size_t(data.size()), pugi::parse_default | pugi::parse_ws_pcdata));
}

// Stores or notes one cell; throws nothing, reports the budget through the status.
class Sink
{
public:
    explicit Sink(CellCollector &cells) : mCells(cells) {}
    bool set(int sheet, int row, int column, const QVariant &value)
    {
        mOk = mOk && mCells.setCell(sheet, row, column, value);
        return mOk;
    }
    bool unknownResult(int sheet, int row, int column)
    {
        set(sheet, row, column, QVariant());
        if (row >= 1 && row <= CellCollector::MaxRows && column >= 1 && column <= CellCollector::MaxColumns)
            mOk = mOk && mCells.markFormulaWithoutResult(sheet, row, column);
        return mOk;
    }
    ReadStatus status() const { return mOk ? ReadStatus::Ok : ReadStatus::TooLarge; }

private:
    CellCollector &mCells;
    bool mOk = true;
};

// --- Office Open XML ---

// "B3" as (row, column) from 1; nothing when it is no cell reference.
std::optional<std::pair<int, int>> cellReference(std::string_view reference)
{
    long long column = 0;
    long long row = 0;
    std::size_t i = 0;
    for (; i < reference.size() && std::isalpha(static_cast<unsigned char>(reference[i])); ++i) {
        column = column * 26 + (std::toupper(static_cast<unsigned char>(reference[i])) - 'A' + 1);
        if (column > CellCollector::MaxColumns)
            return std::nullopt;
    }
    for (; i < reference.size() && std::isdigit(static_cast<unsigned char>(reference[i])); ++i) {
        row = row * 10 + (reference[i] - '0');
        if (row > CellCollector::MaxRows)
            return std::nullopt;
    }
    if (i != reference.size() || column == 0 || row == 0)
        return std::nullopt;
    return std::make_pair(int(row), int(column));
}

// An inline string's text: its runs one after the other, phonetic hints left out.
QString inlineText(const pugi::xml_node &is)
{
    QString text;
    for (const pugi::xml_node &c : is.children()) {
        const auto name = localName(c.name());
        if (name == "t")
            text += utf8(c.text().get());
        else if (name == "r")
            text += utf8(child(c, "t").text().get());
    }
    return text;
}

// The shared strings orcus 0.17 reads wrong, by index, with the text the spreadsheet shows.
// orcus takes an entry's text from the last <t> that had characters, so an entry with an empty
// <t> (an empty text, an empty run) or none at all gets the text of an entry before it.
std::map<int, QString> misreadSharedStrings(const pugi::xml_document &document)
{
    std::map<int, QString> misread;
    int index = 0;
    for (const pugi::xml_node &si : child(document, "sst").children()) {
        if (si.type() != pugi::node_element || localName(si.name()) != "si")
            continue;
        QString text;
        bool seen = false;
        bool wrong = false;
        for (const pugi::xml_node &c : si.children()) {
            const auto name = c.type() == pugi::node_element ? localName(c.name()) : std::string_view();
            if (name != "t" && name != "r")
                continue;
            const char *characters = (name == "t" ? c : child(c, "t")).text().get();
            seen = true;
            wrong = wrong || *characters == '\0';
            text += utf8(characters);
        }
        if (wrong || !seen)
            misread.emplace(index, text);
        ++index;
    }
    return misread;
}

void readSheetXml(const pugi::xml_document &document, int sheet, const std::map<int, QString> &misread, Sink &sink)
{
    const pugi::xml_node data = child(child(document, "worksheet"), "sheetData");
    int row = 0;
    for (const pugi::xml_node &r : data.children()) {
        if (r.type() != pugi::node_element || localName(r.name()) != "row")
            continue;
        // Rows and cells without a reference follow the one before.
        const int numbered = attribute(r, "r").as_int(0);
        row = numbered > 0 ? numbered : row + 1;
        int column = 0;
        for (const pugi::xml_node &c : r.children()) {
            if (c.type() != pugi::node_element || localName(c.name()) != "c")
                continue;
            const auto position = cellReference(attribute(c, "r").value());
            column = position ? position->second : column + 1;
            const int at = position ? position->first : row;
            const std::string_view type = attribute(c, "t").value();
            const pugi::xml_node value = child(c, "v");
            const bool formula = bool(child(c, "f"));
            if (type == "inlineStr") {
                sink.set(sheet, at, column, inlineText(child(c, "is")));
            } else if (formula && (!value || std::strlen(value.text().get()) == 0) && type != "str") {
                sink.unknownResult(sheet, at, column);
            } else if (type == "e") {
                sink.set(sheet, at, column, QVariant::fromValue(CellError{utf8(value.text().get())}));
            } else if (type == "b") {
                sink.set(sheet, at, column, std::string_view(value.text().get()) != "0");
            } else if (type == "s" && !formula) {
                // An empty text shows as an empty cell.
                const auto entry = misread.find(value.text().as_int(-1));
                if (entry != misread.end())
                    sink.set(sheet, at, column, entry->second.isEmpty() ? QVariant() : QVariant(entry->second));
            }
        }
    }
}

// A relationship's target as a part name: relative to the folder of the part that names it.
QString resolve(const QString &folder, const QString &target)
{
    if (target.startsWith(u'/'))
        return target.mid(1);
    QStringList parts = folder.isEmpty() ? QStringList() : folder.split(u'/');
    for (const QString &piece : target.split(u'/')) {
        if (piece == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (piece != QLatin1String(".")) {
            parts << piece;
        }
    }
    return parts.join(u'/');
}

// --- OpenDocument ---

// The text a cell's paragraph shows: spaces, tabs and line breaks as written, spans unwrapped.
void appendParagraph(const pugi::xml_node &node, QString &text)
{
    for (const pugi::xml_node &c : node.children()) {
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
            text += utf8(c.value());
            continue;
        }
        if (c.type() != pugi::node_element)
            continue;
        const auto name = localName(c.name());
        if (name == "s")
            text += QString(std::clamp(attribute(c, "c").as_int(1), 1, MaxSpaceRun), u' ');
        else if (name == "tab")
            text += u'\t';
        else if (name == "line-break")
            text += u'\n';
        else if (name != "annotation" && name != "note")
            appendParagraph(c, text);
    }
}

// A cell's paragraphs joined by line breaks, as the spreadsheet shows them.
QString cellText(const pugi::xml_node &cell)
{
    QString text;
    bool first = true;
    for (const pugi::xml_node &c : cell.children()) {
        const auto name = c.type() == pugi::node_element ? localName(c.name()) : std::string_view();
        if (name != "p" && name != "h")
            continue;
        if (!first)
            text += u'\n';
        first = false;
        appendParagraph(c, text);
    }
    return text;
}

// The value a cell is to have where orcus's is wrong or missing; nothing where orcus's stands.
// unknown is set for a formula saved without a result.
std::optional<QVariant> openDocumentValue(const pugi::xml_node &cell, bool &unknown)
{
    unknown = false;
    std::string_view type;
    // LibreOffice marks an error result only in its own calcext:value-type; office:value-type
    // says "string" then.
    std::string_view extType;
    for (const pugi::xml_attribute &a : cell.attributes()) {
        if (localName(a.name()) != "value-type")
            continue;
        if (std::string_view(a.name()).starts_with("office:"))
            type = a.value();
        else
            extType = a.value();
    }
    const bool formula = bool(attribute(cell, "formula"));
    if (extType == "error")
        return QVariant::fromValue(CellError{cellText(cell)});
    if (type == "boolean")
        return QVariant(std::string_view(attribute(cell, "boolean-value").value()) == "true");
    if (type == "string") {
        const pugi::xml_attribute stringValue = attribute(cell, "string-value");
        return stringValue ? QVariant(utf8(stringValue.value())) : QVariant(cellText(cell));
    }
    if (formula && type.empty()) {
        unknown = true;
        return QVariant();
    }
    return std::nullopt;
}

// Walks the rows of a table, inside row groups and header rows too.
void readRows(const pugi::xml_node &parent, int sheet, int &row, Sink &sink)
{
    for (const pugi::xml_node &r : parent.children()) {
        if (r.type() != pugi::node_element)
            continue;
        const auto name = localName(r.name());
        if (name == "table-header-rows" || name == "table-row-group" || name == "table-rows") {
            readRows(r, sheet, row, sink);
            continue;
        }
        if (name != "table-row")
            continue;
        const int rowRepeat = std::max(1, attribute(r, "number-rows-repeated").as_int(1));
        int column = 0;
        for (const pugi::xml_node &c : r.children()) {
            if (c.type() != pugi::node_element)
                continue;
            const auto cellName = localName(c.name());
            if (cellName != "table-cell" && cellName != "covered-table-cell")
                continue;
            const int columnRepeat = std::max(1, attribute(c, "number-columns-repeated").as_int(1));
            bool unknown = false;
            const std::optional<QVariant> value = openDocumentValue(c, unknown);
            // Empty repeats (the rest of a row, a million empty rows) cost nothing.
            if (value || unknown) {
                for (int dr = 0; dr < rowRepeat && row + dr < CellCollector::MaxRows; ++dr) {
                    for (int dc = 0; dc < columnRepeat && column + dc < CellCollector::MaxColumns; ++dc) {
                        const bool fits = unknown ? sink.unknownResult(sheet, row + dr + 1, column + dc + 1)
                                                  : sink.set(sheet, row + dr + 1, column + dc + 1, *value);
                        if (!fits)
                            return;
                    }
                }
            }
            column = int(std::min<long long>(CellCollector::MaxColumns, (long long)column + columnRepeat));
        }
        row = int(std::min<long long>(CellCollector::MaxRows, (long long)row + rowRepeat));
    }
}

}

ReadStatus PackageCells::readOfficeOpenXml(const QByteArray &bytes, CellCollector &cells)
{
    const Archive archive = openArchive(bytes);
    if (!archive)
        return ReadStatus::Corrupt;
    // The workbook part is named by the package's relationships; it is "xl/workbook.xml" by custom.
    QString workbookPart = QStringLiteral("xl/workbook.xml");
    if (const auto rels = part(archive.get(), QStringLiteral("_rels/.rels"))) {
        pugi::xml_document document;
        if (parse(document, *rels)) {
            for (const pugi::xml_node &r : child(document, "Relationships").children()) {
                if (QByteArray(attribute(r, "Type").value()).endsWith("/officeDocument"))
                    workbookPart = resolve(QString(), utf8(attribute(r, "Target").value()));
            }
        }
    }
    const QString folder = workbookPart.section(u'/', 0, -2);
    const auto workbookXml = part(archive.get(), workbookPart);
    const auto workbookRels = part(archive.get(), (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/")
                                       + workbookPart.section(u'/', -1) + QStringLiteral(".rels"));
    // orcus read the package already; without these parts it has no sheets that could be fixed.
    if (!workbookXml || !workbookRels)
        return ReadStatus::Ok;
    pugi::xml_document workbook;
    pugi::xml_document relationships;
    if (!parse(workbook, *workbookXml) || !parse(relationships, *workbookRels))
        return ReadStatus::Ok;
    std::map<int, QString> misread;
    for (const pugi::xml_node &r : child(relationships, "Relationships").children()) {
        if (!QByteArray(attribute(r, "Type").value()).endsWith("/sharedStrings"))
            continue;
        pugi::xml_document strings;
        const auto stringsXml = part(archive.get(), resolve(folder, utf8(attribute(r, "Target").value())));
        if (stringsXml && parse(strings, *stringsXml))
            misread = misreadSharedStrings(strings);
    }
    Sink sink(cells);
    int sheet = 0;
    for (const pugi::xml_node &s : child(child(workbook, "workbook"), "sheets").children()) {
        if (s.type() != pugi::node_element || localName(s.name()) != "sheet")
            continue;
        const int index = sheet++;
        if (index >= cells.sheetCount())
            break;
        const std::string_view id = attribute(s, "id").value();
        QString target;
        for (const pugi::xml_node &r : child(relationships, "Relationships").children()) {
            if (std::string_view(attribute(r, "Id").value()) == id)
                target = resolve(folder, utf8(attribute(r, "Target").value()));
        }
        const auto sheetXml = target.isEmpty() ? std::nullopt : part(archive.get(), target);
        pugi::xml_document document;
        if (!sheetXml || !parse(document, *sheetXml))
            continue;
        readSheetXml(document, index, misread, sink);
        if (sink.status() != ReadStatus::Ok)
            break;
    }
    return sink.status();
}

ReadStatus PackageCells::readOpenDocument(const QByteArray &bytes, CellCollector &cells)
{
    const Archive archive = openArchive(bytes);
    if (!archive)
        return ReadStatus::Corrupt;
    const auto content = part(archive.get(), QStringLiteral("content.xml"));
    pugi::xml_document document;
    if (!content || !parse(document, *content))
        return ReadStatus::Ok;
    Sink sink(cells);
    const pugi::xml_node spreadsheet = child(child(child(document, "document-content"), "body"), "spreadsheet");
    int sheet = 0;
    for (const pugi::xml_node &table : spreadsheet.children()) {
        if (table.type() != pugi::node_element || localName(table.name()) != "table")
            continue;
        const int index = sheet++;
        if (index >= cells.sheetCount())
            break;
        int row = 0;
        readRows(table, index, row, sink);
        if (sink.status() != ReadStatus::Ok)
            break;
    }
    return sink.status();
}
