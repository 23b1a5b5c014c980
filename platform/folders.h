#pragma once

#include "core/errors.h"
#include "core/file_list.h"
#include "core/preview_list.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {
class NameCollator;
}

namespace tallyfox::platform {

class Syscalls;

// The input/output error the user is shown for a system error number (errno) met while entering or
// reading a folder: a path that does not exist or is not a folder is an invalid file name (3), access
// refused is 5, too many open files 4, a full disk 101; any other number is shown as it is.
InOutError folderError(int errorNumber);

// The process's current directory as the system reports it. Throws InOutError.
std::string currentFolder(Syscalls& calls);

// Makes the folder the process's current directory (a relative path is taken from the current one) and
// returns the current directory the system then reports. Throws InOutError, leaving the current
// directory as it was, when the folder cannot be entered.
std::string enterFolder(Syscalls& calls, const std::string& path);

// Whether the path names an existing folder, or a link that leads to one.
bool isFolder(Syscalls& calls, const std::string& path);

// Which names of a folder a caller wants; the kind of an entry is looked up only for wanted names.
using NameFilter = std::function<bool(std::string_view name)>;

// The entries of a folder except "." and "..", in the order the file system gives them, each with its
// kind: a link counts as what it leads to (Other when it leads nowhere), sockets, pipes and devices are
// Other. Names are bytes as stored. Throws InOutError when the folder cannot be read.
std::vector<FolderEntry> readFolder(Syscalls& calls, const std::string& path, const NameFilter& wanted = {});

// The entries of a folder that are folders or links to folders, skipping the others without keeping
// their names, so a folder of many files costs little more than reading it. Throws InOutError.
std::vector<FolderEntry> readSubfolders(Syscalls& calls, const std::string& path);

// A folder entered, with the subfolders the folder list shows below it in list order.
struct EnteredFolder
{
    std::string folder;
    std::vector<std::string> subfolders;
};

// Enters `path` (a relative path is taken from `from`, when that still exists) and reads its subfolders.
// Throws InOutError when the folder cannot be entered or read; the process is then back in `from` (when
// that still exists) and nothing has changed.
EnteredFolder
enterAndReadFolder(Syscalls& calls, const NameCollator& collator, const std::string& from, const std::string& path);

// A folder's files under a mask, as a file list shows them.
struct FileListing
{
    std::string folder; // the folder as the system reports it once entered
    NameList names;
};

// Enters the folder and lists its visible files that the mask matches, in list order. `longListing` is
// called once, when the `longFrom`th wanted file is met, so a window can show that it is busy. Throws
// InOutError when the folder cannot be entered or read.
FileListing listFolderFiles(Syscalls& calls,
                            const NameCollator& collator,
                            const std::string& folder,
                            const std::string& mask,
                            std::size_t longFrom,
                            const std::function<void()>& longListing);

// A folder's files under a mask as listFolderFiles lists them, from one reading that also gives what a
// run's journal takes of them: each file's number as the listing gives it and the wall clock just before
// the reading; and, when asked, every entry's name, whatever its kind.
struct NumberedListing
{
    std::string folder; // the folder as the system reports it once entered
    NameList names;
    std::vector<std::uint64_t> inodes; // by position in names
    std::int64_t readNs = 0;
    std::vector<std::string> entries;
};

// Enters the folder and reads it once. Throws InOutError when the folder cannot be entered or read.
NumberedListing listNumberedFiles(Syscalls& calls,
                                  const NameCollator& collator,
                                  const std::string& folder,
                                  const std::string& mask,
                                  bool withEntries);

// A folder read once for both lists: its subfolders for the folder list, its files under a mask for the
// file list, each in list order.
struct FolderContents
{
    std::string folder; // the folder as the system reports it once entered
    std::vector<std::string> subfolders;
    NameList files;
};

// Enters `path` as enterAndReadFolder does and reads it once for both lists; `longListing` is called as
// listFolderFiles calls it. Throws InOutError; the process is then back in `from` and nothing has
// changed.
FolderContents readFolderContents(Syscalls& calls,
                                  const NameCollator& collator,
                                  const std::string& from,
                                  const std::string& path,
                                  const std::string& mask,
                                  std::size_t longFrom,
                                  const std::function<void()>& longListing);

// What a preview of a run needs around its list: every entry of `folder`, those of them the list does
// not hold, and, for a non-empty `saveFolder` (as typed; relative to the current folder, as the run takes
// it), that folder's entries or that it cannot be read, and whether it is `folder` itself; with what
// the file systems of both allow in a name (nameRulesOf). Throws InOutError when `folder` cannot be read.
PreviewFolders
readPreviewFolders(Syscalls& calls, const std::string& folder, const NameList& listed, const std::string& saveFolder);

// The same from the entries of `folder` read already (every entry, whatever its kind, as a listing that
// keeps the names it did not want gives them), without reading the folder again.
PreviewFolders previewFoldersOf(Syscalls& calls,
                                const std::string& folder,
                                std::vector<std::string> entries,
                                const NameList& listed,
                                const std::string& saveFolder);

} // namespace tallyfox::platform
