// Latency of the light-barrier input path: from a line change at the serial device to the
// pass in the session's pending list.
//
// The wiring is the program's own (see app/Program.cpp): a RaceSession on the boot-time
// clock, a TComPort over a serial device, its lineEvent submitted as a LineEvent input and
// its OnOpen as PortOpened. Only the device is a stand-in (FakeSerialDevice: its wait blocks
// on a condition variable the way a driver's TIOCMIWAIT does), so the path measured is the
// real one: the port's event thread wakes, reads the clock and the lines, hands the wake to
// the GUI thread through the queued hand-over, the session routes it to the finish barrier
// and the core appends the pass time.
//
// A stimulus thread plays the barrier. For every edge it takes a steady_clock timestamp,
// queues the change at the device and waits; a slot on the GUI thread, connected to the
// session's pendingChanged before anything else is, takes the second timestamp, deletes the
// pass again (so the list stays at one entry at most) and lets the stimulus thread go on.
// Between edges the stimulus sleeps a random 0.5..3 ms, so edges land at every phase of the
// 10 ms refresh instead of always right after the previous hand-over.
//
// By default every edge is a short pulse (the DSR counter moved by two, the level read is
// the stored one): each one is a pass. With --levels the edges alternate between an asserted
// and a dropped DSR, as a beam that breaks and closes again; only the asserted ones are
// passes for an NPN barrier, the dropped ones are waited for on the session's applied signal
// and reported apart.
//
// Loads (--load, several may be given; default all four, one after the other):
//   floor   not the program: a thread blocked in the same device's wait posts each wake to
//           the GUI thread, which answers at once. The same two cross-thread wake-ups the
//           path needs, and nothing else: what this machine's scheduler gives at best.
//   idle    nothing but the session and the port
//   timer   a 10 ms precise QTimer on the GUI thread submitting TimerAll, 20 participants
//           running, so every tick rewrites 20 running-time cells (the window's refresh
//           without the window)
//   window  the real main window (TFormMain) on the session, shown; its own timers drive
//           the refresh, the countdown and the clock, and it repaints what they change.
//           Needs a platform plugin: QT_QPA_PLATFORM=offscreen is set unless one is given.
//
// The first 100 edges of each load warm the path up and are not counted.
//
//   bench_barrier_latency [--edges N] [--load floor|idle|timer|window]... [--levels]

#include "FakeSerialDevice.h"
#include "NoPrinter.h"
#include "core/RaceCore.h"
#include "input/EComError.h"
#include "input/TComPort.h"
#include "platform/BootClock.h"
#include "platform/DesktopShell.h"
#include "platform/PagePrinter.h"
#include "session/RaceSession.h"
#include "session/SessionTimers.h"
#include "ui/TFormMain.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;
using Kind = RaceInput::Kind;

constexpr int WarmUpEdges = 100;
constexpr auto EdgeTimeout = std::chrono::seconds(5);

enum class Load { Floor, Idle, Timer, Window };

const char *loadName(Load load)
{
    switch (load) {
    case Load::Floor: return "floor";
    case Load::Idle: return "idle";
    case Load::Timer: return "timer";
    case Load::Window: return "window";
    }
    return "?";
}

struct Options
{
    int edges = 10000;
    bool levels = false;
    std::vector<Load> loads;
};

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SteadyClock::now().time_since_epoch()).count();
}

// What the stimulus thread waits for after an edge.
enum class Expect : int { Nothing, Pass, Applied };

// The meeting point of the stimulus thread and the GUI thread. The stimulus thread writes
// the edge's timestamp and expectation before it queues the change; the GUI thread answers
// once, with its own timestamp.
class Probe
{
public:
    void arm(Expect expect)
    {
        {
            std::lock_guard lock(mMutex);
            mAnswered = false;
        }
        mEdgeNs.store(nowNs(), std::memory_order_relaxed);
        mExpect.store(static_cast<int>(expect), std::memory_order_release);
    }

    // GUI thread: the expected thing happened. False when nothing was expected.
    bool answer(Expect what)
    {
        const std::int64_t seen = nowNs();
        int expected = static_cast<int>(what);
        if (!mExpect.compare_exchange_strong(expected, static_cast<int>(Expect::Nothing), std::memory_order_acq_rel))
            return false;
        std::lock_guard lock(mMutex);
        mLatencyNs = seen - mEdgeNs.load(std::memory_order_relaxed);
        mAnswered = true;
        mDone.notify_one();
        return true;
    }

    // Stimulus thread: the latency of the armed edge, or -1 when no answer came in time.
    std::int64_t wait()
    {
        std::unique_lock lock(mMutex);
        if (!mDone.wait_for(lock, EdgeTimeout, [this] { return mAnswered; }))
            return -1;
        return mLatencyNs;
    }

private:
    std::atomic<int> mExpect{static_cast<int>(Expect::Nothing)};
    std::atomic<std::int64_t> mEdgeNs{0};
    std::mutex mMutex;
    std::condition_variable mDone;
    bool mAnswered = false;
    std::int64_t mLatencyNs = 0;
};

struct Samples
{
    std::vector<double> passUs;  // edge to pendingChanged
    std::vector<double> otherUs; // --levels: dropped edge to its input applied
    bool failed = false;
};

void printStats(const char *what, std::vector<double> v, double goalUs)
{
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    const auto at = [&v](double q) {
        const auto index = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
        return v[std::min(index, v.size() - 1)];
    };
    double sum = 0;
    for (double x : v)
        sum += x;
    const double p99 = at(0.99);
    std::printf("  %-26s n=%-6zu p50 %7.1f  p90 %7.1f  p99 %7.1f  p99.9 %7.1f  max %8.1f  mean %7.1f us",
                what, v.size(), at(0.50), at(0.90), p99, at(0.999), v.back(), sum / static_cast<double>(v.size()));
    if (goalUs > 0)
        std::printf("   (goal p99 < %.0f us: %s)", goalUs, p99 < goalUs ? "met" : "MISSED");
    std::printf("\n");
}

// The stimulus: the barrier's edges, one at a time, each waited for.
void playEdges(FakeSerialDevice &device, Probe &probe, const Options &options, Samples &samples)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> gapUs(500, 3000);
    const auto edge = [&](Expect expect, int dsrChanges, int status) {
        probe.arm(expect);
        device.change(0, dsrChanges, 0, status);
        return probe.wait();
    };

    // The core stores the first level it sees without counting it: give it the resting one.
    if (edge(Expect::Applied, 1, 0) < 0) {
        samples.failed = true;
        return;
    }
    const int total = WarmUpEdges + options.edges;
    for (int i = 0; i < total; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
        bool pass = true;
        std::int64_t ns = 0;
        if (!options.levels)
            ns = edge(Expect::Pass, 2, 0);
        else if (i % 2 == 0)
            ns = edge(Expect::Pass, 1, MS_DSR_ON);
        else {
            pass = false;
            ns = edge(Expect::Applied, 1, 0);
        }
        if (ns < 0) {
            std::fprintf(stderr, "edge %d: no answer within %lld s\n", i,
                         static_cast<long long>(EdgeTimeout.count()));
            samples.failed = true;
            return;
        }
        if (i < WarmUpEdges)
            continue;
        (pass ? samples.passUs : samples.otherUs).push_back(static_cast<double>(ns) / 1000.0);
    }
}

void printResults(Load load, double seconds, const Samples &samples, const Options &options)
{
    const double goalUs = load == Load::Floor ? 0 : load == Load::Idle ? 1000 : 5000;
    const char *what = load == Load::Floor ? "edge -> GUI thread" : options.levels ? "edge -> pass in list" : "pulse -> pass in list";
    printStats(what, samples.passUs, goalUs);
    printStats("dropped edge -> applied", samples.otherUs, 0);
    if (samples.failed)
        std::printf("  %s: FAILED after %.1f s\n", loadName(load), seconds);
    std::fflush(stdout);
}

bool runFloor(const Options &options)
{
    FakeSerialDevice device;
    if (device.open(QStringLiteral("floor"), SerialSettings{}))
        return false;
    Probe probe;
    QObject receiver;
    std::thread waiter([&] {
        for (;;) {
            if (device.waitForChange(EV_LINES).outcome != SerialDevice::WaitResult::Outcome::Changed)
                break;
            QMetaObject::invokeMethod(&receiver, [&probe] {
                if (!probe.answer(Expect::Pass))
                    probe.answer(Expect::Applied);
            }, Qt::QueuedConnection);
        }
    });

    Samples samples;
    QEventLoop loop;
    const auto started = SteadyClock::now();
    std::thread stimulus([&] {
        playEdges(device, probe, options, samples);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    stimulus.join();
    device.abortWait();
    waiter.join();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
    std::printf("floor: %.1f s, two bare thread hand-overs per edge (no port, no session)\n", seconds);
    printResults(Load::Floor, seconds, samples, options);
    return !samples.failed;
}

bool runLoad(Load load, const Options &options)
{
    if (load == Load::Floor)
        return runFloor(options);

    auto session = std::make_unique<RaceSession>(std::make_unique<BootClock>(),
                                                 QLocale(QLocale::German, QLocale::Germany));
    Probe probe;
    int maxPending = 0;

    // First in line for the session's signals: the pass is in the list when this runs.
    QObject::connect(session.get(), &RaceSession::pendingChanged, session.get(), [&] {
        const int pending = session->core().pending().count();
        maxPending = std::max(maxPending, pending);
        // The deletion below changes the list too; only a list with the pass in it answers.
        if (pending > 0 && probe.answer(Expect::Pass))
            session->submit({.kind = Kind::DeletePending});
    });
    QObject::connect(session.get(), &RaceSession::applied, session.get(), [&](const RaceInput &input) {
        if (input.kind == Kind::LineEvent)
            probe.answer(Expect::Applied);
    });

    // The port as the program sets it up and connects it.
    auto owned = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice &device = *owned;
    auto port = std::make_unique<TComPort>(std::move(owned), session->clock());
    SerialSettings line = port->Settings();
    line.BaudRateUser = 28800;
    line.FlowControl = TFlowControl::fcRtsCts;
    line.DataBits = 5;
    line.WriteBufSize = line.ReadBufSize = 64;
    port->setSettings(line);
    port->setEvents(EV_CTS | EV_DSR | EV_RLSD);
    port->setPort(1);
    QObject::connect(port.get(), &TComPort::lineEvent, session.get(),
                     [&session](std::int32_t tick, int status, int lines, int pulses) {
                         session->submit({.kind = Kind::LineEvent, .tick = tick, .value = status,
                                          .lines = std::uint8_t(lines), .pulses = std::uint8_t(pulses)});
                     });
    QObject::connect(port.get(), &TComPort::OnOpen, session.get(), [&session] { session->submit({.kind = Kind::PortOpened}); });
    QObject::connect(port.get(), &TComPort::OnClose, session.get(), [&session] { session->submit({.kind = Kind::PortClosed}); });

    DesktopShell shell;
    NoPrinter printer;
    std::unique_ptr<SessionTimers> timers;
    std::unique_ptr<TFormMain> window;
    if (load == Load::Window) {
        timers = std::make_unique<SessionTimers>(*session);
        window = std::make_unique<TFormMain>(*session, TFormMain::Services{shell, printer});
        window->show();
    }

    try {
        port->Open();
    } catch (const EComError &) {
        std::fprintf(stderr, "%s: the port did not open\n", loadName(load));
        return false;
    }

    // A start with the barriers locked arms them.
    session->submit({.kind = Kind::StartCommand});
    const RaceCore &core = session->core();
    if (!core.controls().barriersArmed || core.sessionState() != SessionState::Running || core.carCount() != 20) {
        std::fprintf(stderr, "%s: the session is not running with 20 participants and armed barriers\n", loadName(load));
        return false;
    }

    // The refresh of the running times, as the window's timer does it.
    QTimer refresh;
    refresh.setTimerType(Qt::PreciseTimer);
    refresh.setInterval(10);
    long refreshes = 0;
    QObject::connect(&refresh, &QTimer::timeout, session.get(), [&] {
        session->submit({.kind = Kind::TimerAll});
        ++refreshes;
    });
    QObject::connect(session.get(), &RaceSession::runningTimesChanged, session.get(), [&] {
        if (load == Load::Window)
            ++refreshes;
    });
    if (load == Load::Timer)
        refresh.start();

    // Let the window settle (first layout and paint) before the edges begin.
    {
        QEventLoop settle;
        QTimer::singleShot(300, &settle, &QEventLoop::quit);
        settle.exec();
    }

    Samples samples;
    QEventLoop loop;
    const auto started = SteadyClock::now();
    refreshes = 0;
    std::thread stimulus([&] {
        playEdges(device, probe, options, samples);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    stimulus.join();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();
    refresh.stop();

    std::printf("%s: %.1f s, %ld running-time refreshes (%.0f/s), pending list at most %d long, session %s\n",
                loadName(load), seconds, refreshes, static_cast<double>(refreshes) / seconds, maxPending,
                core.sessionState() == SessionState::Running ? "still running" : "NOT running");
    printResults(load, seconds, samples, options);

    window.reset();
    port.reset();
    return !samples.failed && core.pending().count() == 0;
}

bool parse(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--edges" && hasValue) {
            options.edges = std::atoi(argv[++i]);
            if (options.edges < 1)
                return false;
        } else if (arg == "--load" && hasValue) {
            const std::string name = argv[++i];
            if (name == "floor")
                options.loads.push_back(Load::Floor);
            else if (name == "idle")
                options.loads.push_back(Load::Idle);
            else if (name == "timer")
                options.loads.push_back(Load::Timer);
            else if (name == "window")
                options.loads.push_back(Load::Window);
            else
                return false;
        } else if (arg == "--levels") {
            options.levels = true;
        } else {
            return false;
        }
    }
    if (options.loads.empty())
        options.loads = {Load::Floor, Load::Idle, Load::Timer, Load::Window};
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--edges N] [--load floor|idle|timer|window]... [--levels]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::printf("light barrier -> pending list, %d %s per load after %d warm-up edges; latencies in microseconds\n",
                options.edges, options.levels ? "edges (half of them passes)" : "pulses", WarmUpEdges);
    bool ok = true;
    for (Load load : options.loads)
        ok = runLoad(load, options) && ok;
    return ok ? 0 : 1;
}
