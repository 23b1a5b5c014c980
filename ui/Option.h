#pragma once

#include "ui/handler_boundary.h"

#include <QDialog>

#include <array>
#include <string>

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace tallyfox {
class SettingsFile;
}

namespace tallyfox::ui {

class TextField;
class ToolButton;

// What the options dialog's OK stored: the four extra extensions as typed and whether a run asks first.
struct OptionValues
{
    std::array<std::string, 4> extensions;
    bool confirmBeforeRun = true;
};

// The options dialog: the four extra filter extensions and whether a run asks first. Created for one
// opening; it loads its fields from the settings file, and OK stores them and closes it accepted, its
// values then ready for the main window to apply.
class TOptionForm final : public QDialog
{
    Q_OBJECT

public:
    TOptionForm(SettingsFile& settings, HandlerBoundary& boundary, QWidget* parent = nullptr);

    // What OK stored; meaningful once the dialog was accepted.
    const OptionValues& values() const;

    void FormCreate();
    void btnOKClick();
    void btnCancelClick();
    void sbHintClick();

private:
    TextField* extensionField(std::size_t slot) const;

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
    QGroupBox* gbFilter = nullptr;
    std::array<TextField*, 4> m_extensionFields{};
    ToolButton* sbHint = nullptr;
    QCheckBox* cbShowDialog = nullptr;

    SettingsFile& m_settings;
    HandlerBoundary& m_boundary;
    OptionValues m_values;
};

} // namespace tallyfox::ui
