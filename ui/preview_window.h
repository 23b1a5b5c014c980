#pragma once

#include "core/naming.h"
#include "core/preview_list.h"
#include "ui/file_list_menu.h"
#include "ui/handler_boundary.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QTableView;

namespace tallyfox::platform {
class Syscalls;
}

namespace tallyfox::ui {

class FileListBox;
class SaveFolderField;

// The rows of the preview list: 番号, 現在の名前, 新しい名前, 状態. The names and states of the whole
// run are known; a row's texts are decoded and composed only when the view asks for them, for the rows
// on screen.
class PreviewListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PreviewListModel(QObject* parent = nullptr);

    const PreviewList& preview() const;
    void setPreview(PreviewList preview);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    PreviewList m_preview;
    QIcon m_problem;
    QIcon m_question;
};

// What the preview list follows in the main window.
struct PreviewSource
{
    FileListBox* files = nullptr;          // the list, its folder and its order
    SaveFolderField* saveFolder = nullptr; // where a copy or move goes
    std::function<NamingSettings()> naming;
};

// The preview list "プレビュー一覧": a window of its own, resizable and not modal, that shows every
// file's new name and what the run will do with it. While it is open it follows every change of the
// main window: the list's folders are read again when the list is listed anew or the save folder
// changes, the names are composed again after each change of the settings or of the order. Esc closes
// it. Closing it never ends the program.
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

    const PreviewList& preview() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void followListing();
    void followOrder();
    void recompute();

    PreviewSource m_source;
    platform::Syscalls& m_syscalls;
    HandlerBoundary& m_boundary;
    PreviewListModel* m_model;
    QTableView* m_table;
    QLabel* m_summary;
    QTimer m_pending;
    PreviewFolders m_folders;
    bool m_foldersStale = true;
    // The request of the last preview: its names are taken from the list again only when the list
    // changed, not for a keystroke in a name field.
    RunRequest m_request;
    bool m_namesStale = true;
    // The window the list belongs to, and whether the list was placed beside it yet.
    QWidget* m_owner = nullptr;
    bool m_placed = false;
};

// The file list's command "新しい名前の一覧(&L)...", which opens the preview list.
FileListCommand previewCommand(PreviewWindow& window);

} // namespace tallyfox::ui
