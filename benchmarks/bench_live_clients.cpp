// The GUI thread's hot paths while the live standings are served: a booking and the 10 ms
// refresh, each timed with no live server and with 64 clients on the event stream, in a race
// of 20 participants. With the clients neither may be more than 10 % slower.
//
// The clients read on a thread of their own (phones would be other machines; here they share
// the CPU, which makes this a harsh case) and count the bytes they get, so the counters show
// that every booking really went out to them.

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
#include <vector>

namespace {

using Kind = RaceInput::Kind;

constexpr int Participants = 20;
constexpr int Clients = 64;               // what the live server accepts at most
constexpr std::uint32_t LapMs = 60000;    // everybody laps in a minute, evenly spread
constexpr int PrebookedLaps = 60;
constexpr int Bookings = 1500;            // 75 laps each more: 135 of the 160 a participant may run
constexpr int Refreshes = 20000;          // 200 s of race time

// A running race with laps already booked, fed the way the window feeds it.
class Race
{
public:
    Race()
        : mClock(new ManualTickSource(1000))
        , mSession(std::unique_ptr<TickSource>(mClock), QLocale(QLocale::German, QLocale::Germany))
    {
        mSession.submit({.kind = Kind::CarCountChanged, .value = Participants});
        // Long enough that no gong ends the race while it is measured.
        mSession.submit({.kind = Kind::DurationEdited, .text = QStringLiteral("86400")});
        mSession.submit({.kind = Kind::StartCommand});
        for (int i = 0; i < PrebookedLaps * Participants; ++i)
            book();
    }

    RaceSession &session() { return mSession; }

    // The next participant's key: 3 s after the previous one, 60 s after its own last pass,
    // so the booking guard never refuses it.
    void book()
    {
        mClock->advance(LapMs / Participants);
        mSession.submit({.kind = Kind::Assign, .value = mNext});
        mNext = mNext % Participants + 1;
    }

    void refresh()
    {
        mClock->advance(10);
        mSession.submit({.kind = Kind::TimerAll});
    }

    bool allOnLap(int laps) const
    {
        for (int p = 1; p <= Participants; ++p) {
            if (mSession.core().table().lapCount(p) != laps)
                return false;
        }
        return true;
    }

private:
    ManualTickSource *mClock; // owned by the session
    RaceSession mSession;
    int mNext = 1;
};

// The phones: sockets made on the pool's own thread, each asking for /events and reading all.
class ClientPool final : public QObject
{
public:
    std::atomic<qint64> bytes{0};
    std::atomic<qint64> events{0}; // blank-line ends of SSE blocks, over all clients
    std::atomic<int> fed{0};       // clients that got their first standings event
    std::atomic<int> open{0};      // clients still connected

    explicit ClientPool(int count) : mClients(std::size_t(count)) {}
    int count() const { return int(mClients.size()); }

    // Runs on the pool's thread.
    void connectAll(quint16 port)
    {
        for (std::size_t i = 0; i < mClients.size(); ++i) {
            auto *socket = new QTcpSocket(this);
            connect(socket, &QTcpSocket::connected, this, [this, socket] {
                ++open;
                socket->write("GET /events HTTP/1.1\r\n\r\n");
            });
            connect(socket, &QTcpSocket::disconnected, this, [this] { --open; });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, i] { read(*socket, mClients[i]); });
            socket->connectToHost(QHostAddress::LocalHost, port);
        }
    }

private:
    struct Client
    {
        bool newline = false; // the last byte read was '\n'
        int blocks = 0;
    };

    // Counts the "\n\n" that end each block. The stream never has three in a row and the JSON
    // is one line, so memchr hops over the data: reading stays cheap next to the server.
    void read(QTcpSocket &socket, Client &client)
    {
        qint64 n = 0;
        while ((n = socket.read(mBuffer.data(), qint64(mBuffer.size()))) > 0) {
            bytes.fetch_add(n, std::memory_order_relaxed);
            const char *begin = mBuffer.data();
            const char *end = begin + n;
            int ends = 0;
            for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p)))); ++p) {
                if (p == begin ? client.newline : p[-1] == '\n')
                    ++ends;
            }
            client.newline = end[-1] == '\n';
            // The first block is "retry:", the second the first standings.
            if (client.blocks < 2 && client.blocks + ends >= 2)
                ++fed;
            client.blocks += ends;
            events.fetch_add(ends, std::memory_order_relaxed);
        }
    }

    std::array<char, 64 * 1024> mBuffer{};
    std::vector<Client> mClients;
};

// Runs the GUI thread's events until the condition holds; false after 10 s.
bool waitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::usleep(100);
    }
    return true;
}

// The live server on the session, with 64 clients fed. The clients go first, then the server.
class LiveClients
{
public:
    LiveClients(RaceSession &session, int count)
        : mService(std::make_unique<LiveService>(session)), mPool(new ClientPool(count))
    {
        mPool->moveToThread(&mThread);
        mThread.start();
        mService->start(0);
        if (!waitFor([this] { return mService->isRunning(); }))
            return;
        QMetaObject::invokeMethod(mPool, [pool = mPool, port = mService->port()] { pool->connectAll(port); });
        mReady = waitFor([this] { return mPool->fed.load() == mPool->count(); });
    }

    ~LiveClients()
    {
        QMetaObject::invokeMethod(mPool, [pool = mPool] { delete pool; }, Qt::BlockingQueuedConnection);
        mThread.quit();
        mThread.wait();
        mService.reset();
    }

    LiveClients(const LiveClients &) = delete;
    LiveClients &operator=(const LiveClients &) = delete;

    bool ready() const { return mReady; }
    const ClientPool &pool() const { return *mPool; }

private:
    std::unique_ptr<LiveService> mService;
    QThread mThread;
    ClientPool *mPool; // lives on mThread, deleted there
    bool mReady = false;
};

// Times `step` plus the event processing after it, with or without clients (range 0); then
// runs `between` untimed: what happens in the race until the next measured step. Timed by
// hand, so that nothing of the untimed part (nor pausing the timer) leaks into the figures.
double gStep = 0, gEvents = 0;
template<typename Step, typename Between>
void measure(benchmark::State &state, Race &race, Step step, Between between)
{
    std::unique_ptr<LiveClients> live;
    if (state.range(0) > 0) {
        live = std::make_unique<LiveClients>(race.session(), int(state.range(0)));
        if (!live->ready()) {
            state.SkipWithError("the clients did not all get their first event");
            return;
        }
    }
    const ClientPool *pool = live ? &live->pool() : nullptr;
    const qint64 bytesBefore = pool ? pool->bytes.load() : 0;
    const auto start = std::chrono::steady_clock::now();
    std::int64_t done = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        step();
        const auto t1 = std::chrono::steady_clock::now();
        QCoreApplication::processEvents();
        const auto t2 = std::chrono::steady_clock::now();
        gStep += std::chrono::duration<double>(t1 - t0).count();
        gEvents += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
        if (!between(++done, pool)) {
            state.SkipWithError("the clients did not get every event");
            break;
        }
    }
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    state.counters["step_us"] = gStep * 1e6 / double(done); state.counters["events_us"] = gEvents * 1e6 / double(done); gStep = gEvents = 0;
    if (pool) {
        const auto bytes = double(pool->bytes.load() - bytesBefore);
        state.counters["client_bytes/s"] = bytes / seconds.count();
        state.counters["client_bytes"] = benchmark::Counter(bytes, benchmark::Counter::kAvgIterations);
        // A client too slow to keep up is dropped by the server: all must still be there.
        state.counters["clients_open"] = pool->open.load();
    }
}

// A booking as the window makes it. Bookings come seconds apart in a race, long after the
// server has sent the previous one out, so the next is timed only once all 64 clients have it.
void BM_Booking(benchmark::State &state)
{
    Race race;
    qint64 events = -1;
    measure(state, race, [&race] { race.book(); }, [&events](std::int64_t, const ClientPool *pool) {
        if (!pool)
            return true;
        if (events < 0)
            events = pool->events.load() - pool->count(); // the first booking's event is on its way
        events += pool->count();
        QDeadlineTimer deadline(10000);
        while (pool->events.load() < events && !deadline.hasExpired())
            QThread::usleep(20);
        return pool->events.load() >= events;
    });
    if (!race.allOnLap(PrebookedLaps + Bookings / Participants))
        state.SkipWithError("not every booking was taken");
}
BENCHMARK(BM_Booking)->ArgName("clients")->Arg(0)->Arg(1)->Arg(Clients)->Iterations(Bookings)->Repetitions(5)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// The 10 ms refresh publishes nothing itself (only running times change), but the race goes
// on meanwhile: every 300 refreshes (3 s) a booking, untimed, whose broadcast then runs next
// to the timed refreshes. Back to back they take far less than 3 s, so the broadcast overlaps
// many more refreshes than in a real race: a harsh case.
void BM_Refresh(benchmark::State &state)
{
    Race race;
    measure(state, race, [&race] { race.refresh(); }, [&race](std::int64_t done, const ClientPool *) {
        if (done % 300 == 0) {
            race.book();
            QCoreApplication::processEvents();
        }
        return true;
    });
}
BENCHMARK(BM_Refresh)->ArgName("clients")->Arg(0)->Arg(Clients)->Iterations(Refreshes)->Repetitions(5)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
