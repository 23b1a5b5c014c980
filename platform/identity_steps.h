#pragma once

#include "core/recovery.h"
#include "platform/file_operations.h"
#include "platform/syscalls.h"

#include <optional>
#include <string>
#include <vector>

namespace tallyfox::platform {

// The steps of a recovery or an undo on the run's two folders. Every step first opens the file at its
// name without following a link and checks who it is through that descriptor, renames never replace
// (a file system without no-replace renames gets a link and then an unlink, checked the same way), and a
// removal first renames the file to a private hidden name and removes only that name, and only while
// it still holds the recorded file.
class PosixRecoverySteps final : public RecoverySteps
{
public:
    explicit PosixRecoverySteps(Syscalls& calls = systemCalls());
    ~PosixRecoverySteps() override;
    PosixRecoverySteps(const PosixRecoverySteps&) = delete;
    PosixRecoverySteps& operator=(const PosixRecoverySteps&) = delete;

    // Opens the journal's folders. False when its folder is gone or is now another folder: nothing of
    // the journal can then be found. A save folder that is gone holds nothing; one that is the folder
    // itself is the folder.
    bool open(const Journal& journal);

    std::optional<FileIdentity> look(RunFolder folder, const std::string& name) override;
    std::vector<std::string> hiddenNames(RunFolder folder) override;
    int rename(RunFolder fromFolder,
               const std::string& from,
               RunFolder toFolder,
               const std::string& to,
               const FileIdentity& expected,
               Match match) override;
    int remove(RunFolder folder, const std::string& name, const FileIdentity& expected, Match match) override;

private:
    int fd(RunFolder folder) const;
    const std::string& path(RunFolder folder) const;
    int check(int dirFd, const std::string& name, const FileIdentity& expected, Match match, FileIdentity& seen);

    Syscalls& m_calls;
    PosixFileOperations m_operations;
    std::string m_folder;
    std::string m_saveFolder;
    int m_folderFd = -1;
    int m_saveFd = -1;
};

} // namespace tallyfox::platform
