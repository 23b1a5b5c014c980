#pragma once

#include "ui/handler_boundary.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QListView>

#include <functional>
#include <string>
#include <vector>

namespace tallyfox::ui {

// The rows of the folder list: the root, each folder on the path down to the current folder, the
// current folder, then its subfolders. Names and paths are bytes, decoded only to be shown.
class DirectoryListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    struct Row
    {
        std::string name;
        std::string path;
        int level = 0;
        bool open = true; // the root, the path and the current folder; subfolders are closed
    };

    explicit DirectoryListModel(QObject* parent = nullptr);

    void setRows(std::vector<Row> rows);
    void setIcons(const QIcon& open, const QIcon& closed);
    const std::vector<Row>& rows() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<Row> m_rows;
    QIcon m_openIcon;
    QIcon m_closedIcon;
};

// The folder list. Shows a folder and its subfolders; a double-click on an entry, or the Enter key,
// opens it, which runs the open handler with the entry's path. Moving the selection changes nothing.
class DirectoryListBox final : public QListView
{
    Q_OBJECT

public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    // The current folder: an absolute path.
    const std::string& directory() const;

    // Shows the folder with the given subfolders (plain names, in list order), its own entry selected.
    // Repaints once, at the end.
    void setDirectory(const std::string& folder, const std::vector<std::string>& subfolders);

    // The number of entries, and what entry `row` opens and shows.
    int count() const;
    std::string pathOf(int row) const;
    std::string nameOf(int row) const;
    // The selected row, or -1; the current folder's row.
    int itemIndex() const;
    int currentFolderRow() const;

    // The handler of an entry the user opens, given the entry's path.
    void setOpenHandler(std::function<void(const std::string&)> handler, HandlerBoundary* boundary);

    // Opens an entry as the user's double-click or Enter key does.
    void openRow(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    DirectoryListModel* m_model;
    std::string m_directory;
    int m_currentRow = -1;
    std::function<void(const std::string&)> m_openHandler;
    HandlerBoundary* m_boundary = nullptr;
};

} // namespace tallyfox::ui
