#pragma once

#include "core/CommandMap.h"
#include "core/Controls.h"
#include "core/RaceInput.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <optional>

class BarrierIndicator;
class CorrectionsWindow;
class GridHeader;
class GridView;
class SpreadsheetActions;
class TCfgDialog;
class GridModel;
class KeyDispatcher;
class PagePrinter;
class PendingListModel;
class PressButton;
class QuestionAsker;
class RaceCore;
class RaceSession;
class Shell;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QTableView;
class QTimer;
class QToolButton;

// The main window. It shows the session's state and submits every input to it; the
// widgets are built in TFormMainLayout.cpp, the wiring and the handlers live here.
class TFormMain final : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr const char *ContactSound = "Ton-Kontakt.wav";
    static constexpr const char *GongSound = "Ton-Counter.wav";
    static constexpr const char *ManualFile = "Chronolauf-Handbuch.html";
    static constexpr const char *DefaultWebAddress = "https://www.chronolauf.example/";
    // A message in status panel 1 goes after this long.
    static constexpr int MessageTimeoutMs = 10000;

    // What the window hands work to; tests put fakes in for the desktop and the printer.
    struct Services
    {
        Shell &shell;
        PagePrinter &printer;
    };

    // The session must outlive the window.
    TFormMain(RaceSession &session, const Services &services, QWidget *parent = nullptr);
    ~TFormMain() override;

    // The dialogs are made after the main window and serve it for the whole run.
    void setDialogs(QuestionAsker *asker, QDialog *info, TCfgDialog *settings = nullptr);
    // The spreadsheet export and the starter-list import.
    void setSpreadsheetActions(SpreadsheetActions *actions) { mSpreadsheet = actions; }
    // The light barriers' port as last chosen ("COM" n, 0 = none).
    int port() const { return mPort; }
    void setPort(int port) { mPort = port; }
    void setWebAddress(const QString &address) { mWebAddress = address; }
    const QString &webAddress() const { return mWebAddress; }

    const RaceCore &core() const;
    // Runs once the operator's close request is granted, before the window goes.
    void setCloseHandler(std::function<void()> handler) { mCloseHandler = std::move(handler); }
    void setLogo(const QPixmap &logo);
    // Status panel 1: a message that clears itself after MessageTimeoutMs. While an error
    // shows, messages wait and follow it one after the other once it is cleared.
    void showMessage(const QString &text);
    // Status panel 1, in red, until cleared: something the operator must not miss.
    void showPersistentError(const QString &text);
    // The error is over (the journal is written again): the waiting messages follow.
    void clearPersistentError();
    // Status panel 1 between messages, beside what the barriers tell: where the live standings
    // page is served (empty: not served).
    void setLiveAddress(const QString &address);
    // A panel of a feature's own in the status bar, left of the window size (publishing's
    // state); panel 1 gives up the width it takes while it shows.
    void addStatusPanel(QWidget *panel);
    // The race keys work in this window too (the scoreboard): they run this window's commands.
    void shareKeys(QWidget *window);

    // The operations behind keys, menus and buttons.
    void mStart2Click();
    void CapturePass();
    void sbHelpClick();
    void Info1Click();
    void Label14Click();
    void sbWebClick();
    void Print1Click();
    // The settings dialog's edit cycle; a changed port is closed and the new one opened.
    void bCFGClick();
    void runCommand(const Command &command);
    // Ctrl+K: the corrections window on the participant of the grid's current row.
    void openCorrections();

    // The help file: the program's path with ".chm" when it exists, else the manual.
    static QString HelpFilePath();
    // The results page: the program file's name with ".html", in the current directory.
    static QString ProtocolFileName();

signals:
    // The operator chose another port for the light barriers (0: none).
    void portChosen(int port);
    // Ctrl+W: the scoreboard window.
    void scoreboardRequested();
    // Ctrl+Shift+W: the live standings page on the local network, on or off.
    void liveResultsToggled();
    // Ctrl+Shift+U: uploads of the standings to a web host, on or off.
    void publishToggled();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static constexpr int TopPanelHeight = 88;
    static constexpr int PassPanelWidth = 114;
    // The button panel: six speed buttons, then the wall clock and the barrier contact.
    static constexpr int ButtonPanelWidth = 344;
    static constexpr int ClockLeft = 230;
    // Where the start button ends: under the fifth speed button, as it always has.
    static constexpr int StartRight = 188;
    static constexpr int StatusBarHeight = 19;
    static constexpr int StatusWidths[4] = {286, 0, 90, 70};

    // Layout (TFormMainLayout.cpp): widgets, their looks and places, no behaviour.
    void buildLayout();
    QWidget *buildTopPanel();
    QWidget *buildButtonPanel(QWidget *parent);
    QWidget *buildGrid();
    QWidget *buildPassPanel();
    void buildStatusBar();

    // Wiring: widget signals become session inputs, session signals update the widgets.
    void wire();
    void submit(const RaceInput &input);
    bool writeProtocol(const QString &fileName);
    void showControls();
    // A duration of 100 hours or more still shows every digit in "Counter:".
    void fitDurationFont();
    // Status panel 1 between messages: what the light barriers tell.
    void showBarrierHealth();
    // After a message's time: the next waiting one, else what the barriers tell.
    void nextMessage();
    // The start button gives way to the barrier indicator while the port is open.
    void placeStartButton(bool indicatorShown);
    // The pending list's selection as the core has it.
    void showPendingSelection();
    void showPending();
    void showCells();
    void showRowCount();
    void fitToParticipants();
    void FormResize();
    void showGridContextMenu(const QPoint &pos);

    RaceSession &mSession;
    Shell &mShell;
    PagePrinter &mPrinter;
    QuestionAsker *mAsker = nullptr;
    QDialog *mInfo = nullptr;
    TCfgDialog *mCfg = nullptr;
    SpreadsheetActions *mSpreadsheet = nullptr;
    int mPort = 0;
    QString mPersistentError;
    // Messages that came while the error showed, oldest first.
    QStringList mWaitingMessages;
    QString mLiveAddress;
    QWidget *mStatusPanel = nullptr; // a feature's own status panel, if any
    QString mWebAddress = QString::fromLatin1(DefaultWebAddress);
    std::function<void()> mCloseHandler;

    GridModel *mGridModel = nullptr;
    GridHeader *mGridHeader = nullptr;
    PendingListModel *mPendingModel = nullptr;
    KeyDispatcher *mKeys = nullptr;
    bool mSyncingSelection = false;

public:
    // Controls, under the names the manual and the tests use.
    QWidget *Panel1 = nullptr;
    QLineEdit *eTitle = nullptr;
    QComboBox *cbTip = nullptr;
    QLabel *Label14 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *ImageLogo = nullptr;
    QLabel *ImageGong = nullptr;
    QLineEdit *meTimeWarn = nullptr;
    QToolButton *sbTimeWarnUp = nullptr;
    QToolButton *sbTimeWarnDown = nullptr;
    QLineEdit *meTime = nullptr;
    QToolButton *sbHelp = nullptr;
    QToolButton *bCFG = nullptr;
    QToolButton *bInfo = nullptr;
    QToolButton *sbExcel = nullptr;
    QToolButton *sbWeb = nullptr;
    QToolButton *bStartList = nullptr;
    QToolButton *bCorrections = nullptr;
    BarrierIndicator *ImageLS1 = nullptr;
    PressButton *bSTART2 = nullptr;
    QLabel *eTime = nullptr;
    QLabel *Panel7 = nullptr;
    GridView *SortGrid1 = nullptr;
    QWidget *PanelRR = nullptr;
    PressButton *bZeit = nullptr;
    QListView *ListBoxTime = nullptr;
    QMenu *PopupMenuAus = nullptr;
    QAction *mAus = nullptr;
    QLabel *StatusPanels[4] = {};
    QTimer *TimerMessage = nullptr; // clears status panel 1
    // "Korrekturen" (Ctrl+K): a window of its own that stays above this one, never modal.
    CorrectionsWindow *Corrections = nullptr;
};
