#pragma once

#include "platform/syscalls.h"

#include <string>

namespace tallyfox {
class SettingsFile;
}

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
    // The program's settings file, read at start-up and written at close, by the reset and the options.
    SettingsFile& settings;
    // The file system calls of folder and file listing.
    platform::Syscalls& syscalls = platform::systemCalls();
    // Where the mounted volumes are read from.
    std::string mountTable = "/proc/self/mounts";
    std::string labelFolder = "/dev/disk/by-label";
};

} // namespace tallyfox::ui
