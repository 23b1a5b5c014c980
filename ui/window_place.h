#pragma once

#include <QMargins>
#include <QObject>
#include <QPoint>

class QWidget;

namespace tallyfox::ui {

// Where a top-level window stands from one start to the next. It is put with its frame's top-left
// corner at the stored place, so the place it is stored with at close is the place it was put at, and
// a window manager's frame cannot make it creep from start to start. A place that would leave a part
// of the window off every screen is moved whole onto the nearest screen, again once the window manager
// has framed the window and its outer size is known; a place that fits is used exactly.
class WindowPlace final : public QObject
{
    Q_OBJECT

public:
    explicit WindowPlace(QWidget& window);

    // Puts the window at a stored place (or the centred place when none is stored).
    void place(QPoint stored);

    // The place to store at close: the one the window was put at, or, once the user has moved it,
    // where its frame now stands.
    QPoint toStore() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void putAt(QPoint place);
    QMargins frameMargins() const;

    QWidget& m_window;
    QPoint m_placed;
    // The frame the last placement knew of; a new one means the window manager has framed the window.
    QMargins m_frame;
    bool m_placedOnce = false;
    bool m_placing = false;
    bool m_movedByUser = false;
};

} // namespace tallyfox::ui
