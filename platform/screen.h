#pragma once

#include <QRect>

namespace tallyfox::platform {

// The geometry of the primary screen, in device-independent pixels; empty when there is no screen.
QRect primaryScreenGeometry();

} // namespace tallyfox::platform
