#pragma once

#include <QDateTime>
#include <QString>

struct ResultsSnapshot;

// The results workbook: the standings block and the lap block (and the corrections, when there
// are any), in the results template when there is one in the working directory, else in a new
// workbook; then saved for the desktop's spreadsheet program.
namespace SpreadsheetExport {

// The templates looked for in the working directory; the first one found is used.
inline constexpr const char *TemplateNames[] = {"Ergebnis-Mustervorlage.xltx", "Ergebnis-Mustervorlage.xlt"};
// The sheet the corrections in effect go on; a corrected race's workbook only.
inline constexpr const char CorrectionsSheetName[] = "Korrekturen";

struct Context
{
    QString date;        // the results date
    QString subject;     // the main window's caption
    QString comments;    // the vendor's web address
    QString workingDir;  // where the template is looked for and the workbook is saved
    QString baseName;    // "<program>-Ergebnis"
    QDateTime now;       // names the saved file
    QString targetPath = {}; // when set, the workbook is saved exactly there instead
};

struct Result
{
    QString savedPath;   // the workbook written, when it was
    QString error;       // why not, for the operator
    QString notice;      // why a template found was not used, for the status bar
    bool usedTemplate = false;
    bool ok() const { return !savedPath.isEmpty(); }
};

Result ExportSpreadsheet(const ResultsSnapshot &results, const Context &context);

} // namespace SpreadsheetExport
