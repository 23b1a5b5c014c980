#include "platform/posix_io.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tallyfox::platform {

FileDescriptor::FileDescriptor(Syscalls& calls, int fd)
    : m_calls(calls)
    , m_fd(fd)
{
}

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0) {
        m_calls.close(m_fd);
    }
}

int FileDescriptor::get() const
{
    return m_fd;
}

int FileDescriptor::close()
{
    const int fd = m_fd;
    m_fd = -1;
    return m_calls.close(fd) == 0 ? 0 : errno;
}

int FileDescriptor::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

int writeAll(Syscalls& calls, int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = calls.write(fd, data + done, size - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return EIO; // a write that takes nothing would never end
        }
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

int writeAll(Syscalls& calls, int fd, std::string_view content)
{
    return writeAll(calls, fd, content.data(), content.size());
}

std::string hiddenName(std::string_view stem)
{
    // Short enough that the name stays within the file system's limit for one name.
    constexpr std::size_t kMaxStem = 200;
    static std::atomic<unsigned long> counter{0};
    std::string name(1, '.');
    name.append(stem.substr(0, kMaxStem));
    name += '.';
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(++counter);
    name += ".tmp";
    return name;
}

int createHiddenTemporary(Syscalls& calls, int dirFd, std::string_view stem, mode_t mode, std::string& name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = hiddenName(stem);
        const int fd = calls.openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

bool processRunning(pid_t pid)
{
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

void returnFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

void returnLargeBlocksAtOnce()
{
#ifdef __GLIBC__
    ::mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

} // namespace tallyfox::platform
