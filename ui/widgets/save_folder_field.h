#pragma once

#include "ui/widgets/text_field.h"

#include <string>

namespace tallyfox::ui {

// The save-folder field. A path is bytes, which the field can only show decoded: as long as the field
// shows the path it was given unchanged, that path itself is what it holds, also when its bytes are not
// UTF-8; text the user types is taken as UTF-8.
class SaveFolderField final : public TextField
{
    Q_OBJECT

public:
    using TextField::TextField;

    void setPath(const std::string& path);
    std::string path() const;

private:
    std::string m_path;
};

} // namespace tallyfox::ui
