#pragma once

#include "core/file_operations.h"
#include "core/naming.h"
#include "ui/handler_boundary.h"
#include "ui/services.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QFrame;
class QGroupBox;
class QLabel;

namespace tallyfox {
class SettingsFile;
}

namespace tallyfox::ui {

class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class FileListMenu;
class FileSelection;
class FilterComboBox;
class Gauge;
class HiddenFileList;
class HiddenList;
class MainSettings;
class NumberField;
class PreviewWindow;
class RadioGroup;
class RunHistory;
class SaveFolderField;
class TextField;
class ToolButton;
struct OptionValues;

// The main window: the tool bar, the file selection on the left, the operation and naming settings on
// the right. It lays out its controls, applies the state rules, and its handlers hand the work to the
// file selection, the settings and the run. The controls carry the names of the window's design as
// their object names, by which tests and screen readers find them.
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

    // The drive, folder and filter choice and the file lists.
    FileSelection& fileSelection();
    const FileSelection& fileSelection() const;

    // What the options dialog's OK stored, applied to this window: the filter list with the extra
    // extensions, and the switch.
    void applyOptions(const OptionValues& values);

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

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createToolBar();
    void createLeftPanel();
    void createSettingsArea();
    void setTabOrder();
    void connectHandlers();

    // Puts the dependent controls in the states the operation, pattern and extension mode call for.
    void applyControlStates();
    // Where the window stands without a stored place: centred on the primary screen by its outer size.
    QPoint centredPosition();

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
    QLabel* lblPreview = nullptr;
    RadioGroup* rgSetting = nullptr;
    QGroupBox* gbSet = nullptr;
    SaveFolderField* editSaveFolder = nullptr;
    ToolButton* btnSave = nullptr;
    RadioGroup* rgForm = nullptr;
    QGroupBox* gbPattern = nullptr;
    TextField* editPrevName = nullptr;
    NumberField* seStartNum = nullptr;
    NumberField* seZeroNum = nullptr;
    TextField* editLastName = nullptr;
    RadioGroup* rgExt = nullptr;
    TextField* editExt = nullptr;
    Gauge* Gauge1 = nullptr;

    HiddenList* ListBox1 = nullptr;
    HiddenFileList* FileListBox2 = nullptr;

    HandlerBoundary m_boundary;
    platform::Syscalls& m_syscalls;
    std::function<std::unique_ptr<FileOperations>(platform::Syscalls&)> m_fileOperations;
    platform::HelpViewer& m_help;
    SettingsFile& m_settings;
    std::unique_ptr<FileSelection> m_files;
    std::unique_ptr<MainSettings> m_storedSettings;
    std::string m_journalFolder;
    std::unique_ptr<RunHistory> m_history;
    FileListMenu* m_fileListMenu = nullptr; // owned by the file list
    // A window of its own, not a control of this one; it goes when this window goes.
    std::unique_ptr<PreviewWindow> m_previewWindow;
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
