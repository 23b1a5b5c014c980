#pragma once

#include "platform/file_operations.h"
#include "platform/journal_store.h"
#include "platform/syscalls.h"

#include <functional>
#include <memory>
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
    // Makes the file operations of one run: they keep the run's folder open between renames, so each
    // run gets its own.
    std::function<std::unique_ptr<FileOperations>(platform::Syscalls&)> fileOperations = [](platform::Syscalls& calls) {
        return std::make_unique<platform::PosixFileOperations>(calls);
    };
    // Where the journals of the runs are kept, for the undo.
    std::string journalFolder = platform::journalFolder();
    // Where the mounted volumes are read from.
    std::string mountTable = "/proc/self/mounts";
    std::string labelFolder = "/dev/disk/by-label";
    // The folder the program was asked to start in, in bytes; empty for the stored one.
    std::string startFolder = {};
};

} // namespace tallyfox::ui
