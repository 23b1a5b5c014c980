#include "ui/widgets/gauge.h"

#include <QPainter>
#include <QStyleOptionFrame>

namespace tallyfox::ui {

Gauge::Gauge(QWidget* parent)
    : QProgressBar(parent)
{
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
}

void Gauge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.lineWidth = 1;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);

    const QRect inner = rect().adjusted(1, 1, -1, -1);
    painter.fillRect(inner, palette().color(QPalette::Base));
    const int span = maximum() - minimum();
    if (span > 0 && value() > minimum()) {
        const int filled = static_cast<int>(static_cast<qint64>(inner.width()) * (value() - minimum()) / span);
        painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), QColor(0, 0, 128));
    }
}

} // namespace tallyfox::ui
