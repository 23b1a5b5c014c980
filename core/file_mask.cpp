#include "core/file_mask.h"

#include "core/multibyte.h"

#include <unicode/uchar.h>

namespace tallyfox {

namespace {

// Bytes that are not part of a well-formed character get values above every code point, so that they
// equal only themselves.
constexpr char32_t kStrayByteBase = 0x110000;

bool isAscii(std::string_view s)
{
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// The characters of a UTF-8 text, each folded to its case-independent form.
void foldedCharacters(std::string_view s, std::vector<char32_t>& out)
{
    out.clear();
    for (std::size_t pos = 0; pos < s.size();) {
        const std::size_t length = characterLength(s, pos, CodePage::Utf8);
        const auto lead = static_cast<unsigned char>(s[pos]);
        char32_t c = 0;
        if (length == 1) {
            c = lead < 0x80 ? lead : kStrayByteBase + lead;
        } else {
            c = lead & (0xFF >> (length + 1));
            for (std::size_t i = 1; i < length; ++i) {
                c = (c << 6) | (static_cast<unsigned char>(s[pos + i]) & 0x3F);
            }
        }
        if (c < kStrayByteBase) {
            c = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
        }
        out.push_back(c);
        pos += length;
    }
}

// The wildcard comparison of a whole name with a whole pattern; a "*" that fails is retried one
// character further on, which is linear in practice and never worse than quadratic.
template <typename Char, typename Fold>
bool wildcardMatch(const Char* name, std::size_t nameLength, const Char* pattern, std::size_t patternLength, Fold fold)
{
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starPattern = patternLength;
    std::size_t starName = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == Char('*')) {
            starPattern = p++;
            starName = n;
        } else if (p < patternLength && (pattern[p] == Char('?') || pattern[p] == fold(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != patternLength) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == Char('*')) {
        ++p;
    }
    return p == patternLength;
}

} // namespace

FileMask::FileMask(std::string_view mask)
{
    std::size_t start = 0;
    while (true) {
        const std::size_t end = mask.find(';', start);
        const std::string_view text = mask.substr(start, end == std::string_view::npos ? end : end - start);
        // An empty pattern matches nothing and is left out.
        if (!text.empty()) {
            Pattern pattern;
            pattern.everything = text == "*.*";
            pattern.ascii = isAscii(text);
            if (pattern.ascii) {
                for (const char c : text) {
                    pattern.bytes += asciiLower(c);
                }
            }
            foldedCharacters(text, pattern.text);
            m_patterns.push_back(std::move(pattern));
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
}

bool FileMask::matches(std::string_view name) const
{
    const bool asciiName = isAscii(name);
    std::vector<char32_t> folded;
    bool decoded = false;
    for (const Pattern& pattern : m_patterns) {
        if (pattern.everything) {
            return true;
        }
        if (asciiName && pattern.ascii) {
            if (wildcardMatch(name.data(), name.size(), pattern.bytes.data(), pattern.bytes.size(), asciiLower)) {
                return true;
            }
            continue;
        }
        if (!decoded) {
            foldedCharacters(name, folded);
            decoded = true;
        }
        if (wildcardMatch(folded.data(), folded.size(), pattern.text.data(), pattern.text.size(), [](char32_t c) {
                return c;
            })) {
            return true;
        }
    }
    return false;
}

} // namespace tallyfox
