#include "core/multibyte.h"

namespace tallyfox {

namespace {

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

std::size_t utf8Length(std::string_view s, std::size_t pos)
{
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (pos + length > s.size()) {
        return 1;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(static_cast<unsigned char>(s[pos + i]))) {
            return 1;
        }
    }
    return length;
}

bool isShiftJisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace

CodePage systemCodePage()
{
    // Qt 6 and the desktop take file names on Linux as UTF-8 whatever the locale says.
    return CodePage::Utf8;
}

std::size_t characterLength(std::string_view s, std::size_t pos, CodePage codePage)
{
    if (codePage == CodePage::Utf8) {
        return utf8Length(s, pos);
    }
    if (isShiftJisLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()) {
        return 2;
    }
    return 1;
}

std::size_t findCharacter(std::string_view s, char c, std::size_t from, CodePage codePage)
{
    for (std::size_t pos = from; pos < s.size(); pos += characterLength(s, pos, codePage)) {
        if (s[pos] == c) {
            return pos;
        }
    }
    return std::string_view::npos;
}

std::size_t findLastCharacterOf(std::string_view s, std::string_view set, CodePage codePage)
{
    std::size_t found = std::string_view::npos;
    for (std::size_t pos = 0; pos < s.size(); pos += characterLength(s, pos, codePage)) {
        // The set is a character or two: compared in place, as a library search per character costs
        // more than the whole name's scan.
        for (const char c : set) {
            if (s[pos] == c) {
                found = pos;
            }
        }
    }
    return found;
}

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string foldedAsciiCase(std::string_view text, CodePage codePage)
{
    std::string folded(text);
    for (std::size_t pos = 0; pos < folded.size();) {
        const std::size_t length = characterLength(folded, pos, codePage);
        if (length == 1) {
            folded[pos] = asciiLower(folded[pos]);
        }
        pos += length;
    }
    return folded;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b, CodePage codePage)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t pos = 0; pos < a.size();) {
        const std::size_t length = characterLength(a, pos, codePage);
        if (length == 1) {
            if (asciiLower(a[pos]) != asciiLower(b[pos])) {
                return false;
            }
        } else if (a.substr(pos, length) != b.substr(pos, length)) {
            return false;
        }
        pos += length;
    }
    return true;
}

} // namespace tallyfox
