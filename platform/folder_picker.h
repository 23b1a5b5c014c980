#pragma once

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace tallyfox::platform {

// The object name of the browser's line that shows the full path of the current choice.
inline constexpr const char* kFolderPathLineName = "pathLine";

// The folder browser drawn by the widget toolkit itself, modal to the program and owned by `owner`
// (may be null), in the toolkit's Japanese where the application has it: it opens at "/", lists
// folders only, lets the user make a folder (which is then the choice) and name or rename folders but
// never delete one, and shows under its list the full path that confirming would give. The confirmed
// folder as an absolute path in bytes, without a trailing "/" except for "/" itself; nothing on cancel.
std::optional<std::string> browseForFolder(const QString& title, QWidget* owner);

} // namespace tallyfox::platform
