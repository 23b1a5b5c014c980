#pragma once

#include <QString>

#include <functional>

namespace tallyfox::platform {
class Dialogs;
}

namespace tallyfox::ui {

using Handler = std::function<void()>;

// The title of the application: the caption of the main window and of the error box.
QString applicationTitle();

// Where a handler started by the user ends. A handler that another handler starts runs nested inside
// it, as a plain call, so an error it raises also ends the outer handler; only here, at the event that
// started it all, is the error caught and shown in the application's error box. Nothing escapes into
// the event loop.
class HandlerBoundary final
{
public:
    explicit HandlerBoundary(platform::Dialogs& dialogs);

    void run(const Handler& handler) noexcept;

    // The error box: the error's text and a full stop, under the application title, error icon.
    void showError(const QString& text);

    void beep();

    platform::Dialogs& dialogs() const;

private:
    platform::Dialogs& m_dialogs;
};

} // namespace tallyfox::ui
