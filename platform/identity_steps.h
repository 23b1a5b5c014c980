#pragma once

#include "core/name_list.h"
#include "core/name_table.h"
#include "core/recovery.h"
#include "platform/file_operations.h"
#include "platform/syscalls.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallyfox::platform {

// The steps of a recovery or an undo on the run's two folders. A file is known by its device, inode and
// birth time (a file born after the run took its files' identities is none of them). A rename is taken
// only on the file the plan saw at the name, in a folder where no entry has come, gone or been renamed
// since (or, where one has, that a look just before the rename finds there), and the file is looked at
// under its new name afterwards: one that is not the recorded file after all goes back. Renames never
// replace (a file system without no-replace renames gets a link and then an unlink, or where it has no
// links either a rename over an empty placeholder that reserved the name, checked the same way), and a
// removal first renames the file to a private hidden name and removes only that name, and only while it
// still holds the recorded file.
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
    // Many looks are shared among a few threads: each look waits on the kernel, and the plan of a large
    // run takes one for each of its files before the question can be asked.
    std::vector<std::optional<FileIdentity>>
    lookAll(const std::vector<std::pair<RunFolder, std::string_view>>& names) override;
    std::vector<std::string> hiddenNames(RunFolder folder) override;
    std::optional<std::uint64_t> listed(RunFolder folder, std::string_view name) override;
    // Looks at the folders again: where no entry has come, gone or been renamed since the plan, a rename
    // takes the file the plan saw without a look first.
    void beforeSteps() override;
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
    // The entries of a folder as one reading gave them, looked up by name. Indexed where it is kept: the
    // index looks the names up in the listing itself.
    struct Listing
    {
        struct KeyAt
        {
            const NameList* keys = nullptr;
            std::string_view operator()(std::size_t i) const
            {
                return (*keys)[i];
            }
        };

        NameList names;                        // in one buffer, not a string each
        std::vector<std::uint64_t> numbers;    // by position
        NameList folded;                       // where the folder ignores case: the names in one case
        std::optional<NameIndex<KeyAt>> table; // positions by name, or by folded name
        bool folds = false;

        // Makes the table, by the names in one case where `foldCase`.
        void index(bool foldCase);
        // The position of `name` (in any spelling where the listing was folded), or NameTable::kNone.
        std::uint32_t find(std::string_view name) const;
    };

    // What is known of one of the two folders, found out when first asked.
    struct FolderFacts
    {
        std::optional<bool> ignoresCase;
        std::optional<bool> numbered; // the listing numbers entries as their files are numbered
        bool listed = false;
        Listing listing; // read once
        // The folder's time of change when the plan began, and whether a change after it would show: the
        // clock that stamps files had passed it by then.
        std::int64_t changedNs = 0;
        bool changeWouldShow = false;
        bool untouched = false; // nothing came, went or was renamed in it between the plan and the steps
    };

    int fd(RunFolder folder) const;
    const std::string& path(RunFolder folder) const;
    FolderFacts& facts(RunFolder folder);
    const NameList& listing(RunFolder folder);
    Listing read(RunFolder folder);
    const Listing& indexed(RunFolder folder);
    bool numbered(RunFolder folder);
    // Notes the folder's time of change as the plan begins.
    void planBegins(RunFolder folder, const struct statx& st, std::int64_t clockNs);
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
