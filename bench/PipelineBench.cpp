// Whole conversions through the real tools, with the share of the wall time
// spent in the program's own steps (copy, pictures, split, package, archive,
// target) as a counter. The book is TAVISTEL_BENCH_BOOK or the toc fixture;
// bench/make_long_book.sh makes a long one.
#include "base/Paths.h"
#include "engine/AzwEpubEng.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <map>
#include <set>

namespace {

QString BenchBook()
{
    const QString chosen = qEnvironmentVariable("TAVISTEL_BENCH_BOOK");
    if (!chosen.isEmpty())
        return chosen;
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../tests/data/toc.azw");
}

void BM_ConvertBook(benchmark::State& state)
{
    // The bench programs live in build/bench, the tools in build/bin/core.
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    SetToolFolder(QFileInfo(exe).absolutePath() + QStringLiteral("/../bin/core"));
    QTemporaryDir out;
    const std::set<QString> own = {"copy", "pictures", "split", "package", "archive", "target"};
    std::map<QString, double> stages;

    AzwEpubEng engine;
    engine.AddJob(BenchBook());
    engine.outputFolder = out.path();
    engine.SetCallback([](void*, int kind, int, int) { return kind == NotifyAskOverwrite ? 1 : 0; }, nullptr);
    engine.stageTimer = [&stages](const QString& stage, double seconds) { stages[stage] += seconds; };
    for (auto _ : state) {
        engine.Start();
        engine.WaitForWorker();
        if (engine.GetJob(0).status != StatusFinished) {
            state.SkipWithError(("conversion failed: " + engine.JobReason(0)).toStdString().c_str());
            break;
        }
    }
    double total = 0;
    double mine = 0;
    for (const auto& [stage, seconds] : stages) {
        total += seconds;
        if (own.count(stage))
            mine += seconds;
        state.counters[stage.toStdString()] =
            benchmark::Counter(seconds, benchmark::Counter::kAvgIterations);
    }
    state.counters["own_share_pct"] = total > 0 ? 100.0 * mine / total : 0.0;
    SetToolFolder({});
}
BENCHMARK(BM_ConvertBook)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
