#include "workbook/XlsxNewWorkbook.h"

#include "core/TimeText.h"
#include "workbook/DurationFormat.h"
#include "workbook/Workbook.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QVariant>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

// The largest sheet an .xlsx file can hold.
constexpr int maxRows = 1048576;
constexpr int maxColumns = 16384;
// The longest text one cell can hold, in characters.
constexpr int maxCellText = 32767;

// The text a cell shows by default, for sizing its column: the longest line of a string,
// a number in its shortest form.
int shownLength(const QVariant &value, QChar decimalSeparator)
{
    if (value.typeId() == qMetaTypeId<CellDuration>())
        return int(TimeText::FormatRaceTime(value.value<CellDuration>().ms, decimalSeparator).size());
    if (value.typeId() == qMetaTypeId<CellError>())
        return int(value.value<CellError>().text.size());
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 4 : 5;
    if (value.typeId() == QMetaType::Double)
        return int(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest).size());
    int longest = 0;
    const QStringList lines = value.toString().split(QLatin1Char('\n'));
    for (const QString &line : lines)
        longest = std::max(longest, int(line.size()));
    return longest;
}

QString libraryError(lxw_error error)
{
    return QString::fromUtf8(lxw_strerror(error));
}

// The error value as a formula the file format knows ("#NV" is "#N/A" there).
QByteArray errorFormula(const QString &shown)
{
    static const std::map<QString, const char *> english = {
        {QStringLiteral("#NV"), "#N/A"}, {QStringLiteral("#WERT!"), "#VALUE!"}, {QStringLiteral("#BEZUG!"), "#REF!"},
        {QStringLiteral("#ZAHL!"), "#NUM!"}, {QStringLiteral("#NAME?"), "#NAME?"}, {QStringLiteral("#NULL!"), "#NULL!"},
        {QStringLiteral("#DIV/0!"), "#DIV/0!"}};
    const auto found = english.find(shown.toUpper());
    return "=" + (found != english.end() ? QByteArray(found->second) : shown.toUtf8());
}

// The formats durations are shown with, made once per workbook and code.
class DurationFormats
{
public:
    DurationFormats(lxw_workbook *book, QChar decimalSeparator)
        : mBook(book)
        , mDecimalSeparator(decimalSeparator)
    {
    }
    lxw_format *of(std::int32_t ms)
    {
        const QString code = DurationFormat::code(ms, mDecimalSeparator);
        lxw_format *&format = mFormats[code];
        if (!format) {
            format = workbook_add_format(mBook);
            format_set_num_format(format, code.toUtf8().constData());
        }
        return format;
    }
    QChar decimalSeparator() const { return mDecimalSeparator; }

private:
    lxw_workbook *mBook;
    QChar mDecimalSeparator;
    std::map<QString, lxw_format *> mFormats;
};

// Writes one sheet's cells; an empty string on success, else why it failed.
QString writeCells(lxw_worksheet *sheet, const Worksheet &source, bool fitColumns, DurationFormats &durations)
{
    if (source.usedRows() > maxRows || source.usedColumns() > maxColumns)
        return QStringLiteral("Tabelle \"%1\" ist zu groß für das Format").arg(source.name);
    std::vector<int> longest(std::size_t(source.usedColumns()), 0);
    for (int row = 1; row <= source.usedRows(); ++row) {
        for (int column = 1; column <= source.usedColumns(); ++column) {
            const QVariant value = source.cell(row, column);
            if (!value.isValid())
                continue;
            const auto r = lxw_row_t(row - 1);
            const auto c = lxw_col_t(column - 1);
            lxw_error error = LXW_NO_ERROR;
            if (value.typeId() == qMetaTypeId<CellDuration>() && DurationFormat::fits(value.value<CellDuration>().ms)) {
                const std::int32_t ms = value.value<CellDuration>().ms;
                error = worksheet_write_number(sheet, r, c, DurationFormat::days(ms), durations.of(ms));
            } else if (value.typeId() == qMetaTypeId<CellDuration>()) {
                // A time no duration can show exactly stays the grid's text.
                const QString text = TimeText::FormatRaceTime(value.value<CellDuration>().ms, durations.decimalSeparator());
                error = worksheet_write_string(sheet, r, c, text.toUtf8().constData(), nullptr);
            } else if (value.typeId() == QMetaType::Bool) {
                error = worksheet_write_boolean(sheet, r, c, value.toBool(), nullptr);
            } else if (value.typeId() == qMetaTypeId<CellError>()) {
                error = worksheet_write_formula(sheet, r, c, errorFormula(value.value<CellError>().text).constData(), nullptr);
            } else if (CellIsNumber(value)) {
                const double number = value.toDouble();
                // An .xlsx cell cannot hold NaN or infinity; such a cell stays empty.
                if (!std::isfinite(number))
                    continue;
                error = worksheet_write_number(sheet, r, c, number, nullptr);
            } else {
                QString text = value.toString();
                if (text.size() > maxCellText)
                    text.truncate(maxCellText);
                error = worksheet_write_string(sheet, r, c, text.toUtf8().constData(), nullptr);
            }
            if (error != LXW_NO_ERROR)
                return libraryError(error);
            longest[std::size_t(column - 1)] = std::max(longest[std::size_t(column - 1)],
                                                       shownLength(value, durations.decimalSeparator()));
        }
    }
    if (fitColumns) {
        for (std::size_t c = 0; c < longest.size(); ++c) {
            if (longest[c] == 0)
                continue;
            const lxw_error error = worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c),
                                                         XlsxNewWorkbook::fittedWidth(longest[c]), nullptr);
            if (error != LXW_NO_ERROR)
                return libraryError(error);
        }
    }
    return {};
}

} // namespace

double XlsxNewWorkbook::fittedWidth(int characters)
{
    return std::min(double(characters) + 2.0, maxFittedWidth);
}

QString XlsxNewWorkbook::write(const Workbook &book, const QStringList &sheetNames, const QString &path)
{
    const QByteArray fileName = QFile::encodeName(path);
    QByteArray tempFolder = QFile::encodeName(QDir::tempPath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = tempFolder.data();
    options.use_zip64 = LXW_FALSE;
    lxw_workbook *raw = workbook_new_opt(fileName.constData(), &options);
    if (!raw)
        return QStringLiteral("libxlsxwriter: kein Speicher");

    // The properties are copied by the library when they are set.
    const QByteArray author = book.author.toUtf8();
    const QByteArray subject = book.subject.toUtf8();
    const QByteArray comments = book.comments.toUtf8();
    lxw_doc_properties properties{};
    properties.author = const_cast<char *>(author.constData());
    properties.subject = const_cast<char *>(subject.constData());
    properties.comments = const_cast<char *>(comments.constData());

    QString error;
    if (const lxw_error set = workbook_set_properties(raw, &properties); set != LXW_NO_ERROR)
        error = libraryError(set);

    DurationFormats durations(raw, book.decimalSeparator);
    // A workbook needs at least one worksheet to open in the application.
    const int sheetCount = std::max(1, int(book.sheets.size()));
    for (int i = 0; error.isEmpty() && i < sheetCount; ++i) {
        const QString name = i < sheetNames.size() ? sheetNames.at(i) : QStringLiteral("Tabelle1");
        lxw_worksheet *sheet = workbook_add_worksheet(raw, name.toUtf8().constData());
        if (!sheet) {
            error = QStringLiteral("Tabellenname \"%1\" abgelehnt").arg(name);
            break;
        }
        if (i < int(book.sheets.size())) {
            const bool fit = std::find(book.autofitSheets.begin(), book.autofitSheets.end(), i + 1)
                != book.autofitSheets.end();
            error = writeCells(sheet, book.sheets[std::size_t(i)], fit, durations);
        }
    }

    // The file is produced by workbook_close, so its result decides.
    const lxw_error closed = workbook_close(raw);
    if (error.isEmpty() && closed != LXW_NO_ERROR)
        error = libraryError(closed);
    return error;
}
