#pragma once

#include "ui/handler_boundary.h"

#include <QGroupBox>

class QButtonGroup;
class QRadioButton;

namespace tallyfox::ui {

// A captioned group of radio items in columns, filled column after column. Its handler runs whenever
// the selected index changes, by a click or by the program, and never when the selection stays.
// From the keyboard the group is one stop: Tab lands on the selected item (the first while none is),
// Up and Down select the previous and next item in order, Left and Right the item beside in the other
// column, each coming round at the end.
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void arrangeItems();
    void updateTabStop();
    // The item an arrow key leads to from an item, or -1 for a key that is not an arrow.
    int itemByArrow(int from, int key) const;
    void userSelected(int index);

    QButtonGroup* m_buttons;
    int m_columns;
    int m_index = -1;
    Handler m_handler;
    HandlerBoundary* m_boundary = nullptr;
};

} // namespace tallyfox::ui
