#pragma once

#include <QList>
#include <QRect>

namespace tallyfox::platform {

// The geometry of the primary screen, in device-independent pixels; empty when there is no screen.
QRect primaryScreenGeometry();

// The part of every screen that windows may use (without panels and docks), in device-independent
// pixels; empty when there is no screen.
QList<QRect> availableScreenAreas();

} // namespace tallyfox::platform
