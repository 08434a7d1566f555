#include "output/StarterListImport.h"

#include "output/SpreadsheetApp.h"

#include <QDir>

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
    return value.toString();
}

Result ImportStarterList(const QString &path, const QLocale &locale)
{
    Result result;
    SpreadsheetApp app;
    app.setEnableEvents(false);
    try {
        const Workbook &book = app.open(path);
        if (book.sheets.empty())
            throw AutomationError(QStringLiteral("Die Datei enthält kein Tabellenblatt"));
        const Worksheet &sheet = book.sheets.front();
        // The filled rows hold every starter; the empty rows after them give none.
        const CellBlock block = sheet.values(1, 1, sheet.usedRows(), 12);
        for (const auto &row : block) {
            if (CellText(row[0], locale).isEmpty() || result.rows.size() == MaxStarters)
                break;
            QStringList texts;
            for (int c = 0; c < 10; ++c)
                texts << CellText(row[c], locale);
            result.rows << texts;
        }
        if (result.rows.isEmpty())
            result.error = QStringLiteral("Keine Starter gefunden: ") + QDir::toNativeSeparators(path);
    } catch (const AutomationError &error) {
        result.error = QStringLiteral("Die Starterliste %1 kann nicht gelesen werden: %2").arg(QDir::toNativeSeparators(path), error.text());
    }
    return result;
}

} // namespace StarterListImport
