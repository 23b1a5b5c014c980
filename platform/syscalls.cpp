#include "platform/syscalls.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tallyfox::platform {

int Syscalls::openat(int dirFd, const char* path, int flags, mode_t mode)
{
    return ::openat(dirFd, path, flags, mode);
}

int Syscalls::close(int fd)
{
    return ::close(fd);
}

ssize_t Syscalls::read(int fd, void* buffer, size_t count)
{
    return ::read(fd, buffer, count);
}

ssize_t Syscalls::pread(int fd, void* buffer, size_t count, off_t offset)
{
    return ::pread(fd, buffer, count, offset);
}

ssize_t Syscalls::write(int fd, const void* buffer, size_t count)
{
    return ::write(fd, buffer, count);
}

int Syscalls::fsync(int fd)
{
    return ::fsync(fd);
}

int Syscalls::syncfs(int fd)
{
    return ::syncfs(fd);
}

int Syscalls::fstat(int fd, struct stat* st)
{
    return ::fstat(fd, st);
}

int Syscalls::fstatat(int dirFd, const char* path, struct stat* st, int flags)
{
    return ::fstatat(dirFd, path, st, flags);
}

int Syscalls::statx(int dirFd, const char* path, int flags, unsigned mask, struct statx* st)
{
    return ::statx(dirFd, path, flags, mask, st);
}

int Syscalls::renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags)
{
    return ::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags);
}

int Syscalls::linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags)
{
    return ::linkat(oldDirFd, oldPath, newDirFd, newPath, flags);
}

int Syscalls::unlinkat(int dirFd, const char* path, int flags)
{
    return ::unlinkat(dirFd, path, flags);
}

int Syscalls::fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int Syscalls::futimens(int fd, const struct timespec times[2])
{
    return ::futimens(fd, times);
}

ssize_t Syscalls::copy_file_range(int inFd, off_t* inOffset, int outFd, off_t* outOffset, size_t length, unsigned flags)
{
    return ::copy_file_range(inFd, inOffset, outFd, outOffset, length, flags);
}

int Syscalls::chdir(const char* path)
{
    return ::chdir(path);
}

char* Syscalls::getcwd(char* buffer, size_t size)
{
    return ::getcwd(buffer, size);
}

DIR* Syscalls::opendir(const char* path)
{
    return ::opendir(path);
}

struct dirent* Syscalls::readdir(DIR* dir)
{
    return ::readdir(dir);
}

int Syscalls::closedir(DIR* dir)
{
    return ::closedir(dir);
}

ssize_t Syscalls::readlinkat(int dirFd, const char* path, char* buffer, size_t size)
{
    return ::readlinkat(dirFd, path, buffer, size);
}

int Syscalls::mkdirat(int dirFd, const char* path, mode_t mode)
{
    return ::mkdirat(dirFd, path, mode);
}

int Syscalls::faccessat(int dirFd, const char* path, int mode, int flags)
{
    return ::faccessat(dirFd, path, mode, flags);
}

int Syscalls::ftruncate(int fd, off_t length)
{
    return ::ftruncate(fd, length);
}

int Syscalls::flock(int fd, int operation)
{
    return ::flock(fd, operation);
}

int Syscalls::fstatfs(int fd, struct statfs* st)
{
    return ::fstatfs(fd, st);
}

Syscalls& systemCalls()
{
    static Syscalls calls;
    return calls;
}

} // namespace tallyfox::platform
