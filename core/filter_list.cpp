#include "core/filter_list.h"

namespace tallyfox {

std::string UserFilterEntry(std::string_view extension)
{
    if (extension.empty()) {
        return {};
    }
    const std::string x(extension);
    return "|ユーザー設定 (*." + x + ")|*." + x;
}

std::string composeFilterList(std::string_view fragment1,
                              std::string_view fragment2,
                              std::string_view fragment3,
                              std::string_view fragment4)
{
    std::string list(BuiltinFilterText);
    for (const std::string_view fragment : {fragment1, fragment2, fragment3, fragment4}) {
        list += fragment;
    }
    return list;
}

std::vector<FilterEntry> parseFilterList(std::string_view filterList, CodePage codePage)
{
    std::vector<FilterEntry> entries;
    std::string_view rest = filterList;
    while (true) {
        const std::size_t bar = findCharacter(rest, '|', 0, codePage);
        if (bar == std::string_view::npos) {
            break;
        }
        FilterEntry entry;
        entry.text = rest.substr(0, bar);
        rest.remove_prefix(bar + 1);
        const std::size_t next = findCharacter(rest, '|', 0, codePage);
        if (next == std::string_view::npos) {
            entry.mask = rest;
            rest = {};
        } else {
            entry.mask = rest.substr(0, next);
            rest.remove_prefix(next + 1);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool sameFilterList(std::string_view a, std::string_view b, CodePage codePage)
{
    return equalIgnoringAsciiCase(a, b, codePage);
}

FilterChoice::FilterChoice()
    : m_filterList(InitialFilterText)
    , m_entries(parseFilterList(InitialFilterText))
    , m_itemIndex(0)
{
}

const std::string& FilterChoice::filterList() const
{
    return m_filterList;
}

const std::vector<FilterEntry>& FilterChoice::entries() const
{
    return m_entries;
}

bool FilterChoice::setFilterList(std::string_view filterList)
{
    if (sameFilterList(filterList, m_filterList)) {
        return false;
    }
    m_filterList = filterList;
    m_entries = parseFilterList(filterList);
    m_itemIndex = m_entries.empty() ? -1 : 0;
    return true;
}

int FilterChoice::itemIndex() const
{
    return m_itemIndex;
}

void FilterChoice::setItemIndex(int index)
{
    m_itemIndex = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : -1;
}

std::string FilterChoice::mask()
{
    if (m_entries.empty()) {
        return "*.*";
    }
    if (m_itemIndex < 0) {
        m_itemIndex = static_cast<int>(m_entries.size()) - 1;
    }
    return m_entries[static_cast<std::size_t>(m_itemIndex)].mask;
}

} // namespace tallyfox
