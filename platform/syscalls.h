#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>

namespace tallyfox::platform {

// Every system call through which the program reads or changes the file system, behind one interface,
// so that a test can make any one of them fail (as root, where a chmod proves nothing) or change the
// file system just before it. Each member behaves as the system call of its name: -1 (or nullptr)
// with errno set on failure.
class Syscalls
{
public:
    virtual ~Syscalls() = default;

    // Whether calls may come from several threads at once; the system's may.
    virtual bool concurrent() const
    {
        return true;
    }

    virtual int openat(int dirFd, const char* path, int flags, mode_t mode);
    virtual int close(int fd);
    virtual ssize_t read(int fd, void* buffer, size_t count);
    virtual ssize_t pread(int fd, void* buffer, size_t count, off_t offset);
    virtual ssize_t write(int fd, const void* buffer, size_t count);
    virtual int fsync(int fd);
    virtual int syncfs(int fd);
    virtual int fstat(int fd, struct stat* st);
    virtual int fstatat(int dirFd, const char* path, struct stat* st, int flags);
    virtual int statx(int dirFd, const char* path, int flags, unsigned mask, struct statx* st);
    virtual int renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags);
    virtual int linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags);
    virtual int unlinkat(int dirFd, const char* path, int flags);
    virtual int fchmod(int fd, mode_t mode);
    virtual int futimens(int fd, const struct timespec times[2]);
    virtual ssize_t
    copy_file_range(int inFd, off_t* inOffset, int outFd, off_t* outOffset, size_t length, unsigned flags);
    virtual int chdir(const char* path);
    virtual char* getcwd(char* buffer, size_t size);
    virtual DIR* opendir(const char* path);
    virtual ssize_t readlinkat(int dirFd, const char* path, char* buffer, size_t size);
    virtual int mkdirat(int dirFd, const char* path, mode_t mode);
    virtual int faccessat(int dirFd, const char* path, int mode, int flags);
    virtual int ftruncate(int fd, off_t length);
    virtual struct dirent* readdir(DIR* dir);
    virtual int closedir(DIR* dir);
    virtual int flock(int fd, int operation);
    virtual int fstatfs(int fd, struct statfs* st);
};

// The calls of the running system.
Syscalls& systemCalls();

} // namespace tallyfox::platform
