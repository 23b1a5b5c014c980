#pragma once

#include "core/journal.h"
#include "platform/syscalls.h"

#include <string>

namespace tallyfox::platform {

// The desktop's Trash (as freedesktop.org lays it down) of the file system a folder lies on: the
// home trash ($XDG_DATA_HOME/Trash) where it lies on the same file system, else the trash at the top of
// that file system ($topdir/.Trash/$uid where .Trash is a real folder with the sticky bit, else
// $topdir/.Trash-$uid). A file goes in by a rename, never a copy, after its .trashinfo has been made, so
// any file manager lists it and can put it back.
class Trash final
{
public:
    explicit Trash(Syscalls& calls = systemCalls());

    // Moves the entry `name` of the folder `folder` into the trash: 0, or the errno (EXDEV where no trash
    // of that file system can be used). `trashedAs`, the path it has there now. `as`, when given, is the
    // name of the folder it is told to have come from (a file set aside under a private name).
    int put(const std::string& folder, const std::string& name, std::string& trashedAs, std::string_view as = {});

    // The path in the trash of the file that `put` took from `name` of `folder` and that is `expected`
    // (its device, inode and birth); empty when there is none.
    std::string find(const std::string& folder, const std::string& name, const FileIdentity& expected);

    // Puts the trashed file at `trashed` back at `name` of the folder open as `folderFd`, never replacing
    // anything, and removes its .trashinfo. 0 or the errno.
    int putBack(const std::string& trashed, int folderFd, const std::string& name);

private:
    // The trash folder (holding files/ and info/) for files of `folder`, made when `make` is set; empty
    // when there is none to use.
    std::string trashFor(const std::string& folder, bool make, std::string& topdir);

    Syscalls& m_calls;
};

} // namespace tallyfox::platform
