#include "ui/widgets/file_list_box.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QHelpEvent>
#include <QMimeData>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace tallyfox::ui {

namespace {

// The rows' height, raised where the face in use needs more room than that for its descenders.
constexpr int kRowHeight = 12;

// The kind of data a dragged row carries: "<process id> <model address> <row>".
const QString kRowMimeType = QStringLiteral("application/x-tallyfox-file-row");

class FixedRowDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(kRowHeight, option.fontMetrics.height()));
        return size;
    }
};

} // namespace

const NameList& FileListModel::entries() const
{
    return m_entries;
}

void FileListModel::setEntries(NameList entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

void FileListModel::swapEntries(int a, int b)
{
    m_entries.swapAt(static_cast<std::size_t>(a), static_cast<std::size_t>(b));
    emit dataChanged(index(std::min(a, b)), index(std::max(a, b)), {Qt::DisplayRole});
}

void FileListModel::reorder(const std::vector<std::size_t>& order)
{
    emit layoutAboutToBeChanged();
    std::vector<int> newRow(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newRow[order[i]] = static_cast<int>(i);
    }
    m_entries.reorder(order);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        after.append(index(newRow[static_cast<std::size_t>(old.row())]));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    // Rows are dragged but take no drop on themselves: a drop lands between rows.
    const Qt::ItemFlags flags = QAbstractListModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsDragEnabled : flags | Qt::ItemIsDropEnabled;
}

Qt::DropActions FileListModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions FileListModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

QStringList FileListModel::mimeTypes() const
{
    return {kRowMimeType};
}

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const
{
    if (indexes.size() != 1 || !indexes.front().isValid()) {
        return nullptr;
    }
    auto* data = new QMimeData;
    data->setData(kRowMimeType,
                  QByteArray::number(QCoreApplication::applicationPid()) + ' '
                      + QByteArray::number(reinterpret_cast<quintptr>(this)) + ' '
                      + QByteArray::number(indexes.front().row()));
    return data;
}

int FileListModel::draggedRow(const QMimeData* data) const
{
    if (data == nullptr || !data->hasFormat(kRowMimeType)) {
        return -1;
    }
    const QList<QByteArray> parts = data->data(kRowMimeType).split(' ');
    bool rowRead = false;
    const int row = parts.size() == 3 ? parts[2].toInt(&rowRead) : -1;
    if (!rowRead || parts[0] != QByteArray::number(QCoreApplication::applicationPid())
        || parts[1] != QByteArray::number(reinterpret_cast<quintptr>(this)) || row < 0 || row >= rowCount()) {
        return -1;
    }
    return row;
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const std::string_view name = m_entries[static_cast<std::size_t>(index.row())];
    // A name that is not valid UTF-8 shows replacement characters; the entry itself keeps its bytes.
    return QFile::decodeName(QByteArray::fromRawData(name.data(), static_cast<qsizetype>(name.size())));
}

FileListBox::FileListBox(QWidget* parent)
    : QListView(parent)
    , m_model(new FileListModel(this))
{
    setModel(m_model);
    setItemDelegate(new FixedRowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A row may be dragged to another place in the list; nothing comes in from outside.
    setDragDropMode(QAbstractItemView::InternalMove);
    setDefaultDropAction(Qt::MoveAction);
    setDragDropOverwriteMode(false);
    setDropIndicatorShown(true);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_selectingFromProgram && m_boundary != nullptr && m_changeHandler) {
            m_boundary->run(m_changeHandler);
        }
    });
}

const NameList& FileListBox::entries() const
{
    return m_model->entries();
}

void FileListBox::setEntries(NameList entries)
{
    m_selectingFromProgram = true;
    m_model->setEntries(std::move(entries));
    m_selectingFromProgram = false;
}

void FileListBox::setListing(std::string folder, std::string mask, NameList entries)
{
    const bool newFolder = folder != m_folder;
    m_folder = std::move(folder);
    m_mask = std::move(mask);
    setEntries(std::move(entries));
    if (newFolder) {
        scrollToTop();
    }
}

const std::string& FileListBox::folder() const
{
    return m_folder;
}

const std::string& FileListBox::mask() const
{
    return m_mask;
}

void FileListBox::setFolder(std::string folder)
{
    m_folder = std::move(folder);
}

void FileListBox::setMask(std::string mask)
{
    m_mask = std::move(mask);
}

void FileListBox::swapEntries(int a, int b)
{
    m_model->swapEntries(a, b);
}

int FileListBox::count() const
{
    return m_model->rowCount();
}

int FileListBox::itemIndex() const
{
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

void FileListBox::setItemIndex(int index)
{
    m_selectingFromProgram = true;
    if (index < 0 || index >= count()) {
        selectionModel()->clear();
    } else {
        selectionModel()->setCurrentIndex(m_model->index(index), QItemSelectionModel::ClearAndSelect);
    }
    m_selectingFromProgram = false;
}

bool FileListBox::isElided(int row) const
{
    const QModelIndex index = m_model->index(row);
    if (!index.isValid()) {
        return false;
    }
    // The item's text stands inside its row by the focus frame's margin on either side.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int room = visualRect(index).width() - 2 * margin;
    return fontMetrics().horizontalAdvance(index.data(Qt::DisplayRole).toString()) > room;
}

bool FileListBox::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && isElided(index.row())) {
            QToolTip::showText(
                help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport(), visualRect(index));
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QListView::viewportEvent(event);
}

void FileListBox::setChangeHandler(Handler handler, HandlerBoundary* boundary)
{
    m_changeHandler = std::move(handler);
    m_boundary = boundary;
}

void FileListBox::reorder(const std::vector<std::size_t>& order)
{
    m_selectingFromProgram = true;
    m_model->reorder(order);
    m_selectingFromProgram = false;
}

void FileListBox::setDropHandler(DropHandler handler, HandlerBoundary* boundary)
{
    m_dropHandler = std::move(handler);
    m_dropBoundary = boundary;
}

int FileListBox::dropPosition(const QPoint& point, int from) const
{
    const QModelIndex under = indexAt(point);
    int before = count();
    if (under.isValid()) {
        before = point.y() < visualRect(under).center().y() ? under.row() : under.row() + 1;
    }
    // Counted while the row is still in its place: a place below it is one less once it has left.
    return before > from ? before - 1 : before;
}

void FileListBox::startDrag(Qt::DropActions /*supportedActions*/)
{
    const int row = itemIndex();
    QMimeData* data = row < 0 ? nullptr : m_model->mimeData({m_model->index(row)});
    if (data == nullptr) {
        return;
    }
    // The drop does the move itself; nothing is left to do when the drag ends.
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void FileListBox::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_model->draggedRow(event->mimeData()) < 0) {
        event->ignore();
        return;
    }
    QListView::dragEnterEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void FileListBox::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_model->draggedRow(event->mimeData()) < 0) {
        event->ignore();
        return;
    }
    // The view draws the line where the row would go and scrolls near the edges.
    QListView::dragMoveEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void FileListBox::dropEvent(QDropEvent* event)
{
    const int from = m_model->draggedRow(event->mimeData());
    if (from < 0) {
        event->ignore();
        return;
    }
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    event->setDropAction(Qt::MoveAction);
    event->accept();
    const int to = dropPosition(event->position().toPoint(), from);
    if (m_dropHandler && m_dropBoundary != nullptr) {
        m_dropBoundary->run([this, from, to] {
            m_dropHandler(from, to);
        });
    }
}

} // namespace tallyfox::ui
