#include "platform/identity_steps.h"

#include "core/multibyte.h"
#include "core/rename_plan.h"
#include "platform/journal_store.h"
#include "platform/posix_io.h"
#include "platform/trash.h"
#include "platform/volumes.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <thread>
#include <time.h>

namespace tallyfox::platform {

namespace {

constexpr int kOpenFolder = O_PATH | O_DIRECTORY | O_CLOEXEC;

// The names a run gave are judged only as far as no folder takes them, or none could be that long: the
// file system itself refuses the rest, and an exFAT card takes names of more than 255 bytes.
constexpr NameRules kAnyFileSystem = NameRules::Utf16;

// How finely a kind of file system keeps modification times.
std::int64_t precisionOf(long kind)
{
    using namespace fileSystemKind;
    switch (kind) {
    case kFat:
    case kFuse: // not known: the coarsest of those below
        return 2000000000;
    case kExfat:
        return 10000000;
    case kNtfs:
    case kNtfs3:
    case kSmb2:
    case kCifs:
        return 100;
    default:
        return 1;
    }
}

// The clock that stamps files, at the tick it is in.
std::int64_t fileClockNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::string inOneCase(std::string_view name)
{
    return foldedAsciiCase(name, systemCodePage());
}

// The name with the case of each of its letters A to Z turned round.
std::string caseTurned(std::string_view name)
{
    std::string turned(name);
    const CodePage codePage = systemCodePage();
    for (std::size_t pos = 0; pos < turned.size();) {
        const std::size_t length = characterLength(turned, pos, codePage);
        if (length == 1) {
            const char c = turned[pos];
            turned[pos] = asciiLower(c) != c ? asciiLower(c) : asciiUpper(c);
        }
        pos += length;
    }
    return turned;
}

} // namespace

PosixRecoverySteps::PosixRecoverySteps(Syscalls& calls)
    : m_calls(calls)
    , m_operations(calls)
{
}

PosixRecoverySteps::~PosixRecoverySteps()
{
    for (const int fd : {m_folderFd, m_saveFd}) {
        if (fd >= 0) {
            m_calls.close(fd);
        }
    }
}

bool PosixRecoverySteps::open(const Journal& journal)
{
    if (journal.folder.empty() || journal.folder.find('\0') != std::string::npos) {
        return false;
    }
    m_takenNs = journal.startedNs;
    m_byContent = journal.byContent();
    // On a card the folder is its place on the volume, wherever the volume is mounted now.
    const std::string here = m_byContent ? folderAt(m_calls, {journal.volume, journal.volumePath}) : journal.folder;
    if (here.empty()) {
        return false;
    }
    m_folderFd = m_calls.openat(AT_FDCWD, here.c_str(), kOpenFolder, 0);
    const std::int64_t clock = fileClockNs();
    struct statx st;
    if (m_folderFd < 0 || lookAt(m_calls, m_folderFd, "", st) != 0) {
        return false;
    }
    planBegins(RunFolder::Folder, st, clock);
    // A folder made anew at the same path, even one given the freed number, is another folder.
    const FileIdentity folder = identityOf(st);
    if (!m_byContent
        && (!folder.sameInode(journal.folderIdentity)
            || (folder.bornKnown() && journal.folderIdentity.bornKnown()
                && folder.bornNs != journal.folderIdentity.bornNs))) {
        return false;
    }
    m_folder = here;
    if (!journal.saveFolder.empty() && journal.saveFolder.find('\0') == std::string::npos) {
        m_saveFd = m_calls.openat(AT_FDCWD, journal.saveFolder.c_str(), kOpenFolder, 0);
        struct statx save;
        if (m_saveFd >= 0 && (lookAt(m_calls, m_saveFd, "", save) != 0 || identityOf(save).sameInode(folder))) {
            // The save folder is the folder reached another way: its files are the folder's.
            m_calls.close(m_saveFd);
            m_saveFd = -1;
        }
        if (m_saveFd >= 0) {
            planBegins(RunFolder::SaveFolder, save, clock);
        }
        m_saveFolder = journal.saveFolder;
    }
    m_precision = std::max(timePrecisionNs(RunFolder::Folder), timePrecisionNs(RunFolder::SaveFolder));
    return true;
}

int PosixRecoverySteps::fd(RunFolder folder) const
{
    return folder == RunFolder::Folder ? m_folderFd : m_saveFd;
}

const std::string& PosixRecoverySteps::path(RunFolder folder) const
{
    return folder == RunFolder::Folder ? m_folder : m_saveFolder;
}

PosixRecoverySteps::FolderFacts& PosixRecoverySteps::facts(RunFolder folder)
{
    return m_facts[folder == RunFolder::Folder ? 0 : 1];
}

std::optional<FileIdentity> PosixRecoverySteps::look(RunFolder folder, const std::string& name)
{
    if (fd(folder) < 0 || unusableName(name, kAnyFileSystem) != 0) {
        return std::nullopt;
    }
    struct statx st;
    if (lookAt(m_calls, fd(folder), name.c_str(), st) != 0 || S_ISDIR(st.stx_mode)) {
        return std::nullopt;
    }
    return identityOf(st);
}

std::vector<std::optional<FileIdentity>>
PosixRecoverySteps::lookAll(const std::vector<std::pair<RunFolder, std::string_view>>& names)
{
    // Below this many, a thread costs more than it saves.
    constexpr std::size_t kLooksForAThread = 2048;
    constexpr unsigned kMostThreads = 4;
    std::vector<std::optional<FileIdentity>> seen(names.size());
    const std::size_t threads =
        std::clamp<std::size_t>(std::min<std::size_t>(std::thread::hardware_concurrency(), kMostThreads),
                                1,
                                std::max<std::size_t>(names.size() / kLooksForAThread, 1));
    const std::size_t share = (names.size() + threads - 1) / threads;
    const auto lookAt = [&](std::size_t part) {
        const std::size_t end = std::min(names.size(), (part + 1) * share);
        for (std::size_t i = part * share; i < end; ++i) {
            seen[i] = look(names[i].first, std::string(names[i].second));
        }
    };
    std::vector<std::thread> helpers;
    for (std::size_t part = 1; part < threads; ++part) {
        helpers.emplace_back(lookAt, part);
    }
    lookAt(0);
    for (std::thread& helper : helpers) {
        helper.join();
    }
    return seen;
}

std::vector<std::string> PosixRecoverySteps::hiddenNames(RunFolder folder)
{
    std::vector<std::string> names;
    for (const std::string_view name : listing(folder)) {
        if (name.starts_with(".tallyfox.") && name.ends_with(".tmp")) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::uint32_t PosixRecoverySteps::Listing::find(std::string_view name) const
{
    if (!table) {
        return NameTable::kNone;
    }
    return folds ? table->find(inOneCase(name)) : table->find(name);
}

void PosixRecoverySteps::Listing::index(bool foldCase)
{
    folds = foldCase;
    if (folds) {
        NameList::Builder inOneCaseOnly;
        for (const std::string_view name : names) {
            inOneCaseOnly.add(inOneCase(name));
        }
        folded = inOneCaseOnly.finish();
    }
    const NameList& keys = folds ? folded : names;
    table.emplace(keys.size(), KeyAt{&keys});
}

PosixRecoverySteps::Listing PosixRecoverySteps::read(RunFolder folder)
{
    Listing read;
    if (fd(folder) >= 0) {
        NameList::Builder names;
        readFolder(m_calls, path(folder), [&](const struct dirent& entry) {
            const std::string_view name = entry.d_name;
            if (name != "." && name != "..") {
                names.add(name);
                read.numbers.push_back(static_cast<std::uint64_t>(entry.d_ino));
            }
        });
        read.names = names.finish();
    }
    return read;
}

const NameList& PosixRecoverySteps::listing(RunFolder folder)
{
    FolderFacts& known = facts(folder);
    if (!known.listed) {
        known.listed = true;
        known.listing = read(folder);
    }
    return known.listing.names;
}

const PosixRecoverySteps::Listing& PosixRecoverySteps::indexed(RunFolder folder)
{
    FolderFacts& known = facts(folder);
    listing(folder);
    if (!known.listing.table) {
        known.listing.index(ignoresCase(folder));
    }
    return known.listing;
}

bool PosixRecoverySteps::numbered(RunFolder folder)
{
    FolderFacts& known = facts(folder);
    if (!known.numbered) {
        // An overlay's listing may number its entries otherwise than the files themselves, a file system
        // in user space may too (an exFAT card's gives every entry one number), and a card's numbers do
        // not last beyond its mount.
        struct statfs fileSystem
        {
        };
        known.numbered = !m_byContent && fd(folder) >= 0 && ::fstatfs(fd(folder), &fileSystem) == 0
                         && fileSystem.f_type != OVERLAYFS_SUPER_MAGIC && fileSystem.f_type != FUSE_SUPER_MAGIC;
    }
    return *known.numbered;
}

std::optional<std::uint64_t> PosixRecoverySteps::listed(RunFolder folder, std::string_view name)
{
    const Listing& known = indexed(folder);
    const std::uint32_t position = known.find(name);
    if (position == NameTable::kNone) {
        return std::nullopt;
    }
    return numbered(folder) ? known.numbers[position] : 0;
}

void PosixRecoverySteps::planBegins(RunFolder folder, const struct statx& st, std::int64_t clockNs)
{
    FolderFacts& known = facts(folder);
    known.changedNs = identityOf(st).changedNs;
    // A change in the tick the folder was last stamped in could leave the same time behind.
    known.changeWouldShow = known.changedNs < clockNs;
}

void PosixRecoverySteps::beforeSteps()
{
    for (const RunFolder folder : {RunFolder::Folder, RunFolder::SaveFolder}) {
        FolderFacts& known = facts(folder);
        struct statx st;
        known.untouched = fd(folder) >= 0 && known.changeWouldShow && lookAt(m_calls, fd(folder), "", st) == 0
                          && identityOf(st).changedNs == known.changedNs;
    }
}

bool PosixRecoverySteps::ignoresCase(RunFolder folder)
{
    FolderFacts& known = facts(folder);
    if (known.ignoresCase) {
        return *known.ignoresCase;
    }
    known.ignoresCase = false;
    const int dirFd = fd(folder);
    if (dirFd < 0) {
        return false;
    }
    const NameList& names = listing(folder);
    for (const std::string_view listed : names) {
        const std::string name(listed);
        const std::string turned = caseTurned(name);
        if (turned == name) {
            continue; // no letter to tell by
        }
        struct statx asListed;
        struct statx asTurned;
        if (lookAt(m_calls, dirFd, name.c_str(), asListed) != 0) {
            continue;
        }
        if (lookAt(m_calls, dirFd, turned.c_str(), asTurned) != 0 || asTurned.stx_ino != asListed.stx_ino) {
            return false;
        }
        // The same file: one name read two ways, unless the other spelling is a second name of its own.
        if (asListed.stx_nlink == 1 || std::find(names.begin(), names.end(), turned) == names.end()) {
            known.ignoresCase = true;
            return true;
        }
    }
    return false;
}

std::string PosixRecoverySteps::spelling(RunFolder folder, const std::string& name)
{
    if (!ignoresCase(folder)) {
        return name;
    }
    const Listing& known = indexed(folder);
    const std::uint32_t position = known.find(name);
    return position != NameTable::kNone ? std::string(known.names[position]) : name;
}

std::int64_t PosixRecoverySteps::timePrecisionNs(RunFolder folder)
{
    struct statfs fileSystem
    {
    };
    if (fd(folder) < 0 || ::fstatfs(fd(folder), &fileSystem) != 0) {
        return 1;
    }
    return precisionOf(static_cast<long>(fileSystem.f_type));
}

std::string PosixRecoverySteps::privateName(RunFolder /*folder*/)
{
    return hiddenName("tallyfox");
}

std::string PosixRecoverySteps::trashed(RunFolder folder, const std::string& name, const FileIdentity& expected)
{
    if (fd(folder) < 0 || unusableName(name, kAnyFileSystem) != 0) {
        return {};
    }
    return Trash(m_calls).find(path(folder), name, expected);
}

int PosixRecoverySteps::putBack(const std::string& trashed,
                                RunFolder folder,
                                const std::string& name,
                                const FileIdentity& expected)
{
    if (fd(folder) < 0) {
        return ENOENT;
    }
    if (unusableName(name, kAnyFileSystem) != 0 || trashed.find('\0') != std::string::npos) {
        return EINVAL;
    }
    FileIdentity seen;
    if (const int error = check(AT_FDCWD, trashed, expected, Match::Inode, seen)) {
        return error;
    }
    if (const int error = Trash(m_calls).putBack(trashed, fd(folder), name)) {
        return error;
    }
    const FileIdentity back = identityAt(m_calls, fd(folder), name.c_str());
    return back.sameInode(seen) && back.bornNs == seen.bornNs ? 0 : ESTALE;
}

int PosixRecoverySteps::check(
    int dirFd, const std::string& name, const FileIdentity& expected, Match match, FileIdentity& seen)
{
    struct statx st;
    if (const int error = lookAt(m_calls, dirFd, name.c_str(), st)) {
        return error;
    }
    seen = identityOf(st);
    if (!matches(seen, expected, match, m_takenNs, m_precision, m_byContent)) {
        return ESTALE;
    }
    // A copy is known by its content only as a regular file; a second name goes only while the file has
    // another, or it would go with it.
    if ((match == Match::Content && !S_ISREG(st.stx_mode)) || (match == Match::OtherName && st.stx_nlink < 2)) {
        return ESTALE;
    }
    return 0;
}

int PosixRecoverySteps::rename(RunFolder fromFolder,
                               const std::string& from,
                               RunFolder toFolder,
                               const std::string& to,
                               const FileIdentity& expected,
                               Match match)
{
    const int fromFd = fd(fromFolder);
    const int toFd = fd(toFolder);
    if (fromFd < 0 || toFd < 0) {
        return ENOENT;
    }
    if (unusableName(from, kAnyFileSystem) != 0 || unusableName(to, kAnyFileSystem) != 0) {
        return EINVAL;
    }
    // The file the plan saw at the name, or that an earlier step put there and looked at, is there still
    // where nothing in the folder has changed since: only a copy, known by its content alone, and a name in
    // a folder changed meanwhile are looked at first.
    const bool known = match == Match::Inode && facts(fromFolder).untouched;
    FileIdentity seen;
    if (!known) {
        if (const int error = check(fromFd, from, expected, match, seen)) {
            return error;
        }
    }
    int error = m_operations.renameNoReplace(fromFd, from.c_str(), toFd, to.c_str());
    if (error == EXDEV) {
        // Back from another file system: copied, flushed, and only then is the source removed, while
        // it is still the file that was copied.
        if (known) {
            if (const int changed = check(fromFd, from, expected, match, seen)) {
                return changed;
            }
        }
        return m_operations.moveFile(path(fromFolder) + "/" + from, path(toFolder) + "/" + to, false);
    }
    if (error != 0) {
        return error;
    }
    // Had another file taken the name meanwhile (even one given the freed number of the file), it goes back.
    FileIdentity renamed;
    if (check(toFd, to, expected, match, renamed) != 0
        || (!known && (!renamed.sameInode(seen) || renamed.bornNs != seen.bornNs))) {
        m_operations.renameNoReplace(toFd, to.c_str(), fromFd, from.c_str());
        return ESTALE;
    }
    return 0;
}

int PosixRecoverySteps::remove(RunFolder folder, const std::string& name, const FileIdentity& expected, Match match)
{
    const int dirFd = fd(folder);
    if (dirFd < 0) {
        return ENOENT;
    }
    if (unusableName(name, kAnyFileSystem) != 0) {
        return EINVAL;
    }
    FileIdentity seen;
    if (const int error = check(dirFd, name, expected, match, seen)) {
        return error;
    }
    // Linux cannot remove a file by its descriptor: the name goes private first, so that what is
    // removed is what was checked, and a file saved under the name meanwhile is not touched.
    const std::string hidden = hiddenName("tallyfox");
    if (const int error = m_operations.renameNoReplace(dirFd, name.c_str(), dirFd, hidden.c_str())) {
        return error;
    }
    if (const int error = check(dirFd, hidden, expected, match, seen)) {
        m_operations.renameNoReplace(dirFd, hidden.c_str(), dirFd, name.c_str());
        return error;
    }
    return m_calls.unlinkat(dirFd, hidden.c_str(), 0) == 0 ? 0 : errno;
}

} // namespace tallyfox::platform
