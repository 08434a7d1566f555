#pragma once

#include "core/RaceCore.h"
#include "core/RaceInput.h"
#include "core/RaceObserver.h"
#include "core/ResultsSnapshot.h"

#include <QObject>

#include <deque>
#include <memory>

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
    const TickSource &clock() const { return *mClock; }
    // The race clock now.
    std::int32_t now() const;
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

private:
    void applyOne(RaceInput input);

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

    std::unique_ptr<TickSource> mClock;
    RaceCore mCore;
    Collector mCollector;
    // True while an input is applied or its signals run: inputs arriving then wait here.
    bool mBusy = false;
    std::deque<RaceInput> mQueue;
    mutable std::shared_ptr<const ResultsSnapshot> mSnapshot;
};
