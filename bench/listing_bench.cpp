// Listing a folder of 100,000 files into the file list and its mirror, beside a plain baseline: readdir,
// a suffix filter and a sort by ICU's collator. The tree is made once on /dev/shm (tmpfs) and kept
// between runs. Figures and their reading: bench/README.md.

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
#include <sys/resource.h>
#include <unicode/ucol.h>
#include <unistd.h>
#include <vector>

using tallyfox::testing::ctl;

namespace {

namespace fs = std::filesystem;

constexpr int kFileCount = 100000;
const fs::path kTree = "/dev/shm/tallyfox-bench/files-100k";

// Half the names end in .jpg, the rest in .png; the numbers are not zero-filled, so the order has
// img10 before img2 as real folders do, and a tenth carry capitals and Japanese letters.
std::string fileName(int i)
{
    static const char* const prefixes[] = {"img", "IMG_", "photo ", "写真", "DSC"};
    std::string name = prefixes[i % 5];
    name += std::to_string((i * 7919) % kFileCount);
    name += i % 2 == 0 ? ".jpg" : ".png";
    return name;
}

void makeTree()
{
    const fs::path done = kTree / ".complete";
    if (fs::exists(done)) {
        return;
    }
    fs::remove_all(kTree);
    fs::create_directories(kTree);
    for (int i = 0; i < kFileCount; ++i) {
        const int fd = ::open((kTree / fileName(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
        }
    }
    const int fd = ::open(done.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ::close(fd);
}

long maxResidentKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long residentKiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The baseline: what any program that lists and sorts a folder must at least do.
void baseline(benchmark::State& state, const char* suffix)
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open("", &status);
    ucol_setStrength(collator, UCOL_SECONDARY);
    const std::size_t suffixLength = std::strlen(suffix);
    for (auto _ : state) {
        std::vector<std::string> names;
        DIR* dir = ::opendir(kTree.c_str());
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
    makeTree();
    QApplication application(argc, argv);
    tallyfox::platform::QtDialogs dialogs;
    const long before = residentKiB();
    if (::chdir(kTree.c_str()) != 0) {
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
    std::printf("file system: tmpfs (%s), %d files\n", kTree.c_str(), kFileCount);
    std::printf("memory with the folder open: resident %ld KiB (before the window %ld KiB), peak %ld KiB\n",
                residentKiB(),
                before,
                maxResidentKiB());

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
    std::printf("peak resident after the benchmarks: %ld KiB\n", maxResidentKiB());
    return 0;
}
