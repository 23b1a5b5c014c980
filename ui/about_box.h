#pragma once

#include "platform/dialogs.h"

namespace tallyfox::ui {

// The program's name and version, as the version box and `tallyfox --version` show it.
inline constexpr char kVersionLine[] = "Tallyfox 1.20";

// The version box: seven lines, each ending in CR LF, the program's name and version first, then a
// short legal notice and where to reach the program's makers; caption "ヴァージョン情報", the
// information icon and an OK button.
platform::Message versionBox();

} // namespace tallyfox::ui
