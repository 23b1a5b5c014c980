#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tallyfox {

// Outcomes of the operations below that no errno names. Negative, so they never meet an errno.
enum FileOperationError : int
{
    LinkLeadsNowhere = -1,       // the source is a link whose file is gone
    SourceChangedAfterCopy = -2, // the source of a move changed while or after it was copied: it stays
};

// What a run asks of the file system. Paths and names are bytes. Each operation gives 0 when it
// succeeded, or the errno that says why it failed; an operation that fails leaves every file as it was.
class FileOperations
{
public:
    virtual ~FileOperations() = default;

    // Renames the entry `from` of `folder` to `to`, in the same folder. Never replaces an existing entry
    // (EEXIST). `to` must be a plain
    // name: empty, ".", "..", one holding "/" or NUL (EINVAL) or longer than the file system allows
    // (ENAMETOOLONG) fails without a call, so no file ever leaves its folder. A new name equal to the
    // old one is done if the file is there (ENOENT if not).
    virtual int renameInFolder(const std::string& folder, const std::string& from, const std::string& to) = 0;

    // Whether an entry that is not a folder exists at `path`; a link counts, also one that leads nowhere.
    virtual bool fileExists(const std::string& path) = 0;

    // Whether the two paths name one and the same file (as a folder reached twice, through a link or a
    // second mount, does).
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;

    // Copies the file `source` to `target`, keeping mode and modification time. The copy takes its name
    // only once it is complete, so no one ever sees part of it under that name, also when the program is
    // killed. A target that appeared meanwhile is never replaced (EEXIST). An existing target is
    // replaced only when `replace` is set and it is not read-only (EACCES), and then only by renaming a
    // complete copy, flushed to disk, over it: a copy that fails leaves the target as it was and no
    // temporary file behind. A source that is a link to nothing fails with LinkLeadsNowhere.
    virtual int copyFile(const std::string& source, const std::string& target, bool replace) = 0;

    // Moves `source` to `target`. Across file systems it first sets the source aside under a hidden
    // name in its folder, copies it so that the copy takes its name only when complete, flushes the
    // copy to disk, and then removes only that hidden name, only while it still holds the file that was
    // copied: a file saved under the old name meanwhile is another file and stays. A source written to
    // during the copy or after it, until that name is removed, is kept (SourceChangedAfterCopy, the
    // target as it was). If the move fails once the source is set aside, the source takes its old name
    // again; where another file has taken that name meanwhile, the source stays under the hidden name,
    // which sourceSetAsideAs then gives. An existing target is replaced only when `replace` is set and
    // it is not read-only (EACCES); a target that is the source itself is left as it is (done).
    virtual int moveFile(const std::string& source, const std::string& target, bool replace) = 0;

    // After a move that failed: the hidden name in the source's folder that the source still has,
    // because its old name was taken while it was set aside; empty when the source has its old name.
    virtual std::string sourceSetAsideAs()
    {
        return {};
    }

    // Other objects doing the same operations, one for each further file that may be copied or moved
    // at the same time from `sourceFolder` to `saveFolder`, each for a thread of its own; none where the
    // operations cannot be shared between threads, or where one file at a time is the fastest.
    virtual std::vector<std::unique_ptr<FileOperations>> helpers(const std::string& /*sourceFolder*/,
                                                                 const std::string& /*saveFolder*/)
    {
        return {};
    }
};

} // namespace tallyfox
