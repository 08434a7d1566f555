#include "session/RaceSession.h"

#include "core/TickSource.h"
#include "core/TimeText.h"

#include <algorithm>

RaceSession::RaceSession(std::unique_ptr<TickSource> clock, const QLocale &locale, QObject *parent)
    : QObject(parent)
    , mBaseClock(std::move(clock))
    , mClock(std::make_unique<OffsetTickSource>(*mBaseClock))
    , mLocale(locale)
    , mCore(locale)
{
    mCore.setObserver(&mCollector);
}

const TickSource &RaceSession::clock() const
{
    return *mClock;
}

void RaceSession::setClockOffset(std::uint32_t offset)
{
    mClock->setOffset(offset);
}

std::uint32_t RaceSession::clockOffset() const
{
    return mClock->offset();
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
    if (input.kind == RaceInput::Kind::Undo) {
        undoLastLap(input);
        return;
    }
    const RaceTable &t = mCore.table();
    const SessionState before = mCore.sessionState();
    const int pendingBefore = mCore.pending().count();
    const int lapsBefore = input.kind == RaceInput::Kind::Assign && input.value >= 1 && input.value <= RaceTable::MaxParticipants
                               ? t.lapCount(input.value) : -1;
    mCollector.changes = 0;
    mCore.apply(input);
    const unsigned changes = mCollector.changes;
    if (changes != 0)
        mSnapshot.reset();

    // The record of the session: from its start to its reset.
    const SessionState after = mCore.sessionState();
    if (before == SessionState::Idle && after == SessionState::Running) {
        mHistory = prelude(*input.tick);
        mEffects.assign(mHistory.size(), Effect{});
        mHistory.push_back(input);
        mEffects.push_back({});
        if (!mReplaying)
            emit sessionBegan(mHistory);
    } else if (!mHistory.empty() && mCore.lastInputChangedRace() && input.kind != RaceInput::Kind::TimerDate) {
        // The running times shown when this input came (a sort by them, the times frozen at a
        // finish) are those of the refresh before it: that one goes into the record first.
        if (mLastRefresh && input.kind != RaceInput::Kind::TimerAll) {
            mHistory.push_back(*mLastRefresh);
            mEffects.push_back({});
            if (!mReplaying)
                emit recorded(*mLastRefresh);
        }
        mLastRefresh.reset();
        Effect effect;
        if (lapsBefore >= 0 && t.lapCount(input.value) > lapsBefore)
            effect = {.booked = true, .fromPending = pendingBefore > 0, .pass = t.LastPassTick[input.value]};
        mHistory.push_back(input);
        mEffects.push_back(effect);
        if (!mReplaying)
            emit recorded(input);
    }
    if (!mHistory.empty() && input.kind == RaceInput::Kind::TimerAll && !mCore.lastInputChangedRace())
        mLastRefresh = input;
    if (before == SessionState::Ended && after == SessionState::Idle) {
        mLastRefresh.reset();
        mHistory.clear();
        mEffects.clear();
        if (!mReplaying)
            emit sessionClosed();
    }

    if (mReplaying)
        return;
    emit applied(input);
    emitChanges(changes);
}

void RaceSession::emitChanges(unsigned changes)
{
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
    if (changes & (RowCountChange | CellsChange | ControlsChange))
        emit resultsChanged();
}

std::vector<RaceInput> RaceSession::prelude(std::int32_t tick) const
{
    using Kind = RaceInput::Kind;
    const RaceCore &c = mCore;
    std::vector<RaceInput> inputs;
    inputs.push_back({.kind = Kind::CarCountChanged, .tick = tick, .value = c.carCount()});
    // Numbers and names stay through the start; the start empties the other columns.
    QList<QStringList> starters;
    bool named = false;
    for (int r = 1; r <= c.carCount(); ++r) {
        const int row = c.table().RowOfParticipant[r];
        const QString &number = c.grid().cell(StandingsGrid::Number, row);
        const QString &name = c.grid().cell(StandingsGrid::Name, row);
        named = named || !number.isEmpty() || !name.isEmpty();
        starters << QStringList{number, name};
    }
    if (named)
        inputs.push_back({.kind = Kind::StarterListImported, .tick = tick, .table = starters});
    inputs.push_back({.kind = Kind::DurationEdited, .tick = tick, .text = QString::number(c.raceDuration())});
    inputs.push_back({.kind = Kind::TitleEdited, .tick = tick, .text = c.title()});
    inputs.push_back({.kind = Kind::SessionTypeChosen, .tick = tick, .value = c.sessionType()});
    inputs.push_back({.kind = Kind::WarnTimeEdited, .tick = tick, .text = c.acceptedWarnText()});
    inputs.push_back({.kind = Kind::WarnTimeLeft, .tick = tick});
    inputs.push_back({.kind = Kind::LapLimitChanged, .tick = tick, .value = c.lapLimit()});
    inputs.push_back({.kind = Kind::BarrierSettingsChanged, .tick = tick, .value = c.barrierSettings().pack()});
    if (c.controls().barrierIndicatorVisible)
        inputs.push_back({.kind = Kind::PortOpened, .tick = tick});
    // The start flips the arming: locked now means armed before.
    if (!c.controls().barriersArmed)
        inputs.push_back({.kind = Kind::ToggleArming, .tick = tick});
    return inputs;
}

void RaceSession::rebuild(const std::vector<RaceInput> &inputs)
{
    const bool replaying = mReplaying;
    mReplaying = true;
    mCore = RaceCore(mLocale);
    mCore.setObserver(&mCollector);
    mHistory.clear();
    mEffects.clear();
    mLastRefresh.reset();
    for (const RaceInput &input : inputs)
        applyOne(input);
    mReplaying = replaying;
    mSnapshot.reset();
}

void RaceSession::restore(const std::vector<RaceInput> &inputs)
{
    rebuild(inputs);
    emitChanges(RowCountChange | CellsChange | RunningTimesChange | PendingChange | ControlsChange);
}

void RaceSession::undoLastLap(const RaceInput &undo)
{
    auto last = std::find_if(mEffects.rbegin(), mEffects.rend(), [](const Effect &e) { return e.booked; });
    if (last == mEffects.rend())
        return;
    const std::size_t k = std::size_t(std::distance(last, mEffects.rend()) - 1);
    const RaceInput assign = mHistory[k];
    const Effect effect = *last;
    // The lap goes; its pass waits again, as a time in the list.
    std::vector<RaceInput> inputs(mHistory.begin(), mHistory.begin() + std::ptrdiff_t(k));
    if (!effect.fromPending)
        inputs.push_back({.kind = RaceInput::Kind::CapturePass, .tick = effect.pass});
    inputs.insert(inputs.end(), mHistory.begin() + std::ptrdiff_t(k) + 1, mHistory.end());
    rebuild(inputs);
    const QString passText = TimeText::FormatRaceTime(TickDiff(effect.pass, mCore.table().RaceStartTick), mCore.decimalSeparator());
    const int index = int(mCore.pending().entries().indexOf(passText));
    if (index >= 0) {
        const bool replaying = mReplaying;
        mReplaying = true;
        applyOne({.kind = RaceInput::Kind::SelectPending, .tick = undo.tick, .value = index});
        mReplaying = replaying;
    }
    if (mReplaying)
        return;
    emit recorded(undo);
    emit undone(QStringLiteral("Runde von %1 zurückgenommen: %2").arg(KeyLabel(assign.value), passText));
    emitChanges(RowCountChange | CellsChange | RunningTimesChange | PendingChange | ControlsChange);
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
