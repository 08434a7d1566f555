#pragma once

#include "settings/ProgramSettings.h"

#include <QObject>

#include <cstdint>
#include <memory>

class FileWorker;
class JournalRecorder;
class PagePrinter;
class SpreadsheetActions;
class SerialDevice;
class SessionTimers;
class TCfgDialog;
class TComPort;
class QSettings;
class RaceSession;
class LiveAddressDialog;
class LiveService;
class PublishControl;
class PublishFiles;
class PublishLogin;
class PublishPassword;
class PublishService;
class Scoreboard;
class Shell;
class SoundPlayer;
class TFDlgYesNo;
class TFormInfo;
class TFormMain;
class TickSource;

// The running program and its composition root: the race session first (it outlives every
// window), then the windows in their fixed order (the main window, its dialogs after it),
// with the settings of the last run applied, and written back when the main window closes.
class Program final : public QObject
{
    Q_OBJECT

public:
    // The platform services; tests put fakes in where the real thing cannot run here.
    struct Services
    {
        std::unique_ptr<TickSource> clock;
        SoundPlayer &sound;
        Shell &shell;
        PagePrinter &printer;
        std::unique_ptr<SerialDevice> serial; // the light barriers' port
        QString journalDir = {};              // where journals go; empty: the user's data folder
    };

    Program(Services services, QSettings &store);
    ~Program() override;

    RaceSession &session() { return *mSession; }
    TFormMain &mainWindow() { return *mFormMain; }
    TFDlgYesNo &questionDialog() { return *mQuestion; }
    TFormInfo &infoBox() { return *mInfo; }
    TCfgDialog &settingsDialog() { return *mCfg; }
    SpreadsheetActions &spreadsheet() { return *mSpreadsheet; }
    JournalRecorder &journal() { return *mJournal; }
    SessionTimers &timers() { return *mTimers; }
    TComPort &comPort() { return *mComPort; }
    // The scoreboard window; none until the operator first asks for it (Ctrl+W).
    Scoreboard *scoreboard() { return mScoreboard.get(); }
    // The live standings server; none until the operator first switches it on (Ctrl+Shift+W).
    LiveService *live() { return mLive.get(); }
    LiveAddressDialog *liveAddressDialog() { return mLiveDialog; }
    // Publishing to a web host: the operator's switch and status panel, the keyring's
    // password, and the files of each upload.
    PublishControl &publishControl() { return *mPublishControl; }
    PublishPassword &publishPassword() { return *mPublishPassword; }
    // Switched on, publishing gathers its login here; ready() carries it to the uploader.
    PublishLogin &publishLogin() { return *mPublishLogin; }
    const std::shared_ptr<PublishFiles> &publishFiles() const { return mPublishFiles; }
    // The serial ports found at start-up (bit n-1 for "COM" n, the highest number above bit 15).
    std::uint32_t portPresence() const { return mPortPresence; }
    const ProgramSettings &loaded() const { return mLoaded; }

    // Called once the main window shows, so that a question stands over it: offers the
    // interrupted sessions, then opens the stored port. In this order, so that no barrier
    // event reaches the blank session a recovery replaces, and a recovered race's clock is
    // set before the port's thread stamps anything with it.
    void start();
    // A later start of the program asked for the window: it comes to the front.
    void bringToFront();

    // The settings as they stand now: the window's bounds and the session's fields, the
    // rest as loaded.
    ProgramSettings current() const;

    static QString baseName();

private:
    void apply(const ProgramSettings &settings);
    // Closes the barriers' port and opens port n (0: none); a port that fails stays closed.
    void openPort(int port);
    // Offers every session whose journal did not end cleanly (the program died during it),
    // newest first, until the operator takes one back; each declined one is closed.
    void offerRecovery();
    // Ctrl+W: shows the scoreboard (made the first time) and brings it to the front.
    void showScoreboard();
    // Ctrl+Shift+W: the live standings page on the local network on, or off again.
    void toggleLiveResults();

    QSettings &mStore;
    ProgramSettings mLoaded;
    SoundPlayer &mSound;
    // Declared first, destroyed last: the windows read it until they are gone.
    std::unique_ptr<RaceSession> mSession;
    std::unique_ptr<JournalRecorder> mJournal;
    // The race's clocks: they run with or without a window, and stop before the session goes.
    std::unique_ptr<SessionTimers> mTimers;
    QString mJournalDir;
    // Closed before the session goes: its last OnClose still reaches the session.
    std::unique_ptr<TComPort> mComPort;
    std::uint32_t mPortPresence = 0;
    std::unique_ptr<TFormMain> mFormMain;
    // A window of its own (no parent): it may stand on another screen than the main window.
    std::unique_ptr<Scoreboard> mScoreboard;
    // Joins its server thread when it goes, before the session it reads.
    std::unique_ptr<LiveService> mLive;
    LiveAddressDialog *mLiveDialog = nullptr; // a child of the main window
    PublishControl *mPublishControl = nullptr; // in the main window's status bar
    PublishPassword *mPublishPassword = nullptr; // a child of this object
    PublishLogin *mPublishLogin = nullptr;       // a child of this object
    // Shared with the uploader's file maker, which may outlive a call into it.
    std::shared_ptr<PublishFiles> mPublishFiles;
    // Joins its upload thread when it goes, before the session it reads.
    std::unique_ptr<PublishService> mPublish;
    TFDlgYesNo *mQuestion = nullptr;
    TFormInfo *mInfo = nullptr;
    TCfgDialog *mCfg = nullptr;
    SpreadsheetActions *mSpreadsheet = nullptr;
    // Declared last, joined first: a file job under way finishes while its window still exists.
    std::unique_ptr<FileWorker> mFileWorker;
};
