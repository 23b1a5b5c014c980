#include "ui/widgets/filter_combo_box.h"

#include <QSignalBlocker>

namespace tallyfox::ui {

namespace {

QString shown(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

FilterComboBox::FilterComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
    for (const FilterEntry& entry : m_choice.entries()) {
        addItem(shown(entry.text));
    }
    showSelection();
    // activated comes for the user's picks only, with the mouse or the arrow keys.
    connect(this, &QComboBox::activated, this, [this](int index) {
        m_choice.setItemIndex(index);
        if (m_boundary != nullptr && m_handler) {
            m_boundary->run(m_handler);
        }
    });
}

const std::string& FilterComboBox::filterList() const
{
    return m_choice.filterList();
}

bool FilterComboBox::setFilterList(const std::string& filterList)
{
    if (!m_choice.setFilterList(filterList)) {
        return false;
    }
    const QSignalBlocker blocker(this);
    clear();
    for (const FilterEntry& entry : m_choice.entries()) {
        addItem(shown(entry.text));
    }
    showSelection();
    return true;
}

const std::vector<FilterEntry>& FilterComboBox::entries() const
{
    return m_choice.entries();
}

int FilterComboBox::itemIndex() const
{
    return m_choice.itemIndex();
}

void FilterComboBox::setItemIndex(int index)
{
    m_choice.setItemIndex(index);
    showSelection();
}

std::string FilterComboBox::mask()
{
    std::string mask = m_choice.mask();
    showSelection();
    return mask;
}

void FilterComboBox::setPickHandler(std::function<void()> handler, HandlerBoundary* boundary)
{
    m_handler = std::move(handler);
    m_boundary = boundary;
}

void FilterComboBox::showSelection()
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(m_choice.itemIndex());
}

} // namespace tallyfox::ui
