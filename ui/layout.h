#pragma once

#include <QPoint>
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

// Where a window of the given outer size stands centred on the primary screen (each half truncated).
QPoint centredOnScreen(QSize outerSize);

} // namespace tallyfox::ui
