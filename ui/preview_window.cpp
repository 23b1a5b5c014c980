#include "ui/preview_window.h"

#include "core/errors.h"
#include "platform/folders.h"
#include "ui/accessible_names.h"
#include "ui/appearance.h"
#include "ui/layout.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/save_folder_field.h"
#include "ui/window_at_work.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace tallyfox::ui {

namespace {

using Column = PreviewListModel::Column;
using enum PreviewListModel::Column;

// Room for the frame a window manager puts round the window, not known before it is first shown.
constexpr QSize kFrameRoom(16, 48);

QString shown(std::string_view name)
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

void PreviewListModel::setPreview(PreviewList preview, const OrderTimes* times)
{
    beginResetModel();
    m_preview = std::move(preview);
    m_times = times;
    endResetModel();
}

bool PreviewListModel::showsTimes() const
{
    return m_times != nullptr && (m_times->order == FileOrder::Modified || m_times->order == FileOrder::Taken);
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
            return shown(previewOldName(m_preview, row));
        case New:
            return shown(previewNewName(m_preview, row));
        case State:
            return fromUtf8(previewStateText(m_preview, row));
        case Time:
            return showsTimes() ? fromUtf8(orderTimeText(*m_times, std::string(previewOldName(m_preview, row))))
                                : QVariant();
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
    case Time:
        return showsTimes() && m_times->order == FileOrder::Taken ? QStringLiteral("撮影日時")
                                                                  : QStringLiteral("更新日時");
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
    QHeaderView* header = m_table->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    // The time beside the name it belongs to; the state last, taking what room is left but never less
    // than its longest text.
    header->moveSection(Time, Current + 1);
    header->setStretchLastSection(true);
    m_table->setColumnWidth(Number, 60);
    m_table->setColumnWidth(Current, 190);
    m_table->setColumnWidth(New, 190);
    m_table->setColumnHidden(Time, true);
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
    connect(&m_saveFolderWatch, &QFileSystemWatcher::directoryChanged, this, &PreviewWindow::followListing);
    // A row chosen here is the file the moves move.
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& row) {
        if (!m_selecting && row.isValid()) {
            m_source.files->setItemIndex(row.row());
        }
    });
}

void PreviewWindow::addOwnerShortcuts(std::span<const ButtonShortcut> shortcuts, QWidget& owner)
{
    addButtonShortcuts(*this, shortcuts, owner);
}

const PreviewList& PreviewWindow::preview() const
{
    return m_model->preview();
}

void PreviewWindow::open()
{
    // Opened for the first time sized to its columns, beside the window it belongs to rather than over it.
    if (!m_placed) {
        m_placed = true;
        m_boundary.run([this] {
            recompute();
        });
        m_fresh = true;
        int columns = m_stateWidth;
        for (int column = 0; column < ColumnCount; ++column) {
            if (column != State && !m_table->isColumnHidden(column)) {
                columns += m_table->columnWidth(column);
            }
        }
        const QMargins margins = layout()->contentsMargins();
        resize(std::max(width(),
                        columns + m_table->verticalScrollBar()->sizeHint().width() + 2 * m_table->frameWidth()
                            + margins.left() + margins.right()),
               height());
        fitOnScreen();
        // Its states in full matter more than the main window's last controls.
        placeBeside(*this, m_owner, BesideFit::Whole);
    }
    fitOnScreen();
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
    m_pending.stop();
    if (std::exchange(m_fresh, false)) {
        fitColumns();
        return;
    }
    // Everything is read anew: the folder may have changed while the window was closed.
    m_foldersStale = true;
    m_namesStale = true;
    m_boundary.run([this] {
        recompute();
    });
}

void PreviewWindow::fitOnScreen()
{
    const QScreen* screen = m_owner != nullptr ? m_owner->screen() : this->screen();
    if (screen == nullptr) {
        return;
    }
    // Frame and all: a window wider than its screen would hide its scroll bar beyond the edge.
    const QRect available = screen->availableGeometry();
    const QSize frame = isVisible() ? frameGeometry().size() - size() : kFrameRoom;
    resize(size().boundedTo(available.size() - frame));
    const QRect outer(isVisible() ? frameGeometry().topLeft() : pos(), size() + frame);
    if (!available.contains(outer)) {
        move(onScreenPosition(outer, {available}));
    }
}

void PreviewWindow::fitColumns()
{
    // The state and the time as wide as their longest text, measured on one row of each kind of text,
    // not on every row of a long list.
    const PreviewList& preview = m_model->preview();
    std::vector<int> sample;
    std::vector<bool> seen(static_cast<std::size_t>(PreviewState::UnusableInSaveFolder) + 1, false);
    std::size_t widestSameName = 0;
    for (std::size_t row = 0; row < preview.states.size(); ++row) {
        const auto kind = static_cast<std::size_t>(preview.states[row]);
        if (!seen[kind]) {
            seen[kind] = true;
            sample.push_back(static_cast<int>(row));
        }
        if (preview.states[row] == PreviewState::Duplicate
            && preview.sameNameAs[row] > preview.sameNameAs[widestSameName]) {
            widestSameName = row;
        }
    }
    if (seen[static_cast<std::size_t>(PreviewState::Duplicate)]) {
        sample.push_back(static_cast<int>(widestSameName));
    }
    // A cell's text has the column less its grid line.
    const int grid = m_table->showGrid() ? 1 : 0;
    int state = m_table->horizontalHeader()->sectionSizeHint(State);
    for (const int row : sample) {
        state = std::max(state, m_table->sizeHintForIndex(m_model->index(row, State)).width() + grid);
    }
    m_stateWidth = state;
    m_table->setColumnWidth(State, state);

    const bool times = m_model->showsTimes();
    m_table->setColumnHidden(Time, !times);
    if (times) {
        // A file without a date taken shows the longest text; the first such row, or the first row.
        const OrderTimes& kept = m_source.orderTimes();
        int longest = 0;
        for (std::size_t row = 0; kept.order == FileOrder::Taken && row < preview.states.size(); ++row) {
            const auto file = kept.byName.find(std::string(previewOldName(preview, row)));
            if (file != kept.byName.end() && !file->second.taken && file->second.modified) {
                longest = static_cast<int>(row);
                break;
            }
        }
        m_table->setColumnWidth(Time,
                                std::max(m_table->horizontalHeader()->sectionSizeHint(Time),
                                         m_table->sizeHintForIndex(m_model->index(longest, Time)).width() + grid));
    }
}

void PreviewWindow::selectAsFileList()
{
    const int selected = m_source.files->itemIndex();
    const QModelIndex row = m_model->index(selected, Number);
    m_selecting = true;
    if (row.isValid()) {
        m_table->selectionModel()->setCurrentIndex(row,
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // Brought into view only when it moved: a name typed in the main window leaves the view where
        // the user scrolled it.
        if (std::exchange(m_shownSelection, selected) != selected) {
            m_table->scrollTo(row);
        }
    } else {
        m_table->selectionModel()->clear();
    }
    m_selecting = false;
}

void PreviewWindow::watchSaveFolder(const std::string& saveFolder)
{
    // The folder it lies in, or the nearest folder above that exists: the save folder's coming into
    // being, by any program, changes that folder. A folder above it made meanwhile is watched in turn.
    QString watched;
    if (!saveFolder.empty()) {
        QString path =
            QDir::cleanPath(QDir::current().absoluteFilePath(QFile::decodeName(QByteArray::fromStdString(saveFolder))));
        while (path != QStringLiteral("/") && watched.isEmpty()) {
            path = QFileInfo(path).path();
            if (QFileInfo(path).isDir()) {
                watched = path;
            }
        }
    }
    const QStringList now = m_saveFolderWatch.directories();
    if (now == QStringList{watched} || (now.isEmpty() && watched.isEmpty())) {
        return;
    }
    if (!now.isEmpty()) {
        m_saveFolderWatch.removePaths(now);
    }
    if (!watched.isEmpty()) {
        m_saveFolderWatch.addPath(watched);
    }
}

void PreviewWindow::recompute()
{
    const FileListBox& files = *m_source.files;
    RunRequest& request = m_request;
    request.folder = files.folder();
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
    watchSaveFolder(request.saveFolder);
    const bool namesStale = m_namesStale;
    const bool foldersStale = m_foldersStale;
    // The names taken, the folders read and the states judged beside the window: for a list of many
    // files that takes a while, and the windows stay painted meanwhile. The file list does not change
    // meanwhile, as no input and no timer reaches the program.
    PreviewList preview = besideWindow([&](WindowThread&) {
        if (namesStale) {
            m_names = files.entries(); // the list's names shared, in its order of now
        }
        if (foldersStale) {
            try {
                m_folders = platform::readPreviewFolders(m_syscalls, request.folder, m_names, request.saveFolder);
            } catch (const InOutError&) {
                // The folder cannot be read now: the names are shown without what lies around them.
                m_folders = PreviewFolders{};
            }
        }
        return previewListed(m_names, request, m_folders);
    });
    m_namesStale = false;
    m_foldersStale = false;
    m_summary->setText(fromUtf8(previewSummary(preview)));
    m_model->setPreview(std::move(preview), &m_source.orderTimes());
    fitColumns();
    selectAsFileList();
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
