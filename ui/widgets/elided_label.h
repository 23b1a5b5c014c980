#pragma once

#include <QLabel>

namespace tallyfox::ui {

// A one-line label that never grows past its box: a caption wider than the label is drawn cut with
// "…" at the edge, and shows in full in a tooltip. text() is always the whole caption.
class ElidedLabel final : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    // Whether the caption is drawn cut.
    bool isElided() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
};

} // namespace tallyfox::ui
