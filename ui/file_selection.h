#pragma once

#include "core/file_order.h"
#include "core/path_list.h"
#include "ui/file_list_menu.h"
#include "ui/handler_boundary.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QWidget;

namespace tallyfox {
class NameCollator;
enum class FileOrder;
} // namespace tallyfox

namespace tallyfox::platform {
class Syscalls;
struct EnteredFolder;
} // namespace tallyfox::platform

namespace tallyfox::ui {

class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class FilterComboBox;
class HiddenFileList;

// A list the window holds but never shows: the record of the paths a run produced. Entries are bytes,
// like the file names they hold.
class HiddenList final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    PathList entries;
    int itemIndex = -1;
};

// The controls of the file selection, made and placed by the window.
struct FileSelectionControls
{
    DriveComboBox* drives = nullptr;
    DirectoryListBox* folders = nullptr;
    FilterComboBox* filters = nullptr;
    FileListBox* files = nullptr;
    QLabel* count = nullptr;
    // The move buttons right of the count: the count never reaches them.
    QWidget* countLimit = nullptr;
    HiddenFileList* mirror = nullptr;
    HiddenList* producedPaths = nullptr;
};

// What the window does when the file selection changes.
struct FileSelectionHooks
{
    // The file list was listed anew or put in another order at one stroke: the preview follows.
    std::function<void()> fileListListed;
    // A new folder is shown: the window empties the typed extension.
    std::function<void()> folderShown;
};

// The drive, folder and filter choice, the file list and its hidden mirror, the count and the moves:
// what the left panel does. Folder input and output goes through the platform's folder functions.
// Each operation may raise an InOutError when a folder cannot be entered or read; what had not been done
// then stays undone.
class FileSelection final
{
public:
    FileSelection(FileSelectionControls controls,
                  FileSelectionHooks hooks,
                  HandlerBoundary& boundary,
                  platform::Syscalls& syscalls,
                  std::string mountTable,
                  std::string labelFolder);
    ~FileSelection();
    FileSelection(const FileSelection&) = delete;
    FileSelection& operator=(const FileSelection&) = delete;

    // The lists as the window is made: the mounted volumes, and both file lists in the process's current
    // directory, with the mask "*.*". Nothing is read or listed before the stored choices are known.
    void startInCurrentFolder();

    // Start-up of the file selection: the saved folder (if it names a folder), the filter list, the
    // saved filter index (outside the entries: the last), that entry's mask to both lists, the count.
    // A saved folder that cannot be entered is shown in the error box and the start folder kept; the
    // rest goes on. A given folder (the program's argument) is entered instead of the saved one; one
    // that does not exist or cannot be entered is shown in the error box and the start goes on as
    // without it.
    void start(const std::string& savedFolder,
               const std::string& filterList,
               int savedFilterIndex,
               const std::string& givenFolder = {});

    // The folder of the folder list, which the file lists share outside failures: an absolute path.
    const std::string& currentFolder() const;
    // Makes a folder current as opening it in the folder list does: enters it (a relative path from
    // the current folder), shows it in the folder list and its volume in the drive chooser, lists the
    // file list if its folder changed, then the folder change. An empty path, or the current folder,
    // changes nothing.
    void makeFolderCurrent(const std::string& path);

    // The user's choices in the left panel.
    void driveChosen(int index);
    void filterPicked();

    // What follows a change of drive, folder or filter: a repaint of the file list; the record of
    // produced paths emptied, the count written and the mirror listed with the new folder or mask.
    void driveChanged();
    void folderChanged();
    void filterChanged();

    // Gives the filter chooser a filter list. Unless it equals the current one apart from the case of A
    // to Z, its entries are rebuilt, the first is selected and the filter change follows.
    void setFilterList(const std::string& filterList);
    const std::string& filterList() const;
    // Selects a filter entry as the program does: no notification, no listing; an index outside the
    // entries selects none.
    void selectFilterIndex(int index);
    int filterIndex() const;
    // The mask of the selected filter entry; selects the last entry first when none is selected.
    std::string filterMask();

    // The selected file one place up or down, in both lists.
    void moveUp();
    void moveDown();
    // The file at `from` dragged to position `to`: selected, then moved there one place at a time, in
    // both lists, as the up and down buttons move it.
    void dragFile(int from, int to);
    // Puts both lists in an order at one stroke, as a series of moves would, keeping the selection on
    // the same file; the preview follows. The orders by time read the files' times, showing the busy
    // cursor for a long list; a file whose time cannot be read comes last.
    void reorder(FileOrder order);

    // The names of the file list in the order shown: the numbering order.
    const NameList& files() const;
    // The times the list was last put in order by, while it is in an order by time: kept through a
    // reversal and moves by hand, dropped by an order by name and by a new listing.
    const OrderTimes& orderTimes() const;

    // The end of a rename run: the file list and then its mirror listed anew, and the count written.
    void listAfterRun();
    // Lists the file list again from its folder with its mask; the preview follows.
    void relistFileList();
    // Reads the mirror again from its folder with its mask.
    void rereadMirror();
    void writeCount();
    // Writes a count into the count label: "ファイル： " and the number and "枚" where that fits left of
    // the move buttons, moved left into the panel's margin if need be; otherwise the number alone,
    // grouped in threes, with "枚", and the full caption as its tooltip.
    void showCount(qint64 count);

private:
    void showFolder(platform::EnteredFolder entered);
    platform::EnteredFolder enterFolder(const std::string& path);
    void listFileList(const std::string& folder, const std::string& mask);
    void listMirror(const std::string& folder, const std::string& mask);
    void readMirror(const std::string& folder, const std::string& mask);
    void setFileListFolder(const std::string& folder);
    void setFileListMask(const std::string& mask);
    void setMirrorMask(const std::string& mask);

    FileSelectionControls m_controls;
    FileSelectionHooks m_hooks;
    HandlerBoundary& m_boundary;
    platform::Syscalls& m_syscalls;
    std::unique_ptr<NameCollator> m_collator;
    // The list's collation with numbers in names compared by value.
    std::unique_ptr<NameCollator> m_naturalCollator;
    std::string m_mountTable;
    std::string m_labelFolder;
    // The process's current directory when the window was made.
    std::string m_startFolder;
    // Whether the file lists were listed since the window was made; until then they hold nothing.
    bool m_listed = false;
    OrderTimes m_orderTimes;
    // Where the count label was placed by the window: its place whenever the full caption fits there.
    std::optional<int> m_countLeft;
};

// The file list's submenu "並べ替え": one command for each order, open while the list holds a file.
FileListCommand reorderCommand(FileSelection& files);

} // namespace tallyfox::ui
