#include "RaceDriver.h"

#include <QTest>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;

// Booking a pass to a participant: the lap, the ranking, the re-sorted rows and the gaps.
class TestBooking : public QObject
{
    Q_OBJECT

private slots:
    void firstLapFromKeyPress()
    {
        RaceDriver d;
        d.at(1000);
        d.start();
        d.book(3, 1000 + 65430);
        const RaceTable &t = d.core.table();
        QCOMPARE(d.rowOf(3), 1);
        QCOMPARE(d.cellOf(Col::Place, 3), QStringLiteral("1."));
        QCOMPARE(d.cellOf(Col::Laps, 3), QStringLiteral("1"));
        QCOMPARE(d.cellOf(Col::LastLap, 3), QStringLiteral("1:05,43"));
        QCOMPARE(d.cellOf(Col::PreviousLap, 3), QString());
        QCOMPARE(d.cellOf(Col::BestLap, 3), QStringLiteral("1:05,43"));
        QCOMPARE(d.cellOf(Col::TotalTime, 3), QStringLiteral("1:05,43"));
        QCOMPARE(d.cellOf(Col::GapToLeader, 3), QStringLiteral("-"));
        QCOMPARE(d.cellOf(Col::GapAhead, 3), QStringLiteral("-"));
        QCOMPARE(t.lapTime(3, 1), 65430);
        QCOMPARE(t.latestPassTick(3), 66430);
        QCOMPARE(t.raceTimeAtLap(3, 1), 65430);
        QCOMPARE(t.BestLap(3), 65430);
        QCOMPARE(t.CurrentParticipant, 3);
        // Participants without laps keep their order below, without a place.
        QCOMPARE(d.cell(Col::Key, 2), QStringLiteral("1"));
        QCOMPARE(d.cell(Col::Key, 3), QStringLiteral("2"));
        QCOMPARE(d.cell(Col::Key, 4), QStringLiteral("4"));
        QCOMPARE(d.cell(Col::Place, 2), QString());
    }

    void pendingTimeIsThePass()
    {
        RaceDriver d;
        d.at(500);
        d.start();
        d.at(500 + 61230);
        d.capture();
        d.at(500 + 62000);
        d.capture();
        d.at(500 + 70000);
        d.assign(5);
        QCOMPARE(d.cellOf(Col::TotalTime, 5), QStringLiteral("1:01,23"));
        QCOMPARE(d.core.table().LastPassTick[5], 500 + 61230);
        QCOMPARE(d.core.pending().count(), 1);
        QCOMPARE(d.core.pending().selectedText(), QStringLiteral("1:02,00"));
        QCOMPARE(d.observer.sounds, QStringList({"contact", "contact"}));
    }

    void secondLapMovesLastToPrevious()
    {
        RaceDriver d;
        d.start();
        d.book(1, 60000);
        d.book(1, 115000);
        QCOMPARE(d.cellOf(Col::Laps, 1), QStringLiteral("2"));
        QCOMPARE(d.cellOf(Col::LastLap, 1), QStringLiteral("0:55,00"));
        QCOMPARE(d.cellOf(Col::PreviousLap, 1), QStringLiteral("1:00,00"));
        QCOMPARE(d.cellOf(Col::BestLap, 1), QStringLiteral("0:55,00"));
        QCOMPARE(d.cellOf(Col::TotalTime, 1), QStringLiteral("1:55,00"));
        d.book(1, 180000);
        QCOMPARE(d.cellOf(Col::BestLap, 1), QStringLiteral("0:55,00"));
        QCOMPARE(d.core.table().BestLap(1), 55000);
    }

    void bookingInterval_data()
    {
        // A pass is booked at 10 s; the next key press for the same participant comes later,
        // with or without the 450 ms session tick running in between.
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<bool>("ticking");
        QTest::addColumn<int>("laps");
        QTest::newRow("at once") << 10 << true << 1;
        QTest::newRow("within 1000 ms, ticking") << 990 << true << 1;
        QTest::newRow("1000 ms, tick has not cleared yet") << 1000 << true << 1;
        QTest::newRow("1400 ms, cleared by the tick") << 1400 << true << 2;
        QTest::newRow("2500 ms, cleared by the tick") << 2500 << true << 2;
        QTest::newRow("2500 ms, no tick") << 2500 << false << 1;
        QTest::newRow("3000 ms, no tick") << 3000 << false << 1;
        QTest::newRow("3010 ms, no tick") << 3010 << false << 2;
    }

    void bookingInterval()
    {
        QFETCH(int, afterMs);
        QFETCH(bool, ticking);
        RaceDriver d;
        d.at(0);
        d.start();
        if (ticking)
            d.runTimersTo(10000);
        d.book(4, 10000);
        if (ticking)
            d.runTimersTo(10000 + afterMs);
        d.book(4, 10000 + afterMs);
        QTEST(d.core.table().lapCount(4), "laps");
        QCOMPARE(d.core.table().CurrentParticipant, 4);
    }

    void refusedPressKeepsPendingTime()
    {
        RaceDriver d;
        d.start();
        d.book(2, 30000);
        d.at(30500);
        d.capture();
        d.assign(2);
        QCOMPARE(d.core.pending().count(), 1);
        QCOMPARE(d.core.table().lapCount(2), 1);
    }

    void ignoredPresses_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("participant");
        QTest::addColumn<bool>("running");
        QTest::newRow("beyond the participant count") << 12 << 15 << true;
        QTest::newRow("just beyond") << 12 << 13 << true;
        QTest::newRow("not running") << 20 << 3 << false;
        QTest::newRow("no participant 0") << 20 << 0 << true;
    }

    void ignoredPresses()
    {
        QFETCH(int, count);
        QFETCH(int, participant);
        QFETCH(bool, running);
        RaceDriver d;
        d.send(Kind::CarCountChanged, count);
        if (running)
            d.start();
        d.at(5000);
        d.capture();
        d.assign(participant);
        QCOMPARE(d.core.table().CurrentParticipant, 0);
        QCOMPARE(d.core.table().LeaderLaps(), 0);
        QCOMPARE(d.core.pending().count(), running ? 1 : 0);
    }

    void sameLapGap()
    {
        RaceDriver d;
        d.start();
        for (int lap = 1; lap <= 5; ++lap) {
            d.book(1, lap * 120000);
            d.book(2, lap * 120000 + (lap == 5 ? 500 : 5000));
        }
        QCOMPARE(d.cellOf(Col::TotalTime, 1), QStringLiteral("10:00,00"));
        QCOMPARE(d.cellOf(Col::TotalTime, 2), QStringLiteral("10:00,50"));
        QCOMPARE(d.rowOf(1), 1);
        QCOMPARE(d.rowOf(2), 2);
        QCOMPARE(d.cellOf(Col::GapToLeader, 2), QStringLiteral("0:00,50"));
        QCOMPARE(d.cellOf(Col::GapAhead, 2), QStringLiteral("0:00,50"));
    }

    void gapColumns_data()
    {
        // Participants 1..3 on the lead lap, 4 and 5 one lap down, 6 two laps down.
        QTest::addColumn<int>("participant");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("toLeader");
        QTest::addColumn<QString>("ahead");
        QTest::newRow("leader") << 1 << "1." << "-" << "-";
        QTest::newRow("second on the lead lap") << 2 << "2." << "0:01,00" << "0:01,00";
        QTest::newRow("third on the lead lap") << 3 << "3." << "0:03,50" << "0:02,50";
        QTest::newRow("first of the lapped group") << 4 << "4." << "1 Runde" << "1 Runde";
        QTest::newRow("second of the lapped group") << 5 << "5." << "1 Runde" << "0:07,00";
        QTest::newRow("two laps down") << 6 << "6." << "2 Runden" << "1 Runde";
        QTest::newRow("no laps") << 7 << "" << "" << "";
    }

    void gapColumns()
    {
        QFETCH(int, participant);
        RaceDriver d;
        d.send(Kind::CarCountChanged, 7);
        d.start();
        const int offsets[] = {0, 0, 1000, 3500, 10000, 17000, 20000};
        for (int lap = 1; lap <= 3; ++lap) {
            for (int p = 1; p <= 6; ++p) {
                const int laps = p <= 3 ? 3 : (p <= 5 ? 2 : 1);
                if (lap <= laps)
                    d.book(p, lap * 100000 + offsets[p]);
            }
        }
        QTEST(d.cellOf(Col::Place, participant), "place");
        QTEST(d.cellOf(Col::GapToLeader, participant), "toLeader");
        QTEST(d.cellOf(Col::GapAhead, participant), "ahead");
    }

    void tieOnMeanLapTimeGoesToLowerIndex()
    {
        // 11 laps each: 110010/11 and 110000/11 truncate to the same mean.
        RaceDriver d;
        d.start();
        for (int lap = 1; lap <= 11; ++lap) {
            d.book(2, lap * 10000);
            d.book(1, lap * 10000 + (lap == 11 ? 10 : 5000));
        }
        QCOMPARE(d.cellOf(Col::Place, 1), QStringLiteral("1."));
        QCOMPARE(d.cellOf(Col::Place, 2), QStringLiteral("2."));
        // The participant behind is 10 ms faster: the gap comes out negative.
        QCOMPARE(d.cellOf(Col::GapToLeader, 2), QStringLiteral("-0:00,01"));
        QCOMPARE(d.cellOf(Col::GapAhead, 2), QStringLiteral("-0:00,01"));
    }

    void moreLapsBeatFasterMean()
    {
        RaceDriver d;
        d.start();
        d.book(9, 50000);
        d.book(8, 90000);
        d.book(8, 180000);
        QCOMPARE(d.cellOf(Col::Place, 8), QStringLiteral("1."));
        QCOMPARE(d.cellOf(Col::Place, 9), QStringLiteral("2."));
        QCOMPARE(d.cellOf(Col::GapToLeader, 9), QStringLiteral("1 Runde"));
    }

    void tenOrMorePlacesSortNumerically()
    {
        RaceDriver d;
        d.start();
        for (int p = 1; p <= 12; ++p)
            d.book(p, 60000 + p * 1000);
        for (int r = 1; r <= 12; ++r) {
            QCOMPARE(d.cell(Col::Place, r), QString::number(r) + QLatin1Char('.'));
            QCOMPARE(d.cell(Col::Key, r), KeyLabel(r));
        }
        QCOMPARE(d.cell(Col::Place, 13), QString());
    }

    void remainingLapsOfTheLeader()
    {
        RaceDriver d;
        d.start();
        for (int lap = 1; lap <= 7; ++lap)
            d.book(6, lap * 60000);
        d.book(2, 500000);
        QCOMPARE(d.core.controls().lapsValue, 153);
        QCOMPARE(d.core.table().LeaderLaps(), 7);
    }

    void gongMakesNextLapTheLast()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 3);
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("120"));
        d.start();
        d.book(2, 60000);
        d.runTimersTo(121000);
        QVERIFY(d.core.controls().gongVisible);
        d.book(2, 125000);
        QCOMPARE(d.core.table().lapCount(2), 2);
        QVERIFY(d.core.table().LapWord(2) & RaceTable::FinishedFlag);
        d.runTimersTo(130000);
        d.capture();
        d.assign(2);
        QCOMPARE(d.core.table().lapCount(2), 2);
        QCOMPARE(d.core.pending().count(), 0); // the pass time is used up all the same
        QCOMPARE(d.core.table().LastPassTick[2], 130000);
        d.runTimersTo(131000);
        QCOMPARE(d.cellOf(Col::CurrentTime, 2), QStringLiteral("1:01,00")); // no longer ticking since 121 s
        QCOMPARE(d.core.sessionState(), SessionState::Running);
    }

    void sortCycle_data()
    {
        QTest::addColumn<int>("presses");
        QTest::addColumn<QString>("order");
        // Participant 1 leads with 2 laps; 2 has the best lap; 3 has the longest running time.
        QTest::newRow("best lap") << 1 << "2 1 3";
        QTest::newRow("current time") << 2 << "1 3 2";
        QTest::newRow("place again") << 3 << "1 2 3";
    }

    void sortCycle()
    {
        QFETCH(int, presses);
        RaceDriver d;
        d.send(Kind::CarCountChanged, 3);
        d.start();
        d.book(2, 55000);
        d.book(1, 60000);
        d.book(3, 65000);
        d.book(1, 170000);
        d.runTimersTo(180000); // running: 1 for 0:10, 2 for 2:05, 3 for 1:55
        for (int i = 0; i < presses; ++i)
            d.send(Kind::SortCycle);
        QStringList order;
        for (int r = 1; r <= 3; ++r)
            order << d.cell(Col::Key, r);
        QTEST(order.join(QLatin1Char(' ')), "order");
        QCOMPARE(d.core.sortPosition(), presses % 3);
        // Bookings and running times still land in the participant's own row.
        d.book(3, 200000);
        QCOMPARE(d.cellOf(Col::Key, 3), QStringLiteral("3"));
        QCOMPARE(d.cellOf(Col::Laps, 3), QStringLiteral("2"));
        d.runTimersTo(200010);
        QCOMPARE(d.cellOf(Col::CurrentTime, 3), QStringLiteral("0:00,01"));
    }

    void outMarkAfterStop()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 3);
        d.start();
        d.book(2, 60000);
        d.send(Kind::MarkOut, 1);
        QVERIFY(!(d.core.table().LapWord(2) & RaceTable::OutFlag));
        d.stop(true);
        const QString place = d.cellOf(Col::Place, 2);
        d.send(Kind::MarkOut, 1);
        QVERIFY(d.core.table().LapWord(2) & RaceTable::OutFlag);
        QCOMPARE(d.cellOf(Col::CurrentTime, 2), QStringLiteral("AUS"));
        QCOMPARE(d.cellOf(Col::Place, 2), place);
        QCOMPARE(d.cell(Col::CurrentTime, 2), QString());
        QCOMPARE(d.cell(Col::CurrentTime, 3), QString());
        d.send(Kind::MarkOut, 4); // beyond the participant rows
    }

    void deleteAndSelectPending()
    {
        RaceDriver d;
        d.start();
        for (int i = 1; i <= 3; ++i) {
            d.at(i * 1000);
            d.capture();
        }
        d.send(Kind::SelectPending, 2);
        d.send(Kind::DeletePending);
        QCOMPARE(d.core.pending().selectedIndex(), 1);
        d.send(Kind::SelectPending, 0);
        d.send(Kind::DeletePending);
        QCOMPARE(d.core.pending().selectedText(), QStringLiteral("0:02,00"));
        d.send(Kind::DeletePending);
        d.send(Kind::DeletePending);
        QCOMPARE(d.core.pending().count(), 0);
        QCOMPARE(d.core.pending().selectedIndex(), -1);
    }
};

QTEST_GUILESS_MAIN(TestBooking)
#include "testbooking.moc"
