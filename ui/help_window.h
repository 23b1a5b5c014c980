#pragma once

#include "platform/help_viewer.h"

#include <QWidget>

#include <memory>
#include <string>

class QTextBrowser;

namespace tallyfox::ui {

// The help window: the help file (an HTML document) in a browser of its own, beside the main window
// and never modal. It does not keep the program running: closing the main window ends the program
// even while the help window is open.
class HelpWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Reads the help file anew and shows it from its top. A file that cannot be read is reported in
    // the window itself, with its path and the system's reason.
    void showFile(const std::string& helpFile);

    // The file last shown, in bytes.
    const std::string& helpFile() const;

    QTextBrowser* browser() const;

private:
    QTextBrowser* m_browser;
    std::string m_helpFile;
};

// The help viewer of the program: one help window, made at the first request and kept (hidden when
// the user closes it) until the program ends.
class HelpWindowViewer final : public platform::HelpViewer
{
public:
    HelpWindowViewer();
    ~HelpWindowViewer() override;
    HelpWindowViewer(const HelpWindowViewer&) = delete;
    HelpWindowViewer& operator=(const HelpWindowViewer&) = delete;

    void showContents(const std::string& helpFile, QWidget* owner) override;
    void quit(const std::string& helpFile) noexcept override;

    // The help window, or null before the first request and after the end.
    HelpWindow* window() const;

private:
    std::unique_ptr<HelpWindow> m_window;
};

} // namespace tallyfox::ui
