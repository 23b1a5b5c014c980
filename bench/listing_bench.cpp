// Listing a folder of 100,000 files into the file list and its mirror, beside a plain baseline: readdir,
// a suffix filter and a sort by ICU's collator. The tree is made once on /dev/shm (tmpfs) and kept
// between runs. Figures and their reading: bench/README.md.

#include "bench/bench_support.h"
#include "core/filter_list.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/settings_store.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"
#include "ui/help_window.h"
#include "ui/widgets/file_list_box.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unicode/ucol.h>
#include <unistd.h>
#include <vector>

using tallyfox::testing::ctl;

namespace {

namespace fs = std::filesystem;

constexpr int kFileCount = tallyfox::bench::kListingFiles;

// The baseline: what any program that lists and sorts a folder must at least do.
void baseline(benchmark::State& state, const char* suffix)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open("", &status);
    ucol_setStrength(collator, UCOL_SECONDARY);
    const std::size_t suffixLength = std::strlen(suffix);
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(tallyfox::bench::listingTree().c_str());
        while (const dirent* entry = ::readdir(dir)) {
            const std::size_t length = std::strlen(entry->d_name);
            if (entry->d_name[0] == '.' || length < suffixLength
                || std::strcmp(entry->d_name + length - suffixLength, suffix) != 0) {
                continue;
            }
            names.emplace_back(entry->d_name, length);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end(), [collator](const std::string& a, const std::string& b) {
            UErrorCode error = U_ZERO_ERROR;
            return ucol_strcollUTF8(collator,
                                    a.data(),
                                    static_cast<int32_t>(a.size()),
                                    b.data(),
                                    static_cast<int32_t>(b.size()),
                                    &error)
                   == UCOL_LESS;
        });
        benchmark::DoNotOptimize(names.data());
        state.counters["files"] = static_cast<double>(names.size());
    }
    ucol_close(collator);
}

// A user's pick of a filter entry: the file list read, sorted and shown, the count written, the
// mirror filled, and the window repainted.
void pickFilter(benchmark::State& state, tallyfox::ui::TMain& window, int index)
{
    for (auto _ : state) {
        window.fileSelection().selectFilterIndex(index);
        window.fileSelection().filterPicked();
        QApplication::processEvents();
        state.counters["files"] = static_cast<double>(ctl(window).FileListBox1->count());
    }
    if (ctl(window).FileListBox2->entries != ctl(window).FileListBox1->entries()) {
        state.SkipWithError("the mirror differs from the file list");
    }
}

// The file list alone, listed anew with its folder and mask: the pick above less the mirror and the count.
void listFileListAnew(benchmark::State& state, tallyfox::ui::TMain& window)
{
    for (auto _ : state) {
        window.fileSelection().relistFileList();
        QApplication::processEvents();
        state.counters["files"] = static_cast<double>(ctl(window).FileListBox1->count());
    }
}

void listMirrorAnew(benchmark::State& state, tallyfox::ui::TMain& window)
{
    for (auto _ : state) {
        window.fileSelection().rereadMirror();
        state.counters["files"] = static_cast<double>(ctl(window).FileListBox2->count());
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const fs::path& tree = tallyfox::bench::listingTree();
    QApplication application(argc, argv);
    tallyfox::platform::QtDialogs dialogs;
    const long before = tallyfox::bench::residentKiB();
    if (::chdir(tree.c_str()) != 0) {
        return 1;
    }
    // The window starts in the folder of 100,000 files and lists it at start-up.
    tallyfox::ui::HelpWindowViewer help;
    // Settings of the bench's own, so that the user's are never read or written.
    tallyfox::platform::PosixSettingsStore store;
    tallyfox::SettingsFile settings("/dev/shm/tallyfox-bench/listing.ini", store);
    tallyfox::ui::TMain window(tallyfox::ui::Services{.dialogs = dialogs, .help = help, .settings = settings});
    window.show();
    QApplication::processEvents();
    std::printf("file system: tmpfs (%s), %d files\n", tree.c_str(), kFileCount);
    std::printf("memory with the folder open: resident %ld KiB (before the window %ld KiB), peak %ld KiB\n",
                tallyfox::bench::residentKiB(),
                before,
                tallyfox::bench::peakResidentKiB());

    benchmark::RegisterBenchmark("baseline readdir+suffix+ICU collator sort, *.*", [](benchmark::State& state) {
        baseline(state, "");
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("file list + mirror (TMain filter change), *.*", [&window](benchmark::State& state) {
        pickFilter(state, window, 0);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("baseline readdir+suffix+ICU collator sort, *.jpg", [](benchmark::State& state) {
        baseline(state, ".jpg");
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("file list + mirror (TMain filter change), *.jpg;*jpeg",
                                 [&window](benchmark::State& state) {
                                     pickFilter(state, window, 1);
                                 })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("file list alone listed anew, *.jpg;*jpeg", [&window](benchmark::State& state) {
        listFileListAnew(state, window);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("mirror alone read anew (the run's listing), *.jpg;*jpeg",
                                 [&window](benchmark::State& state) {
                                     listMirrorAnew(state, window);
                                 })
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("peak resident after the benchmarks: %ld KiB\n", tallyfox::bench::peakResidentKiB());
    return 0;
}
