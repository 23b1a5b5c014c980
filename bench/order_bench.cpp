// Putting a folder of 10,000 photos in order at one stroke, beside a plain baseline: the dates taken read
// from each file's Exif data, the modification times, the order by numbers in names and the reverse. The
// photos are made once on /dev/shm (tmpfs) and kept between runs. Figures and their reading:
// bench/README.md.

#include "core/file_order.h"
#include "platform/dialogs.h"
#include "platform/file_times.h"
#include "platform/settings_store.h"
#include "tests/support/exif_files.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"
#include "ui/help_window.h"
#include "ui/widgets/file_list_box.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using tallyfox::testing::ctl;
using namespace tallyfox::testing::exif;

namespace {

namespace fs = std::filesystem;

constexpr int kPhotoCount = 10000;
const fs::path kTree = "/dev/shm/tallyfox-bench/photos-10k";

// Exif data shaped as a camera writes it: a dozen entries in the first directory, two dozen in the Exif
// directory with the dates, and a maker note of 24 KiB that the library keeps without reading it;
// then 8 KiB of picture. About 33 KiB a file.
std::string photo(int i)
{
    constexpr std::uint32_t kFirstCount = 12;
    constexpr std::uint32_t kExifCount = 24;
    constexpr std::uint32_t kExifAt = 8 + 2 + kFirstCount * 12 + 4;
    constexpr std::uint32_t kDataAt = kExifAt + 2 + kExifCount * 12 + 4;
    constexpr std::uint32_t kMakerNoteSize = 24 * 1024;
    std::vector<Entry> first;
    for (std::uint16_t tag = 0x0100; first.size() + 1 < kFirstCount; ++tag) {
        first.push_back({tag, kShort, 1, static_cast<std::uint32_t>(i & 0xFFFF)});
    }
    first.push_back({kExifPointer, kLong, 1, kExifAt});
    // Taken over 10,000 minutes, in an order other than the names'.
    const int minute = (i * 7919) % kPhotoCount;
    char date[32];
    std::snprintf(date, sizeof date, "2021:05:%02d %02d:%02d:00", 1 + minute / 1440, minute / 60 % 24, minute % 60);
    std::vector<Entry> exif{{kDateOriginal, kAscii, 20, kDataAt}, {kDateDigitized, kAscii, 20, kDataAt + 20}};
    for (std::uint16_t tag = 0xA000; exif.size() + 1 < kExifCount; ++tag) {
        exif.push_back({tag, kShort, 1, 1});
    }
    exif.push_back({0x927C, 7, kMakerNoteSize, kDataAt + 40});
    std::string tiff = tiffHeader() + directory(kFirstCount, first, 0) + directory(kExifCount, exif, 0);
    tiff += dateText(date) + dateText(date) + std::string(kMakerNoteSize, '\x5A');
    return jpeg(tiff) + std::string(8 * 1024, '\x33');
}

std::string photoName(int i)
{
    return "IMG_" + std::to_string(i + 1) + ".JPG";
}

void makeTree()
{
    const fs::path done = kTree / ".complete";
    if (fs::exists(done)) {
        return;
    }
    fs::remove_all(kTree);
    fs::create_directories(kTree);
    for (int i = 0; i < kPhotoCount; ++i) {
        const std::string content = photo(i);
        const int fd = ::open((kTree / photoName(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
                std::fprintf(stderr, "cannot write %s\n", photoName(i).c_str());
            }
            ::close(fd);
        }
    }
    const int fd = ::open(done.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ::close(fd);
}

std::vector<std::string> photoNames()
{
    std::vector<std::string> names;
    for (int i = 0; i < kPhotoCount; ++i) {
        names.push_back(photoName(i));
    }
    return names;
}

// The baseline: the least any reader of a date in a photo's Exif data does with each file: open it, ask
// its size and times, read its first 64 KiB (where a JPEG keeps its Exif segment) and close it.
void baseline(benchmark::State& state)
{
    const std::vector<std::string> names = photoNames();
    std::string buffer(64 * 1024, '\0');
    for (auto _ : state) {
        std::size_t total = 0;
        for (const std::string& name : names) {
            const int fd = ::open((kTree / name).c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st
            {
            };
            ::fstat(fd, &st);
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            total += got > 0 ? static_cast<std::size_t>(got) : 0;
            ::close(fd);
        }
        benchmark::DoNotOptimize(total);
        state.counters["files"] = static_cast<double>(names.size());
    }
}

// The platform's reading of every file's times, without the window.
void readTimes(benchmark::State& state, tallyfox::platform::FileTimesWanted wanted)
{
    const std::vector<std::string> names = photoNames();
    for (auto _ : state) {
        const std::vector<tallyfox::FileTimes> times =
            tallyfox::platform::readFileTimes(tallyfox::platform::systemCalls(), kTree.string(), names, wanted, 0, {});
        std::size_t dated = 0;
        for (const tallyfox::FileTimes& time : times) {
            dated += time.taken.has_value() ? 1 : 0;
        }
        state.counters["dated"] = static_cast<double>(dated);
    }
}

// The window's reordering, as the context menu will ask for it: the times read, the order found, both
// lists reordered, the selection kept, the preview recomputed and the window repainted.
void reorder(benchmark::State& state, tallyfox::ui::TMain& window, tallyfox::FileOrder order)
{
    for (auto _ : state) {
        window.fileSelection().reorder(order);
        QApplication::processEvents();
        state.counters["files"] = static_cast<double>(ctl(window).FileListBox1->count());
    }
    if (ctl(window).FileListBox2->entries != ctl(window).FileListBox1->entries()) {
        state.SkipWithError("the mirror differs from the file list");
    }
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    makeTree();
    QApplication application(argc, argv);
    tallyfox::platform::QtDialogs dialogs;
    if (::chdir(kTree.c_str()) != 0) {
        return 1;
    }
    tallyfox::ui::HelpWindowViewer help;
    // Settings of the bench's own, so that the user's are never read or written.
    tallyfox::platform::PosixSettingsStore store;
    tallyfox::SettingsFile settings("/dev/shm/tallyfox-bench/order.ini", store);
    tallyfox::ui::TMain window(tallyfox::ui::Services{.dialogs = dialogs, .help = help, .settings = settings});
    window.show();
    QApplication::processEvents();
    ctl(window).FileListBox1->setItemIndex(kPhotoCount / 2);
    std::printf("file system: tmpfs (%s), %d photos of %zu bytes\n", kTree.c_str(), kPhotoCount, photo(0).size());

    using tallyfox::FileOrder;
    using tallyfox::platform::FileTimesWanted;
    benchmark::RegisterBenchmark("baseline open+fstat+read 64 KiB+close", baseline)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("read times: modified and taken (Exif)", [](benchmark::State& state) {
        readTimes(state, FileTimesWanted::ModifiedAndTaken);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("read times: modified only", [](benchmark::State& state) {
        readTimes(state, FileTimesWanted::Modified);
    })->Unit(benchmark::kMillisecond);
    const std::pair<const char*, FileOrder> orders[] = {
        {"window reorder: date taken", FileOrder::Taken},
        {"window reorder: modified", FileOrder::Modified},
        {"window reorder: numbers in names", FileOrder::NaturalName},
        {"window reorder: name", FileOrder::Name},
        {"window reorder: reverse", FileOrder::Reverse},
    };
    for (const auto& [name, order] : orders) {
        benchmark::RegisterBenchmark(name, [&window, order = order](benchmark::State& state) {
            reorder(state, window, order);
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
