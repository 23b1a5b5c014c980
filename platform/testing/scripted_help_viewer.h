#pragma once

#include "platform/help_viewer.h"

#include <string>
#include <vector>

namespace tallyfox::platform {

// A test double for HelpViewer: records every request in order and shows nothing.
class ScriptedHelpViewer final : public HelpViewer
{
public:
    enum class Command
    {
        Contents,
        Quit,
    };

    struct Request
    {
        Command command;
        std::string helpFile;
        QWidget* owner = nullptr;
    };

    void showContents(const std::string& helpFile, QWidget* owner) override;
    void quit(const std::string& helpFile) noexcept override;

    std::vector<Request> requests;
};

} // namespace tallyfox::platform
