#include "core/RaceCore.h"

#include "core/TickSource.h"
#include "core/TimeText.h"

#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <array>

using Column = StandingsGrid::Column;

namespace {

// The system's time separator: the first character of the short time format that is not a field letter.
QChar timeSeparatorOf(const QLocale &locale)
{
    for (const QChar ch : locale.timeFormat(QLocale::ShortFormat)) {
        if (!ch.isLetter() && !ch.isSpace() && ch != QLatin1Char('\''))
            return ch;
    }
    return QLatin1Char(':');
}

} // namespace

RaceCore::RaceCore(const QLocale &locale)
    : mLocale(locale)
    , mDecimalSeparator(locale.decimalPoint().isEmpty() ? QLatin1Char(',') : locale.decimalPoint().front())
    , mTimeSeparator(timeSeparatorOf(locale))
    , mLongTimeFormat(locale.timeFormat(QLocale::LongFormat))
    , mText(mDecimalSeparator)
    , mDurationText(TimeText::FormatClockSeconds(DefaultDuration))
{
    // The wall clock shows the time of day only, without a time zone name.
    mLongTimeFormat.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*$")));
    mLongTimeFormat.remove(QRegularExpression(QStringLiteral("^\\s*t+\\s*")));
    seCarCountChange(RaceTable::MaxParticipants);
}

void RaceCore::apply(const RaceInput &in)
{
    using Kind = RaceInput::Kind;
    const std::int32_t now = in.tick.value_or(0);
    // The clock inputs change the race only now and then; they say so themselves.
    mRaceChanged = in.kind != Kind::TimerAll && in.kind != Kind::Timer1 && in.kind != Kind::TimerDate;
    mOutcome = {};
    switch (in.kind) {
    case Kind::StartCommand: mStart2Click(now, in.confirmed, in.answers); break;
    case Kind::CapturePass: CapturePass(now, in.pass); break;
    case Kind::Assign: FClick(now, in.value, in.pass, in.noLap); break;
    case Kind::DeletePending:
        // A deletion of nothing is not part of the race: replayed later, it would take a pass.
        mDelZeitClick(in.pass);
        mRaceChanged = mOutcome.pass != 0;
        break;
    case Kind::SelectPending: {
        // Older journals name the pass by its place in the list.
        std::uint32_t id = in.pass;
        if (id == 0 && in.value >= 0 && in.value < mPending.count())
            id = mPending.pass(in.value).id;
        if (id != 0 && mPending.select(id))
            mOutcome.pass = id;
        mRaceChanged = mOutcome.pass != 0;
        mObserver->pendingChanged();
        break;
    }
    case Kind::SetupRestored:
        if (in.setup)
            restoreSetup(*in.setup);
        break;
    case Kind::SortCycle: mSortClick(); break;
    case Kind::MarkOut: mAusClick(in.value); break;
    case Kind::TimerAll: TimerALLTimer(now); break;
    case Kind::Timer1: Timer1Timer(now); break;
    case Kind::TimerDate: TimerDateTimer(in.value); break;
    case Kind::TimerLockStop: TimerLockStopTimer(); break;
    case Kind::ToggleArming: ImageLSClick(); break;
    case Kind::DurationTyped:
        if (!mControls.durationReadOnly)
            mDurationText = in.text;
        mObserver->controlsChanged();
        break;
    case Kind::DurationEdited:
        if (!mControls.durationReadOnly) {
            mDurationText = in.text;
            meTimeExit();
        }
        break;
    case Kind::WarnTimeEdited:
        if (mControls.setupEnabled) {
            mWarnText = in.text;
            if (WarnTextComplete(mWarnText))
                mAcceptedWarnText = mWarnText;
        }
        mObserver->controlsChanged();
        break;
    case Kind::WarnTimeLeft:
        settleWarnText();
        mObserver->controlsChanged();
        break;
    case Kind::WarnStepUp: stepWarningTime(5000); break;
    case Kind::WarnStepDown: stepWarningTime(-5000); break;
    case Kind::TitleEdited:
        if (mControls.titleEnabled)
            mTitle = in.text;
        mObserver->controlsChanged();
        break;
    case Kind::SessionTypeChosen:
        if (mControls.setupEnabled && (in.value == 0 || in.value == 1))
            mSessionType = in.value;
        mObserver->controlsChanged();
        break;
    case Kind::CarCountChanged:
        if (mControls.setupEnabled)
            seCarCountChange(in.value);
        break;
    case Kind::LapLimitChanged:
        if (!mControls.lapsReadOnly)
            seKrugsChange(in.value);
        break;
    case Kind::LineEvent: ComPortEvent(now, in); break;
    case Kind::PortOpened: setBarrierIndicator(true); break;
    case Kind::PortClosed:
        mBarriers.portClosed();
        setBarrierIndicator(false);
        break;
    case Kind::Undo: break; // the session rebuilds the race without the lap
    case Kind::StarterListImported:
        // A list that comes once a session runs is not taken, nor part of its record.
        if (mControls.setupEnabled && !in.table.isEmpty())
            ImportStarterList(in.table);
        else
            mRaceChanged = false;
        break;
    case Kind::BarrierSettingsChanged: setBarrierSettings(BarrierSettings::unpack(in.value)); break;
    case Kind::StrikePass:
    case Kind::RestorePass:
    case Kind::MovePass:
    case Kind::InsertPass: correct(now, in); break;
    }
}

std::optional<RaceCore::Question> RaceCore::startQuestion() const
{
    switch (mState) {
    case SessionState::Running: return Question{RaceInput::Question::StopAllTimes, QStringLiteral("Alle Zeiten stoppen?")};
    case SessionState::Ended:
        return Question{RaceInput::Question::ProtocolSaved, QStringLiteral("Haben Sie das Protokoll gespeichert?")};
    case SessionState::Idle: break;
    }
    return std::nullopt;
}

const QStringList &RaceCore::SessionTypes()
{
    static const QStringList types{QStringLiteral("Rennen"), QStringLiteral("Training")};
    return types;
}

QString RaceCore::sessionTypeText() const
{
    return SessionTypes().value(mSessionType);
}

std::optional<RaceCore::Question> RaceCore::closeQuestion() const
{
    if (mState == SessionState::Idle)
        return std::nullopt;
    return Question{RaceInput::Question::Quit, QStringLiteral("Beenden?")};
}

bool RaceCore::WarnTextComplete(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d\\d:\\d\\d$"));
    return pattern.match(text).hasMatch();
}

bool RaceCore::DurationKeyAccepted(QChar ch, QChar timeSeparator)
{
    return (ch >= QLatin1Char('0') && ch <= QLatin1Char('9')) || ch == QChar(0x08) || ch == timeSeparator;
}

GridLayout::CellFormat RaceCore::cellFormat(int column, int row, std::int32_t now) const
{
    namespace Colour = GridLayout::Colour;
    GridLayout::CellFormat format;
    if (row == 0) {
        format.fontPoints = GridLayout::TitleFontPoints;
        format.align = GridLayout::Align::Centre;
        if (column == Column::Key)
            format.fontColour = Colour::Red;
        return format;
    }

    const int p = mTable.ParticipantAtRow[row];
    switch (column) {
    case Column::Place:
    case Column::Key: format.align = GridLayout::Align::Centre; break;
    case Column::Name: format.align = GridLayout::Align::Left; break;
    case Column::Laps:
    case Column::LastLap:
    case Column::PreviousLap:
    case Column::BestLap: format.background = Colour::LapColumns; break;
    case Column::CurrentTime:
        format.fontPoints = GridLayout::CurrentTimeFontPoints;
        format.background = Colour::LapColumns;
        format.bold = !mControls.timer1Enabled;
        break;
    case Column::GapToLeader: format.background = Colour::GapToLeader; break;
    case Column::GapAhead: format.background = Colour::GapAhead; break;
    case Column::TotalTime: format.background = Colour::TotalTime; break;
    default: break;
    }

    if (column == Column::CurrentTime && p >= 1) {
        // -1 marks a stopped session: overdue for good, whatever the tick counter reads.
        const std::int32_t since = mTable.WarnSinceTick[p];
        if (since == -1 || TickDiff(now, since) >= mWarningTime)
            format.fontColour = Colour::Red;
    }
    if (p >= 1 && p == mTable.CurrentParticipant)
        format.background = Colour::LastBooked;
    if (column == Column::Laps && p >= 1 && mFlagged[std::size_t(p)])
        format.underline = true;
    return format;
}

// ---- session control ----

void RaceCore::mStart2Click(std::int32_t now, bool confirmed, RaceInput::Question answers)
{
    // An answer acts only on the state whose question it answers: the session may have
    // ended by itself while the question was open, and "Ja" to stopping must not reset.
    const auto question = startQuestion();
    const RaceInput::Question asked = question ? question->id : RaceInput::Question::None;
    if (answers != asked)
        return;
    switch (mState) {
    case SessionState::Idle: startSession(now); break;
    case SessionState::Running:
        if (confirmed)
            stopSession(now);
        break;
    case SessionState::Ended:
        if (confirmed)
            resetSession();
        break;
    }
    mObserver->controlsChanged();
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
}

void RaceCore::setStartButton(SessionState state)
{
    switch (state) {
    case SessionState::Idle:
        mControls.startCaption = QStringLiteral("START");
        mControls.startColour = mControls.startHotColour = Colours::Lime;
        mControls.startLightColour = Colours::Green;
        break;
    case SessionState::Running:
        mControls.startCaption = QStringLiteral("ENDE");
        mControls.startColour = mControls.startHotColour = Colours::Red;
        mControls.startLightColour = Colours::DarkRed;
        break;
    case SessionState::Ended:
        mControls.startCaption = QStringLiteral("00:00");
        mControls.startColour = mControls.startHotColour = Colours::Black;
        mControls.startLightColour = Colours::Grey;
        break;
    }
}

void RaceCore::writeKeyLabels()
{
    for (int r = 1; r <= mCarCount; ++r) {
        mGrid.setCell(Column::Key, r, KeyLabel(r));
        mGrid.setParticipantAt(r, r);
    }
}

// Empties column 0 and every column from firstColumn on, in every participant row.
void RaceCore::clearGrid(int firstColumn)
{
    for (int r = 1; r < mGrid.rowCount(); ++r) {
        mGrid.clearCell(Column::Place, r);
        for (int c = firstColumn; c < StandingsGrid::ColumnCount; ++c)
            mGrid.clearCell(c, r);
    }
}

void RaceCore::startSession(std::int32_t now)
{
    RaceTable &t = mTable;
    t.RaceStartTick = now;
    ImageLSClick();
    settleWarnText();
    mWarningTime = TimeText::ParseMinSec(mAcceptedWarnText);
    mSortPosition = 0;
    mControls.captureEnabled = true;
    setStartButton(SessionState::Running);

    // A duration that does not fit keeps the previous one.
    if (const auto seconds = TimeText::ParseClockSeconds(mDurationText))
        mRaceDuration = *seconds;
    else
        mDurationText = TimeText::FormatClockSeconds(mRaceDuration);

    for (auto &record : t.ElapsedRecord)
        record.fill(0);
    for (auto &record : t.LapRecord)
        record.fill(0);
    t.LastPassTick.fill(0);
    mNextPassId = 1;
    mBook.clear();
    mCorrections.clear();
    mFlagged.fill(false);
    mGongTick.reset();
    mEndTick.reset();
    mControls.ausEnabled = false;

    writeKeyLabels();
    t.setIdentityRowMaps(mCarCount);
    // Leftovers of a starter list in the result columns would be read as lap counts.
    clearGrid(Column::Laps);

    for (int p = 1; p <= mCarCount; ++p) {
        t.WarnSinceTick[p] = now;
        t.LapRecord[p][RaceTable::FirstLapElement] = now;
        t.BestLap(p) = RaceTable::NoBestLap;
    }

    mControls.lapsReadOnly = true;
    mControls.lapsMinimum = 0;
    mLapLimit = mControls.lapsValue;

    mControls.durationReadOnly = true;
    mControls.outputsEnabled = true;
    mControls.titleEnabled = false;
    mControls.setupEnabled = false;
    mControls.timerLockStopEnabled = true;
    mControls.digitKeysBound = true;
    mObserver->focusPendingList();

    mState = SessionState::Running;
    mControls.timer1Enabled = true;
    mControls.timerAllEnabled = true;
}

void RaceCore::stopSession(std::int32_t now)
{
    RaceTable &t = mTable;
    mEndTick = now;
    mControls.gongVisible = false;
    mControls.timerAllEnabled = false;
    mControls.barrierPicture = BarrierPicture::Stopped;
    mControls.ausEnabled = true;
    mControls.captureEnabled = false;
    setStartButton(SessionState::Ended);

    // Final times: each participant's race time at the end of the leader's lap count,
    // for those who finished or reached the limit.
    const int leaderLaps = t.LeaderLaps();
    for (int r = 1; r <= mCarCount; ++r) {
        const int p = t.ParticipantAtRow[r];
        if (t.LapWord(p) & RaceTable::OutFlag)
            continue;
        const std::int32_t finalTime = t.raceTimeAtLap(p, leaderLaps);
        if (t.LapWord(p) >= mLapLimit && finalTime != 0)
            mText.writeCurrentTime(mGrid, r, finalTime);
        else
            mGrid.clearCell(Column::CurrentTime, r);
    }

    mControls.titleEnabled = true;
    t.CurrentParticipant = 0;
    mControls.lapsValue = MaxLapLimit;

    for (int r = 1; r <= mCarCount; ++r) {
        if (t.lapCount(t.ParticipantAtRow[r]) == 0)
            StandingsText::writeNoLaps(mGrid, r);
    }
    mControls.digitKeysBound = false;
    t.WarnSinceTick.fill(-1);

    mState = SessionState::Ended;
    mControls.timer1Enabled = false;
    mControls.timerAllEnabled = false;
}

void RaceCore::resetSession()
{
    RaceTable &t = mTable;
    mControls.startCaption = QStringLiteral("START");
    mControls.lapsValue = MaxLapLimit;
    mControls.barrierPicture = BarrierPicture::Locked;
    mControls.barriersArmed = false;
    mControls.gongVisible = false;
    mControls.ausEnabled = false;
    t.CurrentParticipant = 0;
    mControls.captureEnabled = false;
    mPending.clear();
    mBook.clear();
    mCorrections.clear();
    mFlagged.fill(false);
    mObserver->pendingChanged();
    mSortPosition = 0;
    setStartButton(SessionState::Idle);

    mControls.durationReadOnly = false;
    t.setIdentityRowMaps(mCarCount);
    mDurationText = TimeText::FormatClockSeconds(mRaceDuration);
    std::fill_n(t.RankSlots.begin(), mCarCount, RaceTable::EmptySlot);

    mControls.lapsReadOnly = false;
    mControls.lapsMinimum = 1;
    mControls.lapsValue = mLapLimit;

    mControls.outputsEnabled = false;
    mControls.setupEnabled = true;
    // After a natural end the title was never given back; an idle session always edits it.
    mControls.titleEnabled = true;
    mControls.digitKeysBound = false;
    t.ResortInProgress = false;

    clearGrid(Column::Key);
    writeKeyLabels();

    mState = SessionState::Idle;
    mControls.timer1Enabled = false;
    mControls.timerAllEnabled = false;
}

void RaceCore::TimerALLTimer(std::int32_t now)
{
    RaceTable &t = mTable;
    if (!mControls.timerAllEnabled || t.ResortInProgress)
        return;

    int running = 0;
    for (int r = 1; r <= mCarCount; ++r) {
        const int p = t.ParticipantAtRow[r];
        const std::int32_t word = t.LapWord(p);
        if (word < mLapLimit && !(word & RaceTable::FinishedFlag)) {
            mText.writeCurrentTime(mGrid, r, TickDiff(now, t.latestPassTick(p)));
            ++running;
        }
    }
    mObserver->gridChanged(RaceObserver::GridChange::RunningTimes);
    if (running > 0)
        return;
    mRaceChanged = true;

    // Nobody is running any more: the session ends by itself. Capture stays possible
    // until the reset; bookings are refused because this timer is off.
    mControls.timer1Enabled = false;
    t.ResortInProgress = true;
    setStartButton(SessionState::Ended);
    mState = SessionState::Ended;
    mEndTick = now;
    mControls.timerAllEnabled = false;
    t.ResortInProgress = false;
    mObserver->controlsChanged();
}

void RaceCore::Timer1Timer(std::int32_t now)
{
    RaceTable &t = mTable;
    if (!mControls.timer1Enabled)
        return;

    std::int64_t remaining = std::int64_t(mRaceDuration) - TickDiff(now, t.RaceStartTick) / 1000;
    if (remaining <= 0) {
        if (!mControls.gongVisible) {
            mObserver->playSound(RaceObserver::Sound::Gong);
            mRaceChanged = true;
            mGongTick = now;
        }
        mControls.gongVisible = true;
        remaining = 0;
    }
    mDurationText = TimeText::FormatClockSeconds(static_cast<std::int32_t>(remaining));

    for (int p = 1; p <= mCarCount; ++p) {
        if (t.LastPassTick[p] != 0 && TickDiff(now, t.LastPassTick[p]) >= GuardClearMs) {
            t.LastPassTick[p] = 0;
            mRaceChanged = true;
        }
    }
    mObserver->controlsChanged();
}

void RaceCore::TimerDateTimer(int msecsOfDay)
{
    mWallClockText = mLocale.toString(QTime::fromMSecsSinceStartOfDay(msecsOfDay), mLongTimeFormat);
    mObserver->controlsChanged();
}

// ---- light-barrier arming ----

void RaceCore::ImageLSClick()
{
    mControls.barriersArmed = !mControls.barriersArmed;
    mControls.barrierPicture = mControls.barriersArmed ? BarrierPicture::Armed : BarrierPicture::Locked;
    mObserver->controlsChanged();
}

void RaceCore::TimerLockStopTimer()
{
    if (!mControls.timerLockStopEnabled)
        return;
    mControls.timerLockStopEnabled = false;
    mControls.barrierPicture = BarrierPicture::Armed;
    mControls.barriersArmed = true;
    mObserver->controlsChanged();
}

// ---- light-barrier routing ----

// One wake of the serial event thread: the router says which barrier counted, the race acts.
void RaceCore::ComPortEvent(std::int32_t stamped, const RaceInput &in)
{
    // The event thread may read the clock before the GUI thread starts the session: such a
    // wake counts from the start, never before it.
    const std::int32_t now = mState != SessionState::Idle && TickDiff(stamped, mTable.RaceStartTick) < 0
        ? mTable.RaceStartTick : stamped;
    const BarrierRouter::Counts counts = mBarriers.route(now, in, mBarrierSettings);
    if (counts.start && mControls.barriersArmed) {
        if (mState == SessionState::Idle)
            mStart2Click(now, false, RaceInput::Question::None);
        // With one barrier the start barrier is the finish line too; with two it only starts.
        else if (mBarrierSettings.oneBarrier && mState == SessionState::Running)
            CapturePass(now, 0, PassSource::Barrier);
    }
    // One-barrier mode does not switch the finish lines off.
    if (counts.finish && mState == SessionState::Running && mControls.barriersArmed)
        CapturePass(now, 0, PassSource::Barrier);
}

void RaceCore::setBarrierSettings(const BarrierSettings &settings)
{
    // A new lock time restarts a running lock with the new length from now on.
    if (settings.lockStopSeconds != mBarrierSettings.lockStopSeconds && mControls.timerLockStopEnabled)
        ++mControls.lockStopRestarts;
    mBarrierSettings = settings;
    mControls.lockStopInterval = settings.lockStopSeconds * 1000;
    mObserver->controlsChanged();
}

void RaceCore::setBarrierIndicator(bool visible)
{
    mControls.barrierIndicatorVisible = visible;
    mObserver->controlsChanged();
}

// ---- pending pass times ----

void RaceCore::CapturePass(std::int32_t now, std::uint32_t id, PassSource source)
{
    if (!mControls.captureEnabled)
        return;
    // A recorded pass keeps the id it had; a new one gets the next.
    if (id == 0 || id == RaceInput::NoPass || mPending.indexOf(id) >= 0)
        id = mNextPassId;
    mNextPassId = std::max(mNextPassId, id + 1);
    mObserver->playSound(RaceObserver::Sound::Contact);
    mPending.append({.id = id, .tick = now, .source = source}, mText.time(TickDiff(now, mTable.RaceStartTick)));
    mOutcome.pass = id;
    mObserver->pendingChanged();
    mObserver->focusPendingList();
}

void RaceCore::mDelZeitClick(std::uint32_t id)
{
    if (mPending.isEmpty())
        return;
    if (id == 0)
        id = mPending.selected()->id;
    if (!mPending.remove(id))
        return;
    mOutcome.pass = id;
    mObserver->pendingChanged();
}

// ---- lap assignment and standings ----

void RaceCore::FClick(std::int32_t now, int p, std::uint32_t id, bool noLap)
{
    RaceTable &t = mTable;
    // A key that books nobody changes nothing, and is not part of the race.
    if (!mControls.timerAllEnabled || p < 1 || p >= mGrid.rowCount()) {
        mRaceChanged = false;
        return;
    }

    t.CurrentParticipant = p;
    // A live key press is guarded; a recorded one does what it did when it was made.
    const bool guarded = id == 0 && t.LastPassTick[p] != 0 && TickDiff(now, t.LastPassTick[p]) <= BookingGuardMs;
    if (guarded || id == RaceInput::NoPass) {
        mOutcome.pass = RaceInput::NoPass;
        mObserver->gridChanged(RaceObserver::GridChange::Cells);
        return;
    }

    // The named (or else the selected) waiting pass; without one the key press itself is the pass.
    const int index = id != 0 ? mPending.indexOf(id) : mPending.selectedIndex();
    const bool keyPress = index < 0;
    const std::int32_t pass = keyPress ? now : mPending.pass(index).tick;
    const PassSource source = keyPress ? PassSource::Key : mPending.pass(index).source;
    if (keyPress) {
        if (id == 0)
            id = mNextPassId;
        mNextPassId = std::max(mNextPassId, id + 1);
    } else {
        id = mPending.pass(index).id;
    }
    const int lapsBefore = t.lapCount(p);
    t.LastPassTick[p] = pass;
    t.WarnSinceTick[p] = pass;
    if (!noLap)
        BookLap(p);
    if (t.lapCount(p) > lapsBefore) {
        mBook.append(p, {.id = id, .tick = pass, .source = source, .finishing = mControls.gongVisible});
        mFlagged[std::size_t(p)] = mBook.flagged(p, t.RaceStartTick);
    }
    // The pass is used up even when nothing could be booked.
    if (!keyPress)
        mDelZeitClick(id);
    mOutcome = {.pass = id, .keyPress = keyPress, .booked = t.lapCount(p) > lapsBefore, .passTick = pass};
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
    mObserver->controlsChanged();
}

void RaceCore::BookLap(int p)
{
    RaceTable &t = mTable;
    const std::int32_t pass = t.LastPassTick[p];
    if (t.LapWord(p) >= mLapLimit)
        return;
    // The lap and the latest pass tick after it must fit the record; the limit is clamped
    // where it is set, so this only guards against a limit that got past that.
    Q_ASSERT(mLapLimit <= MaxLapLimit);
    if (t.lapCount(p) + 1 + RaceTable::FirstLapElement >= RaceTable::RecordWords)
        return;

    t.LapWord(p) += 1;
    const int laps = t.lapCount(p);
    if (laps > t.LeaderLaps()) {
        t.LeaderLaps() = laps;
        mControls.lapsValue = mLapLimit - laps;
    }

    RaceTable::Record &rec = t.LapRecord[p];
    const std::int32_t lapTime = TickDiff(pass, rec[laps + 2]);
    rec[laps + 2] = lapTime;
    const std::int32_t raceTime = TickDiff(pass, t.RaceStartTick);
    t.ElapsedRecord[p][laps + 2] = raceTime;
    t.ElapsedRecord[p][RaceTable::LapWordElement] = laps;
    if (lapTime < t.BestLap(p))
        t.BestLap(p) = lapTime;
    rec[laps + 3] = pass;

    RankAndSort();
    mText.writeLap(mGrid, t.RowOfParticipant[p], t, p);
    mText.writeGaps(mGrid, t, mCarCount);

    // After the gong every participant's next lap is its last.
    if (mControls.gongVisible)
        t.LapWord(p) |= RaceTable::FinishedFlag;
}

void RaceCore::RankAndSort()
{
    RaceTable &t = mTable;
    const int n = mCarCount;
    std::fill_n(t.RankSlots.begin(), n, RaceTable::EmptySlot);

    for (int p = 1; p <= n; ++p) {
        const int laps = t.lapCount(p);
        if (t.LapWord(p) <= 0 || laps == 0)
            continue;
        // The mean lap time; for equal lap counts it orders by the race time at the last pass.
        const std::int32_t mean = t.raceTimeAtLap(p, laps) / laps;
        const std::uint32_t key = std::uint32_t(std::clamp<std::int32_t>(mean, 0, std::int32_t(RaceTable::EmptySlot)));

        for (int i = 0; i < n; ++i) {
            const std::uint32_t e = t.RankSlots[i];
            const int q = int(e >> RaceTable::SlotShift);
            const int qLaps = t.lapCount(q);
            // More laps first, then the smaller mean lap time; on a tie the lower index stays ahead.
            if (q == 0 || laps > qLaps || (laps == qLaps && key < (e & RaceTable::EmptySlot))) {
                std::copy_backward(t.RankSlots.begin() + i, t.RankSlots.end() - 1, t.RankSlots.end());
                t.RankSlots[i] = (std::uint32_t(p) << RaceTable::SlotShift) | key;
                break;
            }
        }
    }

    for (int i = 1; i <= n; ++i) {
        const int q = int(t.RankSlots[i - 1] >> RaceTable::SlotShift);
        if (q != 0 && t.LapWord(q) > 0)
            StandingsText::writePlace(mGrid, t.RowOfParticipant[q], i);
    }

    t.ResortInProgress = true;
    mGrid.sortRows(Column::Place);
    t.ResortInProgress = false;
    RebuildRowMaps();
}

void RaceCore::RebuildRowMaps()
{
    RaceTable &t = mTable;
    for (int r = 1; r <= mCarCount; ++r) {
        const int q = mGrid.participantAt(r);
        if (q == 0)
            continue;
        t.RowOfParticipant[q] = r;
        t.ParticipantAtRow[r] = q;
    }
}

void RaceCore::mSortClick()
{
    static constexpr int columns[] = {Column::Place, Column::BestLap, Column::CurrentTime};
    if (++mSortPosition > 2)
        mSortPosition = 0;
    mGrid.sortRows(columns[mSortPosition]);
    RebuildRowMaps();
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
}

void RaceCore::mAusClick(int row)
{
    if (!mControls.ausEnabled || row < 1 || row > mCarCount)
        return;
    const int q = mTable.ParticipantAtRow[row];
    mTable.LapWord(q) |= RaceTable::OutFlag;
    StandingsText::writeOut(mGrid, row);
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
}

// ---- session settings ----

void RaceCore::meTimeExit()
{
    // A duration whose digits do not fit shows the previous duration again.
    if (const auto seconds = TimeText::ParseClockSeconds(mDurationText))
        mRaceDuration = *seconds;
    mDurationText = TimeText::FormatClockSeconds(mRaceDuration);
    mObserver->controlsChanged();
}

void RaceCore::stepWarningTime(std::int32_t delta)
{
    if (!mControls.setupEnabled)
        return;
    settleWarnText();
    std::int32_t v = TimeText::ParseMinSec(mWarnText) + delta;
    if (delta < 0)
        v = std::max(v, 5000);
    mWarnText = mAcceptedWarnText = TimeText::FormatMinSec(v);
    mObserver->controlsChanged();
}

// A half-typed warning time goes back to the last complete one; a complete one is taken.
void RaceCore::settleWarnText()
{
    if (WarnTextComplete(mWarnText))
        mAcceptedWarnText = mWarnText;
    else
        mWarnText = mAcceptedWarnText;
}

void RaceCore::seKrugsChange(int limit)
{
    // The lap records hold MaxLapLimit laps and the pass after them, no more.
    mLapLimit = std::clamp(limit, 1, MaxLapLimit);
    mControls.lapsValue = mLapLimit;
    mObserver->controlsChanged();
}

// The starters become the participants: sheet column A goes to "Nr.", B to "Fahrer", C..J to
// grid columns 4..11; an empty sheet cell clears its grid cell. Place and key stay.
void RaceCore::ImportStarterList(const QList<QStringList> &rows)
{
    const int n = std::min(int(rows.size()), RaceTable::MaxParticipants);
    seCarCountChange(n);
    for (int r = 1; r <= mCarCount; ++r) {
        const QStringList &cells = rows[r - 1];
        for (int c = 0; c < StandingsGrid::ColumnCount - Column::Number; ++c)
            mGrid.setCell(Column::Number + c, r, cells.value(c));
    }
    // The results can be written before any session, with the imported rows.
    mControls.outputsEnabled = true;
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
    mObserver->controlsChanged();
}

void RaceCore::seCarCountChange(int count)
{
    mCarCount = std::clamp(count, 1, RaceTable::MaxParticipants);
    mGrid.setRowCount(mCarCount + 1);
    mTable.setIdentityRowMaps(mCarCount);
    writeKeyLabels();
    mObserver->gridChanged(RaceObserver::GridChange::RowCount);
}

// ---- the set-up a session starts from ----

SessionSetup RaceCore::setup() const
{
    SessionSetup s;
    s.participantCount = mCarCount;
    bool named = false;
    for (int p = 1; p <= mCarCount; ++p) {
        const int row = mTable.RowOfParticipant[p];
        QStringList cells;
        for (int c = Column::Number; c < StandingsGrid::ColumnCount; ++c) {
            cells << mGrid.cell(c, row);
            named = named || !cells.constLast().isEmpty();
        }
        s.starters << cells;
    }
    if (!named)
        s.starters.clear();
    // Before a start: the duration and warning time as typed, where they fit, as a start
    // takes them. During a session the duration field counts down.
    s.durationSeconds = mState == SessionState::Idle ? TimeText::ParseClockSeconds(mDurationText).value_or(mRaceDuration)
                                                     : mRaceDuration;
    s.warnText = mState == SessionState::Idle && WarnTextComplete(mWarnText) ? mWarnText : mAcceptedWarnText;
    s.title = mTitle;
    s.sessionType = mSessionType;
    s.lapLimit = mLapLimit;
    s.barriers = mBarrierSettings;
    s.portOpen = mControls.barrierIndicatorVisible;
    s.barriersArmed = mControls.barriersArmed;
    s.startLevel = mBarriers.startLevel();
    s.finishLevel = mBarriers.finishLevel();
    return s;
}

// Only an idle session takes a set-up: a running one keeps what it started with.
void RaceCore::restoreSetup(const SessionSetup &s)
{
    if (mState != SessionState::Idle) {
        mRaceChanged = false;
        return;
    }
    seCarCountChange(s.participantCount);
    if (!s.starters.isEmpty()) {
        ImportStarterList(s.starters);
    } else {
        for (int r = 1; r <= mCarCount; ++r) {
            for (int c = Column::Number; c < StandingsGrid::ColumnCount; ++c)
                mGrid.clearCell(c, r);
        }
    }
    mRaceDuration = std::max<std::int32_t>(0, s.durationSeconds);
    mDurationText = TimeText::FormatClockSeconds(mRaceDuration);
    mTitle = s.title;
    if (s.sessionType == 0 || s.sessionType == 1)
        mSessionType = s.sessionType;
    mWarnText = s.warnText;
    settleWarnText();
    seKrugsChange(s.lapLimit);
    setBarrierSettings(s.barriers);
    mControls.barrierIndicatorVisible = s.portOpen;
    mControls.barriersArmed = s.barriersArmed;
    mControls.barrierPicture = s.barriersArmed ? BarrierPicture::Armed : BarrierPicture::Locked;
    mBarriers.restoreLevels(s.startLevel, s.finishLevel);
    mObserver->controlsChanged();
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
}

bool RaceCore::sameState(const RaceCore &o) const
{
    return mState == o.mState && mControls == o.mControls && mTable == o.mTable && mGrid == o.mGrid
        && mPending == o.mPending && mCarCount == o.mCarCount && mLapLimit == o.mLapLimit
        && mSortPosition == o.mSortPosition && mRaceDuration == o.mRaceDuration
        && (mState != SessionState::Idle || mDurationText == o.mDurationText)
        && mWarnText == o.mWarnText && mAcceptedWarnText == o.mAcceptedWarnText && mWarningTime == o.mWarningTime
        && mTitle == o.mTitle && mSessionType == o.mSessionType && mBarrierSettings == o.mBarrierSettings
        && mBarriers.startLevel() == o.mBarriers.startLevel() && mBarriers.finishLevel() == o.mBarriers.finishLevel()
        && mNextPassId == o.mNextPassId && mBook == o.mBook && mCorrections == o.mCorrections
        && mFlagged == o.mFlagged && mGongTick == o.mGongTick && mEndTick == o.mEndTick;
}

// ---- corrections of booked laps ----

std::int32_t RaceCore::raceEndOf(int p, std::int32_t now) const
{
    const BookedPass *last = mBook.lastCounted(p);
    if (last && last->finishing)
        return TickDiff(last->tick, mTable.RaceStartTick);
    return TickDiff(mEndTick.value_or(now), mTable.RaceStartTick);
}

std::optional<QString> RaceCore::correctionRefusal(const RaceInput &in, std::int32_t now) const
{
    using Kind = RaceInput::Kind;
    if (mState == SessionState::Idle)
        return QStringLiteral("Es läuft kein Rennen, das korrigiert werden könnte.");
    if (in.text.trimmed().isEmpty())
        return QStringLiteral("Bitte einen Grund angeben.");
    const auto unknown = [](int p) { return QStringLiteral("Teilnehmer %1 gibt es nicht.").arg(p); };
    const auto full = [this](int p) {
        return QStringLiteral("%1 hat schon %2 Runden, mehr lässt das Rundenlimit nicht zu.").arg(KeyLabel(p)).arg(mLapLimit);
    };
    const auto tooLate = [this](int p) {
        const BookedPass *last = mBook.lastCounted(p);
        return last && last->finishing ? QStringLiteral("Die Zeit liegt nach dem Zieleinlauf von %1.").arg(KeyLabel(p))
                                       : QStringLiteral("Die Zeit liegt nach dem Ende des Rennens.");
    };

    if (in.kind == Kind::InsertPass) {
        const int p = in.value;
        if (p < 1 || p > mCarCount)
            return unknown(p);
        if (in.raceTime <= 0)
            return QStringLiteral("Die Zeit liegt vor dem Start.");
        if (in.raceTime > raceEndOf(p, now))
            return tooLate(p);
        if (mBook.hasPassAt(p, mTable.RaceStartTick + in.raceTime))
            return QStringLiteral("%1 hat zu dieser Zeit schon eine Durchfahrt.").arg(KeyLabel(p));
        if (mBook.countedLaps(p) >= mLapLimit)
            return full(p);
        return std::nullopt;
    }

    const auto place = mBook.find(in.pass);
    if (in.pass == 0 || !place)
        return QStringLiteral("Diese Durchfahrt ist keinem Teilnehmer gebucht.");
    const BookedPass &pass = mBook.at(*place);
    switch (in.kind) {
    case Kind::StrikePass:
        if (pass.struck)
            return QStringLiteral("Die Runde ist schon gestrichen.");
        break;
    case Kind::RestorePass:
        if (!pass.struck)
            return QStringLiteral("Die Runde ist nicht gestrichen.");
        if (mBook.countedLaps(place->participant) >= mLapLimit)
            return full(place->participant);
        break;
    case Kind::MovePass: {
        const int to = in.value;
        if (to < 1 || to > mCarCount)
            return unknown(to);
        if (to == place->participant)
            return QStringLiteral("Die Runde gehört schon %1.").arg(KeyLabel(to));
        if (pass.struck)
            return QStringLiteral("Eine gestrichene Runde wird nicht umgebucht.");
        if (mTable.LapWord(to) & RaceTable::OutFlag)
            return QStringLiteral("%1 ist aus dem Rennen genommen (AUS).").arg(KeyLabel(to));
        if (TickDiff(pass.tick, mTable.RaceStartTick) > raceEndOf(to, now))
            return tooLate(to);
        if (mBook.hasPassAt(to, pass.tick))
            return QStringLiteral("%1 hat zu dieser Zeit schon eine Durchfahrt.").arg(KeyLabel(to));
        if (mBook.countedLaps(to) >= mLapLimit)
            return full(to);
        break;
    }
    default: return QStringLiteral("Das ist keine Korrektur.");
    }
    return std::nullopt;
}

void RaceCore::correct(std::int32_t now, const RaceInput &in)
{
    using Kind = RaceInput::Kind;
    if (correctionRefusal(in, now)) {
        mRaceChanged = false;
        return;
    }
    const std::int32_t start = mTable.RaceStartTick;
    Correction c{.madeAt = TickDiff(now, start), .wallClockMs = in.wallClockMs, .operatorName = in.operatorName,
                 .reason = in.text};
    if (in.kind == Kind::InsertPass) {
        // A recorded insertion keeps the id it had; a new one gets the next.
        std::uint32_t id = in.pass;
        if (id == 0 || id == RaceInput::NoPass || mBook.find(id) || mPending.indexOf(id) >= 0)
            id = mNextPassId;
        mNextPassId = std::max(mNextPassId, id + 1);
        const std::int32_t tick = start + in.raceTime;
        // A missed pass after the gong was the participant's finish, as a booked one would be.
        const bool finishing = mGongTick && TickDiff(tick, *mGongTick) >= 0;
        const int index = mBook.insert(in.value, {.id = id, .tick = tick, .source = PassSource::Inserted, .finishing = finishing}, start);
        c.action = Correction::Action::Insert;
        c.participant = in.value;
        c.pass = id;
        c.passTime = in.raceTime;
        c.lap = mBook.lapOf({in.value, index});
        mOutcome.pass = id;
        relap({in.value});
    } else {
        const LapBook::Place place = *mBook.find(in.pass);
        const int p = place.participant;
        c.participant = p;
        c.pass = in.pass;
        c.passTime = TickDiff(mBook.at(place).tick, start);
        mOutcome.pass = in.pass;
        switch (in.kind) {
        case Kind::StrikePass:
            c.action = Correction::Action::Strike;
            c.lap = mBook.lapOf(place);
            mBook.setStruck(place, true);
            relap({p});
            break;
        case Kind::RestorePass:
            c.action = Correction::Action::Restore;
            mBook.setStruck(place, false);
            c.lap = mBook.lapOf(place);
            relap({p});
            break;
        default: {
            c.action = Correction::Action::Move;
            c.toParticipant = in.value;
            c.lap = mBook.lapOf(place);
            const int index = mBook.insert(in.value, mBook.take(place), start);
            c.newLap = mBook.lapOf({in.value, index});
            relap({p, in.value});
            break;
        }
        }
    }
    mCorrections.push_back(std::move(c));
    mObserver->gridChanged(RaceObserver::GridChange::Cells);
    mObserver->controlsChanged();
}

// The lap cells of a participant without a lap (any longer).
void RaceCore::writeEmptyLaps(int row)
{
    for (const int c : {Column::Place, Column::Laps, Column::LastLap, Column::PreviousLap, Column::BestLap,
                        Column::GapToLeader, Column::GapAhead, Column::TotalTime})
        mGrid.clearCell(c, row);
}

void RaceCore::relap(std::initializer_list<int> participants)
{
    RaceTable &t = mTable;
    for (const int p : participants) {
        RaceTable::Record &rec = t.LapRecord[p];
        RaceTable::Record &elapsed = t.ElapsedRecord[p];
        const std::int32_t kept = t.LapWord(p) & RaceTable::OutFlag;
        rec.fill(0);
        elapsed.fill(0);
        t.BestLap(p) = RaceTable::NoBestLap;
        // Lap k runs from the previous counted pass (the start for the first) to the k-th.
        int laps = 0;
        bool finished = false;
        std::int32_t previous = t.RaceStartTick;
        for (const BookedPass &pass : mBook.passes(p)) {
            if (pass.struck)
                continue;
            ++laps;
            const std::int32_t lapTime = TickDiff(pass.tick, previous);
            rec[laps + 2] = lapTime;
            elapsed[laps + 2] = TickDiff(pass.tick, t.RaceStartTick);
            t.BestLap(p) = std::min(t.BestLap(p), lapTime);
            previous = pass.tick;
            finished = pass.finishing;
        }
        rec[laps + 3] = previous;
        elapsed[RaceTable::LapWordElement] = laps;
        t.LapWord(p) = laps | kept | (finished ? RaceTable::FinishedFlag : 0);
        if (mState == SessionState::Running)
            t.WarnSinceTick[p] = previous;
        mFlagged[std::size_t(p)] = mBook.flagged(p, t.RaceStartTick);
    }

    int leader = 0;
    for (int p = 1; p <= mCarCount; ++p)
        leader = std::max(leader, t.lapCount(p));
    t.LeaderLaps() = leader;
    if (mState == SessionState::Running)
        mControls.lapsValue = mLapLimit - leader;

    // Rows without laps have no place: they sort last, as they do before their first lap.
    for (int r = 1; r <= mCarCount; ++r) {
        if (t.lapCount(t.ParticipantAtRow[r]) == 0)
            mGrid.clearCell(Column::Place, r);
    }
    RankAndSort();
    for (const int p : participants) {
        if (t.lapCount(p) > 0)
            mText.writeLap(mGrid, t.RowOfParticipant[p], t, p);
        else
            writeEmptyLaps(t.RowOfParticipant[p]);
    }
    mText.writeGaps(mGrid, t, mCarCount);
    if (mState == SessionState::Ended) {
        for (int r = 1; r <= mCarCount; ++r) {
            if (t.lapCount(t.ParticipantAtRow[r]) == 0)
                StandingsText::writeNoLaps(mGrid, r);
        }
    }
}
