#pragma once

#include "core/name_store.h"
#include "core/naming.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// Who a file is: its device and inode, which survive a rename within one file system, its birth time
// where the file system keeps one, and where they were recorded its size and modification time, by which
// a copy or a file moved to another file system is known again. A freed inode number is soon given to a
// new file, so the number alone never names a file: the birth time tells the new file from the old one
// (and where a run recorded the numbers alone, read with the folder at once, a file born after the run
// took them is not the run's); where no birth time is kept, size and modification time are recorded.
struct FileIdentity
{
    // The modification time of an identity recorded without size and time.
    static constexpr std::int64_t kContentUnknown = INT64_MIN;
    // No bound on the time of the last change.
    static constexpr std::int64_t kAnyTime = INT64_MAX;
    // The birth time of a file on a file system that keeps none, or of an identity taken without it.
    static constexpr std::int64_t kBirthUnknown = 0;

    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1; // -1: nothing was there
    std::int64_t modifiedNs = 0;
    std::int64_t bornNs = kBirthUnknown;
    // Not stored in a journal. For a file looked at, the time of its inode's last change; for a recorded
    // identity without size and time, a time the run's file changed before (the end of its run).
    std::int64_t changedNs = kAnyTime;

    bool exists() const
    {
        return size >= 0;
    }
    bool contentKnown() const
    {
        return modifiedNs != kContentUnknown;
    }
    bool bornKnown() const
    {
        return bornNs != kBirthUnknown;
    }
    bool sameInode(const FileIdentity& other) const
    {
        return exists() && other.exists() && device == other.device && inode == other.inode;
    }
    // This file, looked at now, is the `recorded` one, unchanged, for a run that took its identities at
    // `takenNs` (kAnyTime: no bound).
    bool sameFile(const FileIdentity& recorded, std::int64_t takenNs = kAnyTime) const
    {
        if (!sameInode(recorded)) {
            return false;
        }
        if (bornKnown() && (recorded.bornKnown() ? bornNs != recorded.bornNs : bornNs > takenNs)) {
            return false; // a new file given the freed number
        }
        if (contentKnown() && recorded.contentKnown()) {
            return sameContent(recorded);
        }
        return changedNs < recorded.changedNs;
    }
    // Same size, and the same modification time at `precisionNs`: a file system that keeps times more
    // coarsely than the one the file came from (FAT: 2 s, exFAT: 10 ms, NTFS: 100 ns) cuts them down.
    bool sameContent(const FileIdentity& other, std::int64_t precisionNs = 1) const
    {
        return exists() && other.exists() && contentKnown() && other.contentKnown() && size == other.size
               && floorTo(modifiedNs, precisionNs) == floorTo(other.modifiedNs, precisionNs);
    }

private:
    static std::int64_t floorTo(std::int64_t ns, std::int64_t step)
    {
        const std::int64_t rest = ns % step;
        return ns - (rest < 0 ? rest + step : rest);
    }
};

// Who the files of a run were, by entry, held as compactly as they came: a run of a million files known
// by their numbers alone holds nine bytes a file rather than a whole identity. Identities on another
// device than the first, or with a time of change, are held whole.
class IdentityList
{
public:
    std::size_t size() const
    {
        return m_wide ? m_all.size() : m_inodes.size();
    }
    bool empty() const
    {
        return size() == 0;
    }
    void clear()
    {
        *this = IdentityList();
    }
    void reserve(std::size_t count);
    // Makes the list `count` long, the identities added saying that nothing was there.
    void resize(std::size_t count);
    void push_back(const FileIdentity& identity);
    void set(std::size_t index, const FileIdentity& identity);
    // By value, as the list may hold it in parts: set() changes one.
    const FileIdentity operator[](std::size_t index) const;
    // Every identity recorded without size and time is of a file that changed before `ns`.
    void changedBefore(std::int64_t ns);

private:
    static constexpr std::uint8_t kExists = 1;
    static constexpr std::uint8_t kContent = 2;
    static constexpr std::uint8_t kBorn = 4;

    bool fits(const FileIdentity& identity) const;
    void widen();

    bool m_wide = false;
    std::vector<FileIdentity> m_all; // when held whole
    bool m_hasDevice = false;
    std::uint64_t m_device = 0;
    std::int64_t m_unknownChangedNs = FileIdentity::kAnyTime;
    std::vector<std::uint64_t> m_inodes;
    std::vector<std::uint8_t> m_kinds;
    std::vector<std::int64_t> m_sizes;    // where any has its content recorded, else empty
    std::vector<std::int64_t> m_modified; // likewise
    std::vector<std::int64_t> m_born;     // where any has its birth recorded, else empty
};

// One file of a run: every name it may have while the run goes on or after it. The names are kept by
// the journal's store (Journal::names).
struct JournalEntry
{
    std::string_view old;       // its name when the run started
    std::string_view temporary; // the name it holds between the passes
    std::string_view final;     // its new name in the run's folder
    std::string_view target;    // its name in the save folder; empty when nothing is copied or moved
};

// The entries of a run, each file's names one after another in the blocks of one store, an entry known by
// where its names begin and how long each is: 16 bytes an entry, where four views take 64. Moved, never
// copied, as entries handed out view its store.
class EntryList
{
public:
    class Iterator
    {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = JournalEntry;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = JournalEntry;

        Iterator(const EntryList* list, std::size_t index)
            : m_list(list)
            , m_index(index)
        {
        }
        JournalEntry operator*() const
        {
            return (*m_list)[m_index];
        }
        Iterator& operator++()
        {
            ++m_index;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++m_index;
            return before;
        }
        bool operator==(const Iterator& other) const
        {
            return m_index == other.m_index;
        }

    private:
        const EntryList* m_list;
        std::size_t m_index;
    };

    EntryList() = default;
    EntryList(EntryList&&) = default;
    EntryList& operator=(EntryList&&) = default;
    EntryList(const EntryList&) = delete;
    EntryList& operator=(const EntryList&) = delete;

    std::size_t size() const
    {
        return m_entries.size();
    }
    bool empty() const
    {
        return m_entries.empty();
    }
    void reserve(std::size_t count)
    {
        m_entries.reserve(count);
    }
    void clear()
    {
        *this = EntryList();
    }
    // Keeps the names of `entry` in the list's store; a target that is the final name is kept once.
    void push_back(const JournalEntry& entry);
    JournalEntry operator[](std::size_t index) const;
    Iterator begin() const
    {
        return {this, 0};
    }
    Iterator end() const
    {
        return {this, size()};
    }
    // Every entry's target becomes its final name, as a run that copies or moves takes its plan.
    void targetFinalNames();

private:
    // Lengths of a name: a target that is the final name, an entry whose names are too long to be told
    // here (kept in m_long), and the longest told here.
    static constexpr std::uint16_t kFinalName = UINT16_MAX;
    static constexpr std::uint16_t kLong = UINT16_MAX - 1;
    static constexpr std::size_t kLongest = UINT16_MAX - 2;

    struct Packed
    {
        const char* names = nullptr; // old, temporary, final and target, one after another
        std::uint16_t old = 0;
        std::uint16_t temporary = 0;
        std::uint16_t final = 0;
        std::uint16_t target = 0;
    };
    // The lengths of an entry with a name longer than kLongest (none a file system takes), by entry;
    // a target length of SIZE_MAX is the final name.
    struct Long
    {
        std::size_t entry = 0;
        std::size_t lengths[4] = {};
    };

    NameStore m_names;
    std::vector<Packed> m_entries;
    std::vector<Long> m_long; // in the order of their entries
};

// Marks appended to a journal as the run goes on, each flushed.
enum class JournalMark : std::uint8_t
{
    TemporaryPassDone = 1,
    FinalPassDone = 2,
    RunDone = 3,
    Restored = 4, // undone or recovered: never offered again
    Declined = 5, // the user kept the files as they are at start-up; the undo may still bring them back
};

struct Journal
{
    std::int64_t pid = 0; // the run's process: its hidden temporary names carry it
    // When the run took its files' identities (the wall clock that stamps files): a file born later is
    // none of the run's. Also the time the run is known by.
    std::int64_t startedNs = 0;
    std::string folder; // absolute, bytes
    FileIdentity folderIdentity;
    // Where the folder lies on a volume whose inode numbers do not last from one mount to the next (a
    // camera's card): its UUID or label and size, and the folder's path there; empty elsewhere. Its files
    // are then known by their size and times, and the folder by this place, wherever it is mounted again.
    std::string volume;
    std::string volumePath;
    FileOperation operation = FileOperation::RenameOnly;
    std::string saveFolder; // as the run used it; empty when nothing is copied or moved
    EntryList files;
    // Who each file was, by entry. What stood at each target before the run, by entry, is never the run's
    // to remove; it is kept only for a run that copied or moved (else empty), as a file of its own for
    // each of a million files would double the journal held in memory.
    IdentityList identities;
    IdentityList atTargets;

    // Who the file of `entry` was; none where the run did not find out.
    FileIdentity identityOf(std::size_t entry) const
    {
        return entry < identities.size() ? identities[entry] : FileIdentity{};
    }
    // What stood at the target of `entry` before the run; none where nothing did, or nothing was copied.
    FileIdentity atTargetOf(std::size_t entry) const
    {
        return entry < atTargets.size() ? atTargets[entry] : FileIdentity{};
    }
    std::vector<JournalMark> marks;

    // Adds a file whose names are viewed elsewhere, keeping its names in the journal's store.
    void add(const JournalEntry& file, FileIdentity identity, FileIdentity atTarget = {});

    bool marked(JournalMark mark) const;
    // Whether its files are known by their size and times rather than their numbers.
    bool byContent() const
    {
        return !volume.empty();
    }
    // The run ended, or was brought back or declined at start: nothing to offer at start-up.
    bool settled() const;
};

// A journal of its own: the same run, its names kept anew (a journal itself is moved, never copied, as
// its files' names are views of its store).
Journal copyOf(const Journal& journal);

inline constexpr std::uint32_t kJournalVersion = 3;

// The bytes of a journal without its marks: a header (magic, version, body length, CRC32 of the body)
// and the body. Marks are appended later with encodeMark.
std::string encodeJournal(const Journal& journal);
// The same bytes handed to `take` in order, in pieces of about `pieceBytes`, never all at once; false
// from `take` ends the encoding, and the call returns false.
bool encodeJournal(const Journal& journal,
                   const std::function<bool(std::string_view)>& take,
                   std::size_t pieceBytes = std::size_t{1} << 20);
std::string encodeMark(JournalMark mark);

enum class JournalStatus
{
    Ok,
    Torn,         // ours, but cut short or damaged: written when the crash came, so no file was touched
    NotAJournal,  // not written by this program
    OtherVersion, // written by an older or newer program
};

// Reads a journal and the marks after it; a torn mark at the end is left out.
JournalStatus decodeJournal(std::string_view bytes, Journal& journal);

// Reads what a journal says of its run before its files (where, when, which operation) from its first
// `bytes` of `wholeSize`, without its files or marks and without checking its checksum: enough to tell
// whether there is a run to undo. Torn where the journal is shorter than its header says.
JournalStatus decodeJournalHead(std::string_view bytes, std::uint64_t wholeSize, Journal& journal);

// How many bytes a journal's header takes, and the offset of its marks read from that header: the
// marks of a journal can be read without its body. None when `header` is not this version's header.
inline constexpr std::size_t kJournalHeaderBytes = 8 + 4 + 8 + 4;
std::optional<std::uint64_t> journalMarksOffset(std::string_view header);

// The marks in the bytes after a journal's body; a torn mark at the end is left out.
std::vector<JournalMark> decodeMarks(std::string_view afterBody);

std::uint32_t crc32(std::string_view bytes);
// The checksum of bytes that follow those whose checksum was `before`.
std::uint32_t crc32(std::string_view bytes, std::uint32_t before);

} // namespace tallyfox
