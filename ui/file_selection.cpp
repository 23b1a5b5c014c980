#include "ui/file_selection.h"

#include "core/collation.h"
#include "core/errors.h"
#include "core/file_order.h"
#include "core/integer_text.h"
#include "platform/file_times.h"
#include "platform/folders.h"
#include "platform/locale.h"
#include "platform/volumes.h"
#include "ui/widgets/directory_list_box.h"
#include "ui/widgets/drive_combo_box.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/window_at_work.h"

#include <QGuiApplication>
#include <QLabel>

#include <algorithm>
#include <climits>
#include <utility>

namespace tallyfox::ui {

namespace {

// A long listing shows the busy cursor from this many entries on.
constexpr std::size_t kBusyFromEntry = 101;

// The count's room in the panel: from the left edge of the lists to a gap before the move buttons.
constexpr int kCountRoomLeft = 1;
constexpr int kCountGap = 3;

// The busy cursor of a long listing, shown once the listing is long and put back however the listing
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

// Listed beside the window, which stays painted meanwhile; the busy cursor is on the screen before the
// listing reads on.
platform::FileListing listWithBusyCursor(platform::Syscalls& calls,
                                         const NameCollator& collator,
                                         const std::string& folder,
                                         const std::string& mask)
{
    BusyCursor busy;
    return besideWindow([&](WindowThread& window) {
        return platform::listFolderFiles(calls, collator, folder, mask, kBusyFromEntry, [&] {
            window.run([&busy] {
                busy.show();
            });
        });
    });
}

} // namespace

FileSelection::FileSelection(FileSelectionControls controls,
                             FileSelectionHooks hooks,
                             HandlerBoundary& boundary,
                             platform::Syscalls& syscalls,
                             std::string mountTable,
                             std::string labelFolder)
    : m_controls(controls)
    , m_hooks(std::move(hooks))
    , m_boundary(boundary)
    , m_syscalls(syscalls)
    , m_collator(std::make_unique<NameCollator>(platform::userCollationLocale()))
    , m_naturalCollator(std::make_unique<NameCollator>(platform::userCollationLocale(), DigitOrder::ByValue))
    , m_mountTable(std::move(mountTable))
    , m_labelFolder(std::move(labelFolder))
{
    m_controls.files->setDropHandler(
        [this](int from, int to) {
            dragFile(from, to);
        },
        &m_boundary);
}

FileSelection::~FileSelection() = default;

void FileSelection::startInCurrentFolder()
{
    m_controls.drives->setVolumes(platform::mountedVolumes(m_syscalls, m_mountTable, m_labelFolder));
    // Read with the stored choices: a start folder of many files is read once, and not at all when a
    // stored folder is shown instead.
    m_startFolder = platform::currentFolder(m_syscalls);
    m_controls.files->setFolder(m_startFolder);
    m_controls.mirror->folder = m_startFolder;
    m_controls.drives->setItemIndex(platform::volumeOf(m_controls.drives->volumes(), m_startFolder));
}

void FileSelection::start(const std::string& savedFolder,
                          const std::string& filterList,
                          int savedFilterIndex,
                          const std::string& givenFolder)
{
    m_controls.filters->setFilterList(filterList);
    selectFilterIndex(savedFilterIndex);
    const std::string mask = filterMask();
    m_controls.files->setMask(mask);
    m_controls.mirror->mask = mask;

    // Each folder that fails is reported and the start goes on: cut short, it would leave the other
    // stored choices unloaded, and the next close would overwrite them with the defaults. The folder the
    // program was given comes first (one that cannot be entered is reported like any other), then the
    // stored one, then the start folder; without any (the start folder is gone) the lists wait for the
    // first folder the user opens.
    std::vector<std::string> candidates;
    if (!givenFolder.empty()) {
        candidates.push_back(givenFolder);
    }
    if (!savedFolder.empty() && savedFolder != m_startFolder && platform::isFolder(m_syscalls, savedFolder)) {
        candidates.push_back(savedFolder);
    }
    if (!m_startFolder.empty()) {
        candidates.push_back(m_startFolder);
    }
    for (const std::string& folder : candidates) {
        try {
            BusyCursor busy;
            platform::FolderContents contents = besideWindow([&](WindowThread& window) {
                return platform::readFolderContents(
                    m_syscalls, *m_collator, m_startFolder, folder, mask, kBusyFromEntry, [&] {
                        window.run([&busy] {
                            busy.show();
                        });
                    });
            });
            m_controls.drives->setItemIndex(platform::volumeOf(m_controls.drives->volumes(), contents.folder));
            m_controls.folders->setDirectory(contents.folder, contents.subfolders);
            m_controls.files->setListing(contents.folder, mask, std::move(contents.files));
            m_listed = true;
            m_hooks.fileListListed();
            listMirror(contents.folder, mask);
            break;
        } catch (const Error& error) {
            m_boundary.showError(QString::fromUtf8(error.what()));
        }
    }
    writeCount();
}

const std::string& FileSelection::currentFolder() const
{
    return m_controls.folders->directory();
}

platform::EnteredFolder FileSelection::enterFolder(const std::string& path)
{
    return besideWindow([&](WindowThread&) {
        return platform::enterAndReadFolder(m_syscalls, *m_collator, currentFolder(), path);
    });
}

void FileSelection::showFolder(platform::EnteredFolder entered)
{
    // The drive chooser follows the folder onto its volume once the folder has been entered, so that a
    // folder that cannot be entered leaves the chooser as it was.
    const int volume = platform::volumeOf(m_controls.drives->volumes(), entered.folder);
    if (volume != m_controls.drives->itemIndex()) {
        m_controls.drives->setItemIndex(volume);
        driveChanged();
    }
    m_controls.folders->setDirectory(entered.folder, entered.subfolders);
    setFileListFolder(entered.folder);
    folderChanged();
}

void FileSelection::makeFolderCurrent(const std::string& path)
{
    if (path.empty() || path == currentFolder()) {
        return;
    }
    const HeldBackRepaint held(m_controls.files);
    showFolder(enterFolder(path));
}

void FileSelection::driveChosen(int index)
{
    DriveComboBox* drives = m_controls.drives;
    const int current = platform::volumeOf(drives->volumes(), currentFolder());
    if (index == current || index < 0) {
        return;
    }
    const HeldBackRepaint held(m_controls.files);
    platform::EnteredFolder entered;
    try {
        entered = enterFolder(drives->volumes()[static_cast<std::size_t>(index)].mountPoint);
    } catch (const Error&) {
        // The chooser goes back to the volume of the folder that stays current.
        drives->setItemIndex(current);
        throw;
    }
    m_controls.folders->setDirectory(entered.folder, entered.subfolders);
    drives->setItemIndex(platform::volumeOf(drives->volumes(), entered.folder));
    setFileListFolder(entered.folder);
    folderChanged();
    driveChanged();
}

void FileSelection::driveChanged()
{
    m_controls.files->viewport()->update();
}

void FileSelection::folderChanged()
{
    const HeldBackRepaint held(m_controls.files);
    m_controls.producedPaths->entries.clear();
    m_hooks.folderShown();
    writeCount();
    listMirror(currentFolder(), m_controls.mirror->mask);
}

void FileSelection::filterPicked()
{
    const HeldBackRepaint held(m_controls.files);
    // Listed also when the mask stays: a manual order ends with every filter change.
    listFileList(m_controls.files->folder(), filterMask());
    filterChanged();
}

void FileSelection::filterChanged()
{
    const HeldBackRepaint held(m_controls.files);
    m_controls.producedPaths->entries.clear();
    writeCount();
    listMirror(m_controls.mirror->folder, filterMask());
}

void FileSelection::setFilterList(const std::string& filterList)
{
    if (m_controls.filters->setFilterList(filterList)) {
        filterPicked();
    }
}

const std::string& FileSelection::filterList() const
{
    return m_controls.filters->filterList();
}

void FileSelection::selectFilterIndex(int index)
{
    m_controls.filters->setItemIndex(index);
}

int FileSelection::filterIndex() const
{
    return m_controls.filters->itemIndex();
}

std::string FileSelection::filterMask()
{
    return m_controls.filters->mask();
}

void FileSelection::moveUp()
{
    tallyfox::moveUp(*m_controls.files, *m_controls.mirror);
}

void FileSelection::moveDown()
{
    tallyfox::moveDown(*m_controls.files, *m_controls.mirror);
}

void FileSelection::dragFile(int from, int to)
{
    FileListBox* files = m_controls.files;
    const HeldBackRepaint held(files);
    files->setItemIndex(from);
    moveTo(*files, *m_controls.mirror, to);
}

void FileSelection::reorder(FileOrder order)
{
    FileListBox* files = m_controls.files;
    const NameList& names = files->entries();
    Reordering reordering;
    switch (order) {
    case FileOrder::Name:
        reordering = orderByName(names, *m_collator);
        m_orderTimes = {};
        break;
    case FileOrder::NaturalName:
        reordering = orderByName(names, *m_naturalCollator);
        m_orderTimes = {};
        break;
    case FileOrder::Modified:
    case FileOrder::Taken: {
        BusyCursor busy;
        const std::vector<FileTimes> times = besideWindow([&](WindowThread& window) {
            return platform::readFileTimes(m_syscalls,
                                           files->folder(),
                                           names,
                                           order == FileOrder::Taken ? platform::FileTimesWanted::ModifiedAndTaken
                                                                     : platform::FileTimesWanted::Modified,
                                           kBusyFromEntry,
                                           [&] {
                                               window.run([&busy] {
                                                   busy.show();
                                               });
                                           });
        });
        std::vector<std::optional<LocalTime>> keys;
        keys.reserve(times.size());
        for (const FileTimes& time : times) {
            keys.push_back(order == FileOrder::Taken ? takenOrModified(time) : time.modified);
        }
        reordering = orderByTime(names, keys, *m_collator);
        m_orderTimes = tallyfox::orderTimes(order, names, times);
        break;
    }
    case FileOrder::Reverse:
        reordering = reverseOrder(names.size());
        break;
    }
    {
        const HeldBackRepaint held(files);
        applyReordering(*files, *m_controls.mirror, reordering);
        const int selected = files->itemIndex();
        if (selected >= 0) {
            files->scrollTo(files->model()->index(selected, 0));
        }
    }
    m_hooks.fileListListed();
}

const NameList& FileSelection::files() const
{
    return m_controls.files->entries();
}

const OrderTimes& FileSelection::orderTimes() const
{
    return m_orderTimes;
}

void FileSelection::writeCount()
{
    showCount(m_controls.files->count());
}

void FileSelection::showCount(qint64 count)
{
    QLabel& label = *m_controls.count;
    if (!m_countLeft) {
        m_countLeft = label.x();
    }
    const int roomRight = m_controls.countLimit != nullptr ? m_controls.countLimit->x() - kCountGap : INT_MAX;
    const QString caption = QStringLiteral("ファイル： ") + QString::number(count) + QStringLiteral("枚");
    label.setText(caption);
    label.setToolTip(QString());
    label.adjustSize();
    if (*m_countLeft + label.width() <= roomRight) {
        label.move(*m_countLeft, label.y());
        return;
    }
    if (kCountRoomLeft + label.width() <= roomRight) {
        label.move(roomRight - label.width(), label.y());
        return;
    }
    // A long count reads best grouped; what it counts is said by the tooltip.
    label.setText(QString::fromStdString(groupedCount(static_cast<std::uint64_t>(count))) + QStringLiteral("枚"));
    label.setToolTip(caption);
    label.adjustSize();
    label.move(std::max(kCountRoomLeft, std::min(*m_countLeft, roomRight - label.width())), label.y());
}

void FileSelection::listFileList(const std::string& folder, const std::string& mask)
{
    platform::FileListing listing = listWithBusyCursor(m_syscalls, *m_collator, folder, mask);
    m_controls.files->setListing(listing.folder, mask, std::move(listing.names));
    m_orderTimes = {}; // a listing is in the order of names
    m_listed = true;
    m_hooks.fileListListed();
}

void FileSelection::listMirror(const std::string& folder, const std::string& mask)
{
    // Listed with the file list's folder and mask, the mirror takes the file list's names in the order
    // shown, a manual order included: it is read again only to be listed on its own.
    FileListBox* files = m_controls.files;
    HiddenFileList* mirror = m_controls.mirror;
    if (m_listed && folder == files->folder() && mask == files->mask()) {
        // Entering the folder again keeps it the process's current directory, as every listing does.
        const std::string entered = platform::enterFolder(m_syscalls, folder);
        if (entered == folder) {
            mirror->folder = entered;
            mirror->mask = mask;
            mirror->entries = files->entries(); // the same names, its order its own
            mirror->selected = -1;
            return;
        }
    }
    readMirror(folder, mask);
}

void FileSelection::readMirror(const std::string& folder, const std::string& mask)
{
    platform::FileListing listing = listWithBusyCursor(m_syscalls, *m_collator, folder, mask);
    HiddenFileList* mirror = m_controls.mirror;
    mirror->folder = std::move(listing.folder);
    mirror->mask = mask;
    mirror->entries = std::move(listing.names);
    mirror->selected = -1;
}

void FileSelection::relistFileList()
{
    listFileList(m_controls.files->folder(), m_controls.files->mask());
}

void FileSelection::rereadMirror()
{
    readMirror(m_controls.mirror->folder, m_controls.mirror->mask);
}

void FileSelection::listAfterRun()
{
    relistFileList();
    // With the file list's folder and mask, the mirror takes its names.
    listMirror(m_controls.mirror->folder, m_controls.mirror->mask);
    writeCount();
}

void FileSelection::setFileListFolder(const std::string& folder)
{
    if (folder != m_controls.files->folder() || !m_listed) {
        listFileList(folder, m_controls.files->mask());
    }
}

void FileSelection::setFileListMask(const std::string& mask)
{
    if (mask != m_controls.files->mask() || !m_listed) {
        listFileList(m_controls.files->folder(), mask);
    }
}

void FileSelection::setMirrorMask(const std::string& mask)
{
    if (mask != m_controls.mirror->mask || !m_listed) {
        listMirror(m_controls.mirror->folder, mask);
    }
}

FileListCommand reorderCommand(FileSelection& files)
{
    const auto order = [&files](const char* text, FileOrder order) {
        return FileListCommand{
            .text = QString::fromUtf8(text),
            .shortcut = {},
            .enabled = {},
            .run =
                [&files, order] {
                    files.reorder(order);
                },
        };
    };
    return {
        .text = QStringLiteral("並べ替え(&S)"),
        .shortcut = {},
        .enabled =
            [&files] {
                return !files.files().empty();
            },
        .run = {},
        .items =
            {
                order("名前順(&N)", FileOrder::Name),
                order("数字を考慮した名前順(&U)", FileOrder::NaturalName),
                order("更新日時順(&D)", FileOrder::Modified),
                order("撮影日時順(&T)", FileOrder::Taken),
                order("逆順(&R)", FileOrder::Reverse),
            },
    };
}

} // namespace tallyfox::ui
