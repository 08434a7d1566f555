// The corrections window on a live race at hour 23 (20 participants x 160 laps): opening it on a
// participant, its laps listed and painted (goal under 100 ms), and a correction applied and
// shown, the main window and the corrections window painted again (goal under 50 ms). Run on
// the offscreen platform:
//   QT_QPA_PLATFORM=offscreen build-bench/benchmarks/bench_corrections_window

#include "FullRace.h"
#include "NoPrinter.h"
#include "platform/DesktopShell.h"
#include "ui/CorrectionsWindow.h"
#include "ui/TFormMain.h"

#include <benchmark/benchmark.h>

namespace {

using Kind = RaceInput::Kind;

// The real main window on the race, shown, as the operator has it.
struct Window
{
    Hour23 race;
    DesktopShell shell;
    NoPrinter printer;
    TFormMain form{race.session, TFormMain::Services{shell, printer}};
    Window() { form.show(); }
};

void BM_OpenCorrectionsWindow(benchmark::State &state)
{
    Window window;
    // A window made afresh each time, so that nothing of a previous opening is reused.
    for (auto _ : state) {
        CorrectionsWindow corrections(window.race.session, &window.form);
        corrections.open(7);
        corrections.repaint();
    }
}
BENCHMARK(BM_OpenCorrectionsWindow)->Unit(benchmark::kMillisecond);

void BM_CorrectionShownAtHour23(benchmark::State &state)
{
    Window window;
    CorrectionsWindow &corrections = *window.form.Corrections;
    corrections.open(7);
    bool struck = false;
    for (auto _ : state) {
        window.race.clock->advance(1000);
        window.race.session.submit(window.race.correction(struck ? Kind::RestorePass : Kind::StrikePass));
        window.form.repaint();
        corrections.repaint();
        struck = !struck;
    }
}
BENCHMARK(BM_CorrectionShownAtHour23)->Unit(benchmark::kMillisecond);

} // namespace
