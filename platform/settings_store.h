#pragma once

#include "core/settings.h"
#include "platform/syscalls.h"

#include <string>

namespace tallyfox::platform {

// The settings file on a POSIX file system, every call through `calls`.
//
// Reading opens the path without blocking and takes regular files only: a folder, a pipe or a device
// in its place reads as an error, never as content, and never waits.
//
// Replacing writes a temporary file in the file's own folder, flushes it to disk and renames it over
// the file, so that the file is at every moment either wholly old or wholly new: a full disk or a
// crash in the middle leaves the old file, and a failure leaves no temporary file behind. The new file
// keeps the old one's mode bits (a new file gets the usual 0666 less the umask). A path that is a
// symbolic link replaces the file the link leads to, so the link stays. Refused: a file without any
// write bit (EACCES, also for root), a folder or other non-regular file in its place, a missing folder
// (ENOENT, unless the store creates missing folders). Where the folder will not take a temporary file
// (EACCES, EROFS or EPERM) but the file itself is there, the file is rewritten in place instead; that
// rewrite is not proof against a crash in its middle.
class PosixSettingsStore final : public SettingsStore
{
public:
    enum class MissingFolder
    {
        Fail,   // a write into a missing folder fails with ENOENT
        Create, // the first write creates the missing folders (mode 0700), as a per-user folder needs
    };

    explicit PosixSettingsStore(Syscalls& calls = systemCalls(), MissingFolder missingFolder = MissingFolder::Fail);

    int readAll(const std::string& path, std::string& content) override;
    int replace(const std::string& path, const std::string& content) override;

private:
    Syscalls& m_calls;
    MissingFolder m_missingFolder;
};

// Where the settings file lies and whether its folder is made on the first write.
struct SettingsLocation
{
    std::string path;
    bool createFolder = false;
};

// Whose copy of the program runs: an installed one, shared by the users of the machine, or one its
// user runs from a folder of their own.
enum class ProgramCopy
{
    Portable,
    Installed,
};

// The settings file of the executable at `executable` (a full path).
//
// An installed copy keeps it per user, whoever starts it (root too, who could write beside it): under
// the executable's file name with its extension replaced by ".ini" in $XDG_CONFIG_HOME/tallyfox/ (by
// default ~/.config/tallyfox/), a folder made on the first write. A file beside an installed copy is
// never read nor written; with neither variable set to a full path, the path is empty and a write fails.
//
// A portable copy keeps it beside itself, under that file name; only when there is none and its user
// cannot write the folder, in the user's folder as above (or beside itself, with no such folder).
SettingsLocation settingsLocation(const std::string& executable, ProgramCopy copy, Syscalls& calls = systemCalls());

} // namespace tallyfox::platform
