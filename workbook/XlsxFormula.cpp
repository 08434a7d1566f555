#include "workbook/XlsxFormula.h"

#include <QRegularExpression>

namespace {

constexpr int maxRow = 1048576;
constexpr int maxColumn = 16384;

int columnNumber(QStringView letters)
{
    int column = 0;
    for (const QChar c : letters)
        column = column * 26 + (c.toUpper().unicode() - 'A' + 1);
    return column;
}

QString columnName(int column)
{
    QString name;
    for (; column > 0; column = (column - 1) / 26)
        name.prepend(QChar(u'A' + (column - 1) % 26));
    return name;
}

bool identifierChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'$' || c == u'\\';
}

// One part of a reference moved: "$" kept, a relative number moved; false when off the sheet.
bool moveColumn(const QString &dollar, QStringView letters, int by, QString *out)
{
    int column = columnNumber(letters);
    if (dollar.isEmpty())
        column += by;
    if (column < 1 || column > maxColumn)
        return false;
    *out += dollar + columnName(column);
    return true;
}

bool moveRow(const QString &dollar, QStringView digits, int by, QString *out)
{
    int row = digits.toInt();
    if (dollar.isEmpty())
        row += by;
    if (row < 1 || row > maxRow)
        return false;
    *out += dollar + QString::number(row);
    return true;
}

} // namespace

QString XlsxFormula::shifted(const QString &formula, int rows, int columns)
{
    static const QRegularExpression cellReference(QStringLiteral("^(\\$?)([A-Za-z]{1,3})(\\$?)([0-9]{1,7})$"));
    static const QRegularExpression columnReference(QStringLiteral("^(\\$?)([A-Za-z]{1,3})$"));
    static const QRegularExpression rowReference(QStringLiteral("^(\\$?)([0-9]{1,7})$"));

    QString out;
    out.reserve(formula.size() + 8);
    const qsizetype n = formula.size();
    qsizetype i = 0;
    // Whether the token before was a range's first part, for "A:C" and "1:3".
    auto nextIsRangePart = [&](qsizetype end) { return end < n && formula[end] == u':'; };
    bool afterColon = false;
    while (i < n) {
        const QChar c = formula[i];
        if (c == u'"' || c == u'\'' || c == u'[') {
            // A string, a quoted sheet name or a bracketed part, with its doubled quotes.
            const QChar close = c == u'[' ? QChar(u']') : c;
            qsizetype j = i + 1;
            for (; j < n; ++j) {
                if (formula[j] == close) {
                    if (close != u']' && j + 1 < n && formula[j + 1] == close) {
                        ++j;
                        continue;
                    }
                    break;
                }
            }
            out += formula.mid(i, j + 1 - i);
            i = j + 1;
            afterColon = false;
            continue;
        }
        if (!identifierChar(c)) {
            out += c;
            afterColon = c == u':';
            ++i;
            continue;
        }
        qsizetype j = i;
        while (j < n && identifierChar(formula[j]))
            ++j;
        const QString token = formula.mid(i, j - i);
        const bool followedByCall = j < n && formula[j] == u'(';
        const bool sheetName = j < n && formula[j] == u'!';
        const bool rangePart = afterColon || nextIsRangePart(j);
        QString moved;
        bool valid = true;
        bool reference = false;
        if (!followedByCall && !sheetName) {
            if (const auto m = cellReference.match(token); m.hasMatch()) {
                reference = true;
                valid = moveColumn(m.captured(1), m.capturedView(2), columns, &moved)
                    && moveRow(m.captured(3), m.capturedView(4), rows, &moved);
            } else if (rangePart) {
                if (const auto col = columnReference.match(token); col.hasMatch()) {
                    reference = true;
                    valid = moveColumn(col.captured(1), col.capturedView(2), columns, &moved);
                } else if (const auto r = rowReference.match(token); r.hasMatch()) {
                    reference = true;
                    valid = moveRow(r.captured(1), r.capturedView(2), rows, &moved);
                }
            }
        }
        out += !reference ? token : valid ? moved : QStringLiteral("#REF!");
        afterColon = false;
        i = j;
    }
    return out;
}
