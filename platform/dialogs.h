#pragma once

#include <QString>

#include <optional>
#include <string>

namespace tallyfox::platform {

enum class MessageIcon
{
    None,
    Information,
    Question,
    Warning,
    Error,
};

enum class MessageButtons
{
    Ok,
    OkCancel,
    YesNo,
};

// The button a box was closed with. OK is 1 and Cancel 2; closing a box by its frame answers Cancel
// (or No, where it has no Cancel).
enum class MessageAnswer
{
    Ok = 1,
    Cancel = 2,
    Yes = 6,
    No = 7,
};

struct Message
{
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    MessageAnswer defaultButton = MessageAnswer::Ok;
};

// What the program asks of the user and tells the user. Every box is modal to the whole program.
class Dialogs
{
public:
    virtual ~Dialogs() = default;

    // Shows the box and waits until the user closes it.
    virtual MessageAnswer message(const Message& message) = 0;

    // The short system sound of a refused key.
    virtual void beep() = 0;

    // The folder browser under the given title, modal to the program: it opens at the top of the file
    // system, offers folders only, can make a new folder (which is then the choice), shows the full
    // path of the current choice while the user browses, and waits. The confirmed folder as an
    // absolute path in bytes, without a trailing "/" except for the root "/" itself; nothing when the
    // user cancelled.
    virtual std::optional<std::string> chooseFolder(const QString& title) = 0;
};

// The real boxes, drawn by the widget toolkit.
class QtDialogs final : public Dialogs
{
public:
    MessageAnswer message(const Message& message) override;
    void beep() override;
    std::optional<std::string> chooseFolder(const QString& title) override;
};

} // namespace tallyfox::platform
