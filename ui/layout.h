#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

class QLabel;
class QString;
class QWidget;

namespace tallyfox::ui {

// Names a control by the window's design and puts it at a fixed place and size in its parent.
template <typename Control> Control* place(Control* control, const char* name, int left, int top, int width, int height)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

// A label sized to its caption, as labels are placed by their top-left corner only.
QLabel* placeLabel(QWidget* parent, const char* name, int left, int top, const QString& caption);
QLabel* placeLabel(QLabel* label, const char* name, int left, int top);

// Where a window of the given outer size stands centred on the primary screen (each half truncated).
QPoint centredOnScreen(QSize outerSize);

// How a window that fits on neither side of its owner is placed beside it.
enum class BesideFit
{
    Narrowed, // made narrower to fit on the side with more room, unless that is too narrow to be of use
    Whole,    // kept whole, at the screen's edge on the side with more room, over part of the owner
};

// Puts a window of the program's own right of `owner` when its screen has room there, else left of it,
// else as `fit` says. Nothing without an owner.
void placeBeside(QWidget& window, const QWidget* owner, BesideFit fit = BesideFit::Narrowed);

// Where a window whose outer rectangle is `frame` stands whole on a screen, given the screens' available
// areas. A place where every part of the window lies on some area is kept exactly. Otherwise the window
// goes onto the area it overlaps most (the nearest when it overlaps none), moved by as little as brings
// it whole onto that area; a window larger than the area keeps its top-left corner on it. Without any
// area the place is kept.
QPoint onScreenPosition(const QRect& frame, const QList<QRect>& areas);

} // namespace tallyfox::ui
