#pragma once

namespace tallyfox::platform {
class Dialogs;
}

namespace tallyfox::ui {

// The operating-system services the windows use; tests pass scripted doubles.
struct Services
{
    platform::Dialogs& dialogs;
};

} // namespace tallyfox::ui
