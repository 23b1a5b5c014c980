#pragma once

#include "ui/MainP.h"
#include "ui/Option.h"
#include "ui/file_selection.h"
#include "ui/widgets/directory_list_box.h"
#include "ui/widgets/drive_combo_box.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/save_folder_field.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <memory>
#include <stdexcept>

namespace tallyfox::testing {

// A window's control by its object name, as a user or a screen reader finds it; a control that is not
// there (or not of that kind) ends the test with an exception rather than a null pointer.
template <typename T> T* named(const QObject& window, const char* name)
{
    T* control = window.findChild<T*>(QLatin1String(name));
    if (control == nullptr) {
        throw std::logic_error(std::string("no control named ") + name);
    }
    return control;
}

// The main window's controls, found by name.
struct MainControls
{
    explicit MainControls(const ui::TMain& w)
        : ToolBar1(named<QWidget>(w, "ToolBar1"))
        , sbRename(named<ui::ToolButton>(w, "sbRename"))
        , sbDialog(named<ui::ToolButton>(w, "sbDialog"))
        , sbReset(named<ui::ToolButton>(w, "sbReset"))
        , sbHelp(named<ui::ToolButton>(w, "sbHelp"))
        , sbAbout(named<ui::ToolButton>(w, "sbAbout"))
        , sbExit(named<ui::ToolButton>(w, "sbExit"))
        , Panel1(named<QFrame>(w, "Panel1"))
        , DriveComboBox1(named<ui::DriveComboBox>(w, "DriveComboBox1"))
        , DirectoryListBox1(named<ui::DirectoryListBox>(w, "DirectoryListBox1"))
        , FilterComboBox1(named<ui::FilterComboBox>(w, "FilterComboBox1"))
        , FileListBox1(named<ui::FileListBox>(w, "FileListBox1"))
        , lblCount(named<QLabel>(w, "lblCount"))
        , sbUp(named<ui::ToolButton>(w, "sbUp"))
        , sbDown(named<ui::ToolButton>(w, "sbDown"))
        , gbSetting(named<QGroupBox>(w, "gbSetting"))
        , gbPreview(named<QGroupBox>(w, "gbPreview"))
        , Label2(named<QLabel>(w, "Label2"))
        , lblPreview(named<QLabel>(w, "lblPreview"))
        , rgSetting(named<ui::RadioGroup>(w, "rgSetting"))
        , gbSet(named<QGroupBox>(w, "gbSet"))
        , editSaveFolder(named<ui::TextField>(w, "editSaveFolder"))
        , btnSave(named<ui::ToolButton>(w, "btnSave"))
        , rgForm(named<ui::RadioGroup>(w, "rgForm"))
        , gbPattern(named<QGroupBox>(w, "gbPattern"))
        , Label4(named<QLabel>(w, "Label4"))
        , editPrevName(named<ui::TextField>(w, "editPrevName"))
        , Label1(named<QLabel>(w, "Label1"))
        , seStartNum(named<ui::NumberField>(w, "seStartNum"))
        , Label7(named<QLabel>(w, "Label7"))
        , seZeroNum(named<ui::NumberField>(w, "seZeroNum"))
        , Label8(named<QLabel>(w, "Label8"))
        , editLastName(named<ui::TextField>(w, "editLastName"))
        , rgExt(named<ui::RadioGroup>(w, "rgExt"))
        , editExt(named<ui::TextField>(w, "editExt"))
        , Gauge1(named<ui::Gauge>(w, "Gauge1"))
        , ListBox1(named<ui::HiddenList>(w, "ListBox1"))
        , FileListBox2(named<ui::HiddenFileList>(w, "FileListBox2"))
    {
    }

    QWidget* ToolBar1;
    ui::ToolButton* sbRename;
    ui::ToolButton* sbDialog;
    ui::ToolButton* sbReset;
    ui::ToolButton* sbHelp;
    ui::ToolButton* sbAbout;
    ui::ToolButton* sbExit;
    QFrame* Panel1;
    ui::DriveComboBox* DriveComboBox1;
    ui::DirectoryListBox* DirectoryListBox1;
    ui::FilterComboBox* FilterComboBox1;
    ui::FileListBox* FileListBox1;
    QLabel* lblCount;
    ui::ToolButton* sbUp;
    ui::ToolButton* sbDown;
    QGroupBox* gbSetting;
    QGroupBox* gbPreview;
    QLabel* Label2;
    QLabel* lblPreview;
    ui::RadioGroup* rgSetting;
    QGroupBox* gbSet;
    ui::TextField* editSaveFolder; // a SaveFolderField
    ui::ToolButton* btnSave;
    ui::RadioGroup* rgForm;
    QGroupBox* gbPattern;
    QLabel* Label4;
    ui::TextField* editPrevName;
    QLabel* Label1;
    ui::NumberField* seStartNum;
    QLabel* Label7;
    ui::NumberField* seZeroNum;
    QLabel* Label8;
    ui::TextField* editLastName;
    ui::RadioGroup* rgExt;
    ui::TextField* editExt;
    ui::Gauge* Gauge1;
    ui::HiddenList* ListBox1;
    ui::HiddenFileList* FileListBox2;
};

// The options dialog's controls, found by name.
struct OptionControls
{
    explicit OptionControls(const ui::TOptionForm& d)
        : btnOK(named<QPushButton>(d, "btnOK"))
        , btnCancel(named<QPushButton>(d, "btnCancel"))
        , gbFilter(named<QGroupBox>(d, "gbFilter"))
        , editFilter1(named<ui::TextField>(d, "editFilter1"))
        , editFilter2(named<ui::TextField>(d, "editFilter2"))
        , editFilter3(named<ui::TextField>(d, "editFilter3"))
        , editFilter4(named<ui::TextField>(d, "editFilter4"))
        , sbHint(named<ui::ToolButton>(d, "sbHint"))
        , cbShowDialog(named<QCheckBox>(d, "cbShowDialog"))
    {
    }

    QPushButton* btnOK;
    QPushButton* btnCancel;
    QGroupBox* gbFilter;
    ui::TextField* editFilter1;
    ui::TextField* editFilter2;
    ui::TextField* editFilter3;
    ui::TextField* editFilter4;
    ui::ToolButton* sbHint;
    QCheckBox* cbShowDialog;
};

inline MainControls ctl(const ui::TMain& w)
{
    return MainControls(w);
}
inline MainControls ctl(const ui::TMain* w)
{
    return MainControls(*w);
}
inline MainControls ctl(const std::unique_ptr<ui::TMain>& w)
{
    return MainControls(*w);
}
inline OptionControls ctl(const ui::TOptionForm& d)
{
    return OptionControls(d);
}
inline OptionControls ctl(const ui::TOptionForm* d)
{
    return OptionControls(*d);
}
inline OptionControls ctl(const std::unique_ptr<ui::TOptionForm>& d)
{
    return OptionControls(*d);
}

} // namespace tallyfox::testing
