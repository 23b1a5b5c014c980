#include "ui/MainP.h"

#include "core/control_states.h"
#include "core/errors.h"
#include "core/filter_list.h"
#include "core/save_folder.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/help_viewer.h"
#include "platform/posix_io.h"
#include "platform/program_files.h"
#include "ui/Option.h"
#include "ui/about_box.h"
#include "ui/accessible_names.h"
#include "ui/appearance.h"
#include "ui/file_selection.h"
#include "ui/layout.h"
#include "ui/main_settings.h"
#include "ui/pictures.h"
#include "ui/preview_window.h"
#include "ui/run_history.h"
#include "ui/shortcuts.h"
#include "ui/widgets/directory_list_box.h"
#include "ui/widgets/drive_combo_box.h"
#include "ui/widgets/elided_label.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/save_folder_field.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"
#include "ui/window_run.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace tallyfox::ui {

namespace {

constexpr int kClientWidth = 421;
constexpr int kClientHeight = 453;

std::string toBytes(const QString& text)
{
    return text.toStdString();
}

QColor colourOf(FieldColour colour)
{
    switch (colour) {
    case FieldColour::Window:
        return clWindow();
    case FieldColour::FixedWhite:
        return fixedWhite();
    case FieldColour::ButtonFace:
        break;
    }
    return clBtnFace();
}

void applyFieldState(TextField* field, FieldState state)
{
    field->setEnabled(state.enabled);
    field->setBackground(colourOf(state.colour));
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
    , m_syscalls(services.syscalls)
    , m_fileOperations(std::move(services.fileOperations))
    , m_help(services.help)
    , m_settings(services.settings)
    , m_journalFolder(services.journalFolder)
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(applicationTitle());
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    createToolBar();
    createLeftPanel();
    createSettingsArea();
    ListBox1 = new HiddenList(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    FileListBox2 = new HiddenFileList(this);
    FileListBox2->setObjectName(QStringLiteral("FileListBox2"));
    setTabOrder();
    setToolButtonPictures(*this);
    nameMainWindowControls(*this);

    m_files = std::make_unique<FileSelection>(
        FileSelectionControls{
            .drives = DriveComboBox1,
            .folders = DirectoryListBox1,
            .filters = FilterComboBox1,
            .files = FileListBox1,
            .count = lblCount,
            .countLimit = sbUp,
            .mirror = FileListBox2,
            .producedPaths = ListBox1,
        },
        FileSelectionHooks{
            .fileListListed =
                [this] {
                    FileListBox1Change();
                },
            .folderShown =
                [this] {
                    editExt->assignText(QString());
                },
        },
        m_boundary,
        m_syscalls,
        services.mountTable,
        services.labelFolder);
    m_storedSettings = std::make_unique<MainSettings>(m_settings,
                                                      SettingsControls{
                                                          .operation = rgSetting,
                                                          .pattern = rgForm,
                                                          .extensionMode = rgExt,
                                                          .startNumber = seStartNum,
                                                          .digitCount = seZeroNum,
                                                          .textBefore = editPrevName,
                                                          .textAfter = editLastName,
                                                          .givenExtension = editExt,
                                                          .saveFolder = editSaveFolder,
                                                      },
                                                      *this,
                                                      *m_files,
                                                      ConfirmBeforeRun,
                                                      services.startFolder);
    m_history = std::make_unique<RunHistory>(m_boundary.dialogs(), m_syscalls, m_journalFolder);
    m_history->showProgressOn([this](int percent) {
        Gauge1->setValue(percent);
        Gauge1->repaint();
    });
    m_fileListMenu = new FileListMenu(*FileListBox1, m_boundary);
    m_fileListMenu->add(undoCommand(*m_history, [this] {
        ListBox1->entries.clear(); // the paths of a run that is undone
        m_files->listAfterRun();
    }));
    m_previewWindow = std::make_unique<PreviewWindow>(PreviewSource{.files = FileListBox1,
                                                                    .saveFolder = editSaveFolder,
                                                                    .naming =
                                                                        [this] {
                                                                            return namingSettings();
                                                                        },
                                                                    .orderTimes = [this]() -> const OrderTimes& {
                                                                        return m_files->orderTimes();
                                                                    }},
                                                      m_syscalls,
                                                      m_boundary);
    m_previewWindow->openOnDoubleClick(*gbPreview);
    m_previewWindow->addOwnerShortcuts(mainWindowShortcuts(), *this);
    m_fileListMenu->add(previewCommand(*m_previewWindow));
    m_fileListMenu->add(reorderCommand(*m_files));
    connectHandlers();
    // An error while the window is made is shown like any other; the window still opens.
    m_boundary.run([this] {
        FormCreate();
    });
}

TMain::~TMain()
{
    // The program ends with this window: a help viewer it asked for is no longer needed.
    if (!m_helpFile.empty()) {
        m_help.quit(m_helpFile);
    }
}

FileSelection& TMain::fileSelection()
{
    return *m_files;
}

const FileSelection& TMain::fileSelection() const
{
    return *m_files;
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

    DriveComboBox1 = place(new DriveComboBox(Panel1), "DriveComboBox1", 1, 3, 155, 18);
    DirectoryListBox1 = place(new DirectoryListBox(Panel1), "DirectoryListBox1", 1, 22, 155, 156);
    FilterComboBox1 = place(new FilterComboBox(Panel1), "FilterComboBox1", 1, 179, 155, 20);
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
    placeLabel(gbPreview, "Label2", 10, 14, QStringLiteral("プレビュー："));
    lblPreview = new ElidedLabel(QStringLiteral("-"), gbPreview);
    // Grows with its caption up to the edge of its box, where a long preview is cut with "…".
    lblPreview->setMaximumWidth(gbPreview->width() - 76 - 8);
    placeLabel(lblPreview, "lblPreview", 76, 14);

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
    editSaveFolder = place(new SaveFolderField(gbSet), "editSaveFolder", 8, 16, 204, 20);
    btnSave = place(new ToolButton(gbSet), "btnSave", 217, 16, 20, 20);
    btnSave->setText(QStringLiteral("..."));
    btnSave->setFlat(false);
    // Unlike the tool bar's buttons, reached by Tab (after its field), so the folder can be browsed for
    // from the keyboard; a click still leaves the focus where it was.
    btnSave->setFocusPolicy(Qt::TabFocus);

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
    placeLabel(gbPattern, "Label4", 10, 18, QStringLiteral("名前(前)："));
    editPrevName = place(new TextField(gbPattern), "editPrevName", 70, 14, 163, 20);
    placeLabel(gbPattern, "Label1", 10, 46, QStringLiteral("開始番号："));
    seStartNum = place(new NumberField(0, 99999, gbPattern), "seStartNum", 65, 41, 52, 21);
    placeLabel(gbPattern, "Label7", 126, 46, QStringLiteral("連番桁数："));
    seZeroNum = place(new NumberField(1, 10, gbPattern), "seZeroNum", 181, 41, 52, 21);
    placeLabel(gbPattern, "Label8", 10, 75, QStringLiteral("名前(後)："));
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
    applyControlStates();
}

void TMain::setTabOrder()
{
    const std::vector<QWidget*> order{
        DriveComboBox1,
        DirectoryListBox1,
        FilterComboBox1,
        FileListBox1,
        rgSetting->item(0),
        rgSetting->item(1),
        rgSetting->item(2),
        rgSetting->item(3),
        editSaveFolder,
        btnSave,
        rgForm->item(0),
        rgForm->item(1),
        rgForm->item(2),
        rgForm->item(3),
        editPrevName,
        seStartNum,
        seZeroNum,
        editLastName,
        rgExt->item(0),
        rgExt->item(1),
        rgExt->item(2),
        rgExt->item(3),
        editExt,
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

    DriveComboBox1->setChooseHandler(
        [this](int index) {
            m_files->driveChosen(index);
        },
        boundary);
    DirectoryListBox1->setOpenHandler(
        [this](const std::string& path) {
            m_files->makeFolderCurrent(path);
        },
        boundary);
    FilterComboBox1->setPickHandler(
        [this] {
            m_files->filterPicked();
        },
        boundary);

    const auto clicked = [this](ToolButton* button, void (TMain::*handler)()) {
        connect(button, &QToolButton::clicked, this, [this, handler] {
            m_boundary.run([this, handler] {
                (this->*handler)();
            });
        });
    };
    clicked(sbRename, &TMain::sbRenameClick);
    clicked(sbDialog, &TMain::sbDialogClick);
    clicked(sbReset, &TMain::sbResetClick);
    clicked(sbExit, &TMain::sbExitClick);
    clicked(sbUp, &TMain::sbUpClick);
    clicked(sbDown, &TMain::sbDownClick);
    clicked(sbHelp, &TMain::sbHelpClick);
    clicked(sbAbout, &TMain::sbAboutClick);
    clicked(btnSave, &TMain::btnSaveClick);
    addButtonShortcuts(*this, mainWindowShortcuts());
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
    m_previewWindow->follow(); // scheduled first: a number format that cannot compose is shown there too
    const NameList& entries = FileListBox1->entries();
    const std::string first = entries.empty() ? std::string() : std::string(entries.front());
    const std::string caption = previewCaption(entries.empty() ? nullptr : &first, namingSettings());
    // The caption changes only once composing has succeeded: a format error leaves the last one.
    lblPreview->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    lblPreview->adjustSize();
}

void TMain::applyControlStates()
{
    const ControlStates states = controlStates(static_cast<FileOperation>(rgSetting->itemIndex()),
                                               static_cast<NamePattern>(rgForm->itemIndex()),
                                               static_cast<ExtensionMode>(rgExt->itemIndex()));
    applyFieldState(editSaveFolder, states.saveFolder);
    btnSave->setEnabled(states.saveFolderButton);
    rgForm->setEnabled(states.patternChoice);
    seStartNum->setEnabled(states.numberFields);
    seZeroNum->setEnabled(states.numberFields);
    applyFieldState(editPrevName, states.textBefore);
    applyFieldState(editLastName, states.textAfter);
    applyFieldState(editExt, states.givenExtension);
}

void TMain::rgSettingClick()
{
    // A newly chosen operation brings its extension mode; that choice's handler runs nested first.
    rgExt->setItemIndex(static_cast<int>(extensionModeOnChoosing(static_cast<FileOperation>(rgSetting->itemIndex()))));
    applyControlStates();
    UpdatePreview();
}

void TMain::rgFormClick()
{
    applyControlStates();
    UpdatePreview();
}

void TMain::rgExtClick()
{
    applyControlStates();
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

void TMain::sbRenameClick()
{
    ListBox1->entries.clear();
    RunRequest request;
    request.folder = FileListBox1->folder();
    // The files in the order the user sees them: that order is the numbering order. The run shares the
    // list's names rather than copying them.
    request.names = FileListBox1->entries();
    request.naming = namingSettings();
    request.saveFolder = editSaveFolder->path();
    request.confirmBeforeRun = ConfirmBeforeRun;
    const std::unique_ptr<FileOperations> operations = m_fileOperations(m_syscalls);
    platform::StoredRunRecord record(m_syscalls, m_journalFolder);
    RunResult result = runInWindow(std::move(request), m_boundary.dialogs(), *Gauge1, *m_files, *operations, record);
    if (result.started) {
        m_history->runEnded(record.written());
    }
    ListBox1->entries = std::move(result.records);
    request = {};
    // Once the user has closed the completion box: what the run held of every file is not kept.
    platform::returnFreedMemory();
}

void TMain::DriveComboBox1Change()
{
    m_files->driveChanged();
}

void TMain::DirectoryListBox1Change()
{
    m_files->folderChanged();
}

void TMain::FilterComboBox1Change()
{
    m_files->filterChanged();
}

void TMain::sbUpClick()
{
    m_files->moveUp();
}

void TMain::sbDownClick()
{
    m_files->moveDown();
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
        editSaveFolder->setPath(saveFolderText(*folder));
    }
}

QPoint TMain::centredPosition()
{
    // The frame is known once the window exists on the platform; a window manager that draws its frame
    // only when the window first appears leaves the outer size at the client size here.
    create();
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    return centredOnScreen(size().grownBy(frame));
}

void TMain::FormCreate()
{
    // A start folder that is gone or cannot be read is reported; the stored settings load all the same.
    try {
        m_files->startInCurrentFolder();
    } catch (const Error& error) {
        m_boundary.showError(QString::fromUtf8(error.what()));
    }
    m_storedSettings->load([this] {
        return centredPosition();
    });
}

void TMain::FormShow()
{
    QApplication::processEvents();
    Panel1->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

void TMain::FormClose()
{
    m_storedSettings->save();
}

void TMain::sbResetClick()
{
    const platform::MessageAnswer answer = m_boundary.dialogs().message({
        .text = QStringLiteral("設定をリセットし，初期化します。よろしいですか？   \r\n\r\n* "
                               "オプション項目は初期化されません。"),
        .caption = QStringLiteral("リセットの確認"),
        .icon = platform::MessageIcon::Question,
        .buttons = platform::MessageButtons::YesNo,
        .defaultButton = platform::MessageAnswer::Yes,
    });
    if (answer == platform::MessageAnswer::Yes) {
        m_storedSettings->reset();
    }
}

void TMain::sbDialogClick()
{
    // A new dialog for every opening; what its OK stored comes back to this window.
    TOptionForm dialog(m_settings, m_boundary, this);
    if (dialog.exec() == QDialog::Accepted) {
        applyOptions(dialog.values());
    }
}

void TMain::applyOptions(const OptionValues& values)
{
    const std::array<std::string, 4>& e = values.extensions;
    m_files->setFilterList(
        composeFilterList(UserFilterEntry(e[0]), UserFilterEntry(e[1]), UserFilterEntry(e[2]), UserFilterEntry(e[3])));
    ConfirmBeforeRun = values.confirmBeforeRun ? 1 : 0;
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
