// The GUI thread's hot paths while the live standings are served: a booking and the 10 ms
// refresh in a running race of 20 participants, timed with no live server and with 64 clients
// on its event stream. With the clients neither may be more than 10 % slower.
//
// The clients read on a thread of their own (phones would be other machines; here they share
// the CPU, which makes this a harsh case) and count what they get, so the counters show that
// every booking really went out to all of them.

#include "core/TickSource.h"
#include "live/LiveService.h"
#include "session/RaceSession.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

namespace {

using Kind = RaceInput::Kind;
using Clock = std::chrono::steady_clock;

constexpr int Participants = 20;
constexpr int Clients = 64;     // what the live server accepts at most
constexpr int PrebookedLaps = 60;
// Each booking waits for the service's next send-out (every 100 ms) before the next one.
constexpr int Bookings = 200;   // 10 laps each more
constexpr int Refreshes = 3000; // 30 s of race time, with a booking every 3 s

// A running race with laps already booked, fed the way the window feeds it.
class Race
{
public:
    Race()
        : mClock(new ManualTickSource(1000))
        , mSession(std::unique_ptr<TickSource>(mClock), QLocale(QLocale::German, QLocale::Germany))
    {
        mSession.submit({.kind = Kind::CarCountChanged, .value = Participants});
        mSession.submit({.kind = Kind::DurationEdited, .text = QStringLiteral("86400")}); // no gong meanwhile
        mSession.submit({.kind = Kind::StartCommand});
        for (int i = 0; i < PrebookedLaps * Participants; ++i)
            book();
    }

    RaceSession &session() { return mSession; }
    int laps(int p) const { return mSession.core().table().lapCount(p); }

    // The next participant's key, 3 s after the previous one: a minute after its own last
    // pass, so the booking guard never refuses it.
    void book() { submit(60000 / Participants, {.kind = Kind::Assign, .value = std::exchange(mNext, mNext % Participants + 1)}); }
    void refresh() { submit(10, {.kind = Kind::TimerAll}); }

private:
    void submit(std::uint32_t ms, const RaceInput &input)
    {
        mClock->advance(ms);
        mSession.submit(input);
    }

    ManualTickSource *mClock; // owned by the session
    RaceSession mSession;
    int mNext = 1;
};

// The phones: sockets made on the pool's own thread, each asking for /events and reading all.
class ClientPool final : public QObject
{
public:
    std::atomic<qint64> bytes{0};
    std::atomic<qint64> blocks{0}; // SSE blocks ("retry:", events) received, over all clients
    std::atomic<int> fed{0};       // clients that got their first standings event
    std::atomic<int> open{0};      // clients still connected

    // Runs on the pool's thread.
    void connectAll(quint16 port)
    {
        for (Client &client : mClients) {
            auto *socket = new QTcpSocket(this);
            connect(socket, &QTcpSocket::connected, this, [this, socket] {
                ++open;
                socket->write("GET /events HTTP/1.1\r\n\r\n");
            });
            connect(socket, &QTcpSocket::disconnected, this, [this] { --open; });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, &client] { read(*socket, client); });
            socket->connectToHost(QHostAddress::LocalHost, port);
        }
    }

private:
    struct Client
    {
        bool newline = false; // the last byte read was '\n'
        int blocks = 0;
    };

    // Counts the "\n\n" ending each block. The stream never has three in a row and the JSON
    // is one line, so memchr hops over it: the clients stay cheap next to the server.
    void read(QTcpSocket &socket, Client &client)
    {
        qint64 n = 0;
        while ((n = socket.read(mBuffer.data(), qint64(mBuffer.size()))) > 0) {
            bytes.fetch_add(n, std::memory_order_relaxed);
            const char *begin = mBuffer.data();
            const char *end = begin + n;
            int ends = 0;
            for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)))); ++p)
                ends += (p == begin ? client.newline : p[-1] == '\n') ? 1 : 0;
            client.newline = end[-1] == '\n';
            if (client.blocks < 2 && client.blocks + ends >= 2) // "retry:", then the standings
                ++fed;
            client.blocks += ends;
            blocks.fetch_add(ends, std::memory_order_relaxed);
        }
    }

    std::array<char, 64 * 1024> mBuffer{};
    std::array<Client, Clients> mClients{};
};

// Sleeps until the condition holds, running the GUI thread's events; false after 10 s.
bool waitFor(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::usleep(50);
    }
    return done();
}

// The live server on the session with 64 clients fed; on leaving, the clients go first.
class LiveClients
{
public:
    explicit LiveClients(RaceSession &session) : mService(session)
    {
        mPool->moveToThread(&mThread);
        mThread.start();
        mService.start(0);
        mReady = waitFor([this] { return mService.isRunning(); });
        QMetaObject::invokeMethod(mPool, [pool = mPool, port = mService.port()] { pool->connectAll(port); });
        mReady = mReady && waitFor([this] { return mPool->fed.load() == Clients; });
    }
    ~LiveClients()
    {
        QMetaObject::invokeMethod(mPool, [pool = mPool] { delete pool; }, Qt::BlockingQueuedConnection);
        mThread.quit();
        mThread.wait();
    }

    bool ready() const { return mReady; }
    const ClientPool &pool() const { return *mPool; }

private:
    LiveService mService;
    QThread mThread;
    ClientPool *mPool = new ClientPool; // lives on mThread, deleted there
    bool mReady = false;
};

// Times step() plus the events after it (the live service's coalescing timer, so the snapshot
// handover is included), with range(0) clients. between() is the race going on until the next
// step, untimed: timing by hand keeps it, and pausing the timer, out of the figures. It gets
// the blocks the clients hold once every step so far has been sent to all of them.
template<typename Step, typename Between>
void measure(benchmark::State &state, Race &race, Step step, Between between)
{
    std::unique_ptr<LiveClients> live;
    if (state.range(0) > 0 && !(live = std::make_unique<LiveClients>(race.session()))->ready())
        return state.SkipWithError("the clients did not all get their first event");
    const ClientPool *pool = live ? &live->pool() : nullptr;
    const qint64 bytes = pool ? pool->bytes.load() : 0;
    qint64 due = pool ? pool->blocks.load() : 0;
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        step();
        QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        if (!between(pool, due += Clients))
            return state.SkipWithError("the clients did not get every event");
    }
    if (pool) {
        const double received = double(pool->bytes.load() - bytes);
        state.counters["client_bytes/s"] = received / std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["client_bytes"] = benchmark::Counter(received, benchmark::Counter::kAvgIterations);
        state.counters["clients_open"] = pool->open.load(); // the server drops clients that lag
    }
}

// A booking as the window makes it. Bookings come seconds apart, long after the server has
// sent the previous one out: the GUI thread idles, and waits until all 64 clients have it.
void BM_Booking(benchmark::State &state)
{
    Race race;
    measure(state, race, [&race] { race.book(); }, [](const ClientPool *pool, qint64 due) {
        // Both runs idle alike between bookings (past the service's next send-out), so that
        // each booking meets the machine in the same state, with or without clients.
        const QDeadlineTimer idle(120);
        const bool sent = !pool || waitFor([pool, due] { return pool->blocks.load() >= due; });
        waitFor([&idle] { return idle.hasExpired(); });
        return sent;
    });
    if (race.laps(1) != PrebookedLaps + Bookings / Participants)
        state.SkipWithError("not every booking was taken");
}
BENCHMARK(BM_Booking)->ArgName("clients")->Arg(0)->Arg(Clients)->Iterations(Bookings)->Repetitions(3)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// A refresh publishes nothing (only running times change), but every 3 s of race time a
// booking (untimed) is sent out next to the timed refreshes. Refreshes come every 1 ms instead
// of 10 ms so that it runs in seconds: each broadcast overlaps a few of them, not one.
void BM_Refresh(benchmark::State &state)
{
    Race race;
    int done = 0;
    measure(state, race, [&race] { race.refresh(); }, [&race, &done](const ClientPool *, qint64) {
        if (++done % 300 == 0) {
            race.book();
            QCoreApplication::processEvents();
        }
        QThread::usleep(1000);
        return true;
    });
}
BENCHMARK(BM_Refresh)->ArgName("clients")->Arg(0)->Arg(Clients)->Iterations(Refreshes)->Repetitions(5)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
