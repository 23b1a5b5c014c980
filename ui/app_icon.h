#pragma once

#include <QIcon>
#include <QImage>

#include <array>

namespace tallyfox::ui {

// The sizes in pixels at which the application icon is drawn and installed.
inline constexpr std::array<int, 8> kApplicationIconSizes{16, 22, 24, 32, 48, 64, 128, 256};

// The application icon, a fox's head over a tally of five, drawn square at `size` pixels on a
// transparent ground. Needs no display.
QImage drawApplicationIcon(int size);

// The application icon at every size of kApplicationIconSizes.
QIcon applicationIcon();

} // namespace tallyfox::ui
