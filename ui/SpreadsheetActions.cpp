#include "ui/SpreadsheetActions.h"

#include "core/RaceCore.h"
#include "core/ResultsDate.h"
#include "platform/FileWorker.h"
#include "platform/Shell.h"
#include "results/SpreadsheetExport.h"
#include "results/StarterListImport.h"
#include "session/RaceSession.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

SpreadsheetActions::SpreadsheetActions(RaceSession &session, FileWorker &worker, Shell &shell, QWidget *dialogParent)
    : QObject(dialogParent)
    , mSession(session)
    , mWorker(worker)
    , mShell(shell)
    , mDialogParent(dialogParent)
{
}

void SpreadsheetActions::exportResults(const QString &subject, const QString &webAddress)
{
    if (mBusy)
        return;
    const SpreadsheetExport::Context context{
        .date = ResultsDate(QDate::currentDate(), QLocale()),
        .subject = subject,
        .comments = webAddress,
        .workingDir = QDir::currentPath(),
        .baseName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral("-Ergebnis"),
        .now = QDateTime::currentDateTime(),
    };
    // The results as they stand now; the race goes on while the file is written.
    const std::shared_ptr<const ResultsSnapshot> results = mSession.snapshot();
    setBusy(true);
    emit message(QStringLiteral("Ergebnis wird geschrieben …"));
    mWorker.run<SpreadsheetExport::Result>(
        [results, context] { return SpreadsheetExport::ExportSpreadsheet(*results, context); }, this,
        [this](const SpreadsheetExport::Result &result) {
            setBusy(false);
            if (result.ok()) {
                // A template that could not be used is said, with the new workbook written instead.
                const QString saved = QStringLiteral("Ergebnis gespeichert: ") + QDir::toNativeSeparators(result.savedPath);
                emit message(result.notice.isEmpty() ? saved : result.notice + QStringLiteral(" – ") + saved);
                mShell.open(result.savedPath);
            } else {
                emit message(QString());
                showError(QStringLiteral("Das Ergebnis kann nicht gespeichert werden: ") + result.error);
            }
            emit finished();
        });
}

void SpreadsheetActions::openStarterList()
{
    if (mBusy)
        return;
    // The dialog offers the list chosen last time with its extension, so that Enter opens that
    // very file and not an older one of another format beside it.
    const QFileInfo last(mLastFile);
    const QString folder = mLastFile.isEmpty() ? QCoreApplication::applicationDirPath() : last.absolutePath();
    const QString file = chooseFile(folder, mLastFile.isEmpty() ? QString() : last.fileName());
    if (file.isEmpty())
        return;
    mLastFile = file;
    setBusy(true);
    emit message(QStringLiteral("Starterliste wird gelesen …"));
    const QLocale locale;
    mWorker.run<StarterListImport::Result>(
        [file, locale] { return StarterListImport::ImportStarterList(file, locale); }, this,
        [this](const StarterListImport::Result &result) {
            setBusy(false);
            emit message(QString());
            if (!result.ok()) {
                showError(result.error);
            } else if (!mSession.core().controls().setupEnabled) {
                // A session started while the file was read: the race keeps its starters, and
                // the operator learns why the list did not come.
                emit message(QStringLiteral("Starterliste nicht übernommen: die Sitzung läuft"));
            } else {
                mSession.submit({.kind = RaceInput::Kind::StarterListImported, .table = result.rows});
                emit message(result.summary);
            }
            emit finished();
        });
}

QString SpreadsheetActions::chooseFile(const QString &folder, const QString &lastName)
{
    if (mChooser)
        return mChooser(folder, lastName);
    QFileDialog dialog(mDialogParent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("MS Excel file (*.xls)"), QStringLiteral("Tabellen (*.xlsx *.ods *.csv)"),
                           QStringLiteral("Alle Dateien (*)")});
    // Only for a name typed without one; the name offered carries its own.
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    dialog.setDirectory(folder);
    if (!lastName.isEmpty()) {
        // The filter that shows the file, so that it stands in the list as well as in the name.
        const QString suffix = QFileInfo(lastName).suffix().toLower();
        if (suffix != QLatin1String("xls"))
            dialog.selectNameFilter(dialog.nameFilters().at(suffix == QLatin1String("xlsx") || suffix == QLatin1String("ods")
                                                                    || suffix == QLatin1String("csv")
                                                                ? 1
                                                                : 2));
        dialog.selectFile(lastName);
    }
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first() : QString();
}

void SpreadsheetActions::showError(const QString &text)
{
    // Not modal: the operator's keys keep booking while the message stands.
    // The caption is the program's name, as on its other windows.
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Chronolauf"), text, QMessageBox::Ok, mDialogParent);
    box->setObjectName(QStringLiteral("SpreadsheetError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void SpreadsheetActions::setBusy(bool busy)
{
    mBusy = busy;
}
