#pragma once

#include "core/multibyte.h"

#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// The fixed leading part of every filter list: the eight built-in file types, fields separated by "|"
// and read in pairs (shown text, mask). Two masks have no dot on purpose ("*jpeg", "*png"): they match
// every name that ends so, with or without a dot before it.
inline constexpr std::string_view BuiltinFilterText =
    "All Files (*.*)|*.*|JPEG Files (*.jpg;*.jpeg)|*.jpg;*jpeg|BMP Files (*.bmp)|*.bmp|ICON Files (*.ico)|*.ico|"
    "PNG Files (*.png)|*png|GIF Files (*.gif)|*.gif|TEXT Files (*.txt)|*.txt|HTML Files (*.html;*.htm)|"
    "*.html;*.htm";

// What the filter choice holds before it is given a filter list.
inline constexpr std::string_view InitialFilterText = "すべてのファイル (*.*)|*.*";

// The fragment that offers one extra extension X: "|ユーザー設定 (*." X ")|*." X, X exactly as typed; an
// empty X gives an empty fragment.
std::string UserFilterEntry(std::string_view extension);

// The filter list: the built-in part followed by the four fragments in slot order.
std::string composeFilterList(std::string_view fragment1,
                              std::string_view fragment2,
                              std::string_view fragment3,
                              std::string_view fragment4);

// One entry of the filter choice.
struct FilterEntry
{
    std::string text;
    std::string mask;

    bool operator==(const FilterEntry&) const = default;
};

// The entries of a filter list. Splits at the first "|" (searched character by character, never inside
// a multibyte character): before it the shown text, after it up to the next "|" or the end the mask;
// repeated while a "|" remains. A last shown text without a "|" after it gives no entry; one followed
// by a "|" and nothing gives an entry with an empty mask.
std::vector<FilterEntry> parseFilterList(std::string_view filterList, CodePage codePage = systemCodePage());

// Whether two filter lists are the same apart from the case of the letters A to Z; bytes of multibyte
// characters are compared as they are.
bool sameFilterList(std::string_view a, std::string_view b, CodePage codePage = systemCodePage());

// The filter choice without its window: the filter list it was given, its entries and the selected one.
class FilterChoice final
{
public:
    // Holds InitialFilterText, its one entry selected.
    FilterChoice();

    const std::string& filterList() const;
    const std::vector<FilterEntry>& entries() const;

    // Takes a filter list unless it is the same as the current one (sameFilterList); then rebuilds
    // the entries and selects the first (none when there are none). Returns whether it was taken.
    bool setFilterList(std::string_view filterList);

    // The selected entry, or -1.
    int itemIndex() const;
    // Selects an entry; an index outside the entries, negative or too large, selects none.
    void setItemIndex(int index);

    // The mask of the selected entry. With none selected the last entry is selected first; with no
    // entries at all the mask is "*.*".
    std::string mask();

private:
    std::string m_filterList;
    std::vector<FilterEntry> m_entries;
    int m_itemIndex = -1;
};

} // namespace tallyfox
