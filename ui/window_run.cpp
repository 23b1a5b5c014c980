#include "ui/window_run.h"

#include "platform/dialogs.h"
#include "ui/file_selection.h"
#include "ui/widgets/gauge.h"

#include <QElapsedTimer>
#include <QScreen>

namespace tallyfox::ui {

namespace {

// How long one frame of the bar's screen lasts; 60 frames a second where the screen does not say.
qint64 frameNanoseconds(const QWidget& widget)
{
    const QScreen* screen = widget.screen();
    const qreal rate = screen != nullptr && screen->refreshRate() >= 1 ? screen->refreshRate() : 60.0;
    return static_cast<qint64>(1e9 / rate);
}

constexpr unsigned kStepsPerClockReading = 16;

class WindowRunHost final : public RunHost
{
public:
    WindowRunHost(platform::Dialogs& dialogs, Gauge& bar, FileSelection& files)
        : m_dialogs(dialogs)
        , m_bar(bar)
        , m_files(files)
        , m_frameNanoseconds(frameNanoseconds(bar))
        , m_pending(bar.value())
    {
    }

    ~WindowRunHost() override
    {
        showPendingProgress();
    }
    WindowRunHost(const WindowRunHost&) = delete;
    WindowRunHost& operator=(const WindowRunHost&) = delete;

    RunAnswer ask(const std::string& text, RunBox box) override
    {
        showPendingProgress();
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

    void setProgress(int percent) override
    {
        // The bar moves with every step, but is drawn at most once per frame of the screen: a run of
        // many small files would otherwise spend its time drawing sweeps nobody can see. A value not
        // drawn at once is put on the bar before the run next waits or ends, so the last one shows.
        m_pending = percent;
        // The clock is read every few steps only: a sweep's steps come microseconds apart.
        if (++m_steps % kStepsPerClockReading != 0 && m_sinceRepaint.isValid()) {
            return;
        }
        if (!m_sinceRepaint.isValid() || m_sinceRepaint.nsecsElapsed() >= m_frameNanoseconds) {
            m_bar.setValue(percent);
            m_bar.repaint();
            m_sinceRepaint.start();
        }
    }

    void relistFileLists() override
    {
        showPendingProgress();
        m_files.listAfterRun();
    }

private:
    void showPendingProgress()
    {
        if (m_bar.value() != m_pending) {
            m_bar.setValueUndrawn(m_pending);
        }
    }

    platform::Dialogs& m_dialogs;
    Gauge& m_bar;
    FileSelection& m_files;
    const qint64 m_frameNanoseconds;
    QElapsedTimer m_sinceRepaint;
    int m_pending;
    unsigned m_steps = 0;
};

} // namespace

RunResult runInWindow(const RunRequest& request,
                      platform::Dialogs& dialogs,
                      Gauge& bar,
                      FileSelection& files,
                      FileOperations& operations,
                      RunRecord& record)
{
    WindowRunHost host(dialogs, bar, files);
    return runRename(request, host, operations, &record);
}

} // namespace tallyfox::ui
