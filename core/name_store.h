#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace tallyfox {

// Names kept in large blocks rather than a string each: a run of a million files holds three or four
// names a file, and a string of its own costs a name of twenty bytes fifty or more. A kept name stays
// where it is while the store lives, moved or not, so views of it may be held.
class NameStore
{
public:
    NameStore() = default;
    NameStore(NameStore&&) = default;
    NameStore& operator=(NameStore&&) = default;
    // A copy would leave the views of the names with the original.
    NameStore(const NameStore&) = delete;
    NameStore& operator=(const NameStore&) = delete;

    std::string_view keep(std::string_view name)
    {
        if (name.empty()) {
            return {};
        }
        char* const at = room(name.size());
        std::memcpy(at, name.data(), name.size());
        return {at, name.size()};
    }

    // Room for `size` bytes in one piece, for the caller to write; it stays where it is.
    char* room(std::size_t size)
    {
        if (m_blocks.empty() || m_left < size) {
            const std::size_t block = std::max(kBlockBytes, size);
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(block));
            m_next = m_blocks.back().get();
            m_left = block;
        }
        char* const at = m_next;
        m_next += size;
        m_left -= size;
        return at;
    }

private:
    static constexpr std::size_t kBlockBytes = std::size_t{1} << 16;

    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_left = 0;
};

} // namespace tallyfox
