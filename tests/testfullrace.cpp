#include "RaceDriver.h"

#include "core/TickSource.h"

#include <QTest>

#include <algorithm>
#include <map>
#include <numeric>
#include <vector>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;

// A whole four-hour race of 20 participants on a simulated clock: every pass is captured
// by the barrier and assigned by the operator a moment later, the session timers run,
// the gong sounds, everyone finishes and the session ends by itself.
class TestFullRace : public QObject
{
    Q_OBJECT

    struct Event
    {
        std::int64_t at; // ms since the race start
        enum Type { Timer1, TimerAll, Capture, Assign } type;
        int participant = 0;
        bool operator<(const Event &o) const { return at != o.at ? at < o.at : type < o.type; }
    };

    // Checks what must hold after every booking.
    static void checkInvariants(const RaceDriver &d)
    {
        const RaceTable &t = d.core.table();
        const int n = d.core.carCount();
        int maxLaps = 0;
        for (int p = 1; p <= n; ++p) {
            const int laps = t.lapCount(p);
            maxLaps = std::max(maxLaps, laps);
            QCOMPARE(t.ParticipantAtRow[t.RowOfParticipant[p]], p);
            QCOMPARE(d.cell(Col::Key, t.RowOfParticipant[p]), KeyLabel(p));
            if (laps == 0)
                continue;
            std::int64_t sum = 0;
            std::int32_t best = RaceTable::NoBestLap;
            for (int lap = 1; lap <= laps; ++lap) {
                sum += t.lapTime(p, lap);
                best = std::min(best, t.lapTime(p, lap));
            }
            const std::int32_t elapsed = t.raceTimeAtLap(p, laps);
            QCOMPARE(sum, std::int64_t(elapsed));
            QCOMPARE(TickDiff(t.latestPassTick(p), t.RaceStartTick), elapsed);
            QCOMPARE(t.BestLap(p), best);
            QCOMPARE(d.cellOf(Col::Laps, p), QString::number(laps));
            QCOMPARE(d.cellOf(Col::TotalTime, p), RaceDriver::time(elapsed));
            QCOMPARE(d.cellOf(Col::BestLap, p), RaceDriver::time(best));
        }
        QCOMPARE(t.LeaderLaps(), maxLaps);
        // Ranked rows come first, numbered 1., 2., ... from the top.
        for (int r = 1; r <= n; ++r) {
            const QString &place = d.cell(Col::Place, r);
            if (place.isEmpty())
                break;
            QCOMPARE(place, QString::number(r) + QLatin1Char('.'));
        }
    }

private slots:
    void fourHourRace()
    {
        constexpr int n = 20;
        constexpr std::int64_t duration = 4 * 3600 * 1000;
        constexpr std::int64_t operatorDelay = 1500;

        // Start two hours before the 32-bit tick counter wraps, so the race runs across the wrap.
        ManualTickSource clock(0xFFFFFFFFu - 2u * 3600u * 1000u);
        const std::int32_t startTick = ReadClock(clock);
        const auto tickAt = [startTick](std::int64_t ms) { return TickAdd(startTick, std::int32_t(ms)); };

        // Each participant's passes: steady lap times with a little scatter. The fastest reach
        // the 160-lap limit before the gong; everyone else finishes after it.
        std::vector<Event> events;
        std::map<int, std::vector<std::int64_t>> passes;
        std::uint32_t seed = 12345;
        const auto scatter = [&seed] {
            seed = seed * 1103515245u + 12345u;
            return std::int64_t((seed >> 16) % 601) * 10 - 3000;
        };
        for (int p = 1; p <= n; ++p) {
            const std::int64_t base = p == 1 ? 84000 : 86000 + p * 1500;
            std::int64_t at = 0;
            for (int lap = 1; lap <= 160; ++lap) {
                at += base + scatter();
                passes[p].push_back(at);
                if (at + operatorDelay >= duration)
                    break; // the first lap booked after the gong is the last
            }
            for (const std::int64_t pass : passes[p]) {
                events.push_back({pass, Event::Capture, p});
                events.push_back({pass + operatorDelay, Event::Assign, p});
            }
        }
        std::int64_t end = 0;
        for (const Event &e : events)
            end = std::max(end, e.at);
        for (std::int64_t at = 450; at <= end + 2000; at += 450)
            events.push_back({at, Event::Timer1});
        for (std::int64_t at = 1000; at <= end + 2000; at += 1000)
            events.push_back({at, Event::TimerAll});
        std::stable_sort(events.begin(), events.end());

        RaceDriver d;
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("04:00:00"));
        d.at(startTick);
        d.start();
        QCOMPARE(d.core.table().RaceStartTick, startTick);

        std::vector<int> assignOrder; // the operator assigns the oldest pending pass first
        int bookings = 0;
        for (const Event &e : events) {
            d.at(tickAt(e.at));
            switch (e.type) {
            case Event::Timer1: d.send(Kind::Timer1); break;
            case Event::TimerAll: d.send(Kind::TimerAll); break;
            case Event::Capture: d.capture(); break;
            case Event::Assign:
                QVERIFY(!d.core.pending().isEmpty());
                QCOMPARE(d.core.pending().selectedIndex(), 0);
                d.assign(e.participant);
                ++bookings;
                checkInvariants(d);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(QStringLiteral("after booking %1 of participant %2").arg(bookings).arg(e.participant)));
                break;
            }
        }

        QCOMPARE(d.core.sessionState(), SessionState::Ended);
        QVERIFY(!d.core.controls().timerAllEnabled);
        QCOMPARE(d.core.pending().count(), 0);
        QCOMPARE(d.observer.sounds.count(QStringLiteral("gong")), 1);
        QCOMPARE(d.core.durationText(), QStringLiteral("00:00:00"));

        // Every pass was booked; the laps and race times are those of the simulation.
        const RaceTable &t = d.core.table();
        QCOMPARE(t.lapCount(1), 160);
        int finished = 0;
        for (int p = 1; p <= n; ++p) {
            QCOMPARE(t.lapCount(p), int(passes[p].size()));
            QCOMPARE(t.raceTimeAtLap(p, t.lapCount(p)), std::int32_t(passes[p].back()));
            // Stopped by the lap limit before the gong, or finished by the lap after it.
            const bool limitBeforeGong = t.lapCount(p) == 160 && passes[p].back() + operatorDelay < duration;
            QCOMPARE(bool(t.LapWord(p) & RaceTable::FinishedFlag), !limitBeforeGong);
            finished += !limitBeforeGong;
        }
        QVERIFY(finished > 10);

        // The final order: more laps first, then the smaller mean lap time, then the lower index.
        std::vector<int> expected(n);
        std::iota(expected.begin(), expected.end(), 1);
        std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) {
            const auto la = std::int64_t(passes[a].size()), lb = std::int64_t(passes[b].size());
            if (la != lb)
                return la > lb;
            return passes[a].back() / la < passes[b].back() / lb;
        });
        for (int r = 1; r <= n; ++r) {
            QCOMPARE(t.ParticipantAtRow[r], expected[r - 1]);
            QCOMPARE(d.cell(Col::Place, r), QString::number(r) + QLatin1Char('.'));
        }
        QCOMPARE(d.cell(Col::GapToLeader, 1), QStringLiteral("-"));
    }
};

QTEST_GUILESS_MAIN(TestFullRace)
#include "testfullrace.moc"
