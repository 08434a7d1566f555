// The entry point of the benchmarks that need Qt's event loop or its core services (threads,
// sockets, timers): a QCoreApplication around Google Benchmark's own run; for the benchmarks of
// windows (built with CHRONOLAUF_BENCHMARK_WIDGETS) a QApplication.
#ifdef CHRONOLAUF_BENCHMARK_WIDGETS
#include <QApplication>
using Application = QApplication;
#else
#include <QCoreApplication>
using Application = QCoreApplication;
#endif

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
