#pragma once

#include <QFont>

namespace tallyfox::ui {

// The font every window and control uses: a proportional Gothic face 12 pixels high, the face whose
// metrics the fixed layout was drawn for, or the nearest Japanese face installed.
QFont windowFont();

} // namespace tallyfox::ui
