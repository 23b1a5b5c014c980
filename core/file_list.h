#pragma once

#include "core/name_list.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

class FileMask;
class NameCollator;

// What a folder entry is for the lists: a file (a regular file, or a link that leads to one), a folder
// (or a link that leads to one), or something no list shows (sockets, pipes, devices, broken links).
enum class EntryKind
{
    File,
    Folder,
    Other,
};

// One entry of a folder as read from the file system: its plain name, in bytes, and its kind.
struct FolderEntry
{
    std::string name;
    EntryKind kind = EntryKind::Other;
    std::uint64_t inode = 0; // the number the folder's listing gives the entry
};

// Hidden files and folders: names that begin with ".", which also leaves out "." and "..".
bool isHiddenName(std::string_view name);

// Whether a file list under the mask shows a file of this name: a visible name that the mask matches.
bool listsName(std::string_view name, const FileMask& mask);

// The names a file list shows: the visible files among the entries that the mask matches, each once,
// in list order.
NameList selectFiles(std::vector<FolderEntry> entries, const FileMask& mask, const NameCollator& collator);

// The files among entries whose names were already found wanted (listsName), in list order: what a
// listing does after reading the folder with listsName as its filter. The names' bytes are copied once,
// in that order.
// `numbers`, when given, takes the listing's number of each file in list order.
NameList orderFiles(std::vector<FolderEntry> entries,
                    const NameCollator& collator,
                    std::vector<std::uint64_t>* numbers = nullptr);

// The names the folder list shows below the current folder: its visible subfolders, in list order.
std::vector<std::string> selectFolders(std::vector<FolderEntry> entries, const NameCollator& collator);

// An ordered list of names with at most one selected entry, as the move buttons see the file list and
// its mirror.
class OrderedNames
{
public:
    virtual ~OrderedNames() = default;

    virtual int count() const = 0;
    // The selected position, or -1.
    virtual int itemIndex() const = 0;
    // Selects a position; one outside the list selects nothing.
    virtual void setItemIndex(int index) = 0;
    // Puts each of the two names at the other's position; both positions lie inside the list.
    virtual void swapEntries(int a, int b) = 0;
    // Puts the names in a new order: position i takes the name that was at position order[i]. `order`
    // holds each position of the list once. The selection is the caller's to set afterwards.
    virtual void reorder(const std::vector<std::size_t>& order) = 0;
};

// Moves the selected name of `list` one place up, with the name at the same position of `mirror`: the
// mirror selects the list's position, both swap that entry with the one before it, and in each the
// selection moves with the moved name. Does nothing, and returns false, without a selection or on the
// first entry. A mirror that holds fewer names than the list is left as it is where it has no such pair.
bool moveUp(OrderedNames& list, OrderedNames& mirror);

// The same one place down; nothing without a selection or on the last entry.
bool moveDown(OrderedNames& list, OrderedNames& mirror);

// A file list without a window: the mirror the run walks. Its folder and mask are the ones it was last
// listed with; it lists nothing itself.
struct FileList : OrderedNames
{
    std::string folder;
    std::string mask = "*.*";
    NameList entries;
    int selected = -1;

    int count() const override;
    int itemIndex() const override;
    void setItemIndex(int index) override;
    void swapEntries(int a, int b) override;
    void reorder(const std::vector<std::size_t>& order) override;
};

} // namespace tallyfox
