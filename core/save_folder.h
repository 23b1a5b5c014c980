#pragma once

#include <string>
#include <string_view>

namespace tallyfox {

// The save-folder field's text for a folder confirmed in the folder browser: the folder followed by
// "/", so that a file name can follow it at once; the root "/", which already ends in the separator,
// is taken unchanged. Bytes in, bytes out.
std::string saveFolderText(std::string_view confirmedFolder);

} // namespace tallyfox
