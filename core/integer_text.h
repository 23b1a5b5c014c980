#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallyfox {

enum class IntegerDigits
{
    Decimal,            // decimal digits only
    DecimalOrDollarHex, // decimal digits, or "$" and hexadecimal digits
};

// Reads a signed 32-bit integer: optional leading blanks, an optional sign, then one or more digits of
// the given kind and nothing else. Empty when the text is not such a number or lies outside the 32-bit
// range.
std::optional<std::int32_t> parseInteger(std::string_view text, IntegerDigits digits);

// A number as a number field reads its text: decimal digits only.
std::optional<std::int32_t> parseDecimalInteger(std::string_view text);

// A count as the windows write it: its digits grouped in threes with ",", "1,000,000".
std::string groupedCount(std::uint64_t count);

} // namespace tallyfox
