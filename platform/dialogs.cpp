#include "platform/dialogs.h"

#include "platform/folder_picker.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tallyfox::platform {

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQtButton(MessageAnswer answer)
{
    switch (answer) {
    case MessageAnswer::Ok:
        return QMessageBox::Ok;
    case MessageAnswer::Cancel:
        return QMessageBox::Cancel;
    case MessageAnswer::Yes:
        return QMessageBox::Yes;
    case MessageAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

// Draws again, at once, what the program's windows show where a box stood. A box is answered while the
// program is busy (before a run, an undo or a copy that replaces a file), and a desktop without a
// compositor leaves the box's picture on the screen until the window below draws itself. The area is
// drawn at once, and what the window system asks to be drawn is done too (an item view's area takes
// the second), but no input or timer is handled here.
void drawWhereTheBoxWas(const QWidget& box, const QRect& covered)
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == &box || !window->isVisible()) {
            continue;
        }
        const QRect under = QRect(window->mapFromGlobal(covered.topLeft()), covered.size()) & window->rect();
        if (!under.isEmpty()) {
            window->repaint(under);
        }
    }
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers
                                    | QEventLoop::X11ExcludeTimers);
}

} // namespace

MessageAnswer QtDialogs::message(const Message& message)
{
    // The program's texts break their lines with CR LF; a label breaks them at LF alone.
    QString text = message.text;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox box(toQtIcon(message.icon), message.caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    switch (message.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    box.setDefaultButton(toQtButton(message.defaultButton));
    box.exec();
    drawWhereTheBoxWas(box, box.frameGeometry());

    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        break;
    }
    // Closed by its frame: the answer that changes nothing.
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
}

void QtDialogs::beep()
{
    QApplication::beep();
}

std::optional<std::string> QtDialogs::chooseFolder(const QString& title)
{
    return browseForFolder(title, QApplication::activeWindow());
}

} // namespace tallyfox::platform
