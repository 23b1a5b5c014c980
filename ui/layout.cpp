#include "ui/layout.h"

#include "platform/screen.h"

#include <QLabel>

namespace tallyfox::ui {

QLabel* placeLabel(QWidget* parent, const char* name, int left, int top, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
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

} // namespace tallyfox::ui
