#include "ui/window_place.h"

#include "platform/screen.h"
#include "ui/layout.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace tallyfox::ui {

WindowPlace::WindowPlace(QWidget& window)
    : QObject(&window)
    , m_window(window)
{
    m_window.installEventFilter(this);
}

QMargins WindowPlace::frameMargins() const
{
    const QWindow* handle = m_window.windowHandle();
    return handle != nullptr ? handle->frameMargins() : QMargins();
}

void WindowPlace::putAt(QPoint place)
{
    m_frame = frameMargins();
    m_placed = onScreenPosition(QRect(place, m_window.size().grownBy(m_frame)), platform::availableScreenAreas());
    // The platform window, made now, carries the placement to the window manager.
    static_cast<void>(m_window.winId());
    m_placing = true;
    m_window.move(m_placed);
    // Placed by the frame's corner: without this the platform places the inner corner while the frame
    // is not yet known, and the window manager puts the frame a title bar higher than stored.
    m_window.windowHandle()->setFramePosition(m_placed);
    m_placing = false;
    m_placedOnce = true;
}

void WindowPlace::place(QPoint stored)
{
    m_movedByUser = false;
    putAt(stored);
}

QPoint WindowPlace::toStore() const
{
    return m_movedByUser || !m_placedOnce ? m_window.pos() : m_placed;
}

bool WindowPlace::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_window && m_placedOnce && !m_movedByUser && !m_placing
        && (event->type() == QEvent::Move || event->type() == QEvent::Show)) {
        if (frameMargins() != m_frame) {
            // Framed since it was placed: the whole window, frame and all, goes where it was stored.
            putAt(m_placed);
        } else if (event->type() == QEvent::Move && m_window.isVisible() && m_window.pos() != m_placed) {
            m_movedByUser = true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tallyfox::ui
