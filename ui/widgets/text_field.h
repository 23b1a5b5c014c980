#pragma once

#include "ui/handler_boundary.h"

#include <QColor>
#include <QLineEdit>

namespace tallyfox::ui {

// A one-line text field whose change handler runs on every change of its text by the user, and on a
// change by the program only when the new text differs from the current one. Ctrl+Z undoes the
// field's own typing while it has some to undo; with none, the key is left to the window.
class TextField : public QLineEdit
{
    Q_OBJECT

public:
    explicit TextField(QWidget* parent = nullptr);

    // The handler of the field's changes; user changes reach it through the boundary.
    void setChangeHandler(Handler handler, HandlerBoundary* boundary);

    // Sets the text from the program; runs the change handler, nested, if the text changes.
    void assignText(const QString& text);

    // The background colour, kept in every state (enabled, disabled, inactive).
    void setBackground(const QColor& colour);
    QColor background() const;

protected:
    bool event(QEvent* event) override;

    // Runs the change handler for a change the user made.
    void userChanged();
    void runChangeHandler();
    HandlerBoundary* boundary() const;

private:
    Handler m_changeHandler;
    HandlerBoundary* m_boundary = nullptr;
};

} // namespace tallyfox::ui
