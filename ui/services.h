#pragma once

namespace tallyfox::platform {
class Dialogs;
class HelpViewer;
} // namespace tallyfox::platform

namespace tallyfox::ui {

// The operating-system services the windows use; tests pass scripted doubles.
struct Services
{
    platform::Dialogs& dialogs;
    platform::HelpViewer& help;
};

} // namespace tallyfox::ui
