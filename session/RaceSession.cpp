#include "session/RaceSession.h"

#include "core/TickSource.h"
#include "core/CorrectionText.h"
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
    using Kind = RaceInput::Kind;
    if (!input.tick)
        input.tick = now();
    if (input.kind == Kind::Undo) {
        undoLast(input);
        return;
    }
    const SessionState before = mCore.sessionState();
    // What an idle session would start from, read before the input that may start it.
    std::optional<SessionSetup> setupBefore;
    if (before == SessionState::Idle && (input.kind == Kind::StartCommand || input.kind == Kind::LineEvent))
        setupBefore = mCore.setup();
    mCollector.changes = 0;
    mCore.apply(input);
    const unsigned changes = mCollector.changes;
    if (changes != 0)
        mSnapshot.reset();

    // The record names the pass the input used by its id, so that it does the same when
    // replayed against a list that changed (a lap taken back, a pass returned).
    const RaceCore::Outcome &outcome = mCore.lastOutcome();
    if (outcome.pass != 0
        && (input.kind == Kind::CapturePass || input.kind == Kind::Assign || input.kind == Kind::DeletePending
            || input.kind == Kind::SelectPending || input.kind == Kind::InsertPass)) {
        input.pass = outcome.pass;
        if (input.kind == Kind::SelectPending)
            input.value = 0;
        if (input.kind == Kind::Assign)
            input.noLap = outcome.pass != RaceInput::NoPass && !outcome.booked;
    }

    // The record of the session: from its start to its reset.
    const SessionState after = mCore.sessionState();
    if (before == SessionState::Idle && after == SessionState::Running) {
        mSetup = setupBefore ? *setupBefore : mCore.setup();
        mHistory = {input};
        mEffects.assign(1, Effect{});
        // A rebuild starts the session again; what was taken back before stays in the trail.
        if (!mReplaying)
            mWithdrawn.clear();
        mLastRefresh.reset();
        if (!mReplaying)
            emit sessionBegan(mSetup, mHistory);
    } else if (!mHistory.empty() && mCore.lastInputChangedRace() && input.kind != Kind::TimerDate) {
        // The running times shown when this input came (a sort by them, the times frozen at a
        // finish) are those of the refresh before it: that one goes into the record first.
        if (mLastRefresh && input.kind != Kind::TimerAll) {
            mHistory.push_back(*mLastRefresh);
            mEffects.push_back({});
            if (!mReplaying)
                emit recorded(*mLastRefresh);
        }
        mLastRefresh.reset();
        Effect effect;
        if (input.kind == Kind::Assign && outcome.booked)
            effect = {.booked = true, .keyPress = outcome.keyPress, .pass = outcome.pass, .passTick = outcome.passTick};
        else if (RaceInput::IsCorrection(input.kind))
            effect = {.correction = true};
        mHistory.push_back(input);
        mEffects.push_back(effect);
        if (!mReplaying)
            emit recorded(input);
    }
    if (!mHistory.empty() && input.kind == Kind::TimerAll && !mCore.lastInputChangedRace())
        mLastRefresh = input;
    if (before == SessionState::Ended && after == SessionState::Idle) {
        mLastRefresh.reset();
        mHistory.clear();
        mEffects.clear();
        mWithdrawn.clear();
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

void RaceSession::rebuild(const std::optional<SessionSetup> &setup, const std::vector<RaceInput> &inputs)
{
    const bool replaying = mReplaying;
    mReplaying = true;
    mCore = RaceCore(mLocale);
    mCore.setObserver(&mCollector);
    mHistory.clear();
    mEffects.clear();
    mLastRefresh.reset();
    if (setup)
        applyOne({.kind = RaceInput::Kind::SetupRestored, .tick = 0, .setup = std::make_shared<const SessionSetup>(*setup)});
    for (const RaceInput &input : inputs)
        applyOne(input);
    mReplaying = replaying;
    mSnapshot.reset();
}

void RaceSession::restore(const std::optional<SessionSetup> &setup, const std::vector<RaceInput> &inputs)
{
    mWithdrawn.clear();
    rebuild(setup, inputs);
    emitChanges(RowCountChange | CellsChange | RunningTimesChange | PendingChange | ControlsChange);
}

void RaceSession::undoLast(const RaceInput &undo)
{
    auto last = std::find_if(mEffects.rbegin(), mEffects.rend(), [](const Effect &e) { return e.booked || e.correction; });
    if (last == mEffects.rend())
        return;
    const std::size_t k = std::size_t(std::distance(last, mEffects.rend()) - 1);
    const int participant = mHistory[k].value;
    const Effect effect = *last;
    if (effect.correction) {
        undoCorrection(undo, k);
        return;
    }
    // The lap goes and its pass waits again under its own id; every later input names its
    // passes by id, so it does again exactly what it did.
    std::vector<RaceInput> inputs(mHistory.begin(), mHistory.begin() + std::ptrdiff_t(k));
    if (effect.keyPress)
        inputs.push_back({.kind = RaceInput::Kind::CapturePass, .tick = effect.passTick, .pass = effect.pass});
    inputs.insert(inputs.end(), mHistory.begin() + std::ptrdiff_t(k) + 1, mHistory.end());
    rebuild(SessionSetup(mSetup), inputs);
    // The returned pass is the selected one, ready to be booked right.
    const bool replaying = mReplaying;
    mReplaying = true;
    applyOne({.kind = RaceInput::Kind::SelectPending, .tick = undo.tick, .pass = effect.pass});
    mReplaying = replaying;
    if (mReplaying)
        return;
    emit recorded(undo);
    const QString passText = TimeText::FormatRaceTime(TickDiff(effect.passTick, mCore.table().RaceStartTick), mCore.decimalSeparator());
    emit undone(QStringLiteral("Runde von %1 zurückgenommen: %2").arg(KeyLabel(participant), passText));
    emitChanges(RowCountChange | CellsChange | RunningTimesChange | PendingChange | ControlsChange);
}

void RaceSession::undoCorrection(const RaceInput &undo, std::size_t k)
{
    // The correction in effect that input k made: the core lists them in order.
    const auto corrections = std::count_if(mEffects.begin(), mEffects.begin() + std::ptrdiff_t(k), [](const Effect &e) { return e.correction; });
    Correction taken = mCore.corrections().at(std::size_t(corrections));
    taken.withdrawn = true;
    std::vector<RaceInput> inputs(mHistory.begin(), mHistory.begin() + std::ptrdiff_t(k));
    inputs.insert(inputs.end(), mHistory.begin() + std::ptrdiff_t(k) + 1, mHistory.end());
    rebuild(SessionSetup(mSetup), inputs);
    mWithdrawn.push_back(taken);
    if (mReplaying)
        return;
    emit recorded(undo);
    const QStringList cells = CorrectionText::cells(taken, mCore.decimalSeparator());
    emit undone(QStringLiteral("Korrektur zurückgenommen: %1 %2").arg(CorrectionText::action(taken.action), cells.at(4)));
    emitChanges(RowCountChange | CellsChange | RunningTimesChange | PendingChange | ControlsChange);
}

std::vector<Correction> RaceSession::trail() const
{
    std::vector<Correction> all = mCore.corrections();
    all.insert(all.end(), mWithdrawn.begin(), mWithdrawn.end());
    // In the order they were made; a correction made again after an undo comes after it.
    std::stable_sort(all.begin(), all.end(), [](const Correction &a, const Correction &b) { return a.madeAt < b.madeAt; });
    return all;
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
