#include "ui/widgets/tool_button.h"

#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace tallyfox::ui {

namespace {

constexpr int kPictureSize = 16;

} // namespace

ToolButton::ToolButton(QWidget* parent)
    : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAutoRaise(true);
}

void ToolButton::setPictures(const QPixmap& normal, const QPixmap& disabled)
{
    m_normal = normal;
    m_disabled = disabled;
    QIcon icon(normal);
    if (!disabled.isNull()) {
        icon.addPixmap(disabled, QIcon::Disabled);
    }
    setIcon(icon);
    update();
}

void ToolButton::setSpacing(int spacing)
{
    m_spacing = spacing;
    update();
}

void ToolButton::setFlat(bool flat)
{
    setAutoRaise(flat);
}

QSize ToolButton::sizeHint() const
{
    const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text());
    const int pictureWidth = m_normal.isNull() ? 0 : kPictureSize;
    const int gap = textWidth > 0 && pictureWidth > 0 ? m_spacing : 0;
    return {pictureWidth + gap + textWidth + 8, std::max(kPictureSize, fontMetrics().height()) + 4};
}

void ToolButton::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The style draws the frame only; picture and caption are placed here with the button's spacing.
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    const bool enabled = isEnabled();
    QPixmap picture = m_normal;
    if (!enabled && !m_normal.isNull()) {
        picture = !m_disabled.isNull() ? m_disabled : icon().pixmap(kPictureSize, QIcon::Disabled);
    }
    const QString caption = text();
    const int textWidth = caption.isEmpty() ? 0 : fontMetrics().horizontalAdvance(caption);
    const int pictureWidth = picture.isNull() ? 0 : kPictureSize;
    const int gap = textWidth > 0 && pictureWidth > 0 ? m_spacing : 0;
    int x = (width() - (pictureWidth + gap + textWidth)) / 2;
    const int shift = isDown() ? 1 : 0;
    if (pictureWidth > 0) {
        painter.drawPixmap(x + shift, (height() - kPictureSize) / 2 + shift, picture);
        x += pictureWidth + gap;
    }
    if (textWidth > 0) {
        const QRect textRect(x + shift, shift, textWidth, height());
        painter.drawItemText(
            textRect, Qt::AlignLeft | Qt::AlignVCenter, palette(), enabled, caption, QPalette::ButtonText);
    }
}

ToolBarGap::ToolBarGap(bool divider, QWidget* parent)
    : QWidget(parent)
    , m_divider(divider)
{
}

void ToolBarGap::paintEvent(QPaintEvent*)
{
    if (!m_divider) {
        return;
    }
    QPainter painter(this);
    const int x = width() / 2 - 1;
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(x, 1, x, height() - 2);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(x + 1, 1, x + 1, height() - 2);
}

} // namespace tallyfox::ui
