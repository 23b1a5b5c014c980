#pragma once

#include "core/journal.h"
#include "core/rename_run.h"
#include "platform/folder_lock.h"
#include "platform/syscalls.h"
#include "platform/volumes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox::platform {

// Where journals are kept: $XDG_STATE_HOME/tallyfox, else ~/.local/state/tallyfox; empty when neither
// can be told.
std::string journalFolder();

// Who the file at `name` of the folder `dirFd` is (the folder itself for an empty name), not following a
// link, with its birth time where the file system keeps one; size -1 when nothing is there.
FileIdentity identityAt(Syscalls& calls, int dirFd, const char* name);
FileIdentity identityOf(const struct stat& st);
FileIdentity identityOf(const struct statx& st);
// Looks at `name` of the folder `dirFd` (the folder itself for an empty name) as identityAt does: 0 or
// the errno.
int lookAt(Syscalls& calls, int dirFd, const char* name, struct statx& st);

// Who a run's files are, by position, and when that was found out: a file born later is none of them.
struct TakenIdentities
{
    std::int64_t takenNs = 0;
    IdentityList files; // as the journal keeps them: without their time of change
    VolumePlace place;  // where the folder lies on a volume that numbers its files anew at each mount
};

// The journals of the last runs, one file each, numbered in the order they were made: the names sort as
// the numbers, whatever the clock said.
class JournalStore final
{
public:
    static constexpr std::size_t kKept = 10;
    // The most a journal's header and body may take: a run of a million files writes some 50 MB.
    static constexpr std::uint64_t kMostJournalBytes = 512ULL << 20;

    JournalStore(Syscalls& calls, std::string folder);

    // Writes a new journal where no reader can see it half-written: a temporary name, flushed, renamed
    // to its own name, and the folder flushed. It takes the number after the highest in the folder, which
    // must be read whole for that. The folder is made when missing. The last kKept journals are kept, and
    // older ones whose runs are settled removed: a run not ended, or a journal whose marks cannot be read,
    // stays. Gives 0 or the errno; on success `name` and, open for appending, `fd`.
    int create(std::string_view bytes, std::string& name, int& fd);
    // The same for a journal that `write` writes to the descriptor it is given, giving 0 or the errno.
    int create(const std::function<int(int fd)>& write, std::string& name, int& fd);

    // Appends to a journal and flushes it.
    int append(const std::string& name, std::string_view bytes);

    // The journals' names, oldest first: by their numbers, then by the rest of the name; nothing when the
    // folder cannot be read.
    std::vector<std::string> names();

    // Reads only the marks of a journal, after its body; false when that cannot be done (the journal is
    // not one of this version, or cut short), and the journal must be read whole.
    bool readMarks(const std::string& name, std::vector<JournalMark>& marks);

    // Reads a journal whole; `writtenNs`, when given, gets the time it was last written (its last mark).
    // Never more than its header says a journal takes: EFBIG, with nothing read after the header, when the
    // header asks for more than kMostJournalBytes or the file runs on past the room for its marks. A file
    // that is not a whole journal of this version (not a journal, another version's, cut short) gives its
    // first kJournalHeaderBytes at most: enough for decodeJournal to tell which.
    int read(const std::string& name, std::string& bytes, std::int64_t* writtenNs = nullptr);

    // Reads the first bytes of a journal, enough for what it says before its files, and its whole size.
    int readHead(const std::string& name, std::string& bytes, std::uint64_t& size);

    // Moves a journal that cannot be used out of the journals, deleting nothing: to `name`.broken, or the
    // first free of .broken.2, .broken.3 and on, never replacing one; the folder is flushed. Gives 0 or
    // the errno, and the name it is kept under in `kept`.
    int setAside(const std::string& name, std::string& kept);

    // Removes journals a crash cut short before they took their names: no file was touched after them.
    // One whose writer, named in its temporary name, still runs is being written and stays.
    void removeUnnamed();

    const std::string& folder() const;

private:
    // The names in the journal folder that `wanted` keeps, in the order the folder gives them; gives 0 or
    // the errno of a folder that could not be read to its end.
    int namesWhere(bool (*wanted)(std::string_view name), std::vector<std::string>& found);
    // The journals' names, oldest first; gives 0 or the errno as namesWhere.
    int readNames(std::vector<std::string>& found);
    // Renames the flushed journal `temporary` to the next journal's name, `name`.
    int takeName(int folderFd, const std::string& temporary, std::string& name);
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
    // Who the files of `folder` are as a listing found them just before the run: their numbers as the
    // listing gave them, in the order of the names the run is given, the reading begun at `readNs` on the
    // wall clock. A run of these files in place takes them from here rather than read the folder again
    // (a command lists its folder and runs at once); where numbers alone cannot tell the files (a card,
    // a file system without birth times), the folder is looked at as always.
    void listedJustNow(std::string folder, std::int64_t readNs, std::vector<std::uint64_t> inodes);
    // Reads the folder on a thread of its own while the run plans.
    void lookAhead(const std::string& folder, const NameList& names, bool withContent) override;
    int write(Journal& journal) override;
    // Whether a journal was written for the run.
    bool written() const;
    // Before the end mark: the run's folders and the save folder's file system flushed to disk.
    void mark(JournalMark mark) override;

private:
    void flushRun();

    Syscalls& m_calls;
    JournalStore m_store;
    FolderLock m_lock;
    int m_fd = -1; // the journal written, open for its marks
    // The run's folders, flushed to disk before its end mark.
    std::string m_folder;
    std::string m_saveFolder;
    // Who the files are, found while the run planned; by position in the names looked at.
    std::future<TakenIdentities> m_lookAhead;
    // What a listing found just before the run (listedJustNow).
    std::string m_listedFolder;
    std::int64_t m_listedNs = 0;
    std::vector<std::uint64_t> m_listedInodes;
};

} // namespace tallyfox::platform
