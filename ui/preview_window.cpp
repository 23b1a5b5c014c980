#include "ui/preview_window.h"

#include "core/errors.h"
#include "platform/folders.h"
#include "ui/accessible_names.h"
#include "ui/appearance.h"
#include "ui/layout.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/save_folder_field.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace tallyfox::ui {

namespace {

enum Column
{
    Number,
    Current,
    New,
    State,
    ColumnCount,
};

QString shown(const std::string& name)
{
    // As the file list shows it: a name that is not valid UTF-8 shows replacement characters.
    return QFile::decodeName(QByteArray::fromRawData(name.data(), static_cast<qsizetype>(name.size())));
}

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

PreviewListModel::PreviewListModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_problem(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning))
    , m_question(QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion))
{
}

const PreviewList& PreviewListModel::preview() const
{
    return m_preview;
}

void PreviewListModel::setPreview(PreviewList preview)
{
    beginResetModel();
    m_preview = std::move(preview);
    endResetModel();
}

int PreviewListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_preview.states.size());
}

int PreviewListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PreviewListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    const PreviewState state = m_preview.states[row];
    switch (role) {
    case Qt::ToolTipRole:
        // The whole text of a cell cut at its edge.
        return index.column() == Number ? QVariant() : data(index, Qt::DisplayRole);
    case Qt::DisplayRole:
        switch (index.column()) {
        case Number:
            return index.row() + 1;
        case Current:
            return shown(m_preview.plan.files[row].old);
        case New:
            return shown(m_preview.plan.files[row].final);
        case State:
            return fromUtf8(previewStateText(m_preview, row));
        default:
            return {};
        }
    case Qt::DecorationRole:
        // Not by colour alone: a problem row carries a sign in its state.
        if (index.column() == State && isProblem(state)) {
            return state == PreviewState::InSaveFolder ? m_question : m_problem;
        }
        return {};
    case Qt::BackgroundRole:
        if (isProblem(state)) {
            return state == PreviewState::InSaveFolder ? QColor(255, 244, 204) : QColor(255, 222, 222);
        }
        return {};
    case Qt::ForegroundRole:
        // Dark text on the light problem colours, whatever the palette.
        return isProblem(state) ? QVariant(QColor(Qt::black)) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Number ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant PreviewListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case Number:
        return QStringLiteral("番号");
    case Current:
        return QStringLiteral("現在の名前");
    case New:
        return QStringLiteral("新しい名前");
    case State:
        return QStringLiteral("状態");
    default:
        return {};
    }
}

PreviewWindow::PreviewWindow(PreviewSource source,
                             platform::Syscalls& syscalls,
                             HandlerBoundary& boundary,
                             QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_source(std::move(source))
    , m_syscalls(syscalls)
    , m_boundary(boundary)
    , m_model(new PreviewListModel(this))
    , m_table(new QTableView(this))
    , m_summary(new QLabel(this))
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("プレビュー一覧"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(windowFont());
    resize(880, 420);

    m_table->setObjectName(QStringLiteral("PreviewTable"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    // Fixed row heights and column widths: a view of 100,000 rows never measures them all.
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setColumnWidth(Number, 60);
    m_table->setColumnWidth(Current, 190);
    m_table->setColumnWidth(New, 190);
    m_summary->setObjectName(QStringLiteral("lblProblems"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(m_summary);
    namePreviewControls(*this);

    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    m_pending.setSingleShot(true);
    m_pending.setInterval(0);
    connect(&m_pending, &QTimer::timeout, this, [this] {
        m_boundary.run([this] {
            recompute();
        });
    });
    // The list listed anew (folder, filter, a run's end) changes which names are around it; a move, a
    // drag or an order changes only the numbering.
    QAbstractItemModel* files = m_source.files->model();
    connect(files, &QAbstractItemModel::modelReset, this, &PreviewWindow::followListing);
    connect(files, &QAbstractItemModel::rowsInserted, this, &PreviewWindow::followListing);
    connect(files, &QAbstractItemModel::rowsRemoved, this, &PreviewWindow::followListing);
    connect(files, &QAbstractItemModel::layoutChanged, this, &PreviewWindow::followOrder);
    connect(files, &QAbstractItemModel::dataChanged, this, &PreviewWindow::followOrder);
    connect(files, &QAbstractItemModel::rowsMoved, this, &PreviewWindow::followOrder);
    connect(m_source.saveFolder, &QLineEdit::textChanged, this, &PreviewWindow::followListing);
}

const PreviewList& PreviewWindow::preview() const
{
    return m_model->preview();
}

void PreviewWindow::open()
{
    // Opened for the first time beside the window it belongs to, rather than over it.
    if (!m_placed) {
        m_placed = true;
        placeBeside(*this, m_owner);
    }
    show();
    raise();
    activateWindow();
}

void PreviewWindow::follow()
{
    // A closed window is brought up to date when it is shown again.
    if (isVisible()) {
        m_pending.start();
    }
}

void PreviewWindow::followOrder()
{
    m_namesStale = true;
    follow();
}

void PreviewWindow::followListing()
{
    m_foldersStale = true;
    followOrder();
}

void PreviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Everything is read anew: the folder may have changed while the window was closed.
    m_foldersStale = true;
    m_namesStale = true;
    m_pending.stop();
    m_boundary.run([this] {
        recompute();
    });
}

void PreviewWindow::recompute()
{
    const FileListBox& files = *m_source.files;
    RunRequest& request = m_request;
    request.folder = files.folder();
    if (m_namesStale) {
        request.names = files.entries();
        m_namesStale = false;
    }
    request.naming = m_source.naming();
    std::string saveFolder = m_source.saveFolder->path();
    if (request.naming.operation != FileOperation::RenameCopy
        && request.naming.operation != FileOperation::RenameMove) {
        saveFolder.clear(); // only a copy or move looks into it
    }
    if (saveFolder != request.saveFolder) {
        request.saveFolder = std::move(saveFolder);
        m_foldersStale = true;
    }
    if (m_foldersStale) {
        try {
            m_folders = platform::readPreviewFolders(m_syscalls, request.folder, request.names, request.saveFolder);
        } catch (const InOutError&) {
            // The folder cannot be read now: the names are shown without what lies around them.
            m_folders = PreviewFolders{};
        }
        m_foldersStale = false;
    }
    PreviewList preview = previewRun(request, m_folders);
    m_summary->setText(fromUtf8(previewSummary(preview)));
    m_model->setPreview(std::move(preview));
}

void PreviewWindow::openOnDoubleClick(QWidget& area)
{
    m_owner = area.window();
    area.installEventFilter(this);
    for (QWidget* child : area.findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        m_boundary.run([this] {
            open();
        });
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

FileListCommand previewCommand(PreviewWindow& window)
{
    return {
        .text = QStringLiteral("新しい名前の一覧(&L)..."),
        .shortcut = {},
        .enabled = {},
        .run =
            [&window] {
                window.open();
            },
    };
}

} // namespace tallyfox::ui
