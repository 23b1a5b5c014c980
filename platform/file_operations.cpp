#include "platform/file_operations.h"

#include "core/rename_plan.h"
#include "platform/posix_io.h"
#include "platform/trash.h"
#include "platform/volumes.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace tallyfox::platform {
namespace {

// Whether renameat2 refused a flag that the file system does not know, rather than the rename itself.
bool flagUnsupported(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// Whether linkat failed because the file system has no hard links (FAT and exFAT in user space), or
// will not give this file another name (a file of another owner where links are protected).
bool linksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// Whether copy_file_range cannot copy between these two files, so the bytes must pass through us.
bool copyRangeUnsupported(int error)
{
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

bool holdsNul(std::string_view text)
{
    return text.find('\0') != std::string_view::npos;
}

// A folder without the "/" at its end, so "save/" + "/a.jpg" and "save/a.jpg" lie in one folder.
std::string_view trimFolder(std::string_view folder)
{
    while (folder.size() > 1 && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    return folder;
}

// A target path split into its folder and its last part. The last part points into the path, so it
// ends in the path's own NUL and needs no copy.
struct PathParts
{
    std::string_view folder;
    std::string_view name;
    const char* nameText;
};

PathParts splitPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {".", path, path.c_str()};
    }
    std::string_view folder = trimFolder(std::string_view(path).substr(0, slash));
    if (folder.empty()) {
        folder = "/";
    }
    return {folder, std::string_view(path).substr(slash + 1), path.c_str() + slash + 1};
}

// Why an existing target may not be replaced: a folder, or a file nobody may write to. The write bits
// are read here because root passes every permission check of the kernel.
int checkReplaceable(const struct stat& existing)
{
    if (S_ISDIR(existing.st_mode)) {
        return EISDIR;
    }
    if (!S_ISLNK(existing.st_mode) && (existing.st_mode & 0222) == 0) {
        return EACCES;
    }
    return 0;
}

// Whether a file read through a descriptor is as it was: a write changes its size or modification
// time, and always its change time, which unlike the other two cannot be set back.
bool unchangedSince(const struct stat& before, const struct stat& now)
{
    return now.st_size == before.st_size && now.st_mtim.tv_sec == before.st_mtim.tv_sec
           && now.st_mtim.tv_nsec == before.st_mtim.tv_nsec && now.st_ctim.tv_sec == before.st_ctim.tv_sec
           && now.st_ctim.tv_nsec == before.st_ctim.tv_nsec;
}

using Descriptor = FileDescriptor;

// Folders are opened only to address entries in them, which needs no read permission on the folder.
constexpr int kOpenFolder = O_PATH | O_DIRECTORY | O_CLOEXEC;
// A new file is created exclusively: never through a link, never over an entry that appeared meanwhile.
constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
constexpr int kOpenSource = O_RDONLY | O_CLOEXEC | O_NONBLOCK; // a pipe in its place must not block us

} // namespace

// The descriptor of a folder for one call: the one kept open, the current directory, or one opened for
// this call alone (a relative folder, whose meaning changes with the current directory).
class PosixFileOperations::Folder
{
public:
    explicit Folder(Syscalls& calls)
        : m_calls(calls)
    {
    }
    ~Folder()
    {
        if (m_owned >= 0) {
            m_calls.close(m_owned);
        }
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    void own(int opened)
    {
        fd = opened;
        m_owned = opened;
    }

    int fd = AT_FDCWD;

private:
    Syscalls& m_calls;
    int m_owned = -1;
};

PosixFileOperations::PosixFileOperations(Syscalls& calls)
    : m_calls(calls)
{
}

PosixFileOperations::~PosixFileOperations()
{
    if (m_folderFd >= 0) {
        m_calls.close(m_folderFd);
    }
}

int PosixFileOperations::openFolder(std::string_view folder, Folder& opened)
{
    if (holdsNul(folder)) {
        return EINVAL;
    }
    folder = trimFolder(folder);
    if (folder == ".") {
        opened.fd = AT_FDCWD;
        return 0;
    }
    if (folder.empty() || folder.front() != '/') {
        const int fd = m_calls.openat(AT_FDCWD, std::string(folder).c_str(), kOpenFolder, 0);
        if (fd < 0) {
            return errno;
        }
        opened.own(fd);
        return 0;
    }
    if (m_folderFd < 0 || folder != m_folderPath) {
        if (m_folderFd >= 0) {
            m_calls.close(m_folderFd);
            m_folderFd = -1;
            m_folderPath.clear();
            m_folderRules.reset();
            m_folderDevice.reset();
        }
        std::string path(folder);
        const int fd = m_calls.openat(AT_FDCWD, path.c_str(), kOpenFolder, 0);
        if (fd < 0) {
            return errno;
        }
        m_folderFd = fd;
        m_folderPath = std::move(path);
    }
    opened.fd = m_folderFd;
    return 0;
}

NameRules PosixFileOperations::rulesOf(int folder)
{
    if (folder >= 0 && folder == m_folderFd) {
        if (!m_folderRules) {
            m_folderRules = nameRulesOf(m_calls, folder);
        }
        return *m_folderRules;
    }
    return nameRulesOf(m_calls, folder);
}

int PosixFileOperations::unusableIn(int folder, std::string_view name)
{
    // Counted in UTF-16 code units, a name is never longer than in bytes: too long that way, or one no
    // folder takes, it is refused without asking. A name every file system takes needs no asking either.
    if (const int anywhere = unusableName(name, NameRules::Utf16)) {
        return anywhere;
    }
    if (unusableName(name, NameRules::Bytes) == 0 && unusableName(name, NameRules::Fat) == 0) {
        return 0;
    }
    return unusableName(name, rulesOf(folder));
}

dev_t PosixFileOperations::deviceOf(int folder)
{
    if (folder >= 0 && folder == m_folderFd && m_folderDevice) {
        return *m_folderDevice;
    }
    struct stat st;
    const dev_t device = m_calls.fstatat(folder, "", &st, AT_EMPTY_PATH) == 0 ? st.st_dev : 0;
    if (folder >= 0 && folder == m_folderFd && device != 0) {
        m_folderDevice = device;
    }
    return device;
}

PosixFileOperations::Refusals* PosixFileOperations::refusalsOf(int folder)
{
    if (m_refusals.empty()) {
        return nullptr; // every file system so far knew the flag: nothing to look up
    }
    const dev_t device = deviceOf(folder);
    const auto known = std::find_if(m_refusals.begin(), m_refusals.end(), [&](const Refusals& refusals) {
        return refusals.device == device;
    });
    return known == m_refusals.end() || device == 0 ? nullptr : &*known;
}

PosixFileOperations::Refusals* PosixFileOperations::noteRefusal(int folder)
{
    if (Refusals* known = refusalsOf(folder)) {
        return known;
    }
    const dev_t device = deviceOf(folder);
    if (device == 0) {
        return nullptr; // asked again next time
    }
    m_refusals.push_back({.device = device});
    return &m_refusals.back();
}

int PosixFileOperations::renameNoReplace(int fromFolder, const char* from, int toFolder, const char* to)
{
    Refusals* refused = refusalsOf(toFolder);
    int flagError = EINVAL;
    if (refused == nullptr || !refused->noReplace) {
        if (m_calls.renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) {
            return 0;
        }
        flagError = errno;
        if (!flagUnsupported(flagError)) {
            return flagError;
        }
        // FAT and exFAT know the flag, and cannot link either: their EINVAL says the name is not theirs.
        if (flagError == EINVAL && rulesOf(toFolder) == NameRules::Fat) {
            return flagError;
        }
    }
    // The file system cannot refuse an existing name by itself; a hard link can, so the file takes its
    // new name as a second link and then gives up the old one. Folders cannot be linked, and EINVAL may
    // also mean a folder moved into itself, so this is done for regular files only.
    struct stat st;
    if (m_calls.fstatat(fromFolder, from, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return flagError;
    }
    if (refused != nullptr && st.st_dev != refused->device) {
        return EXDEV; // as the rename itself would answer, before it looks at the names
    }
    if (refused == nullptr || !refused->links) {
        if (m_calls.linkat(fromFolder, from, toFolder, to, 0) != 0) {
            const int error = errno;
            if (!linksUnsupported(error)) {
                return error;
            }
            if (Refusals* noted = noteRefusal(toFolder)) {
                noted->links = true;
            }
        } else {
            if (Refusals* noted = noteRefusal(toFolder)) {
                noted->noReplace = true; // the name was good: it was the flag
            }
            bool kept = false;
            const int error = removeName(fromFolder, from, st, kept);
            if (kept) {
                m_calls.unlinkat(toFolder, to, 0); // the file keeps its old name alone
            }
            return error;
        }
    }
    const int error = renameOverPlaceholder(fromFolder, from, st, toFolder, to);
    if (error == 0 || error == EEXIST) {
        if (Refusals* noted = noteRefusal(toFolder)) {
            noted->noReplace = true; // the name was good: it was the flag
        }
    }
    return error;
}

int PosixFileOperations::renameOverPlaceholder(
    int fromFolder, const char* from, const struct stat& file, int toFolder, const char* to)
{
    // Neither the flag nor a link: the name is reserved by an empty file of our own, created only where
    // nothing holds it, and the plain rename then replaces that placeholder alone.
    Descriptor held(m_calls, m_calls.openat(toFolder, to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (held.get() < 0) {
        const int error = errno;
        // A card in user space refuses a character it cannot hold as if the path led nowhere.
        if ((error == ENOENT || error == EINVAL) && unusableName(to, NameRules::Fat) == EINVAL) {
            return EINVAL;
        }
        return error;
    }
    struct stat placeholder;
    if (m_calls.fstat(held.get(), &placeholder) != 0) {
        return errno; // not known, so not removed: it may be another file by now
    }
    // Closed before it is replaced: a file system in user space keeps a file replaced while open under
    // a hidden name of its own.
    int error = held.close();
    // Replaced only while it is still our placeholder: a file put there meanwhile is someone's.
    if (!error) {
        const int holder = placeholderAt(toFolder, to, placeholder);
        error = holder == ENOENT ? EBUSY : holder; // gone: the name is no longer ours to take
    }
    if (!error && m_calls.renameat2(fromFolder, from, toFolder, to, 0) != 0) {
        error = errno;
    }
    if (!error) {
        // The name must now lead to the file renamed: not to the placeholder, as after a rename that did
        // nothing, nor to a file another program put there.
        struct stat now;
        if (m_calls.fstatat(toFolder, to, &now, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errno;
        } else if (now.st_dev == file.st_dev && now.st_ino == file.st_ino) {
            return 0;
        } else {
            error = EBUSY;
        }
    }
    if (placeholderAt(toFolder, to, placeholder) == 0) {
        m_calls.unlinkat(toFolder, to, 0);
    }
    return error;
}

int PosixFileOperations::placeholderAt(int folder, const char* name, const struct stat& placeholder)
{
    struct stat now;
    if (m_calls.fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    const bool ours = S_ISREG(now.st_mode) && now.st_dev == placeholder.st_dev && now.st_ino == placeholder.st_ino
                      && now.st_size == 0;
    return ours ? 0 : EEXIST;
}

int PosixFileOperations::removeName(int folder, const char* name, const struct stat& file, bool& kept)
{
    kept = false;
    if (m_calls.unlinkat(folder, name, 0) == 0) {
        return 0;
    }
    const int error = errno;
    // Undoing means removing the other instance of the file, which is safe only while this name
    // still leads to it. Gone or taken by another file, the other instance is the one to keep.
    struct stat now;
    if (m_calls.fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) == 0) {
        kept = now.st_dev == file.st_dev && now.st_ino == file.st_ino;
        return kept ? error : 0;
    }
    return errno == ENOENT ? 0 : error;
}

std::vector<std::unique_ptr<FileOperations>> PosixFileOperations::helpers(const std::string& sourceFolder,
                                                                          const std::string& saveFolder)
{
    constexpr unsigned kMostAtOnce = 4;
    std::vector<std::unique_ptr<FileOperations>> made;
    if (!m_calls.concurrent() || onRotatingDisk(m_calls, sourceFolder) || onRotatingDisk(m_calls, saveFolder)) {
        return made;
    }
    const unsigned atOnce = std::clamp(std::thread::hardware_concurrency(), 1u, kMostAtOnce);
    for (unsigned i = 1; i < atOnce; ++i) {
        made.push_back(std::make_unique<PosixFileOperations>(m_calls));
    }
    return made;
}

int PosixFileOperations::renameInFolder(const std::string& folder, const std::string& from, const std::string& to)
{
    if (const int error = unusableName(to, NameRules::Utf16)) {
        return error;
    }
    if (const int error = unusableName(from, NameRules::Utf16)) {
        return error;
    }
    Folder opened(m_calls);
    if (const int error = openFolder(folder, opened)) {
        return error;
    }
    if (const int error = unusableIn(opened.fd, to)) {
        return error;
    }
    if (from == to) {
        // Nothing to rename, but a file that has gone is not done.
        struct stat st;
        return m_calls.fstatat(opened.fd, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    }
    return renameNoReplace(opened.fd, from.c_str(), opened.fd, to.c_str());
}

int PosixFileOperations::checkTarget(int folder, const char* name)
{
    struct stat existing;
    if (m_calls.fstatat(folder, name, &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? 0 : errno; // gone meanwhile: nothing left to protect
    }
    return checkReplaceable(existing);
}

bool PosixFileOperations::sameFile(const std::string& a, const std::string& b)
{
    struct stat first;
    struct stat second;
    return !holdsNul(a) && !holdsNul(b) && m_calls.fstatat(AT_FDCWD, a.c_str(), &first, AT_SYMLINK_NOFOLLOW) == 0
           && m_calls.fstatat(AT_FDCWD, b.c_str(), &second, AT_SYMLINK_NOFOLLOW) == 0 && first.st_dev == second.st_dev
           && first.st_ino == second.st_ino;
}

bool PosixFileOperations::fileExists(const std::string& path)
{
    struct stat st;
    return !holdsNul(path) && m_calls.fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0
           && !S_ISDIR(st.st_mode);
}

ssize_t PosixFileOperations::readAndWrite(int in, int out, std::size_t count)
{
    if (!m_buffer) {
        m_buffer = std::make_unique<char[]>(kCopyChunkBytes);
    }
    count = std::min(count, kCopyChunkBytes);
    ssize_t got;
    do {
        got = m_calls.read(in, m_buffer.get(), count);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        return got;
    }
    if (const int error = writeAll(m_calls, out, m_buffer.get(), static_cast<std::size_t>(got))) {
        errno = error;
        return -1;
    }
    return got;
}

int PosixFileOperations::copyContent(int in, int out, off_t size)
{
    bool inKernel = true;
    for (off_t done = 0; done < size;) {
        const auto count = static_cast<std::size_t>(std::min<off_t>(size - done, kCopyChunkBytes));
        ssize_t n;
        if (inKernel) {
            // Both descriptors' own offsets advance, so the bytes through us go on where the kernel stopped.
            n = m_calls.copy_file_range(in, nullptr, out, nullptr, count, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if ((n < 0 && copyRangeUnsupported(errno)) || n == 0) {
                // Nothing copied before the size is reached: some file systems say so instead of
                // refusing, so only a plain read may tell that the file got shorter.
                inKernel = false;
                continue;
            }
        } else {
            n = readAndWrite(in, out, count);
            if (n == 0) {
                break; // the source got shorter while we copied: what it holds is copied
            }
        }
        if (n < 0) {
            return errno;
        }
        done += n;
    }
    return 0;
}

int PosixFileOperations::writeCopy(int in, const struct stat& st, int out, Copy kind)
{
    if (const int error = copyContent(in, out, st.st_size)) {
        return error;
    }
    // Set-user-ID and set-group-ID bits would give a file we now own the rights of its source's owner.
    if (m_calls.fchmod(out, st.st_mode & 0777) != 0 && errno != EPERM && errno != EOPNOTSUPP) {
        return errno;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (m_calls.futimens(out, times) != 0) {
        return errno;
    }
    if (kind != Copy::Unflushed && m_calls.fsync(out) != 0) {
        return errno; // never retried: after a failed flush the written pages may be gone
    }
    if (kind == Copy::OfMovedSource) {
        // A program that held the source open may have written to it while it was read: the copy may
        // then hold part of each version, and removing the source would lose the rest.
        struct stat now;
        if (m_calls.fstat(in, &now) != 0) {
            return errno;
        }
        if (!unchangedSince(st, now)) {
            return SourceChangedAfterCopy;
        }
    }
    return 0;
}

int PosixFileOperations::linkUnnamed(int fd, int folder, const char* name)
{
    // Naming a descriptor directly needs a privilege on older kernels; its entry in /proc needs none.
    if (m_calls.linkat(fd, "", folder, name, AT_EMPTY_PATH) == 0) {
        return 0;
    }
    if (errno != ENOENT) {
        return errno;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    return m_calls.linkat(AT_FDCWD, path.c_str(), folder, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int PosixFileOperations::writeUnderFreeName(
    int in, const struct stat& st, int folder, const char* name, Copy kind, struct stat* made)
{
    // An unnamed file gets its name only once it is complete: a crash before that leaves nothing.
    Descriptor out(m_calls, m_calls.openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (out.get() >= 0) {
        int error = writeCopy(in, st, out.get(), kind);
        if (!error && made != nullptr && m_calls.fstat(out.get(), made) != 0) {
            error = errno;
        }
        if (!error) {
            error = linkUnnamed(out.get(), folder, name);
        }
        const int closed = out.close();
        if (!error && closed) {
            m_calls.unlinkat(folder, name, 0); // named a moment ago: it holds the copy
            error = closed;
        }
        return error;
    }
    // Where the file system cannot make unnamed files (or the kernel does not know the flag), a hidden
    // name does the same, at the price of a leftover that the recovery removes after a crash.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return errno;
    }
    std::string temporary;
    Descriptor hidden(m_calls, createHiddenTemporary(m_calls, folder, "tallyfox", 0600, temporary));
    if (hidden.get() < 0) {
        return errno;
    }
    int error = writeCopy(in, st, hidden.get(), kind);
    if (!error && made != nullptr && m_calls.fstat(hidden.get(), made) != 0) {
        error = errno;
    }
    const int closed = hidden.close();
    error = error ? error : closed;
    if (!error) {
        error = renameNoReplace(folder, temporary.c_str(), folder, name);
    }
    if (error) {
        m_calls.unlinkat(folder, temporary.c_str(), 0);
    }
    return error;
}

int PosixFileOperations::copyFile(const std::string& source, const std::string& target, bool replace)
{
    if (holdsNul(source) || holdsNul(target)) {
        return EINVAL;
    }
    const PathParts parts = splitPath(target);
    if (const int error = unusableName(parts.name, NameRules::Utf16)) {
        return error;
    }
    // The target is judged first: before any data is copied, since the copy may be long, and before the
    // source is opened, so a target that is there is refused whatever became of the source, as a look
    // by the caller before asking to replace it would find.
    Folder folder(m_calls);
    const int folderError = openFolder(parts.folder, folder);
    if (folderError == 0) {
        if (const int error = unusableIn(folder.fd, parts.name)) {
            return error;
        }
    }
    struct stat existing;
    int targetError = folderError;
    if (targetError == 0 && m_calls.fstatat(folder.fd, parts.nameText, &existing, AT_SYMLINK_NOFOLLOW) != 0) {
        targetError = errno;
    }
    if (targetError == 0 && !replace) {
        return EEXIST;
    }
    Descriptor in(m_calls, m_calls.openat(AT_FDCWD, source.c_str(), kOpenSource, 0));
    if (in.get() < 0) {
        const int error = errno;
        struct stat link;
        if (error == ENOENT && m_calls.fstatat(AT_FDCWD, source.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISLNK(link.st_mode)) {
            return LinkLeadsNowhere;
        }
        return error;
    }
    struct stat st;
    if (m_calls.fstat(in.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    if (folderError != 0) {
        return folderError;
    }
    if (targetError != 0) {
        if (targetError != ENOENT) {
            return targetError;
        }
        // A free name. The source stays where it is, so a crash loses nothing and the copy needs no
        // flush: killed, the program leaves no part of it behind under any name.
        return writeUnderFreeName(in.get(), st, folder.fd, parts.nameText, Copy::Unflushed, nullptr);
    }
    if (const int error = checkReplaceable(existing)) {
        return error;
    }

    // An existing file: replaced only by a complete copy, flushed, renamed over it in one step.
    std::string temporary;
    // Hidden, and unique by process and count; the copy's mode is set once its bytes are in.
    Descriptor out(m_calls, createHiddenTemporary(m_calls, folder.fd, "tallyfox", 0600, temporary));
    if (out.get() < 0) {
        return errno;
    }
    int error = writeCopy(in.get(), st, out.get(), Copy::Flushed);
    const int closed = out.close();
    error = error ? error : closed;
    std::string trashedAs;
    if (!error) {
        error = replaceKeepingOld(folder.fd, temporary.c_str(), folder.fd, parts.folder, parts.nameText, trashedAs);
    }
    if (error) {
        m_calls.unlinkat(folder.fd, temporary.c_str(), 0);
    }
    return error;
}

int PosixFileOperations::replaceKeepingOld(
    int fromFolder, const char* from, int folder, std::string_view folderPath, const char* name, std::string& trashedAs)
{
    trashedAs.clear();
    const int trashed = Trash(m_calls).put(std::string(folderPath), name, trashedAs);
    if (trashed == EXDEV) {
        // No trash on that file system: replaced outright, as the user agreed.
        return m_calls.renameat2(fromFolder, from, folder, name, 0) == 0 ? 0 : errno;
    }
    if (trashed != 0) {
        return trashed;
    }
    const int error = renameNoReplace(fromFolder, from, folder, name);
    if (error != 0) {
        Trash(m_calls).putBack(trashedAs, folder, name); // a file that took the name meanwhile stays
        trashedAs.clear();
    }
    return error;
}

int PosixFileOperations::flushFolder(int folder)
{
    // The folder is held only as a path, which cannot be flushed; the entry of a moved file must be on
    // disk before its source is removed on another file system.
    Descriptor opened(m_calls, m_calls.openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (opened.get() < 0) {
        return errno;
    }
    if (m_calls.fsync(opened.get()) != 0) {
        return errno;
    }
    return opened.close();
}

int PosixFileOperations::setAside(int folder, const char* name, std::string& aside)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        aside = hiddenName("tallyfox");
        const int error = renameNoReplace(folder, name, folder, aside.c_str());
        if (error != EEXIST) {
            return error; // a hidden name left by someone else is skipped
        }
    }
    return EEXIST;
}

void PosixFileOperations::takeOldName(int folder, const std::string& aside, const char* name)
{
    const int error = renameNoReplace(folder, aside.c_str(), folder, name);
    if (error != 0 && error != ENOENT) {
        m_setAside = aside; // the old name holds a file saved meanwhile, which stays as it is
    }
}

int PosixFileOperations::moveAcross(
    const std::string& source, int folder, std::string_view folderPath, const char* name, bool replace)
{
    const PathParts from = splitPath(source);
    if (const int error = unusableName(from.name, NameRules::Utf16)) {
        return error;
    }
    // The source's own folder, where it is set aside: opened for this move alone, since the folder kept
    // open is the target's.
    Folder sourceFolder(m_calls);
    if (from.folder != ".") {
        const int fd = m_calls.openat(AT_FDCWD, std::string(from.folder).c_str(), kOpenFolder, 0);
        if (fd < 0) {
            return errno;
        }
        sourceFolder.own(fd);
    }
    // Only a regular file's content can be carried over; a link or anything else stays where it is.
    Descriptor in(m_calls, m_calls.openat(sourceFolder.fd, from.nameText, kOpenSource | O_NOFOLLOW, 0));
    if (in.get() < 0) {
        return errno == ELOOP ? EXDEV : errno;
    }
    struct stat st;
    if (m_calls.fstat(in.get(), &st) != 0) {
        return errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return EXDEV;
    }
    // The target is judged before any data is copied, since the copy may be long.
    bool replacing = false;
    struct stat existing;
    if (m_calls.fstatat(folder, name, &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
            return 0; // the target is the source itself, reached another way: it is there already
        }
        if (!replace) {
            return EEXIST;
        }
        if (const int error = checkReplaceable(existing)) {
            return error;
        }
        replacing = true;
    } else if (errno != ENOENT) {
        return errno;
    }

    // The source leaves its name before the copy starts: a file saved under that name from now on is
    // another file, and only the hidden name is ever removed.
    std::string aside;
    if (const int error = setAside(sourceFolder.fd, from.nameText, aside)) {
        return error;
    }

    // What the source is compared with until it is removed, read only now: the rename has changed its
    // change time.
    int error = m_calls.fstat(in.get(), &st) != 0 ? errno : 0;

    // Put a complete, flushed copy in place. A replaced target is swapped out rather than dropped, so
    // that it can come back if the source cannot be removed; where the file system cannot swap, it is
    // replaced outright.
    bool placed = false;
    bool swapped = false;
    std::string temporary;
    std::string trashedAs; // where the replaced target went, where it could not be swapped
    struct stat made;
    if (!error && !replacing) {
        error = writeUnderFreeName(in.get(), st, folder, name, Copy::OfMovedSource, &made);
        placed = error == 0;
    } else if (!error) {
        // Hidden, and unique by process and count; the copy's mode is set once its bytes are in.
        Descriptor out(m_calls, createHiddenTemporary(m_calls, folder, "tallyfox", 0600, temporary));
        if (out.get() < 0) {
            error = errno;
        } else {
            error = writeCopy(in.get(), st, out.get(), Copy::OfMovedSource);
            if (!error && m_calls.fstat(out.get(), &made) != 0) {
                error = errno;
            }
            const int closed = out.close();
            error = error ? error : closed;
            if (!error) {
                if (m_calls.renameat2(folder, temporary.c_str(), folder, name, RENAME_EXCHANGE) == 0) {
                    swapped = true;
                } else if (!flagUnsupported(errno)) {
                    error = errno;
                } else {
                    error = replaceKeepingOld(folder, temporary.c_str(), folder, folderPath, name, trashedAs);
                }
            }
            placed = error == 0;
            if (error) {
                m_calls.unlinkat(folder, temporary.c_str(), 0);
            }
        }
    }

    // The copy is complete and flushed under its name; now the source may go, but only the file that
    // was copied and only as it was copied, both checked through the descriptor it was read from: a
    // write made to it since would be lost.
    bool kept = true;
    if (!error) {
        error = flushFolder(folder);
    }
    if (!error) {
        struct stat now;
        if (m_calls.fstatat(sourceFolder.fd, aside.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errno;
            kept = error != ENOENT; // gone: the copy is now the file's only instance
            error = kept ? error : 0;
        } else if (now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
            error = EBUSY; // not the file that was copied: it goes back to its name, untouched
        } else if (m_calls.fstat(in.get(), &now) != 0) {
            error = errno;
        } else if (!unchangedSince(st, now)) {
            error = SourceChangedAfterCopy;
        } else {
            error = removeName(sourceFolder.fd, aside.c_str(), st, kept);
        }
    }
    if (error && kept) {
        // The source stays, so the target goes back to what it was.
        if (swapped) {
            // Swapped back, the temporary name holds the copy; should the swap fail, it holds the
            // replaced target, which the user agreed to give up. Either way it must not stay behind.
            m_calls.renameat2(folder, temporary.c_str(), folder, name, RENAME_EXCHANGE);
            m_calls.unlinkat(folder, temporary.c_str(), 0);
        } else if (placed && (!replacing || !trashedAs.empty())) {
            struct stat now;
            if (m_calls.fstatat(folder, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == made.st_dev
                && now.st_ino == made.st_ino) {
                m_calls.unlinkat(folder, name, 0);
            }
            if (!trashedAs.empty()) {
                Trash(m_calls).putBack(trashedAs, folder, name); // the replaced target, back from the Trash
            }
        }
        takeOldName(sourceFolder.fd, aside, from.nameText);
        return error;
    }
    if (swapped) {
        // The replaced target goes to the Trash under its own name; where there is none, it goes.
        std::string trashed;
        if (Trash(m_calls).put(std::string(folderPath), temporary, trashed, name) != 0) {
            m_calls.unlinkat(folder, temporary.c_str(), 0);
        }
    }
    return error;
}

int PosixFileOperations::moveFile(const std::string& source, const std::string& target, bool replace)
{
    m_setAside.clear();
    if (holdsNul(source) || holdsNul(target)) {
        return EINVAL;
    }
    const PathParts parts = splitPath(target);
    if (const int error = unusableName(parts.name, NameRules::Utf16)) {
        return error;
    }
    Folder folder(m_calls);
    if (const int error = openFolder(parts.folder, folder)) {
        return error;
    }
    if (const int error = unusableIn(folder.fd, parts.name)) {
        return error;
    }
    int error = renameNoReplace(AT_FDCWD, source.c_str(), folder.fd, parts.nameText);
    if (error == EEXIST && replace) {
        error = checkTarget(folder.fd, parts.nameText);
        std::string trashedAs;
        if (!error) {
            error = replaceKeepingOld(AT_FDCWD, source.c_str(), folder.fd, parts.folder, parts.nameText, trashedAs);
        }
    }
    if (error == EXDEV) {
        // renameat2 answers EXDEV before it looks at the target, so the copy judges the target itself.
        error = moveAcross(source, folder.fd, parts.folder, parts.nameText, replace);
    }
    return error;
}

std::string PosixFileOperations::sourceSetAsideAs()
{
    return m_setAside;
}

} // namespace tallyfox::platform
