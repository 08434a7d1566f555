// The live standings: the snapshot is taken on the GUI thread (at most every 100 ms while the
// server runs) and must stay far below a booking's budget; its JSON is made on the server's
// thread once per change, whatever the number of clients, and only has to fit the 100 ms
// between two sends. The page is made once per change that some client asks for.

#include "core/RaceCore.h"
#include "core/ResultsSnapshot.h"
#include "live/LivePage.h"
#include "live/StandingsJson.h"

#include <benchmark/benchmark.h>

#include <QLocale>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

using Kind = RaceInput::Kind;

constexpr int Participants = RaceTable::MaxParticipants;
constexpr int Laps = RaceCore::MaxLapLimit;

// Paces between 60 and 79 s, shuffled over the participants so that the field is not in
// number order, with a little lap-to-lap scatter.
std::int32_t lapTimeMs(int p, int lap)
{
    return 60000 + ((p * 7) % Participants) * 1000 + ((p * 131 + lap * 977) % 201 - 100) * 10;
}

// Every participant has run every lap: the longest standings the program can produce.
const RaceCore &fullRace()
{
    static const RaceCore core = [] {
        RaceCore c(QLocale(QLocale::German, QLocale::Germany));
        QList<QStringList> starters;
        for (int p = 1; p <= Participants; ++p)
            starters.append({QString::number(100 + p), QStringLiteral("Läufergruppe Süd-Ost %1").arg(p)});
        c.apply({.kind = Kind::StarterListImported, .tick = 0, .table = starters});
        c.apply({.kind = Kind::TitleEdited, .tick = 0, .text = QStringLiteral("24-Stunden-Lauf „Rund um den Wöhrder See“")});
        // Long enough that no gong ends the race before the last lap.
        c.apply({.kind = Kind::DurationEdited, .tick = 0, .text = QStringLiteral("24:00:00")});
        c.apply({.kind = Kind::StartCommand, .tick = 0});

        std::vector<std::pair<std::int32_t, int>> passes;
        for (int p = 1; p <= Participants; ++p) {
            std::int32_t tick = 0;
            for (int lap = 1; lap <= Laps; ++lap)
                passes.emplace_back(tick += lapTimeMs(p, lap), p);
        }
        std::sort(passes.begin(), passes.end());
        for (const auto &[tick, p] : passes)
            c.apply({.kind = Kind::Assign, .tick = tick, .value = p});
        return c;
    }();
    return core;
}

const QString Date = QStringLiteral("08.12.26");

void BM_SnapshotAndJson(benchmark::State &state)
{
    const RaceCore &core = fullRace();
    for (int p = 1; p <= Participants; ++p) {
        if (core.table().lapCount(p) != Laps) {
            state.SkipWithError("the race did not book every lap");
            return;
        }
    }
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray json = StandingsJson::of(ResultsSnapshot::of(core), Date);
        bytes = json.size();
        benchmark::DoNotOptimize(json.constData());
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_SnapshotAndJson)->Unit(benchmark::kMicrosecond);

// The JSON alone, from a snapshot taken once: what the serialiser itself costs.
void BM_Json(benchmark::State &state)
{
    const ResultsSnapshot results = ResultsSnapshot::of(fullRace());
    for (auto _ : state) {
        const QByteArray json = StandingsJson::of(results, Date);
        benchmark::DoNotOptimize(json.constData());
    }
}
BENCHMARK(BM_Json)->Unit(benchmark::kMicrosecond);

void BM_Page(benchmark::State &state)
{
    const ResultsSnapshot results = ResultsSnapshot::of(fullRace());
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray page = LivePage::of(results, Date);
        bytes = page.size();
        benchmark::DoNotOptimize(page.constData());
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(BM_Page)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
