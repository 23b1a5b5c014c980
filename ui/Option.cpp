#include "ui/Option.h"

#include "core/filter_list.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "ui/MainP.h"
#include "ui/accessible_names.h"
#include "ui/appearance.h"
#include "ui/pictures.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include <array>

namespace tallyfox::ui {

namespace {

constexpr int kClientWidth = 378;
constexpr int kClientHeight = 145;

constexpr std::array kFilterKeys{
    Setting::NameFilter1, Setting::NameFilter2, Setting::NameFilter3, Setting::NameFilter4};
constexpr std::array kExtensionKeys{
    Setting::NameFString1, Setting::NameFString2, Setting::NameFString3, Setting::NameFString4};

template <typename Control> Control* place(Control* control, const char* name, int left, int top, int width, int height)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

} // namespace

TOptionForm::TOptionForm(TMain& main, SettingsFile& settings, HandlerBoundary& boundary, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    , m_main(main)
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
    std::array<TextField*, 4> fields{};
    for (std::size_t slot = 0; slot < fields.size(); ++slot) {
        fields[slot] = place(new TextField(gbFilter), names[slot], lefts[slot], 21, 65, 20);
    }
    editFilter1 = fields[0];
    editFilter2 = fields[1];
    editFilter3 = fields[2];
    editFilter4 = fields[3];

    sbHint = place(new ToolButton(gbFilter), "sbHint", 299, 20, 23, 22);
    sbHint->setFlat(false);
    sbHint->setPictures(toolPicture(QStringLiteral("hint")), toolPicture(QStringLiteral("hint_disabled")));
    sbHint->setToolTip(QStringLiteral("ヒント"));

    cbShowDialog = place(new QCheckBox(QStringLiteral("リネーム実行時，確認のダイアログを表示する"), this),
                         "cbShowDialog",
                         22,
                         79,
                         258,
                         17);

    QWidget::setTabOrder(btnOK, btnCancel);
    QWidget::setTabOrder(btnCancel, editFilter1);
    QWidget::setTabOrder(editFilter1, editFilter2);
    QWidget::setTabOrder(editFilter2, editFilter3);
    QWidget::setTabOrder(editFilter3, editFilter4);
    QWidget::setTabOrder(editFilter4, cbShowDialog);
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
    const QRect screen = platform::primaryScreenGeometry();
    move(screen.left() + (screen.width() - width()) / 2, screen.top() + (screen.height() - height()) / 2);

    m_boundary.run([this] {
        FormCreate();
    });
}

TextField* TOptionForm::extensionField(int slot) const
{
    const std::array<TextField*, 4> fields{editFilter1, editFilter2, editFilter3, editFilter4};
    return fields[static_cast<std::size_t>(slot)];
}

void TOptionForm::FormCreate()
{
    for (int slot = 0; slot < 4; ++slot) {
        extensionField(slot)->setText(
            QString::fromStdString(readSetting(m_settings, kExtensionKeys[static_cast<std::size_t>(slot)])));
    }
    cbShowDialog->setChecked(readIntegerSetting(m_settings, Setting::DialogShow) != 0);
}

void TOptionForm::btnOKClick()
{
    // Each slot's two keys are written before the next slot's, and the switch last; a write that fails
    // ends OK there, the dialog stays open and the main window is not touched.
    std::array<std::string, 4> fragments;
    for (std::size_t slot = 0; slot < fragments.size(); ++slot) {
        const std::string extension = extensionField(static_cast<int>(slot))->text().toStdString();
        fragments[slot] = extension.empty() ? std::string() : UserFilterEntry(extension);
        writeSetting(m_settings, kFilterKeys[slot], fragments[slot]);
        writeSetting(m_settings, kExtensionKeys[slot], extension);
    }
    const int confirm = cbShowDialog->isChecked() ? 1 : 0;
    writeIntegerSetting(m_settings, Setting::DialogShow, confirm);
    m_main.setFilterList(composeFilterList(fragments[0], fragments[1], fragments[2], fragments[3]));
    m_main.ConfirmBeforeRun = confirm;
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
