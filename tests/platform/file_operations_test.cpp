#include "platform/file_operations.h"
#include "platform/testing/faulty_syscalls.h"
#include "platform/volumes.h"
#include "tests/support/mounted_card.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <ostream>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallyfox::platform {
namespace {

namespace fs = std::filesystem;

// Everything under a folder, by relative path: a file's bytes, a link's destination, or a folder mark.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const fs::path& root)
{
    Snapshot entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(entry.path(), root).string();
        const fs::file_status status = entry.symlink_status();
        if (fs::is_symlink(status)) {
            entries[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_directory(status)) {
            entries[name] = "folder";
        } else if (!fs::is_regular_file(status)) {
            entries[name] = "special";
        } else {
            std::string bytes(entry.file_size(), '\0');
            std::ifstream(entry.path(), std::ios::binary)
                .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            entries[name] = std::move(bytes);
        }
    }
    return entries;
}

// Takes the hidden entries (temporary files) out of a snapshot and gives them back.
Snapshot takeHidden(Snapshot& entries)
{
    Snapshot hidden;
    for (auto it = entries.begin(); it != entries.end();) {
        if (fs::path(it->first).filename().string().starts_with(".")) {
            hidden.insert(*it);
            it = entries.erase(it);
        } else {
            ++it;
        }
    }
    return hidden;
}

// Bytes that differ from one position to the next, so a chunk copied twice or skipped shows. Made
// once per size and seed: the tests ask for the same megabytes again and again.
const std::string& content(std::size_t size, unsigned seed)
{
    static std::map<std::pair<std::size_t, unsigned>, std::string> made;
    std::string& bytes = made[{size, seed}];
    if (bytes.size() != size) {
        bytes.resize(size);
        std::uint32_t x = seed * 2654435761u + 1;
        for (std::size_t i = 0; i < size; ++i) {
            x = x * 1103515245u + 12345u;
            bytes[i] = static_cast<char>(x >> 16);
        }
    }
    return bytes;
}

void writeFile(const fs::path& path, const std::string& bytes, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

struct stat lstatOf(const fs::path& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

int openDescriptors()
{
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// Table rows show by their name in a failure message.
template <typename Row>
requires requires(const Row& row)
{
    row.name;
}
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

constexpr std::size_t kTwoChunks = PosixFileOperations::kCopyChunkBytes + 5000;

// A folder of renamed files and a save folder beside it, as a run leaves them before its transfer pass.
struct Scene
{
    testing::TempDir root;
    fs::path photos = root.path() / "photos";
    fs::path save = root.path() / "save";

    Scene()
    {
        fs::create_directory(photos);
        fs::create_directory(save);
    }
    std::string photo(const std::string& name) const
    {
        return (photos / name).string();
    }
    std::string saved(const std::string& name) const
    {
        return (save / name).string();
    }
    std::string key(const fs::path& path) const
    {
        return fs::relative(path, root.path()).string();
    }
};

enum class Operation
{
    Copy,
    Move,
    MoveAcross, // a move whose rename answers EXDEV, as between two file systems
};

int transfer(PosixFileOperations& ops,
             FaultySyscalls& calls,
             Operation operation,
             const std::string& source,
             const std::string& target,
             bool replace)
{
    switch (operation) {
    case Operation::Copy:
        return ops.copyFile(source, target, replace);
    case Operation::MoveAcross:
        calls.fail("renameat2", 1, EXDEV);
        [[fallthrough]];
    case Operation::Move:
        return ops.moveFile(source, target, replace);
    }
    return -1;
}

std::string operationName(Operation operation)
{
    switch (operation) {
    case Operation::Copy:
        return "copy";
    case Operation::Move:
        return "move";
    case Operation::MoveAcross:
        return "move across";
    }
    return {};
}

// Each test checks its own outcome; every one of them also leaves no temporary file and no open
// descriptor behind.
class FileOperationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_descriptors = openDescriptors();
        m_ops = std::make_unique<PosixFileOperations>(m_calls);
    }

    void TearDown() override
    {
        m_ops.reset();
        EXPECT_EQ(openDescriptors(), m_descriptors) << "a descriptor was left open";
        Snapshot after = snapshot(m_scene.root.path());
        EXPECT_EQ(takeHidden(after), Snapshot{}) << "a temporary file was left behind";
    }

    PosixFileOperations& ops()
    {
        return *m_ops;
    }

    Scene m_scene;
    FaultySyscalls m_calls;
    std::unique_ptr<PosixFileOperations> m_ops;
    int m_descriptors = 0;
};

// --- Renames ---------------------------------------------------------------------------------------

TEST_F(FileOperationsTest, RenameGivesTheFileItsNewNameInItsFolder)
{
    writeFile(m_scene.photos / "photo.jpg", "photo");
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "photo.jpg", "_001.jpg"), 0);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"_001.jpg", "photo"}}));
}

TEST_F(FileOperationsTest, RenameOntoAnExistingNameLeavesBothFilesAsTheyWere)
{
    writeFile(m_scene.photos / "a.jpg", content(3000, 1));
    writeFile(m_scene.photos / "b.jpg", content(2000, 2));
    fs::create_symlink("missing.jpg", m_scene.photos / "c.jpg");
    const Snapshot before = snapshot(m_scene.root.path());

    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "b.jpg"), EEXIST);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "c.jpg"), EEXIST); // a link to nothing
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

TEST_F(FileOperationsTest, RenameToTheSameNameIsDoneWithoutARenameUnlessTheFileHasGone)
{
    writeFile(m_scene.photos / "001.jpg", "photo");
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "001.jpg", "001.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "002.jpg", "002.jpg"), ENOENT);
    EXPECT_EQ(m_calls.calls("renameat2"), 0);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"001.jpg", "photo"}}));
}

TEST_F(FileOperationsTest, RenameTakesANameOfTheLongestLength)
{
    writeFile(m_scene.photos / "a.jpg", "photo");
    const std::string longest(255, 'n');
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", longest), 0);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{longest, "photo"}}));
}

TEST_F(FileOperationsTest, RenamesInOneFolderOpenItOnceAndMakeOneCallEach)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeFile(m_scene.photos / name, name);
    }
    const std::string folder = m_scene.photos.string() + "/"; // as the run writes it
    EXPECT_EQ(ops().renameInFolder(folder, "a.jpg", "_1.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(folder, "b.jpg", "_2.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "c.jpg", "_3.jpg"), 0);
    EXPECT_EQ(m_calls.log, (std::vector<std::string>{"openat", "renameat2", "renameat2", "renameat2"}));
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"_1.jpg", "a.jpg"}, {"_2.jpg", "b.jpg"}, {"_3.jpg", "c.jpg"}}));
}

TEST_F(FileOperationsTest, RenamesAlternatingBetweenFoldersEachActInTheirOwnFolder)
{
    writeFile(m_scene.photos / "a.jpg", "in photos");
    writeFile(m_scene.save / "a.jpg", "in save");
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "b.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(m_scene.save.string(), "a.jpg", "c.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "b.jpg", "d.jpg"), 0);
    EXPECT_EQ(
        snapshot(m_scene.root.path()),
        (Snapshot{{"photos", "folder"}, {"photos/d.jpg", "in photos"}, {"save", "folder"}, {"save/c.jpg", "in save"}}));
}

TEST_F(FileOperationsTest, ARelativeFolderFollowsTheCurrentDirectory)
{
    // The file list makes its folder the current directory, so a relative folder may mean another
    // folder from one call to the next.
    Scene other;
    writeFile(m_scene.photos / "a.jpg", "first");
    writeFile(other.photos / "a.jpg", "second");
    char* const previous = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(m_scene.root.str().c_str()), 0);
    EXPECT_EQ(ops().renameInFolder("photos", "a.jpg", "b.jpg"), 0);
    ASSERT_EQ(::chdir(other.root.str().c_str()), 0);
    EXPECT_EQ(ops().renameInFolder("photos", "a.jpg", "c.jpg"), 0);
    EXPECT_EQ(ops().copyFile("photos/c.jpg", "save/c.jpg", false), 0);
    ASSERT_EQ(::chdir(previous), 0);
    ::free(previous);

    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"b.jpg", "first"}}));
    EXPECT_EQ(snapshot(other.photos), (Snapshot{{"c.jpg", "second"}}));
    EXPECT_EQ(snapshot(other.save), (Snapshot{{"c.jpg", "second"}}));
}

struct InvalidNameCase
{
    std::string name;
    std::string from;
    std::string to; // "<outside>" stands for an absolute path beside the folder
    int error;
};

class InvalidNameTest : public FileOperationsTest, public ::testing::WithParamInterface<InvalidNameCase>
{
};

TEST_P(InvalidNameTest, FailsWithoutACallAndNothingLeavesOrEntersTheFolder)
{
    const InvalidNameCase& row = GetParam();
    writeFile(m_scene.photos / "a.jpg", "photo");
    fs::create_directory(m_scene.photos / "a"); // makes "a/b" a path that a plain rename would take
    writeFile(m_scene.root.path() / "outside.jpg", "outside");
    const Snapshot before = snapshot(m_scene.root.path());
    const std::string to = row.to == "<outside>" ? (m_scene.root.path() / "escaped.jpg").string() : row.to;

    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), row.from, to), row.error);
    EXPECT_TRUE(m_calls.log.empty());
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rename,
    InvalidNameTest,
    ::testing::Values(InvalidNameCase{"empty new name", "a.jpg", "", EINVAL},
                      InvalidNameCase{"dot", "a.jpg", ".", EINVAL},
                      InvalidNameCase{"dot dot", "a.jpg", "..", EINVAL},
                      InvalidNameCase{"name with a slash", "a.jpg", "a/b", EINVAL},
                      InvalidNameCase{"name into the parent folder", "a.jpg", "../x", EINVAL},
                      InvalidNameCase{"absolute path", "a.jpg", "<outside>", EINVAL},
                      InvalidNameCase{"name with NUL", "a.jpg", std::string("b\0.jpg", 6), EINVAL},
                      InvalidNameCase{"name of 256 bytes", "a.jpg", std::string(256, 'n'), ENAMETOOLONG},
                      InvalidNameCase{"same invalid name on both sides", "..", "..", EINVAL},
                      InvalidNameCase{"old name from the parent folder", "../outside.jpg", "in.jpg", EINVAL},
                      InvalidNameCase{"empty old name", "", "b.jpg", EINVAL},
                      InvalidNameCase{"old name with NUL", std::string("a.jpg\0x", 7), "b.jpg", EINVAL}),
    TALLYFOX_ROW_NAMES);

// A file system that does not know RENAME_NOREPLACE answers with one of these.
class NoReplaceUnsupportedTest : public FileOperationsTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(NoReplaceUnsupportedTest, LinkAndUnlinkRenameButNeverReplace)
{
    m_calls.fail("renameat2", 1, GetParam(), true);
    writeFile(m_scene.photos / "a.jpg", content(3000, 1));
    writeFile(m_scene.photos / "b.jpg", content(2000, 2));
    fs::create_symlink("missing.jpg", m_scene.photos / "c.jpg");

    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "_1.jpg"), 0);
    EXPECT_EQ(m_calls.calls("linkat"), 1);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "_1.jpg", "b.jpg"), EEXIST);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "_1.jpg", "c.jpg"), EEXIST);
    EXPECT_EQ(snapshot(m_scene.photos),
              (Snapshot{{"_1.jpg", content(3000, 1)}, {"b.jpg", content(2000, 2)}, {"c.jpg", "link to missing.jpg"}}));
    EXPECT_EQ(lstatOf(m_scene.photos / "_1.jpg").st_nlink, 1u);
}

INSTANTIATE_TEST_SUITE_P(Rename,
                         NoReplaceUnsupportedTest,
                         ::testing::Values(EINVAL, ENOSYS, EOPNOTSUPP),
                         [](const auto& info) {
                             return std::string(strerrorname_np(info.param));
                         });

// A file system with neither no-replace renames nor hard links, as an exFAT card in user space: the new
// name is reserved by an empty placeholder, and the file renamed over it alone.
struct PlaceholderCase
{
    std::string name;
    std::string newName;
    std::function<void(const fs::path& photos)> fill; // what the folder holds besides a.jpg
    // Faults beyond the refused flag and links; the folder's opening is openat #1, the placeholder's
    // creation #2 and its close close #1, the refused flag renameat2 #1 and the rename over it #2.
    std::function<void(FaultySyscalls& calls, const fs::path& photos)> fault;
    int error;
    Snapshot after{}; // the folder afterwards; empty: as before
};

class PlaceholderRenameTest : public FileOperationsTest, public ::testing::WithParamInterface<PlaceholderCase>
{
};

TEST_P(PlaceholderRenameTest, NeverReplacesAFileAndLeavesNoPlaceholder)
{
    const PlaceholderCase& row = GetParam();
    m_calls.refuseNoReplace(1, EINVAL);
    m_calls.fail("linkat", 1, EPERM, true);
    writeFile(m_scene.photos / "a.jpg", content(3000, 1));
    if (row.fill) {
        row.fill(m_scene.photos);
    }
    const Snapshot before = snapshot(m_scene.photos);
    if (row.fault) {
        row.fault(m_calls, m_scene.photos);
    }

    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", row.newName), row.error)
        << strerrorname_np(row.error);
    EXPECT_EQ(snapshot(m_scene.photos), row.after.empty() ? before : row.after);
}

INSTANTIATE_TEST_SUITE_P(Rename,
                         PlaceholderRenameTest,
                         ::testing::Values(
                             PlaceholderCase{
                                 "a free name is taken", "b.jpg", nullptr, nullptr, 0, {{"b.jpg", content(3000, 1)}}},
                             PlaceholderCase{"a taken name is refused as the flag refuses it",
                                             "b.jpg",
                                             [](const fs::path& photos) {
                                                 writeFile(photos / "b.jpg", "someone's");
                                             },
                                             nullptr,
                                             EEXIST},
                             PlaceholderCase{"a link that leads nowhere holds its name",
                                             "b.jpg",
                                             [](const fs::path& photos) {
                                                 fs::create_symlink("missing.jpg", photos / "b.jpg");
                                             },
                                             nullptr,
                                             EEXIST},
                             PlaceholderCase{"a rename failing over the placeholder leaves none",
                                             "b.jpg",
                                             nullptr,
                                             [](FaultySyscalls& calls, const fs::path&) {
                                                 calls.fail("renameat2", 2, EIO);
                                             },
                                             EIO},
                             PlaceholderCase{"a placeholder written to meanwhile is someone's file and stays",
                                             "b.jpg",
                                             nullptr,
                                             [](FaultySyscalls& calls, const fs::path& photos) {
                                                 calls.before("renameat2", 2, [photos] {
                                                     std::ofstream(photos / "b.jpg", std::ios::binary | std::ios::app)
                                                         << "saved";
                                                 });
                                                 calls.fail("renameat2", 2, EIO);
                                             },
                                             EIO,
                                             {{"a.jpg", content(3000, 1)}, {"b.jpg", "saved"}}},
                             PlaceholderCase{"a file put in the placeholder's place is neither replaced nor removed",
                                             "b.jpg",
                                             nullptr,
                                             [](FaultySyscalls& calls, const fs::path& photos) {
                                                 calls.before("close", 1, [photos] {
                                                     fs::remove(photos / "b.jpg");
                                                     writeFile(photos / "b.jpg", "saved");
                                                 });
                                             },
                                             EEXIST,
                                             {{"a.jpg", content(3000, 1)}, {"b.jpg", "saved"}}},
                             // The card answers a character it cannot hold as a path that leads nowhere.
                             PlaceholderCase{"a name the card refuses is told as such",
                                             "10:30.jpg",
                                             nullptr,
                                             [](FaultySyscalls& calls, const fs::path&) {
                                                 calls.fail("openat", 2, ENOENT);
                                             },
                                             EINVAL},
                             PlaceholderCase{"a good name in a folder gone meanwhile is told as such",
                                             "b.jpg",
                                             nullptr,
                                             [](FaultySyscalls& calls, const fs::path&) {
                                                 calls.fail("openat", 2, ENOENT);
                                             },
                                             ENOENT}),
                         TALLYFOX_ROW_NAMES);

TEST_F(FileOperationsTest, AFileSystemFoundWithoutTheFlagAndLinksIsNotAskedForThemAgain)
{
    m_calls.refuseNoReplace(1, EINVAL);
    m_calls.fail("linkat", 1, EPERM, true);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        writeFile(m_scene.photos / name, name);
    }
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "1.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "b.jpg", "2.jpg"), 0);
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "c.jpg", "1.jpg"), EEXIST);
    // The flag and a link were asked once; then one plain rename for each file renamed.
    EXPECT_EQ(m_calls.calls("renameat2"), 3);
    EXPECT_EQ(m_calls.calls("linkat"), 1);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"1.jpg", "a.jpg"}, {"2.jpg", "b.jpg"}, {"c.jpg", "c.jpg"}}));
}

// The system's calls on a file system of another kind: statfs tells that kind, and the no-replace rename
// may be refused as that kind would refuse it. Counts the calls that change names.
class CallsOnFileSystem final : public Syscalls
{
public:
    explicit CallsOnFileSystem(long kind, int renameRefusal)
        : m_kind(kind)
        , m_renameRefusal(renameRefusal)
    {
    }

    int fstatfs(int fd, struct statfs* st) override
    {
        const int result = Syscalls::fstatfs(fd, st);
        st->f_type = m_kind;
        return result;
    }
    int renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override
    {
        ++renames;
        if (m_renameRefusal != 0) {
            errno = m_renameRefusal;
            return -1;
        }
        return Syscalls::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags);
    }
    int linkat(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, int flags) override
    {
        ++links;
        return Syscalls::linkat(oldDirFd, oldPath, newDirFd, newPath, flags);
    }

    int renames = 0;
    int links = 0;

private:
    long m_kind;
    int m_renameRefusal;
};

std::string kana(std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += "あ";
    }
    return text;
}

constexpr long kExt4 = 0xEF53;
constexpr long kVfat = 0x4d44;
constexpr long kExfat = 0x2011BAB0;
constexpr long kFuse = 0x65735546;

struct FileSystemNameCase
{
    std::string name;
    long kind;
    bool copy; // a copy into the save folder, else a rename in the folder
    std::string newName;
    int renameRefusal; // what the kind's renameat2 answers, 0: the real call
    int error;
    int renames; // no-replace renames tried
    int links;
};

class FileSystemNameTest : public ::testing::TestWithParam<FileSystemNameCase>
{
};

// A name is judged as the folder's file system judges it, and a card's refusal is told as it is, not as
// the refusal of a link that cards do not have.
TEST_P(FileSystemNameTest, RefusesWhatTheFileSystemRefusesForItsTrueReason)
{
    const FileSystemNameCase& row = GetParam();
    Scene scene;
    writeFile(scene.photos / "a.jpg", "photo");
    const Snapshot before = snapshot(scene.root.path());
    CallsOnFileSystem calls(row.kind, row.renameRefusal);
    PosixFileOperations ops(calls);

    const int error = row.copy ? ops.copyFile(scene.photo("a.jpg"), scene.saved(row.newName), false)
                               : ops.renameInFolder(scene.photos.string(), "a.jpg", row.newName);
    EXPECT_EQ(error, row.error) << strerrorname_np(error);
    EXPECT_EQ(calls.renames, row.renames);
    EXPECT_EQ(calls.links, row.links);
    if (error != 0) {
        EXPECT_EQ(snapshot(scene.root.path()), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds,
    FileSystemNameTest,
    ::testing::Values(
        FileSystemNameCase{"a colon on a Linux disk", kExt4, false, "10:30.jpg", 0, 0, 1, 0},
        FileSystemNameCase{"a colon on FAT, refused without a call", kVfat, false, "10:30.jpg", 0, EINVAL, 0, 0},
        FileSystemNameCase{"a question mark on exFAT", kExfat, false, "why?.jpg", 0, EINVAL, 0, 0},
        FileSystemNameCase{"a colon on a disk in user space", kFuse, false, "10:30.jpg", 0, 0, 1, 0},
        FileSystemNameCase{"a copy named with a bar onto FAT", kVfat, true, "a|b.jpg", 0, EINVAL, 0, 0},
        FileSystemNameCase{
            "255 kana on a Linux disk, too long without a call", kExt4, false, kana(255), 0, ENAMETOOLONG, 0, 0},
        // The disk under the test counts bytes and refuses it; exFAT itself would take it.
        FileSystemNameCase{
            "255 kana on exFAT, left to the file system", kExfat, false, kana(255), 0, ENAMETOOLONG, 1, 0},
        FileSystemNameCase{
            "256 kana on exFAT, too long without a call", kExfat, false, kana(256), 0, ENAMETOOLONG, 0, 0},
        FileSystemNameCase{
            "a name FAT refuses for a reason of its own, told as it is", kVfat, false, "b.jpg", EINVAL, EINVAL, 1, 0},
        FileSystemNameCase{
            "a file system that does not know the flag still links", kExt4, false, "b.jpg", EINVAL, 0, 1, 1}),
    TALLYFOX_ROW_NAMES);

// A camera's card for real: an image made with the file system's own tools and mounted, where the
// machine allows it (root, a loop device, the kernel's driver or the one in user space).
struct CardCase
{
    std::string name;
    std::string make;               // makes the image $IMG and mounts it on $DIR
    std::vector<std::string> needs; // programs and devices it takes
    NameRules rules;                // as the program must read them from the mounted folder
};

class RealCardTest : public ::testing::TestWithParam<CardCase>
{
protected:
    void SetUp() override
    {
        if (!m_card.missing().empty()) {
            GTEST_SKIP() << "no " << GetParam().name << " card here: " << m_card.missing();
        }
    }
    fs::path card() const
    {
        return m_card.folder();
    }

    testing::TempDir m_root;
    testing::MountedCard m_card{m_root.path(), GetParam().make, GetParam().needs};
};

// The rules read from the card agree with the card: a name they take, the card takes, and a name too
// long for them is too long for the card.
TEST_P(RealCardTest, NamesAreJudgedAsTheCardJudgesThem)
{
    const CardCase& row = GetParam();
    const std::string folder = card().string();
    EXPECT_EQ(nameRulesOf(systemCalls(), folder), row.rules);
    std::vector<std::string> names{kana(255), kana(256), std::string(255, 'n') + "x"};
    if (row.rules == NameRules::Fat) {
        names.push_back("10:30.jpg"); // a disk in user space may be NTFS, which takes it
    }
    for (const std::string& name : names) {
        const int fd = ::open((card() / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const int made = fd >= 0 ? 0 : errno;
        if (fd >= 0) {
            ::close(fd);
            ::unlink((card() / name).c_str());
        }
        EXPECT_EQ(unusableName(name, row.rules) == 0, made == 0) << name.size() << " bytes: " << strerrorname_np(made);
    }
    // The run's own renames, also where the card knows neither no-replace renames nor links: a colon
    // refused for what it is, the longest name the card takes taken.
    writeFile(card() / "a.jpg", "photo");
    PosixFileOperations ops;
    EXPECT_EQ(ops.renameInFolder(folder, "a.jpg", "10:30.jpg"), EINVAL);
    EXPECT_EQ(ops.renameInFolder(folder, "a.jpg", kana(255)), 0);
    EXPECT_EQ(snapshot(card()), (Snapshot{{kana(255), "photo"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cards,
    RealCardTest,
    ::testing::Values(
        CardCase{
            "FAT", "mkfs.vfat \"$IMG\" && mount -t vfat -o loop,utf8 \"$IMG\" \"$DIR\"", {"mkfs.vfat"}, NameRules::Fat},
        CardCase{
            "exFAT", "mkfs.exfat \"$IMG\" && mount -t exfat -o loop \"$IMG\" \"$DIR\"", {"mkfs.exfat"}, NameRules::Fat},
        CardCase{"exFAT in user space", testing::kExfatInUserSpace, testing::kExfatInUserSpaceNeeds, NameRules::Utf16}),
    TALLYFOX_ROW_NAMES);

TEST_F(FileOperationsTest, LinkRenameWhoseOldNameCannotGoKeepsTheOldNameAlone)
{
    m_calls.fail("renameat2", 1, EINVAL);
    m_calls.fail("unlinkat", 1, EBUSY);
    writeFile(m_scene.photos / "a.jpg", "photo");
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "b.jpg"), EBUSY);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"a.jpg", "photo"}}));
}

TEST_F(FileOperationsTest, LinkRenameKeepsTheNewNameWhenTheOldOneVanishedMeanwhile)
{
    // Removing the new link after the old name is gone would lose the file.
    m_calls.fail("renameat2", 1, EINVAL);
    m_calls.before("unlinkat", 1, [&] {
        fs::remove(m_scene.photos / "a.jpg");
    });
    m_calls.fail("unlinkat", 1, EIO);
    writeFile(m_scene.photos / "a.jpg", "photo");
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "a.jpg", "b.jpg"), 0);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"b.jpg", "photo"}}));
}

TEST_F(FileOperationsTest, LinkRenameIsNotTriedForAFolder)
{
    m_calls.fail("renameat2", 1, EINVAL);
    fs::create_directory(m_scene.photos / "album");
    EXPECT_EQ(ops().renameInFolder(m_scene.photos.string(), "album", "album2"), EINVAL);
    EXPECT_EQ(m_calls.calls("linkat"), 0);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"album", "folder"}}));
}

// --- Existence ---------------------------------------------------------------------------------------

struct ExistenceCase
{
    std::string name;
    std::string path; // relative to the photos folder
    bool exists;
};

class FileExistsTest : public FileOperationsTest, public ::testing::WithParamInterface<ExistenceCase>
{
};

TEST_P(FileExistsTest, CountsEveryEntryButAFolder)
{
    writeFile(m_scene.photos / "file.jpg", "photo");
    fs::create_directory(m_scene.photos / "folder");
    fs::create_symlink("missing.jpg", m_scene.photos / "dangling.jpg");
    fs::create_symlink("file.jpg", m_scene.photos / "link.jpg");
    fs::create_symlink("folder", m_scene.photos / "folder-link");
    ASSERT_EQ(::mkfifo((m_scene.photos / "pipe").c_str(), 0644), 0);
    EXPECT_EQ(ops().fileExists(m_scene.photos.string() + "/" + GetParam().path), GetParam().exists);
}

INSTANTIATE_TEST_SUITE_P(Exists,
                         FileExistsTest,
                         ::testing::Values(ExistenceCase{"a file", "file.jpg", true},
                                           ExistenceCase{"a doubled slash before the name", "/file.jpg", true},
                                           ExistenceCase{"a link to a file", "link.jpg", true},
                                           ExistenceCase{"a link that leads nowhere", "dangling.jpg", true},
                                           ExistenceCase{"a link to a folder is a link", "folder-link", true},
                                           ExistenceCase{"a pipe", "pipe", true},
                                           ExistenceCase{"a folder", "folder", false},
                                           ExistenceCase{"nothing", "none.jpg", false},
                                           ExistenceCase{"a file named as a folder", "file.jpg/", false},
                                           ExistenceCase{"a name cut by NUL", std::string("file.jpg\0x", 10), false}),
                         TALLYFOX_ROW_NAMES);

// --- Copies ------------------------------------------------------------------------------------------

constexpr struct timespec kAccessed = {1'200'000'000, 987'654'321};
constexpr struct timespec kModified = {1'000'000'000, 123'456'789};

void setTimes(const fs::path& path)
{
    const struct timespec times[2] = {kAccessed, kModified};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

void expectTimesKept(const fs::path& path)
{
    const struct stat st = lstatOf(path);
    EXPECT_EQ(st.st_mtim.tv_sec, kModified.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, kModified.tv_nsec);
    EXPECT_EQ(st.st_atim.tv_sec, kAccessed.tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, kAccessed.tv_nsec);
}

struct ModeCase
{
    std::string name;
    mode_t source;
    mode_t copy;
};

class CopyModeTest : public FileOperationsTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(CopyModeTest, ACopyToAFreeNameKeepsContentModeAndTimes)
{
    const ModeCase& row = GetParam();
    writeFile(m_scene.photos / "001.jpg", content(kTwoChunks, 7), row.source);
    setTimes(m_scene.photos / "001.jpg");

    EXPECT_EQ(ops().copyFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), false), 0);
    expectTimesKept(m_scene.save / "001.jpg"); // before reading the copy gives it a new access time
    EXPECT_EQ(lstatOf(m_scene.save / "001.jpg").st_mode & 07777, row.copy);
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(kTwoChunks, 7)}}));
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"001.jpg", content(kTwoChunks, 7)}}));
}

INSTANTIATE_TEST_SUITE_P(Copy,
                         CopyModeTest,
                         ::testing::Values(ModeCase{"owner and group", 0640, 0640},
                                           ModeCase{"read only", 0444, 0444},
                                           ModeCase{"unusual bits", 0507, 0507},
                                           ModeCase{"set user id is not copied", 04755, 0755},
                                           ModeCase{"set group id and sticky are not copied", 03775, 0775}),
                         TALLYFOX_ROW_NAMES);

TEST_F(FileOperationsTest, ACopyToAFreeNameLooksAtTheTargetOnceAndNeitherFlushesNorShowsUnderAnyOtherName)
{
    writeFile(m_scene.photos / "001.jpg", "photo");
    // Just before it takes its name, the copy is complete and yet nowhere to be seen.
    m_calls.before("linkat", 1, [&] {
        EXPECT_EQ(snapshot(m_scene.save), Snapshot{});
    });
    EXPECT_EQ(ops().copyFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), 0);
    EXPECT_EQ(m_calls.calls("fstatat"), 1);
    EXPECT_EQ(m_calls.calls("fsync"), 0);
    EXPECT_EQ(m_calls.calls("linkat"), 1);
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", "photo"}}));
}

TEST_F(FileOperationsTest, ACopyOverAnExistingFileReplacesItWithAFlushedCopy)
{
    writeFile(m_scene.photos / "001.jpg", content(5000, 1), 0640);
    setTimes(m_scene.photos / "001.jpg");
    writeFile(m_scene.save / "001.jpg", content(9000, 2), 0600);

    EXPECT_EQ(ops().copyFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), 0);
    expectTimesKept(m_scene.save / "001.jpg");
    EXPECT_EQ(lstatOf(m_scene.save / "001.jpg").st_mode & 07777, 0640u);
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(5000, 1)}}));
    const auto fsync = std::find(m_calls.log.begin(), m_calls.log.end(), "fsync");
    ASSERT_NE(fsync, m_calls.log.end());
    EXPECT_NE(std::find(fsync, m_calls.log.end(), "renameat2"), m_calls.log.end()) << "flushed before it replaces";
}

TEST_F(FileOperationsTest, ACopyOverAnExistingFileWithoutReplaceCopiesNothing)
{
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    writeFile(m_scene.save / "001.jpg", content(9000, 2));
    EXPECT_EQ(ops().copyFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), false), EEXIST);
    EXPECT_EQ(m_calls.calls("copy_file_range") + m_calls.calls("write"), 0);
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(9000, 2)}}));
}

TEST_F(FileOperationsTest, PathsWithADoubledSlashNameOneFolder)
{
    writeFile(m_scene.photos / "001.jpg", "one");
    writeFile(m_scene.photos / "002.jpg", "two");
    const std::string save = m_scene.save.string() + "/"; // a folder text that ends in "/", then "/" and the name
    EXPECT_EQ(ops().copyFile(m_scene.photos.string() + "//001.jpg", save + "/001.jpg", false), 0);
    EXPECT_EQ(ops().moveFile(m_scene.photos.string() + "//002.jpg", save + "/002.jpg", false), 0);
    EXPECT_TRUE(ops().fileExists(save + "/002.jpg"));
    EXPECT_EQ(m_calls.calls("openat"), 3) << "the save folder opened once, the copy's source and target";
    EXPECT_EQ(snapshot(m_scene.root.path()),
              (Snapshot{{"photos", "folder"},
                        {"photos/001.jpg", "one"},
                        {"save", "folder"},
                        {"save/001.jpg", "one"},
                        {"save/002.jpg", "two"}}));
}

struct RefusedCopyCase
{
    std::string name;
    std::string source; // relative to the scene's root
    std::string target; // relative to the scene's root
    int error;
};

class RefusedCopyTest : public FileOperationsTest, public ::testing::WithParamInterface<RefusedCopyCase>
{
};

TEST_P(RefusedCopyTest, ChangesNothingAnywhere)
{
    const RefusedCopyCase& row = GetParam();
    writeFile(m_scene.photos / "001.jpg", "photo");
    fs::create_directory(m_scene.photos / "album");
    ASSERT_EQ(::mkfifo((m_scene.photos / "pipe").c_str(), 0644), 0);
    fs::create_symlink("renamed.jpg", m_scene.photos / "link.jpg");
    const Snapshot before = snapshot(m_scene.root.path());
    const std::string root = m_scene.root.str() + "/";
    for (const bool replace : {false, true}) {
        EXPECT_EQ(ops().copyFile(root + row.source, root + row.target, replace), row.error) << replace;
    }
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Copy,
    RefusedCopyTest,
    ::testing::Values(
        RefusedCopyCase{"missing source", "photos/none.jpg", "save/none.jpg", ENOENT},
        RefusedCopyCase{"folder as source", "photos/album", "save/album", EISDIR},
        RefusedCopyCase{"pipe as source", "photos/pipe", "save/pipe", EINVAL},
        RefusedCopyCase{"link to nothing as source", "photos/link.jpg", "save/link.jpg", LinkLeadsNowhere},
        RefusedCopyCase{"missing save folder", "photos/001.jpg", "nowhere/001.jpg", ENOENT},
        RefusedCopyCase{"save folder is a file", "photos/001.jpg", "photos/001.jpg/x.jpg", ENOTDIR},
        RefusedCopyCase{"target ends in a slash", "photos/001.jpg", "save/", EINVAL},
        RefusedCopyCase{"target is the parent", "photos/001.jpg", "save/..", EINVAL},
        RefusedCopyCase{"target of 256 bytes", "photos/001.jpg", "save/" + std::string(256, 'n'), ENAMETOOLONG},
        RefusedCopyCase{"target with NUL", "photos/001.jpg", std::string("save/a\0b", 8), EINVAL}),
    TALLYFOX_ROW_NAMES);

struct HalfwayCase
{
    std::string name;
    bool existingTarget;
    bool throughBuffer; // the kernel cannot copy between the two files
    std::string call;
    int error;
};

class HalfwayCopyTest : public FileOperationsTest, public ::testing::WithParamInterface<HalfwayCase>
{
};

TEST_P(HalfwayCopyTest, LeavesTheTargetAsItWas)
{
    const HalfwayCase& row = GetParam();
    writeFile(m_scene.photos / "001.jpg", content(2 * PosixFileOperations::kCopyChunkBytes + 10, 3));
    if (row.existingTarget) {
        writeFile(m_scene.save / "001.jpg", content(100, 4));
    }
    if (row.throughBuffer) {
        m_calls.fail("copy_file_range", 1, EXDEV, true);
    }
    m_calls.fail(row.call, 2, row.error); // the first chunk went through
    const Snapshot before = snapshot(m_scene.root.path());

    EXPECT_EQ(ops().copyFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), row.error);
    EXPECT_EQ(m_calls.calls(row.call), 2);
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Copy,
    HalfwayCopyTest,
    ::testing::Values(HalfwayCase{"free name disk full on write", false, true, "write", ENOSPC},
                      HalfwayCase{"free name read error", false, true, "read", EIO},
                      HalfwayCase{"free name kernel copy fails", false, false, "copy_file_range", EIO},
                      HalfwayCase{"existing target disk full on write", true, true, "write", ENOSPC},
                      HalfwayCase{"existing target kernel copy disk full", true, false, "copy_file_range", ENOSPC}),
    TALLYFOX_ROW_NAMES);

struct StepCase
{
    std::string name;
    bool existingTarget;
    std::string call;
    int n; // which call of that name fails
    int error;
};

class CopyStepTest : public FileOperationsTest, public ::testing::WithParamInterface<StepCase>
{
};

// A replacing copy calls: openat (source), openat (folder), fstatat (target), openat (temporary),
// copy_file_range or read and write, fchmod, futimens, fsync, close (temporary), renameat2. A copy to a
// free name: openat (source), openat (folder), fstatat (target), openat (unnamed file), the copying,
// fchmod, futimens, linkat (its name), close.
TEST_P(CopyStepTest, AFailingStepIsReportedAndChangesNothing)
{
    const StepCase& row = GetParam();
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    if (row.existingTarget) {
        writeFile(m_scene.save / "001.jpg", content(700, 2));
    }
    if (row.call == "write" || row.call == "read") {
        m_calls.fail("copy_file_range", 1, EXDEV, true);
    }
    m_calls.fail(row.call, row.n, row.error);
    const Snapshot before = snapshot(m_scene.root.path());

    EXPECT_EQ(ops().copyFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), row.error);
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Copy,
                         CopyStepTest,
                         ::testing::Values(StepCase{"replacing opening the source", true, "openat", 1, EACCES},
                                           StepCase{"replacing opening the save folder", true, "openat", 2, ENOENT},
                                           StepCase{"replacing looking at the target", true, "fstatat", 1, EIO},
                                           StepCase{"replacing creating the temporary file", true, "openat", 3, EDQUOT},
                                           StepCase{
                                               "replacing kernel copy disk full", true, "copy_file_range", 1, ENOSPC},
                                           StepCase{"replacing read error", true, "read", 1, EIO},
                                           StepCase{"replacing write disk full", true, "write", 1, ENOSPC},
                                           StepCase{"replacing setting the mode", true, "fchmod", 1, EIO},
                                           StepCase{"replacing setting the times", true, "futimens", 1, EIO},
                                           StepCase{"replacing flush disk full", true, "fsync", 1, ENOSPC},
                                           StepCase{"replacing flush error", true, "fsync", 1, EIO},
                                           StepCase{"replacing close disk full", true, "close", 1, ENOSPC},
                                           StepCase{"replacing rename over the target", true, "renameat2", 1, EIO},
                                           StepCase{"free name creating the target", false, "openat", 3, ENOSPC},
                                           StepCase{"free name write disk full", false, "write", 1, ENOSPC},
                                           StepCase{"free name setting the times", false, "futimens", 1, EIO},
                                           StepCase{"free name close disk full", false, "close", 1, ENOSPC},
                                           StepCase{"free name looking at the target", false, "fstatat", 1, EIO},
                                           StepCase{"free name taking its name", false, "linkat", 1, EDQUOT}),
                         TALLYFOX_ROW_NAMES);

// How the kernel copies between two files, when it does.
enum class KernelCopy
{
    Grudging,   // a little at a time, interrupted once
    Refused,    // not between these two files (EXDEV)
    NothingDone // claims the end of the file at once, as some file systems do instead of refusing
};

// Gives a copy only a little at a time and interrupts each kind of call once, as a busy system may.
class GrudgingSyscalls final : public Syscalls
{
public:
    explicit GrudgingSyscalls(KernelCopy kernel)
        : m_kernel(kernel)
    {
    }

    ssize_t read(int fd, void* buffer, size_t count) override
    {
        if (m_reads++ == 0) {
            errno = EINTR;
            return -1;
        }
        return Syscalls::read(fd, buffer, std::min<size_t>(count, 3001));
    }
    ssize_t write(int fd, const void* buffer, size_t count) override
    {
        if (m_writes++ == 0) {
            errno = EINTR;
            return -1;
        }
        return Syscalls::write(fd, buffer, std::min<size_t>(count, 1000));
    }
    ssize_t
    copy_file_range(int inFd, off_t* inOffset, int outFd, off_t* outOffset, size_t length, unsigned flags) override
    {
        switch (m_kernel) {
        case KernelCopy::Refused:
            errno = EXDEV;
            return -1;
        case KernelCopy::NothingDone:
            return 0;
        case KernelCopy::Grudging:
            break;
        }
        if (m_ranges++ == 0) {
            errno = EINTR;
            return -1;
        }
        return Syscalls::copy_file_range(inFd, inOffset, outFd, outOffset, std::min<size_t>(length, 777), flags);
    }

private:
    KernelCopy m_kernel;
    int m_reads = 0;
    int m_writes = 0;
    int m_ranges = 0;
};

class GrudgingCopyTest : public ::testing::TestWithParam<KernelCopy>
{
};

TEST_P(GrudgingCopyTest, ShortAndInterruptedTransfersStillGiveTheWholeFile)
{
    Scene scene;
    writeFile(scene.photos / "001.jpg", content(100'003, 5));
    GrudgingSyscalls calls(GetParam());
    PosixFileOperations ops(calls);
    EXPECT_EQ(ops.copyFile(scene.photo("001.jpg"), scene.saved("001.jpg"), false), 0);
    EXPECT_EQ(snapshot(scene.save), (Snapshot{{"001.jpg", content(100'003, 5)}}));
    EXPECT_EQ(ops.copyFile(scene.photo("001.jpg"), scene.saved("001.jpg"), true), 0);
    EXPECT_EQ(snapshot(scene.save), (Snapshot{{"001.jpg", content(100'003, 5)}}));
}

std::string kernelCopyName(const ::testing::TestParamInfo<KernelCopy>& info)
{
    switch (info.param) {
    case KernelCopy::Grudging:
        return "kernel_copies_a_little";
    case KernelCopy::Refused:
        return "kernel_refuses";
    case KernelCopy::NothingDone:
        return "kernel_copies_nothing";
    }
    return {};
}

INSTANTIATE_TEST_SUITE_P(Copy,
                         GrudgingCopyTest,
                         ::testing::Values(KernelCopy::Grudging, KernelCopy::Refused, KernelCopy::NothingDone),
                         kernelCopyName);

// --- Targets that must not be replaced -----------------------------------------------------------------

enum class Target
{
    File,
    ReadOnlyFile,
    Folder,
    DanglingLink,
};

struct RefusedTargetCase
{
    std::string name;
    Operation operation;
    Target target;
    bool replace;
    int error;
};

class RefusedTargetTest : public FileOperationsTest, public ::testing::WithParamInterface<RefusedTargetCase>
{
};

TEST_P(RefusedTargetTest, LeavesSourceAndTargetAsTheyWere)
{
    const RefusedTargetCase& row = GetParam();
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    const fs::path target = m_scene.save / "001.jpg";
    switch (row.target) {
    case Target::File:
        writeFile(target, content(700, 2));
        break;
    case Target::ReadOnlyFile:
        writeFile(target, content(700, 2), 0444);
        break;
    case Target::Folder:
        fs::create_directory(target);
        writeFile(target / "inside.jpg", "inside");
        break;
    case Target::DanglingLink:
        fs::create_symlink("missing.jpg", target);
        break;
    }
    const Snapshot before = snapshot(m_scene.root.path());

    EXPECT_EQ(transfer(ops(), m_calls, row.operation, m_scene.photo("001.jpg"), target.string(), row.replace),
              row.error);
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
    EXPECT_EQ(m_calls.calls("copy_file_range") + m_calls.calls("write"), 0) << "refused before any copying";
}

std::vector<RefusedTargetCase> refusedTargetCases()
{
    std::vector<RefusedTargetCase> rows;
    for (const Operation operation : {Operation::Copy, Operation::Move, Operation::MoveAcross}) {
        const std::string name = operationName(operation);
        rows.push_back({name + " over a read only file", operation, Target::ReadOnlyFile, true, EACCES});
        rows.push_back({name + " over a folder", operation, Target::Folder, true, EISDIR});
        rows.push_back({name + " over a file without replace", operation, Target::File, false, EEXIST});
        rows.push_back(
            {name + " over a read only file without replace", operation, Target::ReadOnlyFile, false, EEXIST});
        rows.push_back(
            {name + " over a link to nothing without replace", operation, Target::DanglingLink, false, EEXIST});
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Transfer, RefusedTargetTest, ::testing::ValuesIn(refusedTargetCases()), TALLYFOX_ROW_NAMES);

struct LinkTargetCase
{
    std::string name;
    Operation operation;
    bool dangling;
};

class LinkTargetTest : public FileOperationsTest, public ::testing::WithParamInterface<LinkTargetCase>
{
};

TEST_P(LinkTargetTest, WithReplaceTheLinkItselfIsReplacedNeverWhereItLeads)
{
    const LinkTargetCase& row = GetParam();
    writeFile(m_scene.photos / "001.jpg", "new");
    writeFile(m_scene.photos / "kept.jpg", "kept");
    fs::create_symlink(row.dangling ? "missing.jpg" : "../photos/kept.jpg", m_scene.save / "001.jpg");

    EXPECT_EQ(transfer(ops(), m_calls, row.operation, m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), 0);
    Snapshot expected{{"photos", "folder"}, {"photos/kept.jpg", "kept"}, {"save", "folder"}, {"save/001.jpg", "new"}};
    if (row.operation == Operation::Copy) {
        expected["photos/001.jpg"] = "new";
    }
    EXPECT_EQ(snapshot(m_scene.root.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Transfer,
    LinkTargetTest,
    ::testing::Values(LinkTargetCase{"copy over a link to nothing", Operation::Copy, true},
                      LinkTargetCase{"copy over a link to a file", Operation::Copy, false},
                      LinkTargetCase{"move over a link to nothing", Operation::Move, true},
                      LinkTargetCase{"move over a link to a file", Operation::Move, false},
                      LinkTargetCase{"move across over a link to nothing", Operation::MoveAcross, true},
                      LinkTargetCase{"move across over a link to a file", Operation::MoveAcross, false}),
    TALLYFOX_ROW_NAMES);

// --- Moves -------------------------------------------------------------------------------------------

TEST_F(FileOperationsTest, AMoveOnOneFileSystemIsARenameKeepingEverything)
{
    writeFile(m_scene.photos / "001.jpg", content(5000, 1), 0640);
    setTimes(m_scene.photos / "001.jpg");
    const ino_t inode = lstatOf(m_scene.photos / "001.jpg").st_ino;

    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), false), 0);
    EXPECT_EQ(m_calls.calls("copy_file_range") + m_calls.calls("fsync"), 0);
    EXPECT_EQ(snapshot(m_scene.photos), Snapshot{});
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(5000, 1)}}));
    EXPECT_EQ(lstatOf(m_scene.save / "001.jpg").st_ino, inode);
}

TEST_F(FileOperationsTest, AMoveOnOneFileSystemReplacesAnExistingFileOnlyWithReplace)
{
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    writeFile(m_scene.save / "001.jpg", content(700, 2));
    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), false), EEXIST);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"001.jpg", content(5000, 1)}}));
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(700, 2)}}));

    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), 0);
    EXPECT_EQ(snapshot(m_scene.photos), Snapshot{});
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(5000, 1)}}));
}

// The position in the log of the n-th call of a name.
std::ptrdiff_t positionOf(const std::vector<std::string>& log, const std::string& name, int n = 1)
{
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == name && --n == 0) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsRemovesTheSourceOnlyAfterTheCopyIsOnDisk)
{
    writeFile(m_scene.photos / "001.jpg", content(kTwoChunks, 1), 0640);
    setTimes(m_scene.photos / "001.jpg");
    m_calls.fail("renameat2", 1, EXDEV);

    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), false), 0);
    expectTimesKept(m_scene.save / "001.jpg");
    EXPECT_EQ(lstatOf(m_scene.save / "001.jpg").st_mode & 07777, 0640u);
    EXPECT_EQ(snapshot(m_scene.photos), Snapshot{});
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(kTwoChunks, 1)}}));

    const auto& log = m_calls.log;
    const auto setAside = positionOf(log, "renameat2", 2);
    const auto fileFlushed = positionOf(log, "fsync", 1);
    const auto inPlace = positionOf(log, "linkat", 1);
    const auto folderFlushed = positionOf(log, "fsync", 2);
    const auto sourceRemoved = positionOf(log, "unlinkat", 1);
    ASSERT_GE(setAside, 0);
    EXPECT_LT(setAside, fileFlushed);
    EXPECT_LT(fileFlushed, inPlace);
    EXPECT_LT(inPlace, folderFlushed);
    EXPECT_LT(folderFlushed, sourceRemoved);
    EXPECT_EQ(m_calls.calls("unlinkat"), 1);
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsWhoseFlushFailsKeepsTheSourceAndNoPartialTarget)
{
    for (const bool existingTarget : {false, true}) {
        SCOPED_TRACE(existingTarget ? "over an existing file" : "to a free name");
        Scene scene;
        writeFile(scene.photos / "001.jpg", content(kTwoChunks, 1));
        if (existingTarget) {
            writeFile(scene.save / "001.jpg", content(700, 2));
        }
        const Snapshot before = snapshot(scene.root.path());
        FaultySyscalls calls;
        calls.fail("renameat2", 1, EXDEV);
        calls.fail("fsync", 1, EIO);
        PosixFileOperations ops(calls);
        EXPECT_EQ(ops.moveFile(scene.photo("001.jpg"), scene.saved("001.jpg"), true), EIO);
        EXPECT_EQ(snapshot(scene.root.path()), before);
    }
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsReplacesAnExistingFileWithReplace)
{
    writeFile(m_scene.photos / "001.jpg", content(kTwoChunks, 1));
    writeFile(m_scene.save / "001.jpg", content(700, 2), 0600);
    m_calls.fail("renameat2", 1, EXDEV);
    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), 0);
    EXPECT_EQ(snapshot(m_scene.photos), Snapshot{});
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(kTwoChunks, 1)}}));
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsWhoseSourceCannotGoPutsTheTargetBack)
{
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    writeFile(m_scene.save / "001.jpg", content(700, 2));
    writeFile(m_scene.photos / "002.jpg", content(5000, 3));
    const Snapshot before = snapshot(m_scene.root.path());
    // Over an existing file: renameat2 #1 gives EXDEV, #2 sets the source aside, #3 swaps, #4 swaps
    // back, #5 gives the source its name again; unlinkat #1 is the source. To a free name: renameat2 #6
    // gives EXDEV, #7 sets aside, #8 gives the name back; unlinkat #3 is the source.
    m_calls.fail("renameat2", 1, EXDEV);
    m_calls.fail("renameat2", 6, EXDEV);
    m_calls.fail("unlinkat", 1, EROFS);
    m_calls.fail("unlinkat", 3, EROFS);

    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), EROFS);
    EXPECT_EQ(ops().moveFile(m_scene.photo("002.jpg"), m_scene.saved("002.jpg"), false), EROFS);
    EXPECT_EQ(m_calls.calls("renameat2"), 8);
    EXPECT_EQ(ops().sourceSetAsideAs(), "");
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

TEST_F(FileOperationsTest, WithoutSwappingNamesASourceThatCannotGoBringsTheTargetBackFromTheTrash)
{
    // Where the file system cannot swap two names, the replaced target goes to the Trash once the copy
    // is complete; the source cannot go, so the copy leaves and the target comes back.
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    writeFile(m_scene.save / "001.jpg", content(700, 2));
    m_calls.fail("renameat2", 1, EXDEV);
    m_calls.fail("renameat2", 3, EINVAL); // #2 sets the source aside, #3 would swap
    m_calls.fail("unlinkat", 1, EACCES);
    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), EACCES);
    EXPECT_EQ(snapshot(m_scene.photos), (Snapshot{{"001.jpg", content(5000, 1)}}));
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(700, 2)}}));
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsWhoseSourceVanishedKeepsTheCopy)
{
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    m_calls.fail("renameat2", 1, EXDEV);
    m_calls.before("unlinkat", 1, [&] {
        for (const auto& [name, bytes] : snapshot(m_scene.photos)) {
            fs::remove(m_scene.photos / name); // the source, under its hidden name
        }
    });
    m_calls.fail("unlinkat", 1, EIO);
    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), false), 0);
    EXPECT_EQ(snapshot(m_scene.save), (Snapshot{{"001.jpg", content(5000, 1)}}));
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsOntoTheSourceItselfLeavesItAlone)
{
    // The save folder reached through another mount shows the very file being moved: there is nothing
    // to carry, and removing "the source" would remove the only copy.
    writeFile(m_scene.photos / "001.jpg", content(5000, 1));
    fs::create_hard_link(m_scene.photos / "001.jpg", m_scene.save / "001.jpg");
    const Snapshot before = snapshot(m_scene.root.path());
    m_calls.fail("renameat2", 1, EXDEV);
    EXPECT_TRUE(ops().sameFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg")));
    EXPECT_EQ(ops().moveFile(m_scene.photo("001.jpg"), m_scene.saved("001.jpg"), true), 0);
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
    EXPECT_EQ(m_calls.calls("unlinkat"), 0);
}

TEST_F(FileOperationsTest, AFileSavedUnderTheSourcesNameDuringAMoveAcrossFileSystemsStays)
{
    for (const bool existingTarget : {false, true}) {
        for (const bool moveFails : {false, true}) {
            SCOPED_TRACE(std::string(existingTarget ? "over an existing file" : "to a free name")
                         + (moveFails ? ", the move failing afterwards" : ""));
            Scene scene;
            writeFile(scene.photos / "001.jpg", content(5000, 1));
            if (existingTarget) {
                writeFile(scene.save / "001.jpg", content(700, 2));
            }
            const Snapshot savedBefore = snapshot(scene.save);
            FaultySyscalls calls;
            calls.fail("renameat2", 1, EXDEV);
            // An editor saves a newer version while the copy is being flushed: write aside, rename over.
            calls.before("fsync", 1, [&] {
                writeFile(scene.photos / "newer.tmp", content(6000, 3));
                fs::rename(scene.photos / "newer.tmp", scene.photos / "001.jpg");
            });
            if (moveFails) {
                calls.fail("fsync", 1, EIO);
            }
            PosixFileOperations ops(calls);
            EXPECT_EQ(ops.moveFile(scene.photo("001.jpg"), scene.saved("001.jpg"), true), moveFails ? EIO : 0);
            Snapshot photos = snapshot(scene.photos);
            const Snapshot hidden = takeHidden(photos);
            EXPECT_EQ(photos, (Snapshot{{"001.jpg", content(6000, 3)}}));
            if (!moveFails) {
                EXPECT_EQ(hidden, Snapshot{});
                EXPECT_EQ(snapshot(scene.save), (Snapshot{{"001.jpg", content(5000, 1)}}));
                EXPECT_EQ(ops.sourceSetAsideAs(), "");
                continue;
            }
            // Its old name taken, the source stays under its hidden name, and the move says which.
            EXPECT_EQ(snapshot(scene.save), savedBefore);
            ASSERT_EQ(hidden.size(), 1u);
            EXPECT_EQ(hidden.begin()->second, content(5000, 1));
            EXPECT_EQ(ops.sourceSetAsideAs(), hidden.begin()->first);
            EXPECT_TRUE(hidden.begin()->first.starts_with(".tallyfox." + std::to_string(::getpid()) + "-"));
            EXPECT_TRUE(hidden.begin()->first.ends_with(".tmp"));
        }
    }
}

TEST_F(FileOperationsTest, AMoveAcrossFileSystemsCarriesOnlyRegularFiles)
{
    writeFile(m_scene.photos / "001.jpg", "photo");
    fs::create_symlink("001.jpg", m_scene.photos / "link.jpg");
    fs::create_directory(m_scene.photos / "album");
    const Snapshot before = snapshot(m_scene.root.path());
    for (const char* name : {"link.jpg", "album"}) {
        m_calls.fail("renameat2", m_calls.calls("renameat2") + 1, EXDEV);
        EXPECT_EQ(ops().moveFile(m_scene.photo(name), m_scene.saved(name), true), EXDEV) << name;
    }
    EXPECT_EQ(snapshot(m_scene.root.path()), before);
}

// What a program that had the source open before the move does to it, and when.
enum class Write
{
    None,
    Append,
    RewriteKeepingTime, // same size, its modification time put back: only the change time tells
};

enum class Moment
{
    WhileCopied,   // before the copy is flushed
    BeforeRemoval, // the copy has its name, the source not yet gone
};

struct ChangedSourceCase
{
    std::string name;
    Write write;
    Moment moment;
};

void writeTo(int fd, Write write)
{
    if (write == Write::None) {
        return;
    }
    struct stat before
    {
    };
    ASSERT_EQ(::fstat(fd, &before), 0);
    if (write == Write::Append) {
        ASSERT_EQ(::pwrite(fd, "more", 4, before.st_size), 4);
        return;
    }
    ASSERT_EQ(::pwrite(fd, "MORE", 4, 0), 4);
    const struct timespec times[2] = {{0, UTIME_OMIT}, before.st_mtim};
    struct stat now
    {
    };
    do {
        // The change time follows a coarse clock: put the time back until it shows, as a later write would.
        ASSERT_EQ(::futimens(fd, times), 0);
        ASSERT_EQ(::fstat(fd, &now), 0);
    } while (now.st_ctim.tv_sec == before.st_ctim.tv_sec && now.st_ctim.tv_nsec == before.st_ctim.tv_nsec
             && ::usleep(1000) == 0);
}

class ChangedSourceTest : public ::testing::TestWithParam<ChangedSourceCase>
{
};

TEST_P(ChangedSourceTest, AMoveAcrossFileSystemsRemovesItsSourceOnlyAsItWasCopied)
{
    const ChangedSourceCase& row = GetParam();
    for (const bool existingTarget : {false, true}) {
        SCOPED_TRACE(existingTarget ? "over an existing file" : "to a free name");
        Scene scene;
        const std::string original = "photo";
        writeFile(scene.photos / "001.jpg", original);
        if (existingTarget) {
            writeFile(scene.save / "001.jpg", "older");
        }
        const Snapshot savedBefore = snapshot(scene.save);
        const int writer = ::open((scene.photos / "001.jpg").c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(writer, 0);
        FaultySyscalls calls;
        calls.fail("renameat2", 1, EXDEV);
        bool written = false;
        const auto write = [&] {
            writeTo(writer, row.write);
            written = true;
        };
        if (row.moment == Moment::WhileCopied) {
            calls.before("fsync", 1, write);
        } else {
            // The last fstat: after the source's first, the one once it is set aside, the one after the
            // copy is flushed and the copy's own.
            calls.before("fstat", 5, [&] {
                Snapshot saved = snapshot(scene.save);
                takeHidden(saved); // the target swapped out
                EXPECT_EQ(saved, (Snapshot{{"001.jpg", original}})) << "the copy has its name";
                write();
            });
        }
        PosixFileOperations ops(calls);
        const int result = ops.moveFile(scene.photo("001.jpg"), scene.saved("001.jpg"), true);
        ::close(writer);

        ASSERT_TRUE(written) << "the source's last look was not where it was expected";
        Snapshot photos = snapshot(scene.photos);
        EXPECT_EQ(takeHidden(photos), Snapshot{});
        if (row.write == Write::None) {
            EXPECT_EQ(result, 0);
            EXPECT_EQ(photos, Snapshot{});
            EXPECT_EQ(snapshot(scene.save), (Snapshot{{"001.jpg", original}}));
            continue;
        }
        EXPECT_EQ(result, SourceChangedAfterCopy);
        const std::string changed = row.write == Write::Append ? original + "more" : "MORE" + original.substr(4);
        EXPECT_EQ(photos, (Snapshot{{"001.jpg", changed}}));
        EXPECT_EQ(snapshot(scene.save), savedBefore);
        EXPECT_EQ(ops.sourceSetAsideAs(), "");
        if (row.moment == Moment::WhileCopied) {
            EXPECT_EQ(calls.calls("fsync"), 1) << "a copy of a changing file was put in place";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Move,
    ChangedSourceTest,
    ::testing::Values(ChangedSourceCase{"appended while copied", Write::Append, Moment::WhileCopied},
                      ChangedSourceCase{"appended before its removal", Write::Append, Moment::BeforeRemoval},
                      ChangedSourceCase{"rewritten before its removal, its time put back",
                                        Write::RewriteKeepingTime,
                                        Moment::BeforeRemoval},
                      ChangedSourceCase{"not written to", Write::None, Moment::BeforeRemoval}),
    TALLYFOX_ROW_NAMES);

// Where the file system cannot make unnamed files, the open call that asks for one answers with one of
// these; the copy is then written under a hidden name.
struct UnnamedRefusedCase
{
    std::string name;
    Operation operation;
    int error;
    int unnamedOpen;  // which openat asks for the unnamed file
    int hiddenRename; // which renameat2 gives the hidden copy its name
};

class UnnamedRefusedTest : public ::testing::TestWithParam<UnnamedRefusedCase>
{
};

TEST_P(UnnamedRefusedTest, AHiddenNameTakesItsPlaceAndNeverReplacesAFileThatAppeared)
{
    const UnnamedRefusedCase& row = GetParam();
    for (const bool appears : {false, true}) {
        SCOPED_TRACE(appears ? "a file takes the name during the copy" : "the name stays free");
        Scene scene;
        writeFile(scene.photos / "001.jpg", content(kTwoChunks, 1), 0640);
        Snapshot expected = snapshot(scene.root.path());
        setTimes(scene.photos / "001.jpg"); // after the reading above, which sets the access time
        FaultySyscalls calls;
        calls.fail("openat", row.unnamedOpen, row.error);
        calls.before("renameat2", row.hiddenRename, [&] {
            // Read without being opened, so the copy keeps its access time.
            std::vector<fs::path> hidden;
            for (const auto& entry : fs::directory_iterator(scene.save)) {
                hidden.push_back(entry.path());
            }
            ASSERT_EQ(hidden.size(), 1u);
            EXPECT_TRUE(hidden[0].filename().string().starts_with(".tallyfox."));
            EXPECT_EQ(fs::file_size(hidden[0]), kTwoChunks) << "complete before it takes its name";
            if (appears) {
                writeFile(scene.save / "001.jpg", "other");
            }
        });
        PosixFileOperations ops(calls);
        const int result = transfer(ops, calls, row.operation, scene.photo("001.jpg"), scene.saved("001.jpg"), false);
        if (appears) {
            EXPECT_EQ(result, EEXIST);
            expected["save/001.jpg"] = "other";
        } else {
            EXPECT_EQ(result, 0);
            expectTimesKept(scene.save / "001.jpg");
            EXPECT_EQ(lstatOf(scene.save / "001.jpg").st_mode & 07777, 0640u);
            expected["save/001.jpg"] = expected["photos/001.jpg"];
            if (row.operation != Operation::Copy) {
                expected.erase("photos/001.jpg");
            }
        }
        EXPECT_EQ(snapshot(scene.root.path()), expected) << "no hidden file left";
    }
}

std::vector<UnnamedRefusedCase> unnamedRefusedCases()
{
    std::vector<UnnamedRefusedCase> rows;
    for (const int error : {EOPNOTSUPP, EISDIR, EINVAL}) {
        const std::string because = std::string(" refused with ") + strerrorname_np(error);
        // A copy opens its source, the save folder, then the unnamed file; a move across file systems
        // opens the save folder, the source's folder, the source, then the unnamed file, and renames
        // twice (the refused rename, the source set aside) before the copy takes its name.
        rows.push_back({"copy" + because, Operation::Copy, error, 3, 1});
        rows.push_back({"move across" + because, Operation::MoveAcross, error, 4, 3});
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Transfer, UnnamedRefusedTest, ::testing::ValuesIn(unnamedRefusedCases()), TALLYFOX_ROW_NAMES);

TEST(RealFileSystemsTest, AMoveBetweenTwoFileSystemsKeepsContentModeAndTimes)
{
    Scene scene;
    std::string pattern = "/dev/shm/tallyfox-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const fs::path other = pattern;
    struct stat here
    {
    };
    struct stat there
    {
    };
    ::stat(scene.root.path().c_str(), &here);
    ::stat(other.c_str(), &there);
    if (here.st_dev == there.st_dev) {
        fs::remove_all(other);
        GTEST_SKIP() << "/dev/shm lies on the same file system as the temporary folder";
    }
    writeFile(scene.photos / "001.jpg", content(kTwoChunks, 1), 0604);
    setTimes(scene.photos / "001.jpg");
    writeFile(other / "002.jpg", "old");
    writeFile(scene.photos / "002.jpg", content(3000, 2));
    {
        PosixFileOperations ops;
        EXPECT_EQ(ops.moveFile(scene.photo("001.jpg"), (other / "001.jpg").string(), false), 0);
        EXPECT_EQ(ops.moveFile(scene.photo("002.jpg"), (other / "002.jpg").string(), false), EEXIST);
        EXPECT_EQ(ops.moveFile(scene.photo("002.jpg"), (other / "002.jpg").string(), true), 0);
    }
    const struct stat st = lstatOf(other / "001.jpg");
    const Snapshot moved = snapshot(other);
    const Snapshot left = snapshot(scene.photos);
    fs::remove_all(other);
    EXPECT_EQ(left, Snapshot{});
    EXPECT_EQ(moved, (Snapshot{{"001.jpg", content(kTwoChunks, 1)}, {"002.jpg", content(3000, 2)}}));
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(st.st_mtim.tv_sec, kModified.tv_sec);
    EXPECT_EQ(st.st_mtim.tv_nsec, kModified.tv_nsec);
}

// --- Every call failing in turn ----------------------------------------------------------------------

struct SweepCase
{
    std::string name;
    Operation operation;
    bool existingTarget;
    bool throughBuffer;
    int error;
};

class FaultSweepTest : public ::testing::TestWithParam<SweepCase>
{
protected:
    // Sets the scene up, plans the faults that choose the way of the copy, and runs the operation.
    static int run(const SweepCase& row, Scene& scene, FaultySyscalls& calls)
    {
        if (row.throughBuffer) {
            calls.fail("copy_file_range", 1, EXDEV, true);
        }
        PosixFileOperations ops(calls);
        return transfer(ops, calls, row.operation, scene.photo("001.jpg"), scene.saved("001.jpg"), row.existingTarget);
    }

    static void prepare(const SweepCase& row, Scene& scene)
    {
        writeFile(scene.photos / "001.jpg", content(kTwoChunks, 1));
        writeFile(scene.photos / "002.jpg", "neighbour");
        if (row.existingTarget) {
            writeFile(scene.save / "001.jpg", content(700, 2));
        }
    }

    static Snapshot done(const SweepCase& row, Snapshot entries)
    {
        entries["save/001.jpg"] = entries["photos/001.jpg"];
        if (row.operation != Operation::Copy) {
            entries.erase("photos/001.jpg");
        }
        return entries;
    }
};

TEST_P(FaultSweepTest, EachFailingCallLeavesEveryFileAsItWasOrTheWorkDone)
{
    const SweepCase& row = GetParam();
    std::vector<std::string> made;
    {
        // Each run finds the Trash empty, so that the calls are the same from run to run.
        testing::emptyTrash();
        Scene scene;
        prepare(row, scene);
        FaultySyscalls calls;
        ASSERT_EQ(run(row, scene, calls), 0);
        made = calls.log;
    }
    std::map<std::string, int> seen;
    for (const std::string& call : made) {
        const int n = ++seen[call];
        SCOPED_TRACE(call + " #" + std::to_string(n));
        Scene scene;
        prepare(row, scene);
        const Snapshot before = snapshot(scene.root.path());
        const int descriptors = openDescriptors();
        FaultySyscalls calls;
        calls.fail(call, n, row.error);
        const int result = run(row, scene, calls);

        EXPECT_EQ(openDescriptors(), descriptors);
        Snapshot after = snapshot(scene.root.path());
        const Snapshot left = takeHidden(after);
        if (result != 0) {
            EXPECT_EQ(result, row.error);
            EXPECT_EQ(after, before);
            EXPECT_EQ(left, Snapshot{});
            continue;
        }
        EXPECT_EQ(after, done(row, before));
        if (!left.empty()) {
            // The one thing a finished move may leave: the replaced target, when it cannot be removed.
            EXPECT_EQ(call, "unlinkat");
            ASSERT_EQ(left.size(), 1u);
            EXPECT_EQ(left.begin()->second, before.at("save/001.jpg"));
        }
    }
    for (const char* call : {"openat", "fstat", "fchmod", "futimens", "close"}) {
        EXPECT_TRUE(seen.contains(call)) << call;
    }
    EXPECT_TRUE(seen.contains(row.throughBuffer ? "write" : "copy_file_range"));
    if (row.existingTarget || row.operation == Operation::MoveAcross) {
        EXPECT_TRUE(seen.contains("fsync"));
        EXPECT_TRUE(seen.contains("renameat2"));
    }
}

std::vector<SweepCase> sweepCases()
{
    std::vector<SweepCase> rows;
    for (const Operation operation : {Operation::Copy, Operation::MoveAcross}) {
        for (const bool existingTarget : {false, true}) {
            for (const bool throughBuffer : {false, true}) {
                const int error = throughBuffer ? ENOSPC : EIO;
                rows.push_back({operationName(operation) + (existingTarget ? " over a file" : " to a free name")
                                    + (throughBuffer ? " through the buffer" : " in the kernel"),
                                operation,
                                existingTarget,
                                throughBuffer,
                                error});
            }
        }
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Transfer, FaultSweepTest, ::testing::ValuesIn(sweepCases()), TALLYFOX_ROW_NAMES);

// --- Killed at every call ------------------------------------------------------------------------------

struct KillCase
{
    std::string name;
    Operation operation;
    bool existingTarget;
    int unnamedOpen; // which openat asks for the unnamed file, refused here as by FAT; 0: allowed
};

class KillTest : public ::testing::TestWithParam<KillCase>
{
protected:
    static void prepare(const KillCase& row, Scene& scene)
    {
        writeFile(scene.photos / "001.jpg", content(kTwoChunks, 1));
        if (row.existingTarget) {
            writeFile(scene.save / "001.jpg", content(700, 2));
        }
    }

    static int run(const KillCase& row, Scene& scene, FaultySyscalls& calls)
    {
        if (row.unnamedOpen > 0) {
            calls.fail("openat", row.unnamedOpen, EOPNOTSUPP);
        }
        PosixFileOperations ops(calls);
        return transfer(ops, calls, row.operation, scene.photo("001.jpg"), scene.saved("001.jpg"), true);
    }
};

TEST_P(KillTest, LeavesNoPartialFileUnderAVisibleNameAndTheSourceWhole)
{
    const KillCase& row = GetParam();
    std::vector<std::string> made;
    {
        Scene scene;
        prepare(row, scene);
        FaultySyscalls calls;
        ASSERT_EQ(run(row, scene, calls), 0);
        made = calls.log;
    }
    std::map<std::string, int> seen;
    for (const std::string& call : made) {
        const int n = ++seen[call];
        SCOPED_TRACE("killed before " + call + " #" + std::to_string(n));
        testing::emptyTrash();
        Scene scene;
        prepare(row, scene);
        const Snapshot before = snapshot(scene.root.path());
        Snapshot done = before;
        done["save/001.jpg"] = before.at("photos/001.jpg");
        if (row.operation != Operation::Copy) {
            done.erase("photos/001.jpg");
        }

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FaultySyscalls calls;
            calls.before(call, n, [] {
                ::_exit(0); // as a kill: nothing is cleaned up, no descriptor closed by us
            });
            run(row, scene, calls);
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child did not reach the call";

        Snapshot after = snapshot(scene.root.path());
        const Snapshot hidden = takeHidden(after);
        for (const auto& [name, bytes] : after) {
            const bool asBefore = before.contains(name) && before.at(name) == bytes;
            const bool asDone = done.contains(name) && done.at(name) == bytes;
            EXPECT_TRUE(asBefore || asDone) << name << " holds neither its old bytes nor the whole copy";
        }
        const std::string& source = before.at("photos/001.jpg");
        bool whole = (after.contains("photos/001.jpg") && after.at("photos/001.jpg") == source)
                     || (after.contains("save/001.jpg") && after.at("save/001.jpg") == source);
        const std::string ours = ".tallyfox." + std::to_string(child) + "-";
        for (const auto& [name, bytes] : hidden) {
            const std::string file = fs::path(name).filename().string();
            EXPECT_TRUE(file.starts_with(ours) && file.ends_with(".tmp")) << name;
            const bool asideSource = name.starts_with("photos/") && bytes == source;
            whole = whole || asideSource;
            if (!row.existingTarget && row.unnamedOpen == 0) {
                EXPECT_TRUE(asideSource) << name << ": only a source set aside may be left by an unnamed copy";
            }
        }
        EXPECT_TRUE(whole) << "the source is nowhere whole";
    }
    EXPECT_TRUE(seen.contains(row.unnamedOpen > 0 || row.existingTarget ? "renameat2" : "linkat"));
}

INSTANTIATE_TEST_SUITE_P(
    Transfer,
    KillTest,
    ::testing::Values(KillCase{"copy to a free name", Operation::Copy, false, 0},
                      KillCase{"copy to a free name without unnamed files", Operation::Copy, false, 3},
                      KillCase{"copy over a file", Operation::Copy, true, 0},
                      KillCase{"move across to a free name", Operation::MoveAcross, false, 0},
                      KillCase{"move across to a free name without unnamed files", Operation::MoveAcross, false, 4},
                      KillCase{"move across over a file", Operation::MoveAcross, true, 0}),
    TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox::platform
