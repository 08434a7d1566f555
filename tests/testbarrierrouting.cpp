#include "RaceDriver.h"

#include <QTest>

using Kind = RaceInput::Kind;

// The light barriers as inputs: which modem line changes start the session or capture a
// pass, the finish lock after a start, the operator's arming, and the indicator.
namespace {

constexpr int Cts = RaceInput::EvCts;
constexpr int Dsr = RaceInput::EvDsr;
constexpr int Cd = RaceInput::EvRlsd;
constexpr int CtsOn = RaceInput::MsCtsOn;
constexpr int DsrOn = RaceInput::MsDsrOn;
constexpr int CdOn = RaceInput::MsRlsdOn;

// One thing that happens to the core: a wake of the serial thread or an operator's or timer's input.
struct Step
{
    enum What { Wake, Toggle, LockEnd, KeyStart, Answer, Opened, Closed, NaturalEnd };
    What what;
    std::int32_t at = 0; // 0: 100 ms after the previous step
    int lines = 0;
    int status = 0;
    int pulses = 0;
};

Step wake(int lines, int status, int pulses = 0, std::int32_t at = 0)
{
    return {.what = Step::Wake, .at = at, .lines = lines, .status = status, .pulses = pulses};
}
Step at(Step::What what, std::int32_t tick = 0) { return {.what = what, .at = tick}; }
Step toggle(std::int32_t tick = 0) { return at(Step::Toggle, tick); }
Step lockEnd(std::int32_t tick = 0) { return at(Step::LockEnd, tick); }

void run(RaceDriver &d, const QList<Step> &steps)
{
    for (const Step &step : steps) {
        d.at(step.at ? step.at : d.now + 100);
        switch (step.what) {
        case Step::Wake: d.line(step.lines, step.status, step.pulses); break;
        case Step::Toggle: d.send(Kind::ToggleArming); break;
        case Step::LockEnd: d.send(Kind::TimerLockStop); break;
        case Step::KeyStart: d.send(Kind::StartCommand); break;
        case Step::Answer: d.stop(true); break;
        case Step::Opened: d.send(Kind::PortOpened); break;
        case Step::Closed: d.send(Kind::PortClosed); break;
        case Step::NaturalEnd:
            // The gong, then the only participant's last lap.
            d.send(Kind::Timer1);
            d.send(Kind::Assign, 1);
            d.send(Kind::TimerAll);
            QCOMPARE(d.core.sessionState(), SessionState::Ended);
            break;
        }
    }
}

BarrierSettings twoBarriers(bool finishPnp = false)
{
    return {.finishPnp = finishPnp, .oneBarrier = false};
}

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(QList<Step>)
Q_DECLARE_METATYPE(BarrierSettings)
Q_DECLARE_METATYPE(SessionState)
Q_DECLARE_METATYPE(BarrierPicture)

class TestBarrierRouting : public QObject
{
    Q_OBJECT

private slots:
    // The contract with the serial thread and the settings dialog: one int per settings.
    void settingsPacking_data()
    {
        QTest::addColumn<BarrierSettings>("settings");
        QTest::addColumn<int>("packed");
        QTest::addColumn<int>("lockSeconds");
        QTest::newRow("defaults of a fresh settings file") << BarrierSettings{} << 0x1404 << 20;
        QTest::newRow("both PNP, two barriers, 1 s")
            << BarrierSettings{.startPnp = true, .finishPnp = true, .oneBarrier = false, .lockStopSeconds = 1} << 0x103 << 1;
        QTest::newRow("longest lock") << BarrierSettings{.oneBarrier = false, .lockStopSeconds = 999} << (999 << 8) << 999;
        QTest::newRow("lock beyond the spin box") << BarrierSettings{.oneBarrier = false, .lockStopSeconds = 1500} << (999 << 8)
                                                  << 999;
        QTest::newRow("no lock time reads as 1 s") << BarrierSettings{.oneBarrier = false, .lockStopSeconds = 0} << (1 << 8) << 1;
        QTest::newRow("unknown output types")
            << BarrierSettings{.oneBarrier = false, .startUnknown = true, .finishUnknown = true} << (0x18 | 20 << 8) << 20;
    }

    void settingsPacking()
    {
        QFETCH(BarrierSettings, settings);
        QFETCH(int, lockSeconds);
        QTEST(settings.pack(), "packed");
        BarrierSettings expected = settings;
        expected.lockStopSeconds = lockSeconds;
        QVERIFY(BarrierSettings::unpack(settings.pack()) == expected);

        RaceDriver d;
        d.barriers(settings);
        QVERIFY(d.core.barrierSettings() == expected);
        QCOMPARE(d.core.controls().lockStopInterval, lockSeconds * 1000);
    }

    // Running and armed (started by key with the barriers locked): what each sequence of
    // line changes captures.
    void routing_data()
    {
        QTest::addColumn<BarrierSettings>("settings");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<int>("captures");

        const BarrierSettings pnp = twoBarriers(true);
        const BarrierSettings two = twoBarriers();
        const BarrierSettings one{};
        QTest::newRow("NPN: asserting captures") << two << QList<Step>{wake(Dsr, DsrOn)} << 1;
        QTest::newRow("NPN: releasing does not") << two << QList<Step>{wake(Dsr, DsrOn), wake(Dsr, 0)} << 1;
        QTest::newRow("NPN: a first released level does not") << two << QList<Step>{wake(Dsr, 0)} << 0;
        QTest::newRow("PNP: asserting does not") << pnp << QList<Step>{wake(Dsr, DsrOn)} << 0;
        QTest::newRow("PNP: releasing captures") << pnp << QList<Step>{wake(Dsr, DsrOn), wake(Dsr, 0)} << 1;
        QTest::newRow("PNP: a first released level captures") << pnp << QList<Step>{wake(Dsr, 0)} << 1;
        QTest::newRow("repeated level ignored")
            << two << QList<Step>{wake(Dsr, DsrOn), wake(Dsr, DsrOn), wake(Dsr, DsrOn | CtsOn)} << 1;
        QTest::newRow("carrier detect captures") << two << QList<Step>{wake(Cd, CdOn)} << 1;
        QTest::newRow("DSR and carrier detect in one wake capture once") << two << QList<Step>{wake(Dsr | Cd, DsrOn | CdOn)} << 1;
        QTest::newRow("DSR and carrier detect, two passes")
            << two << QList<Step>{wake(Dsr | Cd, DsrOn | CdOn), wake(Dsr | Cd, 0), wake(Dsr | Cd, DsrOn | CdOn)} << 2;
        // The finish level is both lines together: another line asserting is a new asserted level.
        QTest::newRow("carrier detect asserting while DSR is held")
            << two << QList<Step>{wake(Dsr, DsrOn), wake(Cd, DsrOn | CdOn)} << 2;
        QTest::newRow("unknown finish type never captures")
            << BarrierSettings{.oneBarrier = false, .finishUnknown = true}
            << QList<Step>{wake(Dsr, DsrOn), wake(Dsr, 0), wake(Dsr, DsrOn), wake(Dsr, 0, Dsr)} << 0;
        QTest::newRow("two barriers: the start line does nothing while running")
            << two << QList<Step>{wake(Cts, CtsOn), wake(Cts, 0), wake(Cts, CtsOn)} << 0;
        QTest::newRow("one barrier: the start line captures")
            << one << QList<Step>{wake(Cts, CtsOn), wake(Cts, 0), wake(Cts, CtsOn)} << 2;
        QTest::newRow("one barrier: repeated CTS level ignored whatever else changed")
            << one << QList<Step>{wake(Cts, CtsOn), wake(Cts, CtsOn | DsrOn), wake(Cts, CtsOn | CdOn)} << 1;
        QTest::newRow("one barrier: the finish lines still capture") << one << QList<Step>{wake(Dsr, DsrOn)} << 1;
        QTest::newRow("one barrier: start and finish line in one wake")
            << one << QList<Step>{wake(Cts | Dsr, CtsOn | DsrOn)} << 2;
        // A pulse shorter than the hand-over: the level read is the old one, the counter moved twice.
        QTest::newRow("short pulse captures once") << two << QList<Step>{wake(Dsr, 0), wake(Dsr, 0, Dsr)} << 1;
        QTest::newRow("short pulse reported only as a pulse") << two << QList<Step>{wake(Dsr, 0), wake(0, 0, Dsr)} << 1;
        QTest::newRow("short PNP pulse captures once") << pnp << QList<Step>{wake(Dsr, DsrOn), wake(Dsr, DsrOn, Dsr)} << 1;
        QTest::newRow("short pulse keeps the stored level")
            << two << QList<Step>{wake(Dsr, 0), wake(Dsr, 0, Dsr), wake(Dsr, DsrOn)} << 2;
        QTest::newRow("short pulse on DSR and carrier detect captures once")
            << two << QList<Step>{wake(Dsr | Cd, 0), wake(Dsr | Cd, 0, Dsr | Cd)} << 1;
        QTest::newRow("a change on DSR and a pulse on carrier detect capture once")
            << two << QList<Step>{wake(Dsr, 0), wake(Dsr | Cd, DsrOn, Cd)} << 1;
        QTest::newRow("one barrier: short pulse on the start line") << one << QList<Step>{wake(Cts, 0), wake(Cts, 0, Cts)} << 1;
    }

    void routing()
    {
        QFETCH(BarrierSettings, settings);
        QFETCH(QList<Step>, steps);
        RaceDriver d;
        d.barriers(settings);
        d.at(1000);
        d.start();
        QVERIFY(d.core.controls().barriersArmed);
        run(d, steps);
        QTEST(d.core.pending().count(), "captures");
        QTEST(int(d.observer.sounds.count(QStringLiteral("contact"))), "captures");
        QCOMPARE(d.core.sessionState(), SessionState::Running);
    }

    // The start barrier starts the session only when idle and armed, and never does more.
    void startBarrier_data()
    {
        QTest::addColumn<BarrierSettings>("settings");
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<SessionState>("state");
        QTest::addColumn<std::int32_t>("startTick");
        QTest::addColumn<int>("captures");

        const BarrierSettings one{};
        const BarrierSettings two = twoBarriers();
        QTest::newRow("idle and locked: nothing")
            << one << QList<Step>{wake(Cts, CtsOn, 0, 5000)} << SessionState::Idle << 0 << 0;
        QTest::newRow("idle and armed: starts at the event's tick")
            << one << QList<Step>{toggle(), wake(Cts, CtsOn, 0, 5000)} << SessionState::Running << 5000 << 0;
        QTest::newRow("armed after a locked change: the same level again does nothing")
            << one << QList<Step>{wake(Cts, CtsOn, 0, 5000), toggle(), wake(Cts, CtsOn, 0, 6000)} << SessionState::Idle << 0 << 0;
        QTest::newRow("armed after a locked change: the next counting change starts")
            << one << QList<Step>{wake(Cts, CtsOn), toggle(), wake(Cts, 0), wake(Cts, CtsOn, 0, 6000)} << SessionState::Running
            << 6000 << 0;
        QTest::newRow("PNP: asserting does not start")
            << BarrierSettings{.startPnp = true} << QList<Step>{toggle(), wake(Cts, CtsOn, 0, 5000)} << SessionState::Idle
            << 0 << 0;
        QTest::newRow("unknown start type never starts")
            << BarrierSettings{.startUnknown = true} << QList<Step>{toggle(), wake(Cts, CtsOn), wake(Cts, 0), wake(Cts, 0, Cts)}
            << SessionState::Idle << 0 << 0;
        QTest::newRow("a start pulse starts")
            << two << QList<Step>{wake(Cts, 0), toggle(), wake(Cts, 0, Cts, 5000)} << SessionState::Running << 5000 << 0;
        QTest::newRow("the finish barrier never starts")
            << one << QList<Step>{toggle(), wake(Dsr | Cd, DsrOn | CdOn, 0, 5000)} << SessionState::Idle << 0 << 0;
        QTest::newRow("one barrier, running: captures, never stops")
            << one << QList<Step>{at(Step::KeyStart, 1000), wake(Cts, CtsOn, 0, 5000)} << SessionState::Running << 1000 << 1;
        QTest::newRow("two barriers, running: nothing")
            << two << QList<Step>{at(Step::KeyStart, 1000), wake(Cts, CtsOn, 0, 5000)} << SessionState::Running << 1000 << 0;
        QTest::newRow("stopped and armed: no reset, no capture")
            << one << QList<Step>{at(Step::KeyStart, 1000), at(Step::Answer), wake(Cts, CtsOn)} << SessionState::Ended << 1000
            << 0;
        QTest::newRow("after a reset the barriers are locked")
            << one << QList<Step>{at(Step::KeyStart, 1000), at(Step::Answer), at(Step::Answer), wake(Cts, CtsOn)}
            << SessionState::Idle << 1000 << 0;
        QTest::newRow("after a reset and Ctrl+L a new session starts")
            << one
            << QList<Step>{at(Step::KeyStart, 1000), at(Step::Answer), at(Step::Answer), toggle(), wake(Cts, CtsOn, 0, 9000)}
            << SessionState::Running << 9000 << 0;
    }

    void startBarrier()
    {
        QFETCH(BarrierSettings, settings);
        QFETCH(QList<Step>, steps);
        RaceDriver d;
        d.barriers(settings);
        run(d, steps);
        QTEST(d.core.sessionState(), "state");
        QTEST(d.core.table().RaceStartTick, "startTick");
        QTEST(d.core.pending().count(), "captures");
    }

    // Lock time 1 s; the start barrier starts at 5000 and so locks the barriers.
    void finishLock_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("captured");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<BarrierPicture>("picture");
        QTest::addColumn<bool>("lockRunning");

        using P = BarrierPicture;
        QTest::newRow("locked right after the start") << QList<Step>{} << QStringList{} << false << P::Locked << true;
        QTest::newRow("a pass during the lock is dropped")
            << QList<Step>{wake(Dsr, DsrOn, 0, 5500), wake(Dsr, 0, 0, 5600)} << QStringList{} << false << P::Locked << true;
        QTest::newRow("the lock ends after its time")
            << QList<Step>{lockEnd(6000), wake(Dsr, DsrOn, 0, 6010)} << QStringList{"0:01,01"} << true << P::Armed << false;
        QTest::newRow("a pass during the lock is not queued")
            << QList<Step>{wake(Dsr, DsrOn, 0, 5500), lockEnd(6000), wake(Dsr, DsrOn, 0, 6500)} << QStringList{} << true
            << P::Armed << false;
        QTest::newRow("Ctrl+L during the lock arms at once")
            << QList<Step>{toggle(5200), wake(Dsr, DsrOn, 0, 5500)} << QStringList{"0:00,50"} << true << P::Armed << true;
        QTest::newRow("after Ctrl+L the end of the lock changes nothing")
            << QList<Step>{toggle(5200), lockEnd(6000), wake(Dsr, DsrOn, 0, 6500)} << QStringList{"0:01,50"} << true << P::Armed
            << false;
        QTest::newRow("Ctrl+L twice: locked until the lock ends")
            << QList<Step>{toggle(5200), toggle(5300), wake(Dsr, DsrOn, 0, 5500), wake(Dsr, 0), lockEnd(6000),
                           wake(Dsr, DsrOn, 0, 6700)}
            << QStringList{"0:01,70"} << true << P::Armed << false;
        QTest::newRow("Ctrl+L after the lock locks for good")
            << QList<Step>{lockEnd(6000), toggle(6100), wake(Dsr, DsrOn, 0, 6500), lockEnd(30000), wake(Dsr, 0), wake(Dsr, DsrOn)}
            << QStringList{} << false << P::Locked << false;
        QTest::newRow("one barrier: the start line is locked too")
            << QList<Step>{wake(Cts, 0, 0, 5200), wake(Cts, CtsOn, 0, 5500), wake(Cts, 0), lockEnd(6000),
                           wake(Cts, CtsOn, 0, 6200)}
            << QStringList{"0:01,20"} << true << P::Armed << false;
    }

    void finishLock()
    {
        QFETCH(QList<Step>, steps);
        RaceDriver d;
        d.barriers({.lockStopSeconds = 1});
        QCOMPARE(d.core.controls().lockStopInterval, 1000);
        d.send(Kind::ToggleArming);
        d.at(5000);
        d.line(Cts, CtsOn);
        QCOMPARE(d.core.sessionState(), SessionState::Running);
        run(d, steps);
        QTEST(d.core.pending().entries(), "captured");
        QTEST(d.core.controls().barriersArmed, "armed");
        QTEST(d.core.controls().barrierPicture, "picture");
        QTEST(d.core.controls().timerLockStopEnabled, "lockRunning");
    }

    // A new lock time restarts a running lock; otherwise the window just takes the new interval.
    void lockTimeChange_data()
    {
        QTest::addColumn<bool>("lockRunning");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("restarts");
        QTest::newRow("shorter during the lock") << true << 5 << 1;
        QTest::newRow("longer during the lock") << true << 60 << 1;
        QTest::newRow("unchanged during the lock") << true << 20 << 0;
        QTest::newRow("changed without a lock") << false << 5 << 0;
    }

    void lockTimeChange()
    {
        QFETCH(bool, lockRunning);
        QFETCH(int, seconds);
        RaceDriver d;
        d.at(1000);
        d.start();
        if (!lockRunning)
            d.send(Kind::TimerLockStop);
        // Output types and mode alone never restart the lock.
        d.barriers({.startPnp = true, .oneBarrier = false});
        QCOMPARE(d.core.controls().lockStopRestarts, 0);
        d.barriers({.lockStopSeconds = seconds});
        QTEST(d.core.controls().lockStopRestarts, "restarts");
        QCOMPARE(d.core.controls().lockStopInterval, seconds * 1000);
        QCOMPARE(d.core.controls().timerLockStopEnabled, lockRunning);
    }

    // The indicator's flag and picture through a session started by the barrier; it shows
    // exactly while the port is open, and arming works without it.
    void indicator_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<BarrierPicture>("picture");
        QTest::addColumn<bool>("lockRunning");
        QTest::addColumn<bool>("visible");

        using P = BarrierPicture;
        const Step barrierStart = wake(Cts, CtsOn);
        const Step answer = at(Step::Answer);
        const Step opened = at(Step::Opened);
        const Step closed = at(Step::Closed);
        QTest::newRow("program start") << QList<Step>{} << false << P::Locked << false << false;
        QTest::newRow("port opened") << QList<Step>{opened} << false << P::Locked << false << true;
        QTest::newRow("port closed") << QList<Step>{opened, closed} << false << P::Locked << false << false;
        QTest::newRow("port re-opened") << QList<Step>{opened, closed, opened} << false << P::Locked << false << true;
        QTest::newRow("Ctrl+L without a port") << QList<Step>{toggle()} << true << P::Armed << false << false;
        QTest::newRow("closing keeps the flag") << QList<Step>{opened, toggle(), closed} << true << P::Armed << false << false;
        QTest::newRow("Ctrl+L twice") << QList<Step>{opened, toggle(), toggle()} << false << P::Locked << false << true;
        QTest::newRow("barrier start locks") << QList<Step>{toggle(), barrierStart} << false << P::Locked << true << false;
        QTest::newRow("key start while locked arms") << QList<Step>{at(Step::KeyStart)} << true << P::Armed << true << false;
        QTest::newRow("lock ends") << QList<Step>{toggle(), barrierStart, lockEnd()} << true << P::Armed << false << false;
        QTest::newRow("stop during the lock: grey, flag kept")
            << QList<Step>{toggle(), barrierStart, answer} << false << P::Stopped << true << false;
        QTest::newRow("stop, then the lock ends: green")
            << QList<Step>{toggle(), barrierStart, answer, lockEnd()} << true << P::Armed << false << false;
        QTest::newRow("stop after the lock: grey, still armed")
            << QList<Step>{toggle(), barrierStart, lockEnd(), answer} << true << P::Stopped << false << false;
        QTest::newRow("reset: red and locked")
            << QList<Step>{toggle(), barrierStart, lockEnd(), answer, answer} << false << P::Locked << false << false;
        QTest::newRow("natural end leaves the picture")
            << QList<Step>{toggle(), barrierStart, lockEnd(), at(Step::NaturalEnd, 12000)} << true << P::Armed << false << false;
    }

    void indicator()
    {
        QFETCH(QList<Step>, steps);
        RaceDriver d;
        d.send(Kind::CarCountChanged, 1);
        d.send(Kind::DurationEdited, 0, false, QStringLiteral("0"));
        run(d, steps);
        QTEST(d.core.controls().barriersArmed, "armed");
        QTEST(d.core.controls().barrierPicture, "picture");
        QTEST(d.core.controls().timerLockStopEnabled, "lockRunning");
        QTEST(d.core.controls().barrierIndicatorVisible, "visible");
    }

    // The stored levels outlive a re-opened port and a new session: the same level again is no pass.
    void levelsKept_data()
    {
        QTest::addColumn<QList<Step>>("between");
        QTest::newRow("port re-opened") << QList<Step>{at(Step::Closed), at(Step::Opened)};
        QTest::newRow("new session")
            << QList<Step>{at(Step::Answer), at(Step::Answer), at(Step::KeyStart)};
    }

    void levelsKept()
    {
        QFETCH(QList<Step>, between);
        RaceDriver d;
        d.barriers(twoBarriers());
        run(d, {at(Step::Opened), at(Step::KeyStart), wake(Dsr, DsrOn)});
        QCOMPARE(d.core.pending().count(), 1);
        run(d, between);
        const int before = d.core.pending().count();
        run(d, {wake(Dsr, DsrOn)});
        QCOMPARE(d.core.pending().count(), before);
        QCOMPARE(d.core.sessionState(), SessionState::Running);
        run(d, {wake(Dsr, 0), wake(Dsr, DsrOn)});
        QCOMPARE(d.core.pending().count(), before + 1);
    }

    // A pass is timed at the wake of the serial thread, even when inputs stamped later were
    // applied before it (the GUI thread was busy).
    void capturedAtTheEventsTick_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("pulses");
        QTest::addColumn<std::int32_t>("passTick");
        QTest::addColumn<QString>("text");
        QTest::newRow("finish line") << Dsr << DsrOn << 0 << 67430 << QStringLiteral("1:05,43");
        QTest::newRow("carrier detect") << Cd << CdOn << 0 << 3601000 << QStringLiteral("59:59,00");
        QTest::newRow("start line, one barrier") << Cts << CtsOn << 0 << 67430 << QStringLiteral("1:05,43");
        QTest::newRow("short pulse") << Dsr << 0 << Dsr << 12340 << QStringLiteral("0:10,34");
    }

    void capturedAtTheEventsTick()
    {
        QFETCH(int, lines);
        QFETCH(int, status);
        QFETCH(int, pulses);
        QFETCH(std::int32_t, passTick);
        RaceDriver d;
        d.barriers({.lockStopSeconds = 1});
        d.send(Kind::ToggleArming);
        // The start barrier starts the race at its own tick.
        d.core.apply({.kind = Kind::LineEvent, .tick = 2000, .value = CtsOn, .lines = Cts});
        d.core.apply({.kind = Kind::LineEvent, .tick = 2500, .value = 0, .lines = Cts | Dsr | Cd});
        d.core.apply({.kind = Kind::TimerLockStop, .tick = 3000});
        d.core.apply({.kind = Kind::TimerAll, .tick = passTick + 5000});
        d.core.apply({.kind = Kind::LineEvent, .tick = passTick, .value = status, .lines = std::uint8_t(lines),
                      .pulses = std::uint8_t(pulses)});
        QCOMPARE(d.core.table().RaceStartTick, 2000);
        QCOMPARE(d.core.pending().count(), 1);
        QTEST(d.core.pending().entries().constFirst(), "text");
    }

    // A wake the serial thread stamped just before the operator's start was applied counts
    // from the start: never a negative pass time, never a negative lap.
    void wakeBeforeTheStart_data()
    {
        QTest::addColumn<BarrierSettings>("settings");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("status");
        QTest::newRow("finish line") << twoBarriers() << Dsr << DsrOn;
        QTest::newRow("start line, one barrier") << BarrierSettings{} << Cts << CtsOn;
    }

    void wakeBeforeTheStart()
    {
        QFETCH(BarrierSettings, settings);
        QFETCH(int, lines);
        QFETCH(int, status);
        RaceDriver d;
        d.barriers(settings);
        d.at(10000);
        // Locked before: the start arms the barriers.
        d.send(Kind::StartCommand);
        QVERIFY(d.core.controls().barriersArmed);
        d.at(10100);
        d.core.apply({.kind = Kind::LineEvent, .tick = 9970, .value = status, .lines = std::uint8_t(lines)});
        QCOMPARE(d.core.pending().count(), 1);
        QCOMPARE(d.core.pending().entries().constFirst(), QStringLiteral("0:00,00"));
        d.assign(1);
        QCOMPARE(d.core.table().lapTime(1, 1), 0);
        QCOMPARE(d.core.table().BestLap(1), 0);
    }
};

QTEST_GUILESS_MAIN(TestBarrierRouting)
#include "testbarrierrouting.moc"
