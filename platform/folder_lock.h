#pragma once

#include "platform/syscalls.h"

#include <string>
#include <vector>

namespace tallyfox::platform {

// Locks on folders, held until the object is gone: an advisory lock of the folder itself, which every
// run of the program asks for, from this process or another, and the kernel drops when a process dies.
class FolderLock final
{
public:
    explicit FolderLock(Syscalls& calls = systemCalls());
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Locks every folder without waiting; false, and none held, when another holds one of them. A folder
    // named twice (also by another path) is locked once; one that cannot be opened is not locked, since
    // every step in it will fail on its own. An empty path is skipped.
    bool lock(const std::vector<std::string>& folders);

    void release();

private:
    Syscalls& m_calls;
    std::vector<int> m_held;
};

} // namespace tallyfox::platform
