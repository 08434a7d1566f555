#pragma once

#include "core/CommandMap.h"
#include "core/RaceCore.h"
#include "core/RaceObserver.h"
#include "ui/Services.h"

#include <QMainWindow>

#include <functional>
#include <optional>

class GridDelegate;
class GridHeader;
class GridModel;
class KeyDispatcher;
class PagePrinter;
class PendingListModel;
class PressButton;
class QuestionAsker;
class Shell;
class SoundPlayer;
class TickSource;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QTableView;
class QTimer;
class QToolButton;

// The main window. It shows the race core's state and forwards every input to it,
// stamped with the race clock.
class TFormMain final : public QMainWindow, private RaceObserver
{
public:
    static constexpr const char *ContactSound = "Ton-Kontakt.wav";
    static constexpr const char *GongSound = "Ton-Counter.wav";
    static constexpr const char *ManualFile = "Chronolauf-Handbuch.html";
    static constexpr const char *DefaultWebAddress = "https://www.chronolauf.example/";

    explicit TFormMain(const Services &services, QWidget *parent = nullptr);
    ~TFormMain() override;

    // The dialogs are made after the main window and serve it for the whole run.
    void setDialogs(QuestionAsker *asker, QDialog *info);
    void setWebAddress(const QString &address) { mWebAddress = address; }
    const QString &webAddress() const { return mWebAddress; }

    const RaceCore &core() const { return mCore; }
    // Every input reaches the core here, stamped with the race clock.
    void input(RaceInput input);
    // Runs once the operator's close request is granted, before the window goes.
    void setCloseHandler(std::function<void()> handler) { mCloseHandler = std::move(handler); }
    void setLogo(const QPixmap &logo);

    // The operations behind keys, menus and buttons.
    void mStart2Click();
    void CapturePass();
    void sbHelpClick();
    void Info1Click();
    void Label14Click();
    void sbWebClick();
    void Print1Click();
    void runCommand(const Command &command);

    // The help file: the program's path with ".chm" when it exists, else the manual.
    static QString HelpFilePath();
    // The results page: the program file's name with ".html", in the current directory.
    static QString ProtocolFileName();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildTopPanel();
    QWidget *buildButtonPanel(QWidget *parent);
    QWidget *buildGrid();
    QWidget *buildPassPanel();
    void buildStatusBar();
    void buildTimers();
    void notYetAvailable(const QString &what);
    bool writeProtocol(const QString &fileName);
    void showControls();
    void showPending();
    void fitToParticipants();
    void FormResize();
    void syncTimer(QTimer *timer, bool enabled);
    void showGridContextMenu(const QPoint &pos);

    // RaceObserver
    void gridChanged(GridChange change) override;
    void pendingChanged() override;
    void controlsChanged() override;
    void playSound(Sound sound) override;
    void focusPendingList() override;

    const TickSource &mClock;
    SoundPlayer &mSound;
    Shell &mShell;
    PagePrinter &mPrinter;
    QuestionAsker *mAsker = nullptr;
    QDialog *mInfo = nullptr;
    QString mWebAddress = QString::fromLatin1(DefaultWebAddress);
    std::function<void()> mCloseHandler;
    RaceCore mCore;

    GridModel *mGridModel = nullptr;
    GridHeader *mGridHeader = nullptr;
    PendingListModel *mPendingModel = nullptr;
    KeyDispatcher *mKeys = nullptr;
    bool mSyncingSelection = false;
    std::optional<BarrierPicture> mShownBarrierPicture;

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
    QLabel *ImageLS1 = nullptr;
    PressButton *bSTART2 = nullptr;
    QLabel *eTime = nullptr;
    QLabel *Panel7 = nullptr;
    QTableView *SortGrid1 = nullptr;
    QWidget *PanelRR = nullptr;
    PressButton *bZeit = nullptr;
    QListView *ListBoxTime = nullptr;
    QMenu *PopupMenuAus = nullptr;
    QAction *mAus = nullptr;
    QLabel *StatusPanels[4] = {};
    QTimer *TimerALL = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *TimerDate = nullptr;
    QTimer *TimerLockStop = nullptr;
};
