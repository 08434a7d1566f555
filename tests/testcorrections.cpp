#include "ClockView.h"
#include "JournalRebuild.h"
#include "RaceDriver.h"
#include "core/CorrectionText.h"
#include "session/JournalFormat.h"
#include "session/JournalReader.h"
#include "session/RaceSession.h"

#include <QRandomGenerator>
#include <QTest>

using Kind = RaceInput::Kind;
using Column = StandingsGrid::Column;

namespace {

// One correction of a table row: the pass is named by its participant and its place among
// that participant's booked passes, as the operator picks it in the window.
struct Fix
{
    Kind kind;
    int participant = 0;
    int index = 0;       // of the booked pass; InsertPass: unused
    int value = 0;       // MovePass: to whom; InsertPass: unused
    std::int32_t at = 0; // InsertPass: race time
};

// What a participant shows after the corrections.
struct Standing
{
    int laps = 0;
    QString best;
    QString place;
    QString gap;
    bool finished = false;
    friend bool operator==(const Standing &, const Standing &) = default;
};

QString describe(const Standing &s)
{
    return QStringLiteral("%1 laps, best %2, place %3, gap %4%5").arg(s.laps).arg(s.best, s.place, s.gap, s.finished ? QStringLiteral(", finished") : QString());
}

enum class When { Running, Ended, AfterGong };

constexpr std::int32_t Start = 100000;

// P1 passes at 1:00, 2:00, 2:03,5 (twice), 3:00; P2 at 1:05, 2:10, 3:20; P3 at 1:10, 2:20.
void bookBaseRace(RaceDriver &race, When when)
{
    race.send(Kind::CarCountChanged, 3);
    if (when == When::AfterGong)
        race.send(Kind::DurationEdited, 0, false, QStringLiteral("195"));
    race.at(Start);
    race.start();
    const std::pair<int, std::int32_t> passes[] = {{1, 60000}, {2, 65000}, {3, 70000}, {1, 120000}, {1, 123500},
                                                   {2, 130000}, {3, 140000}, {1, 180000}, {2, 200000}};
    for (const auto &[p, at] : passes) {
        race.runTimersTo(Start + at);
        race.book(p, Start + at);
    }
    race.runTimersTo(Start + 205000);
    if (when == When::Ended)
        race.stop();
}

RaceInput inputOf(const RaceCore &core, const Fix &fix, std::int32_t now)
{
    RaceInput in{.kind = fix.kind, .tick = now, .value = fix.value, .text = QStringLiteral("Test"),
                 .operatorName = QStringLiteral("Anna"), .wallClockMs = 1765000000000};
    if (fix.kind == Kind::InsertPass) {
        in.value = fix.participant;
        in.raceTime = fix.at;
    } else {
        in.pass = core.lapBook().passes(fix.participant).at(std::size_t(fix.index)).id;
    }
    return in;
}

QList<Standing> standingsOf(const RaceDriver &race)
{
    QList<Standing> list;
    for (int p = 1; p <= race.core.carCount(); ++p) {
        list << Standing{.laps = race.core.table().lapCount(p), .best = race.cellOf(Column::BestLap, p),
                         .place = race.cellOf(Column::Place, p), .gap = race.cellOf(Column::GapToLeader, p),
                         .finished = (race.core.table().LapWord(p) & RaceTable::FinishedFlag) != 0};
    }
    return list;
}

} // namespace

Q_DECLARE_METATYPE(Fix)
Q_DECLARE_METATYPE(When)

// Corrections of booked laps: what each does to the standings, what is refused, and that a
// journal and Ctrl+Z reproduce them exactly.
class TestCorrections : public QObject
{
    Q_OBJECT

private slots:
    void standings_data()
    {
        QTest::addColumn<When>("when");
        QTest::addColumn<QList<Fix>>("fixes");
        QTest::addColumn<QList<Standing>>("expected");

        const QList<Standing> base{{4, "0:03,50", "1.", "-"}, {3, "1:05,00", "2.", "1 Runde"}, {2, "1:10,00", "3.", "2 Runden"}};
        QTest::newRow("nothing corrected") << When::Running << QList<Fix>{} << base;
        // The double count goes: lap 2 and lap 3 merge into one of 1:00,00.
        const Fix strikeDouble{Kind::StrikePass, 1, 2};
        const QList<Standing> struck{{3, "1:00,00", "1.", "-"}, {3, "1:05,00", "2.", "0:20,00"}, {2, "1:10,00", "3.", "1 Runde"}};
        QTest::newRow("strike") << When::Running << QList<Fix>{strikeDouble} << struck;
        QTest::newRow("strike, after the end") << When::Ended << QList<Fix>{strikeDouble} << struck;
        QTest::newRow("strike and restore") << When::Running << QList<Fix>{strikeDouble, {Kind::RestorePass, 1, 2}} << base;
        QTest::newRow("strike every lap")
            << When::Running << QList<Fix>{{Kind::StrikePass, 3, 0}, {Kind::StrikePass, 3, 1}}
            << QList<Standing>{{4, "0:03,50", "1.", "-"}, {3, "1:05,00", "2.", "1 Runde"}, {0, "", "", ""}};
        QTest::newRow("strike every lap, after the end")
            << When::Ended << QList<Fix>{{Kind::StrikePass, 3, 0}, {Kind::StrikePass, 3, 1}}
            << QList<Standing>{{4, "0:03,50", "1.", "-"}, {3, "1:05,00", "2.", "1 Runde"}, {0, "", "-", ""}};
        // The double was P3's: both recomputed, P3 now leads on the mean lap time.
        QTest::newRow("move")
            << When::Running << QList<Fix>{{Kind::MovePass, 1, 2, 3}}
            << QList<Standing>{{3, "1:00,00", "2.", "0:40,00"}, {3, "1:05,00", "3.", "1:00,00"}, {3, "0:16,50", "1.", "-"}};
        QTest::newRow("move, after the end")
            << When::Ended << QList<Fix>{{Kind::MovePass, 1, 2, 3}}
            << QList<Standing>{{3, "1:00,00", "2.", "0:40,00"}, {3, "1:05,00", "3.", "1:00,00"}, {3, "0:16,50", "1.", "-"}};
        QTest::newRow("insert a missed pass")
            << When::Running << QList<Fix>{{Kind::InsertPass, 3, 0, 0, 105000}}
            << QList<Standing>{{4, "0:03,50", "1.", "-"}, {3, "1:05,00", "3.", "1 Runde"}, {3, "0:35,00", "2.", "1 Runde"}};
        QTest::newRow("insert, after the end")
            << When::Ended << QList<Fix>{{Kind::InsertPass, 2, 0, 0, 201000}}
            << QList<Standing>{{4, "0:03,50", "1.", "-"}, {4, "0:01,00", "2.", "0:21,00"}, {2, "1:10,00", "3.", "2 Runden"}};
        // P2's pass after the gong was its finish; struck, P2 runs on.
        const QList<Standing> gong{{4, "0:03,50", "1.", "-"}, {3, "1:05,00", "2.", "1 Runde", true}, {2, "1:10,00", "3.", "2 Runden"}};
        QTest::newRow("after the gong") << When::AfterGong << QList<Fix>{} << gong;
        QTest::newRow("strike the last lap after the gong")
            << When::AfterGong << QList<Fix>{{Kind::StrikePass, 2, 2}}
            << QList<Standing>{{4, "0:03,50", "1.", "-"}, {2, "1:05,00", "2.", "2 Runden"}, {2, "1:10,00", "3.", "2 Runden"}};
        QTest::newRow("strike and restore the last lap after the gong")
            << When::AfterGong << QList<Fix>{{Kind::StrikePass, 2, 2}, {Kind::RestorePass, 2, 2}} << gong;
    }

    void standings()
    {
        QFETCH(When, when);
        QFETCH(QList<Fix>, fixes);
        QFETCH(QList<Standing>, expected);
        RaceDriver race;
        bookBaseRace(race, when);
        for (const Fix &fix : fixes) {
            const RaceInput in = inputOf(race.core, fix, race.now);
            QCOMPARE(race.core.correctionRefusal(in, race.now), std::nullopt);
            race.core.apply(in);
            QVERIFY(race.core.lastInputChangedRace());
        }
        const QList<Standing> actual = standingsOf(race);
        for (qsizetype i = 0; i < expected.size(); ++i)
            QVERIFY2(actual[i] == expected[i], qPrintable(QStringLiteral("participant %1: %2, expected %3").arg(i + 1).arg(describe(actual[i]), describe(expected[i]))));
        QCOMPARE(int(race.core.corrections().size()), int(fixes.size()));
        // The running time of a participant that runs again counts from its last counted pass.
        if (when == When::AfterGong) {
            race.runTimersTo(Start + 206000);
            const bool p2Runs = !expected[1].finished;
            QCOMPARE(race.cellOf(Column::CurrentTime, 2) == RaceDriver::time(206000 - 130000), p2Runs);
        }
    }

    void refused_data()
    {
        QTest::addColumn<Fix>("fix");
        QTest::addColumn<bool>("ended");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("message");
        QTest::newRow("no reason") << Fix{Kind::StrikePass, 1, 0} << false << "  " << "Bitte einen Grund angeben.";
        QTest::newRow("struck twice") << Fix{Kind::StrikePass, 3, 0} << false << "x" << "Die Runde ist schon gestrichen.";
        QTest::newRow("restore a counted lap") << Fix{Kind::RestorePass, 1, 0} << false << "x" << "Die Runde ist nicht gestrichen.";
        QTest::newRow("move to nobody") << Fix{Kind::MovePass, 1, 0, 4} << false << "x" << "Teilnehmer 4 gibt es nicht.";
        QTest::newRow("move to itself") << Fix{Kind::MovePass, 1, 0, 1} << false << "x" << "Die Runde gehört schon 1.";
        QTest::newRow("move a struck lap") << Fix{Kind::MovePass, 3, 0, 1} << false << "x" << "Eine gestrichene Runde wird nicht umgebucht.";
        QTest::newRow("move onto AUS") << Fix{Kind::MovePass, 1, 0, 2} << true << "x" << "2 ist aus dem Rennen genommen (AUS).";
        QTest::newRow("insert for nobody") << Fix{Kind::InsertPass, 0, 0, 0, 5000} << false << "x" << "Teilnehmer 0 gibt es nicht.";
        QTest::newRow("insert at the start") << Fix{Kind::InsertPass, 1, 0, 0, 0} << false << "x" << "Die Zeit liegt vor dem Start.";
        QTest::newRow("insert in the future") << Fix{Kind::InsertPass, 1, 0, 0, 300000} << false << "x"
                                               << "Die Zeit liegt nach dem Ende des Rennens.";
        QTest::newRow("insert after the end") << Fix{Kind::InsertPass, 1, 0, 0, 206000} << true << "x"
                                               << "Die Zeit liegt nach dem Ende des Rennens.";
        QTest::newRow("insert onto a pass") << Fix{Kind::InsertPass, 2, 0, 0, 65000} << false << "x"
                                             << "2 hat zu dieser Zeit schon eine Durchfahrt.";
    }

    // A refused correction changes nothing and is not part of the race.
    void refused()
    {
        QFETCH(Fix, fix);
        QFETCH(bool, ended);
        QFETCH(QString, reason);
        QFETCH(QString, message);
        RaceDriver race;
        bookBaseRace(race, ended ? When::Ended : When::Running);
        race.core.apply(inputOf(race.core, {Kind::StrikePass, 3, 0}, race.now));
        if (ended)
            race.send(Kind::MarkOut, race.rowOf(2));
        const RaceCore before = race.core;
        RaceInput in = inputOf(race.core, fix, race.now);
        in.text = reason;
        QCOMPARE(race.core.correctionRefusal(in, race.now), message);
        race.core.apply(in);
        QVERIFY(!race.core.lastInputChangedRace());
        QVERIFY(race.core.sameState(before));
    }

    // The lap limit holds for corrections as for bookings.
    void lapLimit()
    {
        RaceDriver race;
        race.send(Kind::CarCountChanged, 2);
        race.send(Kind::LapLimitChanged, 2);
        race.at(Start);
        race.start();
        race.book(1, Start + 60000);
        race.book(1, Start + 120000);
        QCOMPARE(race.core.correctionRefusal({.kind = Kind::InsertPass, .value = 1, .text = "x", .raceTime = 90000}, race.now),
                 QStringLiteral("1 hat schon 2 Runden, mehr lässt das Rundenlimit nicht zu."));
        race.core.apply(inputOf(race.core, {Kind::StrikePass, 1, 0}, race.now));
        // One lap struck: the participant runs on, and a missed pass fits again.
        QCOMPARE(race.core.table().lapCount(1), 1);
        QCOMPARE(race.core.correctionRefusal({.kind = Kind::InsertPass, .value = 1, .text = "x", .raceTime = 90000}, race.now),
                 std::nullopt);
    }

    void hints_data()
    {
        QTest::addColumn<QList<std::int32_t>>("passes");
        QTest::addColumn<QStringList>("hints");
        QTest::newRow("too few laps for a median") << QList<std::int32_t>{60000, 64000} << QStringList{"", "doppelt?"};
        QTest::newRow("even laps") << QList<std::int32_t>{60000, 120000, 180000, 240000} << QStringList{"", "", "", ""};
        QTest::newRow("a missed pass") << QList<std::int32_t>{60000, 120000, 300000, 360000} << QStringList{"", "", "lang", ""};
        QTest::newRow("a double count") << QList<std::int32_t>{60000, 120000, 124000, 180000}
                                         << QStringList{"", "", "kurz, doppelt?", ""};
        QTest::newRow("just not a double") << QList<std::int32_t>{60000, 65000, 120000} << QStringList{"", "kurz", ""};
    }

    // Hints point at laps worth a look and underline the participant's lap count.
    void hints()
    {
        QFETCH(QList<std::int32_t>, passes);
        QFETCH(QStringList, hints);
        RaceDriver race;
        race.send(Kind::CarCountChanged, 2);
        race.at(Start);
        race.start();
        for (const std::int32_t at : passes) {
            race.runTimersTo(Start + at);
            race.book(1, Start + at);
        }
        QStringList shown;
        bool flagged = false;
        for (const LapBook::Row &row : race.core.lapRows(1)) {
            shown << CorrectionText::hints(row.flags, row.pass.struck);
            flagged = flagged || row.flags != 0;
        }
        QCOMPARE(shown, hints);
        QCOMPARE(race.core.lapsFlagged(1), flagged);
        QCOMPARE(race.core.cellFormat(Column::Laps, race.rowOf(1), race.now).underline, flagged);
        QVERIFY(!race.core.cellFormat(Column::Laps, race.rowOf(2), race.now).underline);
    }

    void typedTimes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("ms");
        QTest::newRow("hours") << "1:02:03,45" << 3723450;
        QTest::newRow("minutes") << "12:34,56" << 754560;
        QTest::newRow("no decimals") << "12:34" << 754000;
        QTest::newRow("point, tenths") << "0:05.4" << 5400;
        QTest::newRow("milliseconds") << "0:05,004" << 5004;
        QTest::newRow("not a time") << "abc" << -1;
        QTest::newRow("seconds over 59") << "1:60,00" << -1;
        QTest::newRow("minutes over 59") << "1:60:00" << -1;
        QTest::newRow("seconds only") << "45,00" << -1;
        QTest::newRow("empty") << "" << -1;
    }

    void typedTimes()
    {
        QFETCH(QString, text);
        QFETCH(int, ms);
        QCOMPARE(TimeText::ParseTypedRaceTime(text).value_or(-1), ms);
    }

    void randomCorrections_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }

    // Random corrections among a random race: after every input the journal rebuilds the live
    // session, and Ctrl+Z right after a correction gives back exactly the race before it.
    void randomCorrections()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        ManualTickSource clock(100000);
        RaceSession session(std::make_unique<ClockView>(clock), QLocale(QLocale::German, QLocale::Germany));
        const int n = int(random.bounded(2, 6));
        session.submit({.kind = Kind::CarCountChanged, .value = n});
        session.submit({.kind = Kind::LapLimitChanged, .value = int(random.bounded(4, 30))});
        session.submit({.kind = Kind::DurationEdited, .text = QString::number(random.bounded(120, 900))});
        session.submit({.kind = Kind::StartCommand});
        const auto copyOf = [](const RaceSession &live) {
            auto copy = std::make_unique<RaceSession>(std::make_unique<ManualTickSource>(0), QLocale(QLocale::German, QLocale::Germany));
            copy->restore(live.setup(), live.history());
            copy->submit({.kind = Kind::TimerAll, .tick = live.now()});
            return copy;
        };

        for (int step = 0; step < 160; ++step) {
            clock.advance(random.bounded(2) ? random.bounded(200, 3000) : random.bounded(3000, 20000));
            const RaceCore &core = session.core();
            const std::int32_t raceTime = TickDiff(session.now(), core.table().RaceStartTick);
            const int p = int(random.bounded(1, n + 1));
            const auto &booked = core.lapBook().passes(p);
            RaceInput fix{.kind = Kind::SortCycle, .text = QStringLiteral("Grund %1").arg(step), .operatorName = QStringLiteral("Bea"),
                          .wallClockMs = 1765000000000 + step};
            switch (random.bounded(12)) {
            case 0:
            case 1: session.submit({.kind = Kind::CapturePass}); break;
            case 2:
            case 3:
            case 4: session.submit({.kind = Kind::Assign, .value = p}); break;
            case 5: session.submit({.kind = Kind::Undo}); break;
            case 6: session.submit({.kind = Kind::Timer1}); break;
            case 7:
                fix.kind = Kind::InsertPass;
                fix.value = p;
                fix.raceTime = std::int32_t(random.bounded(1, std::max(2, raceTime)));
                break;
            case 8:
                if (random.bounded(15) == 0) {
                    const auto question = core.startQuestion();
                    session.submit({.kind = Kind::StartCommand, .confirmed = true, .answers = question ? question->id : RaceInput::Question::None});
                }
                break;
            default:
                if (booked.empty())
                    break;
                fix.pass = booked[random.bounded(int(booked.size()))].id;
                fix.kind = random.bounded(3) == 0 ? Kind::RestorePass : random.bounded(2) ? Kind::StrikePass : Kind::MovePass;
                fix.value = int(random.bounded(1, n + 1));
                break;
            }
            if (RaceInput::IsCorrection(fix.kind)) {
                const auto before = copyOf(session);
                const bool refused = core.correctionRefusal(fix, session.now()).has_value();
                const std::size_t made = session.history().size();
                session.submit(fix);
                QCOMPARE(session.history().size() > made, !refused);
                if (!refused) {
                    auto undone = copyOf(session);
                    undone->submit({.kind = Kind::Undo});
                    undone->submit({.kind = Kind::TimerAll, .tick = session.now()});
                    QVERIFY2(undone->core().sameState(before->core()), qPrintable(QStringLiteral("undo at step %1").arg(step)));
                    QCOMPARE(undone->core().corrections().size() + 1, session.core().corrections().size());
                    QVERIFY(undone->trail().back().withdrawn);
                }
            }
            session.submit({.kind = Kind::TimerAll});
            if (session.history().empty())
                break;
            const auto rebuilt = RebuildFromJournal(session, session.now());
            QVERIFY(rebuilt);
            QVERIFY2(rebuilt->core().sameState(session.core()), qPrintable(QStringLiteral("step %1").arg(step)));
        }
    }

    // The trail keeps a correction taken back with Ctrl+Z; the results list only those in effect.
    void trailKeepsWithdrawn()
    {
        ManualTickSource clock(100000);
        RaceSession session(std::make_unique<ClockView>(clock), QLocale(QLocale::German, QLocale::Germany));
        // What a journal records: the session's beginning, then every recorded input.
        SessionSetup setup;
        std::vector<RaceInput> journal;
        connect(&session, &RaceSession::sessionBegan, this, [&](const SessionSetup &s, const std::vector<RaceInput> &inputs) {
            setup = s;
            journal = inputs;
        });
        connect(&session, &RaceSession::recorded, this, [&](const RaceInput &input) { journal.push_back(input); });
        QStringList undone;
        connect(&session, &RaceSession::undone, this, [&](const QString &what) { undone << what; });
        session.submit({.kind = Kind::StartCommand});
        clock.advance(60000);
        session.submit({.kind = Kind::Assign, .value = 3});
        const std::uint32_t pass = session.core().lapBook().passes(3).front().id;
        clock.advance(1000);
        session.submit({.kind = Kind::StrikePass, .text = QStringLiteral("doppelt"), .pass = pass});
        clock.advance(1000);
        session.submit({.kind = Kind::MovePass, .value = 5, .text = QStringLiteral("falsche Taste"), .pass = pass});
        QCOMPARE(session.core().table().lapCount(3), 0);
        QCOMPARE(session.snapshot()->corrections.size(), std::size_t(1));
        // Ctrl+Z takes back the strike, the last correction; the booking stays.
        session.submit({.kind = Kind::Undo});
        QCOMPARE(undone, QStringList{QStringLiteral("Korrektur zurückgenommen: Streichen, Runde 1 von 3")});
        QCOMPARE(session.core().table().lapCount(3), 1);
        QCOMPARE(session.core().corrections().size(), std::size_t(0));
        const std::vector<Correction> trail = session.trail();
        QCOMPARE(trail.size(), std::size_t(1));
        QVERIFY(trail[0].withdrawn);
        QCOMPARE(trail[0].reason, QStringLiteral("doppelt"));
        // Now the move applies; a second Ctrl+Z takes back the lap itself.
        session.submit({.kind = Kind::MovePass, .value = 5, .text = QStringLiteral("falsche Taste"), .pass = pass});
        QCOMPARE(session.core().table().lapCount(5), 1);
        session.submit({.kind = Kind::Undo});
        session.submit({.kind = Kind::Undo});
        QCOMPARE(session.core().table().lapCount(5), 0);
        QCOMPARE(session.core().table().lapCount(3), 0);
        QCOMPARE(session.trail().size(), std::size_t(2));
        // A recovery brings the trail back, the withdrawn corrections included.
        RaceSession recovered(std::make_unique<ManualTickSource>(0), QLocale(QLocale::German, QLocale::Germany));
        recovered.restore(setup, journal);
        QVERIFY(recovered.core().sameState(session.core()));
        QCOMPARE(recovered.trail(), session.trail());
    }
};

QTEST_GUILESS_MAIN(TestCorrections)
#include "testcorrections.moc"
