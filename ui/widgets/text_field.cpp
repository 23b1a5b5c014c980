#include "ui/widgets/text_field.h"

#include <QKeyEvent>

namespace tallyfox::ui {

TextField::TextField(QWidget* parent)
    : QLineEdit(parent)
{
    // textEdited comes for the user's changes only (typing, cut, paste, undo); the program's go
    // through assignText.
    connect(this, &QLineEdit::textEdited, this, &TextField::userChanged);
}

void TextField::setChangeHandler(Handler handler, HandlerBoundary* boundary)
{
    m_changeHandler = std::move(handler);
    m_boundary = boundary;
}

void TextField::assignText(const QString& text)
{
    if (text == this->text()) {
        return;
    }
    setText(text);
    runChangeHandler();
}

bool TextField::event(QEvent* event)
{
    // A line edit claims the undo key even with nothing to undo, which would keep the window's undo
    // (of the last run) from every field that has the focus.
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Undo)
        && !isUndoAvailable()) {
        event->ignore();
        return true;
    }
    return QLineEdit::event(event);
}

void TextField::setBackground(const QColor& colour)
{
    QPalette p = palette();
    p.setColor(QPalette::All, QPalette::Base, colour);
    setPalette(p);
}

QColor TextField::background() const
{
    return palette().color(QPalette::Active, QPalette::Base);
}

void TextField::userChanged()
{
    if (m_boundary != nullptr) {
        m_boundary->run([this] {
            runChangeHandler();
        });
    }
}

HandlerBoundary* TextField::boundary() const
{
    return m_boundary;
}

void TextField::runChangeHandler()
{
    if (m_changeHandler) {
        m_changeHandler();
    }
}

} // namespace tallyfox::ui
