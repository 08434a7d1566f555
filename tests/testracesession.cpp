#include "ClockView.h"
#include "core/TimeText.h"
#include "session/RaceSession.h"

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
