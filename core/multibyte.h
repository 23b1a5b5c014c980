#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallyfox {

// The multibyte code pages a name or text may be in. Names on this system are UTF-8; Shift-JIS (code
// page 932) is kept because texts of the program's first home still turn up in settings files.
enum class CodePage
{
    Utf8,
    ShiftJis,
};

// The code page of file names and texts on this system.
CodePage systemCodePage();

// The lead-byte rule: the length in bytes of the character that starts at s[pos], at least 1 and never
// reaching past the end of s. A byte that cannot start a well-formed character counts as one character.
std::size_t characterLength(std::string_view s, std::size_t pos, CodePage codePage);

// Position of the first character equal to the single-byte character c at or after `from`, stepping
// character by character so that no byte inside a multibyte character is taken for c; npos if none.
std::size_t findCharacter(std::string_view s, char c, std::size_t from, CodePage codePage);

// Position of the last character that is one of the single-byte characters in `set`; npos if none.
std::size_t findLastCharacterOf(std::string_view s, std::string_view set, CodePage codePage);

// The letters A to Z as a to z, and the other way round; every other byte stays as it is.
char asciiLower(char c);
char asciiUpper(char c);

// The text with the letters A to Z as a to z, a multibyte character left as it is: how a folder that
// ignores case compares names.
std::string foldedAsciiCase(std::string_view text, CodePage codePage);

// Whether two texts are equal apart from the case of the letters A to Z; a multibyte character is
// compared byte for byte, so that no byte inside one is taken for a letter.
bool equalIgnoringAsciiCase(std::string_view a, std::string_view b, CodePage codePage);

} // namespace tallyfox
