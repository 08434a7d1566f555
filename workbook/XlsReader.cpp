#include "workbook/XlsReader.h"

#include "workbook/CellCollector.h"
#include "workbook/XlsFormulaCells.h"

#include <QDate>
#include <QFile>
#include <QTime>

#include <freexl.h>

namespace {

// Closes the FreeXL handle on every way out (FreeXL wants it closed after a failed open too).
class XlsHandle
{
public:
    XlsHandle() = default;
    ~XlsHandle()
    {
        if (mHandle)
            freexl_close(mHandle);
    }
    XlsHandle(const XlsHandle &) = delete;
    XlsHandle &operator=(const XlsHandle &) = delete;
    const void *get() const { return mHandle; }
    const void **out() { return &mHandle; }

private:
    const void *mHandle = nullptr;
};

// FreeXL hands dates and times out as text; the spreadsheet holds them as day numbers counted
// from its epoch, and that number is what the other readers give too.
QVariant dayNumber(unsigned char type, const char *text, bool epoch1904)
{
    const QString value = QString::fromUtf8(text);
    const QDate epoch = epoch1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    double days = 0;
    QString timePart;
    if (type == FREEXL_CELL_DATE || type == FREEXL_CELL_DATETIME) {
        const QDate date = QDate::fromString(value.left(10), QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid())
            return value;
        days = double(epoch.daysTo(date));
        if (type == FREEXL_CELL_DATETIME)
            timePart = value.mid(11);
    } else {
        timePart = value;
    }
    if (!timePart.isEmpty()) {
        const QTime time = QTime::fromString(timePart, QStringLiteral("HH:mm:ss"));
        if (!time.isValid())
            return value;
        days += time.msecsSinceStartOfDay() / 86'400'000.0;
    }
    return days;
}

QVariant cellValue(const FreeXL_CellValue &cell, bool epoch1904)
{
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return double(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return cell.value.double_value;
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return cell.value.text_value ? QVariant(QString::fromUtf8(cell.value.text_value)) : QVariant();
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
        return cell.value.text_value ? dayNumber(cell.type, cell.value.text_value, epoch1904) : QVariant();
    default:
        return {};
    }
}

ReadStatus statusOf(int error)
{
    switch (error) {
    case FREEXL_INSUFFICIENT_MEMORY:
        return ReadStatus::TooLarge;
    case FREEXL_CFBF_INVALID_SIGNATURE:
        return ReadStatus::NotASpreadsheet;
    default:
        return ReadStatus::Corrupt;
    }
}

}

ReadStatus XlsReader::read(const QString &path, Workbook &workbook)
{
    XlsHandle handle;
    const int opened = freexl_open(QFile::encodeName(path).constData(), handle.out());
    if (opened != FREEXL_OK)
        return statusOf(opened);

    unsigned int info = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
        return ReadStatus::Encrypted;
    const bool epoch1904 = freexl_get_info(handle.get(), FREEXL_BIFF_DATEMODE, &info) == FREEXL_OK
        && info == FREEXL_BIFF_DATEMODE_1904;
    unsigned int sheetCount = 0;
    if (freexl_get_info(handle.get(), FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK)
        return ReadStatus::Corrupt;
    if (sheetCount == 0)
        return ReadStatus::Corrupt;

    CellCollector collector;
    long long cellsVisited = 0;
    for (unsigned int index = 0; index < sheetCount && index <= 0xFFFF; ++index) {
        const auto sheetIndex = static_cast<unsigned short>(index);
        const char *name = nullptr;
        if (freexl_get_worksheet_name(handle.get(), sheetIndex, &name) != FREEXL_OK)
            return ReadStatus::Corrupt;
        const int sheet = collector.addSheet(name ? QString::fromUtf8(name) : QString());
        if (sheet < 0)
            return ReadStatus::TooLarge;
        if (freexl_select_active_worksheet(handle.get(), sheetIndex) != FREEXL_OK)
            return ReadStatus::Corrupt;
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_worksheet_dimensions(handle.get(), &rows, &columns) != FREEXL_OK)
            return ReadStatus::Corrupt;
        // Every position is asked for, so a sheet that claims a huge area costs time even when
        // FreeXL managed to allocate it: refuse it before walking.
        cellsVisited += static_cast<long long>(rows) * columns;
        if (cellsVisited > CellCollector::MaxSlots * 4)
            return ReadStatus::TooLarge;
        for (unsigned int row = 0; row < rows; ++row) {
            for (unsigned short column = 0; column < columns; ++column) {
                FreeXL_CellValue cell;
                if (freexl_get_cell_value(handle.get(), row, column, &cell) != FREEXL_OK)
                    return ReadStatus::Corrupt;
                const QVariant value = cellValue(cell, epoch1904);
                if (value.isValid() && !collector.setCell(sheet, int(row) + 1, int(column) + 1, value))
                    return ReadStatus::TooLarge;
            }
        }
    }
    // FreeXL gives formula cells as empty: note them, so that nobody takes them for empty.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const XlsFormulaCells::Cell &formula : XlsFormulaCells::find(file.readAll())) {
            int sheet = collector.sheetIndex(formula.sheet);
            if (sheet < 0)
                sheet = formula.sheetIndex;
            if (sheet < collector.sheetCount() && !collector.cell(sheet, formula.row, formula.column).isValid()
                && !collector.markFormulaWithoutResult(sheet, formula.row, formula.column))
                return ReadStatus::TooLarge;
        }
    }
    return collector.moveInto(workbook) ? ReadStatus::Ok : ReadStatus::TooLarge;
}
