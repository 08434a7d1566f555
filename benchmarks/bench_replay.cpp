// Timing of rebuilding a session from its record: a full 24-hour race of 20 participants with
// 160 laps each, captured first and then assigned (about 5,000 recorded inputs with the
// refreshes before them). An undo rebuilds the whole session without the lap, and a recovery
// at start-up does the same from the journal file, so this is their cost: goal under 100 ms.
// The journal read is measured too, as the part a recovery adds.

#include "core/TickSource.h"
#include "session/JournalHeader.h"
#include "session/JournalReader.h"
#include "session/JournalWriter.h"
#include "session/RaceSession.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// The record of a full race, as the live session made it: its set-up and its inputs.
std::pair<SessionSetup, std::vector<RaceInput>> fullRace()
{
    using Kind = RaceInput::Kind;
    auto owned = std::make_unique<ManualTickSource>(1000);
    ManualTickSource &clock = *owned;
    RaceSession session(std::move(owned), QLocale(QLocale::German, QLocale::Germany));
    session.submit({.kind = Kind::DurationEdited, .text = QStringLiteral("86400")});
    session.submit({.kind = Kind::StartCommand});
    for (int lap = 1; lap <= 160; ++lap) {
        for (int p = 1; p <= 20; ++p) {
            clock.advance(1500 + std::uint32_t(p) * 7);
            session.submit({.kind = Kind::CapturePass});
            session.submit({.kind = Kind::TimerAll});
            session.submit({.kind = Kind::Assign, .value = p});
            session.submit({.kind = Kind::Timer1});
        }
    }
    return {session.setup(), session.history()};
}

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
