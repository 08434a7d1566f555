#include "workbook/CsvReader.h"

#include "workbook/CellCollector.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <map>
#include <functional>

namespace {

// The separators we accept, in the order a tie goes (German exports use ";").
constexpr std::array<char16_t, 3> Separators = {u';', u'\t', u','};

// How many of the first records the separator and table checks look at.
constexpr int SampleRecords = 10;

// Splits text into records of fields. onRecord returns false to stop early.
void parse(const QString &text, QChar separator, const std::function<bool(const QStringList &)> &onRecord)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < size && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n') {
                // A line break inside a cell is a plain LF in the spreadsheet.
                field += u'\n';
                ++i;
            } else {
                field += c;
            }
            continue;
        }
        if (c == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == separator) {
            fields.append(field);
            field.clear();
            fieldStarted = false;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
                ++i;
            fields.append(field);
            field.clear();
            fieldStarted = false;
            if (!onRecord(fields))
                return;
            fields.clear();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    // The last line may lack its line end; a file that ends with one has no record after it.
    if (fieldStarted || !field.isEmpty() || !fields.isEmpty()) {
        fields.append(field);
        onRecord(fields);
    }
}

// Field counts of the first records with that separator.
std::vector<qsizetype> sampleCounts(const QString &text, QChar separator)
{
    std::vector<qsizetype> counts;
    parse(text, separator, [&counts](const QStringList &fields) {
        counts.push_back(fields.size());
        return int(counts.size()) < SampleRecords;
    });
    return counts;
}

bool allEqual(const std::vector<qsizetype> &counts)
{
    for (const qsizetype count : counts) {
        if (count != counts.front())
            return false;
    }
    return !counts.empty();
}

// A field becomes a number only when written plainly with '.' as the decimal point ("12",
// "-7.5"), the form every exporter uses for numbers whatever its locale. German forms such as
// "7,5" or "1.234" are ambiguous (separator, thousands mark or a date part), so everything
// else stays text exactly as written; the other formats give numbers as doubles, and so
// the numbers of a list behave alike whichever format it was saved in.
QVariant fieldValue(const QString &field)
{
    if (field.isEmpty())
        return {};
    qsizetype i = field.startsWith(u'-') ? 1 : 0;
    qsizetype digits = 0;
    qsizetype fractionDigits = 0;
    bool point = false;
    for (; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c >= u'0' && c <= u'9') {
            ++(point ? fractionDigits : digits);
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return field;
        }
    }
    if (digits == 0 || (point && fractionDigits == 0))
        return field;
    bool ok = false;
    const double value = field.toDouble(&ok);
    return ok ? QVariant(value) : QVariant(field);
}

// Windows-1252 differs from Latin-1 only in 0x80..0x9F (the euro sign, quotes, dashes, ...).
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}

QString CsvReader::decode(const QByteArray &bytes)
{
    QByteArrayView data(bytes);
    if (data.startsWith("\xEF\xBB\xBF"))
        data = data.sliced(3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(data.size());
    for (const char byte : data) {
        const auto code = static_cast<unsigned char>(byte);
        text += QChar(code >= 0x80 && code < 0xA0 ? Windows1252High[code - 0x80] : char16_t(code));
    }
    return text;
}

QChar CsvReader::separator(const QString &text)
{
    // A separator that belongs splits most rows into the same number of fields; one that only
    // turns up inside names ("Müller, Hans") splits some rows and not others.
    QChar best = u';';
    double bestShare = 0;
    for (const char16_t candidate : Separators) {
        const auto counts = sampleCounts(text, candidate);
        std::map<qsizetype, int> frequency;
        for (const qsizetype count : counts) {
            if (count >= 2)
                ++frequency[count];
        }
        int most = 0;
        for (const auto &[count, rows] : frequency)
            most = std::max(most, rows);
        const double share = counts.empty() ? 0 : double(most) / double(counts.size());
        if (share > bestShare) {
            best = candidate;
            bestShare = share;
        }
    }
    return best;
}

bool CsvReader::looksLikeTable(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\r' && c != u'\n')
            return false;
    }
    const QChar sep = separator(text);
    std::vector<qsizetype> counts;
    bool hasNumber = false;
    parse(text, sep, [&](const QStringList &fields) {
        counts.push_back(fields.size());
        for (const QString &field : fields)
            hasNumber = hasNumber || fieldValue(field).typeId() == QMetaType::Double;
        return int(counts.size()) < SampleRecords;
    });
    if (!allEqual(counts) || counts.front() < 2)
        return false;
    // Prose has commas too, the same number on a few lines by chance; a table written with
    // commas has numbers in it (a starter list at least its starting numbers).
    return sep != u',' || hasNumber;
}

ReadStatus CsvReader::read(const QString &text, const QString &sheetName, Workbook &workbook)
{
    CellCollector cells;
    const int sheet = cells.addSheet(sheetName);
    bool fits = true;
    int row = 0;
    parse(text, separator(text), [&](const QStringList &fields) {
        ++row;
        for (qsizetype column = 0; column < fields.size() && fits; ++column)
            fits = cells.setCell(sheet, row, int(column) + 1, fieldValue(fields.at(column)));
        return fits && row < CellCollector::MaxRows;
    });
    if (!fits)
        return ReadStatus::TooLarge;
    return cells.moveInto(workbook) ? ReadStatus::Ok : ReadStatus::TooLarge;
}
