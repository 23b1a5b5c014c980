#include "ui/window_run.h"

#include "platform/dialogs.h"
#include "ui/file_selection.h"
#include "ui/widgets/gauge.h"

namespace tallyfox::ui {

namespace {

class WindowRunHost final : public RunHost
{
public:
    WindowRunHost(platform::Dialogs& dialogs, Gauge& bar, FileSelection& files)
        : m_dialogs(dialogs)
        , m_bar(bar)
        , m_files(files)
    {
    }

    RunAnswer ask(const std::string& text, RunBox box) override
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

    void setProgress(int percent) override
    {
        m_bar.setValue(percent);
        m_bar.repaint();
    }

    void relistFileLists() override
    {
        m_files.listAfterRun();
    }

private:
    platform::Dialogs& m_dialogs;
    Gauge& m_bar;
    FileSelection& m_files;
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
