#include "platform/instance_guard.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyfox::platform {

std::string InstanceGuard::lockFilePath(const std::string& name)
{
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    struct stat st
    {
    };
    if (runtimeDir != nullptr && runtimeDir[0] == '/' && ::stat(runtimeDir, &st) == 0 && S_ISDIR(st.st_mode)) {
        return std::string(runtimeDir) + "/" + name + ".lock";
    }
    // The shared temporary folder needs the user in the name so that users do not lock each other out.
    return "/tmp/" + name + "-" + std::to_string(::getuid()) + ".lock";
}

std::unique_ptr<InstanceGuard> InstanceGuard::tryAcquire(const std::string& name, Outcome& outcome)
{
    const std::string path = lockFilePath(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        outcome = Outcome::Unavailable;
        return nullptr;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        outcome = errno == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Unavailable;
        ::close(fd);
        return nullptr;
    }
    outcome = Outcome::Acquired;
    return std::unique_ptr<InstanceGuard>(new InstanceGuard(fd));
}

InstanceGuard::InstanceGuard(int fd)
    : m_fd(fd)
{
}

InstanceGuard::~InstanceGuard()
{
    ::close(m_fd);
}

} // namespace tallyfox::platform
