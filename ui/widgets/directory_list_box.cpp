#include "ui/widgets/directory_list_box.h"

#include <QFile>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace tallyfox::ui {

namespace {

constexpr int kRowHeight = 16;
constexpr int kIndent = 7;

// Rows of a fixed height, each indented by its depth.
class FolderRowDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kRowHeight);
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem indented = option;
        indented.rect.setLeft(option.rect.left() + index.data(Qt::UserRole).toInt() * kIndent);
        QStyledItemDelegate::paint(painter, indented, index);
    }
};

QString decoded(const std::string& bytes)
{
    return QFile::decodeName(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

} // namespace

DirectoryListModel::DirectoryListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void DirectoryListModel::setRows(std::vector<Row> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void DirectoryListModel::setIcons(const QIcon& open, const QIcon& closed)
{
    m_openIcon = open;
    m_closedIcon = closed;
}

const std::vector<DirectoryListModel::Row>& DirectoryListModel::rows() const
{
    return m_rows;
}

int DirectoryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant DirectoryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return decoded(row.name);
    case Qt::DecorationRole:
        return row.open ? m_openIcon : m_closedIcon;
    case Qt::UserRole:
        return row.level;
    default:
        return {};
    }
}

DirectoryListBox::DirectoryListBox(QWidget* parent)
    : QListView(parent)
    , m_model(new DirectoryListModel(this))
{
    m_model->setIcons(style()->standardIcon(QStyle::SP_DirOpenIcon), style()->standardIcon(QStyle::SP_DirClosedIcon));
    setModel(m_model);
    setItemDelegate(new FolderRowDelegate(this));
    setUniformItemSizes(true);
    setIconSize(QSize(14, 14));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // doubleClicked comes from the user's mouse only.
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        openRow(index.row());
    });
}

const std::string& DirectoryListBox::directory() const
{
    return m_directory;
}

void DirectoryListBox::setDirectory(const std::string& folder, const std::vector<std::string>& subfolders)
{
    std::vector<DirectoryListModel::Row> rows;
    rows.push_back({"/", "/", 0, true});
    // One row for each folder on the way down; the last is the current folder itself.
    std::size_t start = 1;
    int level = 1;
    while (start < folder.size()) {
        std::size_t end = folder.find('/', start);
        if (end == std::string::npos) {
            end = folder.size();
        }
        if (end > start) {
            rows.push_back({folder.substr(start, end - start), folder.substr(0, end), level++, true});
        }
        start = end + 1;
    }
    const int current = static_cast<int>(rows.size()) - 1;
    for (const std::string& name : subfolders) {
        rows.push_back({name, joined(folder, name), level, false});
    }

    const bool repainting = updatesEnabled();
    setUpdatesEnabled(false);
    m_directory = folder;
    m_currentRow = current;
    m_model->setRows(std::move(rows));
    const QModelIndex currentIndex = m_model->index(current);
    selectionModel()->setCurrentIndex(currentIndex, QItemSelectionModel::ClearAndSelect);
    scrollTo(currentIndex);
    setUpdatesEnabled(repainting);
}

int DirectoryListBox::count() const
{
    return m_model->rowCount();
}

std::string DirectoryListBox::pathOf(int row) const
{
    return m_model->rows().at(static_cast<std::size_t>(row)).path;
}

std::string DirectoryListBox::nameOf(int row) const
{
    return m_model->rows().at(static_cast<std::size_t>(row)).name;
}

int DirectoryListBox::itemIndex() const
{
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
}

int DirectoryListBox::currentFolderRow() const
{
    return m_currentRow;
}

void DirectoryListBox::setOpenHandler(std::function<void(const std::string&)> handler, HandlerBoundary* boundary)
{
    m_openHandler = std::move(handler);
    m_boundary = boundary;
}

void DirectoryListBox::openRow(int row)
{
    if (row < 0 || row >= count() || m_boundary == nullptr || !m_openHandler) {
        return;
    }
    const std::string path = pathOf(row);
    m_boundary->run([this, &path] {
        m_openHandler(path);
    });
}

void DirectoryListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(itemIndex());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

} // namespace tallyfox::ui
