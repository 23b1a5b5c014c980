#include "ui/Option.h"

#include "core/filter_list.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "ui/accessible_names.h"
#include "ui/appearance.h"
#include "ui/layout.h"
#include "ui/pictures.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include <array>
#include <optional>

namespace tallyfox::ui {

namespace {

constexpr int kClientWidth = 378;
constexpr int kClientHeight = 145;

// The options' keys of each slot: the filter list's fragment and the extension as typed.
constexpr std::array kFilterKeys{
    Setting::NameFilter1, Setting::NameFilter2, Setting::NameFilter3, Setting::NameFilter4};
constexpr std::array kExtensionKeys{
    Setting::NameFString1, Setting::NameFString2, Setting::NameFString3, Setting::NameFString4};

// The slot a key of the options belongs to, or none for the switch.
std::optional<std::size_t> slotOf(Setting id)
{
    for (std::size_t slot = 0; slot < kFilterKeys.size(); ++slot) {
        if (id == kFilterKeys[slot] || id == kExtensionKeys[slot]) {
            return slot;
        }
    }
    return std::nullopt;
}

} // namespace

TOptionForm::TOptionForm(SettingsFile& settings, HandlerBoundary& boundary, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    , m_settings(settings)
    , m_boundary(boundary)
{
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("オプション"));
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);

    btnOK = place(new QPushButton(QStringLiteral("OK"), this), "btnOK", 95, 112, 84, 23);
    btnOK->setDefault(true);
    btnCancel = place(new QPushButton(QStringLiteral("キャンセル"), this), "btnCancel", 199, 112, 84, 23);

    gbFilter = place(new QGroupBox(QStringLiteral("追加フィルタ"), this), "gbFilter", 22, 12, 333, 51);
    const std::array<const char*, 4> names{"editFilter1", "editFilter2", "editFilter3", "editFilter4"};
    const std::array<int, 4> lefts{10, 80, 150, 220};
    for (std::size_t slot = 0; slot < m_extensionFields.size(); ++slot) {
        m_extensionFields[slot] = place(new TextField(gbFilter), names[slot], lefts[slot], 21, 65, 20);
    }

    sbHint = place(new ToolButton(gbFilter), "sbHint", 299, 20, 23, 22);
    sbHint->setFlat(false);
    sbHint->setPictures(toolPicture(QStringLiteral("hint")), toolPicture(QStringLiteral("hint_disabled")));
    sbHint->setToolTip(QStringLiteral("ヒント"));
    // Reached by Tab after the extension fields, so the hint opens from the keyboard too; a click still
    // leaves the focus in the field being typed.
    sbHint->setFocusPolicy(Qt::TabFocus);

    cbShowDialog = place(new QCheckBox(QStringLiteral("リネーム実行時，確認のダイアログを表示する"), this),
                         "cbShowDialog",
                         22,
                         79,
                         258,
                         17);

    QWidget::setTabOrder(btnOK, btnCancel);
    QWidget::setTabOrder(btnCancel, m_extensionFields[0]);
    for (std::size_t slot = 1; slot < m_extensionFields.size(); ++slot) {
        QWidget::setTabOrder(m_extensionFields[slot - 1], m_extensionFields[slot]);
    }
    QWidget::setTabOrder(m_extensionFields.back(), sbHint);
    QWidget::setTabOrder(sbHint, cbShowDialog);
    nameOptionsControls(*this);

    connect(btnOK, &QPushButton::clicked, this, [this] {
        m_boundary.run([this] {
            btnOKClick();
        });
    });
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        m_boundary.run([this] {
            btnCancelClick();
        });
    });
    connect(sbHint, &QToolButton::clicked, this, [this] {
        m_boundary.run([this] {
            sbHintClick();
        });
    });

    // Centred on the screen.
    move(centredOnScreen(size()));

    m_boundary.run([this] {
        FormCreate();
    });
}

const OptionValues& TOptionForm::values() const
{
    return m_values;
}

TextField* TOptionForm::extensionField(std::size_t slot) const
{
    return m_extensionFields.at(slot);
}

void TOptionForm::FormCreate()
{
    for (const Setting id : settingsOrder(SettingsProcedure::OptionsLoad)) {
        if (const std::optional<std::size_t> slot = slotOf(id)) {
            extensionField(*slot)->setText(QString::fromStdString(readSetting(m_settings, id)));
        } else {
            cbShowDialog->setChecked(readIntegerSetting(m_settings, id) != 0);
        }
    }
}

void TOptionForm::btnOKClick()
{
    // Each slot's two keys are written before the next slot's, and the switch last; a write that fails
    // ends OK there and the dialog stays open, so the main window is not touched.
    OptionValues values;
    for (std::size_t slot = 0; slot < values.extensions.size(); ++slot) {
        values.extensions[slot] = extensionField(slot)->text().toStdString();
    }
    values.confirmBeforeRun = cbShowDialog->isChecked();
    for (const Setting id : settingsOrder(SettingsProcedure::OptionsStore)) {
        if (const std::optional<std::size_t> slot = slotOf(id)) {
            const std::string& extension = values.extensions[*slot];
            writeSetting(m_settings, id, id == kFilterKeys[*slot] ? UserFilterEntry(extension) : extension);
        } else {
            writeIntegerSetting(m_settings, id, values.confirmBeforeRun ? 1 : 0);
        }
    }
    m_values = std::move(values);
    accept();
}

void TOptionForm::btnCancelClick()
{
    reject();
}

void TOptionForm::sbHintClick()
{
    m_boundary.dialogs().message({
        .text = QStringLiteral("- フィルタの追加方法 -\r\n\r\n 1. ファイルの拡張子を半角小文字で入力\r\n 2. "
                               "拡張子の前にピリオドは付けない\r\n ex) MP3 → mp3 / メタファイル → wmf\r\n\r\n* "
                               "拡張子はフィルタボックスの最後に[ユーザー設定]として追加されます。  "),
        .caption = QStringLiteral("ヒント"),
        .icon = platform::MessageIcon::Information,
        .buttons = platform::MessageButtons::Ok,
    });
}

} // namespace tallyfox::ui
