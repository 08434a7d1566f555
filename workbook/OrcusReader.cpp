#include "workbook/OrcusReader.h"

#include "workbook/CellCollector.h"
#include "workbook/PackageCells.h"

#include <QDate>
#include <QHash>

#include <orcus/orcus_ods.hpp>
#include <orcus/orcus_xlsx.hpp>
#include <orcus/spreadsheet/import_interface.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

namespace iface = orcus::spreadsheet::iface;
using orcus::spreadsheet::col_t;
using orcus::spreadsheet::row_t;

namespace {

// Thrown from inside orcus's parse when the workbook outgrows the memory budget; orcus lets it
// pass through, and it ends the read.
struct BudgetExceeded : std::exception
{
};

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The text pool the formats share their cell texts through; formatting runs are dropped.
class SharedStrings : public iface::import_shared_strings
{
public:
    const QString *at(std::size_t index) const { return index < mStrings.size() ? &mStrings[index] : nullptr; }

    std::size_t append(std::string_view s) override
    {
        mStrings.push_back(text(s));
        return mStrings.size() - 1;
    }
    std::size_t add(std::string_view s) override
    {
        const QString value = text(s);
        const auto it = mIndex.constFind(value);
        if (it != mIndex.constEnd())
            return it.value();
        mStrings.push_back(value);
        mIndex.insert(value, mStrings.size() - 1);
        return mStrings.size() - 1;
    }
    void set_segment_font(std::size_t) override {}
    void set_segment_bold(bool) override {}
    void set_segment_italic(bool) override {}
    void set_segment_font_name(std::string_view) override {}
    void set_segment_font_size(double) override {}
    void set_segment_font_color(orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t,
        orcus::spreadsheet::color_elem_t, orcus::spreadsheet::color_elem_t) override
    {
    }
    void append_segment(std::string_view s) override { mSegments += text(s); }
    std::size_t commit_segments() override
    {
        mStrings.push_back(mSegments);
        mSegments.clear();
        return mStrings.size() - 1;
    }

private:
    std::vector<QString> mStrings;
    QHash<QString, std::size_t> mIndex;
    QString mSegments;
};

// The date day numbers count from (the ODS default; a file may name its own).
class GlobalSettings : public iface::import_global_settings
{
public:
    QDate origin = QDate(1899, 12, 30);

    void set_origin_date(int year, int month, int day) override
    {
        const QDate date(year, month, day);
        if (date.isValid())
            origin = date;
    }
    void set_default_formula_grammar(orcus::spreadsheet::formula_grammar_t grammar) override { mGrammar = grammar; }
    orcus::spreadsheet::formula_grammar_t get_default_formula_grammar() const override { return mGrammar; }
    void set_character_set(orcus::character_set_t) override {}

private:
    orcus::spreadsheet::formula_grammar_t mGrammar = orcus::spreadsheet::formula_grammar_t::unknown;
};

// Turns the A1 references of cell positions ("B3", "$A$1", "A1:M12") into 0-based positions;
// formulas themselves are not evaluated, so that is all orcus asks it for.
class ReferenceResolver : public iface::import_reference_resolver
{
public:
    orcus::spreadsheet::src_address_t resolve_address(std::string_view address) override
    {
        const auto bang = address.rfind('!');
        if (bang != std::string_view::npos)
            address.remove_prefix(bang + 1);
        long long column = 0;
        long long row = 0;
        std::size_t i = 0;
        if (i < address.size() && address[i] == '$')
            ++i;
        for (; i < address.size() && std::isalpha(static_cast<unsigned char>(address[i])); ++i) {
            column = column * 26 + (std::toupper(static_cast<unsigned char>(address[i])) - 'A' + 1);
            if (column > CellCollector::MaxColumns)
                throw BadReference();
        }
        if (i < address.size() && address[i] == '$')
            ++i;
        for (; i < address.size() && std::isdigit(static_cast<unsigned char>(address[i])); ++i) {
            row = row * 10 + (address[i] - '0');
            if (row > CellCollector::MaxRows)
                throw BadReference();
        }
        if (i != address.size() || (column == 0 && row == 0))
            throw BadReference();
        // A whole column or row reaches to the sheet's edge.
        return {0, row_t(row == 0 ? 0 : row - 1), col_t(column == 0 ? 0 : column - 1)};
    }
    orcus::spreadsheet::src_range_t resolve_range(std::string_view range) override
    {
        const auto colon = range.find(':');
        if (colon == std::string_view::npos) {
            const auto address = resolve_address(range);
            return {address, address};
        }
        return {resolve_address(range.substr(0, colon)), resolve_address(range.substr(colon + 1))};
    }

private:
    // A reference we cannot make sense of: the file is broken.
    struct BadReference : std::exception
    {
    };
};

// Puts a cell into the collector, turning orcus's 0-based position into ours.
void store(CellCollector &cells, int sheet, row_t row, col_t column, const QVariant &value)
{
    if (row < 0 || column < 0 || row >= CellCollector::MaxRows || column >= CellCollector::MaxColumns)
        return;
    if (!cells.setCell(sheet, int(row) + 1, int(column) + 1, value))
        throw BudgetExceeded();
}

// A formula cell keeps only the result the application saved with it.
class Formula : public iface::import_formula
{
public:
    Formula(CellCollector &cells, int sheet) : mCells(cells), mSheet(sheet) {}

    void set_position(row_t row, col_t column) override
    {
        mRow = row;
        mColumn = column;
        mResult = QVariant();
    }
    void set_formula(orcus::spreadsheet::formula_grammar_t, std::string_view) override {}
    void set_shared_formula_index(std::size_t) override {}
    void set_result_string(std::string_view value) override { mResult = text(value); }
    // orcus reports a formula saved without its result as NaN; PackageCells notes those.
    void set_result_value(double value) override { mResult = std::isfinite(value) ? QVariant(value) : QVariant(); }
    void set_result_bool(bool value) override { mResult = value; }
    void set_result_empty() override { mResult = QVariant(); }
    void commit() override
    {
        if (mResult.isValid())
            store(mCells, mSheet, mRow, mColumn, mResult);
    }

private:
    CellCollector &mCells;
    int mSheet;
    row_t mRow = -1;
    col_t mColumn = -1;
    QVariant mResult;
};

// An array formula spreads its saved results over its range, each set one by one.
class ArrayFormula : public iface::import_array_formula
{
public:
    ArrayFormula(CellCollector &cells, int sheet) : mCells(cells), mSheet(sheet) {}

    void set_range(const orcus::spreadsheet::range_t &) override {}
    void set_formula(orcus::spreadsheet::formula_grammar_t, std::string_view) override {}
    void set_result_string(row_t row, col_t column, std::string_view value) override
    {
        store(mCells, mSheet, row, column, text(value));
    }
    void set_result_value(row_t row, col_t column, double value) override { store(mCells, mSheet, row, column, value); }
    void set_result_bool(row_t row, col_t column, bool value) override
    {
        store(mCells, mSheet, row, column, value);
    }
    void set_result_empty(row_t, col_t) override {}
    void commit() override {}

private:
    CellCollector &mCells;
    int mSheet;
};

// One worksheet as orcus fills it: values only, formats and layout are not needed here.
class Sheet : public iface::import_sheet
{
public:
    Sheet(CellCollector &cells, int sheet, const SharedStrings &strings, const GlobalSettings &settings)
        : mCells(cells), mSheet(sheet), mStrings(strings), mSettings(settings), mFormula(cells, sheet),
          mArrayFormula(cells, sheet)
    {
    }

    iface::import_formula *get_formula() override { return &mFormula; }
    iface::import_array_formula *get_array_formula() override { return &mArrayFormula; }

    void set_auto(row_t row, col_t column, std::string_view s) override
    {
        bool isNumber = false;
        const double value = QByteArray(s.data(), qsizetype(s.size())).toDouble(&isNumber);
        store(mCells, mSheet, row, column, isNumber && std::isfinite(value) ? QVariant(value) : QVariant(text(s)));
    }
    void set_string(row_t row, col_t column, orcus::spreadsheet::string_id_t index) override
    {
        if (const QString *value = mStrings.at(index))
            store(mCells, mSheet, row, column, *value);
    }
    void set_value(row_t row, col_t column, double value) override { store(mCells, mSheet, row, column, value); }
    void set_bool(row_t row, col_t column, bool value) override { store(mCells, mSheet, row, column, value); }
    // The spreadsheet holds a date as its day number from the origin, the time as its fraction.
    void set_date_time(row_t row, col_t column, int year, int month, int day, int hour, int minute, double second) override
    {
        const QDate date(year, month, day);
        if (!date.isValid() || !std::isfinite(second))
            return;
        const double days = double(mSettings.origin.daysTo(date)) + (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
        store(mCells, mSheet, row, column, days);
    }
    void set_format(row_t, col_t, std::size_t) override {}
    void set_format(row_t, col_t, row_t, col_t, std::size_t) override {}
    // Repeated rows (ODS) arrive as one cell and a count of copies below it.
    void fill_down_cells(row_t row, col_t column, row_t count) override
    {
        if (row < 0 || column < 0 || count <= 0 || row >= CellCollector::MaxRows)
            return;
        const QVariant value = mCells.cell(mSheet, int(row) + 1, int(column) + 1);
        if (!value.isValid())
            return;
        const row_t last = std::min<row_t>(CellCollector::MaxRows - 1, row + std::min<row_t>(count, CellCollector::MaxRows));
        for (row_t r = row + 1; r <= last; ++r)
            store(mCells, mSheet, r, column, value);
    }
    orcus::spreadsheet::range_size_t get_sheet_size() const override
    {
        return {CellCollector::MaxRows, CellCollector::MaxColumns};
    }

private:
    CellCollector &mCells;
    int mSheet;
    const SharedStrings &mStrings;
    const GlobalSettings &mSettings;
    Formula mFormula;
    ArrayFormula mArrayFormula;
};

// Hands orcus our sheets, text pool and settings; everything else it offers is declined.
class Factory : public iface::import_factory
{
public:
    explicit Factory(CellCollector &cells) : mCells(cells) {}

    iface::import_global_settings *get_global_settings() override { return &mSettings; }
    iface::import_shared_strings *get_shared_strings() override { return &mStrings; }
    iface::import_reference_resolver *get_reference_resolver(orcus::spreadsheet::formula_ref_context_t) override
    {
        return &mResolver;
    }

    iface::import_sheet *append_sheet(orcus::spreadsheet::sheet_t, std::string_view name) override
    {
        const int index = mCells.addSheet(text(name));
        if (index < 0)
            throw BudgetExceeded();
        mSheets.push_back(std::make_unique<Sheet>(mCells, index, mStrings, mSettings));
        return mSheets.back().get();
    }
    iface::import_sheet *get_sheet(std::string_view name) override { return get_sheet(mCells.sheetIndex(text(name))); }
    iface::import_sheet *get_sheet(orcus::spreadsheet::sheet_t index) override
    {
        return index >= 0 && index < int(mSheets.size()) ? mSheets[std::size_t(index)].get() : nullptr;
    }
    void finalize() override {}

private:
    CellCollector &mCells;
    SharedStrings mStrings;
    GlobalSettings mSettings;
    ReferenceResolver mResolver;
    std::vector<std::unique_ptr<Sheet>> mSheets;
};

// Largest a single part of a package may be once unpacked; a list's or results sheet's XML is
// a few megabytes at most.
constexpr quint64 MaxPartSize = 64 * 1024 * 1024;

quint32 littleEndian(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// orcus allocates each part at the size the ZIP headers claim before unpacking it, so a header
// that claims gigabytes would take them. Checks the claims first: Ok, Corrupt (no readable
// directory) or TooLarge.
ReadStatus checkPartSizes(const QByteArray &bytes)
{
    // The end record is in the last 64 KiB + 22 bytes (behind an optional comment).
    const qsizetype end = bytes.lastIndexOf(QByteArrayView("PK\x05\x06", 4));
    if (end < 0 || end + 22 > bytes.size() || bytes.size() - end > 65557)
        return ReadStatus::Corrupt;
    const quint32 entries = littleEndian(bytes, end + 10, 2);
    qsizetype at = littleEndian(bytes, end + 16, 4);
    for (quint32 entry = 0; entry < entries; ++entry) {
        if (at < 0 || at + 46 > bytes.size() || !bytes.mid(at, 4).startsWith("PK\x01\x02"))
            return ReadStatus::Corrupt;
        // The packed data lies inside the file; orcus allocates the packed size as claimed too.
        if (littleEndian(bytes, at + 20, 4) > quint64(bytes.size()))
            return ReadStatus::Corrupt;
        if (littleEndian(bytes, at + 24, 4) > MaxPartSize)
            return ReadStatus::TooLarge;
        const qsizetype local = littleEndian(bytes, at + 42, 4);
        if (local + 30 > bytes.size() || !bytes.mid(local, 4).startsWith("PK\x03\x04"))
            return ReadStatus::Corrupt;
        if (littleEndian(bytes, local + 18, 4) > quint64(bytes.size()))
            return ReadStatus::Corrupt;
        if (littleEndian(bytes, local + 22, 4) > MaxPartSize)
            return ReadStatus::TooLarge;
        at += 46 + qsizetype(littleEndian(bytes, at + 28, 2)) + littleEndian(bytes, at + 30, 2) + littleEndian(bytes, at + 32, 2);
    }
    return ReadStatus::Ok;
}

// An OpenDocument package names its type in an uncompressed first entry "mimetype".
bool isOpenDocumentSpreadsheet(const QByteArray &bytes)
{
    return bytes.size() > 38 && bytes.mid(30, 8) == "mimetype"
        && bytes.mid(38, 64).startsWith("application/vnd.oasis.opendocument.spreadsheet");
}

}

bool OrcusReader::detect(const QByteArray &bytes, Format &format)
{
    if (isOpenDocumentSpreadsheet(bytes)) {
        format = Format::OpenDocument;
        return true;
    }
    // The package's part names stand in the ZIP headers in plain text: every Office package has
    // its content types and relationships parts, a workbook (or template) its parts under "xl/".
    // A package whose end is cut off may have lost some names, so any Office package that is no
    // document or presentation is handed to orcus to judge.
    if (!bytes.contains("[Content_Types].xml") && !bytes.contains("_rels/.rels"))
        return false;
    if (!bytes.contains("xl/") && (bytes.contains("word/") || bytes.contains("ppt/")))
        return false;
    format = Format::OfficeOpenXml;
    return true;
}

ReadStatus OrcusReader::read(const QByteArray &bytes, Format format, Workbook &workbook)
{
    const ReadStatus sizes = checkPartSizes(bytes);
    if (sizes != ReadStatus::Ok)
        return sizes;
    CellCollector cells;
    try {
        Factory factory(cells);
        const std::string_view stream(bytes.constData(), std::size_t(bytes.size()));
        if (format == Format::OpenDocument) {
            orcus::orcus_ods filter(&factory);
            filter.read_stream(stream);
        } else {
            orcus::orcus_xlsx filter(&factory);
            filter.read_stream(stream);
        }
        // orcus 0.17 drops or shortens some cells (inline strings, errors, ODS paragraphs and
        // spaces): those are taken from the package's XML as the spreadsheet shows them.
        const ReadStatus exact = format == Format::OpenDocument ? PackageCells::readOpenDocument(bytes, cells)
                                                                : PackageCells::readOfficeOpenXml(bytes, cells);
        if (exact != ReadStatus::Ok)
            return exact;
    } catch (const BudgetExceeded &) {
        return ReadStatus::TooLarge;
    } catch (const std::bad_alloc &) {
        return ReadStatus::TooLarge;
    } catch (...) {
        // orcus reports broken packages and XML with exceptions of many types.
        return ReadStatus::Corrupt;
    }
    if (cells.sheetCount() == 0)
        return ReadStatus::Corrupt;
    return cells.moveInto(workbook) ? ReadStatus::Ok : ReadStatus::TooLarge;
}
