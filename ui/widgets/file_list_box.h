#pragma once

#include "ui/handler_boundary.h"

#include <QAbstractListModel>
#include <QListView>

#include <string>
#include <vector>

namespace tallyfox::ui {

// The names of a file list as the list's rows. Names are bytes and are decoded only to be shown, and
// only for the rows on screen, so a list of 100,000 names costs no more than their bytes.
class FileListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    const std::vector<std::string>& entries() const;
    void setEntries(std::vector<std::string> entries);
    void swapEntries(int a, int b);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<std::string> m_entries;
};

// The visible file list: one row per name, single selection, rows of a fixed height.
class FileListBox final : public QListView
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    const std::vector<std::string>& entries() const;
    // Replaces every entry; no entry is selected afterwards.
    void setEntries(std::vector<std::string> entries);
    void swapEntries(int a, int b);
    int count() const;

    // The selected row, or -1.
    int itemIndex() const;
    // Selects a row from the program (-1: none); sends no change notification.
    void setItemIndex(int index);

    // The handler of a selection the user makes.
    void setChangeHandler(Handler handler, HandlerBoundary* boundary);

private:
    FileListModel* m_model;
    Handler m_changeHandler;
    HandlerBoundary* m_boundary = nullptr;
    bool m_selectingFromProgram = false;
};

} // namespace tallyfox::ui
