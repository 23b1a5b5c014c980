#include "ui/widgets/radio_group.h"

#include <QButtonGroup>
#include <QKeyEvent>
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
        button->installEventFilter(this);
    }
    updateTabStop();
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
    updateTabStop();
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

void RadioGroup::updateTabStop()
{
    // The other items still take a click, but Tab passes them by.
    const int stop = m_index >= 0 && m_index < count() ? m_index : 0;
    for (int i = 0; i < count(); ++i) {
        item(i)->setFocusPolicy(i == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

int RadioGroup::itemByArrow(int from, int key) const
{
    const int itemCount = count();
    const int perColumn = (itemCount + m_columns - 1) / m_columns;
    const int cells = perColumn * m_columns;
    int step = 0;
    switch (key) {
    case Qt::Key_Up:
        step = itemCount - 1;
        break;
    case Qt::Key_Down:
        step = 1;
        break;
    case Qt::Key_Left:
        step = cells - perColumn;
        break;
    case Qt::Key_Right:
        step = perColumn;
        break;
    default:
        return -1;
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        return (from + step) % itemCount;
    }
    // Beside in the other column; a last column that is shorter gives its last item.
    const int beside = (from + step) % cells;
    return beside < itemCount ? beside : itemCount - 1;
}

bool RadioGroup::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int from = m_buttons->id(qobject_cast<QAbstractButton*>(watched));
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        const int to = from >= 0 && modifiers == Qt::NoModifier ? itemByArrow(from, key->key()) : -1;
        if (to >= 0) {
            QRadioButton* target = item(to);
            if (target->isEnabled()) {
                target->setFocus(Qt::OtherFocusReason);
                // As a click: the handler runs if the selection changes.
                target->click();
            }
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void RadioGroup::userSelected(int index)
{
    if (index == m_index) {
        return;
    }
    m_index = index;
    updateTabStop();
    if (m_boundary != nullptr && m_handler) {
        m_boundary->run(m_handler);
    }
}

} // namespace tallyfox::ui
