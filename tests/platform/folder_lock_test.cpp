#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/folder_lock.h"
#include "platform/journal_store.h"
#include "tests/support/file_tree.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tallyfox::platform {
namespace {

using testing::createFiles;
using testing::FileTree;
using testing::readFiles;
using testing::RecordingHost;

// A save folder that is the list's folder itself, however it is written or reached, is one folder to
// lock: a second lock on another opening of it would refuse the run its own folder.
struct SameFolderCase
{
    std::string name;
    std::string saveFolder; // under the temporary folder, where "photos" is the list's folder
};

class SameFolderLockTest : public ::testing::TestWithParam<SameFolderCase>
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directory(folder());
        std::filesystem::create_directory_symlink("photos", m_root.path() / "link");
    }

    std::string folder() const
    {
        return (m_root.path() / "photos").string();
    }
    std::string saveFolder() const
    {
        return (m_root.path() / GetParam().saveFolder).string();
    }

    testing::TempDir m_root;
};

TEST_P(SameFolderLockTest, isLockedOnceAndTheRunIntoItGoesOn)
{
    {
        FolderLock lock;
        EXPECT_TRUE(lock.lock({folder(), saveFolder()}));
        FolderLock other;
        EXPECT_FALSE(other.lock({saveFolder()})) << "the folder is held all the same";
    }
    for (const FileOperation operation : {FileOperation::RenameCopy, FileOperation::RenameMove}) {
        std::filesystem::remove_all(folder());
        createFiles(folder(), {{"a.jpg", "A"}, {"b.jpg", "B"}});
        RunRequest r;
        r.folder = folder();
        r.names = {"a.jpg", "b.jpg"};
        r.naming.operation = operation;
        r.saveFolder = saveFolder();
        r.confirmBeforeRun = 0;
        RecordingHost host;
        PosixFileOperations files;
        StoredRunRecord record(systemCalls(), (m_root.path() / "journals").string());
        const RunResult result = runRename(r, host, files, &record);
        EXPECT_TRUE(result.started);
        EXPECT_TRUE(result.failures.empty());
        ASSERT_EQ(host.boxes.size(), 1u) << "only the completion message";
        EXPECT_NE(host.boxes[0].first, "このフォルダでは別の処理が実行中です。  ");
        EXPECT_EQ(readFiles(folder()), (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
    }
}

INSTANTIATE_TEST_SUITE_P(Lock,
                         SameFolderLockTest,
                         ::testing::Values(SameFolderCase{"the same path", "photos"},
                                           SameFolderCase{"with a trailing slash", "photos/"},
                                           SameFolderCase{"through a link to it", "link"},
                                           SameFolderCase{"through a link with a trailing slash", "link/"}),
                         TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox::platform
