// Publishing to a web host while the race runs, in a race of 20 participants:
//  - a booking (the session's submit) on the GUI thread with no publisher, and with the publisher running against a
//    dead host (a closed port, or a host that takes the connection and never answers), at the
//    shortest interval: the booking must cost the same;
//  - what the uploads come to per hour with a pass every 3 s at the default interval, the
//    files made as the program makes them (the standings every time, the pages now and then).

#include "core/ResultsSnapshot.h"
#include "core/TickSource.h"
#include "live/PublishFiles.h"
#include "publish/PublishService.h"
#include "publish/PublishTarget.h"
#include "session/RaceSession.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QThread>

#include <chrono>
#include <memory>
#include <utility>

namespace {

using Kind = RaceInput::Kind;
using Clock = std::chrono::steady_clock;

constexpr int Participants = 20;
constexpr int PassMs = 3000; // a pass every 3 s over the whole field
constexpr int PrebookedLaps = 60;
constexpr int Bookings = 150;

// A running race fed the way the window feeds it, on a clock moved by hand.
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
    }

    RaceSession &session() { return mSession; }
    // The next participant's key, a pass after the previous one.
    void book()
    {
        mClock->advance(PassMs);
        mSession.submit({.kind = Kind::Assign, .value = std::exchange(mNext, mNext % Participants + 1)});
    }
    // The race clock moves on without a pass.
    void wait(std::uint32_t ms) { mClock->advance(ms); }

private:
    ManualTickSource *mClock; // owned by the session
    RaceSession mSession;
    int mNext = 1;
};

// The files of one upload as the program makes them: the standings every time, the pages
// now and then, the logo once.
PublishService::FileMaker programFiles()
{
    QFile logo(QStringLiteral(CHRONOLAUF_RESOURCES "/Logo.jpg"));
    return PublishFiles::maker(std::make_shared<PublishFiles>(QString(), logo.open(QIODevice::ReadOnly) ? logo.readAll() : QByteArray(),
                                                              QLocale(QLocale::German, QLocale::Germany)));
}

// Runs the GUI thread's events for ms.
void idle(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
}

// range(0): 0 no publisher, 1 a closed port, 2 a host that never answers.
void BM_Booking(benchmark::State &state)
{
    // The program always has threads of its own (the serial port's events, the journal's
    // syncer); without one, glibc's allocator takes its single-thread shortcut and the run
    // without a publisher would be timed in a process unlike the program.
    QThread other;
    other.start();
    Race race;
    for (int i = 0; i < PrebookedLaps * Participants; ++i)
        race.book();
    QTcpServer silent;
    quint16 port = 0;
    {
        QTcpServer probe; // listened on and closed: nothing answers there
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    if (state.range(0) == 2) {
        silent.listen(QHostAddress::LocalHost, 0);
        port = silent.serverPort();
    }
    std::unique_ptr<PublishService> publisher;
    int failures = 0;
    if (state.range(0) > 0) {
        publisher = std::make_unique<PublishService>(race.session(), programFiles());
        QObject::connect(publisher.get(), &PublishService::failed, [&failures](const QString &, int) { ++failures; });
        const auto target = PublishTarget::parse(QStringLiteral("https://127.0.0.1:%1/live/").arg(port), false);
        publisher->start(std::get<PublishTarget>(target), {}, PublishService::MinimumIntervalSeconds);
    }
    for (auto _ : state) {
        // The submit with every listener it calls; the publisher's tick (making the files)
        // runs later from the event loop, between bookings, as it does in the program.
        const Clock::time_point t0 = Clock::now();
        race.book();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
        // Bookings come seconds apart in a race; here 40 ms, so that the publisher's ticks
        // and retries fall among them.
        idle(40);
    }
    if (publisher)
        state.counters["failed_uploads"] = failures;
    publisher.reset();
    other.quit();
    other.wait();
}
BENCHMARK(BM_Booking)->ArgName("dead_host")->Arg(0)->Arg(1)->Arg(2)->Iterations(Bookings)->Repetitions(3)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// The uploads of the given hour of a race at the default interval, made as the program makes
// them and each delivered: the standings change with every pass, so every tick sends them.
// Counted, not sent: the figure is the payload.
void BM_BytesPerHour(benchmark::State &state)
{
    const int hour = int(state.range(0));
    constexpr int TickMs = PublishService::DefaultIntervalSeconds * 1000;
    const QDateTime start(QDate(2026, 12, 8), QTime(10, 0));
    double bytes = 0;
    double uploads = 0;
    double pages = 0;
    double lastJson = 0;
    for (auto _ : state) {
        Race race;
        QFile logo(QStringLiteral(CHRONOLAUF_RESOURCES "/Logo.jpg"));
        PublishFiles files(QString(), logo.open(QIODevice::ReadOnly) ? logo.readAll() : QByteArray(),
                           QLocale(QLocale::German, QLocale::Germany));
        bytes = uploads = pages = 0;
        // Passes every 3 s and ticks every 10 s, in steps of a second.
        for (int second = 1; second <= hour * 3600; ++second) {
            if (second * 1000 % PassMs == 0)
                race.book();
            else
                race.wait(1000);
            if (second * 1000 % TickMs != 0)
                continue;
            const std::vector<PublishFile> set = files.make(*race.session().snapshot(), start.addSecs(second));
            files.delivered();
            if (second <= (hour - 1) * 3600)
                continue;
            for (const PublishFile &file : set) {
                bytes += double(file.content.size());
                pages += file.name == QLatin1String(PublishFiles::PageName) ? 1 : 0;
                if (file.name == QLatin1String(PublishFiles::StandingsName))
                    lastJson = double(file.content.size());
            }
            ++uploads;
        }
    }
    state.counters["uploads_per_hour"] = uploads;
    state.counters["pages_per_hour"] = pages;
    state.counters["bytes_per_hour"] = bytes;
    state.counters["MB_per_hour"] = bytes / 1e6;
    state.counters["json_bytes_at_end"] = lastJson;
}
// At a lap a minute each, the field reaches the 160-lap limit in hour 3; from then on every
// tick sends the full standings (the countdown changes): hour 4 is the largest.
BENCHMARK(BM_BytesPerHour)->ArgName("hour")->Arg(1)->Arg(2)->Arg(4)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
