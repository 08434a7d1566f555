#include "results/StarterListImport.h"

#include "results/SpreadsheetApp.h"

#include <QDir>
#include <QFile>

#include <set>
#include <utility>

namespace StarterListImport {

QString CellText(const QVariant &value, const QLocale &locale)
{
    if (!value.isValid())
        return {};
    if (value.typeId() == QMetaType::Double) {
        QLocale plain = locale;
        plain.setNumberOptions(QLocale::OmitGroupSeparator);
        return plain.toString(value.toDouble(), 'g', 15);
    }
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("WAHR") : QStringLiteral("FALSCH");
    if (value.typeId() == qMetaTypeId<CellError>())
        return value.value<CellError>().text;
    return value.toString();
}

namespace {

// Columns A..J: number, name and the grid's further columns.
constexpr int Columns = 10;

QString cellName(int row, int column)
{
    return QChar(char16_t(u'A' + column - 1)) + QString::number(row);
}

bool isError(const QVariant &value)
{
    return value.typeId() == qMetaTypeId<CellError>();
}

// FreeXL reads no formula results: an .xls file (OLE2) says so, any other file lacks them.
bool isLegacyWorkbook(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(8) == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

}

Result ImportStarterList(const QString &path, const QLocale &locale)
{
    Result result;
    SpreadsheetApp app;
    try {
        const Workbook &book = app.open(path);
        if (book.sheets.empty())
            throw AutomationError(QStringLiteral("Die Datei enthält kein Tabellenblatt"));
        const Worksheet &sheet = book.sheets.front();
        const QString file = QDir::toNativeSeparators(path);
        const std::set<std::pair<int, int>> formulas(sheet.formulasWithoutResult.begin(), sheet.formulasWithoutResult.end());
        QList<QStringList> rows;
        QStringList numbers;
        int row = 1;
        // The rows after the twentieth are not read, so what stands in them cannot stop the import.
        for (; rows.size() < MaxStarters; ++row) {
            // A formula whose result we lack would read as an empty cell: a short list, silently.
            for (int column = 1; column <= Columns; ++column) {
                if (!formulas.contains({row, column}))
                    continue;
                result.error = isLegacyWorkbook(path)
                    ? QStringLiteral("Formeln in .xls-Dateien werden nicht gelesen (Zelle %1): %2").arg(cellName(row, column), file)
                    : QStringLiteral("Formel ohne gespeichertes Ergebnis (Zelle %1): %2").arg(cellName(row, column), file);
                return result;
            }
            const QVariant number = sheet.cell(row, 1);
            for (int column : {1, 2}) {
                if (isError(sheet.cell(row, column))) {
                    result.error = QStringLiteral("Fehler in Zelle %1: %2").arg(cellName(row, column), file);
                    return result;
                }
            }
            if (CellText(number, locale).isEmpty())
                break;
            QStringList texts;
            for (int c = 1; c <= Columns; ++c)
                texts << CellText(sheet.cell(row, c), locale);
            rows << texts;
            numbers << texts.front();
        }
        if (rows.isEmpty()) {
            result.error = QStringLiteral("Keine Starter gefunden: ") + file;
            return result;
        }
        result.rows = rows;
        result.summary = QStringLiteral("%1 Starter aus %2 übernommen").arg(QString::number(rows.size()), file);
        if (rows.size() == MaxStarters && !CellText(sheet.cell(row, 1), locale).isEmpty()) {
            int more = 0;
            while (!CellText(sheet.cell(row + more, 1), locale).isEmpty())
                ++more;
            const QString left = more == 1 ? QStringLiteral("1 weitere Zeile") : QStringLiteral("%1 weitere Zeilen").arg(more);
            result.summary += QStringLiteral("; %1 nicht übernommen (höchstens %2)").arg(left, QString::number(MaxStarters));
        } else if (row < sheet.usedRows() || sheet.rowLength(row) > 0) {
            // Filled rows below the gap: the operator may have meant them to belong to the list.
            result.summary += QStringLiteral("; Liste endet bei der leeren Zelle A%1").arg(row);
        }
        QStringList reported;
        for (const QString &number : std::as_const(numbers)) {
            if (numbers.count(number) > 1 && !reported.contains(number)) {
                reported << number;
                result.summary += QStringLiteral("; Nr. %1 doppelt").arg(number);
            }
        }
    } catch (const AutomationError &error) {
        result.error = QStringLiteral("Die Starterliste %1 kann nicht gelesen werden: %2").arg(QDir::toNativeSeparators(path), error.text());
    }
    return result;
}

} // namespace StarterListImport
