#include "platform/locale.h"

#include "core/collation.h"

#include <cstdlib>

namespace tallyfox::platform {

std::string userCollationLocale()
{
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return collationLocaleName(value);
        }
    }
    return {};
}

} // namespace tallyfox::platform
