#pragma once

#include "core/BarrierRouter.h"
#include "core/Controls.h"
#include "core/GridLayout.h"
#include "core/LapBook.h"
#include "core/PendingList.h"
#include "core/RaceInput.h"
#include "core/RaceObserver.h"
#include "core/RaceTable.h"
#include "core/SessionSetup.h"
#include "core/StandingsGrid.h"
#include "core/StandingsText.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <array>
#include <initializer_list>
#include <vector>

#include <cstdint>
#include <optional>

// The timing session: race table, standings grid texts, pending pass times, session
// state and the state of every control. It changes only through apply().
class RaceCore
{
public:
    static constexpr int MaxLapLimit = 160;
    static constexpr std::int32_t DefaultDuration = 14400;
    // A participant cannot be booked again within this long of its last booked pass ...
    static constexpr std::int32_t BookingGuardMs = 3000;
    // ... unless the session tick has already cleared the guard, which it does after this long.
    static constexpr std::int32_t GuardClearMs = 1000;
    static constexpr int DefaultRowHeight = 22;

    // What the last input did to a pass, so that its record can name the pass by id.
    struct Outcome
    {
        // The pass captured, booked, selected or deleted; RaceInput::NoPass for a key press
        // that the booking guard refused; 0 when the input touched no pass.
        std::uint32_t pass = 0;
        bool keyPress = false;    // an assignment whose pass was the key press itself
        bool booked = false;      // an assignment that added a lap
        std::int32_t passTick = 0; // the tick of the pass an assignment used
    };

    struct Question
    {
        RaceInput::Question id;
        QString text;
        bool focusNo = true; // Enter must never wipe results or quit a race
    };

    explicit RaceCore(const QLocale &locale = QLocale());

    void setObserver(RaceObserver *observer) { mObserver = observer ? observer : &sNoObserver; }

    void apply(const RaceInput &input);
    // Whether the last input changed the race itself (not only a clock text): a gong, a
    // cleared booking guard, a natural end. A replay needs exactly these inputs.
    bool lastInputChangedRace() const { return mRaceChanged; }
    const Outcome &lastOutcome() const { return mOutcome; }

    // What a session started now would start from.
    SessionSetup setup() const;
    // The whole state a rebuild must reproduce: not the locale, the wall clock or the
    // countdown text, which the next clock tick writes anyway.
    bool sameState(const RaceCore &other) const;

    // The question the start command asks in the current state, if any. Its answer goes
    // into the StartCommand input.
    std::optional<Question> startQuestion() const;
    // Closing the program asks first while a session runs or its results are still shown.
    std::optional<Question> closeQuestion() const;

    SessionState sessionState() const { return mState; }
    const Controls &controls() const { return mControls; }
    const RaceTable &table() const { return mTable; }
    const StandingsGrid &grid() const { return mGrid; }
    const PendingList &pending() const { return mPending; }
    // The passes booked to each participant, struck ones included.
    const LapBook &lapBook() const { return mBook; }
    // The participant's passes as the corrections window lists them, with their hints.
    std::vector<LapBook::Row> lapRows(int participant) const { return mBook.rows(participant, mTable.RaceStartTick); }
    // Whether a counted lap of the participant carries a hint: its lap count is underlined.
    bool lapsFlagged(int participant) const { return mFlagged[std::size_t(participant)]; }
    // The corrections in effect, oldest first.
    const std::vector<Correction> &corrections() const { return mCorrections; }
    // Why the core would refuse this correction input at the instant now, for the operator;
    // nothing when it would apply it. A refused correction changes nothing.
    std::optional<QString> correctionRefusal(const RaceInput &input, std::int32_t now) const;

    int carCount() const { return mCarCount; }
    int lapLimit() const { return mLapLimit; }
    int sortPosition() const { return mSortPosition; }
    std::int32_t raceDuration() const { return mRaceDuration; }
    const QString &durationText() const { return mDurationText; }
    // The warning time field as shown, possibly half typed.
    const QString &warnText() const { return mWarnText; }
    // The last complete warning time: what a start uses and what is kept between runs.
    const QString &acceptedWarnText() const { return mAcceptedWarnText; }
    std::int32_t warningTime() const { return mWarningTime; }
    const QString &title() const { return mTitle; }
    int sessionType() const { return mSessionType; }
    // "Rennen" or "Training".
    QString sessionTypeText() const;
    static const QStringList &SessionTypes();
    const QString &wallClockText() const { return mWallClockText; }
    // The light-barrier settings of the latest BarrierSettingsChanged (defaults before any).
    const BarrierSettings &barrierSettings() const { return mBarrierSettings; }
    // Since when the finish beam has been interrupted (at its counting level), while it is.
    std::optional<std::int32_t> finishBlockedSince() const { return mBarriers.finishBlockedSince(); }
    // When the finish barrier last counted a pass, armed or not.
    std::optional<std::int32_t> lastFinishEvent() const { return mBarriers.lastFinishEvent(); }
    QChar decimalSeparator() const { return mDecimalSeparator; }
    QChar timeSeparator() const { return mTimeSeparator; }

    // The format of one grid cell at the instant now (title row 0 included).
    GridLayout::CellFormat cellFormat(int column, int row, std::int32_t now) const;

    // A warning time has both digit pairs: "MM:SS".
    static bool WarnTextComplete(const QString &text);

    // Keys the race duration field takes: digits, Backspace and the time separator.
    static bool DurationKeyAccepted(QChar ch, QChar timeSeparator);
    // Height of a grid that shows every participant row without cutting one off.
    static int GridHeight(int rowCount) { return (rowCount - 1) * (DefaultRowHeight + 1) + 3; }

private:
    void mStart2Click(std::int32_t now, bool confirmed, RaceInput::Question answers);
    void startSession(std::int32_t now);
    void stopSession(std::int32_t now);
    void resetSession();
    void TimerALLTimer(std::int32_t now);
    void Timer1Timer(std::int32_t now);
    void TimerDateTimer(int msecsOfDay);
    void TimerLockStopTimer();
    void ImageLSClick();
    void ComPortEvent(std::int32_t now, const RaceInput &in);
    void setBarrierSettings(const BarrierSettings &settings);
    void setBarrierIndicator(bool visible);
    void CapturePass(std::int32_t now, std::uint32_t id = 0, PassSource source = PassSource::Key);
    void correct(std::int32_t now, const RaceInput &in);
    // The race time up to which a pass of the participant may be typed in: the finish, the
    // end of the session, or now.
    std::int32_t raceEndOf(int participant, std::int32_t now) const;
    // Rebuilds the lap records of these participants from their booked passes, then the
    // places, gaps and lap cells of the field.
    void relap(std::initializer_list<int> participants);
    void writeEmptyLaps(int row);
    void mDelZeitClick(std::uint32_t id);
    void FClick(std::int32_t now, int participant, std::uint32_t id, bool noLap);
    void restoreSetup(const SessionSetup &setup);
    void BookLap(int participant);
    void RankAndSort();
    void RebuildRowMaps();
    void mSortClick();
    void mAusClick(int row);
    void meTimeExit();
    void stepWarningTime(std::int32_t delta);
    void settleWarnText();
    void seKrugsChange(int limit);
    void seCarCountChange(int count);
    void ImportStarterList(const QList<QStringList> &rows);

    void setStartButton(SessionState state);
    void writeKeyLabels();
    void clearGrid(int firstColumn);

    // Shared by every core without a view, so that a copied core stays valid.
    inline static RaceObserver sNoObserver;
    RaceObserver *mObserver = &sNoObserver;

    QLocale mLocale;
    QChar mDecimalSeparator;
    QChar mTimeSeparator;
    QString mLongTimeFormat;
    StandingsText mText;

    bool mRaceChanged = false;
    Outcome mOutcome;
    // The id the next captured pass gets: passes are numbered from 1 in each session.
    std::uint32_t mNextPassId = 1;
    SessionState mState = SessionState::Idle;
    Controls mControls;
    RaceTable mTable;
    StandingsGrid mGrid;
    PendingList mPending;
    LapBook mBook;
    std::vector<Correction> mCorrections;
    std::array<bool, RaceTable::MaxParticipants + 1> mFlagged{};
    // When the gong showed, and when the session ended (by the command or by itself).
    std::optional<std::int32_t> mGongTick;
    std::optional<std::int32_t> mEndTick;

    int mCarCount = RaceTable::MaxParticipants;
    int mLapLimit = MaxLapLimit;
    int mSortPosition = 0;
    std::int32_t mRaceDuration = DefaultDuration;
    QString mDurationText;
    QString mWarnText = QStringLiteral("00:30");
    QString mAcceptedWarnText = QStringLiteral("00:30");
    std::int32_t mWarningTime = 30000;
    QString mTitle = QStringLiteral("Circuit de Monaco, Monte Carlo");
    int mSessionType = 1;
    QString mWallClockText;

    BarrierSettings mBarrierSettings;
    BarrierRouter mBarriers;
};
