#include "platform/testing/scripted_help_viewer.h"

namespace tallyfox::platform {

void ScriptedHelpViewer::showContents(const std::string& helpFile, QWidget* owner)
{
    requests.push_back({Command::Contents, helpFile, owner});
}

void ScriptedHelpViewer::quit(const std::string& helpFile) noexcept
{
    requests.push_back({Command::Quit, helpFile, nullptr});
}

} // namespace tallyfox::platform
