#include "platform/folders.h"

#include "core/collation.h"
#include "core/file_mask.h"
#include "core/name_table.h"
#include "platform/syscalls.h"
#include "platform/volumes.h"

#include <cerrno>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <optional>
#include <thread>

namespace tallyfox::platform {

namespace {

EntryKind kindOf(const struct stat& st)
{
    if (S_ISREG(st.st_mode)) {
        return EntryKind::File;
    }
    if (S_ISDIR(st.st_mode)) {
        return EntryKind::Folder;
    }
    return EntryKind::Other;
}

// Closes the folder on every way out of the reading, also when an error ends it.
class OpenFolder final
{
public:
    OpenFolder(Syscalls& calls, DIR* dir)
        : m_calls(calls)
        , m_dir(dir)
    {
    }
    ~OpenFolder()
    {
        m_calls.closedir(m_dir);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;

private:
    Syscalls& m_calls;
    DIR* m_dir;
};

} // namespace

InOutError folderError(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return InOutError(InOutError::InvalidFileName);
    case EACCES:
    case EPERM:
        return InOutError(InOutError::AccessDenied);
    case EMFILE:
    case ENFILE:
        return InOutError(InOutError::TooManyOpenFiles);
    case ENOSPC:
    case EDQUOT:
        return InOutError(InOutError::DiskFull);
    default:
        return InOutError::general(errorNumber);
    }
}

std::string currentFolder(Syscalls& calls)
{
    std::string buffer(256, '\0');
    while (calls.getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            throw folderError(errno);
        }
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return buffer;
}

std::string enterFolder(Syscalls& calls, const std::string& path)
{
    if (calls.chdir(path.c_str()) != 0) {
        throw folderError(errno);
    }
    return currentFolder(calls);
}

bool isFolder(Syscalls& calls, const std::string& path)
{
    struct stat st
    {
    };
    return !path.empty() && calls.fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

namespace {

template <typename Keep>
std::vector<FolderEntry> readEntries(Syscalls& calls, const std::string& path, const NameFilter& wanted, Keep keep)
{
    DIR* dir = calls.opendir(path.c_str());
    if (dir == nullptr) {
        throw folderError(errno);
    }
    const OpenFolder open(calls, dir);
    const int fd = ::dirfd(dir);
    std::vector<FolderEntry> entries;
    while (true) {
        errno = 0;
        const struct dirent* entry = calls.readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) {
                throw folderError(errno);
            }
            break;
        }
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || (wanted && !wanted(name))) {
            continue;
        }
        EntryKind kind = EntryKind::Other;
        switch (entry->d_type) {
        case DT_REG:
            kind = EntryKind::File;
            break;
        case DT_DIR:
            kind = EntryKind::Folder;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // A link counts as what it leads to; a file system that gives no type is asked directly.
            struct stat st
            {
            };
            if (calls.fstatat(fd, entry->d_name, &st, 0) == 0) {
                kind = kindOf(st);
            }
            break;
        }
        default:
            break;
        }
        if (keep(kind)) {
            entries.push_back({std::string(name), kind, static_cast<std::uint64_t>(entry->d_ino)});
        }
    }
    return entries;
}

} // namespace

std::vector<FolderEntry> readFolder(Syscalls& calls, const std::string& path, const NameFilter& wanted)
{
    return readEntries(calls, path, wanted, [](EntryKind) {
        return true;
    });
}

std::vector<FolderEntry> readSubfolders(Syscalls& calls, const std::string& path)
{
    return readEntries(calls, path, {}, [](EntryKind kind) {
        return kind == EntryKind::Folder;
    });
}

namespace {

// Enters `path` from `from` and reads what `read` makes of it there; on failure the process goes back.
template <typename Read> auto enterAndRead(Syscalls& calls, const std::string& from, const std::string& path, Read read)
{
    const auto goBack = [&] {
        if (isFolder(calls, from)) {
            enterFolder(calls, from);
        }
    };
    goBack();
    const std::string folder = enterFolder(calls, path);
    try {
        return read(folder);
    } catch (const InOutError&) {
        // A folder that can be entered but not read is not shown: the process goes back.
        goBack();
        throw;
    }
}

} // namespace

EnteredFolder
enterAndReadFolder(Syscalls& calls, const NameCollator& collator, const std::string& from, const std::string& path)
{
    return enterAndRead(calls, from, path, [&](const std::string& folder) {
        return EnteredFolder{folder, selectFolders(readSubfolders(calls, "."), collator)};
    });
}

FolderContents readFolderContents(Syscalls& calls,
                                  const NameCollator& collator,
                                  const std::string& from,
                                  const std::string& path,
                                  const std::string& mask,
                                  std::size_t longFrom,
                                  const std::function<void()>& longListing)
{
    return enterAndRead(calls, from, path, [&](const std::string& folder) {
        const FileMask fileMask(mask);
        std::size_t wanted = 0;
        std::vector<FolderEntry> entries = readFolder(calls, ".", [&](std::string_view name) {
            if (listsName(name, fileMask) && ++wanted == longFrom && longListing) {
                longListing();
            }
            return true;
        });
        std::vector<FolderEntry> folders;
        std::vector<FolderEntry> files;
        files.reserve(wanted);
        for (FolderEntry& entry : entries) {
            if (entry.kind == EntryKind::Folder) {
                folders.push_back(std::move(entry));
            } else if (entry.kind == EntryKind::File && listsName(entry.name, fileMask)) {
                files.push_back(std::move(entry));
            }
        }
        return FolderContents{
            folder, selectFolders(std::move(folders), collator), orderFiles(std::move(files), collator)};
    });
}

FileListing listFolderFiles(Syscalls& calls,
                            const NameCollator& collator,
                            const std::string& folder,
                            const std::string& mask,
                            std::size_t longFrom,
                            const std::function<void()>& longListing)
{
    FileListing listing;
    listing.folder = enterFolder(calls, folder);
    const FileMask fileMask(mask);
    std::size_t wanted = 0;
    std::vector<FolderEntry> entries = readFolder(calls, ".", [&](std::string_view name) {
        if (!listsName(name, fileMask)) {
            return false;
        }
        if (++wanted == longFrom && longListing) {
            longListing();
        }
        return true;
    });
    listing.names = orderFiles(std::move(entries), collator);
    return listing;
}

NumberedListing listNumberedFiles(
    Syscalls& calls, const NameCollator& collator, const std::string& folder, const std::string& mask, bool withEntries)
{
    NumberedListing listing;
    listing.folder = enterFolder(calls, folder);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    listing.readNs = static_cast<std::int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    const FileMask fileMask(mask);
    std::vector<FolderEntry> entries = readFolder(calls, ".", [&](std::string_view name) {
        if (withEntries) {
            listing.entries.emplace_back(name);
        }
        return listsName(name, fileMask);
    });
    // The file list's own order, the numbers going with their names.
    listing.names = orderFiles(std::move(entries), collator, &listing.inodes);
    return listing;
}

namespace {

// What lies around a list, from the folder's entries and those of them the list does not hold.
PreviewFolders aroundList(Syscalls& calls,
                          const std::string& folder,
                          std::vector<std::string> entries,
                          std::unordered_set<std::string> outside,
                          const std::string& saveFolder)
{
    PreviewFolders folders;
    folders.entries = std::move(entries);
    folders.outside = std::move(outside);
    folders.names = nameRulesOf(calls, folder);
    if (saveFolder.empty()) {
        return folders;
    }
    struct stat list
    {
    };
    struct stat save
    {
    };
    folders.saveFolderIsListFolder = calls.fstatat(AT_FDCWD, folder.c_str(), &list, 0) == 0
                                     && calls.fstatat(AT_FDCWD, saveFolder.c_str(), &save, 0) == 0
                                     && list.st_dev == save.st_dev && list.st_ino == save.st_ino;
    try {
        for (FolderEntry& entry : readFolder(calls, saveFolder)) {
            folders.saveEntries.emplace(std::move(entry.name), entry.kind);
        }
        folders.saveFolderRead = true;
        folders.saveNames = nameRulesOf(calls, saveFolder);
    } catch (const InOutError&) {
        folders.saveFolderRead = false; // the run will not find it either
    }
    return folders;
}

} // namespace

PreviewFolders
readPreviewFolders(Syscalls& calls, const std::string& folder, const NameList& listed, const std::string& saveFolder)
{
    // The list's names are put in a table on a thread of their own while the folder is read: in a folder
    // of a million files both take a while.
    std::optional<NameTable> inList;
    std::exception_ptr failed;
    std::jthread tabling([&] {
        try {
            inList.emplace(listed.size(), [&listed](std::size_t i) {
                return listed[i];
            });
        } catch (...) {
            failed = std::current_exception();
        }
    });
    std::vector<std::string> entries;
    // Only the names count here, whatever their kind: none is looked up.
    entries.reserve(listed.size());
    readFolder(calls, folder, [&entries](std::string_view name) {
        entries.emplace_back(name);
        return false;
    });
    tabling.join();
    if (failed) {
        std::rethrow_exception(failed);
    }
    std::unordered_set<std::string> outside = namesOutside(entries, *inList);
    return aroundList(calls, folder, std::move(entries), std::move(outside), saveFolder);
}

PreviewFolders previewFoldersOf(Syscalls& calls,
                                const std::string& folder,
                                std::vector<std::string> entries,
                                const NameList& listed,
                                const std::string& saveFolder)
{
    std::unordered_set<std::string> outside = namesOutside(entries, listed);
    return aroundList(calls, folder, std::move(entries), std::move(outside), saveFolder);
}

} // namespace tallyfox::platform
