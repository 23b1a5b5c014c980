#include "ui/widgets/file_list_box.h"

#include <QFile>
#include <QHelpEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <utility>

namespace tallyfox::ui {

namespace {

// The rows' height, raised where the face in use needs more room than that for its descenders.
constexpr int kRowHeight = 12;

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

const std::vector<std::string>& FileListModel::entries() const
{
    return m_entries;
}

void FileListModel::setEntries(std::vector<std::string> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

void FileListModel::swapEntries(int a, int b)
{
    std::swap(m_entries[static_cast<std::size_t>(a)], m_entries[static_cast<std::size_t>(b)]);
    emit dataChanged(index(std::min(a, b)), index(std::max(a, b)), {Qt::DisplayRole});
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
    const std::string& name = m_entries[static_cast<std::size_t>(index.row())];
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
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!m_selectingFromProgram && m_boundary != nullptr && m_changeHandler) {
            m_boundary->run(m_changeHandler);
        }
    });
}

const std::vector<std::string>& FileListBox::entries() const
{
    return m_model->entries();
}

void FileListBox::setEntries(std::vector<std::string> entries)
{
    m_selectingFromProgram = true;
    m_model->setEntries(std::move(entries));
    m_selectingFromProgram = false;
}

void FileListBox::setListing(std::string folder, std::string mask, std::vector<std::string> entries)
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

} // namespace tallyfox::ui
