#include "ui/widgets/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QSignalBlocker>

namespace tallyfox::ui {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent)
    , m_buttons(new QButtonGroup(this))
    , m_columns(columns)
{
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        m_buttons->addButton(button, i);
    }
    // idToggled also comes for selections made by the arrow keys; the program's own go through
    // setItemIndex with the group's signals held back.
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) {
            userSelected(id);
        }
    });
}

void RadioGroup::setClickHandler(Handler handler, HandlerBoundary* boundary)
{
    m_handler = std::move(handler);
    m_boundary = boundary;
}

int RadioGroup::itemIndex() const
{
    return m_index;
}

void RadioGroup::setItemIndex(int index)
{
    if (index == m_index) {
        return;
    }
    {
        const QSignalBlocker blocker(m_buttons);
        if (QAbstractButton* button = m_buttons->button(index)) {
            button->setChecked(true);
        } else if (QAbstractButton* checked = m_buttons->checkedButton()) {
            m_buttons->setExclusive(false);
            checked->setChecked(false);
            m_buttons->setExclusive(true);
        }
    }
    m_index = index;
    if (m_handler) {
        m_handler();
    }
}

int RadioGroup::count() const
{
    return static_cast<int>(m_buttons->buttons().size());
}

QRadioButton* RadioGroup::item(int index) const
{
    return qobject_cast<QRadioButton*>(m_buttons->button(index));
}

void RadioGroup::resizeEvent(QResizeEvent* event)
{
    QGroupBox::resizeEvent(event);
    arrangeItems();
}

void RadioGroup::arrangeItems()
{
    // Items share the area under the caption evenly: one column after the other, top to bottom.
    const int itemCount = count();
    if (itemCount == 0) {
        return;
    }
    const int perColumn = (itemCount + m_columns - 1) / m_columns;
    const int textHeight = fontMetrics().height();
    const int itemWidth = (width() - 10) / m_columns;
    const int area = height() - textHeight - 5;
    const int itemHeight = area / perColumn;
    const int topMargin = textHeight + 1 + (area % perColumn) / 2;
    for (int i = 0; i < itemCount; ++i) {
        const int column = i / perColumn;
        const int row = i % perColumn;
        item(i)->setGeometry(column * itemWidth + 8, row * itemHeight + topMargin, itemWidth, itemHeight);
    }
}

void RadioGroup::userSelected(int index)
{
    if (index == m_index) {
        return;
    }
    m_index = index;
    if (m_boundary != nullptr && m_handler) {
        m_boundary->run(m_handler);
    }
}

} // namespace tallyfox::ui
