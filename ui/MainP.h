#pragma once

#include "core/naming.h"
#include "ui/handler_boundary.h"
#include "ui/services.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QFrame;
class QGroupBox;
class QLabel;

namespace tallyfox {
class NameCollator;
class SettingsFile;
} // namespace tallyfox

namespace tallyfox::platform {
class Syscalls;
}

namespace tallyfox::ui {

class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class FilterComboBox;
class HiddenFileList;
class Gauge;
class NumberField;
class RadioGroup;
class TextField;
class ToolButton;

// A list the window holds but never shows: the mirror of the file list and the record of produced
// paths. Entries are bytes, like the file names they hold.
class HiddenList final : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    std::vector<std::string> entries;
    int itemIndex = -1;
};

// The main window: the tool bar, the file selection on the left, the operation and naming settings on
// the right. Its handlers translate control events into calls of the program's logic.
class TMain final : public QWidget
{
    Q_OBJECT

public:
    explicit TMain(Services services, QWidget* parent = nullptr);
    ~TMain() override;

    // Held for the run: 1 makes a run ask before it starts; any other value runs without asking.
    int ConfirmBeforeRun = 1;

    // The pattern settings as the controls hold them now; the numbers as read, not brought into range.
    NamingSettings namingSettings() const;

    // Recomputes the preview line from the controls and the first entry of the file list.
    void UpdatePreview();

    // The handlers, named for the control and the event that runs them.
    void FormCreate();
    void FormShow();
    void FormClose();
    void rgSettingClick();
    void rgFormClick();
    void rgExtClick();
    void sbExitClick();
    void sbRenameClick();
    void sbDialogClick();
    void sbResetClick();
    void sbHelpClick();
    void sbAboutClick();
    void btnSaveClick();
    void FileListBox1Change();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void FilterComboBox1Change();
    void sbUpClick();
    void sbDownClick();

    // File selection as the settings, the options dialog and the run use it. Each may raise an
    // InOutError when a folder cannot be entered or read; what had not been done then stays undone.

    // The folder of the folder list, which the file lists share outside failures: an absolute path.
    const std::string& currentFolder() const;
    // Makes a folder current as opening it in the folder list does: enters it (a relative path from
    // the current folder), shows it in the folder list and its volume in the drive chooser, lists the
    // file list if its folder changed, then DirectoryListBox1Change. An empty path, or the current
    // folder, changes nothing.
    void makeFolderCurrent(const std::string& path);

    // Gives the filter chooser a filter list (its `Filter`). Unless it equals the current one apart
    // from the case of A to Z, its entries are rebuilt, the first is selected and the filter change
    // follows (both file lists listed, the count written).
    void setFilterList(const std::string& filterList);
    // The filter list the chooser holds.
    const std::string& filterList() const;
    // Selects a filter entry as the program does: no notification, no listing; an index outside the
    // entries selects none.
    void selectFilterIndex(int index);
    // The selected filter entry, or -1.
    int filterIndex() const;
    // The mask of the selected filter entry; selects the last entry first when none is selected.
    std::string filterMask();
    // The filter change, as when the user picks the selected entry: lists the file list with the
    // entry's mask, then FilterComboBox1Change.
    void filterChange();

    // Start-up of the file selection: the saved folder (if it names a folder), the filter list, the
    // saved filter index (outside the entries: the last), that entry's mask to both lists, the count.
    // A saved folder that cannot be entered is shown in the error box and the start folder kept; the
    // rest goes on.
    void startFileSelection(const std::string& savedFolder, const std::string& filterList, int savedFilterIndex);

    // Lists the file list anew from its folder with its mask; the preview follows.
    void listFileListBox1Anew();
    // Lists the mirror anew from its folder with its mask, reading the folder (as the run needs after
    // renaming files).
    void listFileListBox2Anew();
    // Writes the count label from the number of entries of the file list.
    void writeCount();

    // The save folder: set as a path in bytes, read as the field holds it (typed text as UTF-8).
    void setSaveFolder(const std::string& folder);
    std::string saveFolder() const;

    // The end of a rename run: the file list and then its mirror listed anew, and the count written.
    void listFileListsAfterRun();

    // The controls, by the names the program's design gives them.
    QWidget* ToolBar1 = nullptr;
    ToolButton* sbRename = nullptr;
    ToolButton* sbDialog = nullptr;
    ToolButton* sbReset = nullptr;
    ToolButton* sbHelp = nullptr;
    ToolButton* sbAbout = nullptr;
    ToolButton* sbExit = nullptr;

    QFrame* Panel1 = nullptr;
    DriveComboBox* DriveComboBox1 = nullptr;
    DirectoryListBox* DirectoryListBox1 = nullptr;
    FilterComboBox* FilterComboBox1 = nullptr;
    FileListBox* FileListBox1 = nullptr;
    QLabel* lblCount = nullptr;
    ToolButton* sbUp = nullptr;
    ToolButton* sbDown = nullptr;

    QGroupBox* gbSetting = nullptr;
    QGroupBox* gbPreview = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblPreview = nullptr;
    RadioGroup* rgSetting = nullptr;
    QGroupBox* gbSet = nullptr;
    TextField* editSaveFolder = nullptr;
    ToolButton* btnSave = nullptr;
    RadioGroup* rgForm = nullptr;
    QGroupBox* gbPattern = nullptr;
    QLabel* Label4 = nullptr;
    TextField* editPrevName = nullptr;
    QLabel* Label1 = nullptr;
    NumberField* seStartNum = nullptr;
    QLabel* Label7 = nullptr;
    NumberField* seZeroNum = nullptr;
    QLabel* Label8 = nullptr;
    TextField* editLastName = nullptr;
    RadioGroup* rgExt = nullptr;
    TextField* editExt = nullptr;
    Gauge* Gauge1 = nullptr;

    HiddenList* ListBox1 = nullptr;
    HiddenFileList* FileListBox2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createToolBar();
    void createLeftPanel();
    void createSettingsArea();
    void setTabOrder();
    void connectHandlers();

    // The name fields' state under the current pattern.
    void applyNamePattern();
    void setFieldState(TextField* field, bool enabled);

    // Where the window stands without a stored place: centred on the primary screen by its outer size.
    QPoint centredPosition();
    // Applies the stored settings to the controls, each with its usual effects.
    void loadSettings();

    // The user's choices in the left panel.
    void driveChosen(int index);
    void folderOpened(const std::string& path);

    // A folder entered and its subfolders read, not yet shown.
    struct EnteredFolder
    {
        std::string folder;
        std::vector<std::string> subfolders;
    };
    // Enters `path` from the current folder (if it still exists) and reads its subfolders; on failure
    // the process goes back to the current folder and nothing is changed.
    EnteredFolder enterFolder(const std::string& path);
    // Steps after a folder has been entered: the folder list, the drive chooser, the file list and
    // DirectoryListBox1Change.
    void showFolder(EnteredFolder entered);

    // A listing of a folder's files under a mask: enters the folder, reads and orders its files.
    struct Listing
    {
        std::string folder;
        std::vector<std::string> names;
    };
    Listing listFiles(const std::string& folder, const std::string& mask);
    // Lists the file list with a folder and a mask; the preview follows.
    void listFileListBox1(const std::string& folder, const std::string& mask);
    // Lists the mirror with a folder and a mask: with the file list's own, it takes the file list's names
    // in the order shown; otherwise it reads the folder.
    void listFileListBox2(const std::string& folder, const std::string& mask);
    void readFileListBox2(const std::string& folder, const std::string& mask);
    // Sets a list's folder or mask, listing it when it changes.
    void setFileListBox1Folder(const std::string& folder);
    void setFileListBox1Mask(const std::string& mask);
    void setFileListBox2Mask(const std::string& mask);

    HandlerBoundary m_boundary;
    platform::Syscalls& m_syscalls;
    std::unique_ptr<NameCollator> m_collator;
    std::string m_mountTable;
    std::string m_labelFolder;
    // Whether the file lists were listed since the window was made; until then they hold nothing.
    bool m_fileListsListed = false;
    platform::HelpViewer& m_help;
    SettingsFile& m_settings;
    // The bytes of the save folder last set by the program, which the field can only show decoded.
    std::string m_saveFolder;
    // The help file of the last help request; empty until help is first asked for.
    std::string m_helpFile;
    bool m_shownOnce = false;
};

// The colours the field rules use: the button face of a field that cannot be edited, the window colour
// of one that can, and the fixed white of the save folder field while files are moved.
QColor clBtnFace();
QColor clWindow();
QColor fixedWhite();

} // namespace tallyfox::ui
