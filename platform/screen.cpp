#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace tallyfox::platform {

QRect primaryScreenGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry() : QRect();
}

} // namespace tallyfox::platform
