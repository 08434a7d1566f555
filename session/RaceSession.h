#pragma once

#include "core/RaceCore.h"
#include "core/RaceInput.h"
#include "core/RaceObserver.h"
#include "core/ResultsSnapshot.h"
#include "core/SessionSetup.h"

#include <QObject>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

class OffsetTickSource;
class TickSource;

// The one way into the race: owns the core and the race clock, stamps each input that has
// no tick yet, applies it, and then tells every listener once what the input changed.
class RaceSession final : public QObject
{
    Q_OBJECT

public:
    explicit RaceSession(std::unique_ptr<TickSource> clock, const QLocale &locale = QLocale(), QObject *parent = nullptr);
    ~RaceSession() override;

    // Applies the input after any that is still being applied; its signals follow before
    // submit returns, unless submit was called from inside another input's turn.
    void submit(RaceInput input);

    const RaceCore &core() const { return mCore; }
    const TickSource &clock() const;
    // Moves the race clock: a race recovered after a reboot goes on with its own ticks.
    void setClockOffset(std::uint32_t offset);
    std::uint32_t clockOffset() const;

    // What the running (or ended) session started from, and the inputs that rebuild it from
    // there: its start and every input after it that changed the race. Empty while no
    // session is on.
    const SessionSetup &setup() const { return mSetup; }
    const std::vector<RaceInput> &history() const { return mHistory; }
    // Rebuilds the race from recorded inputs (a recovery, a replay), on a fresh core that
    // first takes the set-up if there is one: nothing is recorded again, no sound plays, and
    // the listeners hear about the result once.
    void restore(const std::optional<SessionSetup> &setup, const std::vector<RaceInput> &inputs);
    // The race clock now.
    std::int32_t now() const;
    // Every correction of the session, oldest first: those in effect and those taken back.
    std::vector<Correction> trail() const;
    // The results after the latest input; made once per change, shared by every reader.
    std::shared_ptr<const ResultsSnapshot> snapshot() const;

signals:
    // The input as applied, with its tick: for a journal.
    void applied(const RaceInput &input);
    void rowCountChanged();
    // Cells other than the running times changed (bookings, sorting, marks).
    void cellsChanged();
    // Only the running times column changed.
    void runningTimesChanged();
    void pendingChanged();
    void controlsChanged();
    void soundRequested(RaceObserver::Sound sound);
    // A capture or a start puts the operator's focus on the pending pass times.
    void pendingFocusRequested();
    // Anything at all changed; snapshot() already shows it.
    void changed();
    // The results a live view shows changed: rows, cells, the countdown or the gong. Not sent
    // for a running-time refresh alone, so a listener reads snapshot() only when it differs.
    void resultsChanged();

    // A session began: the set-up it began from, then its start.
    void sessionBegan(const SessionSetup &setup, const std::vector<RaceInput> &inputs);
    // An input of the running session that changed the race: to be recorded.
    void recorded(const RaceInput &input);
    // The session was reset for the next one: its record is complete.
    void sessionClosed();
    // A lap or a correction was taken back; the text says which, for the operator.
    void undone(const QString &what);

private:
    // What an applied input did that an undo needs to know.
    struct Effect
    {
        bool booked = false;       // an assignment that booked a lap
        bool correction = false;   // a correction that was applied
        bool keyPress = false;     // its pass was the key press (else a waiting pass)
        std::uint32_t pass = 0;    // the id of the pass it booked
        std::int32_t passTick = 0; // and its tick
    };

    void applyOne(RaceInput input);
    void emitChanges(unsigned changes);
    // Takes back the last booked lap or correction, whichever came later.
    void undoLast(const RaceInput &undo);
    // Rebuilds the race without the correction that input k of the history made.
    void undoCorrection(const RaceInput &undo, std::size_t k);
    // A fresh core with the set-up and these inputs applied, nothing emitted.
    void rebuild(const std::optional<SessionSetup> &setup, const std::vector<RaceInput> &inputs);

    enum ChangeBit : unsigned {
        RowCountChange = 1u << 0,
        CellsChange = 1u << 1,
        RunningTimesChange = 1u << 2,
        PendingChange = 1u << 3,
        ControlsChange = 1u << 4,
        FocusChange = 1u << 5,
        ContactSound = 1u << 6,
        GongSound = 1u << 7,
    };

    // What the core reports during apply, collected as bits and emitted after it.
    class Collector final : public RaceObserver
    {
    public:
        unsigned changes = 0;
        void gridChanged(GridChange change) override;
        void pendingChanged() override { changes |= PendingChange; }
        void controlsChanged() override { changes |= ControlsChange; }
        void playSound(Sound sound) override { changes |= sound == Sound::Gong ? GongSound : ContactSound; }
        void focusPendingList() override { changes |= FocusChange; }
    };

    std::unique_ptr<TickSource> mBaseClock;
    std::unique_ptr<OffsetTickSource> mClock;
    QLocale mLocale;
    RaceCore mCore;
    SessionSetup mSetup;
    std::vector<RaceInput> mHistory;
    std::vector<Effect> mEffects; // one for each input of mHistory
    // Corrections of this session taken back: the trail keeps them.
    std::vector<Correction> mWithdrawn;
    // The latest running-time refresh not yet in the record.
    std::optional<RaceInput> mLastRefresh;
    // Replaying recorded inputs: nothing is recorded, emitted or sounded meanwhile.
    bool mReplaying = false;
    Collector mCollector;
    // True while an input is applied or its signals run: inputs arriving then wait here.
    bool mBusy = false;
    std::deque<RaceInput> mQueue;
    mutable std::shared_ptr<const ResultsSnapshot> mSnapshot;
};
