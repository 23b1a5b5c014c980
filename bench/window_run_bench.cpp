// What the user waits for in the real window: from the press of the run button to the completion box
// (numbering 10,000 and 100,000 files whose new names are free, a shift by one where every new name is
// another listed file's old one, and a rename and copy of 10,000 files of 4 KiB with the progress bar
// drawn), and from making the window to both lists filled with 100,000 and 1,000,000 files; each beside its
// baseline in one process, the numbering with free names also beside mmv renaming the same tree. Trees
// live on /dev/shm (tmpfs) unless TALLYFOX_BENCH_ROOT names another folder.

#include "bench/bench_support.h"
#include "core/collation.h"
#include "core/settings.h"
#include "platform/locale.h"
#include "platform/posix_io.h"
#include "platform/settings_store.h"
#include "platform/testing/scripted_dialogs.h"
#include "platform/testing/scripted_help_viewer.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
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
using bench::plainListing;
using bench::runProgram;
using tallyfox::testing::ctl;

constexpr int kRunFiles = 100000;
constexpr int kCopyFiles = 10000;
constexpr std::size_t kCopyBytes = 4096;

// 000001.jpg, 000002.jpg, ...: numbered from 2 they shift by one, each new name held by the next file.
std::string numberedName(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "%06d.jpg", i + 1);
    return name;
}

// The program's window with scripted boxes, started in a folder as the program starts in its working
// folder; the settings file is new every time.
struct Window
{
    explicit Window(const fs::path& folder)
    {
        fs::remove(benchRoot() / "window.ini");
        if (::chdir(folder.c_str()) != 0) {
            std::perror("chdir");
        }
        window = std::make_unique<ui::TMain>(ui::Services{.dialogs = dialogs,
                                                          .help = help,
                                                          .settings = settings,
                                                          .journalFolder = (benchRoot() / "journals").string()});
        window->show();
        QApplication::processEvents();
        window->ConfirmBeforeRun = 0;
    }

    platform::ScriptedDialogs dialogs;
    platform::ScriptedHelpViewer help;
    platform::PosixSettingsStore store;
    SettingsFile settings{(benchRoot() / "window.ini").string(), store};
    std::unique_ptr<ui::TMain> window;
};

// The processor time of every thread of the process so far, in ms.
double processCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Presses the run button as the user does and waits for the completion box. Besides the wall time, the
// processor time of all threads (the run's own and its helpers, beside the window's) is counted as
// "cpu_all_ms": Google Benchmark's CPU column counts the window's thread alone. The wall time ends when
// the press's handler has ended, after the box; "box_ms" is the time from the press until the completion
// box is shown.
void pressRun(benchmark::State& state, Window& w, std::size_t expected)
{
    const double cpuBefore = processCpuMs();
    state.counters["before_MiB"] = static_cast<double>(bench::residentKiB()) / 1024;
    bench::resetPeakResident();
    std::chrono::steady_clock::time_point boxShown{};
    w.dialogs.onNextMessage([&boxShown](const platform::Message&) {
        boxShown = std::chrono::steady_clock::now();
    });
    const std::chrono::steady_clock::time_point pressed = std::chrono::steady_clock::now();
    state.ResumeTiming();
    ctl(w.window).sbRename->click();
    state.PauseTiming();
    state.counters["cpu_all_ms"] = processCpuMs() - cpuBefore;
    state.counters["box_ms"] = std::chrono::duration<double, std::milli>(boxShown - pressed).count();
    state.counters["peak_MiB"] = static_cast<double>(bench::peakResidentKiB()) / 1024;
    if (ctl(w.window).ListBox1->entries.size() != expected || w.dialogs.messages.empty()
        || w.dialogs.messages.back().icon != platform::MessageIcon::Information) {
        state.SkipWithError("the run did not process every file");
    }
}

// Presses 実行 in a window on `folder` and times it to the completion box; `prepare` makes the tree anew
// and `configure` sets the window, both outside the timing.
void timeWindowRun(benchmark::State& state,
                   const fs::path& folder,
                   int files,
                   const std::function<void()>& prepare,
                   const std::function<void(ui::TMain&)>& configure)
{
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        Window w(folder);
        configure(*w.window);
        pressRun(state, w, static_cast<std::size_t>(files));
        w.window.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * files);
}

// Times `baseline` on the names of `folder` as listed, `prepare` making the tree anew outside the timing.
void timeBaseline(benchmark::State& state,
                  const fs::path& folder,
                  int files,
                  const std::function<void()>& prepare,
                  const std::function<void(std::vector<std::string>)>& baseline)
{
    for (auto _ : state) {
        state.PauseTiming();
        prepare();
        std::vector<std::string> names = plainListing(folder.string());
        state.ResumeTiming();
        baseline(std::move(names));
    }
    state.SetItemsProcessed(state.iterations() * files);
}

std::string photoNumber(std::size_t i)
{
    return "photo_" + std::to_string(i + 1) + ".jpg";
}

// The folder of a numbering with free names of `files` files.
fs::path numberFolder(int files)
{
    return benchRoot() / ("number-" + std::to_string(files / 1000) + "k");
}

void BM_Number_Free_Window(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const fs::path folder = numberFolder(files);
    timeWindowRun(
        state,
        folder,
        files,
        [&] {
            makeFolder(folder, files, 0, photoName);
        },
        [](ui::TMain& window) {
            ctl(window).rgForm->setItemIndex(static_cast<int>(NamePattern::NameNumber));
            ctl(window).editPrevName->assignText(QStringLiteral("photo_"));
            ctl(window).seZeroNum->setValue(6);
        });
}

// The undo of that numbering from the file list's context menu, as the user asks for it once the run is
// over: from the menu item to the box that tells the names are back, the question answered at once, with
// the peak resident memory of the process meanwhile.
void BM_Undo_Window(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const fs::path folder = numberFolder(files);
    for (auto _ : state) {
        state.PauseTiming();
        makeFolder(folder, files, 0, photoName);
        Window w(folder);
        ctl(w.window).seZeroNum->setValue(6);
        ctl(w.window).sbRename->click();
        QApplication::processEvents();
        QWidget* list = ctl(w.window).FileListBox1->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list, &event);
        auto* menu = ctl(w.window).FileListBox1->findChild<QMenu*>(QStringLiteral("FileListMenu"));
        if (menu == nullptr || menu->actions().isEmpty()) {
            state.SkipWithError("no undo in the file list's menu");
            break;
        }
        menu->close();
        w.dialogs.messages.clear();
        state.counters["before_MiB"] = static_cast<double>(bench::residentKiB()) / 1024;
        bench::resetPeakResident();
        state.ResumeTiming();
        menu->actions().front()->trigger();
        QApplication::processEvents(); // the menu's command runs once the menu is gone
        state.PauseTiming();
        state.counters["peak_MiB"] = static_cast<double>(bench::peakResidentKiB()) / 1024;
        if (w.dialogs.messages.size() != 2
            || !w.dialogs.messages.back().text.startsWith(QStringLiteral("処理前の名前に戻しました。"))
            || !fs::exists(folder / photoName(files - 1))) {
            state.SkipWithError("the files are not back");
            break;
        }
        w.window.reset();
        state.ResumeTiming();
    }
}

// One renameat2 per file on the folder's descriptor, then one listing.
void BM_Number_Free_Baseline(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const fs::path folder = numberFolder(files);
    timeBaseline(
        state,
        folder,
        files,
        [&] {
            makeFolder(folder, files, 0, photoName);
        },
        [&](std::vector<std::string> names) {
            benchmark::DoNotOptimize(bench::renameThenList(folder, std::move(names), photoNumber));
        });
}

// `mmv 'IMG_*.jpg' 'photo_#1.jpg'` in the same tree, as a program of its own (Debian's mmv): one rename
// per file by pattern, after its own checks of the pattern's names. "cpu_all_ms" is the child's processor
// time, user and system.
void BM_Number_Free_Mmv(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const fs::path folder = numberFolder(files);
    if (::access("/usr/bin/mmv", X_OK) != 0) {
        state.SkipWithError("mmv is not installed (apt-get install mmv)");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        makeFolder(folder, files, 0, photoName);
        const double cpuBefore = childrenCpuSeconds();
        state.ResumeTiming();
        const int status = runProgram({"/usr/bin/mmv", "IMG_*.jpg", "photo_#1.jpg"}, folder);
        state.PauseTiming();
        state.counters["cpu_all_ms"] = (childrenCpuSeconds() - cpuBefore) * 1000.0;
        std::size_t renamed = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            renamed += entry.path().filename().string().starts_with("photo_") ? 1 : 0;
        }
        if (status != 0 || renamed != static_cast<std::size_t>(files)) {
            state.SkipWithError("mmv did not rename every file");
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * files);
}

void BM_Number_Shift_Window(benchmark::State& state)
{
    const fs::path folder = benchRoot() / "shift-100k";
    timeWindowRun(
        state,
        folder,
        kRunFiles,
        [&] {
            makeFolder(folder, kRunFiles, 0, numberedName);
        },
        [](ui::TMain& window) {
            ctl(window).seZeroNum->setValue(6);
            ctl(window).seStartNum->setValue(2);
        });
}

// Two renameat2 per file, through a temporary name, then one listing.
void BM_Number_Shift_Baseline(benchmark::State& state)
{
    const fs::path folder = benchRoot() / "shift-100k";
    const auto shifted = [](std::size_t i) {
        return numberedName(static_cast<int>(i) + 1);
    };
    timeBaseline(
        state,
        folder,
        kRunFiles,
        [&] {
            makeFolder(folder, kRunFiles, 0, numberedName);
        },
        [&](std::vector<std::string> names) {
            benchmark::DoNotOptimize(bench::renameThenList(folder, std::move(names), shifted, [&](std::size_t i) {
                std::string temporary(1, '_');
                return temporary += shifted(i);
            }));
        });
}

void BM_RenameCopy_Window(benchmark::State& state)
{
    const fs::path folder = benchRoot() / "copy-10k";
    const fs::path save = benchRoot() / "copy-save";
    const auto prepare = [&] {
        makeFolder(folder, kCopyFiles, kCopyBytes, photoName);
        fs::remove_all(save);
        fs::create_directories(save);
    };
    timeWindowRun(state, folder, kCopyFiles, prepare, [&](ui::TMain& window) {
        ctl(window).rgSetting->setItemIndex(static_cast<int>(FileOperation::RenameCopy));
        ctl(window).editSaveFolder->assignText(QString::fromStdString(save.string() + "/"));
        ctl(window).seZeroNum->setValue(5);
    });
}

// open, open(O_CREAT | O_EXCL), copy_file_range, two close per file.
void BM_RenameCopy_Baseline(benchmark::State& state)
{
    const fs::path folder = benchRoot() / "copy-10k";
    const fs::path save = benchRoot() / "copy-save";
    const auto prepare = [&] {
        makeFolder(folder, kCopyFiles, kCopyBytes, photoName);
        fs::remove_all(save);
        fs::create_directories(save);
    };
    timeBaseline(state, folder, kCopyFiles, prepare, [&](std::vector<std::string> names) {
        bench::copyLoop(folder, save, names, kCopyBytes);
    });
}

long g_residentWithFolderKiB = 0;

// The folder of `files` files IMG_n.jpg that the start-up opens, made when missing and kept.
fs::path startFolder(int files)
{
    const fs::path folder = benchRoot() / ("start-" + std::to_string(files / 1000) + "k");
    if (!fs::exists(folder / photoName(files - 1))) {
        makeFolder(folder, files, 0, photoName);
    }
    return folder;
}

// From making the window to its first paint, both lists filled.
void BM_Startup_Folder(benchmark::State& state)
{
    const int files = static_cast<int>(state.range(0));
    const fs::path folder = startFolder(files);
    for (auto _ : state) {
        Window w(folder);
        state.PauseTiming();
        if (ctl(w.window).FileListBox1->count() != files
            || ctl(w.window).FileListBox2->entries.size() != static_cast<std::size_t>(files)) {
            state.SkipWithError("the lists are not filled");
        }
        state.counters["resident_MiB"] = static_cast<double>(bench::residentKiB()) / 1024;
        if (files == kRunFiles) {
            g_residentWithFolderKiB = bench::residentKiB();
        }
        w.window.reset();
        state.ResumeTiming();
    }
}

// The same start in an empty folder, plus one listing of the folder of the same files.
void BM_Startup_Baseline(benchmark::State& state)
{
    const fs::path empty = benchRoot() / "start-empty";
    const fs::path folder = startFolder(static_cast<int>(state.range(0)));
    fs::create_directories(empty);
    for (auto _ : state) {
        Window w(empty);
        benchmark::DoNotOptimize(plainListing(folder.string()));
        state.PauseTiming();
        w.window.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_Number_Free_Baseline)
    ->Arg(10000)
    ->Arg(kRunFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Number_Free_Window)
    ->Arg(10000)
    ->Arg(kRunFiles)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Number_Free_Mmv)->Arg(10000)->Arg(kRunFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
// A million files: run alone (--benchmark_filter=million), as the peak is the process's.
BENCHMARK(BM_Number_Free_Baseline)
    ->Name("BM_Number_Free_Baseline_million")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Number_Free_Window)
    ->Name("BM_Number_Free_Window_million")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Undo_Window)->Arg(10000)->Arg(kRunFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Undo_Window)
    ->Name("BM_Undo_Window_million")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Number_Shift_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Number_Shift_Window)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_RenameCopy_Baseline)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_RenameCopy_Window)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Startup_Baseline)->Arg(kRunFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Startup_Folder)->Arg(kRunFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
// A million files: the tree (about a gigabyte of tmpfs inodes) is made on the first run and kept.
BENCHMARK(BM_Startup_Baseline)
    ->Name("BM_Startup_Baseline_million")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_Startup_Folder)
    ->Name("BM_Startup_Folder_million")
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

int main(int argc, char** argv)
{
    tallyfox::platform::returnLargeBlocksAtOnce(); // as the program does
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("resident with the window open on 100,000 files: %.1f MB; peak of the process: %.1f MB\n",
                static_cast<double>(g_residentWithFolderKiB) / 1024.0,
                static_cast<double>(bench::peakResidentKiB()) / 1024.0);
    return 0;
}
