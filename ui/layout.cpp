#include "ui/layout.h"

#include "platform/screen.h"

#include <QLabel>
#include <QRegion>
#include <QScreen>

#include <algorithm>
#include <limits>

namespace tallyfox::ui {

QLabel* placeLabel(QWidget* parent, const char* name, int left, int top, const QString& caption)
{
    return placeLabel(new QLabel(caption, parent), name, left, top);
}

QLabel* placeLabel(QLabel* label, const char* name, int left, int top)
{
    label->setObjectName(QLatin1String(name));
    label->adjustSize();
    label->move(left, top);
    return label;
}

QPoint centredOnScreen(QSize outerSize)
{
    const QRect screen = platform::primaryScreenGeometry();
    return {screen.left() + (screen.width() - outerSize.width()) / 2,
            screen.top() + (screen.height() - outerSize.height()) / 2};
}

namespace {

// How far apart two rectangles lie, squared; 0 when they touch or overlap.
qint64 distanceSquared(const QRect& a, const QRect& b)
{
    const qint64 dx = std::max({0, b.left() - a.right() - 1, a.left() - b.right() - 1});
    const qint64 dy = std::max({0, b.top() - a.bottom() - 1, a.top() - b.bottom() - 1});
    return dx * dx + dy * dy;
}

// The start of a span of `length` moved by as little as brings it into [low, low + room), or low when
// it is longer than the room.
int into(int start, int length, int low, int room)
{
    return length >= room ? low : std::clamp(start, low, low + room - length);
}

} // namespace

QPoint onScreenPosition(const QRect& frame, const QList<QRect>& areas)
{
    QRegion covered;
    for (const QRect& area : areas) {
        covered += area;
    }
    if (areas.isEmpty() || QRegion(frame).subtracted(covered).isEmpty()) {
        return frame.topLeft();
    }
    const QRect* best = nullptr;
    qint64 bestOverlap = -1;
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const QRect& area : areas) {
        const QRect common = area.intersected(frame);
        const qint64 overlap = common.isEmpty() ? 0 : qint64{common.width()} * common.height();
        const qint64 distance = distanceSquared(frame, area);
        if (overlap > bestOverlap || (overlap == bestOverlap && distance < bestDistance)) {
            best = &area;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    return {into(frame.left(), frame.width(), best->left(), best->width()),
            into(frame.top(), frame.height(), best->top(), best->height())};
}

void placeBeside(QWidget& window, const QWidget* owner, BesideFit fit)
{
    if (owner == nullptr) {
        return;
    }
    const QRect outer = owner->frameGeometry();
    const QScreen* screen = owner->screen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : platform::primaryScreenGeometry();
    constexpr int kGap = 8;
    // Narrower than this, a window beside its owner is of little use: it is left where the system puts it.
    constexpr int kNarrowest = 400;
    const int roomRight = available.right() - outer.right() - kGap;
    const int roomLeft = outer.left() - kGap - available.left();
    const int width = window.width();
    if (width <= roomRight) {
        window.move(outer.right() + kGap, outer.top());
    } else if (width <= roomLeft) {
        window.move(outer.left() - kGap - width, outer.top());
    } else if (fit == BesideFit::Whole) {
        window.move(roomRight >= roomLeft ? available.right() + 1 - width : available.left(), outer.top());
    } else if (std::max(roomRight, roomLeft) >= kNarrowest) {
        // Made narrower to fit on the side with more room.
        const bool right = roomRight >= roomLeft;
        window.resize(right ? roomRight : roomLeft, window.height());
        window.move(right ? outer.right() + kGap : available.left(), outer.top());
    }
}

} // namespace tallyfox::ui
