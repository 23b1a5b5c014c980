#pragma once

#include <string>

namespace tallyfox {

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

    // Copies the file `source` to `target`, keeping mode and modification time. An existing target is
    // replaced only when `replace` is set and it is not read-only (EACCES), and then only by renaming a
    // complete copy, flushed to disk, over it: a copy that fails leaves the target as it was and no
    // temporary file behind.
    virtual int copyFile(const std::string& source, const std::string& target, bool replace) = 0;

    // Moves `source` to `target`. Across file systems it copies, flushes the copy to disk, and removes
    // the source only once the copy is complete and only while its name still leads to the file that
    // was copied (EBUSY otherwise, the target as it was). An existing target is replaced only when
    // `replace` is set and it is not read-only (EACCES); a target that is the source itself is left as
    // it is (done).
    virtual int moveFile(const std::string& source, const std::string& target, bool replace) = 0;
};

} // namespace tallyfox
