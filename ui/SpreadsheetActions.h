#pragma once

#include <QObject>
#include <QString>

#include <functional>

class FileWorker;
class QWidget;
class RaceSession;
class Shell;

// The spreadsheet export ("Export nach MS Excel") and the starter-list import, each done on
// the file worker while the window keeps timing; the results come back here. What the
// operator is to read goes out as status messages; dialogs and error boxes stand over the
// given parent.
class SpreadsheetActions final : public QObject
{
    Q_OBJECT

public:
    // Asks for the starter list to open: the folder to start in and the file name chosen last
    // time; empty when the operator cancels.
    using FileChooser = std::function<QString(const QString &folder, const QString &lastName)>;

    SpreadsheetActions(RaceSession &session, FileWorker &worker, Shell &shell, QWidget *dialogParent);

    void setFileChooser(FileChooser chooser) { mChooser = std::move(chooser); }

    // subject: the main window's caption; webAddress: the vendor's, for the workbook's comments.
    void exportResults(const QString &subject, const QString &webAddress);
    void openStarterList();
    // True while an export or an import is under way.
    bool busy() const { return mBusy; }

signals:
    // A text for the status bar; an empty one clears it.
    void message(const QString &text);
    void finished();

private:
    QString chooseFile(const QString &folder, const QString &lastName);
    void showError(const QString &text);
    void setBusy(bool busy);

    RaceSession &mSession;
    FileWorker &mWorker;
    Shell &mShell;
    QWidget *mDialogParent;
    FileChooser mChooser;
    QString mLastFile;
    bool mBusy = false;
};
