#include "RaceDriver.h"

#include <QTest>

using Kind = RaceInput::Kind;
using Col = StandingsGrid::Column;
Q_DECLARE_METATYPE(SessionState)

// The session's life: start, countdown and gong, stop, natural end, reset, and the
// state of every control in each state.
class TestSession : public QObject
{
    Q_OBJECT

private:
    // Sequences of operator actions that lead to each state.
    enum class Path { Fresh, Started, Stopped, StopDeclined, NaturalEnd, Reset, ResetDeclined, ResetAfterNaturalEnd };

    static void walk(RaceDriver &d, Path path)
    {
        d.send(Kind::CarCountChanged, 2);
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("10"));
        if (path == Path::Fresh)
            return;
        d.at(1000);
        d.start();
        switch (path) {
        case Path::Stopped: d.stop(true); break;
        case Path::StopDeclined: d.stop(false); break;
        case Path::Reset:
            d.stop(true);
            d.stop(true);
            break;
        case Path::ResetDeclined:
            d.stop(true);
            d.stop(false);
            break;
        case Path::NaturalEnd:
        case Path::ResetAfterNaturalEnd:
            d.runTimersTo(12000); // the gong at 10 s
            d.book(1, 20000);
            d.book(2, 21000);
            d.runTimersTo(21010);
            if (path == Path::ResetAfterNaturalEnd)
                d.stop(true);
            break;
        default: break;
        }
    }

private slots:
    void availability_data()
    {
        QTest::addColumn<int>("path");
        QTest::addColumn<SessionState>("state");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<uint>("colour");
        QTest::addColumn<bool>("capture");
        QTest::addColumn<bool>("digits");
        QTest::addColumn<bool>("aus");
        QTest::addColumn<bool>("outputs");
        QTest::addColumn<bool>("title");
        QTest::addColumn<bool>("setup");
        QTest::addColumn<bool>("durationReadOnly");
        QTest::addColumn<bool>("timers");

        const auto row = [](const char *name, Path path, SessionState state, const char *caption, uint colour, bool capture,
                            bool digits, bool aus, bool outputs, bool title, bool setup, bool readOnly, bool timers) {
            QTest::newRow(name) << int(path) << state << QString::fromLatin1(caption) << colour << capture << digits << aus
                                << outputs << title << setup << readOnly << timers;
        };
        using S = SessionState;
        row("idle", Path::Fresh, S::Idle, "START", 0x00FF00, false, false, false, false, true, true, false, false);
        row("running", Path::Started, S::Running, "ENDE", 0x0000FF, true, true, false, true, false, false, true, true);
        row("stop declined", Path::StopDeclined, S::Running, "ENDE", 0x0000FF, true, true, false, true, false, false, true, true);
        row("ended after stop", Path::Stopped, S::Ended, "00:00", 0x000000, false, false, true, true, true, false, true, false);
        row("ended naturally", Path::NaturalEnd, S::Ended, "00:00", 0x000000, true, true, false, true, false, false, true, false);
        row("reset declined", Path::ResetDeclined, S::Ended, "00:00", 0x000000, false, false, true, true, true, false, true, false);
        row("idle after reset", Path::Reset, S::Idle, "START", 0x00FF00, false, false, false, false, true, true, false, false);
        row("idle after natural end", Path::ResetAfterNaturalEnd, S::Idle, "START", 0x00FF00, false, false, false, false, true,
            true, false, false);
    }

    void availability()
    {
        QFETCH(int, path);
        RaceDriver d;
        walk(d, Path(path));
        const Controls &c = d.core.controls();
        QTEST(d.core.sessionState(), "state");
        QTEST(c.startCaption, "caption");
        QTEST(uint(c.startColour), "colour");
        QTEST(c.captureEnabled, "capture");
        QTEST(c.digitKeysBound, "digits");
        QTEST(c.ausEnabled, "aus");
        QTEST(c.outputsEnabled, "outputs");
        QTEST(c.titleEnabled, "title");
        QTEST(c.setupEnabled, "setup");
        QTEST(c.durationReadOnly, "durationReadOnly");
        QTEST(c.timer1Enabled, "timers");
        QTEST(c.timerAllEnabled, "timers");
    }

    void startQuestion_data()
    {
        QTest::addColumn<int>("path");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("focusNo");
        QTest::newRow("idle asks nothing") << int(Path::Fresh) << QString() << false;
        QTest::newRow("running") << int(Path::Started) << QStringLiteral("Alle Zeiten stoppen?") << true;
        // Enter on the question must never wipe the results: "Nein" has the focus.
        QTest::newRow("after stop") << int(Path::Stopped) << QStringLiteral("Haben Sie das Protokoll gespeichert?") << true;
        QTest::newRow("after natural end") << int(Path::NaturalEnd) << QStringLiteral("Haben Sie das Protokoll gespeichert?")
                                           << true;
    }

    void startQuestion()
    {
        QFETCH(int, path);
        QFETCH(QString, question);
        QFETCH(bool, focusNo);
        RaceDriver d;
        walk(d, Path(path));
        const auto asked = d.core.startQuestion();
        QCOMPARE(asked.has_value(), !question.isEmpty());
        if (asked) {
            QCOMPARE(asked->text, question);
            QCOMPARE(asked->focusNo, focusNo);
        }
    }

    // An answer acts only on the state whose question it answers. The session can end by
    // itself while "Alle Zeiten stoppen?" is open; that "Ja" must not run the reset.
    void answerBelongsToItsQuestion_data()
    {
        using Q = RaceInput::Question;
        QTest::addColumn<int>("path");
        QTest::addColumn<int>("answers");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<int>("state");
        QTest::newRow("stop answered while running") << int(Path::Started) << int(Q::StopAllTimes) << true << int(SessionState::Ended);
        QTest::newRow("stop answered after a natural end") << int(Path::NaturalEnd) << int(Q::StopAllTimes) << true
                                                           << int(SessionState::Ended);
        QTest::newRow("reset answered after the end") << int(Path::NaturalEnd) << int(Q::ProtocolSaved) << true
                                                      << int(SessionState::Idle);
        QTest::newRow("reset answered while running") << int(Path::Started) << int(Q::ProtocolSaved) << true
                                                      << int(SessionState::Running);
        QTest::newRow("stop answered when idle") << int(Path::Fresh) << int(Q::StopAllTimes) << true << int(SessionState::Idle);
        QTest::newRow("start without a question") << int(Path::Fresh) << int(Q::None) << true << int(SessionState::Running);
        QTest::newRow("an unasked command while running") << int(Path::Started) << int(Q::None) << true
                                                          << int(SessionState::Running);
    }

    void answerBelongsToItsQuestion()
    {
        QFETCH(int, path);
        QFETCH(int, answers);
        QFETCH(bool, yes);
        QFETCH(int, state);
        RaceDriver d;
        walk(d, Path(path));
        const QString laps = d.cell(Col::Laps, 1);
        const SessionState before = d.core.sessionState();
        d.core.apply({.kind = Kind::StartCommand, .tick = d.now, .confirmed = yes, .answers = RaceInput::Question(answers)});
        QCOMPARE(int(d.core.sessionState()), state);
        // An answer that does not belong to the state leaves the grid as it was.
        if (state == int(before))
            QCOMPARE(d.cell(Col::Laps, 1), laps);
        if (state == int(SessionState::Idle) && before == SessionState::Ended)
            QVERIFY(d.cell(Col::Laps, 1).isEmpty());
    }

    // The lap records hold 160 laps and the pass after them; a larger limit never gets in.
    void lapLimitIsClamped_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("limit");
        QTest::newRow("beyond the records") << 500 << 160;
        QTest::newRow("just beyond") << 161 << 160;
        QTest::newRow("zero") << 0 << 1;
        QTest::newRow("negative") << -4 << 1;
        QTest::newRow("three") << 3 << 3;
    }

    void lapLimitIsClamped()
    {
        QFETCH(int, asked);
        QFETCH(int, limit);
        RaceDriver d;
        d.send(Kind::CarCountChanged, 1);
        d.send(Kind::LapLimitChanged, asked);
        QCOMPARE(d.core.lapLimit(), limit);
        d.start();
        // Running well past the limit books exactly the limit and writes nothing beyond the record.
        for (int lap = 1; lap <= limit + 3; ++lap)
            d.book(1, lap * 5000);
        QCOMPARE(d.core.table().lapCount(1), limit);
        QCOMPARE(d.core.table().latestPassTick(1), limit * 5000);
        // While the session runs, the limit cannot change.
        d.send(Kind::LapLimitChanged, 2);
        QCOMPARE(d.core.lapLimit(), limit);
    }

    // A half-typed warning time goes back to the last complete one when the field is left,
    // and a start never takes it as 0.
    void warningTimeNeedsBothPairs_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("leaveFirst");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("warningMs");
        QTest::newRow("colon only, left") << ":" << true << "00:30" << 30000;
        QTest::newRow("one digit, left") << "1:" << true << "00:30" << 30000;
        QTest::newRow("three digits, left") << "01:2" << true << "00:30" << 30000;
        QTest::newRow("colon only, started at once") << ":" << false << "00:30" << 30000;
        QTest::newRow("complete") << "01:20" << true << "01:20" << 80000;
        QTest::newRow("complete, started at once") << "02:00" << false << "02:00" << 120000;
    }

    void warningTimeNeedsBothPairs()
    {
        QFETCH(QString, typed);
        QFETCH(bool, leaveFirst);
        RaceDriver d;
        d.send(Kind::WarnTimeEdited, 0, false, typed);
        QCOMPARE(d.core.warnText(), typed);
        if (leaveFirst)
            d.send(Kind::WarnTimeLeft);
        d.start();
        QTEST(d.core.warnText(), "shown");
        QTEST(d.core.acceptedWarnText(), "shown");
        QTEST(int(d.core.warningTime()), "warningMs");
    }

    // The starters become the participants before a session; never during one.
    void starterList_data()
    {
        QTest::addColumn<int>("starters");
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("count");
        QTest::newRow("twelve") << 12 << false << 12;
        QTest::newRow("one") << 1 << false << 1;
        QTest::newRow("twenty-five give twenty") << 25 << false << 20;
        QTest::newRow("not while running") << 5 << true << 20;
    }

    void starterList()
    {
        QFETCH(int, starters);
        QFETCH(bool, running);
        QFETCH(int, count);
        RaceDriver d;
        d.send(Kind::CarCountChanged, 20);
        if (running)
            d.start();
        QList<QStringList> table;
        for (int i = 1; i <= starters; ++i)
            table << QStringList{QString::number(100 + i), QStringLiteral("Läufer %1").arg(i), QStringLiteral("x")};
        // D empty, E "akt", F..I empty, J "J", then K, which no grid column takes.
        table[0] << QString() << QStringLiteral("akt") << QString() << QString() << QString() << QString()
                 << QStringLiteral("J") << QStringLiteral("K beyond J");
        d.core.apply({.kind = Kind::StarterListImported, .table = table});
        QCOMPARE(d.core.carCount(), count);
        QCOMPARE(d.core.grid().rowCount(), count + 1);
        if (running) {
            QVERIFY(d.cell(Col::Number, 1).isEmpty());
            return;
        }
        QVERIFY(d.core.controls().outputsEnabled);
        QCOMPARE(d.cell(Col::Number, 1), QStringLiteral("101"));
        QCOMPARE(d.cell(Col::Name, count), QStringLiteral("Läufer %1").arg(count));
        QCOMPARE(d.cell(Col::Laps, 1), QStringLiteral("x"));
        QCOMPARE(d.cell(Col::CurrentTime, 1), QString());
        QCOMPARE(d.cell(Col::LastLap, 1), QStringLiteral("akt"));
        QCOMPARE(d.cell(Col::TotalTime, 1), QStringLiteral("J"));
        QCOMPARE(d.cell(Col::Key, 1), QStringLiteral("1"));
        QVERIFY(d.cell(Col::Place, 1).isEmpty());
    }

    void declinedResetKeepsResults()
    {
        RaceDriver d;
        d.at(0);
        d.start();
        d.book(3, 65430);
        d.stop(true);
        d.stop(false);
        QCOMPARE(d.core.sessionState(), SessionState::Ended);
        QCOMPARE(d.cellOf(StandingsGrid::Laps, 3), QStringLiteral("1"));
        QCOMPARE(d.cellOf(StandingsGrid::TotalTime, 3), QStringLiteral("1:05,43"));
    }

    void countdownAndGong_data()
    {
        QTest::addColumn<int>("elapsedMs");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<bool>("gong");
        QTest::newRow("first tick") << 450 << "00:00:10" << false;
        QTest::newRow("whole seconds") << 3150 << "00:00:07" << false;
        QTest::newRow("last second") << 9900 << "00:00:01" << false;
        QTest::newRow("elapsed") << 10350 << "00:00:00" << true;
        QTest::newRow("stays at zero") << 60300 << "00:00:00" << true;
    }

    void countdownAndGong()
    {
        QFETCH(int, elapsedMs);
        RaceDriver d;
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("00:00:10"));
        d.at(5000);
        d.start();
        d.runTimersTo(5000 + elapsedMs);
        QTEST(d.core.durationText(), "counter");
        QTEST(d.core.controls().gongVisible, "gong");
        QCOMPARE(d.observer.sounds.count(QStringLiteral("gong")), d.core.controls().gongVisible ? 1 : 0);
    }

    void zeroDurationGongsOnFirstTick()
    {
        RaceDriver d;
        d.send(Kind::DurationEdited, 0, false, QString());
        QCOMPARE(d.core.durationText(), QStringLiteral("00:00:00"));
        d.start();
        d.runTimersTo(450);
        QVERIFY(d.core.controls().gongVisible);
        QCOMPARE(d.core.sessionState(), SessionState::Running);
    }

    void stopHidesGongAndFreezesCounter()
    {
        RaceDriver d;
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("5"));
        d.start();
        d.runTimersTo(6000);
        QVERIFY(d.core.controls().gongVisible);
        d.stop(true);
        QVERIFY(!d.core.controls().gongVisible);
        d.runTimersTo(20000);
        QCOMPARE(d.core.durationText(), QStringLiteral("00:00:00"));
        QCOMPARE(d.observer.sounds.count(QStringLiteral("gong")), 1);
    }

    void durationEntry_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("seconds");
        QTest::newRow("seconds only") << "90" << "00:01:30" << 90;
        QTest::newRow("empty") << "" << "00:00:00" << 0;
        QTest::newRow("normal") << "04:00:00" << "04:00:00" << 14400;
        QTest::newRow("minutes past 59") << "90:00" << "01:30:00" << 5400;
        QTest::newRow("long race") << "100:00:00" << "100:00:00" << 360000;
        QTest::newRow("digit run too long keeps previous") << "99999999999" << "04:00:00" << 14400;
        QTest::newRow("hours overflow keeps previous") << "999999:00:00" << "04:00:00" << 14400;
    }

    void durationEntry()
    {
        QFETCH(QString, typed);
        RaceDriver d;
        d.send(Kind::DurationEdited, 0, false, typed);
        QTEST(d.core.durationText(), "shown");
        QTEST(d.core.raceDuration(), "seconds");
    }

    void overflowingDurationAtStartKeepsPrevious()
    {
        RaceDriver d;
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("00:10:00"));
        d.send(Kind::DurationTyped, 0, false, QStringLiteral("88888888888:00"));
        d.start();
        QCOMPARE(d.core.raceDuration(), 600);
        d.runTimersTo(450);
        QCOMPARE(d.core.durationText(), QStringLiteral("00:10:00"));
    }

    void durationFieldIsFrozenDuringSession()
    {
        RaceDriver d;
        d.start();
        d.runTimersTo(2000);
        const QString counter = d.core.durationText();
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("1"));
        QCOMPARE(d.core.durationText(), counter);
        QCOMPARE(d.core.raceDuration(), 14400);
    }

    void durationKeys_data()
    {
        QTest::addColumn<QChar>("ch");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("digit 0") << QChar('0') << true;
        QTest::newRow("digit 9") << QChar('9') << true;
        QTest::newRow("separator") << QChar(':') << true;
        QTest::newRow("backspace") << QChar(0x08) << true;
        QTest::newRow("letter") << QChar('a') << false;
        QTest::newRow("dot") << QChar('.') << false;
        QTest::newRow("blank") << QChar(' ') << false;
        QTest::newRow("minus") << QChar('-') << false;
    }

    void durationKeys()
    {
        QFETCH(QChar, ch);
        QTEST(RaceCore::DurationKeyAccepted(ch, QLatin1Char(':')), "accepted");
    }

    void warningSteps_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("after");
        QTest::newRow("up") << "00:30" << true << "00:35";
        QTest::newRow("up over a minute") << "00:55" << true << "01:00";
        QTest::newRow("up wraps the minutes") << "59:55" << true << "00:00";
        QTest::newRow("down") << "01:00" << false << "00:55";
        QTest::newRow("down stops at five seconds") << "00:07" << false << "00:05";
        QTest::newRow("down from the minimum") << "00:05" << false << "00:05";
    }

    void warningSteps()
    {
        QFETCH(QString, before);
        QFETCH(bool, up);
        RaceDriver d;
        d.send(Kind::WarnTimeEdited, 0, false, before);
        d.send(up ? Kind::WarnStepUp : Kind::WarnStepDown);
        QTEST(d.core.warnText(), "after");
    }

    void warningTimeTakenAtStart()
    {
        RaceDriver d;
        d.send(Kind::WarnTimeEdited, 0, false, QStringLiteral("01:15"));
        d.start();
        QCOMPARE(d.core.warningTime(), 75000);
        d.send(Kind::WarnStepUp);
        QCOMPARE(d.core.warnText(), QStringLiteral("01:15"));
    }

    void keyLabels_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("7") << 7 << QStringList{"1", "2", "3", "4", "5", "6", "7"};
        QTest::newRow("12") << 12 << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "F1", "F2"};
        QTest::newRow("clamped to 20") << 25
                                       << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10",
                                                      "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10"};
        QTest::newRow("clamped to 1") << 0 << QStringList{"1"};
    }

    void keyLabels()
    {
        QFETCH(int, count);
        QFETCH(QStringList, labels);
        RaceDriver d;
        d.send(Kind::CarCountChanged, count);
        d.start();
        QCOMPARE(d.core.grid().rowCount(), labels.size() + 1);
        QStringList shown;
        for (int r = 1; r < d.core.grid().rowCount(); ++r)
            shown << d.cell(StandingsGrid::Key, r);
        QCOMPARE(shown, labels);
    }

    void carCountOnlyWhileIdle()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 5);
        d.start();
        d.send(Kind::CarCountChanged, 9);
        QCOMPARE(d.core.carCount(), 5);
    }

    void stopBeforeAnyLap()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 4);
        d.start();
        d.runTimersTo(3000);
        d.stop(true);
        for (int r = 1; r <= 4; ++r) {
            QCOMPARE(d.cell(StandingsGrid::Place, r), QStringLiteral("-"));
            QCOMPARE(d.cell(StandingsGrid::Laps, r), QStringLiteral("0"));
            QCOMPARE(d.cell(StandingsGrid::CurrentTime, r), QString());
            QCOMPARE(d.core.table().WarnSinceTick[r], -1);
        }
    }

    void runningTimesTick()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 3);
        d.at(100000);
        d.start();
        d.book(2, 165430);
        d.runTimersTo(170000);
        QCOMPARE(d.cellOf(StandingsGrid::CurrentTime, 2), QStringLiteral("0:04,57"));
        QCOMPARE(d.cellOf(StandingsGrid::CurrentTime, 1), QStringLiteral("1:10,00"));
    }

    void finalTimesAtStop()
    {
        // Finished participants show their race time at the leader's lap count; others nothing.
        RaceDriver d;
        d.send(Kind::CarCountChanged, 3);
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("100"));
        d.start();
        d.book(1, 60000);
        d.book(2, 61000);
        d.runTimersTo(100500);
        d.book(1, 120000);
        d.book(2, 125000); // one more lap than participant 3, finished after the gong
        d.runTimersTo(126000);
        d.stop(true);
        QCOMPARE(d.cellOf(StandingsGrid::CurrentTime, 1), QStringLiteral("2:00,00"));
        QCOMPARE(d.cellOf(StandingsGrid::CurrentTime, 2), QStringLiteral("2:05,00"));
        QCOMPARE(d.cellOf(StandingsGrid::CurrentTime, 3), QString());
        QCOMPARE(d.cellOf(StandingsGrid::Place, 3), QStringLiteral("-"));
    }

    void naturalEndRefusesBookingsButCaptures()
    {
        RaceDriver d;
        walk(d, Path::NaturalEnd);
        QCOMPARE(d.core.sessionState(), SessionState::Ended);
        const int laps = d.core.table().lapCount(1);
        d.at(40000);
        d.capture();
        QCOMPARE(d.core.pending().count(), 1);
        d.assign(1);
        QCOMPARE(d.core.table().lapCount(1), laps);
        QCOMPARE(d.core.pending().count(), 1);
    }

    void resetClearsTheSession()
    {
        RaceDriver d;
        d.send(Kind::CarCountChanged, 3);
        d.start();
        d.book(2, 50000);
        d.capture();
        d.send(Kind::SortCycle);
        d.stop(true);
        d.stop(true);
        QCOMPARE(d.core.pending().count(), 0);
        QCOMPARE(d.core.sortPosition(), 0);
        QCOMPARE(d.core.controls().lapsValue, 160);
        QVERIFY(!d.core.controls().lapsReadOnly);
        for (int r = 1; r <= 3; ++r) {
            QCOMPARE(d.cell(StandingsGrid::Key, r), KeyLabel(r));
            QCOMPARE(d.core.table().ParticipantAtRow[r], r);
            QCOMPARE(d.core.table().RowOfParticipant[r], r);
            for (int c = StandingsGrid::Number; c < StandingsGrid::ColumnCount; ++c)
                QVERIFY2(d.cell(c, r).isEmpty(), qPrintable(QStringLiteral("row %1 column %2").arg(r).arg(c)));
            QVERIFY(d.cell(StandingsGrid::Place, r).isEmpty());
        }
    }

    void barrierArming_data()
    {
        QTest::addColumn<bool>("armedBefore");
        QTest::addColumn<bool>("armedAfterStart");
        QTest::newRow("locked barriers are armed at once") << false << true;
        QTest::newRow("armed barriers are locked") << true << false;
    }

    void barrierArming()
    {
        QFETCH(bool, armedBefore);
        RaceDriver d;
        if (armedBefore)
            d.send(Kind::ToggleArming);
        QCOMPARE(d.core.controls().barriersArmed, armedBefore);
        d.start();
        QTEST(d.core.controls().barriersArmed, "armedAfterStart");
        QVERIFY(d.core.controls().timerLockStopEnabled);
        d.send(Kind::TimerLockStop);
        QVERIFY(d.core.controls().barriersArmed);
        QCOMPARE(d.core.controls().barrierPicture, BarrierPicture::Armed);
        QVERIFY(!d.core.controls().timerLockStopEnabled);
        d.stop(true);
        QCOMPARE(d.core.controls().barrierPicture, BarrierPicture::Stopped);
        QVERIFY(d.core.controls().barriersArmed);
        d.stop(true);
        QCOMPARE(d.core.controls().barrierPicture, BarrierPicture::Locked);
        QVERIFY(!d.core.controls().barriersArmed);
    }

    void settingsEditableOnlyWhenAllowed()
    {
        RaceDriver d;
        d.send(Kind::TitleEdited, 0, false, QStringLiteral("24h Lauf"));
        d.send(Kind::SessionTypeChosen, 0);
        d.start();
        d.send(Kind::TitleEdited, 0, false, QStringLiteral("changed while running"));
        d.send(Kind::SessionTypeChosen, 1);
        d.send(Kind::WarnTimeEdited, 0, false, QStringLiteral("09:00"));
        QCOMPARE(d.core.title(), QStringLiteral("24h Lauf"));
        QCOMPARE(d.core.sessionType(), 0);
        QCOMPARE(d.core.warnText(), QStringLiteral("00:30"));
        d.stop(true);
        d.send(Kind::TitleEdited, 0, false, QStringLiteral("24h Lauf 2026"));
        QCOMPARE(d.core.title(), QStringLiteral("24h Lauf 2026"));
    }

    void wallClock()
    {
        RaceDriver d;
        d.send(Kind::TimerDate, (13 * 3600 + 5 * 60 + 9) * 1000);
        QCOMPARE(d.core.wallClockText(), QStringLiteral("13:05:09"));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "testsession.moc"
