#include "session/RaceSession.h"

#include "core/TickSource.h"

RaceSession::RaceSession(std::unique_ptr<TickSource> clock, const QLocale &locale, QObject *parent)
    : QObject(parent)
    , mClock(std::move(clock))
    , mCore(locale)
{
    mCore.setObserver(&mCollector);
}

RaceSession::~RaceSession()
{
    mCore.setObserver(nullptr);
}

std::int32_t RaceSession::now() const
{
    return ReadClock(*mClock);
}

void RaceSession::submit(RaceInput input)
{
    mQueue.push_back(std::move(input));
    if (mBusy)
        return;
    mBusy = true;
    while (!mQueue.empty()) {
        RaceInput next = std::move(mQueue.front());
        mQueue.pop_front();
        applyOne(std::move(next));
    }
    mBusy = false;
}

void RaceSession::applyOne(RaceInput input)
{
    if (!input.tick)
        input.tick = now();
    mCollector.changes = 0;
    mCore.apply(input);
    const unsigned changes = mCollector.changes;
    if (changes != 0)
        mSnapshot.reset();

    emit applied(input);
    if (changes & RowCountChange)
        emit rowCountChanged();
    if (changes & CellsChange)
        emit cellsChanged();
    if (changes & RunningTimesChange)
        emit runningTimesChanged();
    if (changes & PendingChange)
        emit pendingChanged();
    if (changes & ControlsChange)
        emit controlsChanged();
    if (changes & FocusChange)
        emit pendingFocusRequested();
    if (changes & ContactSound)
        emit soundRequested(RaceObserver::Sound::Contact);
    if (changes & GongSound)
        emit soundRequested(RaceObserver::Sound::Gong);
    if (changes != 0)
        emit changed();
}

std::shared_ptr<const ResultsSnapshot> RaceSession::snapshot() const
{
    if (!mSnapshot)
        mSnapshot = std::make_shared<const ResultsSnapshot>(ResultsSnapshot::of(mCore));
    return mSnapshot;
}

void RaceSession::Collector::gridChanged(GridChange change)
{
    switch (change) {
    case GridChange::RowCount: changes |= RowCountChange; break;
    case GridChange::Cells: changes |= CellsChange; break;
    case GridChange::RunningTimes: changes |= RunningTimesChange; break;
    }
}
