#pragma once

#include "core/CommandMap.h"
#include "core/RaceCore.h"
#include "core/RaceObserver.h"

#include <QMainWindow>

class GridModel;
class KeyDispatcher;
class PendingListModel;
class PressButton;
class QuestionAsker;
class SoundPlayer;
class TickSource;
class QComboBox;
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
    TFormMain(const TickSource &clock, SoundPlayer &sound, QuestionAsker &asker, QWidget *parent = nullptr);
    ~TFormMain() override;

    const RaceCore &core() const { return mCore; }

    // The operations behind keys and buttons.
    void mStart2Click();
    void CapturePass();
    void runCommand(const Command &command);

    static constexpr const char *ContactSound = "Ton-Kontakt.wav";
    static constexpr const char *GongSound = "Ton-Counter.wav";

private:
    void send(RaceInput input);
    void buildTopPanel(QWidget *panel);
    void buildPassPanel(QWidget *panel);
    void buildStatusBar();
    void showControls();
    void showPending();
    void syncTimer(QTimer *timer, bool enabled);
    void showGridContextMenu(const QPoint &pos);
    bool eventFilter(QObject *watched, QEvent *event) override;

    // RaceObserver
    void gridChanged(GridChange change) override;
    void pendingChanged() override;
    void controlsChanged() override;
    void playSound(Sound sound) override;
    void focusPendingList() override;

    const TickSource &mClock;
    SoundPlayer &mSound;
    QuestionAsker &mAsker;
    RaceCore mCore;

    GridModel *mGridModel = nullptr;
    PendingListModel *mPendingModel = nullptr;
    KeyDispatcher *mKeys = nullptr;
    bool mSyncingSelection = false;

public:
    // Controls, named as the operator's manual names them.
    QLineEdit *eTitle = nullptr;
    QComboBox *cbTip = nullptr;
    QLineEdit *meTimeWarn = nullptr;
    QToolButton *sbTimeWarnUp = nullptr;
    QToolButton *sbTimeWarnDown = nullptr;
    QLineEdit *meTime = nullptr;
    QLabel *ImageGong = nullptr;
    QLabel *eTime = nullptr;
    PressButton *bSTART2 = nullptr;
    PressButton *bZeit = nullptr;
    QListView *ListBoxTime = nullptr;
    QTableView *SortGrid1 = nullptr;
    QMenu *PopupMenuAus = nullptr;
    QAction *mAus = nullptr;
    QLabel *StatusPanels[4] = {};
    QTimer *TimerALL = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *TimerDate = nullptr;
    QTimer *TimerLockStop = nullptr;
};
