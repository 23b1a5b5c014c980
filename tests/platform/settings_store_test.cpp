#include "core/errors.h"
#include "core/settings.h"
#include "platform/settings_store.h"
#include "platform/testing/faulty_syscalls.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tallyfox::platform {
namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(fs::file_size(path), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::set<std::string> entriesOf(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

struct stat statOf(const fs::path& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// The error a write throws, or nothing when it succeeds.
std::optional<int>
writeError(SettingsFile& file, const std::string& section, const std::string& key, const std::string& value)
{
    try {
        file.writeString(section, key, value);
        return std::nullopt;
    } catch (const SettingsWriteError& error) {
        EXPECT_EQ(error.path(), file.path());
        return error.error();
    }
}

const std::string kOld = "; kept\r\n[Name]\r\nPrev=old\r\n\r\n[Other]\r\nk=\xC4\r\n";
const std::string kNew = "; kept\r\n[Name]\r\nPrev=new\r\n\r\n[Other]\r\nk=\xC4\r\n";

class SettingsStoreTest : public ::testing::Test
{
protected:
    tallyfox::testing::TempDir m_dir;
    fs::path m_path = m_dir.path() / "Tallyfox.ini";
};

TEST_F(SettingsStoreTest, FirstWriteCreatesTheFile)
{
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    file.writeString("App", "key", "string");
    file.writeInteger("App", "number", -3);
    EXPECT_EQ(readBytes(m_path), "[App]\r\nkey=string\r\nnumber=-3\r\n");
    EXPECT_EQ(file.readInteger("app", "NUMBER", 0), -3);
    EXPECT_EQ(entriesOf(m_dir.path()), std::set<std::string>{"Tallyfox.ini"});
}

TEST_F(SettingsStoreTest, NewFileTakesTheUmask)
{
    const mode_t old = ::umask(027);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    file.writeString("App", "key", "v");
    ::umask(old);
    EXPECT_EQ(statOf(m_path).st_mode & 07777, 0640u);
}

TEST_F(SettingsStoreTest, ReplacedFileKeepsItsModeAndEveryOtherByte)
{
    writeBytes(m_path, kOld);
    ASSERT_EQ(::chmod(m_path.c_str(), 0604), 0);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    file.writeString("Name", "Prev", "new");
    EXPECT_EQ(readBytes(m_path), kNew);
    EXPECT_EQ(statOf(m_path).st_mode & 07777, 0604u);
    EXPECT_EQ(entriesOf(m_dir.path()), std::set<std::string>{"Tallyfox.ini"});
}

TEST_F(SettingsStoreTest, WritingTheSameValueAgainLeavesTheFileAlone)
{
    writeBytes(m_path, kOld);
    const struct stat before = statOf(m_path);
    FaultySyscalls calls;
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    file.writeString("name", "prev", "old");
    EXPECT_EQ(calls.calls("openat"), 1); // the read
    EXPECT_EQ(calls.calls("renameat2"), 0);
    EXPECT_EQ(statOf(m_path).st_ino, before.st_ino);
}

TEST_F(SettingsStoreTest, ReadOnlyFileIsNeverWrittenAlsoForRoot)
{
    writeBytes(m_path, kOld);
    ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(writeError(file, "Name", "Prev", "new"), EACCES);
    EXPECT_EQ(readBytes(m_path), kOld);
    EXPECT_EQ(statOf(m_path).st_mode & 07777, 0444u);
    EXPECT_EQ(file.readString("Name", "Prev"), "old");
    EXPECT_EQ(entriesOf(m_dir.path()), std::set<std::string>{"Tallyfox.ini"});
}

TEST_F(SettingsStoreTest, MissingFolderFailsTheWrite)
{
    const fs::path path = m_dir.path() / "missing" / "Tallyfox.ini";
    PosixSettingsStore store;
    SettingsFile file(path.string(), store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    EXPECT_EQ(writeError(file, "Name", "Prev", "x"), ENOENT);
    EXPECT_FALSE(fs::exists(path.parent_path()));
}

TEST_F(SettingsStoreTest, EmptyPathFailsTheWrite)
{
    PosixSettingsStore store;
    SettingsFile file("", store);
    EXPECT_EQ(writeError(file, "Name", "Prev", "x"), ENOENT);
}

TEST_F(SettingsStoreTest, SymbolicLinkWritesTheFileItLeadsTo)
{
    fs::create_directory(m_dir.path() / "real");
    fs::create_directory(m_dir.path() / "links");
    const fs::path target = m_dir.path() / "real" / "settings.ini";
    const fs::path link = m_dir.path() / "links" / "Tallyfox.ini";
    writeBytes(target, kOld);
    fs::create_symlink("../real/settings.ini", link);
    PosixSettingsStore store;
    SettingsFile file(link.string(), store);
    file.writeString("Name", "Prev", "new");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readBytes(target), kNew);
    EXPECT_EQ(entriesOf(m_dir.path() / "real"), std::set<std::string>{"settings.ini"});
    EXPECT_EQ(entriesOf(m_dir.path() / "links"), std::set<std::string>{"Tallyfox.ini"});
}

TEST_F(SettingsStoreTest, LinkLeadingNowhereCreatesItsTarget)
{
    fs::create_symlink("settings.ini", m_path);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    file.writeString("App", "key", "v");
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(readBytes(m_dir.path() / "settings.ini"), "[App]\r\nkey=v\r\n");
}

TEST_F(SettingsStoreTest, LinkLoopFailsTheWrite)
{
    fs::create_symlink("b.ini", m_dir.path() / "a.ini");
    fs::create_symlink("a.ini", m_dir.path() / "b.ini");
    PosixSettingsStore store;
    SettingsFile file((m_dir.path() / "a.ini").string(), store);
    EXPECT_EQ(file.readString("App", "key"), "");
    EXPECT_EQ(writeError(file, "App", "key", "v"), ELOOP);
}

TEST_F(SettingsStoreTest, AnotherProgramsChangeBetweenTwoWritesIsKept)
{
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    file.writeString("A", "x", "1");
    writeBytes(m_path, readBytes(m_path) + "; added by hand\r\n[Other]\r\nz=9\r\n");
    EXPECT_EQ(file.readString("Other", "z"), "9");
    file.writeString("A", "y", "2");
    EXPECT_EQ(readBytes(m_path), "[A]\r\nx=1\r\ny=2\r\n; added by hand\r\n[Other]\r\nz=9\r\n");
}

// ---- Faults while writing ----

struct FaultCase
{
    std::string name;
    std::string call;
    int n;
    int error;
};

class SettingsWriteFaultTest : public SettingsStoreTest, public ::testing::WithParamInterface<FaultCase>
{
};

// The calls of one write of an existing key, in order: the read (openat 1, fstat, read, close 1), then
// the replace: fstatat 1 (the path), openat 2 (the folder), openat 3 (the temporary file), fchmod,
// write 1, fsync 1, close 2, renameat2 1, fsync 2 (the folder), close 3.
TEST_P(SettingsWriteFaultTest, LeavesTheOldFileAndNothingBesideIt)
{
    const FaultCase& row = GetParam();
    writeBytes(m_path, kOld);
    FaultySyscalls calls;
    calls.fail(row.call, row.n, row.error);
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(writeError(file, "Name", "Prev", "new"), row.error);
    EXPECT_EQ(readBytes(m_path), kOld);
    EXPECT_EQ(entriesOf(m_dir.path()), std::set<std::string>{"Tallyfox.ini"});
    PosixSettingsStore plain;
    EXPECT_EQ(SettingsFile(m_path.string(), plain).readString("Name", "Prev"), "old");
}

INSTANTIATE_TEST_SUITE_P(Settings,
                         SettingsWriteFaultTest,
                         ::testing::Values(FaultCase{"file cannot be opened for reading", "openat", 1, EACCES},
                                           FaultCase{"file cannot be read", "read", 1, EIO},
                                           FaultCase{"path cannot be examined", "fstatat", 1, EIO},
                                           FaultCase{"folder cannot be opened", "openat", 2, EMFILE},
                                           FaultCase{"no room for the temporary file", "openat", 3, ENOSPC},
                                           FaultCase{"full disk while writing", "write", 1, ENOSPC},
                                           FaultCase{"quota exceeded while writing", "write", 1, EDQUOT},
                                           FaultCase{"file too large", "write", 1, EFBIG},
                                           FaultCase{"flush fails", "fsync", 1, EIO},
                                           FaultCase{"full disk on close", "close", 2, ENOSPC},
                                           FaultCase{"rename fails", "renameat2", 1, EIO},
                                           FaultCase{"no room for the new name", "renameat2", 1, ENOSPC}),
                         TALLYFOX_ROW_NAMES);

TEST_F(SettingsStoreTest, AFailedFlushOfTheFolderDoesNotUndoTheWrite)
{
    writeBytes(m_path, kOld);
    FaultySyscalls calls;
    calls.fail("fsync", 2, EIO);
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(writeError(file, "Name", "Prev", "new"), std::nullopt);
    EXPECT_EQ(readBytes(m_path), kNew);
}

TEST_F(SettingsStoreTest, AProcedureStopsAtTheFailingKeyWithTheEarlierKeysWritten)
{
    FaultySyscalls calls;
    // The third key's rename: each earlier write renames once.
    calls.fail("renameat2", 3, ENOSPC);
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    const auto reset = [&] {
        for (const Setting id : settingsOrder(SettingsProcedure::Reset)) {
            writeDefaultSetting(file, id);
        }
    };
    EXPECT_THROW(reset(), SettingsWriteError);
    EXPECT_EQ(readBytes(m_path), "[Setting]\r\nFilter=0\r\nFile=0\r\n");
    EXPECT_EQ(entriesOf(m_dir.path()), std::set<std::string>{"Tallyfox.ini"});
}

// ---- A folder that takes no temporary file ----

class InPlaceTest : public SettingsStoreTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(InPlaceTest, RewritesTheFileItself)
{
    writeBytes(m_path, kOld + std::string(100, ';') + "\r\n");
    const ino_t inode = statOf(m_path).st_ino;
    FaultySyscalls calls;
    // The temporary file of each of the two writes: the first write opens the file to read it, the
    // folder, the temporary file, the file to read its old content and the file itself; the second the
    // file, the folder, the temporary.
    calls.fail("openat", 3, GetParam());
    calls.fail("openat", 8, GetParam());
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    file.writeString("Name", "Prev", "new");
    EXPECT_EQ(readBytes(m_path), kNew + std::string(100, ';') + "\r\n");
    file.writeString("Name", "Prev", "a much longer value than before");
    EXPECT_EQ(file.readString("Name", "Prev"), "a much longer value than before");
    EXPECT_EQ(statOf(m_path).st_ino, inode);
    EXPECT_EQ(entriesOf(m_dir.path()), std::set<std::string>{"Tallyfox.ini"});
}

INSTANTIATE_TEST_SUITE_P(Settings, InPlaceTest, ::testing::Values(EACCES, EROFS, EPERM));

TEST_F(SettingsStoreTest, InPlaceRewriteReportsAFullDiskAndPutsTheOldContentBack)
{
    for (const char* call : {"write", "ftruncate", "fsync"}) {
        writeBytes(m_path, kOld);
        FaultySyscalls calls;
        calls.fail("openat", 3, EACCES);
        calls.fail(call, 1, ENOSPC);
        PosixSettingsStore store(calls);
        SettingsFile file(m_path.string(), store);
        EXPECT_EQ(writeError(file, "Name", "Prev", "a value longer than the one before it"), ENOSPC) << call;
        EXPECT_EQ(readBytes(m_path), kOld) << call;
    }
}

TEST_F(SettingsStoreTest, FolderThatTakesNoTemporaryFileAndNoFileFails)
{
    FaultySyscalls calls;
    calls.fail("openat", 3, EACCES);
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(writeError(file, "Name", "Prev", "new"), EACCES);
    EXPECT_TRUE(entriesOf(m_dir.path()).empty());
}

TEST_F(SettingsStoreTest, ReadOnlyFileInAFolderThatTakesNoTemporaryFileFails)
{
    writeBytes(m_path, kOld);
    ASSERT_EQ(::chmod(m_path.c_str(), 0444), 0);
    FaultySyscalls calls;
    calls.fail("openat", 3, EACCES);
    PosixSettingsStore store(calls);
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(writeError(file, "Name", "Prev", "new"), EACCES);
    EXPECT_EQ(readBytes(m_path), kOld);
}

// ---- What may lie where the settings file should be ----

TEST_F(SettingsStoreTest, PipeInItsPlaceNeitherBlocksNorIsReplaced)
{
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0644), 0);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    EXPECT_EQ(file.readInteger("Dialog", "Show", 1), 1);
    EXPECT_EQ(writeError(file, "Name", "Prev", "x"), EINVAL);
    EXPECT_TRUE(S_ISFIFO(statOf(m_path).st_mode));
}

TEST_F(SettingsStoreTest, FolderInItsPlaceIsNeitherReadNorReplaced)
{
    fs::create_directory(m_path);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    EXPECT_EQ(writeError(file, "Name", "Prev", "x"), EISDIR);
    EXPECT_TRUE(fs::is_directory(m_path));
}

TEST_F(SettingsStoreTest, Utf16FileIsNeverGivenEightBitLines)
{
    const std::string utf16 = std::string("\xFF\xFE[\0N\0a\0m\0e\0]\0\r\0\n\0", 18);
    writeBytes(m_path, utf16);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    EXPECT_EQ(writeError(file, "Name", "Prev", "x"), EINVAL);
    EXPECT_EQ(readBytes(m_path), utf16);
}

TEST_F(SettingsStoreTest, EditsByOthersAreSeenAtTheNextRead)
{
    PosixSettingsStore store;
    const SettingsFile file(m_path.string(), store);
    writeBytes(m_path, "[Dialog]\nShow=1\n");
    EXPECT_EQ(file.readInteger("Dialog", "Show", 1), 1);
    writeBytes(m_path, "[Dialog]\nShow=0\n");
    EXPECT_EQ(file.readInteger("Dialog", "Show", 1), 0);
}

// A sanity bound only: a start-up reads about twenty keys, and a huge or broken file must not make
// that take more than a moment. Speed itself is measured in bench/.
TEST_F(SettingsStoreTest, TenMegabyteFileReadsQuicklyAndKeepsItsBytes)
{
    std::string junk;
    for (int i = 0; junk.size() < 10'000'000; ++i) {
        junk += "junk" + std::to_string(i) + "=" + std::string(40, 'x') + "\r\n";
    }
    const std::string content = "[Window]\r\nLeft=5\r\n[Junk]\r\n" + junk + "[Dialog]\r\nShow=0\r\n";
    writeBytes(m_path, content);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(file.readInteger("Window", "Left", 0), 5);
        EXPECT_EQ(file.readInteger("Dialog", "Show", 1), 0);
        EXPECT_EQ(file.readInteger("Setting", "Number2", 3), 3);
        EXPECT_EQ(file.readString("Junk", "missing"), "");
        EXPECT_EQ(file.readString("Junk", "junk1000"), std::string(40, 'x'));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    file.writeInteger("Dialog", "Show", 1);
    EXPECT_EQ(readBytes(m_path), "[Window]\r\nLeft=5\r\n[Junk]\r\n" + junk + "[Dialog]\r\nShow=1\r\n");
}

TEST_F(SettingsStoreTest, TenMegabyteLines)
{
    const std::string content =
        "[S]\r\nk=" + std::string(10'000'000, 'v') + "\r\n" + "[" + std::string(10'000'000, '[') + "\r\n[T]\r\nj=1\r\n";
    writeBytes(m_path, content);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(file.readString("S", "k"), std::string(MaxSettingsValueBytes, 'v'));
        EXPECT_EQ(file.readInteger("T", "j", 0), 1);
        EXPECT_EQ(file.readString("U", "k"), "");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    file.writeString("T", "j", "2");
    EXPECT_EQ(readBytes(m_path), content.substr(0, content.size() - 3) + "2\r\n");
}

TEST_F(SettingsStoreTest, RandomBytesAndNulsNeitherCrashNorAreLost)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> often(0, 9);
    std::string content = "[Name]\nPrev=kept\n";
    while (content.size() < 1'000'000) {
        // Mostly NULs, line ends and brackets among the noise, so that lines and headers come and go.
        const int pick = often(random);
        content += pick == 0 ? '\0' : pick == 1 ? '\n' : pick == 2 ? '[' : static_cast<char>(byte(random));
    }
    writeBytes(m_path, content);
    PosixSettingsStore store;
    SettingsFile file(m_path.string(), store);
    EXPECT_EQ(file.readString("Name", "Prev"), "kept");
    for (const SettingKey& key : settingKeys()) {
        file.readString(key.section, key.key);
    }
    file.writeString("Tallyfox Test", "Key", "value");
    EXPECT_EQ(file.readString("Tallyfox Test", "Key"), "value");
    EXPECT_TRUE(readBytes(m_path).starts_with(content));
}

// ---- Where the settings file lies ----

class SettingsLocationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"XDG_CONFIG_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
        ::setenv("HOME", (m_dir.path() / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_dir.path() / "config").c_str(), 1);
        fs::create_directory(m_dir.path() / "bin");
    }

    void TearDown() override
    {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }

    std::string exe(const std::string& name) const
    {
        return (m_dir.path() / "bin" / name).string();
    }

    tallyfox::testing::TempDir m_dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(SettingsLocationTest, BesideTheExecutableWhenItsFolderCanBeWritten)
{
    for (const auto& [name, ini] : std::vector<std::pair<std::string, std::string>>{
             {"Tallyfox.exe", "Tallyfox.ini"}, {"tallyfox", "tallyfox.ini"}, {"tally.fox.bin", "tally.fox.ini"}}) {
        const SettingsLocation location = settingsLocation(exe(name), ProgramCopy::Portable);
        EXPECT_EQ(location.path, (m_dir.path() / "bin" / ini).string());
        EXPECT_FALSE(location.createFolder);
    }
}

TEST_F(SettingsLocationTest, FolderThatCannotBeWrittenMovesItToTheUsersConfigFolder)
{
    FaultySyscalls calls;
    calls.fail("faccessat", 1, EACCES, true);
    SettingsLocation location = settingsLocation(exe("tally.fox"), ProgramCopy::Portable, calls);
    EXPECT_EQ(location.path, (m_dir.path() / "config" / "tallyfox" / "tally.ini").string());
    EXPECT_TRUE(location.createFolder);

    ::setenv("XDG_CONFIG_HOME", (m_dir.path() / "config/").c_str(), 1);
    EXPECT_EQ(settingsLocation(exe("tallyfox"), ProgramCopy::Portable, calls).path,
              (m_dir.path() / "config" / "tallyfox" / "tallyfox.ini").string());

    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingsLocation(exe("tallyfox"), ProgramCopy::Portable, calls).path,
              (m_dir.path() / "home" / ".config" / "tallyfox" / "tallyfox.ini").string());

    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(settingsLocation(exe("tallyfox"), ProgramCopy::Portable, calls).path,
              (m_dir.path() / "home" / ".config" / "tallyfox" / "tallyfox.ini").string());
}

TEST_F(SettingsLocationTest, ASettingsFileBesideTheExecutableIsKeptThere)
{
    writeBytes(m_dir.path() / "bin" / "Tallyfox.ini", "[Dialog]\r\nShow=0\r\n");
    FaultySyscalls calls;
    calls.fail("faccessat", 1, EACCES, true);
    const SettingsLocation location = settingsLocation(exe("Tallyfox.exe"), ProgramCopy::Portable, calls);
    EXPECT_EQ(location.path, (m_dir.path() / "bin" / "Tallyfox.ini").string());
    EXPECT_FALSE(location.createFolder);
}

TEST_F(SettingsLocationTest, AnInstalledCopyKeepsThemPerUserWhoeverStartsIt)
{
    // A folder its starter may write (as root may write /usr/bin), and a file beside the program that
    // an earlier start left there: neither matters to an installed copy.
    writeBytes(m_dir.path() / "bin" / "tallyfox.ini", "[Dialog]\r\nShow=0\r\n");
    FaultySyscalls calls;
    SettingsLocation location = settingsLocation(exe("tallyfox"), ProgramCopy::Installed, calls);
    EXPECT_EQ(location.path, (m_dir.path() / "config" / "tallyfox" / "tallyfox.ini").string());
    EXPECT_TRUE(location.createFolder);
    EXPECT_EQ(settingsLocation(exe("tallyfox"), ProgramCopy::Portable, calls).path,
              (m_dir.path() / "bin" / "tallyfox.ini").string());

    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(settingsLocation(exe("tallyfox"), ProgramCopy::Installed, calls).path,
              (m_dir.path() / "home" / ".config" / "tallyfox" / "tallyfox.ini").string());

    // Nowhere of the user's own: nothing, rather than the folder every user shares.
    ::unsetenv("HOME");
    location = settingsLocation(exe("tallyfox"), ProgramCopy::Installed, calls);
    EXPECT_EQ(location.path, "");
    EXPECT_EQ(settingsLocation(exe("tallyfox"), ProgramCopy::Portable, calls).path,
              (m_dir.path() / "bin" / "tallyfox.ini").string());
}

TEST_F(SettingsLocationTest, TheUsersConfigFolderIsMadeOnTheFirstWrite)
{
    FaultySyscalls calls;
    calls.fail("faccessat", 1, EACCES, true);
    const SettingsLocation location = settingsLocation(exe("tallyfox"), ProgramCopy::Portable, calls);
    PosixSettingsStore store(systemCalls(), PosixSettingsStore::MissingFolder::Create);
    SettingsFile file(location.path, store);
    EXPECT_EQ(file.readInteger("Dialog", "Show", 1), 1);
    EXPECT_FALSE(fs::exists(m_dir.path() / "config"));
    file.writeInteger("Dialog", "Show", 0);
    EXPECT_EQ(readBytes(location.path), "[Dialog]\r\nShow=0\r\n");
    EXPECT_EQ(statOf(m_dir.path() / "config" / "tallyfox").st_mode & 0777, 0700u);
}

} // namespace
} // namespace tallyfox::platform
