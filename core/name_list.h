#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// A list of file names whose bytes are kept once, in one buffer that no holder changes, and shared by
// every copy: the file list, its mirror, the preview list and a run all hold the same names, and a list of
// a million names costs their bytes and eight bytes each rather than a string each (32 bytes, and more on
// the heap for a long name). Each holder's order is its own: a swap or a new order moves only its
// references, which a copy shares too until either changes them. A copy is therefore cheap, and what one
// holder does to its order is never seen by another.
class NameList
{
public:
    class const_iterator
    {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        std::string_view operator*() const
        {
            return (*m_list)[m_at];
        }
        std::string_view operator[](difference_type n) const
        {
            return (*m_list)[m_at + static_cast<std::size_t>(n)];
        }
        const_iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator was = *this;
            ++m_at;
            return was;
        }
        const_iterator& operator--()
        {
            --m_at;
            return *this;
        }
        const_iterator operator--(int)
        {
            const_iterator was = *this;
            --m_at;
            return was;
        }
        const_iterator& operator+=(difference_type n)
        {
            m_at += static_cast<std::size_t>(n);
            return *this;
        }
        const_iterator& operator-=(difference_type n)
        {
            m_at -= static_cast<std::size_t>(n);
            return *this;
        }
        friend const_iterator operator+(const_iterator it, difference_type n)
        {
            return it += n;
        }
        friend const_iterator operator+(difference_type n, const_iterator it)
        {
            return it += n;
        }
        friend const_iterator operator-(const_iterator it, difference_type n)
        {
            return it -= n;
        }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b)
        {
            return static_cast<difference_type>(a.m_at) - static_cast<difference_type>(b.m_at);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b)
        {
            return a.m_at == b.m_at;
        }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b)
        {
            return a.m_at <=> b.m_at;
        }

    private:
        friend class NameList;
        const_iterator(const NameList* list, std::size_t at)
            : m_list(list)
            , m_at(at)
        {
        }

        const NameList* m_list = nullptr;
        std::size_t m_at = 0;
    };
    using iterator = const_iterator;
    using value_type = std::string_view;
    using size_type = std::size_t;

    // Names added one after another, then made a list; their bytes are copied once, into the buffer the
    // list shares.
    class Builder
    {
    public:
        // Room for `count` names of `bytes` bytes in all, so the buffer is taken once and at its size.
        void reserve(std::size_t count, std::size_t bytes);
        void add(std::string_view name);
        NameList finish();

    private:
        std::string m_bytes;
        std::vector<std::uint64_t> m_refs;
    };

    NameList() = default;
    // Copies of the names given (tests, small lists).
    NameList(std::initializer_list<std::string_view> names);
    NameList(const std::vector<std::string>& names);

    std::size_t size() const
    {
        return m_refs ? m_refs->size() : 0;
    }
    bool empty() const
    {
        return size() == 0;
    }
    // The name at `index`, a view that lasts while any copy of the list does.
    std::string_view operator[](std::size_t index) const
    {
        const std::uint64_t ref = (*m_refs)[index];
        return {m_data + (ref >> kLengthBits), static_cast<std::size_t>(ref & kLengthMask)};
    }
    std::string_view front() const
    {
        return (*this)[0];
    }
    std::string_view back() const
    {
        return (*this)[size() - 1];
    }
    const_iterator begin() const
    {
        return {this, 0};
    }
    const_iterator end() const
    {
        return {this, size()};
    }

    // Puts each of the two names at the other's position, in this list only.
    void swapAt(std::size_t a, std::size_t b);
    // Position i takes the name that was at position order[i], in this list only; `order` holds each
    // position once.
    void reorder(const std::vector<std::size_t>& order);
    void clear()
    {
        *this = NameList();
    }

    friend bool operator==(const NameList& a, const NameList& b);
    friend bool operator==(const NameList& a, const std::vector<std::string>& b);

private:
    // A reference is the name's offset in the buffer (the upper 40 bits) and its length (the lower 24).
    static constexpr unsigned kLengthBits = 24;
    static constexpr std::uint64_t kLengthMask = (std::uint64_t{1} << kLengthBits) - 1;
    static constexpr std::uint64_t kMostOffset = (std::uint64_t{1} << (64 - kLengthBits)) - 1;

    // The references this list may change: its own, copied first where another list shares them.
    std::vector<std::uint64_t>& ownRefs();

    std::shared_ptr<const std::string> m_bytes;
    const char* m_data = nullptr; // m_bytes->data(), which stays where it is while the buffer is shared
    std::shared_ptr<std::vector<std::uint64_t>> m_refs;
};

} // namespace tallyfox
