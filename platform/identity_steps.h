#pragma once

#include "core/recovery.h"
#include "platform/file_operations.h"
#include "platform/syscalls.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tallyfox::platform {

// The steps of a recovery or an undo on the run's two folders. Every step first opens the file at its
// name without following a link and checks who it is through that descriptor (device, inode and birth
// time; a file born after the run took its files' identities is none of them), renames never replace
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

    // Opens the journal's folders. False when its folder is gone or is now another folder (another
    // inode, or one born since): nothing of the journal can then be found. A save folder that is gone
    // holds nothing; one that is the folder itself is the folder.
    bool open(const Journal& journal);

    std::optional<FileIdentity> look(RunFolder folder, const std::string& name) override;
    std::vector<std::string> hiddenNames(RunFolder folder) override;
    bool holds(RunFolder folder, const std::string& name) override;
    // Found once per folder, from a name it holds: the same name with the case of its letters turned
    // round reaches the same file only in a folder that ignores case, or as a second name of the file,
    // which the folder's listing then shows.
    bool ignoresCase(RunFolder folder) override;
    std::string spelling(RunFolder folder, const std::string& name) override;
    // From the kind of file system: FAT 2 s, exFAT 10 ms, NTFS and SMB 100 ns; 2 s for one in user space,
    // whose kind is not known; 1 ns for the others.
    std::int64_t timePrecisionNs(RunFolder folder) override;
    std::string privateName(RunFolder folder) override;
    std::string trashed(RunFolder folder, const std::string& name, const FileIdentity& expected) override;
    int putBack(const std::string& trashed,
                RunFolder folder,
                const std::string& name,
                const FileIdentity& expected) override;
    int rename(RunFolder fromFolder,
               const std::string& from,
               RunFolder toFolder,
               const std::string& to,
               const FileIdentity& expected,
               Match match) override;
    int remove(RunFolder folder, const std::string& name, const FileIdentity& expected, Match match) override;

private:
    // What is known of one of the two folders, found out when first asked.
    struct FolderFacts
    {
        std::optional<bool> ignoresCase;
        std::vector<std::string> listing; // every entry, read once
        bool listed = false;
        std::unordered_set<std::string> held; // the listing's names, in one case where the folder ignores it
        std::unordered_map<std::string, std::string> spelled; // in a folder that ignores case: by that case
    };

    int fd(RunFolder folder) const;
    const std::string& path(RunFolder folder) const;
    FolderFacts& facts(RunFolder folder);
    const std::vector<std::string>& listing(RunFolder folder);
    int check(int dirFd, const std::string& name, const FileIdentity& expected, Match match, FileIdentity& seen);

    Syscalls& m_calls;
    PosixFileOperations m_operations;
    std::string m_folder;
    std::string m_saveFolder;
    int m_folderFd = -1;
    int m_saveFd = -1;
    std::int64_t m_takenNs = 0;
    bool m_byContent = false;     // the folder's volume numbers its files anew at each mount
    std::int64_t m_precision = 1; // the coarser of the two folders'
    FolderFacts m_facts[2];
};

} // namespace tallyfox::platform
