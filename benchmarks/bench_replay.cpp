// Timing of rebuilding a session from its record: a full 24-hour race of 20 participants with
// 160 laps each, captured first and then assigned (about 5,000 recorded inputs with the
// refreshes before them). An undo rebuilds the whole session without the lap, and a recovery
// at start-up does the same from the journal file, so this is their cost: goal under 100 ms.
// The journal read is measured too, as the part a recovery adds. And a correction of a lap at
// hour 23 of such a race, applied live and taken back with Ctrl+Z.

#include "FullRace.h"
#include "core/TickSource.h"
#include "session/JournalHeader.h"
#include "session/JournalReader.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

using Kind = RaceInput::Kind;

// The record of a full race, as the live session made it: its set-up and its inputs.
std::pair<SessionSetup, std::vector<RaceInput>> fullRace()
{
    auto owned = std::make_unique<ManualTickSource>(1000);
    ManualTickSource &clock = *owned;
    RaceSession session(std::move(owned), QLocale(QLocale::German, QLocale::Germany));
    RunFullRace(session, clock, 1500);
    return {session.setup(), session.history()};
}

// A correction applied and its results made, as every view reads them: goal under 50 ms.
void BM_CorrectionAtHour23(benchmark::State &state)
{
    Hour23 race;
    bool struck = false;
    for (auto _ : state) {
        race.clock->advance(1000);
        race.session.submit(race.correction(struck ? Kind::RestorePass : Kind::StrikePass));
        benchmark::DoNotOptimize(race.session.snapshot());
        struck = !struck;
    }
}
BENCHMARK(BM_CorrectionAtHour23)->Unit(benchmark::kMillisecond);

// Ctrl+Z of a correction rebuilds the session without it.
void BM_UndoCorrectionAtHour23(benchmark::State &state)
{
    Hour23 race;
    for (auto _ : state) {
        race.clock->advance(1000);
        race.session.submit(race.correction(Kind::StrikePass));
        race.session.submit({.kind = Kind::Undo});
        benchmark::DoNotOptimize(race.session.snapshot());
    }
}
BENCHMARK(BM_UndoCorrectionAtHour23)->Unit(benchmark::kMillisecond);

void BM_RebuildFullRace(benchmark::State &state)
{
    const auto [setup, record] = fullRace();
    RaceSession session(std::make_unique<ManualTickSource>(0), QLocale(QLocale::German, QLocale::Germany));
    for (auto _ : state)
        session.restore(setup, record);
    state.counters["inputs"] = double(record.size());
}
BENCHMARK(BM_RebuildFullRace)->Unit(benchmark::kMillisecond);

void BM_ReadFullJournal(benchmark::State &state)
{
    const std::vector<RaceInput> record = fullRace().second;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("race.journal"));
    {
        JournalWriter writer;
        writer.open(path, JournalHeader{});
        for (const RaceInput &input : record)
            writer.append(input);
    }
    for (auto _ : state) {
        JournalReader reader;
        benchmark::DoNotOptimize(reader.read(path));
    }
    state.counters["bytes"] = double(QFileInfo(path).size());
}
BENCHMARK(BM_ReadFullJournal)->Unit(benchmark::kMillisecond);

} // namespace
