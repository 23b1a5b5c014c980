#include "ui/widgets/number_field.h"

#include "core/integer_text.h"

#include <QKeyEvent>
#include <QLocale>
#include <QToolButton>

#include <algorithm>

namespace tallyfox::ui {

namespace {

constexpr int kButtonWidth = 15;

QToolButton* makeStepButton(Qt::ArrowType arrow, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setCursor(Qt::ArrowCursor);
    return button;
}

// Characters the field takes from the keyboard; every other character is refused with a beep.
bool isAcceptedCharacter(QChar c)
{
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
        return false;
    }
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
        return true; // control keys: backspace, and the shortcuts for cut, copy, paste and undo
    }
    if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') || c == QLatin1Char('-')) {
        return true;
    }
    return QString(c) == QLocale::system().decimalPoint();
}

} // namespace

NumberField::NumberField(std::int32_t minimum, std::int32_t maximum, QWidget* parent)
    : TextField(parent)
    , m_minimum(minimum)
    , m_maximum(maximum)
    , m_up(makeStepButton(Qt::UpArrow, this))
    , m_down(makeStepButton(Qt::DownArrow, this))
{
    // Typing goes through the key filter alone; an input method would bypass it.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setTextMargins(0, 0, kButtonWidth, 0);
    connect(m_up, &QToolButton::clicked, this, [this] {
        step(+1);
    });
    connect(m_down, &QToolButton::clicked, this, [this] {
        step(-1);
    });
}

std::int32_t NumberField::value() const
{
    return parseDecimalInteger(text().toStdString()).value_or(m_minimum);
}

void NumberField::setValue(std::int64_t value)
{
    assignText(QString::number(clamp(value)));
}

std::int32_t NumberField::minimum() const
{
    return m_minimum;
}

std::int32_t NumberField::maximum() const
{
    return m_maximum;
}

QToolButton* NumberField::upButton() const
{
    return m_up;
}

QToolButton* NumberField::downButton() const
{
    return m_down;
}

std::int32_t NumberField::clamp(std::int64_t value) const
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, m_minimum, m_maximum));
}

void NumberField::step(int delta)
{
    const QString stepped = QString::number(clamp(static_cast<std::int64_t>(value()) + delta));
    if (stepped != text()) {
        setText(stepped);
        userChanged();
    }
}

void NumberField::beep()
{
    if (HandlerBoundary* boundary = this->boundary()) {
        boundary->beep();
    }
}

void NumberField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
        step(event->key() == Qt::Key_Up ? +1 : -1);
        event->accept();
        return;
    }
    // Shortcuts (cut, copy, paste, undo) come as control characters and pass like them.
    const bool shortcut = (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0;
    const QString typed = event->text();
    if (!shortcut && !typed.isEmpty() && !(typed.size() == 1 && isAcceptedCharacter(typed.front()))) {
        beep();
        event->accept();
        return;
    }
    TextField::keyPressEvent(event);
}

void NumberField::focusOutEvent(QFocusEvent* event)
{
    TextField::focusOutEvent(event);
    // A box or menu of the program taking the focus for a while is not leaving the field: the value
    // stays as typed for the run or command that opened it.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
        return;
    }
    const std::int32_t read = value();
    if (read < m_minimum || read > m_maximum) {
        setText(QString::number(clamp(read)));
        userChanged();
    }
}

void NumberField::resizeEvent(QResizeEvent* event)
{
    TextField::resizeEvent(event);
    const int frame = 2;
    const int inner = height() - 2 * frame;
    const int upHeight = inner / 2;
    m_up->setGeometry(width() - frame - kButtonWidth, frame, kButtonWidth, upHeight);
    m_down->setGeometry(width() - frame - kButtonWidth, frame + upHeight, kButtonWidth, inner - upHeight);
}

} // namespace tallyfox::ui
