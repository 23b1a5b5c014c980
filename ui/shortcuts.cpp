#include "ui/shortcuts.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QList>
#include <QShortcut>
#include <QWidget>

namespace tallyfox::ui {

namespace {

constexpr QKeyCombination kNone{};

constexpr std::array<ButtonShortcut, 8> kMainWindowShortcuts{{
    {"sbRename", {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}, false},
    {"sbDialog", {Qt::CTRL | Qt::Key_O, kNone}, false},
    {"sbReset", {Qt::CTRL | Qt::Key_R, kNone}, false},
    {"sbHelp", {QKeyCombination(Qt::Key_F1), kNone}, false},
    {"sbAbout", {Qt::SHIFT | Qt::Key_F1, kNone}, false},
    {"sbExit", {Qt::CTRL | Qt::Key_Q, kNone}, false},
    {"sbUp", {Qt::ALT | Qt::Key_Up, kNone}, true},
    {"sbDown", {Qt::ALT | Qt::Key_Down, kNone}, true},
}};

} // namespace

std::span<const ButtonShortcut> mainWindowShortcuts()
{
    return kMainWindowShortcuts;
}

void addButtonShortcuts(QWidget& window, std::span<const ButtonShortcut> shortcuts)
{
    addButtonShortcuts(window, shortcuts, window);
}

void addButtonShortcuts(QWidget& window, std::span<const ButtonShortcut> shortcuts, QWidget& buttons)
{
    for (const ButtonShortcut& entry : shortcuts) {
        auto* button = buttons.findChild<QAbstractButton*>(QLatin1String(entry.button));
        if (button == nullptr) {
            continue;
        }
        QList<QKeySequence> keys;
        for (const QKeyCombination key : entry.keys) {
            if (key != kNone) {
                keys.append(QKeySequence(key));
            }
        }
        auto* shortcut = new QShortcut(&window);
        shortcut->setKeys(keys);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(entry.autoRepeat);
        QObject::connect(shortcut, &QShortcut::activated, button, &QAbstractButton::click);
    }
}

} // namespace tallyfox::ui
