#pragma once

#include "core/naming.h"
#include "ui/handler_boundary.h"
#include "ui/services.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;

namespace tallyfox::ui {

class FileListBox;
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
    void sbHelpClick();
    void sbAboutClick();
    void btnSaveClick();
    void FileListBox1Change();

    // The controls, by the names the program's design gives them.
    QWidget* ToolBar1 = nullptr;
    ToolButton* sbRename = nullptr;
    ToolButton* sbDialog = nullptr;
    ToolButton* sbReset = nullptr;
    ToolButton* sbHelp = nullptr;
    ToolButton* sbAbout = nullptr;
    ToolButton* sbExit = nullptr;

    QFrame* Panel1 = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    QListWidget* DirectoryListBox1 = nullptr;
    QComboBox* FilterComboBox1 = nullptr;
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
    HiddenList* FileListBox2 = nullptr;

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

    HandlerBoundary m_boundary;
    platform::HelpViewer& m_help;
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
