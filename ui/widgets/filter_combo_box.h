#pragma once

#include "core/filter_list.h"
#include "ui/handler_boundary.h"

#include <QComboBox>

#include <functional>
#include <string>

namespace tallyfox::ui {

// The filter chooser: a drop-down list without typing, filled from a filter list. The user's pick runs
// its handler; the program's selections send nothing.
class FilterComboBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit FilterComboBox(QWidget* parent = nullptr);

    // The filter list it holds (its `Filter`).
    const std::string& filterList() const;
    // Takes a filter list unless it equals the current one apart from the case of A to Z; then shows
    // its entries with the first selected. Returns whether it was taken.
    bool setFilterList(const std::string& filterList);

    const std::vector<FilterEntry>& entries() const;

    // The selected entry, or -1.
    int itemIndex() const;
    // Selects an entry from the program; outside the entries selects none. Sends nothing.
    void setItemIndex(int index);

    // The mask of the selected entry; selects the last entry when none is selected, "*.*" without
    // entries.
    std::string mask();

    // The handler of an entry the user picks (also the one already selected).
    void setPickHandler(std::function<void()> handler, HandlerBoundary* boundary);

private:
    void showSelection();

    FilterChoice m_choice;
    std::function<void()> m_handler;
    HandlerBoundary* m_boundary = nullptr;
};

} // namespace tallyfox::ui
