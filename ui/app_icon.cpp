#include "ui/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tallyfox::ui {

namespace {

// Everything is drawn on a 256 x 256 grid and scaled to the size asked for.
constexpr qreal kGrid = 256.0;

QPainterPath polygonPath(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    path.addPolygon(QPolygonF(QList<QPointF>(points)));
    path.closeSubpath();
    return path;
}

void drawGround(QPainter& painter)
{
    QLinearGradient ground(0, 8, 0, 248);
    ground.setColorAt(0, QColor(0x2a, 0x7a, 0x96));
    ground.setColorAt(1, QColor(0x15, 0x4a, 0x60));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ground);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
}

void drawFox(QPainter& painter)
{
    const QColor orange(0xf0, 0x7a, 0x24);
    const QColor darkOrange(0xc2, 0x55, 0x12);
    const QColor cream(0xff, 0xf6, 0xe8);
    const QColor ink(0x22, 0x18, 0x14);

    // Head and ears in one outline, the face narrowing to the nose.
    const QPainterPath head =
        polygonPath({{40, 28}, {104, 76}, {152, 76}, {216, 28}, {222, 118}, {128, 214}, {34, 118}});
    painter.setPen(QPen(darkOrange, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(orange);
    painter.drawPath(head);

    // Inside of the ears.
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPath(polygonPath({{54, 52}, {94, 82}, {62, 112}}));
    painter.drawPath(polygonPath({{202, 52}, {162, 82}, {194, 112}}));

    // The pale cheeks meeting under the nose.
    painter.setBrush(cream);
    painter.drawPath(polygonPath({{38, 122}, {96, 140}, {128, 170}, {160, 140}, {218, 122}, {128, 210}}));

    // Eyes and nose.
    painter.setBrush(ink);
    painter.drawEllipse(QRectF(80, 108, 24, 18));
    painter.drawEllipse(QRectF(152, 108, 24, 18));
    painter.drawEllipse(QRectF(114, 194, 28, 20));
}

// Five strokes of a tally, four upright and one across, on a tag in the lower right corner.
void drawTally(QPainter& painter)
{
    painter.setPen(QPen(QColor(0x15, 0x4a, 0x60), 6));
    painter.setBrush(QColor(0xff, 0xff, 0xff));
    painter.drawRoundedRect(QRectF(164, 176, 78, 64), 12, 12);
    painter.setPen(QPen(QColor(0x22, 0x18, 0x14), 8, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal x = 182 + i * 14;
        painter.drawLine(QPointF(x, 190), QPointF(x, 226));
    }
    painter.setPen(QPen(QColor(0xd8, 0x2a, 0x1a), 8, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(172, 220), QPointF(234, 196));
}

} // namespace

QImage drawApplicationIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);
    drawGround(painter);
    drawFox(painter);
    // Too fine to read on the smallest sizes, where the fox alone stands for the program.
    if (size >= 48) {
        drawTally(painter);
    }
    painter.end();
    return image;
}

QIcon applicationIcon()
{
    QIcon icon;
    for (const int size : kApplicationIconSizes) {
        icon.addPixmap(QPixmap::fromImage(drawApplicationIcon(size)));
    }
    return icon;
}

} // namespace tallyfox::ui
