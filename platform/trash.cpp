#include "platform/trash.h"

#include "core/recovery.h"
#include "platform/file_operations.h"
#include "platform/journal_store.h"
#include "platform/posix_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace tallyfox::platform {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";

bool sameDevice(const std::string& path, dev_t device)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == device;
}

// A folder of the user's alone, made where missing; true when it is there as a real folder.
bool ownFolder(Syscalls& calls, const std::string& path, bool make)
{
    struct stat st;
    if (calls.fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
    }
    return make && errno == ENOENT && calls.mkdirat(AT_FDCWD, path.c_str(), 0700) == 0;
}

// A path as the Trash writes it: every byte but letters, digits, "-._~" and "/" as %XX.
std::string escaped(std::string_view path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')
                           || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string unescaped(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const std::string hex(text.substr(i + 1, 2));
            char* end = nullptr;
            const long value = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string realFolder(const std::string& folder)
{
    char resolved[PATH_MAX];
    return ::realpath(folder.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The top folder of the file system `path` (a real path) lies on: the last folder up from it on the
// same device.
std::string topOf(const std::string& path, dev_t device)
{
    std::string top = path;
    while (top != "/") {
        const std::size_t slash = top.rfind('/');
        const std::string parent = slash == 0 ? std::string("/") : top.substr(0, slash);
        if (!sameDevice(parent, device)) {
            break;
        }
        top = parent;
    }
    return top;
}

} // namespace

Trash::Trash(Syscalls& calls)
    : m_calls(calls)
{
}

std::string Trash::trashFor(const std::string& folder, bool make, std::string& topdir)
{
    topdir.clear();
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        return {};
    }
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        data = std::string(home) + "/.local/share";
    }
    const std::string home = data.empty() ? std::string() : data + "/Trash";
    // The home trash takes the files of its own file system; where it is not made yet, the nearest folder
    // above it tells which file system it would be on.
    bool homeHere = false;
    if (!home.empty()) {
        std::string up = home;
        struct stat there
        {
        };
        while (::stat(up.c_str(), &there) != 0 && up.size() > 1) {
            const std::size_t slash = up.rfind('/');
            up = slash == 0 ? std::string("/") : up.substr(0, slash);
        }
        homeHere = there.st_dev == st.st_dev;
    }
    std::string trash;
    if (homeHere) {
        trash = home;
    } else {
        const std::string real = realFolder(folder);
        if (real.empty()) {
            return {};
        }
        topdir = topOf(real, st.st_dev);
        const std::string uid = std::to_string(::getuid());
        const std::string shared = (topdir == "/" ? std::string() : topdir) + "/.Trash";
        struct stat sharedSt;
        // A shared trash counts only as a real folder with the sticky bit, where no user can take
        // another's place.
        if (m_calls.fstatat(AT_FDCWD, shared.c_str(), &sharedSt, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(sharedSt.st_mode)
            && (sharedSt.st_mode & S_ISVTX) != 0 && ownFolder(m_calls, shared + "/" + uid, make)) {
            trash = shared + "/" + uid;
        } else {
            trash = (topdir == "/" ? std::string() : topdir) + "/.Trash-" + uid;
        }
    }
    if (homeHere && make && !data.empty()) {
        // The home trash's folders above it are the user's own and may be missing on a new account.
        for (std::size_t slash = data.find('/', 1);; slash = data.find('/', slash + 1)) {
            m_calls.mkdirat(AT_FDCWD, data.substr(0, slash).c_str(), 0700);
            if (slash == std::string::npos) {
                break;
            }
        }
    }
    if (!ownFolder(m_calls, trash, make) || !ownFolder(m_calls, trash + "/files", make)
        || !ownFolder(m_calls, trash + "/info", make) || !sameDevice(trash + "/files", st.st_dev)) {
        return {};
    }
    return trash;
}

int Trash::put(const std::string& folder, const std::string& name, std::string& trashedAs, std::string_view as)
{
    const std::string origin = as.empty() ? name : std::string(as);
    std::string topdir;
    const std::string trash = trashFor(folder, true, topdir);
    if (trash.empty()) {
        return EXDEV;
    }
    const std::string real = realFolder(folder);
    FileDescriptor from(m_calls, m_calls.openat(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    FileDescriptor files(m_calls,
                         m_calls.openat(AT_FDCWD, (trash + "/files").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    FileDescriptor info(m_calls,
                        m_calls.openat(AT_FDCWD, (trash + "/info").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
    if (real.empty() || from.get() < 0 || files.get() < 0 || info.get() < 0) {
        return EXDEV;
    }
    // Where the file came from: absolute for the home trash, from the top of the file system for one there.
    std::string path = real == "/" ? "/" + origin : real + "/" + origin;
    if (!topdir.empty()) {
        path = path.substr(topdir == "/" ? 1 : topdir.size() + 1);
    }
    const std::time_t now = std::time(nullptr);
    struct tm local
    {
    };
    ::localtime_r(&now, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string text = "[Trash Info]\nPath=" + escaped(path) + "\nDeletionDate=" + date + "\n";

    PosixFileOperations operations(m_calls);
    for (int n = 1; n <= 100; ++n) {
        // NAME, NAME.2 and on; a trash that holds many files of one name (every card has an IMG_0001.JPG)
        // soon gets a name no other file takes.
        std::string entry = origin;
        if (n > 1 && n < 10) {
            entry += '.';
            entry += std::to_string(n);
        } else if (n >= 10) {
            entry += '.';
            entry += std::to_string(::getpid());
            entry += '-';
            entry += std::to_string(now);
            entry += '-';
            entry += std::to_string(n);
        }
        const std::string infoName = entry + std::string(kInfoSuffix);
        FileDescriptor out(
            m_calls,
            m_calls.openat(info.get(), infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.get() < 0) {
            if (errno == EEXIST || errno == ENAMETOOLONG) {
                continue;
            }
            return errno;
        }
        int error = writeAll(m_calls, out.get(), text);
        if (error == 0 && m_calls.fsync(out.get()) != 0) {
            error = errno;
        }
        error = error != 0 ? error : out.close();
        if (error == 0) {
            error = operations.renameNoReplace(from.get(), name.c_str(), files.get(), entry.c_str());
        }
        if (error != 0) {
            m_calls.unlinkat(info.get(), infoName.c_str(), 0);
            if (error == EEXIST && m_calls.faccessat(from.get(), name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0) {
                continue; // that name is taken in files/ without its .trashinfo
            }
            return error == EXDEV ? EXDEV : error;
        }
        m_calls.fsync(files.get());
        m_calls.fsync(info.get());
        trashedAs = trash + "/files/" + entry;
        return 0;
    }
    return EEXIST;
}

std::string Trash::find(const std::string& folder, const std::string& name, const FileIdentity& expected)
{
    std::string topdir;
    const std::string trash = trashFor(folder, false, topdir);
    const std::string real = realFolder(folder);
    if (trash.empty() || real.empty()) {
        return {};
    }
    std::string origin = real == "/" ? "/" + name : real + "/" + name;
    if (!topdir.empty()) {
        origin = origin.substr(topdir == "/" ? 1 : topdir.size() + 1);
    }
    DIR* dir = m_calls.opendir((trash + "/info").c_str());
    if (dir == nullptr) {
        return {};
    }
    std::string found;
    while (const struct dirent* entry = m_calls.readdir(dir)) {
        const std::string_view infoName = entry->d_name;
        if (!infoName.starts_with(name) || !infoName.ends_with(kInfoSuffix)) {
            continue;
        }
        const std::string stem(infoName.substr(0, infoName.size() - kInfoSuffix.size()));
        std::FILE* file = std::fopen((trash + "/info/" + std::string(infoName)).c_str(), "re");
        if (file == nullptr) {
            continue;
        }
        char line[8192];
        std::string path;
        while (std::fgets(line, sizeof line, file) != nullptr) {
            std::string_view text = line;
            if (text.starts_with("Path=")) {
                text.remove_prefix(5);
                while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                    text.remove_suffix(1);
                }
                path = unescaped(text);
                break;
            }
        }
        std::fclose(file);
        if (path != origin) {
            continue;
        }
        const std::string trashed = trash + "/files/" + stem;
        if (matches(identityAt(m_calls, AT_FDCWD, trashed.c_str()), expected, Match::Inode, 0, 1)) {
            found = trashed;
            break;
        }
    }
    m_calls.closedir(dir);
    return found;
}

int Trash::putBack(const std::string& trashed, int folderFd, const std::string& name)
{
    const std::size_t slash = trashed.rfind('/');
    const std::size_t filesSlash = slash == std::string::npos ? std::string::npos : trashed.rfind('/', slash - 1);
    if (filesSlash == std::string::npos) {
        return EINVAL;
    }
    const std::string entry = trashed.substr(slash + 1);
    const std::string trash = trashed.substr(0, filesSlash);
    FileDescriptor files(
        m_calls, m_calls.openat(AT_FDCWD, trashed.substr(0, slash).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    if (files.get() < 0) {
        return errno;
    }
    PosixFileOperations operations(m_calls);
    if (const int error = operations.renameNoReplace(files.get(), entry.c_str(), folderFd, name.c_str())) {
        return error;
    }
    m_calls.unlinkat(AT_FDCWD, (trash + "/info/" + entry + std::string(kInfoSuffix)).c_str(), 0);
    return 0;
}

} // namespace tallyfox::platform
