#include "core/save_folder.h"

namespace tallyfox {

std::string saveFolderText(std::string_view confirmedFolder)
{
    std::string text(confirmedFolder);
    // "/" never occurs inside a multibyte character, in UTF-8 or in Shift-JIS.
    if (text.empty() || text.back() != '/') {
        text += '/';
    }
    return text;
}

} // namespace tallyfox
