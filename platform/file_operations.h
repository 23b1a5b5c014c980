#pragma once

#include "core/file_operations.h"
#include "core/rename_plan.h"
#include "platform/syscalls.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox::platform {

// The file operations of a run on a POSIX file system, every call made through `Syscalls`.
//
// What a caller may rely on, beyond FileOperations:
// - Renames use renameat2 with RENAME_NOREPLACE on the folder's own descriptor. Where the file system
//   refuses the flag (EINVAL, ENOSYS, EOPNOTSUPP), a regular file is linked under its new name and then
//   unlinked under its old one (the new link is removed again if that fails); anything else fails with
//   the errno of the refused flag. On FAT and exFAT, which know the flag, EINVAL is the name's fault and
//   is given as it is. An existing entry, also a link that leads nowhere, is never replaced.
// - Where the file system has hard links neither (EPERM, EOPNOTSUPP, ENOSYS from linkat: an exFAT or FAT
//   card mounted in user space), the new name is first reserved by an empty file of our own, created
//   exclusively (EEXIST where the name is taken, as the no-replace rename answers), and the file is then
//   renamed over that placeholder alone; the new name is looked at afterwards and must lead to the file
//   renamed. On any failure the placeholder is removed, only while it is still our empty file (same
//   device and inode, size 0). A name the placeholder cannot take is refused as a card refuses it: one
//   of : ? * " < > | \ gives EINVAL. Killed between the two steps, the program leaves an empty file under
//   the new name, which the run's recovery removes. A file system found refusing the flag or the links is
//   remembered by its device, so that later renames on it go straight the way that works.
// - `from` must be a plain name as well (EINVAL, ENAMETOOLONG), so no file is taken from outside the folder.
// - A new name is judged as the target folder's file system judges it (nameRulesOf): too long
//   (ENAMETOOLONG) beyond 255 bytes, or 255 UTF-16 code units where the file system counts those; a
//   character a FAT or exFAT card refuses (: ? * " < > | \) fails with EINVAL. Only a name that some
//   file system would refuse makes the folder's kind be asked, once for the folder kept open. A path or
//   folder holding NUL fails with EINVAL; a copy or move target whose last part is empty, "." or ".."
//   fails with EINVAL.
// - A "/" doubled or at the end of a folder counts as one: "save//a.jpg" is "save/a.jpg".
// - A copy to a free name is written into an unnamed file (O_TMPFILE) in the target's folder and linked
//   under its name once complete, failing with EEXIST rather than replacing a file that took the name
//   meanwhile; where the file system refuses unnamed files (EOPNOTSUPP, EISDIR, EINVAL) it is written
//   under a hidden name (".tallyfox.<pid>-<count>.tmp") and renamed without replacing. Killed part-way,
//   the program leaves no part of a copy under its name. Such a copy is not flushed: its source stays,
//   so nothing is lost. A copy over an existing file goes through a hidden temporary file in the
//   target's folder, flushed before it replaces the target.
// - Copies keep the permission bits (not set-user-ID, set-group-ID or sticky) and the access and
//   modification times to the nanosecond; where the file system cannot hold the mode (EPERM,
//   EOPNOTSUPP from fchmod, as on FAT) the copy keeps the file system's mode. The owner is not kept.
// - Only regular files are copied (a folder: EISDIR; anything else: EINVAL). A copy follows a link to
//   its file; a move across file systems moves only a regular file and fails with EXDEV for a link, a
//   folder or anything else, which a rename can still move within one file system.
// - An existing target is replaced only with `replace` (else EEXIST, checked before any data is copied);
//   never when it is a folder (EISDIR) or has no write bit for anyone (EACCES, also for root). A link
//   at the target is itself replaced, never the file it leads to.
// - A move across file systems first renames its source (without replacing) to a hidden name of the
//   same form in its own folder, then copies it as a copy does, flushes the copy, puts it in place
//   (swapping it with an existing target where the file system allows), flushes the target's folder,
//   and removes the hidden name only while it holds the file the copy was read from (same device and
//   inode as the open descriptor): a file saved under the old name meanwhile is never touched. The
//   source's size, modification time and change time are read through the descriptor once it has its
//   hidden name (the rename changes the change time), and compared to the nanosecond after the copy is
//   flushed and again just before the hidden name is removed: a source written to meanwhile stays
//   (SourceChangedAfterCopy), and with it the write. Whatever fails once the source is set aside, the
//   target is put back as it was and the source takes its old name again without replacing; where
//   that name has been taken, it stays under the hidden name (sourceSetAsideAs). Only where the file
//   system cannot swap two names does a replaced target then hold the copy while the source stays. A
//   hidden name that vanished meanwhile leaves the copy in place (0), since it is then the file's only
//   instance; the same holds for the old name of a rename made with link and unlink.
// - A copy whose source is a link that leads nowhere fails with LinkLeadsNowhere.
// - Failing calls give the errno of the system call that failed (ENOSPC on write, fsync or close, EIO, ...).
//
// The object keeps the last absolute folder it used open and works through that descriptor while the
// folder text stays the same, so a folder replaced under the same path later is not seen: make one
// object per run. Not for use from more than one thread at once.
class PosixFileOperations final : public FileOperations
{
public:
    // Bytes moved by one step of a copy (one copy_file_range, or one read and its writes).
    static constexpr std::size_t kCopyChunkBytes = std::size_t{1} << 20;

    explicit PosixFileOperations(Syscalls& calls = systemCalls());
    ~PosixFileOperations() override;
    PosixFileOperations(const PosixFileOperations&) = delete;
    PosixFileOperations& operator=(const PosixFileOperations&) = delete;

    int renameInFolder(const std::string& folder, const std::string& from, const std::string& to) override;
    bool fileExists(const std::string& path) override;
    bool sameFile(const std::string& a, const std::string& b) override;
    int copyFile(const std::string& source, const std::string& target, bool replace) override;
    int moveFile(const std::string& source, const std::string& target, bool replace) override;

    // Renames `from` in the folder `fromFolder` to `to` in `toFolder` (descriptors) without replacing
    // anything, by link and unlink or over a placeholder where the file system refuses the flag, as
    // renameInFolder does.
    int renameNoReplace(int fromFolder, const char* from, int toFolder, const char* to);
    std::string sourceSetAsideAs() override;
    // Objects on the same system calls, where they may be made from several threads at once: one fewer
    // than the processors, at most three; none where either folder lies on a disk whose heads move, as
    // reading two files at once there makes the heads go to and fro between them.
    std::vector<std::unique_ptr<FileOperations>> helpers(const std::string& sourceFolder,
                                                         const std::string& saveFolder) override;

private:
    class Folder;

    // How a copy is finished: flushed to disk where it replaces a file or its source will be removed,
    // and for a move also checked against a source written to meanwhile.
    enum class Copy
    {
        Unflushed,
        Flushed,
        OfMovedSource,
    };

    // What a file system was found to refuse: later renames on it skip what cannot work there.
    struct Refusals
    {
        dev_t device = 0;
        bool noReplace = false;
        bool links = false;
    };

    int openFolder(std::string_view folder, Folder& opened);
    // The file system of the folder `folder` (a descriptor), 0 where it cannot be told.
    dev_t deviceOf(int folder);
    // What the file system of `folder` is known to refuse; nullptr while nothing is, which costs no call.
    Refusals* refusalsOf(int folder);
    // What the file system of `folder` refuses, noted from now on; nullptr where it cannot be told.
    Refusals* noteRefusal(int folder);
    int renameOverPlaceholder(int fromFolder, const char* from, const struct stat& file, int toFolder, const char* to);
    // 0 while `name` of `folder` is still the empty `placeholder` made by a rename; EEXIST where another file
    // holds the name, or the errno of the look (ENOENT: nothing does).
    int placeholderAt(int folder, const char* name, const struct stat& placeholder);
    // Why `name` cannot be a new name in the folder `folder` (a descriptor), or 0.
    int unusableIn(int folder, std::string_view name);
    NameRules rulesOf(int folder);
    int checkTarget(int folder, const char* name);
    int removeName(int folder, const char* name, const struct stat& file, bool& kept);
    int writeCopy(int in, const struct stat& st, int out, Copy kind);
    int linkUnnamed(int fd, int folder, const char* name);
    int writeUnderFreeName(int in, const struct stat& st, int folder, const char* name, Copy kind, struct stat* made);
    int setAside(int folder, const char* name, std::string& aside);
    void takeOldName(int folder, const std::string& aside, const char* name);
    int copyContent(int in, int out, off_t size);
    ssize_t readAndWrite(int in, int out, std::size_t count);
    int flushFolder(int folder);
    int moveAcross(const std::string& source, int folder, std::string_view folderPath, const char* name, bool replace);
    // Puts `from` in the place of the existing `name` of `folder` (at `folderPath`): what stood there goes
    // to the Trash (`trashedAs`), or where no trash can be used there is replaced outright (`trashedAs`
    // empty). On failure everything stays as it was.
    int replaceKeepingOld(int fromFolder,
                          const char* from,
                          int folder,
                          std::string_view folderPath,
                          const char* name,
                          std::string& trashedAs);

    Syscalls& m_calls;
    std::string m_folderPath; // the absolute folder kept open, empty when none
    int m_folderFd = -1;
    std::optional<NameRules> m_folderRules; // of the folder kept open, once asked
    std::optional<dev_t> m_folderDevice;    // of the folder kept open, once asked
    std::vector<Refusals> m_refusals;       // file systems found without no-replace renames or links
    std::unique_ptr<char[]> m_buffer;       // for copies the kernel cannot make itself
    std::string m_setAside;                 // the hidden name the source of the last failed move kept
};

} // namespace tallyfox::platform
