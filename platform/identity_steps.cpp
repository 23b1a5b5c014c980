#include "platform/identity_steps.h"

#include "core/rename_plan.h"
#include "platform/journal_store.h"
#include "platform/posix_io.h"

#include <cerrno>
#include <fcntl.h>

namespace tallyfox::platform {

namespace {

constexpr int kOpenFolder = O_PATH | O_DIRECTORY | O_CLOEXEC;

bool matches(const FileIdentity& seen, const FileIdentity& expected, Match match)
{
    if (match == Match::Content) {
        return seen.sameContent(expected);
    }
    // The steps of a recovery change the time of a file's last change themselves: that time told the
    // run's files from others when they were first looked at, not any more.
    FileIdentity unbounded = expected;
    unbounded.changedNs = FileIdentity::kAnyTime;
    return seen.sameFile(unbounded);
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
    m_folderFd = m_calls.openat(AT_FDCWD, journal.folder.c_str(), kOpenFolder, 0);
    struct stat st;
    if (m_folderFd < 0 || m_calls.fstat(m_folderFd, &st) != 0 || !identityOf(st).sameInode(journal.folderIdentity)) {
        return false;
    }
    m_folder = journal.folder;
    if (!journal.saveFolder.empty() && journal.saveFolder.find('\0') == std::string::npos) {
        m_saveFd = m_calls.openat(AT_FDCWD, journal.saveFolder.c_str(), kOpenFolder, 0);
        struct stat save;
        if (m_saveFd >= 0
            && (m_calls.fstat(m_saveFd, &save) != 0 || (save.st_dev == st.st_dev && save.st_ino == st.st_ino))) {
            // The save folder is the folder reached another way: its files are the folder's.
            m_calls.close(m_saveFd);
            m_saveFd = -1;
        }
        m_saveFolder = journal.saveFolder;
    }
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

std::optional<FileIdentity> PosixRecoverySteps::look(RunFolder folder, const std::string& name)
{
    if (fd(folder) < 0 || unusableName(name) != 0) {
        return std::nullopt;
    }
    struct stat st;
    if (m_calls.fstatat(fd(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return identityOf(st);
}

std::vector<std::string> PosixRecoverySteps::hiddenNames(RunFolder folder)
{
    std::vector<std::string> names;
    if (fd(folder) < 0) {
        return names;
    }
    DIR* dir = m_calls.opendir(path(folder).c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const struct dirent* entry = m_calls.readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.starts_with(".tallyfox.") && name.ends_with(".tmp")) {
            names.emplace_back(name);
        }
    }
    m_calls.closedir(dir);
    return names;
}

int PosixRecoverySteps::check(
    int dirFd, const std::string& name, const FileIdentity& expected, Match match, FileIdentity& seen)
{
    FileDescriptor file(m_calls, m_calls.openat(dirFd, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0));
    if (file.get() < 0) {
        return errno;
    }
    struct stat st;
    if (m_calls.fstat(file.get(), &st) != 0) {
        return errno;
    }
    seen = identityOf(st);
    // A copy is known by its content only as a regular file.
    if (!matches(seen, expected, match) || (match == Match::Content && !S_ISREG(st.st_mode))) {
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
    if (unusableName(from) != 0 || unusableName(to) != 0) {
        return EINVAL;
    }
    FileIdentity seen;
    if (const int error = check(fromFd, from, expected, match, seen)) {
        return error;
    }
    int error = m_operations.renameNoReplace(fromFd, from.c_str(), toFd, to.c_str());
    if (error == EXDEV) {
        // Back from another file system: copied, flushed, and only then is the source removed, while
        // it is still the file that was copied.
        return m_operations.moveFile(path(fromFolder) + "/" + from, path(toFolder) + "/" + to, false);
    }
    if (error != 0) {
        return error;
    }
    // Had another file taken the old name between the check and the rename, it goes back.
    if (!identityAt(m_calls, toFd, to.c_str()).sameInode(seen)) {
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
    if (unusableName(name) != 0) {
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
