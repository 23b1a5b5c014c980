#include "platform/journal_store.h"

#include "core/name_table.h"
#include "platform/posix_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <system_error>
#include <unistd.h>

namespace tallyfox::platform {

namespace {

constexpr std::string_view kSuffix = ".journal";
constexpr std::size_t kNumberDigits = 20;
// Room for a journal's marks after its body: a few of four bytes each; more is not a journal this program
// wrote.
constexpr std::uint64_t kMostMarkBytes = 64;

// A name the store made: the journal's number, zero-filled so that names sort as their numbers, the
// process, the suffix. Older versions put the time in nanoseconds there: a number like any other.
bool isJournalName(std::string_view name)
{
    if (name.size() <= kNumberDigits + kSuffix.size() || !name.ends_with(kSuffix) || name[kNumberDigits] != '-') {
        return false;
    }
    return std::all_of(name.begin(), name.begin() + kNumberDigits, [](char c) {
        return c >= '0' && c <= '9';
    });
}

// The name of a journal made after the journal `last` (empty when there is none): the next number rather
// than the time, so that no setting of the clock puts a new run before an old one. Empty when the numbers
// are used up.
std::string newJournalName(std::string_view last)
{
    std::string number = last.empty() ? std::string(kNumberDigits, '0') : std::string(last.substr(0, kNumberDigits));
    std::size_t digit = kNumberDigits;
    while (digit > 0 && number[digit - 1] == '9') {
        number[--digit] = '0';
    }
    if (digit == 0) {
        return {};
    }
    ++number[digit - 1];
    return number + "-" + std::to_string(::getpid()) + std::string(kSuffix);
}

// The process that made a temporary journal ".journal.<pid>-<count>.tmp" (hiddenName), 0 when the name does
// not say.
pid_t writerOf(std::string_view name)
{
    constexpr std::string_view kStem = ".journal.";
    pid_t pid = 0;
    for (std::size_t at = kStem.size(); at < name.size() && name[at] != '-'; ++at) {
        if (name[at] < '0' || name[at] > '9' || pid > 99999999) {
            return 0;
        }
        pid = pid * 10 + (name[at] - '0');
    }
    return pid;
}

// Reads `size` bytes at `offset`, going on after interruptions and short reads; gives how many were read
// (fewer where the file ends before), or -1 with errno set.
ssize_t readAt(Syscalls& calls, int fd, char* data, std::size_t size, off_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = calls.pread(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

} // namespace

std::string journalFolder()
{
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::string(state) + "/tallyfox";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return std::string(home) + "/.local/state/tallyfox";
    }
    return {};
}

FileIdentity identityOf(const struct stat& st)
{
    return {
        .device = static_cast<std::uint64_t>(st.st_dev),
        .inode = static_cast<std::uint64_t>(st.st_ino),
        .size = static_cast<std::int64_t>(st.st_size),
        .modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec,
        .changedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec,
    };
}

namespace {

std::int64_t nanosecondsOf(const struct statx_timestamp& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

} // namespace

FileIdentity identityOf(const struct statx& st)
{
    FileIdentity identity{
        .device = static_cast<std::uint64_t>(makedev(st.stx_dev_major, st.stx_dev_minor)),
        .inode = static_cast<std::uint64_t>(st.stx_ino),
        .size = static_cast<std::int64_t>(st.stx_size),
        .modifiedNs = nanosecondsOf(st.stx_mtime),
        .changedNs = nanosecondsOf(st.stx_ctime),
    };
    if ((st.stx_mask & STATX_BTIME) != 0 && nanosecondsOf(st.stx_btime) != FileIdentity::kBirthUnknown) {
        identity.bornNs = nanosecondsOf(st.stx_btime);
    }
    return identity;
}

int lookAt(Syscalls& calls, int dirFd, const char* name, struct statx& st)
{
    constexpr unsigned kWanted = STATX_TYPE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME;
    const int flags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | (name[0] == '\0' ? AT_EMPTY_PATH : 0);
    return calls.statx(dirFd, name, flags, kWanted, &st) == 0 ? 0 : errno;
}

FileIdentity identityAt(Syscalls& calls, int dirFd, const char* name)
{
    struct statx st;
    if (lookAt(calls, dirFd, name, st) != 0) {
        return {};
    }
    return identityOf(st);
}

namespace {

std::int64_t nanoseconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

// Waits until the clock that stamps files (coarse, a tick behind) has passed the present moment: a
// file changed from then on is stamped later than anything changed before. One tick at most.
// Waits until the clock that stamps files (coarse, a tick behind) has passed `moment`: a file changed
// from then on is stamped later than anything changed before it. One tick at most.
void waitForTheFileClock(std::int64_t moment = nanoseconds(CLOCK_REALTIME))
{
    while (nanoseconds(CLOCK_REALTIME_COARSE) <= moment) {
        const timespec pause{0, 500000};
        ::nanosleep(&pause, nullptr);
    }
}

// Calls `found` with the position in `table` and the entry of each entry of `folder` that the table
// holds; false when the folder could not be read to its end.
template <typename Table, typename Found>
bool readListed(Syscalls& calls, const std::string& folder, const Table& table, Found found)
{
    return table.held()
           && readFolder(calls, folder, [&](const struct dirent& entry) {
                  if (const std::uint32_t position = table.find(entry.d_name); position != NameTable::kNone) {
                      found(position, entry);
                  }
              }) == 0;
}

// An identity as a journal records it: its inode's time of change is not kept.
FileIdentity recorded(FileIdentity identity)
{
    identity.changedNs = FileIdentity::kAnyTime;
    return identity;
}

// The identities of a run's files by their numbers in the folder's listing: one read of the folder rather
// than a look at each file. Empty where that cannot be had.
IdentityList
identitiesFromListing(Syscalls& calls, const std::string& folder, std::uint64_t device, const NameList& names)
{
    // An overlay's listing may number its entries otherwise than the files themselves.
    struct statfs fileSystem
    {
    };
    if (::statfs(folder.c_str(), &fileSystem) != 0 || fileSystem.f_type == OVERLAYFS_SUPER_MAGIC) {
        return {};
    }
    const NameIndex table(names.size(), [&](std::size_t i) -> std::string_view {
        return names[i];
    });
    IdentityList identities;
    identities.resize(names.size());
    const bool complete = readListed(calls, folder, table, [&](std::uint32_t position, const struct dirent& entry) {
        identities.set(position,
                       {
                           .device = device,
                           .inode = static_cast<std::uint64_t>(entry.d_ino),
                           .size = 0,
                           .modifiedNs = FileIdentity::kContentUnknown,
                       });
    });
    if (!complete) {
        identities.clear();
    }
    return identities;
}

// What stands at each file's target in the save folder (`saveFolder`, open as `saveFd`) before the run,
// with its size and time: one read of the folder, and a look only at entries with a target's name, so
// an empty save folder costs nothing more. Each file is looked at by itself where the folder cannot be
// read.
IdentityList identitiesAtTargets(Syscalls& calls, const std::string& saveFolder, int saveFd, const EntryList& files)
{
    IdentityList atTargets;
    atTargets.resize(files.size());
    const NameIndex table(files.size(), [&](std::size_t i) -> std::string_view {
        return files[i].target;
    });
    const bool listed = readListed(calls, saveFolder, table, [&](std::uint32_t position, const struct dirent& entry) {
        atTargets.set(position, recorded(identityAt(calls, saveFd, entry.d_name)));
    });
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!listed) {
            atTargets.set(i, recorded(identityAt(calls, saveFd, std::string(files[i].target).c_str())));
        } else if (const std::uint32_t first = table.find(files[i].target); first != i) {
            atTargets.set(i, atTargets[first]); // two files given one name: both are told what stands there
        }
    }
    return atTargets;
}

// Who each of `names` in `folder` is, by position, and when that was found out. Files that stay in
// their folder are known by their numbers, read with the folder at once, where the file system keeps
// birth times (by which a file born since is told from the run's); files copied or moved, and files on a
// file system without birth times, are looked at one by one, as their size and time tell them again.
// No identities when the folder cannot be opened.
TakenIdentities identitiesOf(Syscalls& calls, const std::string& folder, const NameList& names, bool withContent)
{
    TakenIdentities taken;
    FileDescriptor dir(calls, calls.openat(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    struct statx st;
    if (dir.get() < 0 || lookAt(calls, dir.get(), "", st) != 0) {
        return taken;
    }
    // Every file born once the file clock has passed this moment is stamped later than it: the run's
    // files are all born before it, and the clock passes it while the folder is read, before the run
    // touches anything.
    taken.takenNs = nanoseconds(CLOCK_REALTIME);
    // On a card the numbers do not last beyond its mount: its files are known by their size and times.
    taken.place = volumePlaceOf(calls, folder);
    withContent = withContent || !taken.place.volume.empty();
    if (!withContent && (st.stx_mask & STATX_BTIME) != 0) {
        taken.files = identitiesFromListing(
            calls, folder, static_cast<std::uint64_t>(makedev(st.stx_dev_major, st.stx_dev_minor)), names);
        if (!taken.files.empty()) {
            waitForTheFileClock(taken.takenNs);
            return taken;
        }
    }
    taken.files.reserve(names.size());
    std::string name; // the name ended by a NUL, as the system takes it
    for (const std::string_view listed : names) {
        name = listed;
        taken.files.push_back(recorded(identityAt(calls, dir.get(), name.c_str())));
    }
    waitForTheFileClock(taken.takenNs);
    return taken;
}

// Who the files are from what a listing found just before the run: the numbers it read, the moment it
// began, and the folder looked at now for its device and whether its numbers tell its files. Where they
// do not (a card, whose numbers do not last beyond its mount, a file system without birth times, an
// overlay), the files are looked at as identitiesOf looks at them.
TakenIdentities identitiesListed(Syscalls& calls,
                                 const std::string& folder,
                                 std::int64_t readNs,
                                 const std::vector<std::uint64_t>& inodes,
                                 const NameList& names)
{
    TakenIdentities taken;
    FileDescriptor dir(calls, calls.openat(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    struct statx st;
    if (dir.get() < 0 || lookAt(calls, dir.get(), "", st) != 0) {
        return taken;
    }
    struct statfs fileSystem
    {
    };
    VolumePlace place = volumePlaceOf(calls, folder);
    if (!place.volume.empty() || (st.stx_mask & STATX_BTIME) == 0 || ::statfs(folder.c_str(), &fileSystem) != 0
        || fileSystem.f_type == OVERLAYFS_SUPER_MAGIC) {
        return identitiesOf(calls, folder, names, false);
    }
    taken.takenNs = readNs;
    taken.place = std::move(place);
    const auto device = static_cast<std::uint64_t>(makedev(st.stx_dev_major, st.stx_dev_minor));
    taken.files.reserve(inodes.size());
    for (const std::uint64_t inode : inodes) {
        taken.files.push_back({
            .device = device,
            .inode = inode,
            .size = 0,
            .modifiedNs = FileIdentity::kContentUnknown,
        });
    }
    waitForTheFileClock(taken.takenNs);
    return taken;
}

} // namespace

JournalStore::JournalStore(Syscalls& calls, std::string folder)
    : m_calls(calls)
    , m_folder(std::move(folder))
{
}

const std::string& JournalStore::folder() const
{
    return m_folder;
}

int JournalStore::openFolder(bool create)
{
    if (m_folder.empty() || m_folder.front() != '/' || m_folder.find('\0') != std::string::npos) {
        errno = ENOENT;
        return -1;
    }
    int fd = m_calls.openat(AT_FDCWD, m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (fd >= 0 || errno != ENOENT || !create) {
        return fd;
    }
    // Made with every missing folder above it, for this user alone.
    for (std::size_t slash = m_folder.find('/', 1);; slash = m_folder.find('/', slash + 1)) {
        const std::string part = m_folder.substr(0, slash);
        if (m_calls.mkdirat(AT_FDCWD, part.c_str(), 0700) != 0 && errno != EEXIST) {
            return -1;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return m_calls.openat(AT_FDCWD, m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
}

int JournalStore::create(std::string_view bytes, std::string& name, int& fd)
{
    return create(
        [&](int out) {
            return writeAll(m_calls, out, bytes);
        },
        name,
        fd);
}

int JournalStore::create(const std::function<int(int fd)>& write, std::string& name, int& fd)
{
    fd = -1;
    FileDescriptor folder(m_calls, openFolder(true));
    if (folder.get() < 0) {
        return errno;
    }
    std::string temporary;
    FileDescriptor out(m_calls, createHiddenTemporary(m_calls, folder.get(), "journal", 0600, temporary));
    if (out.get() < 0) {
        return errno;
    }
    int error = write(out.get());
    if (error == 0 && m_calls.fsync(out.get()) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = takeName(folder.get(), temporary, name);
    }
    if (error != 0) {
        m_calls.unlinkat(folder.get(), temporary.c_str(), 0);
        return error;
    }
    if (m_calls.fsync(folder.get()) != 0) {
        return errno; // the journal may not survive a power cut: as good as none
    }
    prune(folder.get());
    fd = out.release();
    return 0;
}

int JournalStore::takeName(int folderFd, const std::string& temporary, std::string& name)
{
    // Two programs naming a journal at once would both take the number after the highest: the folder is
    // held from the reading of the names to the rename. Where it cannot be locked, the process ids in the
    // names still keep the two apart.
    int locked;
    do {
        locked = m_calls.flock(folderFd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    // Numbered after a folder read in part, the new journal could come before the last run: none then.
    std::vector<std::string> all;
    int error = readNames(all);
    if (error == 0) {
        name = newJournalName(all.empty() ? std::string_view() : std::string_view(all.back()));
        error = name.empty() ? EOVERFLOW : 0;
    }
    if (error == 0 && m_calls.renameat2(folderFd, temporary.c_str(), folderFd, name.c_str(), RENAME_NOREPLACE) != 0) {
        error = errno;
    }
    if (locked == 0) {
        m_calls.flock(folderFd, LOCK_UN);
    }
    return error;
}

void JournalStore::prune(int folderFd)
{
    const std::vector<std::string> all = names();
    for (std::size_t i = 0; i + kKept < all.size(); ++i) {
        // A run that has not ended may yet be brought back, and a journal whose marks cannot be read is
        // the reader's to judge: only settled runs make room.
        Journal journal;
        if (readMarks(all[i], journal.marks) && journal.settled()) {
            m_calls.unlinkat(folderFd, all[i].c_str(), 0);
        }
    }
}

int JournalStore::openJournal(const std::string& name, int flags)
{
    int fd = -1;
    int error = 0;
    {
        FileDescriptor folder(m_calls, openFolder(false));
        if (folder.get() >= 0) {
            fd = m_calls.openat(folder.get(), name.c_str(), flags | O_CLOEXEC | O_NOFOLLOW, 0);
        }
        error = errno;
    }
    errno = error;
    return fd;
}

int JournalStore::openToRead(const std::string& name, struct stat& st)
{
    const int fd = openJournal(name, O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    int error = 0;
    if (m_calls.fstat(fd, &st) != 0) {
        error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        error = EINVAL;
    }
    if (error == 0) {
        return fd;
    }
    m_calls.close(fd);
    errno = error;
    return -1;
}

int JournalStore::append(const std::string& name, std::string_view bytes)
{
    FileDescriptor out(m_calls, openJournal(name, O_WRONLY | O_APPEND));
    if (out.get() < 0) {
        return errno;
    }
    if (const int error = writeAll(m_calls, out.get(), bytes)) {
        return error;
    }
    if (m_calls.fsync(out.get()) != 0) {
        return errno;
    }
    return out.close();
}

int JournalStore::namesWhere(bool (*wanted)(std::string_view name), std::vector<std::string>& found)
{
    found.clear();
    if (m_folder.empty() || m_folder.find('\0') != std::string::npos) {
        return ENOENT;
    }
    return readFolder(m_calls, m_folder, [&](const struct dirent& entry) {
        if (wanted(entry.d_name)) {
            found.emplace_back(entry.d_name);
        }
    });
}

int JournalStore::readNames(std::vector<std::string>& found)
{
    const int error = namesWhere(isJournalName, found);
    // Numbers of one width: the names sort as their numbers, then by the process.
    std::sort(found.begin(), found.end());
    return error;
}

std::vector<std::string> JournalStore::names()
{
    std::vector<std::string> found;
    readNames(found);
    return found;
}

void JournalStore::removeUnnamed()
{
    FileDescriptor folder(m_calls, openFolder(false));
    if (folder.get() < 0) {
        return;
    }
    const auto unnamed = [](std::string_view name) {
        return name.starts_with(".journal.") && name.ends_with(".tmp");
    };
    std::vector<std::string> found;
    namesWhere(unnamed, found);
    for (const std::string& name : found) {
        // A command-line run may be writing its journal while the window starts: the process named in
        // the temporary name is asked first, and only a journal whose writer is gone is a leftover.
        if (processRunning(writerOf(name))) {
            continue;
        }
        m_calls.unlinkat(folder.get(), name.c_str(), 0);
    }
}

bool JournalStore::readMarks(const std::string& name, std::vector<JournalMark>& marks)
{
    struct stat st;
    FileDescriptor in(m_calls, openToRead(name, st));
    if (in.get() < 0) {
        return false;
    }
    std::string header(kJournalHeaderBytes, '\0');
    if (m_calls.pread(in.get(), header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) {
        return false;
    }
    const std::optional<std::uint64_t> offset = journalMarksOffset(header);
    if (!offset || *offset > static_cast<std::uint64_t>(st.st_size)) {
        return false;
    }
    std::string tail(std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size) - *offset, kMostMarkBytes), '\0');
    if (m_calls.pread(in.get(), tail.data(), tail.size(), static_cast<off_t>(*offset))
        != static_cast<ssize_t>(tail.size())) {
        return false;
    }
    marks = decodeMarks(tail);
    return true;
}

int JournalStore::readHead(const std::string& name, std::string& bytes, std::uint64_t& size)
{
    // Four paths of a few kilobytes at most, and a few numbers.
    constexpr std::uint64_t kHeadBytes = 32 * 1024;
    bytes.clear();
    struct stat st;
    FileDescriptor in(m_calls, openToRead(name, st));
    if (in.get() < 0) {
        return errno;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    bytes.resize(static_cast<std::size_t>(std::min(size, kHeadBytes)));
    const ssize_t got = readAt(m_calls, in.get(), bytes.data(), bytes.size(), 0);
    if (got < 0) {
        bytes.clear();
        return errno;
    }
    bytes.resize(static_cast<std::size_t>(got));
    return 0;
}

int JournalStore::read(const std::string& name, std::string& bytes, std::int64_t* writtenNs)
{
    bytes.clear();
    struct stat st;
    FileDescriptor in(m_calls, openToRead(name, st));
    if (in.get() < 0) {
        return errno;
    }
    if (writtenNs != nullptr) {
        *writtenNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::string header(std::min<std::uint64_t>(size, kJournalHeaderBytes), '\0');
    const ssize_t got = readAt(m_calls, in.get(), header.data(), header.size(), 0);
    if (got < 0) {
        return errno;
    }
    header.resize(static_cast<std::size_t>(got));
    const std::optional<std::uint64_t> offset = journalMarksOffset(header);
    // The header says how long the journal is: a file longer than that and its marks, or a header that
    // asks for more than any run writes, is not to be taken into memory.
    if (offset && (*offset > kMostJournalBytes || size > *offset + kMostMarkBytes)) {
        return EFBIG;
    }
    bytes = std::move(header);
    if (!offset || *offset > size) {
        return 0; // its first bytes tell what it is: not a journal, another version's, or cut short
    }
    bytes.resize(static_cast<std::size_t>(size));
    const ssize_t rest = readAt(
        m_calls, in.get(), bytes.data() + kJournalHeaderBytes, bytes.size() - kJournalHeaderBytes, kJournalHeaderBytes);
    if (rest < 0) {
        const int error = errno;
        bytes.clear();
        return error;
    }
    bytes.resize(kJournalHeaderBytes + static_cast<std::size_t>(rest)); // cut short since it was looked at
    return 0;
}

int JournalStore::setAside(const std::string& name, std::string& kept)
{
    FileDescriptor folder(m_calls, openFolder(false));
    if (folder.get() < 0) {
        return errno;
    }
    // A journal set aside before keeps its name: the next free number is taken.
    for (int n = 1; n <= 1000; ++n) {
        std::string aside = name + ".broken";
        if (n > 1) {
            aside += '.';
            aside += std::to_string(n);
        }
        if (m_calls.renameat2(folder.get(), name.c_str(), folder.get(), aside.c_str(), RENAME_NOREPLACE) == 0) {
            kept = aside;
            return m_calls.fsync(folder.get()) == 0 ? 0 : errno;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

StoredRunRecord::StoredRunRecord(Syscalls& calls, std::string journalFolder)
    : m_calls(calls)
    , m_store(calls, std::move(journalFolder))
    , m_lock(calls)
{
}

StoredRunRecord::~StoredRunRecord()
{
    // A look begun for a run that ended before its journal reads this record's members: it ends first.
    if (m_lookAhead.valid()) {
        m_lookAhead.wait();
    }
    if (m_fd >= 0) {
        m_calls.close(m_fd);
    }
}

bool StoredRunRecord::lock(const std::string& folder, const std::string& saveFolder)
{
    return m_lock.lock({folder, saveFolder});
}

void StoredRunRecord::listedJustNow(std::string folder, std::int64_t readNs, std::vector<std::uint64_t> inodes)
{
    m_listedFolder = std::move(folder);
    m_listedNs = readNs;
    m_listedInodes = std::move(inodes);
}

void StoredRunRecord::lookAhead(const std::string& folder, const NameList& names, bool withContent)
{
    if (m_lookAhead.valid()) {
        m_lookAhead.wait();
    }
    // Files copied or moved are known by their size and times too, which a listing does not give.
    if (!withContent && !m_listedFolder.empty() && m_listedFolder == folder && m_listedInodes.size() == names.size()) {
        try {
            // The names are shared, not copied: the look keeps them whatever becomes of the caller's.
            m_lookAhead = std::async(std::launch::async, [this, names] {
                return identitiesListed(m_calls, m_listedFolder, m_listedNs, m_listedInodes, names);
            });
        } catch (const std::system_error&) {
            // No thread to spare: write() looks by itself.
        }
        return;
    }
    try {
        m_lookAhead = std::async(std::launch::async, [this, folder, names, withContent] {
            return identitiesOf(m_calls, folder, names, withContent);
        });
    } catch (const std::system_error&) {
        // No thread to spare: write() looks by itself.
    }
}

int StoredRunRecord::write(Journal& journal)
{
    journal.pid = ::getpid();
    const bool transfer = !journal.saveFolder.empty();
    TakenIdentities taken;
    if (m_lookAhead.valid()) {
        taken = m_lookAhead.get();
    }
    FileDescriptor folder(m_calls,
                          m_calls.openat(AT_FDCWD, journal.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    if (folder.get() < 0) {
        return errno;
    }
    struct statx st;
    if (const int error = lookAt(m_calls, folder.get(), "", st)) {
        return error;
    }
    journal.folderIdentity = identityOf(st);
    if (taken.files.size() != journal.files.size()) {
        std::size_t bytes = 0;
        for (const JournalEntry& file : journal.files) {
            bytes += file.old.size();
        }
        NameList::Builder names;
        names.reserve(journal.files.size(), bytes);
        for (const JournalEntry& file : journal.files) {
            names.add(file.old);
        }
        taken = identitiesOf(m_calls, journal.folder, names.finish(), transfer);
    }
    journal.startedNs = taken.takenNs;
    journal.volume = std::move(taken.place.volume);
    journal.volumePath = std::move(taken.place.path);
    m_folder = journal.folder;
    m_saveFolder = journal.saveFolder;
    journal.identities = std::move(taken.files);
    journal.atTargets.clear();
    if (transfer) {
        // What stands in the save folder already is the user's; a missing save folder holds nothing.
        FileDescriptor save(m_calls,
                            m_calls.openat(AT_FDCWD, journal.saveFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
        if (save.get() >= 0) {
            journal.atTargets = identitiesAtTargets(m_calls, journal.saveFolder, save.get(), journal.files);
        }
    }
    std::string name;
    return m_store.create(
        [&](int out) {
            int error = 0;
            encodeJournal(journal, [&](std::string_view piece) {
                error = writeAll(m_calls, out, piece);
                return error == 0;
            });
            return error;
        },
        name,
        m_fd);
}

bool StoredRunRecord::written() const
{
    return m_fd >= 0;
}

void StoredRunRecord::flushRun()
{
    for (const std::string* folder : {&m_saveFolder, &m_folder}) {
        if (folder->empty()) {
            continue;
        }
        FileDescriptor opened(m_calls,
                              m_calls.openat(AT_FDCWD, folder->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
        if (opened.get() < 0) {
            continue;
        }
        // The copies' data, their names and the files the Trash took lie on the save folder's file
        // system: one flush of it all is cheaper than one of each copy.
        if (folder == &m_saveFolder) {
            m_calls.syncfs(opened.get());
        }
        m_calls.fsync(opened.get());
    }
}

void StoredRunRecord::mark(JournalMark mark)
{
    if (m_fd < 0) {
        return;
    }
    // The recovery finds each file by who it is, so a mark that is lost costs only a question at start.
    if (mark == JournalMark::RunDone) {
        // The end mark says the run is over: by then every copy's data and every name the run gave is on
        // disk, so that a power cut after it leaves no file empty and no rename undone.
        flushRun();
        // The end mark's time tells the run's files (changed before it) from files saved over them since:
        // it must come after the last rename even on the coarse clock that stamps files.
        waitForTheFileClock();
    }
    const std::string bytes = encodeMark(mark);
    if (writeAll(m_calls, m_fd, bytes) == 0) {
        m_calls.fsync(m_fd);
    }
}

} // namespace tallyfox::platform
