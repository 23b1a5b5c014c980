#pragma once

#include <QPixmap>
#include <QToolButton>

namespace tallyfox::ui {

// A tool bar button: flat unless told otherwise, a 16 x 16 picture (with its own disabled picture
// where it has one) left of its caption at a given spacing, and it never takes the keyboard focus, so
// a field keeps the focus, and its typed value, while a command runs.
class ToolButton final : public QToolButton
{
    Q_OBJECT

public:
    explicit ToolButton(QWidget* parent = nullptr);

    void setPictures(const QPixmap& normal, const QPixmap& disabled = QPixmap());
    void setSpacing(int spacing);
    void setFlat(bool flat);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_normal;
    QPixmap m_disabled;
    int m_spacing = 4;
};

// A gap between groups of tool bar buttons; a divider also draws a line in its middle.
class ToolBarGap final : public QWidget
{
    Q_OBJECT

public:
    ToolBarGap(bool divider, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_divider;
};

} // namespace tallyfox::ui
