#include "platform/folders.h"
#include "platform/testing/faulty_syscalls.h"
#include "platform/volumes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <map>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

namespace tallyfox::platform {
namespace {

namespace fs = std::filesystem;

void createFile(const fs::path& path)
{
    std::ofstream(path) << "x";
}

// A socket bound at a path, which leaves the socket file behind when closed.
void createSocket(const fs::path& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    ASSERT_LT(text.size(), sizeof address.sun_path);
    std::copy(text.begin(), text.end(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

std::map<std::string, EntryKind> kinds(const std::vector<FolderEntry>& entries)
{
    std::map<std::string, EntryKind> result;
    for (const FolderEntry& entry : entries) {
        result[entry.name] = entry.kind;
    }
    return result;
}

class FolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_start = fs::current_path();
    }
    void TearDown() override
    {
        fs::current_path(m_start);
    }

    testing::TempDir m_dir;
    FaultySyscalls m_calls;

private:
    fs::path m_start;
};

TEST_F(FolderTest, ReadsEveryKindOfEntryAsItIs)
{
    const fs::path dir = m_dir.path();
    createFile(dir / "photo.jpg");
    createFile(dir / ".hidden.jpg");
    fs::create_directory(dir / "album");
    fs::create_symlink(dir / "photo.jpg", dir / "link-to-file.jpg");
    fs::create_symlink(dir / "album", dir / "link-to-folder");
    fs::create_symlink(dir / "gone.jpg", dir / "dangling.jpg");
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    createSocket(dir / "socket.jpg");
    // A name that is not UTF-8 is read as its bytes.
    const std::string latin1 = "caf\xe9.jpg";
    createFile(dir / latin1);

    const std::map<std::string, EntryKind> found = kinds(readFolder(m_calls, dir.string()));
    const std::map<std::string, EntryKind> expected{{"photo.jpg", EntryKind::File},
                                                    {".hidden.jpg", EntryKind::File},
                                                    {"album", EntryKind::Folder},
                                                    {"link-to-file.jpg", EntryKind::File},
                                                    {"link-to-folder", EntryKind::Folder},
                                                    {"dangling.jpg", EntryKind::Other},
                                                    {"pipe.jpg", EntryKind::Other},
                                                    {"socket.jpg", EntryKind::Other},
                                                    {latin1, EntryKind::File}};
    EXPECT_EQ(found, expected);

    const std::vector<FolderEntry> folders = readSubfolders(m_calls, dir.string());
    EXPECT_EQ(kinds(folders),
              (std::map<std::string, EntryKind>{{"album", EntryKind::Folder}, {"link-to-folder", EntryKind::Folder}}));
}

TEST_F(FolderTest, LooksUpTheKindOnlyForWantedNames)
{
    const fs::path dir = m_dir.path();
    fs::create_symlink(dir / "gone.jpg", dir / "a.lnk");
    fs::create_symlink(dir / "gone.jpg", dir / "b.jpg");
    const std::vector<FolderEntry> entries = readFolder(m_calls, dir.string(), [](std::string_view name) {
        return name.ends_with(".jpg");
    });
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries.front().name, "b.jpg");
    EXPECT_EQ(m_calls.calls("fstatat"), 1);
}

TEST_F(FolderTest, EnteringMakesTheFolderCurrentAndGivesItsPath)
{
    fs::create_directory(m_dir.path() / "sub");
    const std::string entered = enterFolder(m_calls, (m_dir.path() / "sub").string());
    EXPECT_EQ(entered, fs::canonical(m_dir.path() / "sub").string());
    EXPECT_EQ(fs::current_path(), fs::path(entered));
    // A relative path is taken from the current folder.
    EXPECT_EQ(enterFolder(m_calls, ".."), fs::canonical(m_dir.path()).string());
}

struct ErrorCase
{
    std::string name;
    int error;
    std::string text;
};

class FolderErrorTest : public ::testing::TestWithParam<ErrorCase>
{
};

TEST_P(FolderErrorTest, ReadsAsTheUserWouldReadIt)
{
    EXPECT_EQ(std::string(folderError(GetParam().error).what()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(FileSelection,
                         FolderErrorTest,
                         ::testing::Values(ErrorCase{"no such folder", ENOENT, "不正なファイル名です"},
                                           ErrorCase{"not a folder", ENOTDIR, "不正なファイル名です"},
                                           ErrorCase{"access refused", EACCES, "ファイルへのアクセスが拒否されました"},
                                           ErrorCase{"not permitted", EPERM, "ファイルへのアクセスが拒否されました"},
                                           ErrorCase{"too many open files", EMFILE, "オープンしたファイルが多すぎます"},
                                           ErrorCase{"disk full", ENOSPC, "ディスクがいっぱいです"},
                                           // errno 5 is an input/output error, not access refused.
                                           ErrorCase{"input output error", EIO, "I/O エラー (5)"},
                                           ErrorCase{"no medium", ENOMEDIUM, "I/O エラー (123)"}),
                         TALLYFOX_ROW_NAMES);

TEST_F(FolderTest, AFolderThatCannotBeEnteredLeavesTheCurrentDirectory)
{
    const fs::path before = fs::current_path();
    try {
        enterFolder(m_calls, (m_dir.path() / "missing").string());
        FAIL() << "entered a missing folder";
    } catch (const InOutError& error) {
        EXPECT_EQ(error.number(), InOutError::InvalidFileName);
    }
    fs::create_directory(m_dir.path() / "locked");
    m_calls.fail("chdir", 2, EACCES);
    EXPECT_THROW(enterFolder(m_calls, (m_dir.path() / "locked").string()), InOutError);
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(FolderTest, AReadingErrorIsReportedAndTheFolderClosed)
{
    for (int i = 0; i < 5; ++i) {
        createFile(m_dir.path() / ("f" + std::to_string(i)));
    }
    m_calls.fail("readdir", 3, EIO);
    try {
        readFolder(m_calls, m_dir.str());
        FAIL() << "read past an error";
    } catch (const InOutError& error) {
        EXPECT_EQ(std::string(error.what()), "I/O エラー (5)");
    }
    EXPECT_EQ(m_calls.calls("closedir"), 1);
    m_calls.fail("opendir", 2, EACCES);
    EXPECT_THROW(readFolder(m_calls, m_dir.str()), InOutError);
}

TEST_F(FolderTest, IsFolderFollowsLinks)
{
    fs::create_directory(m_dir.path() / "album");
    fs::create_symlink(m_dir.path() / "album", m_dir.path() / "link");
    createFile(m_dir.path() / "file");
    EXPECT_TRUE(isFolder(m_calls, (m_dir.path() / "album").string()));
    EXPECT_TRUE(isFolder(m_calls, (m_dir.path() / "link").string()));
    EXPECT_FALSE(isFolder(m_calls, (m_dir.path() / "file").string()));
    EXPECT_FALSE(isFolder(m_calls, (m_dir.path() / "none").string()));
    EXPECT_FALSE(isFolder(m_calls, ""));
}

TEST(MountTableTest, DecodesEscapedFields)
{
    const std::vector<MountEntry> entries =
        parseMountTable("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/my\\040disk vfat rw 0 0\n\nbroken\n");
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[1].mountPoint, "/media/my disk");
    EXPECT_EQ(entries[1].type, "vfat");
}

TEST_F(FolderTest, OffersTheRootAndEachRealVolumeWithItsLabel)
{
    const fs::path dir = m_dir.path();
    fs::create_directories(dir / "media/usb stick");
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "snap/core");
    fs::create_directories(dir / "dev/disk/by-label");
    createFile(dir / "hosts");
    // Labels name their device by a relative link; a blank in a label is written "\x20".
    std::string up;
    for (const auto& part : (dir / "dev/disk/by-label").relative_path()) {
        up += "../";
        (void)part;
    }
    fs::create_symlink(up + "dev/tallyfox-test-sdb1", dir / "dev/disk/by-label/My\\x20Stick");
    const std::string media = (dir / "media/usb stick").string();
    std::string mediaEscaped;
    for (const char c : media) {
        mediaEscaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    }
    std::ofstream(dir / "mounts") << "overlay / overlay rw 0 0\n"
                                  << "proc /proc proc rw 0 0\n"
                                  << "tmpfs /run tmpfs rw 0 0\n"
                                  << "/dev/tallyfox-test-sdb1 " << mediaEscaped << " vfat rw 0 0\n"
                                  << "/dev/sda2 " << (dir / "home").string() << " ext4 rw 0 0\n"
                                  << "/dev/loop3 " << (dir / "snap/core").string() << " squashfs ro 0 0\n"
                                  << "/dev/sda1 " << (dir / "hosts").string() << " ext4 rw 0 0\n";

    const std::vector<Volume> volumes =
        mountedVolumes(m_calls, (dir / "mounts").string(), (dir / "dev/disk/by-label").string());
    std::vector<std::string> texts;
    for (const Volume& volume : volumes) {
        texts.push_back(volumeText(volume));
    }
    // A volume without a label shows its mount point alone.
    EXPECT_EQ(texts, (std::vector<std::string>{"/", (dir / "home").string(), media + " [my stick]"}));

    EXPECT_EQ(volumeOf(volumes, media + "/photos"), 2);
    EXPECT_EQ(volumeOf(volumes, media), 2);
    EXPECT_EQ(volumeOf(volumes, media + "2"), 0);
    EXPECT_EQ(volumeOf(volumes, "/"), 0);
}

TEST_F(FolderTest, WithoutAMountTableTheRootIsStillOffered)
{
    const std::vector<Volume> volumes = mountedVolumes(m_calls, m_dir.str() + "/none", m_dir.str() + "/none");
    ASSERT_EQ(volumes.size(), 1U);
    EXPECT_EQ(volumeText(volumes.front()), "/");
}

// Whether a folder lies on a disk whose heads move, read from a made-up sysfs: the entry of the
// folder's own device, or for a partition its disk's above it.
struct RotatingCase
{
    std::string name;
    std::string ownQueue;  // the device entry's queue/rotational; empty: none
    std::string diskQueue; // the queue/rotational of the folder above it; empty: none
    bool rotating;
};

class RotatingDiskTest : public ::testing::TestWithParam<RotatingCase>
{
};

TEST_P(RotatingDiskTest, ReadsTheKernelsWordForTheFoldersDisk)
{
    testing::TempDir root;
    const fs::path folder = root.path() / "photos";
    fs::create_directories(folder);
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    const fs::path sysfs = root.path() / "sys";
    const fs::path disk = sysfs / "devices" / "disk";
    const fs::path device = disk / "part1";
    fs::create_directories(device);
    fs::create_directories(sysfs / "dev" / "block");
    fs::create_directory_symlink(
        device, sysfs / "dev" / "block" / (std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev))));
    for (const auto& [queue, value] :
         {std::pair{device / "queue", GetParam().ownQueue}, std::pair{disk / "queue", GetParam().diskQueue}}) {
        if (!value.empty()) {
            fs::create_directories(queue);
            std::ofstream(queue / "rotational") << value;
        }
    }
    EXPECT_EQ(onRotatingDisk(systemCalls(), folder.string(), sysfs.string()), GetParam().rotating);
    EXPECT_FALSE(onRotatingDisk(systemCalls(), (root.path() / "gone").string(), sysfs.string()));
}

INSTANTIATE_TEST_SUITE_P(Disks,
                         RotatingDiskTest,
                         ::testing::Values(RotatingCase{"a whole disk that spins", "1\n", "", true},
                                           RotatingCase{"a solid state disk", "0\n", "", false},
                                           RotatingCase{"a partition of a spinning disk", "", "1\n", true},
                                           RotatingCase{"a partition of a solid state disk", "", "0\n", false},
                                           RotatingCase{"no entry: memory or network", "", "", false}),
                         TALLYFOX_ROW_NAMES);

// A card's folder is known by its volume and its path there, and found again wherever the card is
// mounted next; a folder on a file system that keeps its numbers is not. The devices are made-up nodes of
// the test folder's own device (root only), the tables made-up too.
struct VolumePlaceCase
{
    std::string name;
    std::string type;   // the file system type the mount table gives
    std::string link;   // "by-uuid/NAME" or "by-label/NAME"
    std::string volume; // the place's volume; empty: none
};

class VolumePlaceTest : public ::testing::TestWithParam<VolumePlaceCase>
{
};

TEST_P(VolumePlaceTest, KnowsACardsFolderByItsVolumeWhereverItIsMounted)
{
    const VolumePlaceCase& row = GetParam();
    testing::TempDir root;
    const fs::path card = root.path() / "media" / "card";
    const fs::path folder = card / "DCIM" / "100CANON";
    fs::create_directories(folder);
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    const fs::path disk = root.path() / "dev" / "disk";
    fs::create_directories(disk / "by-uuid");
    fs::create_directories(disk / "by-label");
    const fs::path node = root.path() / "dev" / "sdb1";
    if (::mknod(node.c_str(), S_IFBLK | 0600, st.st_dev) != 0) {
        GTEST_SKIP() << "no device node can be made here (needs root)";
    }
    fs::create_symlink(node, disk / row.link);
    const fs::path sysfs = root.path() / "sys";
    const fs::path block =
        sysfs / "dev" / "block" / (std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)));
    fs::create_directories(block);
    std::ofstream(block / "size") << "31116288\n";
    const fs::path table = root.path() / "mounts";
    std::ofstream(table) << node.string() << " " << card.string() << " " << row.type << " rw 0 0\n";
    const SystemFolders system{table.string(), disk.string(), sysfs.string()};

    const VolumePlace place = volumePlaceOf(systemCalls(), folder.string(), system);
    EXPECT_EQ(place.volume, row.volume);
    if (row.volume.empty()) {
        return;
    }
    EXPECT_EQ(place.path, "/DCIM/100CANON");
    // Put back, the card is mounted elsewhere: the folder is found there.
    const fs::path again = root.path() / "media" / "CARD1";
    fs::create_directories(again / "DCIM" / "100CANON");
    std::ofstream(table) << node.string() << " " << again.string() << " " << row.type << " rw 0 0\n";
    EXPECT_EQ(folderAt(systemCalls(), place, system), (again / "DCIM" / "100CANON").string());
    // Not mounted: nowhere.
    std::ofstream(table) << "";
    EXPECT_EQ(folderAt(systemCalls(), place, system), "");
}

INSTANTIATE_TEST_SUITE_P(
    Volumes,
    VolumePlaceTest,
    ::testing::Values(VolumePlaceCase{"FAT by its UUID", "vfat", "by-uuid/0123-4567", "uuid:0123-4567"},
                      VolumePlaceCase{
                          "exFAT without a UUID, by label and size", "exfat", "by-label/CANON", "label:CANON:31116288"},
                      VolumePlaceCase{"ext4 keeps its numbers", "ext4", "by-uuid/0123-4567", ""}),
    TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox::platform
