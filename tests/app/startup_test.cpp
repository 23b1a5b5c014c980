#include "app/startup.h"
#include "platform/instance_guard.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tallyfox::app {
namespace {

namespace fs = std::filesystem;

struct Finished
{
    int exitCode = -1;
    std::string output;
};

// A started copy of the probe, held at a gate until release() lets every started process go at once.
class Start final
{
public:
    Start(const fs::path& program, const int gate[2], const std::vector<std::string>& arguments = {})
    {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        // Close-on-exec, so that no started program holds another's pipes open.
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(gate[1]);
            char go = 0;
            (void)::read(gate[0], &go, 1);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = out[0];
    }

    Finished wait()
    {
        Finished finished;
        std::array<char, 4096> buffer{};
        ssize_t n;
        while ((n = ::read(m_out, buffer.data(), buffer.size())) > 0) {
            finished.output.append(buffer.data(), static_cast<std::size_t>(n));
        }
        ::close(m_out);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        finished.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return finished;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("XDG_RUNTIME_DIR", m_runtime.str().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("PROBE_HOLD_MS", "300", 1);
    }

    // The probe stored under another file name, in a folder of its own.
    fs::path probeNamed(const std::string& name)
    {
        const fs::path copy = m_programs.path() / name;
        fs::copy_file(GUARD_PROBE, copy, fs::copy_options::overwrite_existing);
        return copy;
    }

    // Starts the program with the arguments and waits for it.
    static Finished run(const fs::path& program, const std::vector<std::string>& arguments)
    {
        int gate[2];
        if (::pipe2(gate, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        Start start(program, gate, arguments);
        ::close(gate[0]);
        ::close(gate[1]);
        return start.wait();
    }

    // Starts the programs together and waits for all of them.
    std::vector<Finished> startTogether(const std::vector<fs::path>& programs)
    {
        int gate[2];
        if (::pipe2(gate, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        std::vector<Start> starts;
        starts.reserve(programs.size());
        for (const fs::path& program : programs) {
            starts.emplace_back(program, gate);
        }
        ::close(gate[0]);
        ::close(gate[1]);
        std::vector<Finished> finished;
        for (Start& start : starts) {
            finished.push_back(start.wait());
        }
        return finished;
    }

    testing::TempDir m_runtime;
    testing::TempDir m_programs;
};

const std::string kRefusal = "アプリケーションは既に起動しています";

TEST(DefaultTitleTest, FileNameWithoutFolderAndExtensionFirstCharacterKept)
{
    EXPECT_EQ(defaultApplicationTitle(QStringLiteral("/usr/bin/tallyfox")), QStringLiteral("tallyfox"));
    EXPECT_EQ(defaultApplicationTitle(QStringLiteral("/opt/TALLYFOX.exe")), QStringLiteral("Tallyfox"));
    EXPECT_EQ(defaultApplicationTitle(QStringLiteral("Tally.Fox.bin")), QStringLiteral("Tally"));
    EXPECT_EQ(defaultApplicationTitle(QStringLiteral("/a.b/ÄRGER")), QStringLiteral("Ärger"));
    EXPECT_EQ(defaultApplicationTitle(QStringLiteral("/x/.hidden")), QString());
}

TEST_F(StartupTest, OfTwoInstancesStartedTogetherExactlyOneRuns)
{
    for (int round = 0; round < 4; ++round) {
        const std::vector<Finished> finished = startTogether({probeNamed("first"), probeNamed("second")});
        int running = 0;
        int refused = 0;
        for (const Finished& f : finished) {
            EXPECT_EQ(f.exitCode, 0);
            running += f.output == "RUNNING\n";
            refused += f.output.find("MESSAGE\t") == 0;
        }
        EXPECT_EQ(running, 1) << "round " << round;
        EXPECT_EQ(refused, 1) << "round " << round;
    }
}

TEST_F(StartupTest, ASecondStartShowsTheRefusalOnceUnderItsOwnFileNameAndEndsWithZero)
{
    const fs::path holder = probeNamed("tallyfox");
    const fs::path second = probeNamed("TALLYFOX.Second.bin");
    const std::vector<Finished> finished = startTogether({holder});
    ASSERT_EQ(finished[0].output, "RUNNING\n");

    ::setenv("PROBE_HOLD_MS", "2500", 1);
    int gate[2];
    ASSERT_EQ(::pipe2(gate, O_CLOEXEC), 0);
    Start running(holder, gate);
    ::close(gate[0]);
    ::close(gate[1]);
    // Let the first take the guard before the second starts.
    ::usleep(500 * 1000);
    const std::vector<Finished> refused = startTogether({second});
    EXPECT_EQ(refused[0].exitCode, 0);
    // Caption, text, no icon (0), one OK button (0).
    EXPECT_EQ(refused[0].output, "MESSAGE\tTallyfox\t" + kRefusal + "\t0\t0\n");
    const Finished first = running.wait();
    EXPECT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.output, "RUNNING\n") << "the running instance is told nothing";

    // With the first instance gone, the next start runs.
    ::setenv("PROBE_HOLD_MS", "0", 1);
    EXPECT_EQ(startTogether({second})[0].output, "RUNNING\n");
}

struct CommandLineCase
{
    const char* name;
    std::vector<std::string> arguments;
    // What the program prints: the whole output, or its first line for the usage.
    std::string output;
    bool usage = false;
};

class CommandLineTest : public StartupTest, public ::testing::WithParamInterface<CommandLineCase>
{
};

const std::string kUsageLine = "使い方: tallyfox [--help | --version] [フォルダ]\n";

TEST_P(CommandLineTest, AnswersWithoutAWindowAndWithoutTheGuard)
{
    const CommandLineCase& c = GetParam();
    const fs::path program = probeNamed("tallyfox");
    const std::string lockFile = platform::InstanceGuard::lockFilePath(kInstanceGuardName);
    // No display to be had: a program that made its application object here would abort.
    ::setenv("QT_QPA_PLATFORM", "no-such-platform", 1);
    const auto check = [&](const Finished& finished) {
        EXPECT_EQ(finished.exitCode, 0);
        if (c.usage) {
            EXPECT_EQ(finished.output.substr(0, finished.output.find('\n') + 1), c.output);
            // The folder to start in, then the options, each description in one column.
            EXPECT_NE(
                finished.output.find("\n  フォルダ    保存されていたフォルダではなく、このフォルダを開いて起動します\n"
                                     "  -h, --help  この"),
                std::string::npos)
                << finished.output;
            EXPECT_NE(finished.output.find("\n  -h, --help "), std::string::npos) << finished.output;
            EXPECT_NE(finished.output.find("\n  --version "), std::string::npos) << finished.output;
        } else {
            EXPECT_EQ(finished.output, c.output);
        }
    };

    check(run(program, c.arguments));
    EXPECT_FALSE(fs::exists(lockFile)) << "the guard was taken";

    // A running instance holding the guard changes nothing: there is no refusal.
    platform::InstanceGuard::Outcome outcome{};
    const auto held = platform::InstanceGuard::tryAcquire(kInstanceGuardName, outcome);
    ASSERT_EQ(outcome, platform::InstanceGuard::Outcome::Acquired);
    check(run(program, c.arguments));
}

TEST_F(StartupTest, OtherArgumentsStartTheProgramWithItsGuard)
{
    const fs::path program = probeNamed("tallyfox");
    ::setenv("PROBE_HOLD_MS", "0", 1);
    // Options it does not know; a plain word would be the folder to start in.
    const Finished finished = run(program, {"--verbose", "-version", "--helpful"});
    EXPECT_EQ(finished.exitCode, 0);
    EXPECT_EQ(finished.output, "RUNNING\n");
    EXPECT_TRUE(fs::exists(platform::InstanceGuard::lockFilePath(kInstanceGuardName)));
}

INSTANTIATE_TEST_SUITE_P(
    Requests,
    CommandLineTest,
    ::testing::Values(CommandLineCase{"version", {"--version"}, "Tallyfox 1.20\n"},
                      CommandLineCase{"help", {"--help"}, kUsageLine, true},
                      CommandLineCase{"short_help", {"-h"}, kUsageLine, true},
                      CommandLineCase{
                          "version_after_a_toolkit_option", {"-style", "fusion", "--version"}, "Tallyfox 1.20\n"},
                      CommandLineCase{"the_first_request_wins", {"--help", "--version"}, kUsageLine, true}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
} // namespace tallyfox::app
