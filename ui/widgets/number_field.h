#pragma once

#include "ui/widgets/text_field.h"

#include <cstdint>

class QToolButton;

namespace tallyfox::ui {

// A number field: a text field with small up and down buttons that keeps whatever the user types or
// pastes, and brings the value into its bounds only when stepped, set by the program, or left. While it
// keeps the focus a typed value outside the bounds is read unchanged.
class NumberField final : public TextField
{
    Q_OBJECT

public:
    NumberField(std::int32_t minimum, std::int32_t maximum, QWidget* parent = nullptr);

    // The text read as a decimal integer; the minimum when the text is not one. Not brought into bounds.
    std::int32_t value() const;

    // Sets the value brought into the bounds, written as plain decimal text.
    void setValue(std::int64_t value);

    std::int32_t minimum() const;
    std::int32_t maximum() const;

    // The buttons, for tests that press them.
    QToolButton* upButton() const;
    QToolButton* downButton() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::int32_t clamp(std::int64_t value) const;
    void step(int delta);
    void beep();

    std::int32_t m_minimum;
    std::int32_t m_maximum;
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace tallyfox::ui
