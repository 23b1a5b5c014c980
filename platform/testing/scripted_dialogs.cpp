#include "platform/testing/scripted_dialogs.h"

namespace tallyfox::platform {

MessageAnswer ScriptedDialogs::message(const Message& message)
{
    messages.push_back(message);
    if (!m_hooks.empty()) {
        const auto hook = std::move(m_hooks.front());
        m_hooks.pop_front();
        hook(message);
    }
    if (m_answers.empty()) {
        return message.defaultButton;
    }
    const MessageAnswer next = m_answers.front();
    m_answers.pop_front();
    return next;
}

void ScriptedDialogs::beep()
{
    ++beeps;
}

std::optional<std::string> ScriptedDialogs::chooseFolder(const QString& title)
{
    folderTitles.push_back(title);
    if (m_folders.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> next = std::move(m_folders.front());
    m_folders.pop_front();
    return next;
}

void ScriptedDialogs::answer(MessageAnswer next)
{
    m_answers.push_back(next);
}

void ScriptedDialogs::onNextMessage(std::function<void(const Message&)> hook)
{
    m_hooks.push_back(std::move(hook));
}

void ScriptedDialogs::answerFolder(std::optional<std::string> folder)
{
    m_folders.push_back(std::move(folder));
}

} // namespace tallyfox::platform
