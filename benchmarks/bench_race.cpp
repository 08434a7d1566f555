// Timing of the race core's hot paths: booking a lap late in a full race, and the 10 ms
// refresh of the running times. Both run on the GUI thread between two frames, so they
// must stay far below a frame: a booking under 20 µs, a refresh under 10 µs.
//
// Besides time, the booking path is checked for heap traffic: every cell text it writes
// is one QString allocation, anything above that is a temporary we would rather not have.

#include "core/RaceCore.h"
#include "core/TimeText.h"

#include <benchmark/benchmark.h>

#include <QLocale>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <tuple>
#include <vector>

// ---- heap accounting ----
//
// QString and the other Qt containers allocate with malloc(), not with operator new, so a
// replaced operator new alone would see none of the cell texts. This program therefore
// also takes the place of malloc/calloc/realloc/free (the executable's definitions win
// over libc's for every shared library, Qt included) and forwards them to glibc. The
// counters only move while counting is switched on, and only the benchmark thread runs
// while it is, so plain relaxed loads and stores do: no locked instruction in the timed path.
// aligned_alloc/posix_memalign are left to libc; nothing in the measured paths uses them.

namespace {

std::atomic<bool> gCounting{false};
std::atomic<std::uint64_t> gAllocations{0}; // malloc, calloc, realloc: every heap block handed out
std::atomic<std::uint64_t> gFrees{0};
std::atomic<std::uint64_t> gNewCalls{0}; // the subset that came through operator new

inline void bump(std::atomic<std::uint64_t> &counter)
{
    if (gCounting.load(std::memory_order_relaxed))
        counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

} // namespace

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *block, std::size_t size);
void __libc_free(void *block);

void *malloc(std::size_t size) noexcept
{
    bump(gAllocations);
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size) noexcept
{
    bump(gAllocations);
    return __libc_calloc(count, size);
}

void *realloc(void *block, std::size_t size) noexcept
{
    bump(gAllocations);
    return __libc_realloc(block, size);
}

void free(void *block) noexcept
{
    if (block)
        bump(gFrees);
    __libc_free(block);
}
} // extern "C"

void *operator new(std::size_t size)
{
    bump(gNewCalls);
    if (void *block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void *operator new[](std::size_t size)
{
    return ::operator new(size);
}

void operator delete(void *block) noexcept
{
    std::free(block);
}

void operator delete[](void *block) noexcept
{
    std::free(block);
}

void operator delete(void *block, std::size_t) noexcept
{
    std::free(block);
}

void operator delete[](void *block, std::size_t) noexcept
{
    std::free(block);
}

namespace {

// Counts heap traffic from construction to stop(), except while paused.
class HeapCount
{
public:
    HeapCount()
    {
        mAllocations = gAllocations.load();
        mFrees = gFrees.load();
        mNewCalls = gNewCalls.load();
        gCounting.store(true);
    }
    ~HeapCount() { gCounting.store(false); }
    HeapCount(const HeapCount &) = delete;
    HeapCount &operator=(const HeapCount &) = delete;

    void pause() { gCounting.store(false); }
    void resume() { gCounting.store(true); }
    void stop() { gCounting.store(false); }

    // Per-iteration averages, as benchmark counters.
    void report(benchmark::State &state) const
    {
        using benchmark::Counter;
        state.counters["allocs"] = Counter(double(gAllocations.load() - mAllocations), Counter::kAvgIterations);
        state.counters["frees"] = Counter(double(gFrees.load() - mFrees), Counter::kAvgIterations);
        state.counters["new"] = Counter(double(gNewCalls.load() - mNewCalls), Counter::kAvgIterations);
    }

private:
    std::uint64_t mAllocations = 0;
    std::uint64_t mFrees = 0;
    std::uint64_t mNewCalls = 0;
};

// ---- a race to measure on ----

using Kind = RaceInput::Kind;

constexpr int Participants = RaceTable::MaxParticipants; // the default participant count
constexpr int LastLap = RaceCore::MaxLapLimit;           // the default lap limit

QLocale raceLocale()
{
    return QLocale(QLocale::German, QLocale::Germany);
}

// Lap times between 60 and 90 s, a different pace for every participant (7 is coprime to 20,
// so the paces are a shuffle of the participant numbers and the standings are not simply
// 1, 2, 3 ...), with up to a second of lap-to-lap scatter. Always a multiple of 10 ms.
std::int32_t lapTimeMs(int p, int lap)
{
    const int pace = 60000 + ((p * 7) % Participants) * 1500;
    const int scatter = ((p * 131 + lap * 977) % 201 - 100) * 10;
    return pace + scatter;
}

// Tick of participant p's pass at the end of lap `lap`, the race having started at tick 0.
std::int32_t passTick(int p, int lap)
{
    std::int32_t tick = 0;
    for (int k = 1; k <= lap; ++k)
        tick += lapTimeMs(p, k);
    return tick;
}

RaceInput assign(int p, std::int32_t tick)
{
    return RaceInput{.kind = Kind::Assign, .tick = tick, .value = p};
}

// The passes of all participants from lap `from` to lap `to`, in the order they happen
// on the track: the fast ones lap the slow ones, as in a real race.
std::vector<RaceInput> passesInTrackOrder(int from, int to)
{
    std::vector<std::tuple<std::int32_t, int>> passes;
    for (int p = 1; p <= Participants; ++p) {
        std::int32_t tick = passTick(p, from - 1);
        for (int lap = from; lap <= to; ++lap) {
            tick += lapTimeMs(p, lap);
            passes.emplace_back(tick, p);
        }
    }
    std::sort(passes.begin(), passes.end());
    std::vector<RaceInput> inputs;
    inputs.reserve(passes.size());
    for (const auto &[tick, p] : passes)
        inputs.push_back(assign(p, tick));
    return inputs;
}

// A session of 20 participants, each with one lap to go: everybody has booked 159 laps,
// and the next pass of each is its 160th. Built once, by the same inputs the operator
// gives (a start, then a key press per pass with no pending times, so the key press is
// the pass). Nobody passes within 3 s of its previous pass, so the booking guard never
// refuses one and no Timer1 input is needed to clear it.
struct RaceBeforeLastLap
{
    RaceCore core{raceLocale()};
    std::vector<RaceInput> lastLaps; // everybody's 160th pass, in track order
    bool valid = false;

    RaceBeforeLastLap()
    {
        core.apply(RaceInput{.kind = Kind::StartCommand, .tick = 0});
        for (const RaceInput &input : passesInTrackOrder(1, LastLap - 1))
            core.apply(input);
        lastLaps = passesInTrackOrder(LastLap, LastLap);

        valid = core.carCount() == Participants && core.lapLimit() == LastLap
            && core.sessionState() == SessionState::Running && core.table().LeaderLaps() == LastLap - 1;
        for (int p = 1; p <= Participants; ++p)
            valid = valid && core.table().lapCount(p) == LastLap - 1;
    }
};

const RaceBeforeLastLap &raceBeforeLastLap()
{
    static const RaceBeforeLastLap race;
    return race;
}

bool everybodyAtLimit(const RaceCore &core)
{
    for (int p = 1; p <= Participants; ++p) {
        if (core.table().lapCount(p) != LastLap)
            return false;
    }
    return true;
}

// A working copy of a core. The copy would keep pointing at the original's built-in
// observer, so it is given back its own.
void copyCore(RaceCore &to, const RaceCore &from)
{
    to = from;
    to.setObserver(nullptr);
}

// The number of cell texts a booking leaves behind in fresh heap blocks, averaged over
// everybody's last lap. Every text the grid held before the booking is kept alive by a
// copy, so after it exactly the newly allocated texts are unshared (literals such as "-"
// or "1 Runde" are static data and never count, nor does a text moved to another cell).
double cellTextsPerBooking(const RaceBeforeLastLap &race)
{
    RaceCore core{raceLocale()};
    copyCore(core, race.core);
    std::vector<QString> before;
    int fresh = 0;
    for (const RaceInput &input : race.lastLaps) {
        before.clear();
        for (int r = 0; r < core.grid().rowCount(); ++r) {
            for (int c = 0; c < StandingsGrid::ColumnCount; ++c)
                before.push_back(core.grid().cell(c, r));
        }
        core.apply(input);
        for (int r = 0; r < core.grid().rowCount(); ++r) {
            for (int c = 0; c < StandingsGrid::ColumnCount; ++c) {
                if (core.grid().cell(c, r).isDetached())
                    ++fresh;
            }
        }
    }
    return double(fresh) / double(race.lastLaps.size());
}

// ---- benchmarks ----

// One booking: a participant's key pressed for its 160th and last lap, with all 20
// participants on 159 laps (the ones booked earlier in the same round are on 160).
// The booking ranks all participants, re-sorts the grid and rewrites place and gap
// texts of every row; with most of the field on the leader's lap the gaps are times,
// not lap counts, so this is about as expensive as a booking gets.
//
// A participant at the limit books nothing more, so the state has to be restored: each
// iteration books the next participant's last lap on a copy of the prepared race, and
// after all 20 the copy is refreshed from the prepared race with the clock paused. That
// pause is paid once per 20 bookings, and every one of them is a real last-lap booking.
// The copy shares its cell texts with the prepared race until it overwrites them, so the
// first booking after a refresh drops references instead of freeing texts; the frees of
// the other 19 are measured as they happen in the program.
void BM_Booking(benchmark::State &state)
{
    const RaceBeforeLastLap &race = raceBeforeLastLap();
    if (!race.valid) {
        state.SkipWithError("the prepared race does not have 20 participants on lap 159");
        return;
    }
    const double cellTexts = cellTextsPerBooking(race);

    RaceCore core{raceLocale()};
    copyCore(core, race.core);
    std::size_t next = 0;
    HeapCount heap;
    for (auto _ : state) {
        if (next == race.lastLaps.size()) {
            heap.pause();
            state.PauseTiming();
            if (!everybodyAtLimit(core)) {
                state.SkipWithError("a last-lap booking was not taken");
                break;
            }
            copyCore(core, race.core);
            next = 0;
            state.ResumeTiming();
            heap.resume();
        }
        core.apply(race.lastLaps[next++]);
    }
    heap.stop();
    heap.report(state);
    state.counters["cell_texts"] = cellTexts;
}
BENCHMARK(BM_Booking)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// One 10 ms refresh of the running lap times, 20 participants on track, 15 laps into
// the race: every row's current-time cell is rewritten.
void BM_RunningTimeTick(benchmark::State &state)
{
    RaceCore core{raceLocale()};
    core.apply(RaceInput{.kind = Kind::StartCommand, .tick = 0});
    const std::vector<RaceInput> passes = passesInTrackOrder(1, 15);
    for (const RaceInput &input : passes)
        core.apply(input);

    RaceInput tick{.kind = Kind::TimerAll, .tick = passes.back().tick};
    HeapCount heap;
    for (auto _ : state) {
        tick.tick = *tick.tick + 10;
        core.apply(tick);
    }
    heap.stop();
    heap.report(state);
    // Nobody may reach the limit here, or the session would stop refreshing.
    if (core.sessionState() != SessionState::Running)
        state.SkipWithError("the session ended during the refresh");
}
BENCHMARK(BM_RunningTimeTick)->Unit(benchmark::kMicrosecond)->MinTime(0.5);

// The time texts by themselves, to see what each written time costs: a lap time, and a
// race time over an hour (the longer form).
void BM_FormatRaceTime(benchmark::State &state)
{
    auto ms = static_cast<std::int32_t>(state.range(0));
    HeapCount heap;
    for (auto _ : state) {
        QString text = TimeText::FormatRaceTime(ms, QLatin1Char(','));
        benchmark::DoNotOptimize(text);
        ms ^= 10;
    }
    heap.stop();
    heap.report(state);
}
BENCHMARK(BM_FormatRaceTime)->Arg(75430)->Arg(12000430)->MinTime(0.2);

void BM_ParseRaceTime(benchmark::State &state)
{
    const QString text = QStringLiteral("3:20:00,43");
    HeapCount heap;
    for (auto _ : state) {
        std::int32_t ms = TimeText::ParseRaceTime(text);
        benchmark::DoNotOptimize(ms);
    }
    heap.stop();
    heap.report(state);
}
BENCHMARK(BM_ParseRaceTime)->MinTime(0.2);

} // namespace

BENCHMARK_MAIN();
