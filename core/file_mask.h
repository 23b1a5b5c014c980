#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// A file mask: one or more patterns separated by ";", each compared with the whole name, ignoring
// case. "*" stands for any run of characters (also none), "?" for one character, every other
// character for itself; "*.*" matches every name, also one without a dot, and an empty pattern matches
// nothing. Names and patterns are UTF-8 bytes; a byte that does not belong to a well-formed character
// counts as one character of its own and matches only itself (or a wildcard).
class FileMask final
{
public:
    explicit FileMask(std::string_view mask);

    // Whether any pattern of the mask matches the whole name.
    bool matches(std::string_view name) const;

private:
    struct Pattern
    {
        bool everything = false;
        bool ascii = true;
        std::string bytes;          // lower-cased, for ASCII names, when the pattern is ASCII
        std::vector<char32_t> text; // case-folded characters, for any name
    };

    std::vector<Pattern> m_patterns;
};

} // namespace tallyfox
