#include "platform/testing/faulty_syscalls.h"

#include <cerrno>
#include <cstdio>

namespace tallyfox::platform {

void FaultySyscalls::fail(const std::string& name, int n, int error, bool andAfter)
{
    m_failures[name].push_back({n, error, andAfter});
}

void FaultySyscalls::before(const std::string& name, int n, std::function<void()> hook)
{
    m_hooks[name][n] = std::move(hook);
}

int FaultySyscalls::calls(const std::string& name) const
{
    const auto found = m_counts.find(name);
    return found == m_counts.end() ? 0 : found->second;
}

int FaultySyscalls::enter(const char* name)
{
    const int n = ++m_counts[name];
    log.emplace_back(name);
    const auto hooks = m_hooks.find(name);
    if (hooks != m_hooks.end()) {
        const auto hook = hooks->second.find(n);
        if (hook != hooks->second.end()) {
            hook->second();
        }
    }
    const auto plans = m_failures.find(name);
    if (plans != m_failures.end()) {
        for (const Plan& plan : plans->second) {
            if (n == plan.n || (plan.andAfter && n > plan.n)) {
                return plan.error;
            }
        }
    }
    return 0;
}

#define TALLYFOX_FAULT(name, failure, ...)                                                                             \
    if (const int error = enter(#name)) {                                                                              \
        errno = error;                                                                                                 \
        return failure;                                                                                                \
    }                                                                                                                  \
    return Syscalls::name(__VA_ARGS__)

int FaultySyscalls::openat(int dirFd, const char* path, int flags, mode_t mode)
{
    TALLYFOX_FAULT(openat, -1, dirFd, path, flags, mode);
}

int FaultySyscalls::close(int fd)
{
    // A failed close still releases the descriptor, as the system's does.
    if (const int error = enter("close")) {
        Syscalls::close(fd);
        errno = error;
        return -1;
    }
    return Syscalls::close(fd);
}

ssize_t FaultySyscalls::read(int fd, void* buffer, size_t count)
{
    TALLYFOX_FAULT(read, -1, fd, buffer, count);
}

ssize_t FaultySyscalls::pread(int fd, void* buffer, size_t count, off_t offset)
{
    TALLYFOX_FAULT(pread, -1, fd, buffer, count, offset);
}

ssize_t FaultySyscalls::write(int fd, const void* buffer, size_t count)
{
    TALLYFOX_FAULT(write, -1, fd, buffer, count);
}

int FaultySyscalls::fsync(int fd)
{
    TALLYFOX_FAULT(fsync, -1, fd);
}

int FaultySyscalls::syncfs(int fd)
{
    TALLYFOX_FAULT(syncfs, -1, fd);
}

int FaultySyscalls::fstat(int fd, struct stat* st)
{
    TALLYFOX_FAULT(fstat, -1, fd, st);
}

int FaultySyscalls::fstatat(int dirFd, const char* path, struct stat* st, int flags)
{
    TALLYFOX_FAULT(fstatat, -1, dirFd, path, st, flags);
}

int FaultySyscalls::statx(int dirFd, const char* path, int flags, unsigned mask, struct statx* st)
{
    TALLYFOX_FAULT(statx, -1, dirFd, path, flags, mask, st);
}

void FaultySyscalls::refuseNoReplace(int n, int error)
{
    m_noReplaceFrom = n;
    m_noReplaceRefusal = error;
}

int FaultySyscalls::renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags)
{
    if (const int error = enter("renameat2")) {
        errno = error;
        return -1;
    }
    if (m_noReplaceFrom > 0 && calls("renameat2") >= m_noReplaceFrom && (flags & RENAME_NOREPLACE) != 0) {
        errno = m_noReplaceRefusal;
        return -1;
    }
    return Syscalls::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags);
}

int FaultySyscalls::linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags)
{
    TALLYFOX_FAULT(linkat, -1, oldDirFd, oldPath, newDirFd, newPath, flags);
}

int FaultySyscalls::unlinkat(int dirFd, const char* path, int flags)
{
    TALLYFOX_FAULT(unlinkat, -1, dirFd, path, flags);
}

int FaultySyscalls::fchmod(int fd, mode_t mode)
{
    TALLYFOX_FAULT(fchmod, -1, fd, mode);
}

int FaultySyscalls::futimens(int fd, const struct timespec times[2])
{
    TALLYFOX_FAULT(futimens, -1, fd, times);
}

ssize_t
FaultySyscalls::copy_file_range(int inFd, off_t* inOffset, int outFd, off_t* outOffset, size_t length, unsigned flags)
{
    TALLYFOX_FAULT(copy_file_range, -1, inFd, inOffset, outFd, outOffset, length, flags);
}

int FaultySyscalls::chdir(const char* path)
{
    TALLYFOX_FAULT(chdir, -1, path);
}

char* FaultySyscalls::getcwd(char* buffer, size_t size)
{
    TALLYFOX_FAULT(getcwd, nullptr, buffer, size);
}

DIR* FaultySyscalls::opendir(const char* path)
{
    TALLYFOX_FAULT(opendir, nullptr, path);
}

struct dirent* FaultySyscalls::readdir(DIR* dir)
{
    TALLYFOX_FAULT(readdir, nullptr, dir);
}

int FaultySyscalls::closedir(DIR* dir)
{
    // A failed close still releases the folder, as the system's does.
    if (const int error = enter("closedir")) {
        Syscalls::closedir(dir);
        errno = error;
        return -1;
    }
    return Syscalls::closedir(dir);
}

ssize_t FaultySyscalls::readlinkat(int dirFd, const char* path, char* buffer, size_t size)
{
    TALLYFOX_FAULT(readlinkat, -1, dirFd, path, buffer, size);
}

int FaultySyscalls::mkdirat(int dirFd, const char* path, mode_t mode)
{
    TALLYFOX_FAULT(mkdirat, -1, dirFd, path, mode);
}

int FaultySyscalls::faccessat(int dirFd, const char* path, int mode, int flags)
{
    TALLYFOX_FAULT(faccessat, -1, dirFd, path, mode, flags);
}

int FaultySyscalls::ftruncate(int fd, off_t length)
{
    TALLYFOX_FAULT(ftruncate, -1, fd, length);
}

int FaultySyscalls::flock(int fd, int operation)
{
    TALLYFOX_FAULT(flock, -1, fd, operation);
}

int FaultySyscalls::fstatfs(int fd, struct statfs* st)
{
    TALLYFOX_FAULT(fstatfs, -1, fd, st);
}

#undef TALLYFOX_FAULT

} // namespace tallyfox::platform
