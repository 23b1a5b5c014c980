#include "ui/MainP.h"

#include "core/save_folder.h"
#include "platform/dialogs.h"
#include "platform/help_viewer.h"
#include "platform/program_files.h"
#include "platform/screen.h"
#include "ui/about_box.h"
#include "ui/appearance.h"
#include "ui/pictures.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

namespace tallyfox::ui {

namespace {

constexpr int kClientWidth = 421;
constexpr int kClientHeight = 453;

template <typename Control> Control* place(Control* control, const char* name, int left, int top, int width, int height)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(left, top, width, height);
    return control;
}

// A label sized to its caption, as labels are placed by their top-left corner only.
QLabel* placeLabel(QWidget* parent, const char* name, int left, int top, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->adjustSize();
    label->move(left, top);
    return label;
}

std::string toBytes(const QString& text)
{
    return text.toStdString();
}

} // namespace

QColor clBtnFace()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Button);
}

QColor clWindow()
{
    return QApplication::palette().color(QPalette::Active, QPalette::Base);
}

QColor fixedWhite()
{
    return {255, 255, 255};
}

TMain::TMain(Services services, QWidget* parent)
    : QWidget(parent,
              Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_boundary(services.dialogs)
    , m_help(services.help)
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(applicationTitle());
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    createControls();
    setToolButtonPictures(*this);
    connectHandlers();
    FormCreate();
}

TMain::~TMain()
{
    // The program ends with this window: a help viewer it asked for is no longer needed.
    if (!m_helpFile.empty()) {
        m_help.quit(m_helpFile);
    }
}

void TMain::createControls()
{
    createToolBar();
    createLeftPanel();
    createSettingsArea();

    ListBox1 = new HiddenList(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    FileListBox2 = new HiddenList(this);
    FileListBox2->setObjectName(QStringLiteral("FileListBox2"));

    setTabOrder();
}

void TMain::createToolBar()
{
    ToolBar1 = place(new QWidget(this), "ToolBar1", 0, 0, kClientWidth, 25);
    const auto gap = [this](const char* name, int left, int width, bool divider) {
        place(new ToolBarGap(divider, ToolBar1), name, left, 2, width, 20);
    };
    const auto button = [this](const char* name, int left, int width, const QString& caption, int spacing) {
        auto* b = place(new ToolButton(ToolBar1), name, left, 2, width, 20);
        b->setText(caption);
        b->setSpacing(spacing);
        return b;
    };
    gap("ToolButton1", 0, 2, false);
    sbRename = button("sbRename", 2, 72, QStringLiteral("実行"), 10);
    gap("ToolButton6", 74, 8, true);
    sbDialog = button("sbDialog", 82, 80, QStringLiteral("オプション"), 5);
    gap("ToolButton3", 162, 8, true);
    sbReset = button("sbReset", 170, 72, QStringLiteral("リセット"), 6);
    gap("ToolButton2", 242, 8, true);
    sbHelp = button("sbHelp", 250, 23, QString(), 4);
    sbHelp->setToolTip(QStringLiteral("ヘルプ"));
    gap("ToolButton4", 273, 8, true);
    sbAbout = button("sbAbout", 281, 23, QString(), 4);
    sbAbout->setToolTip(QStringLiteral("ヴァージョン情報"));
    gap("ToolButton5", 304, 8, true);
    sbExit = button("sbExit", 312, 72, QStringLiteral("終了"), 4);
    gap("ToolButton7", 384, 8, true);
}

void TMain::createLeftPanel()
{
    Panel1 = place(new QFrame(this), "Panel1", 0, 30, 160, 420);
    // The panel itself takes the focus when the window is shown, so no field shows it at first.
    Panel1->setFocusPolicy(Qt::ClickFocus);

    DriveComboBox1 = place(new QComboBox(Panel1), "DriveComboBox1", 1, 3, 155, 18);
    DirectoryListBox1 = place(new QListWidget(Panel1), "DirectoryListBox1", 1, 22, 155, 156);
    FilterComboBox1 = place(new QComboBox(Panel1), "FilterComboBox1", 1, 179, 155, 20);
    FileListBox1 = place(new FileListBox(Panel1), "FileListBox1", 1, 200, 155, 194);
    lblCount = placeLabel(Panel1, "lblCount", 10, 402, QStringLiteral("-"));

    sbUp = place(new ToolButton(Panel1), "sbUp", 107, 397, 21, 20);
    sbUp->setToolTip(QStringLiteral("上へ"));
    sbDown = place(new ToolButton(Panel1), "sbDown", 132, 397, 21, 20);
    sbDown->setToolTip(QStringLiteral("下へ"));
}

void TMain::createSettingsArea()
{
    gbSetting = place(new QGroupBox(this), "gbSetting", 159, 24, 261, 427);

    gbPreview = place(new QGroupBox(gbSetting), "gbPreview", 9, 10, 243, 36);
    Label2 = placeLabel(gbPreview, "Label2", 10, 14, QStringLiteral("プレビュー："));
    lblPreview = placeLabel(gbPreview, "lblPreview", 76, 14, QStringLiteral("-"));

    rgSetting = place(new RadioGroup(QStringLiteral("ファイル操作"),
                                     {QStringLiteral("リネームのみ"),
                                      QStringLiteral("リネーム＋コピー"),
                                      QStringLiteral("リネーム＋移動"),
                                      QStringLiteral("拡張子のみ変更")},
                                     2,
                                     gbSetting),
                      "rgSetting",
                      9,
                      52,
                      243,
                      60);

    gbSet = place(new QGroupBox(QStringLiteral("保存フォルダ"), gbSetting), "gbSet", 9, 119, 243, 45);
    editSaveFolder = place(new TextField(gbSet), "editSaveFolder", 8, 16, 204, 20);
    btnSave = place(new ToolButton(gbSet), "btnSave", 217, 16, 20, 20);
    btnSave->setText(QStringLiteral("..."));
    btnSave->setFlat(false);

    rgForm = place(new RadioGroup(QStringLiteral("パターン選択"),
                                  {QStringLiteral("連番のみ付加"),
                                   QStringLiteral("名前＋連番"),
                                   QStringLiteral("連番＋名前"),
                                   QStringLiteral("名前＋連番＋名前")},
                                  2,
                                  gbSetting),
                   "rgForm",
                   9,
                   171,
                   243,
                   60);

    gbPattern = place(new QGroupBox(QStringLiteral("パターン設定"), gbSetting), "gbPattern", 9, 237, 243, 100);
    Label4 = placeLabel(gbPattern, "Label4", 10, 18, QStringLiteral("名前(前)："));
    editPrevName = place(new TextField(gbPattern), "editPrevName", 70, 14, 163, 20);
    Label1 = placeLabel(gbPattern, "Label1", 10, 46, QStringLiteral("開始番号："));
    seStartNum = place(new NumberField(0, 99999, gbPattern), "seStartNum", 65, 41, 52, 21);
    Label7 = placeLabel(gbPattern, "Label7", 126, 46, QStringLiteral("連番桁数："));
    seZeroNum = place(new NumberField(1, 10, gbPattern), "seZeroNum", 181, 41, 52, 21);
    Label8 = placeLabel(gbPattern, "Label8", 10, 75, QStringLiteral("名前(後)："));
    editLastName = place(new TextField(gbPattern), "editLastName", 70, 70, 163, 20);

    rgExt = place(new RadioGroup(QStringLiteral("拡張子"),
                                 {QStringLiteral("変更しない"),
                                  QStringLiteral("大文字で統一"),
                                  QStringLiteral("小文字で統一"),
                                  QStringLiteral("指定：")},
                                 2,
                                 gbSetting),
                  "rgExt",
                  9,
                  342,
                  243,
                  60);
    // Lies on the extension choice, right of its fourth item.
    editExt = place(new TextField(gbSetting), "editExt", 184, 376, 60, 20);
    editExt->raise();

    Gauge1 = place(new Gauge(gbSetting), "Gauge1", 9, 410, 243, 10);

    // The initial states are those of a rename with the number alone and the extension kept.
    rgSetting->setItemIndex(0);
    rgForm->setItemIndex(0);
    rgExt->setItemIndex(0);
    seStartNum->setValue(1);
    seZeroNum->setValue(3);
    for (TextField* field : {editSaveFolder, editPrevName, editLastName, editExt}) {
        setFieldState(field, false);
    }
    btnSave->setEnabled(false);
}

void TMain::setTabOrder()
{
    const std::vector<QWidget*> order{
        DriveComboBox1,     DirectoryListBox1,
        FilterComboBox1,    FileListBox1,
        rgSetting->item(0), rgSetting->item(1),
        rgSetting->item(2), rgSetting->item(3),
        editSaveFolder,     rgForm->item(0),
        rgForm->item(1),    rgForm->item(2),
        rgForm->item(3),    editPrevName,
        seStartNum,         seZeroNum,
        editLastName,       rgExt->item(0),
        rgExt->item(1),     rgExt->item(2),
        rgExt->item(3),     editExt,
    };
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void TMain::connectHandlers()
{
    HandlerBoundary* boundary = &m_boundary;
    rgSetting->setClickHandler(
        [this] {
            rgSettingClick();
        },
        boundary);
    rgForm->setClickHandler(
        [this] {
            rgFormClick();
        },
        boundary);
    rgExt->setClickHandler(
        [this] {
            rgExtClick();
        },
        boundary);

    // These fields and the file list's selection do nothing but recompute the preview.
    const Handler preview = [this] {
        UpdatePreview();
    };
    for (TextField* field : {static_cast<TextField*>(seStartNum),
                             static_cast<TextField*>(seZeroNum),
                             editPrevName,
                             editLastName,
                             editExt}) {
        field->setChangeHandler(preview, boundary);
    }
    FileListBox1->setChangeHandler(
        [this] {
            FileListBox1Change();
        },
        boundary);

    connect(sbExit, &QToolButton::clicked, this, [this] {
        m_boundary.run([this] {
            sbExitClick();
        });
    });
    connect(sbHelp, &QToolButton::clicked, this, [this] {
        m_boundary.run([this] {
            sbHelpClick();
        });
    });
    connect(sbAbout, &QToolButton::clicked, this, [this] {
        m_boundary.run([this] {
            sbAboutClick();
        });
    });
    connect(btnSave, &QToolButton::clicked, this, [this] {
        m_boundary.run([this] {
            btnSaveClick();
        });
    });
}

NamingSettings TMain::namingSettings() const
{
    return {
        .operation = static_cast<FileOperation>(rgSetting->itemIndex()),
        .pattern = static_cast<NamePattern>(rgForm->itemIndex()),
        .extensionMode = static_cast<ExtensionMode>(rgExt->itemIndex()),
        .textBefore = toBytes(editPrevName->text()),
        .startNumber = seStartNum->value(),
        .digitCount = seZeroNum->value(),
        .textAfter = toBytes(editLastName->text()),
        .givenExtension = toBytes(editExt->text()),
    };
}

void TMain::UpdatePreview()
{
    const std::vector<std::string>& entries = FileListBox1->entries();
    const std::string caption = previewCaption(entries.empty() ? nullptr : &entries.front(), namingSettings());
    // The caption changes only once composing has succeeded: a format error leaves the last one.
    lblPreview->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    lblPreview->adjustSize();
}

void TMain::setFieldState(TextField* field, bool enabled)
{
    field->setEnabled(enabled);
    field->setBackground(enabled ? clWindow() : clBtnFace());
}

void TMain::applyNamePattern()
{
    const auto pattern = static_cast<NamePattern>(rgForm->itemIndex());
    const bool extensionOnly = rgSetting->itemIndex() == static_cast<int>(FileOperation::ExtensionOnly);
    const bool before = pattern == NamePattern::NameNumber || pattern == NamePattern::NameNumberName;
    const bool after = pattern == NamePattern::NumberName || pattern == NamePattern::NameNumberName;
    setFieldState(editPrevName, before && !extensionOnly);
    setFieldState(editLastName, after && !extensionOnly);
}

void TMain::rgSettingClick()
{
    const int operation = rgSetting->itemIndex();
    const bool renaming = operation == static_cast<int>(FileOperation::RenameOnly)
                          || operation == static_cast<int>(FileOperation::RenameCopy)
                          || operation == static_cast<int>(FileOperation::RenameMove);
    if (renaming) {
        const bool transfer = operation != static_cast<int>(FileOperation::RenameOnly);
        editSaveFolder->setEnabled(transfer);
        if (operation == static_cast<int>(FileOperation::RenameMove)) {
            editSaveFolder->setBackground(fixedWhite());
        } else {
            editSaveFolder->setBackground(transfer ? clWindow() : clBtnFace());
        }
        btnSave->setEnabled(transfer);
        rgForm->setEnabled(true);
        seStartNum->setEnabled(true);
        seZeroNum->setEnabled(true);
        rgExt->setItemIndex(static_cast<int>(ExtensionMode::Keep));
        setFieldState(editExt, false);
        applyNamePattern();
    } else {
        setFieldState(editSaveFolder, false);
        btnSave->setEnabled(false);
        rgForm->setEnabled(false);
        setFieldState(editPrevName, false);
        seStartNum->setEnabled(false);
        seZeroNum->setEnabled(false);
        setFieldState(editLastName, false);
        rgExt->setItemIndex(static_cast<int>(ExtensionMode::Specified));
        setFieldState(editExt, true);
    }
    UpdatePreview();
}

void TMain::rgFormClick()
{
    applyNamePattern();
    UpdatePreview();
}

void TMain::rgExtClick()
{
    setFieldState(editExt, rgExt->itemIndex() == static_cast<int>(ExtensionMode::Specified));
    UpdatePreview();
}

void TMain::FileListBox1Change()
{
    UpdatePreview();
}

void TMain::sbExitClick()
{
    close();
}

void TMain::sbHelpClick()
{
    // Looked up on every click, so that the help file follows the executable's present name.
    m_helpFile = platform::helpFileOf(platform::executablePath());
    m_help.showContents(m_helpFile, this);
}

void TMain::sbAboutClick()
{
    m_boundary.dialogs().message(versionBox());
}

void TMain::btnSaveClick()
{
    // The browser always starts from the top; the field's present text plays no part.
    const std::optional<std::string> folder =
        m_boundary.dialogs().chooseFolder(QStringLiteral("フォルダを選択して下さい。"));
    if (folder) {
        editSaveFolder->assignText(QFile::decodeName(QByteArray::fromStdString(saveFolderText(*folder))));
    }
}

void TMain::FormCreate()
{
    // Centred on the primary screen by the window's outer size until a stored place says otherwise. The
    // frame is known once the window exists on the platform; a window manager that draws its frame
    // only when the window first appears leaves the outer size at the client size here.
    create();
    const QRect screen = platform::primaryScreenGeometry();
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    const QSize outer = size().grownBy(frame);
    move(screen.left() + (screen.width() - outer.width()) / 2, screen.top() + (screen.height() - outer.height()) / 2);
}

void TMain::FormShow()
{
    QApplication::processEvents();
    Panel1->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

void TMain::FormClose()
{
}

void TMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        // Runs once the window is on screen, from the event loop rather than inside the showing.
        QTimer::singleShot(0, this, [this] {
            m_boundary.run([this] {
                FormShow();
            });
        });
    }
}

void TMain::closeEvent(QCloseEvent* event)
{
    m_boundary.run([this] {
        FormClose();
    });
    event->accept();
}

} // namespace tallyfox::ui
