#include "platform/folder_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace tallyfox::platform {

FolderLock::FolderLock(Syscalls& calls)
    : m_calls(calls)
{
}

FolderLock::~FolderLock()
{
    release();
}

void FolderLock::release()
{
    // Closing the descriptor drops its lock.
    for (const int fd : m_held) {
        m_calls.close(fd);
    }
    m_held.clear();
}

bool FolderLock::lock(const std::vector<std::string>& folders)
{
    std::vector<struct stat> locked;
    for (const std::string& folder : folders) {
        if (folder.empty() || folder.find('\0') != std::string::npos) {
            continue;
        }
        // A lock needs a descriptor that was opened, not one that only points at the folder.
        const int fd = m_calls.openat(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (fd < 0) {
            continue;
        }
        struct stat st;
        bool twice = false;
        if (m_calls.fstat(fd, &st) == 0) {
            for (const struct stat& other : locked) {
                twice = twice || (other.st_dev == st.st_dev && other.st_ino == st.st_ino);
            }
        }
        if (twice) {
            // A second lock on another opening of the same folder would refuse the run its own folder.
            m_calls.close(fd);
            continue;
        }
        if (m_calls.flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            m_calls.close(fd);
            if (busy) {
                release();
                return false;
            }
            continue; // a file system without locks: the identity checks still hold
        }
        m_held.push_back(fd);
        locked.push_back(st);
    }
    return true;
}

} // namespace tallyfox::platform
