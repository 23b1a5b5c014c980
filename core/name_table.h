#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace tallyfox {

// The positions of names in a list, looked up by name: one array, open-addressed, rather than a node
// per name, as a run looks up every name of a folder of many files. `nameAt(i)` gives the name at
// position i each time it is asked, so the list and whatever `nameAt` refers to must outlive the index:
// it holds four bytes a name of its own, where a copy of each name's view would take sixteen more.
template <typename NameAt> class NameIndex
{
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // A name listed twice keeps its first position. Lists of kNone names or more are not held (see held).
    NameIndex(std::size_t count, NameAt nameAt)
        : m_nameAt(std::move(nameAt))
    {
        if (count >= kNone) {
            return;
        }
        std::size_t size = 16;
        while (size < 2 * count) {
            size *= 2;
        }
        m_slots.assign(size, kNone);
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view name = m_nameAt(i);
            std::size_t slot = slotOf(name);
            while (m_slots[slot] != kNone && m_nameAt(m_slots[slot]) != name) {
                slot = (slot + 1) & (size - 1);
            }
            if (m_slots[slot] == kNone) {
                m_slots[slot] = static_cast<std::uint32_t>(i);
            }
        }
    }

    bool held() const
    {
        return !m_slots.empty();
    }

    // The position of `name`, or kNone.
    std::uint32_t find(std::string_view name) const
    {
        if (m_slots.empty()) {
            return kNone;
        }
        for (std::size_t slot = slotOf(name);; slot = (slot + 1) & (m_slots.size() - 1)) {
            if (m_slots[slot] == kNone || m_nameAt(m_slots[slot]) == name) {
                return m_slots[slot];
            }
        }
    }

private:
    std::size_t slotOf(std::string_view name) const
    {
        return std::hash<std::string_view>{}(name) & (m_slots.size() - 1);
    }

    NameAt m_nameAt;
    std::vector<std::uint32_t> m_slots;
};

namespace detail {

// The name at a position of an array of views, which stays where it is when the array is moved.
struct ViewAt
{
    const std::string_view* views = nullptr;
    std::string_view operator()(std::size_t i) const
    {
        return views[i];
    }
};

} // namespace detail

// A NameIndex that keeps a view of each name, for a table kept apart from its list (the names must still
// outlive it). Moved, never copied: its index refers to its own views.
class NameTable
{
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    template <typename NameAt>
    NameTable(std::size_t count, NameAt nameAt)
        : m_names(viewsOf(count, nameAt))
        , m_index(count, detail::ViewAt{m_names.data()})
    {
    }
    NameTable(NameTable&&) = default;
    NameTable& operator=(NameTable&&) = default;
    NameTable(const NameTable&) = delete;
    NameTable& operator=(const NameTable&) = delete;

    bool held() const
    {
        return m_index.held();
    }

    // The position of `name`, or kNone.
    std::uint32_t find(std::string_view name) const
    {
        return m_index.find(name);
    }

private:
    template <typename NameAt> static std::vector<std::string_view> viewsOf(std::size_t count, NameAt& nameAt)
    {
        std::vector<std::string_view> views;
        if (count < kNone) {
            views.reserve(count);
            for (std::size_t i = 0; i < count; ++i) {
                views.emplace_back(nameAt(i));
            }
        }
        return views;
    }

    std::vector<std::string_view> m_names;
    NameIndex<detail::ViewAt> m_index;
};

} // namespace tallyfox
