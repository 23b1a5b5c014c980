#pragma once

#include "core/journal.h"
#include "core/rename_run.h"
#include "platform/folder_lock.h"
#include "platform/syscalls.h"

#include <cstddef>
#include <future>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox::platform {

// Where journals are kept: $XDG_STATE_HOME/tallyfox, else ~/.local/state/tallyfox; empty when neither
// can be told.
std::string journalFolder();

// Who the file at `name` of the folder `dirFd` is, not following a link; size -1 when nothing is there.
FileIdentity identityAt(Syscalls& calls, int dirFd, const char* name);
FileIdentity identityOf(const struct stat& st);

// The journals of the last runs, one file each, named so that their names sort by age.
class JournalStore final
{
public:
    static constexpr std::size_t kKept = 10;

    JournalStore(Syscalls& calls, std::string folder);

    // Writes a new journal where no reader can see it half-written: a temporary name, flushed, renamed
    // to its own name, and the folder flushed. The folder is made when missing, and the oldest journals
    // beyond kKept are removed. Gives 0 or the errno; on success `name` and, open for appending, `fd`.
    int create(std::string_view bytes, std::string& name, int& fd);

    // Appends to a journal and flushes it.
    int append(const std::string& name, std::string_view bytes);

    // The journals' names, oldest first; nothing when the folder cannot be read.
    std::vector<std::string> names();

    // Reads only the marks of a journal, after its body; false when that cannot be done (the journal is
    // not one of this version, or cut short), and the journal must be read whole.
    bool readMarks(const std::string& name, std::vector<JournalMark>& marks);

    // Reads a journal whole; `writtenNs`, when given, gets the time it was last written (its last mark).
    int read(const std::string& name, std::string& bytes, std::int64_t* writtenNs = nullptr);

    // Removes a journal that can never be used.
    void discard(const std::string& name);

    // Removes journals a crash cut short before they took their names: no file was touched after them.
    // Only while no other instance of the program can be writing one.
    void removeUnnamed();

    const std::string& folder() const;

private:
    // The names in the journal folder that `wanted` keeps, in the order the folder gives them.
    std::vector<std::string> namesWhere(bool (*wanted)(std::string_view name));
    int openFolder(bool create);
    // Opens the journal `name` with `flags`, never through a link; -1 with errno set when it cannot be.
    int openJournal(const std::string& name, int flags);
    // Opens the journal `name` for reading and looks at it; -1 with errno set (EINVAL for anything but
    // a regular file) when it cannot be read.
    int openToRead(const std::string& name, struct stat& st);
    void prune(int folderFd);

    Syscalls& m_calls;
    std::string m_folder;
};

// The lock and the journal of one run, in a journal store.
class StoredRunRecord final : public RunRecord
{
public:
    StoredRunRecord(Syscalls& calls, std::string journalFolder);
    ~StoredRunRecord() override;
    StoredRunRecord(const StoredRunRecord&) = delete;
    StoredRunRecord& operator=(const StoredRunRecord&) = delete;

    bool lock(const std::string& folder, const std::string& saveFolder) override;
    // Reads the folder on a thread of its own while the run plans.
    void lookAhead(const std::string& folder, const std::vector<std::string>& names, bool withContent) override;
    int write(Journal& journal) override;
    // Whether a journal was written for the run.
    bool written() const;
    void mark(JournalMark mark) override;

private:
    Syscalls& m_calls;
    JournalStore m_store;
    FolderLock m_lock;
    int m_fd = -1; // the journal written, open for its marks
    // Who the files are, found while the run planned; by position in the names looked at.
    std::future<std::vector<FileIdentity>> m_lookAhead;
};

} // namespace tallyfox::platform
