#include "platform/file_reading.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <stdexcept>

namespace tallyfox::platform {

namespace {

int readOpenFile(Syscalls& calls, int fd, std::size_t expectedSize, std::string& content)
{
    try {
        std::size_t used = 0;
        content.resize(expectedSize + 1);
        for (;;) {
            if (used == content.size()) {
                content.resize(content.size() * 2);
            }
            const ssize_t got = calls.read(fd, content.data() + used, content.size() - used);
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            if (got == 0) {
                break;
            }
            used += static_cast<std::size_t>(got);
        }
        content.resize(used);
        return 0;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    } catch (const std::length_error&) {
        return ENOMEM;
    }
}

} // namespace

int readWholeFile(const std::string& path, std::string& content, Syscalls& calls)
{
    content.clear();
    if (path.empty()) {
        return ENOENT;
    }
    const int fd = calls.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    struct stat st
    {
    };
    if (calls.fstat(fd, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else {
        error = readOpenFile(calls, fd, static_cast<std::size_t>(st.st_size), content);
    }
    calls.close(fd);
    if (error != 0) {
        content.clear();
    }
    return error;
}

} // namespace tallyfox::platform
