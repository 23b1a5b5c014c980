#include "core/file_list.h"

#include "core/collation.h"
#include "core/file_mask.h"

#include <utility>

namespace tallyfox {

namespace {

bool move(OrderedNames& list, OrderedNames& mirror, int step)
{
    const int from = list.itemIndex();
    const int to = from + step;
    if (from < 0 || to < 0 || to >= list.count()) {
        return false;
    }
    mirror.setItemIndex(from);
    list.swapEntries(from, to);
    list.setItemIndex(to);
    // The mirror may hold other names when the folder changed between the two listings; it swaps
    // only where it has both positions, rather than reach past its end.
    const int mirrorFrom = mirror.itemIndex();
    if (mirrorFrom >= 0 && mirrorFrom + step >= 0 && mirrorFrom + step < mirror.count()) {
        mirror.swapEntries(mirrorFrom, mirrorFrom + step);
        mirror.setItemIndex(mirrorFrom + step);
    }
    return true;
}

} // namespace

bool isHiddenName(std::string_view name)
{
    return !name.empty() && name.front() == '.';
}

bool listsName(std::string_view name, const FileMask& mask)
{
    return !isHiddenName(name) && mask.matches(name);
}

NameList selectFiles(std::vector<FolderEntry> entries, const FileMask& mask, const NameCollator& collator)
{
    // Each entry of a folder is looked at once, whichever of the mask's patterns matches it, so a name
    // that two patterns match is listed once.
    std::erase_if(entries, [&mask](const FolderEntry& entry) {
        return !listsName(entry.name, mask);
    });
    return orderFiles(std::move(entries), collator);
}

NameList orderFiles(std::vector<FolderEntry> entries, const NameCollator& collator, std::vector<std::uint64_t>* numbers)
{
    std::erase_if(entries, [](const FolderEntry& entry) {
        return entry.kind != EntryKind::File;
    });
    const std::vector<std::size_t> order = collator.order(entries.size(), [&entries](std::size_t i) {
        return std::string_view(entries[i].name);
    });
    std::size_t bytes = 0;
    for (const FolderEntry& entry : entries) {
        bytes += entry.name.size();
    }
    // The bytes in list order, so that whoever walks the list reads them one after another.
    NameList::Builder names;
    names.reserve(entries.size(), bytes);
    if (numbers != nullptr) {
        numbers->reserve(entries.size());
    }
    for (const std::size_t position : order) {
        names.add(entries[position].name);
        if (numbers != nullptr) {
            numbers->push_back(entries[position].inode);
        }
    }
    return names.finish();
}

std::vector<std::string> selectFolders(std::vector<FolderEntry> entries, const NameCollator& collator)
{
    std::vector<std::string> names;
    for (FolderEntry& entry : entries) {
        if (entry.kind == EntryKind::Folder && !isHiddenName(entry.name)) {
            names.push_back(std::move(entry.name));
        }
    }
    collator.sort(names);
    return names;
}

bool moveUp(OrderedNames& list, OrderedNames& mirror)
{
    return move(list, mirror, -1);
}

bool moveDown(OrderedNames& list, OrderedNames& mirror)
{
    return move(list, mirror, +1);
}

int FileList::count() const
{
    return static_cast<int>(entries.size());
}

int FileList::itemIndex() const
{
    return selected;
}

void FileList::setItemIndex(int index)
{
    selected = index >= 0 && index < count() ? index : -1;
}

void FileList::swapEntries(int a, int b)
{
    entries.swapAt(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
}

void FileList::reorder(const std::vector<std::size_t>& order)
{
    entries.reorder(order);
}

} // namespace tallyfox
