#pragma once

#include "core/file_list.h"
#include "ui/handler_boundary.h"

#include <QAbstractListModel>
#include <QListView>

#include <functional>
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

    const NameList& entries() const;
    void setEntries(NameList entries);
    void swapEntries(int a, int b);
    // Puts the rows in a new order (OrderedNames::reorder); the view's selection moves with its rows.
    void reorder(const std::vector<std::size_t>& order);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // A row is dragged only within its own list: the drag carries the row and a mark of this model in
    // this process, and nothing else is accepted as a drop.
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    // The row a drag of this model carries, or -1 for anything else.
    int draggedRow(const QMimeData* data) const;

private:
    NameList m_entries;
};

// The visible file list: one row per name, single selection, rows of a fixed height. It keeps the
// folder and the mask it was last listed with; the listing itself is the window's. A name too long for
// its row is cut with "…" and shows in full in a tooltip; a listing of a new folder starts at its top.
class FileListBox final : public QListView, public OrderedNames
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget* parent = nullptr);

    // The names in the order shown; a copy shares their bytes and keeps the order it was taken in.
    const NameList& entries() const;
    // Replaces every entry; no entry is selected afterwards.
    void setEntries(NameList entries);
    // Replaces folder, mask and entries at once, as a listing that succeeded does.
    void setListing(std::string folder, std::string mask, NameList entries);
    void swapEntries(int a, int b) override;
    int count() const override;

    const std::string& folder() const;
    const std::string& mask() const;
    void setFolder(std::string folder);
    void setMask(std::string mask);

    // The selected row, or -1.
    int itemIndex() const override;
    // Selects a row from the program (-1: none); sends no change notification.
    void setItemIndex(int index) override;

    // The handler of a selection the user makes.
    void setChangeHandler(Handler handler, HandlerBoundary* boundary);

    void reorder(const std::vector<std::size_t>& order) override;

    // What a row dragged to another place in the list does: given the row and the position it is to
    // take, as counted before it leaves its place.
    using DropHandler = std::function<void(int from, int to)>;
    void setDropHandler(DropHandler handler, HandlerBoundary* boundary);
    // The position a row dragged from `from` takes when dropped at `point` of the viewport: before the
    // row under the point in its upper half, after it in its lower half, last below every row.
    int dropPosition(const QPoint& point, int from) const;

    // Whether a row's name is drawn cut.
    bool isElided(int row) const;

protected:
    bool viewportEvent(QEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    FileListModel* m_model;
    std::string m_folder;
    std::string m_mask = "*.*";
    Handler m_changeHandler;
    HandlerBoundary* m_boundary = nullptr;
    bool m_selectingFromProgram = false;
    DropHandler m_dropHandler;
    HandlerBoundary* m_dropBoundary = nullptr;
};

// The mirror of the file list, never shown: the same kind of entries, folder and mask, and a selection
// that only the move buttons set.
class HiddenFileList final : public QObject, public FileList
{
    Q_OBJECT

public:
    using QObject::QObject;
};

} // namespace tallyfox::ui
