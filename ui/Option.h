#pragma once

#include "ui/handler_boundary.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace tallyfox {
class SettingsFile;
}

namespace tallyfox::ui {

class TMain;
class TextField;
class ToolButton;

// The options dialog: the four extra filter extensions and whether a run asks first. Created for one
// opening; it loads its fields from the settings file, and OK stores them and applies them to the main
// window.
class TOptionForm final : public QDialog
{
    Q_OBJECT

public:
    TOptionForm(TMain& main, SettingsFile& settings, HandlerBoundary& boundary, QWidget* parent = nullptr);

    void FormCreate();
    void btnOKClick();
    void btnCancelClick();
    void sbHintClick();

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QGroupBox* gbFilter = nullptr;
    TextField* editFilter1 = nullptr;
    TextField* editFilter2 = nullptr;
    TextField* editFilter3 = nullptr;
    TextField* editFilter4 = nullptr;
    ToolButton* sbHint = nullptr;
    QCheckBox* cbShowDialog = nullptr;

private:
    TextField* extensionField(int slot) const;

    TMain& m_main;
    SettingsFile& m_settings;
    HandlerBoundary& m_boundary;
};

} // namespace tallyfox::ui
