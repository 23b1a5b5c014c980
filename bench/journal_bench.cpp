// What the journal costs a run of 100,000 renames: the same run with and without it, on the file system
// of TALLYFOX_BENCH_ROOT (default /dev/shm, tmpfs), the journals kept beside the files.
#include "bench/bench_support.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/journal_store.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tallyfox;

constexpr int kFiles = 100000;

using bench::SilentHost;

std::filesystem::path root()
{
    return bench::benchRoot() / "journal";
}

// A folder of empty files named IMG_n.jpg, in the order a run numbers them.
RunRequest makeTree()
{
    const std::filesystem::path folder = root() / "files";
    std::filesystem::remove_all(root());
    std::filesystem::create_directories(folder);
    RunRequest request;
    request.folder = folder.string();
    request.confirmBeforeRun = 0;
    request.naming.operation = FileOperation::RenameOnly;
    request.naming.digitCount = 6;
    NameList::Builder names;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "IMG_" + std::to_string(i) + ".jpg";
        ::close(::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
        names.add(name);
    }
    request.names = names.finish();
    ::sync();
    return request;
}

void run(benchmark::State& state, bool journal)
{
    for (auto _ : state) {
        state.PauseTiming();
        const RunRequest request = makeTree();
        state.ResumeTiming();
        SilentHost host;
        platform::PosixFileOperations files;
        platform::StoredRunRecord record(platform::systemCalls(), (root() / "journals").string());
        const RunResult result = runRename(request, host, files, journal ? &record : nullptr);
        if (result.failures.size() != 0) {
            state.SkipWithError("files not renamed");
        }
    }
    std::filesystem::remove_all(root());
}

void BM_Run_WithoutJournal(benchmark::State& state)
{
    run(state, false);
}

void BM_Run_WithJournal(benchmark::State& state)
{
    run(state, true);
}

} // namespace

BENCHMARK(BM_Run_WithoutJournal)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Run_WithJournal)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK_MAIN();
