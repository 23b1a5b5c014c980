// What the undo costs beside the run it undoes: runs of 100,000 empty files in three orders (a shift
// forward, which the run takes from the far end; a shift backward, which the undo must take from the far
// end; neighbours swapped, which needs a private name per pair), each timed, then its undo timed as the
// window makes it, through RunHistory from reading the journal to the last file back. Trees live on
// /dev/shm (tmpfs) unless TALLYFOX_BENCH_ROOT names another folder; the journals are kept beside them.
#include "bench/bench_support.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/journal_store.h"
#include "platform/posix_io.h"
#include "platform/syscalls.h"
#include "platform/testing/scripted_dialogs.h"
#include "ui/run_history.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tallyfox;

constexpr int kFiles = 100000;

enum class Order
{
    Forward,  // numbered from 2: each file takes the next one's name
    Backward, // numbered from 0: each file takes the previous one's name
    Swaps,    // listed 2, 1, 4, 3, ... and numbered from 1: neighbours take each other's names
};

using bench::SilentHost;

fs::path root()
{
    return bench::benchRoot() / "undo";
}

fs::path journals()
{
    return root() / "journals";
}

// 000001.jpg, 000002.jpg, ...: six digits, as the run numbers them, so every new name is an old one.
std::string numberedName(int number)
{
    char name[16];
    std::snprintf(name, sizeof name, "%06d.jpg", number);
    return name;
}

// A folder of `count` empty files 000001.jpg... (`count` even for the swaps), listed in the order's
// order and numbered from the order's start.
RunRequest makeTree(Order order, int count)
{
    const fs::path folder = root() / "files";
    fs::remove_all(root());
    fs::create_directories(folder);
    RunRequest request;
    request.folder = folder.string();
    request.confirmBeforeRun = 0;
    request.naming.operation = FileOperation::RenameOnly;
    request.naming.pattern = NamePattern::NumberOnly;
    request.naming.digitCount = 6;
    request.naming.startNumber = order == Order::Forward ? 2 : order == Order::Backward ? 0 : 1;
    NameList::Builder names;
    for (int i = 0; i < count; ++i) {
        const int number = order == Order::Swaps ? (i % 2 == 0 ? i + 2 : i) : i + 1;
        const std::string name = numberedName(number);
        ::close(::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        names.add(name);
    }
    request.names = names.finish();
    ::sync();
    return request;
}

// The run of `request`, journaled as the window's run is; false when a file did not take its new name.
bool runJournaled(const RunRequest& request)
{
    SilentHost host;
    platform::PosixFileOperations files;
    platform::StoredRunRecord record(platform::systemCalls(), journals().string());
    const RunResult result = runRename(request, host, files, &record);
    if (!result.started || !result.failures.empty() || !record.written()) {
        std::fprintf(stderr,
                     "started %d, %zu failures (first: %s %s), journal %d\n",
                     result.started,
                     result.failures.size(),
                     result.failures.empty() ? "" : result.failures[0].before.c_str(),
                     result.failures.empty() ? "" : result.failures[0].reason.c_str(),
                     record.written());
    }
    return result.started && result.failures.empty() && record.written();
}

// Whether the folder holds exactly `names`, nothing more (a private name left behind would show).
bool holdsExactly(const std::string& folder, const NameList& listed)
{
    std::vector<std::string> names(listed.begin(), listed.end());
    std::vector<std::string> found;
    found.reserve(names.size());
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") {
                found.emplace_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    std::sort(names.begin(), names.end());
    return found == names;
}

void BM_Run(benchmark::State& state, Order order)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const RunRequest request = makeTree(order, count);
        bench::resetPeakResident();
        state.ResumeTiming();
        if (!runJournaled(request)) {
            state.SkipWithError("files not renamed");
            break;
        }
    }
    state.counters["peak_MiB"] = static_cast<double>(bench::peakResidentKiB()) / 1024;
    fs::remove_all(root());
}

void BM_Undo(benchmark::State& state, Order order)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const RunRequest request = makeTree(order, count);
        if (!runJournaled(request)) {
            state.SkipWithError("files not renamed");
            break;
        }
        platform::ScriptedDialogs dialogs;
        // As the window does once the run is over: what the run let go goes back to the system.
        platform::returnFreedMemory();
        state.counters["before_MiB"] = static_cast<double>(bench::residentKiB()) / 1024;
        bench::resetPeakResident();
        const auto started = std::chrono::steady_clock::now();
        dialogs.onNextMessage([&](const platform::Message&) {
            state.counters["question_ms"] =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        });
        state.ResumeTiming();
        // The window's undo: the last journal read, the folder locked, the question (OK), every file
        // back, the journal marked restored and the report.
        ui::RunHistory history(dialogs, platform::systemCalls(), journals().string());
        const bool undone = history.undoLast();
        state.PauseTiming();
        const bool reported = !dialogs.messages.empty()
                              && dialogs.messages.back().text.startsWith(QStringLiteral("処理前の名前に戻しました。"))
                              && dialogs.messages.back().icon == platform::MessageIcon::Information;
        if (!undone || !reported || !holdsExactly(request.folder, request.names)) {
            state.SkipWithError("files not back at their old names");
            break;
        }
        state.ResumeTiming();
    }
    state.counters["peak_MiB"] = static_cast<double>(bench::peakResidentKiB()) / 1024;
    fs::remove_all(root());
}

// What an undo of a backward shift cannot do without, beside it: one listing and one rename a file back,
// last file first (`looks`: false), and the same with the undo's two looks, a look at each file before
// (shared among threads, as the undo's plan takes them) and one after its rename (`looks`: true).
void BM_UndoBaseline(benchmark::State& state, bool looks)
{
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        const RunRequest request = makeTree(Order::Backward, count);
        if (!runJournaled(request)) {
            state.SkipWithError("files not renamed");
            break;
        }
        state.ResumeTiming();
        const std::vector<std::string> listed = bench::plainListing(request.folder);
        benchmark::DoNotOptimize(listed.data());
        const int dir = ::open(request.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (looks) {
            const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1U, 4U);
            std::vector<std::thread> lookers;
            for (unsigned part = 0; part < threads; ++part) {
                lookers.emplace_back([&, part] {
                    struct statx st;
                    for (int i = static_cast<int>(part); i < count; i += static_cast<int>(threads)) {
                        ::statx(
                            dir, numberedName(i).c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st);
                    }
                });
            }
            for (std::thread& looker : lookers) {
                looker.join();
            }
        }
        for (int i = count - 1; i >= 0; --i) {
            const std::string old = numberedName(i + 1);
            ::renameat2(dir, numberedName(i).c_str(), dir, old.c_str(), RENAME_NOREPLACE);
            if (looks) {
                struct statx st;
                ::statx(dir, old.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &st);
            }
        }
        ::close(dir);
        state.PauseTiming();
        if (!holdsExactly(request.folder, request.names)) {
            state.SkipWithError("files not back at their old names");
            break;
        }
        state.ResumeTiming();
    }
    fs::remove_all(root());
}

} // namespace

BENCHMARK_CAPTURE(BM_UndoBaseline, rename_and_listing, false)
    ->Arg(kFiles)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_UndoBaseline, with_looks, true)
    ->Arg(kFiles)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Run, forward_shift, Order::Forward)
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Undo, forward_shift, Order::Forward)
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Run, backward_shift, Order::Backward)
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Undo, backward_shift, Order::Backward)
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Run, swaps, Order::Swaps)
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Undo, swaps, Order::Swaps)
    ->Arg(kFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
// Small folders: the undo of a shift backward grows with the files, not with their square.
BENCHMARK_CAPTURE(BM_Run, backward_shift_small, Order::Backward)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Undo, backward_shift_small, Order::Backward)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(4000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
// A million files: the time to the question and the peak memory. Run alone
// (--benchmark_filter=million), as the peak is the process's.
BENCHMARK_CAPTURE(BM_Run, backward_shift_million, Order::Backward)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Undo, backward_shift_million, Order::Backward)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
int main(int argc, char** argv)
{
    tallyfox::platform::returnLargeBlocksAtOnce(); // as the program does
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
