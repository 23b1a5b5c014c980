// The preview list on a folder of 100,000 files: opening it, and following a keystroke in a name field,
// beside a baseline measured in the same run: every new name composed once and looked up once in a hash
// set, the least any preview that finds clashes must do. The tree is the one bench_listing makes
// (/dev/shm, tmpfs), made here when missing. TALLYFOX_PREVIEW_FILES=1000000 runs the same on a folder of
// that many files named alike, made below TALLYFOX_BENCH_ROOT when missing. Each open also gives the
// memory the process held before it and the most it held during it. Figures and their reading:
// bench/README.md.

#include "bench/bench_support.h"
#include "core/naming.h"
#include "core/rename_run.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/posix_io.h"
#include "platform/settings_store.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"
#include "ui/help_window.h"
#include "ui/preview_window.h"
#include "ui/widgets/file_list_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRadioButton>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_set>
#include <vector>

using tallyfox::testing::ctl;

namespace {

namespace fs = std::filesystem;

void baseline(benchmark::State& state, const std::vector<std::string>& names, const tallyfox::NamingSettings& naming)
{
    for (auto _ : state) {
        std::vector<std::string> composed;
        composed.reserve(names.size());
        std::unordered_set<std::string_view> seen;
        seen.reserve(names.size());
        std::size_t clashes = 0;
        for (std::size_t i = 0; i < names.size(); ++i) {
            composed.push_back(tallyfox::ComposeNewName(names[i], static_cast<std::int64_t>(i), naming));
        }
        for (const std::string& name : composed) {
            clashes += seen.insert(name).second ? 0 : 1;
        }
        benchmark::DoNotOptimize(clashes);
        state.counters["files"] = static_cast<double>(composed.size());
    }
}

// Every event the change brought, the preview's own recomputing included.
void settle()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

void openPreview(benchmark::State& state, tallyfox::ui::PreviewWindow& preview)
{
    for (auto _ : state) {
        state.PauseTiming();
        const long before = tallyfox::bench::residentKiB();
        tallyfox::bench::resetPeakResident();
        state.ResumeTiming();
        preview.open();
        settle();
        state.PauseTiming();
        state.counters["files"] = static_cast<double>(preview.preview().states.size());
        state.counters["rss_before_MiB"] = static_cast<double>(before) / 1024.0;
        state.counters["peak_MiB"] = static_cast<double>(tallyfox::bench::peakResidentKiB()) / 1024.0;
        preview.close();
        settle();
        state.ResumeTiming();
    }
}

// A folder of `count` files named as the listing's tree names them, made when missing.
fs::path previewTree(int count)
{
    if (count == tallyfox::bench::kListingFiles) {
        return tallyfox::bench::listingTree();
    }
    const fs::path folder = tallyfox::bench::benchRoot() / ("files-" + std::to_string(count));
    const fs::path done = folder / ".complete";
    if (!fs::exists(done)) {
        tallyfox::bench::makeFolder(folder, count, 0, [count](int i) {
            static const char* const prefixes[] = {"img", "IMG_", "photo ", "写真", "DSC"};
            const auto number = static_cast<long long>(i) * 7919 % count;
            return prefixes[i % 5] + std::to_string(number) + (i % 2 == 0 ? ".jpg" : ".png");
        });
        ::close(::open(done.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    }
    return folder;
}

void press(QWidget* field, Qt::Key key, const QString& text)
{
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &down);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(field, &up);
}

// A letter typed into the text before the number and taken back, each followed to the end: the main
// window's preview line, the whole list's new names and states, and the repaint of the rows on screen.
void keystroke(benchmark::State& state, tallyfox::ui::TMain& window, tallyfox::ui::PreviewWindow& preview, bool slash)
{
    QWidget* field = ctl(window).editPrevName;
    field->setFocus();
    for (auto _ : state) {
        press(field, slash ? Qt::Key_Slash : Qt::Key_A, slash ? QStringLiteral("/") : QStringLiteral("a"));
        settle();
        state.counters["problems"] = static_cast<double>(preview.preview().problems);
        press(field, Qt::Key_Backspace, QString());
        settle();
    }
    state.counters["files"] = static_cast<double>(preview.preview().states.size());
    // Two keystrokes a round.
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 2);
}

} // namespace

int main(int argc, char** argv)
{
    tallyfox::platform::returnLargeBlocksAtOnce(); // as the program does
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const char* files = std::getenv("TALLYFOX_PREVIEW_FILES");
    const fs::path tree = previewTree(files != nullptr ? std::atoi(files) : tallyfox::bench::kListingFiles);
    QApplication application(argc, argv);
    tallyfox::platform::QtDialogs dialogs;
    if (::chdir(tree.c_str()) != 0) {
        return 1;
    }
    tallyfox::ui::HelpWindowViewer help;
    tallyfox::platform::PosixSettingsStore store;
    tallyfox::SettingsFile settings((tallyfox::bench::benchRoot() / "preview.ini").string(), store);
    tallyfox::ui::TMain window(tallyfox::ui::Services{.dialogs = dialogs, .help = help, .settings = settings});
    window.show();
    // The text before the number in use, as when a name is typed.
    ctl(window).rgForm->item(1)->click();
    ctl(window).editPrevName->setText(QStringLiteral("kyoto_"));
    QApplication::processEvents();
    auto* preview = window.findChild<tallyfox::ui::PreviewWindow*>();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (preview == nullptr) {
            preview = qobject_cast<tallyfox::ui::PreviewWindow*>(top);
        }
    }
    if (preview == nullptr) {
        return 1;
    }
    const tallyfox::NameList listed = ctl(window).FileListBox1->entries();
    const std::vector<std::string> names(listed.begin(), listed.end());
    const tallyfox::NamingSettings naming = window.namingSettings();
    std::printf("file system: tmpfs (%s), %zu files listed\n", tree.c_str(), names.size());

    benchmark::RegisterBenchmark("baseline: compose every new name + hash set", [&](benchmark::State& state) {
        baseline(state, names, naming);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("preview list: open (read the folder, plan, states, show)",
                                 [&](benchmark::State& state) {
                                     openPreview(state, *preview);
                                 })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("preview list open: keystroke, no problem", [&](benchmark::State& state) {
        preview->open();
        settle();
        keystroke(state, window, *preview, false);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("preview list open: keystroke making every new name unusable ('/')",
                                 [&](benchmark::State& state) {
                                     preview->open();
                                     settle();
                                     keystroke(state, window, *preview, true);
                                 })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rehearsal of the run's renames in memory (where one fate hangs on another)",
                                 [&](benchmark::State& state) {
                                     for (auto _ : state) {
                                         tallyfox::RunPlan plan = tallyfox::planRun(listed, naming);
                                         const auto outcome = tallyfox::rehearseRun(plan, naming.operation, names);
                                         benchmark::DoNotOptimize(outcome.data());
                                     }
                                 })
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("preview list closed: keystroke (the main window alone)",
                                 [&](benchmark::State& state) {
                                     preview->close();
                                     settle();
                                     keystroke(state, window, *preview, false);
                                 })
        ->Unit(benchmark::kMillisecond);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
