#pragma once

#include "core/file_order.h"
#include "core/naming.h"
#include "core/preview_list.h"
#include "ui/file_list_menu.h"
#include "ui/handler_boundary.h"
#include "ui/shortcuts.h"

#include <QAbstractTableModel>
#include <QFileSystemWatcher>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <span>

class QLabel;
class QTableView;

namespace tallyfox::platform {
class Syscalls;
}

namespace tallyfox::ui {

class FileListBox;
class SaveFolderField;

// The rows of the preview list: 番号, 現在の名前, 新しい名前, 状態, and the time the list's order by
// time placed each file by (撮影日時 or 更新日時; the view shows it beside the current name). The names
// and states of the whole run are known; a row's texts are decoded and composed only when the view asks
// for them, for the rows on screen.
class PreviewListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PreviewListModel(QObject* parent = nullptr);

    enum Column
    {
        Number,
        Current,
        New,
        State,
        Time,
        ColumnCount,
    };

    const PreviewList& preview() const;
    // `times` is the list's own, kept alive by the window it belongs to.
    void setPreview(PreviewList preview, const OrderTimes* times);
    // Whether the list is in an order by time, and so has times to show.
    bool showsTimes() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    PreviewList m_preview;
    const OrderTimes* m_times = nullptr;
    QIcon m_problem;
    QIcon m_question;
};

// What the preview list follows in the main window.
struct PreviewSource
{
    FileListBox* files = nullptr;          // the list, its folder and its order
    SaveFolderField* saveFolder = nullptr; // where a copy or move goes
    std::function<NamingSettings()> naming;
    // The times of the list's present order by time.
    std::function<const OrderTimes&()> orderTimes;
};

// The preview list "プレビュー一覧": a window of its own, resizable and not modal, that shows every
// file's new name and what the run will do with it. While it is open it follows every change of the
// main window: the list's folders are read again when the list is listed anew or the save folder
// changes, or comes into being or goes; the names are composed again after each change of the settings
// or of the order. Its selected row is the file list's selected file. Esc closes it; the main window's
// keys work in it as they do there. It opens sized to its columns, never larger than the screen it
// opens on. Closing it never ends the program.
class PreviewWindow final : public QWidget
{
    Q_OBJECT

public:
    PreviewWindow(PreviewSource source,
                  platform::Syscalls& syscalls,
                  HandlerBoundary& boundary,
                  QWidget* parent = nullptr);

    // Shows the window in front, up to date.
    void open();
    // Something the names depend on changed in the main window; followed once control returns to the
    // event loop, so that a burst of changes is composed once.
    void follow();
    // A double click on `area` or any control in it opens the window.
    void openOnDoubleClick(QWidget& area);
    // The keys of the main window's buttons, which work here as they do there.
    void addOwnerShortcuts(std::span<const ButtonShortcut> shortcuts, QWidget& owner);

    const PreviewList& preview() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void followListing();
    void followOrder();
    void recompute();
    void fitColumns();
    void fitOnScreen();
    void watchSaveFolder(const std::string& saveFolder);
    void selectAsFileList();

    PreviewSource m_source;
    platform::Syscalls& m_syscalls;
    HandlerBoundary& m_boundary;
    PreviewListModel* m_model;
    QTableView* m_table;
    QLabel* m_summary;
    QTimer m_pending;
    // The folder the save folder lies in (or the nearest that exists): the save folder made, renamed or
    // removed changes it.
    QFileSystemWatcher m_saveFolderWatch;
    // Set while the window itself selects a row, so that the file list is not told of it again.
    bool m_selecting = false;
    int m_shownSelection = -1;
    // Composed by open() just before the window is shown, so showing it need not compose it again.
    bool m_fresh = false;
    // The width the longest state text needs.
    int m_stateWidth = 0;
    PreviewFolders m_folders;
    bool m_foldersStale = true;
    // The request of the last preview, without its names: they are taken from the list again only when
    // the list changed, not for a keystroke in a name field, and shared with the previews shown.
    RunRequest m_request;
    NameList m_names;
    bool m_namesStale = true;
    // The window the list belongs to, and whether the list was placed beside it yet.
    QWidget* m_owner = nullptr;
    bool m_placed = false;
};

// The file list's command "新しい名前の一覧(&L)...", which opens the preview list.
FileListCommand previewCommand(PreviewWindow& window);

} // namespace tallyfox::ui
