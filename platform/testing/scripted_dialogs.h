#pragma once

#include "platform/dialogs.h"

#include <deque>
#include <functional>
#include <vector>

namespace tallyfox::platform {

// A test double for Dialogs: records every box asked for and answers from a script. A box asked for
// with no scripted answer left is answered with its default button, as a user pressing Enter would.
class ScriptedDialogs final : public Dialogs
{
public:
    MessageAnswer message(const Message& message) override;
    void beep() override;

    void answer(MessageAnswer next);

    // Runs before the next box is answered, for tests that look at the window while a box is open.
    void onNextMessage(std::function<void(const Message&)> hook);

    std::vector<Message> messages;
    int beeps = 0;

private:
    std::deque<MessageAnswer> m_answers;
    std::deque<std::function<void(const Message&)>> m_hooks;
};

} // namespace tallyfox::platform
