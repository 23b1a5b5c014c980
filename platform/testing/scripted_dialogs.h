#pragma once

#include "platform/dialogs.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tallyfox::platform {

// A test double for Dialogs: records every box asked for and answers from a script. A box asked for
// with no scripted answer left is answered with its default button, as a user pressing Enter would;
// a folder browser with no scripted folder left is cancelled.
class ScriptedDialogs final : public Dialogs
{
public:
    MessageAnswer message(const Message& message) override;
    void beep() override;
    std::optional<std::string> chooseFolder(const QString& title) override;

    void answer(MessageAnswer next);

    // The next folder browser confirms `folder` (an absolute path in bytes), or is cancelled.
    void answerFolder(std::optional<std::string> folder);

    // Runs before the next box is answered, for tests that look at the window while a box is open.
    void onNextMessage(std::function<void(const Message&)> hook);

    std::vector<Message> messages;
    int beeps = 0;
    // The title of every folder browser shown, in order.
    std::vector<QString> folderTitles;

private:
    std::deque<MessageAnswer> m_answers;
    std::deque<std::optional<std::string>> m_folders;
    std::deque<std::function<void(const Message&)>> m_hooks;
};

} // namespace tallyfox::platform
