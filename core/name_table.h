#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace tallyfox {

// The positions of names in a list, looked up by name: one array, open-addressed, rather than a node
// per name, as a run looks up every name of a folder of many files. The names must outlive the table.
class NameTable
{
public:
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // A name listed twice keeps its first position. Lists of kNone names or more are not held (see held).
    template <typename NameAt> NameTable(std::size_t count, NameAt nameAt)
    {
        if (count >= kNone) {
            return;
        }
        m_names.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            m_names.emplace_back(nameAt(i));
        }
        std::size_t size = 16;
        while (size < 2 * count) {
            size *= 2;
        }
        m_slots.assign(size, kNone);
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t slot = slotOf(m_names[i]);
            while (m_slots[slot] != kNone && m_names[m_slots[slot]] != m_names[i]) {
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
            if (m_slots[slot] == kNone || m_names[m_slots[slot]] == name) {
                return m_slots[slot];
            }
        }
    }

private:
    std::size_t slotOf(std::string_view name) const
    {
        return std::hash<std::string_view>{}(name) & (m_slots.size() - 1);
    }

    std::vector<std::string_view> m_names;
    std::vector<std::uint32_t> m_slots;
};

} // namespace tallyfox
