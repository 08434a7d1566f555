#include "ClockView.h"
#include "core/TimeText.h"
#include "session/RaceSession.h"
#include "session/SessionTimers.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;
Q_DECLARE_METATYPE(RaceInput)
Q_DECLARE_METATYPE(std::optional<std::int32_t>)

// The session: stamps, applies once, then tells every listener once what changed.
class TestRaceSession : public QObject
{
    Q_OBJECT

    ManualTickSource clock{100000};
    std::unique_ptr<RaceSession> session;

    void make(int participants = 3)
    {
        clock.set(100000);
        session = std::make_unique<RaceSession>(std::make_unique<ClockView>(clock), QLocale(QLocale::German, QLocale::Germany));
        session->submit({.kind = Kind::CarCountChanged, .value = participants});
    }

private slots:
    void signalsOncePerInput_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("pendingFirst");
        QTest::addColumn<RaceInput>("input");
        // Counts of: rowCount, cells, runningTimes, pending, controls, focus, sound, changed.
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("start") << false << false << RaceInput{.kind = Kind::StartCommand} << QList<int>{0, 1, 0, 0, 1, 1, 0, 1};
        QTest::newRow("capture") << true << false << RaceInput{.kind = Kind::CapturePass} << QList<int>{0, 0, 0, 1, 0, 1, 1, 1};
        QTest::newRow("booking a pending time") << true << true << RaceInput{.kind = Kind::Assign, .value = 2}
                                                << QList<int>{0, 1, 0, 1, 1, 0, 0, 1};
        QTest::newRow("running times") << true << false << RaceInput{.kind = Kind::TimerAll} << QList<int>{0, 0, 1, 0, 0, 0, 0, 1};
        QTest::newRow("participant count") << false << false << RaceInput{.kind = Kind::CarCountChanged, .value = 5}
                                           << QList<int>{1, 0, 0, 0, 0, 0, 0, 1};
        QTest::newRow("a key beyond the field") << true << false << RaceInput{.kind = Kind::Assign, .value = 9}
                                                << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("capture before the start") << false << false << RaceInput{.kind = Kind::CapturePass}
                                                  << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
    }

    void signalsOncePerInput()
    {
        QFETCH(bool, started);
        QFETCH(bool, pendingFirst);
        QFETCH(RaceInput, input);
        QFETCH(QList<int>, counts);
        make();
        if (started)
            session->submit({.kind = Kind::StartCommand});
        clock.advance(60000);
        if (pendingFirst)
            session->submit({.kind = Kind::CapturePass});
        QSignalSpy rowCount(session.get(), &RaceSession::rowCountChanged);
        QSignalSpy cells(session.get(), &RaceSession::cellsChanged);
        QSignalSpy running(session.get(), &RaceSession::runningTimesChanged);
        QSignalSpy pending(session.get(), &RaceSession::pendingChanged);
        QSignalSpy controls(session.get(), &RaceSession::controlsChanged);
        QSignalSpy focus(session.get(), &RaceSession::pendingFocusRequested);
        QSignalSpy sound(session.get(), &RaceSession::soundRequested);
        QSignalSpy changed(session.get(), &RaceSession::changed);
        QSignalSpy applied(session.get(), &RaceSession::applied);
        session->submit(input);
        const QList<int> seen{int(rowCount.count()), int(cells.count()), int(running.count()), int(pending.count()),
                              int(controls.count()), int(focus.count()), int(sound.count()), int(changed.count())};
        QCOMPARE(seen, counts);
        QCOMPARE(applied.count(), 1);
    }

    // A listener that submits while an input's signals run (a field that finishes its editing
    // when the focus moves) gets its input applied after the first one, never inside it.
    void inputDuringApplyRunsAfterIt()
    {
        make();
        QList<Kind> order;
        connect(session.get(), &RaceSession::applied, this, [&order](const RaceInput &in) { order << in.kind; });
        int pendingSeenInside = -1;
        connect(session.get(), &RaceSession::pendingFocusRequested, this, [&] {
            if (pendingSeenInside >= 0)
                return;
            session->submit({.kind = Kind::CapturePass});
            pendingSeenInside = session->core().pending().count();
        });
        session->submit({.kind = Kind::StartCommand});
        QCOMPARE(pendingSeenInside, 0);
        QCOMPARE(order, (QList<Kind>{Kind::StartCommand, Kind::CapturePass}));
        QCOMPARE(session->core().pending().count(), 1);
    }

    // An input that brings its own tick (a serial edge, a replay) keeps it; others get the clock's.
    void ticks_data()
    {
        QTest::addColumn<std::optional<std::int32_t>>("given");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<std::int32_t>("stamped");
        QTest::newRow("stamped by the clock") << std::optional<std::int32_t>() << "1:05,43" << 165430;
        QTest::newRow("its own tick") << std::optional<std::int32_t>(130000) << "0:30,00" << 130000;
        QTest::newRow("its own tick, in the future") << std::optional<std::int32_t>(200000) << "1:40,00" << 200000;
    }

    void ticks()
    {
        QFETCH(std::optional<std::int32_t>, given);
        make();
        session->submit({.kind = Kind::StartCommand});
        clock.advance(65437); // the race clock counts in whole 10 ms
        QSignalSpy applied(session.get(), &RaceSession::applied);
        session->submit({.kind = Kind::CapturePass, .tick = given});
        QTEST(session->core().pending().at(0), "pending");
        QCOMPARE(applied.count(), 1);
        QTEST(*applied.at(0).at(0).value<RaceInput>().tick, "stamped");
    }

    // What a replay must give back: every grid text (but the running times, which the next
    // refresh writes), the race table and the pending list with its selection.
    static QString state(const RaceCore &c)
    {
        QStringList out;
        for (int r = 0; r < c.grid().rowCount(); ++r) {
            for (int col = 0; col < StandingsGrid::ColumnCount; ++col) {
                if (col != Col::CurrentTime || c.sessionState() != SessionState::Running)
                    out << c.grid().cell(col, r);
            }
        }
        const RaceTable &t = c.table();
        for (int p = 0; p <= RaceTable::MaxParticipants; ++p) {
            for (int e = 0; e < RaceTable::RecordWords; ++e)
                out << QString::number(t.LapRecord[p][e]) + QLatin1Char('/') + QString::number(t.ElapsedRecord[p][e]);
            out << QString::number(t.LastPassTick[p]) << QString::number(t.WarnSinceTick[p])
                << QString::number(t.RowOfParticipant[p]);
        }
        out << c.pending().entries() << QString::number(c.pending().selectedIndex())
            << QString::number(int(c.sessionState())) << QString::number(c.controls().barriersArmed);
        return out.join(QLatin1Char('|'));
    }

    // Random sessions: after every input, a new session rebuilt from the record of the live
    // one is the same race. Undo, barrier events, the gong and the natural end included.
    void recordRebuildsTheRace_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    void recordRebuildsTheRace()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        make(int(random.bounded(2, 9)));
        session->submit({.kind = Kind::DurationEdited, .text = QString::number(random.bounded(20, 200))});
        session->submit({.kind = Kind::BarrierSettingsChanged, .value = BarrierSettings{.oneBarrier = random.bounded(2) == 0, .lockStopSeconds = 1}.pack()});
        session->submit({.kind = Kind::PortOpened});
        if (random.bounded(2))
            session->submit({.kind = Kind::ToggleArming});
        // What a journal gets: the beginning, then every recorded input (undos as such).
        std::vector<RaceInput> journal;
        SessionSetup setup;
        connect(session.get(), &RaceSession::sessionBegan, this, [&](const SessionSetup &began, const std::vector<RaceInput> &inputs) {
            setup = began;
            journal = inputs;
        });
        connect(session.get(), &RaceSession::recorded, this, [&journal](const RaceInput &input) { journal.push_back(input); });
        session->submit({.kind = Kind::StartCommand});
        int finishLevel = 0;
        for (int step = 0; step < 120 && session->core().sessionState() != SessionState::Idle; ++step) {
            clock.advance(random.bounded(10, 4000));
            const int n = session->core().carCount();
            switch (random.bounded(12)) {
            case 0: session->submit({.kind = Kind::CapturePass}); break;
            case 1:
            case 2: session->submit({.kind = Kind::Assign, .value = int(random.bounded(1, n + 2))}); break;
            case 3: session->submit({.kind = Kind::DeletePending}); break;
            case 4: session->submit({.kind = Kind::SelectPending, .value = int(random.bounded(0, 3))}); break;
            case 5: session->submit({.kind = Kind::Undo}); break;
            case 6: session->submit({.kind = Kind::SortCycle}); break;
            case 7: session->submit({.kind = Kind::Timer1}); break;
            case 8:
                finishLevel ^= RaceInput::MsDsrOn;
                session->submit({.kind = Kind::LineEvent, .value = finishLevel, .lines = RaceInput::EvDsr});
                break;
            case 9: session->submit({.kind = Kind::TimerLockStop}); break;
            case 10:
                if (random.bounded(8) == 0) {
                    const auto question = session->core().startQuestion();
                    session->submit({.kind = Kind::StartCommand, .confirmed = true, .answers = question ? question->id : RaceInput::Question::None});
                }
                break;
            default: session->submit({.kind = Kind::MarkOut, .value = int(random.bounded(1, n + 1))}); break;
            }
            session->submit({.kind = Kind::TimerAll});
            if (session->history().empty())
                break;
            RaceSession replay(std::make_unique<ManualTickSource>(0), QLocale(QLocale::German, QLocale::Germany));
            replay.restore(setup, journal);
            QCOMPARE(state(replay.core()), state(session->core()));
            QCOMPARE(replay.history().size(), session->history().size());
        }
    }

    // Ctrl+Z takes the last lap back; its pass waits again, selected, ready for the right key.
    void undoTheLastLap_data()
    {
        QTest::addColumn<bool>("fromList");
        QTest::newRow("a waiting time booked") << true;
        QTest::newRow("the key press was the pass") << false;
    }

    void undoTheLastLap()
    {
        QFETCH(bool, fromList);
        make(3);
        session->submit({.kind = Kind::StartCommand});
        clock.advance(60000);
        session->submit({.kind = Kind::Assign, .value = 1});
        clock.advance(2340);
        if (fromList)
            session->submit({.kind = Kind::CapturePass});
        clock.advance(500);
        session->submit({.kind = Kind::CapturePass}); // another pass waits behind it
        clock.advance(1000);
        session->submit({.kind = Kind::SelectPending, .value = 0});
        if (fromList)
            session->submit({.kind = Kind::Assign, .value = 2});
        else {
            session->submit({.kind = Kind::DeletePending});
            clock.advance(10);
            session->submit({.kind = Kind::Assign, .value = 2});
        }
        QCOMPARE(session->core().table().lapCount(2), 1);
        QSignalSpy undone(session.get(), &RaceSession::undone);
        QSignalSpy recorded(session.get(), &RaceSession::recorded);
        session->submit({.kind = Kind::Undo});
        QCOMPARE(session->core().table().lapCount(2), 0);
        QCOMPARE(session->core().table().lapCount(1), 1);
        const QString pass = fromList ? QStringLiteral("1:02,34") : QStringLiteral("1:03,85");
        QCOMPARE(undone.value(0).value(0).toString(), QStringLiteral("Runde von 2 zurückgenommen: ") + pass);
        QCOMPARE(session->core().pending().selectedText(), pass);
        QCOMPARE(recorded.count(), 1);
        QCOMPARE(recorded.value(0).value(0).value<RaceInput>().kind, Kind::Undo);
        // Back to the first lap of the session, then nothing more.
        session->submit({.kind = Kind::Undo});
        QCOMPARE(session->core().table().lapCount(1), 0);
        session->submit({.kind = Kind::Undo});
        QCOMPARE(undone.count(), 2);
    }

    // The race's clocks run without any window: running times, the countdown with its gong,
    // the finish lock after a start; and nothing more once the program stops them.
    void timersRunWithoutAWindow()
    {
        make(2);
        SessionTimers timers(*session);
        QVERIFY(!session->core().wallClockText().isEmpty());
        session->submit({.kind = Kind::BarrierSettingsChanged, .value = BarrierSettings{.lockStopSeconds = 1}.pack()});
        session->submit({.kind = Kind::DurationEdited, .text = QStringLiteral("1")});
        session->submit({.kind = Kind::ToggleArming});
        QVERIFY(!timers.runningTimes().isActive());
        session->submit({.kind = Kind::StartCommand});
        QVERIFY(timers.runningTimes().isActive() && timers.countdown().isActive() && timers.finishLock().isActive());
        QVERIFY(!session->core().controls().barriersArmed);
        clock.advance(1230);
        QTRY_COMPARE(session->core().grid().cell(Col::CurrentTime, 1), QStringLiteral("0:01,23"));
        QTRY_VERIFY(session->core().controls().gongVisible);
        QTRY_VERIFY_WITH_TIMEOUT(session->core().controls().barriersArmed, 3000);
        QVERIFY(!timers.finishLock().isActive());
        timers.stop();
        clock.advance(1000);
        QTest::qWait(50);
        QCOMPARE(session->core().grid().cell(Col::CurrentTime, 1), QStringLiteral("0:01,23"));
    }

    // One snapshot per change, shared by every reader, in the grid's shown order.
    void snapshotFollowsTheRace()
    {
        make(3);
        session->submit({.kind = Kind::TitleEdited, .text = QStringLiteral("Stadtlauf")});
        session->submit({.kind = Kind::StartCommand});
        const auto before = session->snapshot();
        QCOMPARE(session->snapshot(), before);
        clock.advance(61000);
        session->submit({.kind = Kind::Assign, .value = 3});
        clock.advance(62000);
        session->submit({.kind = Kind::Assign, .value = 3});
        const auto after = session->snapshot();
        QVERIFY(after != before);
        QCOMPARE(after->title, QStringLiteral("Stadtlauf"));
        QCOMPARE(after->state, SessionState::Running);
        QCOMPARE(int(after->rows.size()), 3);
        QCOMPARE(after->rows[0].participant, 3);
        QCOMPARE(after->rows[0].cells[Col::Place], QStringLiteral("1."));
        QCOMPARE(after->rows[0].cells[Col::Laps], QStringLiteral("2"));
        QCOMPARE(after->rows[0].lapTimes, (std::vector<std::int32_t>{61000, 62000}));
        QVERIFY(after->rows[1].lapTimes.empty());
        QCOMPARE(after->columnTitles[Col::TotalTime], QStringLiteral("Ges. Zeit"));
        QCOMPARE(before->rows[0].participant, 1); // an earlier snapshot stays as it was
    }
};

QTEST_GUILESS_MAIN(TestRaceSession)
#include "testracesession.moc"
