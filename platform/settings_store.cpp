#include "platform/settings_store.h"

#include "core/naming.h"
#include "platform/file_reading.h"
#include "platform/posix_io.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <unistd.h>

namespace tallyfox::platform {

namespace {

// Folder and file name of a path; the folder of a plain name is ".".
std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What a path leads to once symbolic links are followed, without needing the end to exist.
struct Target
{
    std::string path;
    bool exists = false;
    struct stat st
    {
    };
};

int readLink(Syscalls& calls, const std::string& path, std::string& text)
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = calls.readlinkat(AT_FDCWD, path.c_str(), buffer.data(), buffer.size());
        if (length < 0) {
            return errno;
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            text = std::move(buffer);
            return 0;
        }
        buffer.resize(buffer.size() * 2);
    }
}

int resolve(Syscalls& calls, const std::string& path, Target& target)
{
    // As many links as the system itself follows before giving up with ELOOP.
    constexpr int kMaxLinks = 40;
    std::string current = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat st
        {
        };
        if (calls.fstatat(AT_FDCWD, current.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                return errno;
            }
            target.path = current;
            target.exists = false;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            target.path = current;
            target.exists = true;
            target.st = st;
            return 0;
        }
        std::string link;
        if (const int error = readLink(calls, current, link); error != 0) {
            return error;
        }
        if (link.empty()) {
            return ENOENT;
        }
        current = link.front() == '/' ? link : folderOf(current) + "/" + link;
    }
    return ELOOP;
}

int makeFolders(Syscalls& calls, const std::string& folder)
{
    struct stat st
    {
    };
    if (calls.fstatat(AT_FDCWD, folder.c_str(), &st, 0) == 0) {
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (calls.mkdirat(AT_FDCWD, prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash == std::string::npos) {
            return 0;
        }
    }
}

// Writes the file itself over, shrinking it only once the new content is written.
int writeInPlace(Syscalls& calls, int dirFd, const std::string& name, const std::string& content)
{
    const int fd = calls.openat(dirFd, name.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0);
    if (fd < 0) {
        return errno;
    }
    int error = writeAll(calls, fd, content);
    if (error == 0 && calls.ftruncate(fd, static_cast<off_t>(content.size())) != 0) {
        error = errno;
    }
    if (error == 0 && calls.fsync(fd) != 0) {
        error = errno;
    }
    if (calls.close(fd) != 0 && error == 0) {
        error = errno;
    }
    return error;
}

// Rewrites the file itself, for a folder that will not take a temporary file; a failure part-way puts
// the old content back.
int rewriteInPlace(
    Syscalls& calls, int dirFd, const std::string& name, const std::string& content, const std::string& oldContent)
{
    const int error = writeInPlace(calls, dirFd, name, content);
    if (error != 0) {
        // Part of the new content may stand over the old: the old goes back, into the room it had.
        writeInPlace(calls, dirFd, name, oldContent);
    }
    return error;
}

} // namespace

PosixSettingsStore::PosixSettingsStore(Syscalls& calls, MissingFolder missingFolder)
    : m_calls(calls)
    , m_missingFolder(missingFolder)
{
}

int PosixSettingsStore::readAll(const std::string& path, std::string& content)
{
    return readWholeFile(path, content, m_calls);
}

int PosixSettingsStore::replace(const std::string& path, const std::string& content)
{
    if (path.empty()) {
        return ENOENT;
    }
    if (m_missingFolder == MissingFolder::Create) {
        if (const int error = makeFolders(m_calls, folderOf(path)); error != 0) {
            return error;
        }
    }
    Target target;
    if (const int error = resolve(m_calls, path, target); error != 0) {
        return error;
    }
    const std::string name = nameOf(target.path);
    if (name.empty()) {
        return EISDIR;
    }
    if (target.exists) {
        if (!S_ISREG(target.st.st_mode)) {
            return S_ISDIR(target.st.st_mode) ? EISDIR : EINVAL;
        }
        // Renaming over a file ignores its mode, and root may write any file: a read-only settings
        // file is kept read-only by this check alone.
        if ((target.st.st_mode & 0222) == 0) {
            return EACCES;
        }
    }
    const int dirFd = m_calls.openat(AT_FDCWD, folderOf(target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dirFd < 0) {
        return errno;
    }
    std::string temporary;
    // A replaced file gets its old mode below; until then nobody else may read the new content.
    const int fd = createHiddenTemporary(m_calls, dirFd, name, target.exists ? 0600 : 0666, temporary);
    if (fd < 0) {
        const int error = errno;
        const bool folderRefuses = error == EACCES || error == EROFS || error == EPERM;
        int result = error;
        std::string oldContent;
        if (folderRefuses && target.exists) {
            result = readWholeFile(target.path, oldContent, m_calls);
            if (result == 0) {
                result = rewriteInPlace(m_calls, dirFd, name, content, oldContent);
            }
        }
        m_calls.close(dirFd);
        return result;
    }
    // A file system without modes refuses fchmod; the temporary file then keeps its narrower 0600.
    if (target.exists) {
        m_calls.fchmod(fd, target.st.st_mode & 07777);
    }
    int error = writeAll(m_calls, fd, content);
    // A failed flush is never retried: the data may be lost whatever a second try reports.
    if (error == 0 && m_calls.fsync(fd) != 0) {
        error = errno;
    }
    if (m_calls.close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && m_calls.renameat2(dirFd, temporary.c_str(), dirFd, name.c_str(), 0) != 0) {
        error = errno;
    }
    if (error != 0) {
        m_calls.unlinkat(dirFd, temporary.c_str(), 0);
    } else {
        // The new file is in place; flushing the folder only makes the rename itself survive a crash.
        m_calls.fsync(dirFd);
    }
    m_calls.close(dirFd);
    return error;
}

SettingsLocation settingsLocation(const std::string& executable, ProgramCopy copy, Syscalls& calls)
{
    SettingsLocation beside{withExtension(executable, ".ini"), false};
    if (copy == ProgramCopy::Portable) {
        struct stat st
        {
        };
        if (calls.fstatat(AT_FDCWD, beside.path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            return beside;
        }
        if (calls.faccessat(AT_FDCWD, folderOf(beside.path).c_str(), W_OK, AT_EACCESS) == 0) {
            return beside;
        }
    }
    // Relative values of these variables are invalid and ignored, as the base directory rules say.
    std::string configHome;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        configHome = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        configHome = std::string(home) + "/.config";
    } else if (copy == ProgramCopy::Portable) {
        return beside;
    } else {
        return {};
    }
    while (configHome.size() > 1 && configHome.back() == '/') {
        configHome.pop_back();
    }
    return {configHome + "/tallyfox/" + nameOf(beside.path), true};
}

} // namespace tallyfox::platform
