#pragma once

#include <QProgressBar>

namespace tallyfox::ui {

// A horizontal progress bar with a navy fill and no text.
class Gauge final : public QProgressBar
{
    Q_OBJECT

public:
    explicit Gauge(QWidget* parent = nullptr);

    // Moves the bar without drawing it at once, as setValue does: it is drawn with the next repaint,
    // at the latest when the program next waits for the user.
    void setValueUndrawn(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tallyfox::ui
