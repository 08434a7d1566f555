#include "ClockView.h"
#include "JournalRebuild.h"
#include "core/TimeText.h"
#include "session/JournalFormat.h"
#include "session/JournalReader.h"
#include "session/RaceSession.h"

#include <QRandomGenerator>
#include <QTest>

using Kind = RaceInput::Kind;

namespace {

// Everything an undo must leave alone, per participant: laps, lap times, race times, marks.
struct Laps
{
    int count = 0;
    std::vector<std::int32_t> lapTimes = {};
    std::vector<std::int32_t> raceTimes = {};
    bool out = false;
    friend bool operator==(const Laps &, const Laps &) = default;
};

Laps lapsOf(const RaceCore &core, int p)
{
    const RaceTable &t = core.table();
    Laps laps{.count = t.lapCount(p), .out = (t.LapWord(p) & RaceTable::OutFlag) != 0};
    for (int lap = 1; lap <= laps.count; ++lap) {
        laps.lapTimes.push_back(t.lapTime(p, lap));
        laps.raceTimes.push_back(t.raceTimeAtLap(p, lap));
    }
    return laps;
}

std::unique_ptr<RaceSession> copyOf(const RaceSession &live)
{
    auto copy = std::make_unique<RaceSession>(std::make_unique<ManualTickSource>(0), QLocale(QLocale::German, QLocale::Germany));
    copy->restore(live.setup(), live.history());
    return copy;
}

} // namespace

// Ctrl+Z takes back exactly the last booked lap, and a journal rebuilds exactly the live session.
class TestUndo : public QObject
{
    Q_OBJECT

    ManualTickSource clock{100000};
    std::unique_ptr<RaceSession> session;
    int startLevel = 0;

    void make(int participants)
    {
        clock.set(100000);
        startLevel = 0;
        session = std::make_unique<RaceSession>(std::make_unique<ClockView>(clock), QLocale(QLocale::German, QLocale::Germany));
        session->submit({.kind = Kind::CarCountChanged, .value = participants});
        session->submit({.kind = Kind::BarrierSettingsChanged, .value = BarrierSettings{.lockStopSeconds = 1}.pack()});
        session->submit({.kind = Kind::PortOpened});
    }

    void submit(RaceInput input) { session->submit(std::move(input)); }
    void after(std::uint32_t ms) { clock.advance(ms); }
    // The start barrier: its level flips, or (a short break) it flips and comes back in one wake.
    void startBeam(bool shortBreak)
    {
        if (!shortBreak)
            startLevel ^= RaceInput::MsCtsOn;
        submit({.kind = Kind::LineEvent, .value = startLevel, .lines = RaceInput::EvCts,
                .pulses = shortBreak ? RaceInput::EvCts : std::uint8_t(0)});
    }
    QList<int> lapCounts() const
    {
        QList<int> counts;
        for (int p = 1; p <= session->core().carCount(); ++p)
            counts << session->core().table().lapCount(p);
        return counts;
    }

    // Checks one undo against the live session it started from.
    void checkUndo(const RaceSession &live)
    {
        const RaceCore &before = live.core();
        std::int32_t passTick = 0;
        auto undone = copyOf(live);
        undone->submit({.kind = Kind::Undo, .tick = live.core().table().RaceStartTick});
        const RaceCore &after = undone->core();
        int changed = 0;
        for (int p = 1; p <= before.carCount(); ++p) {
            const Laps was = lapsOf(before, p);
            const Laps is = lapsOf(after, p);
            if (was == is)
                continue;
            ++changed;
            // That participant loses exactly its last lap, nothing else.
            QCOMPARE(is.count, was.count - 1);
            QCOMPARE(is.lapTimes, std::vector<std::int32_t>(was.lapTimes.begin(), was.lapTimes.end() - 1));
            QCOMPARE(is.raceTimes, std::vector<std::int32_t>(was.raceTimes.begin(), was.raceTimes.end() - 1));
            QCOMPARE(is.out, was.out);
            passTick = before.table().RaceStartTick + was.raceTimes.back();
        }
        if (changed == 0) {
            // Nothing booked that could be taken back: the race stays as it was.
            QVERIFY(after.sameState(copyOf(live)->core()));
            return;
        }
        QCOMPARE(changed, 1);
        // Its pass waits again, selected; every other waiting pass is where it was.
        const auto returned = after.pending().selected();
        QVERIFY(returned);
        QCOMPARE(returned->tick, passTick);
        QVERIFY(before.pending().indexOf(returned->id) < 0);
        // A lap that ended the session by itself lets it run on when it goes: passes the
        // ended session ignored may count then. Otherwise the session is as it was.
        if (before.sessionState() == SessionState::Running) {
            QCOMPARE(after.sessionState(), SessionState::Running);
            std::vector<PendingList::Pass> others = after.pending().passes();
            others.erase(others.begin() + after.pending().selectedIndex());
            QVERIFY(others == before.pending().passes());
        }
        // The undo is in the record: its journal rebuilds it.
        const auto rebuilt = RebuildFromJournal(*undone);
        QVERIFY(rebuilt);
        QVERIFY(rebuilt->core().sameState(after));
    }

private slots:
    void randomSessions_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 32; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    // Random sessions: after every input the journal rebuilds the live session, and an undo
    // changes nothing but the last lap and its pass.
    void randomSessions()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        make(int(random.bounded(2, 8)));
        submit({.kind = Kind::DurationEdited, .text = QString::number(random.bounded(30, 400))});
        submit({.kind = Kind::BarrierSettingsChanged,
                .value = BarrierSettings{.oneBarrier = random.bounded(2) == 0, .lockStopSeconds = 1}.pack()});
        // Barrier events before the start, while locked: they set the stored levels.
        for (int i = int(random.bounded(3)); i > 0; --i) {
            after(random.bounded(10, 500));
            startBeam(random.bounded(2) == 0);
        }
        submit({.kind = Kind::ToggleArming});
        if (random.bounded(2))
            startBeam(random.bounded(2) == 0);
        else
            submit({.kind = Kind::StartCommand});
        if (session->core().sessionState() != SessionState::Running)
            submit({.kind = Kind::StartCommand});
        QCOMPARE(session->core().sessionState(), SessionState::Running);

        int finishLevel = 0;
        for (int step = 0; step < 200 && !session->history().empty(); ++step) {
            after(random.bounded(2) ? random.bounded(10, 1500) : random.bounded(1500, 8000));
            const int n = session->core().carCount();
            const PendingList &pending = session->core().pending();
            switch (random.bounded(14)) {
            case 0:
            case 1: submit({.kind = Kind::CapturePass}); break;
            case 2:
            case 3:
            case 4: submit({.kind = Kind::Assign, .value = int(random.bounded(1, n + 2))}); break;
            case 5: submit({.kind = Kind::DeletePending}); break;
            case 6:
                if (!pending.isEmpty())
                    submit({.kind = Kind::SelectPending, .pass = pending.pass(int(random.bounded(pending.count()))).id});
                break;
            case 7: submit({.kind = Kind::Undo}); break;
            case 8: submit({.kind = Kind::SortCycle}); break;
            case 9: submit({.kind = Kind::Timer1}); break;
            case 10: {
                // The finish barrier: a change of level, or a short break seen only by its count.
                const bool shortBreak = random.bounded(3) == 0;
                if (!shortBreak)
                    finishLevel ^= RaceInput::MsDsrOn;
                submit({.kind = Kind::LineEvent, .value = finishLevel, .lines = RaceInput::EvDsr,
                        .pulses = shortBreak ? RaceInput::EvDsr : std::uint8_t(0)});
                break;
            }
            case 11: startBeam(random.bounded(2) == 0); break;
            case 12: submit({.kind = Kind::TimerLockStop}); break;
            default:
                if (random.bounded(10) == 0) {
                    const auto question = session->core().startQuestion();
                    submit({.kind = Kind::StartCommand, .confirmed = true, .answers = question ? question->id : RaceInput::Question::None});
                }
                break;
            }
            submit({.kind = Kind::TimerAll});
            if (session->history().empty())
                break;
            const auto rebuilt = RebuildFromJournal(*session, session->now());
            QVERIFY(rebuilt);
            QVERIFY2(rebuilt->core().sameState(session->core()), qPrintable(QStringLiteral("step %1").arg(step)));
            checkUndo(*session);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("step %1").arg(step)));
        }
    }

    // The cases that lost or invented laps: what Ctrl+Z leaves.
    void undoCases_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<QList<int>>("laps");
        QTest::addColumn<QStringList>("waiting");
        QTest::addColumn<QString>("selected");
        QTest::newRow("a refused second press books nothing") << 0 << QList<int>{0, 0, 0} << QStringList{"1:00,00"} << "1:00,00";
        QTest::newRow("a deletion after the undone lap") << 1 << QList<int>{0, 0, 0} << QStringList{"1:00,00", "1:10,00"} << "1:00,00";
        QTest::newRow("a selection after the undone lap") << 2 << QList<int>{0, 0, 0} << QStringList{"1:00,00", "1:10,00", "1:20,00"}
                                                          << "1:00,00";
        QTest::newRow("a barrier start after a test pass") << 3 << QList<int>{1, 0, 0} << QStringList{"1:05,00"} << "1:05,00";
        QTest::newRow("right after a recovery") << 4 << QList<int>{1, 1, 0} << QStringList{"2:00,00"} << "2:00,00";
    }

    void undoCases()
    {
        QFETCH(int, scenario);
        make(3);
        switch (scenario) {
        case 0: // key 3 twice within the booking guard
            submit({.kind = Kind::StartCommand});
            after(60000);
            submit({.kind = Kind::Assign, .value = 3});
            after(500);
            submit({.kind = Kind::Assign, .value = 3});
            QCOMPARE(lapCounts(), (QList<int>{0, 0, 1}));
            break;
        case 1: // pass A to the wrong key; B and C captured, C deleted
            submit({.kind = Kind::StartCommand});
            after(60000);
            submit({.kind = Kind::CapturePass});
            submit({.kind = Kind::Assign, .value = 1});
            after(10000);
            submit({.kind = Kind::CapturePass});
            after(5000);
            submit({.kind = Kind::CapturePass});
            submit({.kind = Kind::SelectPending, .pass = session->core().pending().pass(1).id});
            submit({.kind = Kind::DeletePending});
            break;
        case 2: // A, B and C waiting; A to the wrong key, then C chosen
            submit({.kind = Kind::StartCommand});
            for (int i = 0; i < 3; ++i) {
                after(i == 0 ? 60000 : 10000);
                submit({.kind = Kind::CapturePass});
            }
            submit({.kind = Kind::Assign, .value = 1});
            submit({.kind = Kind::SelectPending, .pass = session->core().pending().pass(1).id});
            break;
        case 3: // a test pass while locked, then armed, then a short break of the start beam starts
            startBeam(false);
            after(1000);
            startBeam(false);
            submit({.kind = Kind::ToggleArming});
            after(1000);
            startBeam(true);
            QCOMPARE(session->core().sessionState(), SessionState::Running);
            after(60000);
            submit({.kind = Kind::Assign, .value = 1});
            after(5000);
            submit({.kind = Kind::Assign, .value = 2});
            break;
        case 4: { // the session comes back from its record, then Ctrl+Z
            submit({.kind = Kind::StartCommand});
            after(60000);
            submit({.kind = Kind::Assign, .value = 1});
            after(30000);
            submit({.kind = Kind::Timer1});
            submit({.kind = Kind::Assign, .value = 2});
            after(30000);
            submit({.kind = Kind::Assign, .value = 3});
            const SessionSetup setup = session->setup();
            const std::vector<RaceInput> history = session->history();
            make(1);
            session->restore(setup, history);
            QCOMPARE(lapCounts(), (QList<int>{1, 1, 1}));
            break;
        }
        default: QFAIL("no such scenario");
        }
        submit({.kind = Kind::Undo});
        QTEST(lapCounts(), "laps");
        QTEST(session->core().pending().entries(), "waiting");
        QTEST(session->core().pending().selectedText(), "selected");
        QCOMPARE(session->core().sessionState(), SessionState::Running);
        const auto rebuilt = RebuildFromJournal(*session);
        QVERIFY(rebuilt);
        QVERIFY(rebuilt->core().sameState(session->core()));
    }

    // Inputs the running race refuses are not in its record: replayed after an undo they
    // could act on a state they were never meant for.
    void refusedInputsAreNotRecorded()
    {
        make(3);
        submit({.kind = Kind::StartCommand});
        const std::size_t before = session->history().size();
        submit({.kind = Kind::StarterListImported, .table = {{QStringLiteral("7"), QStringLiteral("Nord")}}});
        submit({.kind = Kind::DeletePending});
        submit({.kind = Kind::Assign, .value = 9});
        QCOMPARE(session->history().size(), before);
        QCOMPARE(session->core().carCount(), 3);
    }

    // Passes are kept as ticks: a race past 100 hours books its laps from the real times.
    void passesPastOneHundredHours_data()
    {
        QTest::addColumn<QList<std::int32_t>>("passes"); // race times of participant 1's passes
        QTest::addColumn<QList<std::int32_t>>("lapTimes");
        constexpr std::int32_t Hour = 3600000;
        QTest::newRow("99:59:59 then 100:00:05")
            << QList<std::int32_t>{100 * Hour - 1000, 100 * Hour + 5000} << QList<std::int32_t>{100 * Hour - 1000, 6000};
        QTest::newRow("100:00:05 then 150 h")
            << QList<std::int32_t>{100 * Hour + 5000, 150 * Hour} << QList<std::int32_t>{100 * Hour + 5000, 50 * Hour - 5000};
        QTest::newRow("three passes, the last at 150 h") << QList<std::int32_t>{99 * Hour, 100 * Hour + 5000, 150 * Hour}
                                                         << QList<std::int32_t>{99 * Hour, Hour + 5000, 50 * Hour - 5000};
    }

    void passesPastOneHundredHours()
    {
        QFETCH(QList<std::int32_t>, passes);
        QFETCH(QList<std::int32_t>, lapTimes);
        make(2);
        submit({.kind = Kind::DurationEdited, .text = QStringLiteral("720000")});
        submit({.kind = Kind::StartCommand});
        const std::int32_t start = session->core().table().RaceStartTick;
        for (const std::int32_t pass : passes) {
            clock.set(std::uint32_t(start + pass));
            submit({.kind = Kind::CapturePass});
            after(2000);
            submit({.kind = Kind::Assign, .value = 1});
            // Participant 2 books at the same moment: the gap is read from the numbers.
            submit({.kind = Kind::Assign, .value = 2});
            after(5000);
            submit({.kind = Kind::Timer1});
        }
        const RaceTable &t = session->core().table();
        QCOMPARE(t.lapCount(1), int(passes.size()));
        for (int lap = 1; lap <= int(passes.size()); ++lap) {
            QCOMPARE(t.lapTime(1, lap), lapTimes[lap - 1]);
            QCOMPARE(t.raceTimeAtLap(1, lap), passes[lap - 1]);
        }
        // Participant 2 passed 2 s later each time: 2 s behind on the same lap count.
        QCOMPARE(session->core().grid().cell(StandingsGrid::GapToLeader, 2), QStringLiteral("0:02,00"));
        const auto rebuilt = RebuildFromJournal(*session);
        QVERIFY(rebuilt);
        QVERIFY(rebuilt->core().sameState(session->core()));
    }
};

QTEST_GUILESS_MAIN(TestUndo)
#include "testundo.moc"
