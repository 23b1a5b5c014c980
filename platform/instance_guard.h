#pragma once

#include <memory>
#include <string>

namespace tallyfox::platform {

// The desktop-wide single-instance guard: an exclusive lock on a file named after the guard. Testing and
// taking the lock is one step, so of two instances started at the same moment exactly one gets it. The
// kernel releases it when the process ends, also on a crash.
class InstanceGuard final
{
public:
    enum class Outcome
    {
        Acquired,      // this process is the running instance
        HeldElsewhere, // another instance holds the guard
        Unavailable,   // no lock could be taken (no lock file); the instance runs unguarded
    };

    // Tries to take the guard named `name` in the folder for per-user runtime files.
    static std::unique_ptr<InstanceGuard> tryAcquire(const std::string& name, Outcome& outcome);

    // The lock file a guard of that name uses: in $XDG_RUNTIME_DIR, else a per-user name in /tmp.
    static std::string lockFilePath(const std::string& name);

    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

private:
    explicit InstanceGuard(int fd);
    int m_fd;
};

} // namespace tallyfox::platform
