#pragma once

#include <QKeyCombination>

#include <array>
#include <span>

class QWidget;

namespace tallyfox::ui {

// A key that presses a button of a window wherever the focus is in that window; text fields keep the
// keys they edit with. Up to two keys for one button (the main and the keypad Enter).
struct ButtonShortcut
{
    const char* button;
    std::array<QKeyCombination, 2> keys;
    // Held down, the key presses the button again and again (the moves); a command runs once.
    bool autoRepeat;
};

// The main window's keyboard commands: the tool bar and the move buttons.
std::span<const ButtonShortcut> mainWindowShortcuts();

// Gives the window's buttons, found by their object names, their keys. A key clicks its button, so it
// runs exactly what a click runs, through the same handler boundary, and nothing while the button is
// disabled; the button's caption, tooltip and focus stay as they are.
void addButtonShortcuts(QWidget& window, std::span<const ButtonShortcut> shortcuts);

// The same keys in another window of the program: pressed while `window` is active, a key clicks the
// button of `buttons` (the window that has them) as it would there.
void addButtonShortcuts(QWidget& window, std::span<const ButtonShortcut> shortcuts, QWidget& buttons);

} // namespace tallyfox::ui
