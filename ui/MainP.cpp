#include "ui/MainP.h"

#include "core/collation.h"
#include "core/errors.h"
#include "core/file_mask.h"
#include "core/rename_run.h"
#include "core/save_folder.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/file_operations.h"
#include "platform/folders.h"
#include "platform/help_viewer.h"
#include "platform/locale.h"
#include "platform/program_files.h"
#include "platform/screen.h"
#include "platform/volumes.h"
#include "ui/Option.h"
#include "ui/about_box.h"
#include "ui/accessible_names.h"
#include "ui/appearance.h"
#include "ui/pictures.h"
#include "ui/widgets/directory_list_box.h"
#include "ui/widgets/drive_combo_box.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
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
#include <QRadioButton>
#include <QTimer>
#include <QWindow>

#include <utility>

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

// A long listing shows the busy cursor from this many entries on.
constexpr std::size_t kBusyFromEntry = 101;

// The busy cursor of a long listing, shown from its 101st entry on and put back however the listing
// ends, also by an error.
class BusyCursor final
{
public:
    BusyCursor() = default;
    ~BusyCursor()
    {
        if (m_shown) {
            QGuiApplication::restoreOverrideCursor();
        }
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void show()
    {
        if (!m_shown) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            m_shown = true;
        }
    }

private:
    bool m_shown = false;
};

// Holds back a control's repainting while a handler works on it; it is repainted once at the end.
class HeldBackRepaint final
{
public:
    explicit HeldBackRepaint(QWidget* widget)
        : m_widget(widget)
        , m_wasEnabled(widget->updatesEnabled())
    {
        m_widget->setUpdatesEnabled(false);
    }
    ~HeldBackRepaint()
    {
        m_widget->setUpdatesEnabled(m_wasEnabled);
    }
    HeldBackRepaint(const HeldBackRepaint&) = delete;
    HeldBackRepaint& operator=(const HeldBackRepaint&) = delete;

private:
    QWidget* m_widget;
    bool m_wasEnabled;
};

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
    , m_collator(std::make_unique<NameCollator>(platform::userCollationLocale()))
    , m_mountTable(services.mountTable)
    , m_labelFolder(services.labelFolder)
    , m_help(services.help)
    , m_settings(services.settings)
{
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(applicationTitle());
    setFont(windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    createControls();
    setToolButtonPictures(*this);
    nameMainWindowControls(*this);
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

void TMain::createControls()
{
    createToolBar();
    createLeftPanel();
    createSettingsArea();

    ListBox1 = new HiddenList(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    FileListBox2 = new HiddenFileList(this);
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

    DriveComboBox1->setChooseHandler(
        [this](int index) {
            driveChosen(index);
        },
        boundary);
    DirectoryListBox1->setOpenHandler(
        [this](const std::string& path) {
            folderOpened(path);
        },
        boundary);
    FilterComboBox1->setPickHandler(
        [this] {
            filterChange();
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

namespace {

// The run's boxes and progress bar in this window; the end of the run lists both file lists anew.
class WindowRunHost final : public RunHost
{
public:
    WindowRunHost(TMain& main, platform::Dialogs& dialogs)
        : m_main(main)
        , m_dialogs(dialogs)
    {
    }

    RunAnswer ask(const std::string& text, RunBox box) override
    {
        platform::Message message{.text = QString::fromStdString(text), .caption = QStringLiteral("確認")};
        switch (box) {
        case RunBox::Report:
            message.icon = platform::MessageIcon::Information;
            break;
        case RunBox::FailureReport:
            message.icon = platform::MessageIcon::Warning;
            break;
        case RunBox::Confirmation:
            message.icon = platform::MessageIcon::Information;
            message.buttons = platform::MessageButtons::OkCancel;
            break;
        case RunBox::Overwrite:
            message.icon = platform::MessageIcon::Question;
            message.buttons = platform::MessageButtons::OkCancel;
            break;
        }
        return m_dialogs.message(message) == platform::MessageAnswer::Ok ? RunAnswer::Ok : RunAnswer::Cancel;
    }

    void setProgress(int percent) override
    {
        m_main.Gauge1->setValue(percent);
        m_main.Gauge1->repaint();
    }

    void relistFileLists() override
    {
        m_main.listFileListsAfterRun();
    }

private:
    TMain& m_main;
    platform::Dialogs& m_dialogs;
};

} // namespace

void TMain::setSaveFolder(const std::string& folder)
{
    m_saveFolder = folder;
    editSaveFolder->assignText(QFile::decodeName(QByteArray::fromStdString(folder)));
}

std::string TMain::saveFolder() const
{
    // A path whose bytes are not UTF-8 is shown with replacement characters; as long as the field shows
    // it unchanged, the path itself is the one chosen.
    const QString shown = editSaveFolder->text();
    if (shown == QFile::decodeName(QByteArray::fromStdString(m_saveFolder))) {
        return m_saveFolder;
    }
    return QFile::encodeName(shown).toStdString();
}

void TMain::sbRenameClick()
{
    ListBox1->entries.clear();
    RunRequest request;
    request.folder = FileListBox1->folder();
    // The files in the order the user sees them: that order is the numbering order.
    request.names = FileListBox1->entries();
    request.naming = namingSettings();
    request.saveFolder = saveFolder();
    request.confirmBeforeRun = ConfirmBeforeRun;
    WindowRunHost host(*this, m_boundary.dialogs());
    // One set of file operations per run: it keeps the run's folder open between renames.
    platform::PosixFileOperations files(m_syscalls);
    ListBox1->entries = runRename(request, host, files).records;
}

void TMain::listFileListsAfterRun()
{
    listFileListBox1Anew();
    // With the file list's folder and mask, the mirror takes its names.
    listFileListBox2(FileListBox2->folder, FileListBox2->mask);
    writeCount();
}

const std::string& TMain::currentFolder() const
{
    return DirectoryListBox1->directory();
}

TMain::EnteredFolder TMain::enterFolder(const std::string& path)
{
    const std::string& current = currentFolder();
    // A relative path is taken from the current folder, if that still exists.
    if (platform::isFolder(m_syscalls, current)) {
        platform::enterFolder(m_syscalls, current);
    }
    EnteredFolder entered;
    entered.folder = platform::enterFolder(m_syscalls, path);
    try {
        entered.subfolders = selectFolders(platform::readSubfolders(m_syscalls, "."), *m_collator);
    } catch (const InOutError&) {
        // A folder that can be entered but not read is not shown: the process goes back.
        if (platform::isFolder(m_syscalls, current)) {
            platform::enterFolder(m_syscalls, current);
        }
        throw;
    }
    return entered;
}

void TMain::showFolder(EnteredFolder entered)
{
    // The drive chooser follows the folder onto its volume once the folder has been entered, so that a
    // folder that cannot be entered leaves the chooser as it was.
    const int volume = platform::volumeOf(DriveComboBox1->volumes(), entered.folder);
    if (volume != DriveComboBox1->itemIndex()) {
        DriveComboBox1->setItemIndex(volume);
        DriveComboBox1Change();
    }
    DirectoryListBox1->setDirectory(entered.folder, entered.subfolders);
    setFileListBox1Folder(entered.folder);
    DirectoryListBox1Change();
}

void TMain::makeFolderCurrent(const std::string& path)
{
    if (path.empty() || path == currentFolder()) {
        return;
    }
    const HeldBackRepaint held(FileListBox1);
    showFolder(enterFolder(path));
}

void TMain::folderOpened(const std::string& path)
{
    makeFolderCurrent(path);
}

void TMain::driveChosen(int index)
{
    const int current = platform::volumeOf(DriveComboBox1->volumes(), currentFolder());
    if (index == current || index < 0) {
        return;
    }
    const HeldBackRepaint held(FileListBox1);
    EnteredFolder entered;
    try {
        entered = enterFolder(DriveComboBox1->volumes()[static_cast<std::size_t>(index)].mountPoint);
    } catch (const Error&) {
        // The chooser goes back to the volume of the folder that stays current.
        DriveComboBox1->setItemIndex(current);
        throw;
    }
    DirectoryListBox1->setDirectory(entered.folder, entered.subfolders);
    DriveComboBox1->setItemIndex(platform::volumeOf(DriveComboBox1->volumes(), entered.folder));
    setFileListBox1Folder(entered.folder);
    DirectoryListBox1Change();
    DriveComboBox1Change();
}

void TMain::DriveComboBox1Change()
{
    FileListBox1->viewport()->update();
}

void TMain::DirectoryListBox1Change()
{
    const HeldBackRepaint held(FileListBox1);
    ListBox1->entries.clear();
    editExt->assignText(QString());
    writeCount();
    listFileListBox2(currentFolder(), FileListBox2->mask);
}

void TMain::setFilterList(const std::string& filterList)
{
    if (FilterComboBox1->setFilterList(filterList)) {
        filterChange();
    }
}

const std::string& TMain::filterList() const
{
    return FilterComboBox1->filterList();
}

void TMain::selectFilterIndex(int index)
{
    FilterComboBox1->setItemIndex(index);
}

int TMain::filterIndex() const
{
    return FilterComboBox1->itemIndex();
}

std::string TMain::filterMask()
{
    return FilterComboBox1->mask();
}

void TMain::filterChange()
{
    const HeldBackRepaint held(FileListBox1);
    // Listed also when the mask stays: a manual order ends with every filter change.
    listFileListBox1(FileListBox1->folder(), filterMask());
    FilterComboBox1Change();
}

void TMain::FilterComboBox1Change()
{
    const HeldBackRepaint held(FileListBox1);
    ListBox1->entries.clear();
    writeCount();
    listFileListBox2(FileListBox2->folder, filterMask());
}

void TMain::startFileSelection(const std::string& savedFolder, const std::string& filterList, int savedFilterIndex)
{
    if (!savedFolder.empty() && platform::isFolder(m_syscalls, savedFolder)) {
        // A saved folder that can no longer be entered is reported and the start folder kept. The rest
        // of the start-up goes on: cut short, it would leave the other saved choices unloaded, and the
        // next close would overwrite them with the defaults.
        try {
            makeFolderCurrent(savedFolder);
        } catch (const Error& error) {
            m_boundary.showError(QString::fromUtf8(error.what()));
        }
    }
    setFilterList(filterList);
    selectFilterIndex(savedFilterIndex);
    const std::string mask = filterMask();
    setFileListBox1Mask(mask);
    setFileListBox2Mask(mask);
    writeCount();
}

void TMain::writeCount()
{
    lblCount->setText(QStringLiteral("ファイル： ") + QString::number(FileListBox1->count()) + QStringLiteral("枚"));
    lblCount->adjustSize();
}

TMain::Listing TMain::listFiles(const std::string& folder, const std::string& mask)
{
    Listing listing;
    listing.folder = platform::enterFolder(m_syscalls, folder);
    const FileMask fileMask(mask);
    BusyCursor busy;
    std::size_t wanted = 0;
    std::vector<FolderEntry> entries = platform::readFolder(m_syscalls, ".", [&](std::string_view name) {
        if (!listsName(name, fileMask)) {
            return false;
        }
        if (++wanted == kBusyFromEntry) {
            busy.show();
        }
        return true;
    });
    listing.names = orderFiles(std::move(entries), *m_collator);
    return listing;
}

void TMain::listFileListBox1(const std::string& folder, const std::string& mask)
{
    Listing listing = listFiles(folder, mask);
    FileListBox1->setListing(listing.folder, mask, std::move(listing.names));
    m_fileListsListed = true;
    FileListBox1Change();
}

void TMain::listFileListBox2(const std::string& folder, const std::string& mask)
{
    // Listed with the file list's folder and mask, the mirror takes the file list's names in the order
    // shown, a manual order included: it is read again only to be listed on its own.
    if (m_fileListsListed && folder == FileListBox1->folder() && mask == FileListBox1->mask()) {
        // Entering the folder again keeps it the process's current directory, as every listing does.
        const std::string entered = platform::enterFolder(m_syscalls, folder);
        if (entered == folder) {
            FileListBox2->folder = entered;
            FileListBox2->mask = mask;
            FileListBox2->entries = FileListBox1->entries();
            FileListBox2->selected = -1;
            return;
        }
    }
    readFileListBox2(folder, mask);
}

void TMain::readFileListBox2(const std::string& folder, const std::string& mask)
{
    Listing listing = listFiles(folder, mask);
    FileListBox2->folder = std::move(listing.folder);
    FileListBox2->mask = mask;
    FileListBox2->entries = std::move(listing.names);
    FileListBox2->selected = -1;
}

void TMain::listFileListBox1Anew()
{
    listFileListBox1(FileListBox1->folder(), FileListBox1->mask());
}

void TMain::listFileListBox2Anew()
{
    readFileListBox2(FileListBox2->folder, FileListBox2->mask);
}

void TMain::setFileListBox1Folder(const std::string& folder)
{
    if (folder != FileListBox1->folder() || !m_fileListsListed) {
        listFileListBox1(folder, FileListBox1->mask());
    }
}

void TMain::setFileListBox1Mask(const std::string& mask)
{
    if (mask != FileListBox1->mask() || !m_fileListsListed) {
        listFileListBox1(FileListBox1->folder(), mask);
    }
}

void TMain::setFileListBox2Mask(const std::string& mask)
{
    if (mask != FileListBox2->mask || !m_fileListsListed) {
        listFileListBox2(FileListBox2->folder, mask);
    }
}

void TMain::sbUpClick()
{
    moveUp(*FileListBox1, *FileListBox2);
}

void TMain::sbDownClick()
{
    moveDown(*FileListBox1, *FileListBox2);
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
        setSaveFolder(saveFolderText(*folder));
    }
}

QPoint TMain::centredPosition()
{
    // The frame is known once the window exists on the platform; a window manager that draws its frame
    // only when the window first appears leaves the outer size at the client size here.
    create();
    const QRect screen = platform::primaryScreenGeometry();
    const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    const QSize outer = size().grownBy(frame);
    return {screen.left() + (screen.width() - outer.width()) / 2,
            screen.top() + (screen.height() - outer.height()) / 2};
}

void TMain::FormCreate()
{
    // The folder list and both file lists start in the process's current directory, the file lists
    // with the mask "*.*"; the stored settings then take them where the user left them.
    DriveComboBox1->setVolumes(platform::mountedVolumes(m_syscalls, m_mountTable, m_labelFolder));
    const std::string start = platform::currentFolder(m_syscalls);
    FileListBox1->setFolder(start);
    FileListBox2->folder = start;
    DriveComboBox1->setItemIndex(platform::volumeOf(DriveComboBox1->volumes(), start));
    DirectoryListBox1->setDirectory(start, selectFolders(platform::readSubfolders(m_syscalls, start), *m_collator));
    loadSettings();
}

namespace {

// A stored choice of operation, pattern or extension mode: 1, 2 or 3 select that item, anything else the
// first.
int storedChoice(std::int32_t value)
{
    return value >= 1 && value <= 3 ? value : 0;
}

QString storedText(const SettingsFile& file, Setting id)
{
    return QString::fromStdString(readSetting(file, id));
}

} // namespace

void TMain::loadSettings()
{
    const SettingsFile& file = m_settings;
    // The stored place is used as it stands, also off the screen.
    const QPoint centred = centredPosition();
    move(readIntegerSetting(file, Setting::WindowLeft, centred.x()),
         readIntegerSetting(file, Setting::WindowTop, centred.y()));

    const std::string folder = readSetting(file, Setting::DirectoryPath);
    const std::string filters = composeFilterList(readSetting(file, Setting::NameFilter1),
                                                  readSetting(file, Setting::NameFilter2),
                                                  readSetting(file, Setting::NameFilter3),
                                                  readSetting(file, Setting::NameFilter4));
    startFileSelection(folder, filters, readIntegerSetting(file, Setting::SettingFilter));

    setSaveFolder(readSetting(file, Setting::SaveDirPath));
    rgSetting->setItemIndex(storedChoice(readIntegerSetting(file, Setting::SettingFile)));
    rgForm->setItemIndex(storedChoice(readIntegerSetting(file, Setting::SettingPattern)));
    seStartNum->setValue(readIntegerSetting(file, Setting::SettingNumber1));
    seZeroNum->setValue(readIntegerSetting(file, Setting::SettingNumber2));
    editPrevName->assignText(storedText(file, Setting::NamePrev));
    editLastName->assignText(storedText(file, Setting::NameLast));
    // After the folder, whose change empties the typed extension.
    rgExt->setItemIndex(storedChoice(readIntegerSetting(file, Setting::SettingExt)));
    editExt->assignText(storedText(file, Setting::NameExt));
    ConfirmBeforeRun = readIntegerSetting(file, Setting::DialogShow);
}

void TMain::FormShow()
{
    QApplication::processEvents();
    Panel1->setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
}

void TMain::FormClose()
{
    // Key by key; a key that cannot be written ends the saving there, and the window still closes.
    for (const Setting id : settingsOrder(SettingsProcedure::Save)) {
        switch (id) {
        case Setting::DirectoryPath:
            writeSetting(m_settings, id, currentFolder());
            break;
        case Setting::WindowLeft:
            writeIntegerSetting(m_settings, id, pos().x());
            break;
        case Setting::WindowTop:
            writeIntegerSetting(m_settings, id, pos().y());
            break;
        case Setting::SettingFilter:
            writeIntegerSetting(m_settings, id, filterIndex());
            break;
        case Setting::SettingFile:
            writeIntegerSetting(m_settings, id, rgSetting->itemIndex());
            break;
        case Setting::SaveDirPath:
            writeSetting(m_settings, id, saveFolder());
            break;
        case Setting::SettingPattern:
            writeIntegerSetting(m_settings, id, rgForm->itemIndex());
            break;
        case Setting::NamePrev:
            writeSetting(m_settings, id, editPrevName->text().toStdString());
            break;
        case Setting::NameLast:
            writeSetting(m_settings, id, editLastName->text().toStdString());
            break;
        // The numbers as the fields hold them; a typed value out of range is brought in by the next load.
        case Setting::SettingNumber1:
            writeIntegerSetting(m_settings, id, seStartNum->value());
            break;
        case Setting::SettingNumber2:
            writeIntegerSetting(m_settings, id, seZeroNum->value());
            break;
        case Setting::SettingExt:
            writeIntegerSetting(m_settings, id, rgExt->itemIndex());
            break;
        case Setting::NameExt:
            writeSetting(m_settings, id, editExt->text().toStdString());
            break;
        default:
            break;
        }
    }
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
    if (answer != platform::MessageAnswer::Yes) {
        return;
    }
    selectFilterIndex(0);
    filterChange();
    setSaveFolder(std::string());
    rgSetting->setItemIndex(static_cast<int>(FileOperation::RenameOnly));
    rgForm->setItemIndex(static_cast<int>(NamePattern::NumberOnly));
    editPrevName->assignText(QString());
    editLastName->assignText(QString());
    seStartNum->setValue(*settingKey(Setting::SettingNumber1).defaultNumber);
    seZeroNum->setValue(*settingKey(Setting::SettingNumber2).defaultNumber);
    rgExt->setItemIndex(static_cast<int>(ExtensionMode::Keep));
    editExt->assignText(QString());
    for (const Setting id : settingsOrder(SettingsProcedure::Reset)) {
        writeDefaultSetting(m_settings, id);
    }
}

void TMain::sbDialogClick()
{
    // A new dialog for every opening; it changes what it changes in this window itself.
    TOptionForm dialog(*this, m_settings, m_boundary, this);
    dialog.exec();
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
