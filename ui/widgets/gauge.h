#pragma once

#include <QProgressBar>

namespace tallyfox::ui {

// A horizontal progress bar with a navy fill and no text.
class Gauge final : public QProgressBar
{
    Q_OBJECT

public:
    explicit Gauge(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tallyfox::ui
