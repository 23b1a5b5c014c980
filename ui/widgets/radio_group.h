#pragma once

#include "ui/handler_boundary.h"

#include <QGroupBox>

class QButtonGroup;
class QRadioButton;

namespace tallyfox::ui {

// A captioned group of radio items in columns, filled column after column. Its handler runs whenever
// the selected index changes, by a click or by the program, and never when the selection stays.
class RadioGroup final : public QGroupBox
{
    Q_OBJECT

public:
    RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent = nullptr);

    void setClickHandler(Handler handler, HandlerBoundary* boundary);

    int itemIndex() const;

    // Selects an item from the program; the handler runs nested if the selection changes.
    void setItemIndex(int index);

    int count() const;
    QRadioButton* item(int index) const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void arrangeItems();
    void userSelected(int index);

    QButtonGroup* m_buttons;
    int m_columns;
    int m_index = -1;
    Handler m_handler;
    HandlerBoundary* m_boundary = nullptr;
};

} // namespace tallyfox::ui
