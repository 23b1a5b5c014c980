#pragma once

#include "platform/syscalls.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tallyfox::platform {

// The system's calls, except where a test has planned otherwise: the n-th call (from 1) of a named
// call fails with an errno, or every call of it from the n-th on, or a hook runs just before it (to
// remove, create or replace a file at that moment). Calls are named as the members of Syscalls.
class FaultySyscalls final : public Syscalls
{
public:
    // The n-th call of `name` fails with `error`; with `andAfter`, every later one as well.
    void fail(const std::string& name, int n, int error, bool andAfter = false);

    // Runs `hook` just before the n-th call of `name`.
    void before(const std::string& name, int n, std::function<void()> hook);

    // From the n-th call of renameat2 on, one that asks not to replace fails with `error`, as on a file
    // system that does not know the flag; plain renames still go through. Counted as any call.
    void refuseNoReplace(int n, int error);

    // How many times `name` was called.
    int calls(const std::string& name) const;

    // Every call made, by name, in order.
    std::vector<std::string> log;

    // The calls are counted in order, so they come from one thread at a time.
    bool concurrent() const override
    {
        return false;
    }

    int openat(int dirFd, const char* path, int flags, mode_t mode) override;
    int close(int fd) override;
    ssize_t read(int fd, void* buffer, size_t count) override;
    ssize_t pread(int fd, void* buffer, size_t count, off_t offset) override;
    ssize_t write(int fd, const void* buffer, size_t count) override;
    int fsync(int fd) override;
    int syncfs(int fd) override;
    int fstat(int fd, struct stat* st) override;
    int fstatat(int dirFd, const char* path, struct stat* st, int flags) override;
    int statx(int dirFd, const char* path, int flags, unsigned mask, struct statx* st) override;
    int renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override;
    int linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override;
    int unlinkat(int dirFd, const char* path, int flags) override;
    int fchmod(int fd, mode_t mode) override;
    int futimens(int fd, const struct timespec times[2]) override;
    ssize_t
    copy_file_range(int inFd, off_t* inOffset, int outFd, off_t* outOffset, size_t length, unsigned flags) override;
    int chdir(const char* path) override;
    char* getcwd(char* buffer, size_t size) override;
    DIR* opendir(const char* path) override;
    ssize_t readlinkat(int dirFd, const char* path, char* buffer, size_t size) override;
    int mkdirat(int dirFd, const char* path, mode_t mode) override;
    int faccessat(int dirFd, const char* path, int mode, int flags) override;
    int ftruncate(int fd, off_t length) override;
    struct dirent* readdir(DIR* dir) override;
    int closedir(DIR* dir) override;
    int flock(int fd, int operation) override;
    int fstatfs(int fd, struct statfs* st) override;

private:
    struct Plan
    {
        int n = 0;
        int error = 0;
        bool andAfter = false;
    };

    // Counts the call, runs its hook, and gives the errno it must fail with (0: go ahead).
    int enter(const char* name);

    std::map<std::string, int> m_counts;
    int m_noReplaceFrom = 0; // 0: never refused
    int m_noReplaceRefusal = 0;
    std::map<std::string, std::vector<Plan>> m_failures;
    std::map<std::string, std::map<int, std::function<void()>>> m_hooks;
};

} // namespace tallyfox::platform
