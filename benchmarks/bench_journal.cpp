// Timing of the session journal. An append runs on the GUI thread before the input's effect
// is shown, so it has to stay far below a frame: under 20 µs at the 99th percentile, with
// the sync thread busy on the same file. Reading back a full 24-hour race (20 participants,
// 160 laps each, 5,000 inputs) is the first step of every recovery and undo; its file
// should stay under 2 MB.
//
// Run from a Release build: build-bench/benchmarks/bench_journal

#include "session/JournalFolder.h"
#include "session/JournalReader.h"
#include "session/JournalWriter.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdint>
#include <vector>

namespace {

using Kind = RaceInput::Kind;

JournalHeader raceHeader()
{
    return {.setup = {.participantCount = 20,
                      .durationSeconds = 86400,
                      .title = QStringLiteral("24 Stunden von Überlingen"),
                      .sessionType = 0},
            .startTick = 1000,
            .startWallClockMs = 1796725200000,
            .bootId = QStringLiteral("3f6c2b1e-8a5d-4c07-9e4b-2d1a0f9c8e77")};
}

// The inputs of a full race, 5,000 in all: 3,200 laps, 1,798 of them booked from a captured
// pass (one by the finish barrier) and the rest by the participant's key alone; start and stop.
std::vector<RaceInput> fullRace()
{
    std::vector<RaceInput> inputs;
    inputs.push_back({.kind = Kind::StartCommand, .tick = 1000});
    std::int32_t tick = 1000;
    for (int lap = 0; lap < 3200; ++lap) {
        tick += 27000 + lap % 7 * 10;
        const int participant = lap % 20 + 1;
        if (lap < 1797)
            inputs.push_back({.kind = Kind::CapturePass, .tick = tick});
        else if (lap == 1797)
            inputs.push_back({.kind = Kind::LineEvent, .tick = tick, .value = RaceInput::MsDsrOn, .lines = RaceInput::EvDsr});
        inputs.push_back({.kind = Kind::Assign, .tick = tick + 850, .value = participant});
    }
    inputs.push_back({.kind = Kind::StartCommand, .tick = tick + 1000, .confirmed = true, .answers = RaceInput::Question::StopAllTimes});
    return inputs;
}

double percentile(std::vector<double> &sorted, double p)
{
    return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
}

// Per-append wall time measured around each call; the counters are in microseconds. After
// each append the event loop turns once, as the GUI thread's does after an input: that turn
// hands the written lines to the sync thread (waking it), timed apart as "turn". Argument:
// the pause between two inputs in µs (0: a burst, the sync thread never idle; 2000: inputs
// as they come in a race, every one finding the sync thread asleep).
void BM_JournalAppend(benchmark::State &state)
{
    QTemporaryDir dir;
    JournalWriter writer;
    if (!writer.open(JournalFolder(QDir(dir.path())).create(QDateTime::currentDateTime()), raceHeader())) {
        state.SkipWithError("cannot open the journal");
        return;
    }
    const auto pause = std::chrono::microseconds(state.range(0));
    const std::vector<RaceInput> inputs = fullRace();
    std::vector<double> append;
    std::vector<double> turn;
    append.reserve(std::size_t(state.max_iterations));
    turn.reserve(std::size_t(state.max_iterations));
    std::size_t next = 0;
    bool ok = true;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        ok &= writer.append(inputs[next]);
        const auto appended = std::chrono::steady_clock::now();
        QCoreApplication::processEvents();
        const auto turned = std::chrono::steady_clock::now();
        append.push_back(std::chrono::duration<double, std::micro>(appended - begin).count());
        turn.push_back(std::chrono::duration<double, std::micro>(turned - appended).count());
        next = (next + 1) % inputs.size();
        if (pause.count() > 0)
            std::this_thread::sleep_for(pause);
    }
    if (!ok)
        state.SkipWithError("an append failed");
    std::sort(append.begin(), append.end());
    std::sort(turn.begin(), turn.end());
    state.counters["p50_us"] = percentile(append, 0.50);
    state.counters["p99_us"] = percentile(append, 0.99);
    state.counters["max_us"] = append.back();
    state.counters["turn_p50_us"] = percentile(turn, 0.50);
    state.counters["turn_p99_us"] = percentile(turn, 0.99);
    writer.close(QStringLiteral("Ende"));
}
BENCHMARK(BM_JournalAppend)->Arg(0)->Iterations(50000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JournalAppend)->Arg(2000)->Iterations(3000)->Unit(benchmark::kMicrosecond);

void BM_JournalReadFullRace(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = JournalFolder(QDir(dir.path())).create(QDateTime::currentDateTime());
    const std::vector<RaceInput> inputs = fullRace();
    {
        JournalWriter writer;
        writer.open(path, raceHeader());
        for (const RaceInput &in : inputs)
            writer.append(in);
        writer.close(QStringLiteral("Programmende"));
    }
    JournalReader reader;
    for (auto _ : state) {
        if (!reader.read(path)) {
            state.SkipWithError(qPrintable(reader.error()));
            return;
        }
        benchmark::DoNotOptimize(reader.inputs().data());
    }
    if (reader.inputs().size() != qsizetype(inputs.size()) || !reader.cleanEnd())
        state.SkipWithError("the journal did not come back whole");
    state.counters["inputs"] = double(reader.inputs().size());
    state.counters["file_bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(BM_JournalReadFullRace)->Unit(benchmark::kMillisecond);

} // namespace
