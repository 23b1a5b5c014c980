// Numbering 100,000 files from the command line, as a script does: `tallyfox number` in a process of its
// own (listing, order, the check of the new names, journal, lock and the run), beside mmv renaming the
// same tree by a pattern and beside the least any renamer must do, one rename per file and one listing,
// both as a program of its own and in this process. Each job makes
// its tree anew outside the timing; the wall time of the whole process is measured, and the CPU time
// of the child processes is given beside it. Trees live on /dev/shm (tmpfs) unless TALLYFOX_BENCH_ROOT
// names another folder.

#include "bench/bench_support.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tallyfox;
using bench::benchRoot;
using bench::childrenCpuSeconds;
using bench::makeFolder;
using bench::photoName;
using bench::runProgram;

constexpr int kFiles = 100000;

fs::path tree()
{
    return benchRoot() / "command-100k";
}

// Times `job` on a tree of 100,000 files IMG_n.jpg made anew before each repetition; the tree must then
// hold 100,000 files, none of them under its old name.
template <typename Job> void timeOnTree(benchmark::State& state, Job job)
{
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        makeFolder(tree(), kFiles, 0, photoName);
        const double cpuBefore = childrenCpuSeconds();
        state.ResumeTiming();
        const int status = job();
        state.PauseTiming();
        cpu += childrenCpuSeconds() - cpuBefore;
        std::size_t files = 0;
        bool renamed = true;
        for (const auto& entry : fs::directory_iterator(tree())) {
            ++files;
            renamed = renamed && !entry.path().filename().string().starts_with("IMG_");
        }
        if (status != 0 || files != static_cast<std::size_t>(kFiles) || !renamed) {
            state.SkipWithError("the files were not all renamed");
        }
        state.ResumeTiming();
    }
    state.counters["child_cpu_ms"] = benchmark::Counter(cpu * 1000.0 / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * kFiles);
}

// `tallyfox number DIR --before photo_ --digits 6`: photo_000001.jpg, ... in the file list's order.
void BM_CommandLine_Tallyfox(benchmark::State& state)
{
    ::setenv("XDG_STATE_HOME", (benchRoot() / "command-state").c_str(), 1);
    timeOnTree(state, [] {
        return runProgram({TALLYFOX_PROGRAM, "number", tree().string(), "--before", "photo_", "--digits", "6"},
                          benchRoot());
    });
}

// `mmv 'IMG_*.jpg' 'photo_#1.jpg'` in the folder: one rename per file, by pattern.
void BM_CommandLine_Mmv(benchmark::State& state)
{
    if (::access("/usr/bin/mmv", X_OK) != 0) {
        state.SkipWithError("mmv is not installed (apt-get install mmv)");
        return;
    }
    timeOnTree(state, [] {
        return runProgram({"/usr/bin/mmv", "IMG_*.jpg", "photo_#1.jpg"}, tree());
    });
}

// The same least work as a program of its own, run as the two renamers are run: one listing, then one
// renameat2(RENAME_NOREPLACE) per file to photo_000001.jpg, ... (bench/plain_renamer.cpp).
void BM_CommandLine_PlainProgram(benchmark::State& state)
{
    timeOnTree(state, [] {
        return runProgram({TALLYFOX_PLAIN_RENAMER, tree().string(), "photo_"}, benchRoot());
    });
}

// One renameat2(RENAME_NOREPLACE) per file on the folder's descriptor and one listing (readdir, suffix
// filter, ICU sort), in this process: the names to rename are read outside the timing.
void BM_CommandLine_Baseline(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        makeFolder(tree(), kFiles, 0, photoName);
        std::vector<std::string> names = bench::plainListing(tree().string());
        state.ResumeTiming();
        benchmark::DoNotOptimize(bench::renameThenList(tree(), std::move(names), [](std::size_t i) {
            return "photo_" + std::to_string(i + 1) + ".jpg";
        }));
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

} // namespace

BENCHMARK(BM_CommandLine_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CommandLine_PlainProgram)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CommandLine_Mmv)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_CommandLine_Tallyfox)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
