#pragma once

#include <string>

namespace tallyfox::platform {

// The locale whose collation orders the user's lists, from the environment's locale settings
// (LC_ALL, then LC_COLLATE, then LANG): language and region, empty for the C locale or none.
std::string userCollationLocale();

} // namespace tallyfox::platform
