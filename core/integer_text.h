#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tallyfox {

// Reads a signed 32-bit decimal integer: optional leading blanks, an optional sign, then one or more
// digits and nothing else. Empty when the text is not such a number or lies outside the 32-bit range.
std::optional<std::int32_t> parseDecimalInteger(std::string_view text);

} // namespace tallyfox
