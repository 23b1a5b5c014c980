// The rename run over 100,000 files and the copy of 10,000 files into a save folder, each beside a plain
// baseline measured in the same process; and what the window's progress bar costs per transferred file.
// Trees live on /dev/shm (tmpfs) unless TALLYFOX_BENCH_ROOT names another folder. Figures: bench/README.md.

#include "bench/bench_support.h"
#include "core/collation.h"
#include "core/file_list.h"
#include "core/file_mask.h"
#include "core/rename_run.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/file_operations.h"
#include "platform/folders.h"
#include "platform/locale.h"
#include "platform/settings_store.h"
#include "platform/syscalls.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"
#include "ui/help_window.h"
#include "ui/widgets/gauge.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tallyfox;
using bench::benchRoot;
using bench::makeFolder;
using bench::plainListing;
using tallyfox::testing::ctl;

void emptyFolder(const fs::path& folder)
{
    for (const auto& entry : fs::directory_iterator(folder)) {
        ::unlink(entry.path().c_str());
    }
}

// The listing the window makes of a folder under a mask: read, match, look up kinds, sort by keys.
NameList listFolder(const std::string& folder, const std::string& mask, const NameCollator& collator)
{
    platform::enterFolder(platform::systemCalls(), folder);
    const FileMask fileMask(mask);
    std::vector<FolderEntry> entries = platform::readFolder(platform::systemCalls(), ".", [&](std::string_view name) {
        return listsName(name, fileMask);
    });
    return orderFiles(std::move(entries), collator);
}

// The run without its window: no boxes to answer, a bar nobody sees, and the end's listing of the file
// list (the mirror takes its names, as in the window).
class BenchHost final : public RunHost
{
public:
    BenchHost(std::string folder, const NameCollator& collator)
        : m_folder(std::move(folder))
        , m_collator(collator)
    {
    }

    RunAnswer ask(const std::string&, RunBox) override
    {
        return RunAnswer::Ok;
    }
    void setProgress(int percent) override
    {
        benchmark::DoNotOptimize(percent);
    }
    void relistFileLists() override
    {
        listed = listFolder(m_folder, "*.*", m_collator);
        mirror = listed;
    }

    NameList listed;
    NameList mirror;

private:
    std::string m_folder;
    const NameCollator& m_collator;
};

constexpr int kRunFiles = 100000;
constexpr int kCopyFiles = 10000;
constexpr std::size_t kCopyBytes = 4096;

void BM_Run_NameNumber(benchmark::State& state)
{
    const fs::path folder = benchRoot() / "run-100k";
    makeFolder(folder, kRunFiles, 0, bench::photoName);
    NamingSettings naming;
    naming.pattern = NamePattern::NameNumber;
    naming.textBefore = "photo_";
    naming.digitCount = 6;
    for (auto _ : state) {
        state.PauseTiming();
        // The run starts from the list as the window shows it.
        RunRequest request;
        request.folder = folder.string();
        request.names = listFolder(request.folder, "*.*", bench::userCollator());
        request.naming = naming;
        request.confirmBeforeRun = 0;
        BenchHost host(request.folder, bench::userCollator());
        platform::PosixFileOperations files;
        state.ResumeTiming();
        const RunResult result = runRename(request, host, files);
        if (!result.failures.empty() || host.listed.size() != kRunFiles) {
            state.SkipWithError("the run did not rename every file");
        }
    }
    state.SetItemsProcessed(state.iterations() * kRunFiles);
}

void BM_Run_Baseline(benchmark::State& state)
{
    const fs::path folder = benchRoot() / "run-100k";
    makeFolder(folder, kRunFiles, 0, bench::photoName);
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<std::string> names = plainListing(folder.string());
        state.ResumeTiming();
        // Two renames per file, through a temporary name, then one listing.
        benchmark::DoNotOptimize(bench::renameThenList(
            folder,
            std::move(names),
            [](std::size_t i) {
                return "photo_" + std::to_string(i + 1) + ".jpg";
            },
            [](std::size_t i) {
                std::string temporary(1, '_');
                temporary += std::to_string(i + 1);
                return temporary + ".jpg";
            }));
    }
    state.SetItemsProcessed(state.iterations() * kRunFiles);
}

void BM_Copy_FileOperations(benchmark::State& state)
{
    const fs::path source = benchRoot() / "copy-10k";
    const fs::path save = benchRoot() / "copy-save";
    makeFolder(source, kCopyFiles, kCopyBytes, bench::photoName);
    fs::create_directories(save);
    std::vector<std::string> names = plainListing(source.string());
    for (auto _ : state) {
        state.PauseTiming();
        emptyFolder(save);
        platform::PosixFileOperations files;
        state.ResumeTiming();
        for (const std::string& name : names) {
            const std::string target = save.string() + "/" + name;
            if (files.fileExists(target) || files.copyFile(source.string() + "/" + name, target, false) != 0) {
                state.SkipWithError("a copy failed");
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kCopyFiles);
}

void BM_Copy_Baseline(benchmark::State& state)
{
    const fs::path source = benchRoot() / "copy-10k";
    const fs::path save = benchRoot() / "copy-save";
    makeFolder(source, kCopyFiles, kCopyBytes, bench::photoName);
    fs::create_directories(save);
    std::vector<std::string> names = plainListing(source.string());
    for (auto _ : state) {
        state.PauseTiming();
        emptyFolder(save);
        state.ResumeTiming();
        bench::copyLoop(source, save, names, kCopyBytes);
    }
    state.SetItemsProcessed(state.iterations() * kCopyFiles);
}

// The whole RenameCopy run of 10,000 files into an empty save folder, without the window.
void BM_Run_RenameCopy(benchmark::State& state)
{
    const fs::path source = benchRoot() / "copy-10k";
    const fs::path save = benchRoot() / "copy-save";
    makeFolder(source, kCopyFiles, kCopyBytes, bench::photoName);
    fs::create_directories(save);
    NamingSettings naming;
    naming.operation = FileOperation::RenameCopy;
    naming.digitCount = 5;
    for (auto _ : state) {
        state.PauseTiming();
        emptyFolder(save);
        RunRequest request;
        request.folder = source.string();
        request.names = listFolder(request.folder, "*.*", bench::userCollator());
        request.naming = naming;
        request.saveFolder = save.string();
        request.confirmBeforeRun = 0;
        BenchHost host(request.folder, bench::userCollator());
        platform::PosixFileOperations files;
        state.ResumeTiming();
        if (!runRename(request, host, files).failures.empty()) {
            state.SkipWithError("the run failed files");
        }
    }
    state.SetItemsProcessed(state.iterations() * kCopyFiles);
}

// What the window's bar costs for each file of the transfer pass: a sweep from 0 to 100, each step
// repainted at once, then 0.
void BM_Window_TransferSweep(benchmark::State& state)
{
    platform::QtDialogs dialogs;
    ui::HelpWindowViewer help;
    platform::PosixSettingsStore store;
    SettingsFile settings((benchRoot() / "sweep.ini").string(), store);
    ui::TMain window(ui::Services{.dialogs = dialogs, .help = help, .settings = settings});
    window.show();
    QApplication::processEvents();
    for (auto _ : state) {
        for (int percent = 0; percent <= 100; ++percent) {
            ctl(window).Gauge1->setValue(percent);
            ctl(window).Gauge1->repaint();
        }
        ctl(window).Gauge1->setValue(0);
        ctl(window).Gauge1->repaint();
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(BM_Run_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Run_NameNumber)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Copy_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Copy_FileOperations)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Run_RenameCopy)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Window_TransferSweep)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("peak resident memory: %.1f MB\n", static_cast<double>(bench::peakResidentKiB()) / 1024.0);
    return 0;
}
