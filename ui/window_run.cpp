#include "ui/window_run.h"

#include "platform/dialogs.h"
#include "platform/posix_io.h"
#include "ui/file_selection.h"
#include "ui/widgets/gauge.h"
#include "ui/window_at_work.h"

#include <atomic>

namespace tallyfox::ui {

namespace {

// Puts the step the run last set on the bar, drawn at once; on the window's thread.
void showProgress(Gauge& bar, const std::atomic<int>& progress)
{
    const int percent = progress.load(std::memory_order_relaxed);
    if (bar.value() != percent) {
        bar.setValue(percent);
        bar.repaint();
    }
}

// The run's side of the window: the run works on a thread of its own, and everything it shows is done
// on the window's thread. The bar takes the last step set every frame and before every box, so a run
// of many small files spends no time drawing sweeps nobody can see, and the last step of a sweep stands
// on the bar while the work after it goes on.
class WindowRunHost final : public RunHost
{
public:
    WindowRunHost(
        platform::Dialogs& dialogs, Gauge& bar, FileSelection& files, WindowThread& window, std::atomic<int>& progress)
        : m_dialogs(dialogs)
        , m_bar(bar)
        , m_files(files)
        , m_window(window)
        , m_progress(progress)
    {
    }

    RunAnswer ask(const std::string& text, RunBox box) override
    {
        RunAnswer answer = RunAnswer::Cancel;
        m_window.run([&] {
            showProgress(m_bar, m_progress);
            answer = askHere(text, box);
        });
        return answer;
    }

    void setProgress(int percent) override
    {
        m_progress.store(percent, std::memory_order_relaxed);
    }

    void relistFileLists() override
    {
        // What the run let go goes back to the system first: the lists read anew would otherwise take as
        // much again beside it, as the run's thread keeps its own heap.
        platform::returnFreedMemory();
        m_window.run([this] {
            showProgress(m_bar, m_progress);
            m_files.listAfterRun();
        });
    }

private:
    RunAnswer askHere(const std::string& text, RunBox box)
    {
        platform::Message message{.text = QString::fromStdString(text), .caption = QStringLiteral("確認")};
        switch (box) {
        case RunBox::Report:
            message.icon = platform::MessageIcon::Information;
            break;
        case RunBox::FailureReport:
            message.icon = platform::MessageIcon::Warning;
            break;
        case RunBox::Confirmation:
            message.icon = platform::MessageIcon::Information;
            message.buttons = platform::MessageButtons::OkCancel;
            break;
        case RunBox::Overwrite:
            message.icon = platform::MessageIcon::Question;
            message.buttons = platform::MessageButtons::OkCancel;
            break;
        case RunBox::Risk:
            message.icon = platform::MessageIcon::Warning;
            message.buttons = platform::MessageButtons::OkCancel;
            message.defaultButton = platform::MessageAnswer::Cancel;
            break;
        }
        return m_dialogs.message(message) == platform::MessageAnswer::Ok ? RunAnswer::Ok : RunAnswer::Cancel;
    }

    platform::Dialogs& m_dialogs;
    Gauge& m_bar;
    FileSelection& m_files;
    WindowThread& m_window;
    std::atomic<int>& m_progress;
};

} // namespace

RunResult runInWindow(RunRequest&& request,
                      platform::Dialogs& dialogs,
                      Gauge& bar,
                      FileSelection& files,
                      FileOperations& operations,
                      RunRecord& record)
{
    // The window stays painted while the run works, and takes no input until it ends.
    std::atomic<int> progress{bar.value()};
    RunResult result;
    workBesideWindow(
        [&](WindowThread& window) {
            WindowRunHost host(dialogs, bar, files, window, progress);
            result = runRename(std::move(request), host, operations, &record);
        },
        [&] {
            showProgress(bar, progress);
        });
    return result;
}

} // namespace tallyfox::ui
