#include "core/collation.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

namespace tallyfox {

namespace {

constexpr UChar32 kReplacementCharacter = 0xFFFD;

} // namespace

NameCollator::NameCollator(std::string_view locale, DigitOrder digits)
{
    const std::string name(locale);
    UErrorCode status = U_ZERO_ERROR;
    m_collator = ucol_open(name.c_str(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        m_collator = ucol_open("", &status);
    }
    if (U_FAILURE(status)) {
        throw std::runtime_error("no collation data");
    }
    // Case is a tertiary difference: left out.
    ucol_setStrength(m_collator, UCOL_SECONDARY);
    ucol_setAttribute(m_collator, UCOL_NUMERIC_COLLATION, digits == DigitOrder::ByValue ? UCOL_ON : UCOL_OFF, &status);
}

NameCollator::~NameCollator()
{
    ucol_close(m_collator);
}

void NameCollator::appendSortKey(std::string_view name, std::u16string& buffer, std::string& keys) const
{
    // Stray bytes become replacement characters for collating only; the name keeps them.
    if (buffer.size() < name.size() + 1) {
        buffer.resize(name.size() + 1);
    }
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(buffer.data()),
                         static_cast<int32_t>(buffer.size()),
                         &length,
                         name.data(),
                         static_cast<int32_t>(name.size()),
                         kReplacementCharacter,
                         nullptr,
                         &status);
    const auto* text = reinterpret_cast<const UChar*>(buffer.data());
    const std::size_t start = keys.size();
    std::size_t room = std::max<std::size_t>(64, name.size() * 4);
    while (true) {
        keys.resize(start + room);
        const int32_t needed = ucol_getSortKey(
            m_collator, text, length, reinterpret_cast<uint8_t*>(keys.data() + start), static_cast<int32_t>(room));
        if (static_cast<std::size_t>(needed) <= room) {
            // The key ends in a zero byte, which is left out so that keys may be compared as bytes.
            keys.resize(start + static_cast<std::size_t>(needed) - 1);
            return;
        }
        room = static_cast<std::size_t>(needed);
    }
}

std::string NameCollator::sortKey(std::string_view name) const
{
    std::u16string buffer;
    std::string key;
    appendSortKey(name, buffer, key);
    return key;
}

int NameCollator::compare(std::string_view a, std::string_view b) const
{
    const std::string keyA = sortKey(a);
    const std::string keyB = sortKey(b);
    const int byKey = keyA.compare(keyB);
    if (byKey != 0) {
        return byKey;
    }
    return a.compare(b);
}

void NameCollator::sort(std::vector<std::string>& names) const
{
    const std::vector<std::size_t> positions = order(names);
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const std::size_t i : positions) {
        sorted.push_back(std::move(names[i]));
    }
    names = std::move(sorted);
}

std::vector<std::size_t> NameCollator::order(const std::vector<std::string>& names) const
{
    return order(names.size(), [&names](std::size_t i) {
        return std::string_view(names[i]);
    });
}

std::vector<std::size_t> NameCollator::order(std::size_t count,
                                             const std::function<std::string_view(std::size_t)>& nameAt) const
{
    // All keys in one block, each found by its offset, so 100,000 names cost one allocation, not one each.
    std::string keys;
    keys.reserve(count * 24);
    std::vector<std::size_t> offsets(count + 1);
    std::u16string buffer;
    for (std::size_t i = 0; i < count; ++i) {
        offsets[i] = keys.size();
        appendSortKey(nameAt(i), buffer, keys);
    }
    offsets[count] = keys.size();

    std::vector<std::size_t> positions(count);
    std::iota(positions.begin(), positions.end(), std::size_t{0});
    const char* base = keys.data();
    std::sort(positions.begin(), positions.end(), [&](std::size_t a, std::size_t b) {
        const std::string_view keyA(base + offsets[a], offsets[a + 1] - offsets[a]);
        const std::string_view keyB(base + offsets[b], offsets[b + 1] - offsets[b]);
        const int byKey = keyA.compare(keyB);
        if (byKey != 0) {
            return byKey < 0;
        }
        return nameAt(a) < nameAt(b);
    });
    return positions;
}

std::string collationLocaleName(std::string_view setting)
{
    const std::size_t end = setting.find_first_of(".@");
    const std::string_view name = setting.substr(0, end);
    if (name.empty() || name == "C" || name == "POSIX") {
        return {};
    }
    return std::string(name);
}

} // namespace tallyfox
