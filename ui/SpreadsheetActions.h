#pragma once

#include <QObject>
#include <QString>

#include <functional>

class FileWorker;
class RaceSession;
class Shell;
class TFormMain;

// The spreadsheet export ("Export nach MS Excel") and the starter-list import, each done on
// the file worker while the window keeps timing; the results come back here.
class SpreadsheetActions final : public QObject
{
    Q_OBJECT

public:
    // Asks for the starter list to open: the folder to start in and the file name chosen last
    // time; empty when the operator cancels.
    using FileChooser = std::function<QString(const QString &folder, const QString &lastName)>;

    SpreadsheetActions(RaceSession &session, FileWorker &worker, Shell &shell, TFormMain &window);

    void setFileChooser(FileChooser chooser) { mChooser = std::move(chooser); }

    void exportResults();
    void openStarterList();
    // True while an export or an import is under way.
    bool busy() const { return mBusy; }

signals:
    void finished();

private:
    QString chooseFile(const QString &folder, const QString &lastName);
    void showError(const QString &text);
    void setBusy(bool busy);

    RaceSession &mSession;
    FileWorker &mWorker;
    Shell &mShell;
    TFormMain &mWindow;
    FileChooser mChooser;
    QString mLastFile;
    bool mBusy = false;
};
