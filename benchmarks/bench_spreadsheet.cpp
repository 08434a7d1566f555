// Timing of the spreadsheet files: the results workbook of a full race (20 participants,
// 160 laps: a lap block of 171 rows x 22 columns) written to disk, and a starter list of
// 20 rows read from each format. Both run on the file worker, not the GUI thread; the goals
// are what keeps them from being noticed: an export under 100 ms, an import under 20 ms.
//
// The export includes building both blocks, writing the .xlsx and syncing it to disk; the
// import includes reading the file, the conversion of every cell to text and the list's end.

#include "core/RaceCore.h"
#include "core/ResultsSnapshot.h"
#include "core/TickSource.h"
#include "results/SpreadsheetExport.h"
#include "results/StarterListImport.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

ResultsSnapshot fullRace()
{
    RaceCore core(QLocale(QLocale::German, QLocale::Germany));
    core.apply({.kind = RaceInput::Kind::CarCountChanged, .tick = 0, .value = 20});
    core.apply({.kind = RaceInput::Kind::StartCommand, .tick = 0});
    for (int lap = 1; lap <= RaceCore::MaxLapLimit; ++lap) {
        for (int p = 1; p <= 20; ++p)
            core.apply({.kind = RaceInput::Kind::Assign, .tick = lap * 60000 + p * 1000, .value = p});
    }
    return ResultsSnapshot::of(core);
}

// Exports the full race into dir again and again; with a template there, it must be used.
void exportFullRace(benchmark::State &state, const QTemporaryDir &dir, bool templated)
{
    const ResultsSnapshot results = fullRace();
    int n = 0;
    for (auto _ : state) {
        SpreadsheetExport::Context context{.date = QStringLiteral("08.12.2026"), .subject = QStringLiteral("Chronolauf v1.8"),
                                           .comments = QString(), .workingDir = dir.path(),
                                           .baseName = QStringLiteral("bench-%1").arg(++n), .now = QDateTime::currentDateTime()};
        const auto result = SpreadsheetExport::ExportSpreadsheet(results, context);
        if (!result.ok())
            state.SkipWithError(result.error.toStdString().c_str());
        else if (templated && !result.usedTemplate)
            state.SkipWithError("the template was not used");
    }
}

void BM_ExportFullRace(benchmark::State &state)
{
    QTemporaryDir dir;
    exportFullRace(state, dir, false);
}
BENCHMARK(BM_ExportFullRace)->Unit(benchmark::kMillisecond);

// The same into the .xltx template in the working directory: read by the helper program, its
// package edited.
void BM_ExportFullRaceTemplate(benchmark::State &state)
{
    QTemporaryDir dir;
    QFile::copy(QStringLiteral(CHRONOLAUF_TEST_DATA "/templates/Ergebnis-Mustervorlage.xltx"),
                dir.filePath(QStringLiteral("Ergebnis-Mustervorlage.xltx")));
    exportFullRace(state, dir, true);
}
BENCHMARK(BM_ExportFullRaceTemplate)->Unit(benchmark::kMillisecond);

void BM_ImportStarters(benchmark::State &state, const char *file)
{
    const QString path = QStringLiteral(CHRONOLAUF_TEST_DATA "/starters/") + QString::fromLatin1(file);
    for (auto _ : state) {
        const auto result = StarterListImport::ImportStarterList(path, QLocale(QLocale::German, QLocale::Germany));
        if (result.rows.size() != StarterListImport::MaxStarters)
            state.SkipWithError("the list did not give 20 starters");
    }
}
BENCHMARK_CAPTURE(BM_ImportStarters, xls, "starters-25.xls")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportStarters, xlsx, "starters-25.xlsx")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportStarters, ods, "starters-25.ods")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ImportStarters, csv, "starters-25.csv")->Unit(benchmark::kMillisecond);

} // namespace
