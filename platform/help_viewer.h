#pragma once

#include <string>

class QWidget;

namespace tallyfox::platform {

// The help viewer: shows a help file beside the program's window and closes when the program no
// longer needs it. It runs beside the program, which never waits for it.
class HelpViewer
{
public:
    virtual ~HelpViewer() = default;

    // Shows the contents of the help file (a path in bytes) beside `owner` and returns at once. A
    // file that is missing or cannot be read is reported by the viewer in its own words; the program
    // neither checks nor hears of it. Asking again shows the file again.
    virtual void showContents(const std::string& helpFile, QWidget* owner) = 0;

    // The program is ending after it asked for `helpFile`: the viewer closes its window.
    virtual void quit(const std::string& helpFile) noexcept = 0;
};

} // namespace tallyfox::platform
