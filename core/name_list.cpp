#include "core/name_list.h"

#include <atomic>
#include <stdexcept>
#include <utility>

namespace tallyfox {

void NameList::Builder::reserve(std::size_t count, std::size_t bytes)
{
    m_refs.reserve(count);
    m_bytes.reserve(bytes);
}

void NameList::Builder::add(std::string_view name)
{
    const std::size_t offset = m_bytes.size();
    if (name.size() > kLengthMask || offset > kMostOffset) {
        throw std::length_error("names too long for a name list");
    }
    m_bytes += name;
    m_refs.push_back((static_cast<std::uint64_t>(offset) << kLengthBits) | name.size());
}

NameList NameList::Builder::finish()
{
    NameList list;
    if (m_refs.empty()) {
        *this = Builder();
        return list;
    }
    // A buffer that grew name by name may hold much more room than names; the list keeps only the names.
    if (m_bytes.capacity() - m_bytes.size() > m_bytes.size() / 8 + 64) {
        m_bytes.shrink_to_fit();
    }
    list.m_bytes = std::make_shared<const std::string>(std::move(m_bytes));
    list.m_data = list.m_bytes->data();
    list.m_refs = std::make_shared<std::vector<std::uint64_t>>(std::move(m_refs));
    *this = Builder();
    return list;
}

NameList::NameList(std::initializer_list<std::string_view> names)
{
    Builder builder;
    std::size_t bytes = 0;
    for (const std::string_view name : names) {
        bytes += name.size();
    }
    builder.reserve(names.size(), bytes);
    for (const std::string_view name : names) {
        builder.add(name);
    }
    *this = builder.finish();
}

NameList::NameList(const std::vector<std::string>& names)
{
    Builder builder;
    std::size_t bytes = 0;
    for (const std::string& name : names) {
        bytes += name.size();
    }
    builder.reserve(names.size(), bytes);
    for (const std::string& name : names) {
        builder.add(name);
    }
    *this = builder.finish();
}

std::vector<std::uint64_t>& NameList::ownRefs()
{
    if (!m_refs) {
        m_refs = std::make_shared<std::vector<std::uint64_t>>();
    } else if (m_refs.use_count() != 1) {
        m_refs = std::make_shared<std::vector<std::uint64_t>>(*m_refs);
    } else {
        // The last other holder may have let go on another thread just now: what it read before is done.
        std::atomic_thread_fence(std::memory_order_acquire);
    }
    return *m_refs;
}

void NameList::swapAt(std::size_t a, std::size_t b)
{
    std::vector<std::uint64_t>& refs = ownRefs();
    std::swap(refs[a], refs[b]);
}

void NameList::reorder(const std::vector<std::size_t>& order)
{
    if (!m_refs) {
        return; // nothing to put in order
    }
    // Always a new array: the order is applied at one stroke, and the old array may be another's.
    auto reordered = std::make_shared<std::vector<std::uint64_t>>(order.size());
    const std::vector<std::uint64_t>& refs = *m_refs;
    for (std::size_t i = 0; i < order.size(); ++i) {
        (*reordered)[i] = refs[order[i]];
    }
    m_refs = std::move(reordered);
}

namespace {

template <typename Names> bool sameNames(const NameList& a, const Names& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool operator==(const NameList& a, const NameList& b)
{
    return sameNames(a, b);
}

bool operator==(const NameList& a, const std::vector<std::string>& b)
{
    return sameNames(a, b);
}

} // namespace tallyfox
