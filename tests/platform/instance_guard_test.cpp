#include "platform/instance_guard.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tallyfox::platform {
namespace {

using Outcome = InstanceGuard::Outcome;

class InstanceGuardTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("XDG_RUNTIME_DIR", m_runtime.str().c_str(), 1);
    }

    testing::TempDir m_runtime;
};

TEST_F(InstanceGuardTest, TheLockFileIsNamedAfterTheGuardInTheRuntimeFolder)
{
    EXPECT_EQ(InstanceGuard::lockFilePath("EX_Mutex4"), m_runtime.str() + "/EX_Mutex4.lock");
    ::setenv("XDG_RUNTIME_DIR", "relative/folder", 1);
    EXPECT_EQ(InstanceGuard::lockFilePath("EX_Mutex4"), "/tmp/EX_Mutex4-" + std::to_string(::getuid()) + ".lock");
}

TEST_F(InstanceGuardTest, OnlyOneHolderUntilItEnds)
{
    Outcome first{};
    auto holder = InstanceGuard::tryAcquire("EX_Mutex4", first);
    ASSERT_EQ(first, Outcome::Acquired);

    // A second open of the same lock, as another process makes it, is refused while the first holds it.
    const pid_t child = ::fork();
    if (child == 0) {
        Outcome second{};
        auto refused = InstanceGuard::tryAcquire("EX_Mutex4", second);
        ::_exit(second == Outcome::HeldElsewhere && refused == nullptr ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    holder.reset();
    Outcome again{};
    auto next = InstanceGuard::tryAcquire("EX_Mutex4", again);
    EXPECT_EQ(again, Outcome::Acquired);
}

TEST_F(InstanceGuardTest, ReleasedWhenTheHolderIsKilled)
{
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        Outcome outcome{};
        auto guard = InstanceGuard::tryAcquire("EX_Mutex4", outcome);
        const char byte = outcome == Outcome::Acquired ? 'y' : 'n';
        (void)::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    Outcome whileHeld{};
    EXPECT_EQ(InstanceGuard::tryAcquire("EX_Mutex4", whileHeld), nullptr);
    EXPECT_EQ(whileHeld, Outcome::HeldElsewhere);

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    Outcome afterCrash{};
    auto guard = InstanceGuard::tryAcquire("EX_Mutex4", afterCrash);
    EXPECT_EQ(afterCrash, Outcome::Acquired);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(InstanceGuardTest, OfManyStartedAtOnceExactlyOneHoldsTheGuard)
{
    constexpr int kStarters = 20;
    for (int round = 0; round < 5; ++round) {
        int gate[2];
        int hold[2];
        int results[2];
        ASSERT_EQ(::pipe(gate), 0);
        ASSERT_EQ(::pipe(hold), 0);
        ASSERT_EQ(::pipe(results), 0);
        std::vector<pid_t> children;
        for (int i = 0; i < kStarters; ++i) {
            const pid_t child = ::fork();
            if (child == 0) {
                ::close(gate[1]);
                ::close(hold[1]);
                char go = 0;
                (void)::read(gate[0], &go, 1); // all wait here until the gate closes
                Outcome outcome{};
                auto guard = InstanceGuard::tryAcquire("EX_Mutex4", outcome);
                const char byte = outcome == Outcome::Acquired ? 'A' : outcome == Outcome::HeldElsewhere ? 'H' : 'U';
                (void)::write(results[1], &byte, 1);
                // Hold the guard until everyone has tried.
                (void)::read(hold[0], &go, 1);
                ::_exit(0);
            }
            children.push_back(child);
        }
        ::close(gate[0]);
        ::close(gate[1]); // releases every starter at the same moment
        int acquired = 0;
        int held = 0;
        for (int i = 0; i < kStarters; ++i) {
            char byte = 0;
            ASSERT_EQ(::read(results[0], &byte, 1), 1);
            acquired += byte == 'A';
            held += byte == 'H';
        }
        ::close(hold[0]);
        ::close(hold[1]);
        for (const pid_t child : children) {
            ::waitpid(child, nullptr, 0);
        }
        ::close(results[0]);
        ::close(results[1]);
        EXPECT_EQ(acquired, 1) << "round " << round;
        EXPECT_EQ(held, kStarters - 1) << "round " << round;
    }
}

} // namespace
} // namespace tallyfox::platform
