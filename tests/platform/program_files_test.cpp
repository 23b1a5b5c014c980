#include "platform/file_reading.h"
#include "platform/program_files.h"
#include "platform/testing/faulty_syscalls.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace tallyfox::platform {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

struct HelpFileRow
{
    std::string name;
    std::string executable;         // relative to a fresh folder
    std::vector<std::string> files; // help files that exist there
    std::vector<std::string> folders;
    std::string expected;
};

class HelpFileTest : public ::testing::TestWithParam<HelpFileRow>
{
protected:
    testing::TempDir m_root;
};

TEST_P(HelpFileTest, FollowsTheExecutablesName)
{
    const HelpFileRow& row = GetParam();
    for (const std::string& file : row.files) {
        writeFile(m_root.path() / file, "<html></html>");
    }
    for (const std::string& folder : row.folders) {
        fs::create_directories(m_root.path() / folder);
    }
    const std::string root = m_root.str() + "/";
    EXPECT_EQ(helpFileOf(root + row.executable), root + row.expected);
}

// The data folder of a copy installed with its executable in usr/bin.
const std::string kData = (fs::path("usr/bin") / TALLYFOX_DATA_FROM_BIN).lexically_normal().string();

INSTANTIATE_TEST_SUITE_P(
    Names,
    HelpFileTest,
    ::testing::Values(
        HelpFileRow{"a name without a dot gets the extension appended",
                    "bin/tallyfox",
                    {"bin/tallyfox.hlp"},
                    {},
                    "bin/tallyfox.hlp"},
        HelpFileRow{"the extension is replaced", "bin/Tallyfox.exe", {}, {}, "bin/Tallyfox.hlp"},
        HelpFileRow{
            "of several dots only the last starts the extension", "bin/tally.fox.x86_64", {}, {}, "bin/tally.fox.hlp"},
        HelpFileRow{
            "a dot in a folder name only is no extension", "v1.2/bin/tallyfox", {}, {}, "v1.2/bin/tallyfox.hlp"},
        HelpFileRow{"a name ending in a dot", "bin/tallyfox.", {}, {}, "bin/tallyfox.hlp"},
        HelpFileRow{"a name starting with its only dot is all extension", "bin/.tallyfox", {}, {}, "bin/.hlp"},
        HelpFileRow{"multibyte folder and name", "ツール.d/連番.app", {}, {}, "ツール.d/連番.hlp"},
        HelpFileRow{
            "a renamed program looks for its own name", "bin/renamer", {"bin/tallyfox.hlp"}, {}, "bin/renamer.hlp"},
        HelpFileRow{"an installed copy finds it in its data folder",
                    "usr/bin/tallyfox",
                    {kData + "/tallyfox.hlp"},
                    {},
                    kData + "/tallyfox.hlp"},
        HelpFileRow{"one beside the executable comes first",
                    "usr/bin/tallyfox",
                    {"usr/bin/tallyfox.hlp", kData + "/tallyfox.hlp"},
                    {},
                    "usr/bin/tallyfox.hlp"},
        HelpFileRow{"the data folder is searched by the same file name",
                    "usr/bin/renamer",
                    {kData + "/tallyfox.hlp"},
                    {},
                    "usr/bin/renamer.hlp"},
        HelpFileRow{"with none anywhere the name beside the executable, for the viewer to report",
                    "usr/bin/tallyfox",
                    {},
                    {},
                    "usr/bin/tallyfox.hlp"},
        HelpFileRow{"a folder of that name is not a help file",
                    "usr/bin/tallyfox",
                    {kData + "/tallyfox.hlp"},
                    {"usr/bin/tallyfox.hlp"},
                    kData + "/tallyfox.hlp"}),
    TALLYFOX_ROW_NAMES);

struct InstalledCopyRow
{
    std::string name;
    std::string executable;                                 // relative to a fresh folder
    std::vector<std::string> installedFolders;              // likewise
    std::vector<std::pair<std::string, std::string>> links; // link, target (folders made first)
    bool installed;
};

class InstalledCopyTest : public ::testing::TestWithParam<InstalledCopyRow>
{
protected:
    testing::TempDir m_root;
};

TEST_P(InstalledCopyTest, IsKnownByItsFolder)
{
    const InstalledCopyRow& row = GetParam();
    for (const auto& [link, target] : row.links) {
        fs::create_directories(m_root.path() / target);
        fs::create_symlink(target, m_root.path() / link);
    }
    std::vector<std::string> folders;
    for (const std::string& folder : row.installedFolders) {
        folders.push_back(m_root.str() + "/" + folder);
    }
    EXPECT_EQ(isInstalledCopy(m_root.str() + "/" + row.executable, folders), row.installed);
}

INSTANTIATE_TEST_SUITE_P(
    Folders,
    InstalledCopyTest,
    ::testing::Values(
        InstalledCopyRow{"in the bin folder of the prefix", "prefix/bin/tallyfox", {"prefix/bin"}, {}, true},
        InstalledCopyRow{"in the second folder", "usr/bin/tallyfox", {"prefix/bin", "usr/bin"}, {}, true},
        InstalledCopyRow{"a copy in a folder of its own", "home/apps/tallyfox", {"prefix/bin", "usr/bin"}, {}, false},
        InstalledCopyRow{"a folder whose name begins alike", "prefix/bin2/tallyfox", {"prefix/bin"}, {}, false},
        InstalledCopyRow{"a folder inside the bin folder", "prefix/bin/old/tallyfox", {"prefix/bin"}, {}, false},
        InstalledCopyRow{"the prefix written with dots and a trailing slash",
                         "prefix/bin/tallyfox",
                         {"prefix/./lib/../bin/"},
                         {},
                         true},
        InstalledCopyRow{
            "the prefix reached through a link", "prefix/bin/tallyfox", {"link/bin"}, {{"link", "prefix"}}, true},
        InstalledCopyRow{"the executable reached through a link",
                         "merged/tallyfox",
                         {"prefix/bin"},
                         {{"merged", "prefix/bin"}},
                         true},
        InstalledCopyRow{"no folder at all", "prefix/bin/tallyfox", {}, {}, false}),
    TALLYFOX_ROW_NAMES);

TEST(InstalledProgramFoldersTest, TheBuildsOwnProgramIsAPortableCopy)
{
    // The build puts its programs, their help and their settings in one folder of the build tree.
    EXPECT_FALSE(isInstalledCopy(executablePath()));
    // The package installs under /usr whatever prefix the build was configured with.
    const std::vector<std::string> folders = installedProgramFolders();
    EXPECT_NE(std::find(folders.begin(), folders.end(), "/usr/bin"), folders.end());
}

TEST(ExecutablePathTest, NamesThisProgram)
{
    const std::string path = executablePath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(fs::path(path).filename(), "program_files_test");
    EXPECT_TRUE(fs::is_regular_file(path));
}

class ReadWholeFileTest : public ::testing::Test
{
protected:
    testing::TempDir m_root;
};

TEST_F(ReadWholeFileTest, GivesEveryByte)
{
    // Larger than one read, with bytes that text handling might lose.
    std::string content;
    for (int i = 0; i < 200000; ++i) {
        content += static_cast<char>(i % 256);
    }
    const fs::path file = m_root.path() / "help.hlp";
    writeFile(file, content);
    std::string read = "stale";
    EXPECT_EQ(readWholeFile(file.string(), read), 0);
    EXPECT_EQ(read, content);
}

TEST_F(ReadWholeFileTest, MissingFileAndFolderGiveTheirErrors)
{
    std::string read = "stale";
    EXPECT_EQ(readWholeFile((m_root.path() / "none.hlp").string(), read), ENOENT);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(readWholeFile(m_root.str(), read), EISDIR);
    EXPECT_TRUE(read.empty());
}

TEST_F(ReadWholeFileTest, AFailedReadGivesNothingAndReleasesTheFile)
{
    const fs::path file = m_root.path() / "help.hlp";
    writeFile(file, std::string(100000, 'x'));
    FaultySyscalls sys;
    sys.fail("read", 2, EIO);
    std::string read;
    EXPECT_EQ(readWholeFile(file.string(), read, sys), EIO);
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(sys.calls("close"), sys.calls("openat"));
}

} // namespace
} // namespace tallyfox::platform
