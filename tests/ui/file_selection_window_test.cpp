#include "core/errors.h"
#include "core/file_order.h"
#include "core/filter_list.h"
#include "core/settings.h"
#include "tests/support/exif_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/settings_files.h"
#include "tests/support/window_controls.h"
#include "ui/widgets/directory_list_box.h"
#include "ui/widgets/drive_combo_box.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QToolTip>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace tallyfox;
using tallyfox::testing::ctl;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

void createFiles(const fs::path& folder, const Names& names)
{
    for (const std::string& name : names) {
        std::ofstream(folder / name) << name;
    }
}

// Midday of a day of May 2021, as a modification time: days apart, so no time zone changes the order.
void setModified(const fs::path& file, int day)
{
    const time_t seconds = 1619870400 + (day - 1) * 86400; // 2021-05-01 12:00 UTC
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

QString countText(int count)
{
    return QStringLiteral("ファイル： ") + QString::number(count) + QStringLiteral("枚");
}

} // namespace

class FileSelectionWindowTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;
    std::unique_ptr<testing::TempDir> m_dir;

    ui::TMain& w() const
    {
        return *m_fixture.window;
    }
    fs::path dir() const
    {
        return fs::canonical(m_dir->path());
    }
    Names listed() const
    {
        const NameList& names = ctl(w()).FileListBox1->entries();
        return {names.begin(), names.end()};
    }
    Names mirrored() const
    {
        const NameList& names = ctl(w()).FileListBox2->entries;
        return {names.begin(), names.end()};
    }
    QString preview() const
    {
        return ctl(w()).lblPreview->text();
    }
    int rowOf(const std::string& name) const
    {
        for (int row = 0; row < ctl(w()).DirectoryListBox1->count(); ++row) {
            if (ctl(w()).DirectoryListBox1->nameOf(row) == name) {
                return row;
            }
        }
        return -1;
    }
    // Opens a folder list entry as the user does: a double-click on it.
    void doubleClickFolder(int row)
    {
        ui::DirectoryListBox* list = ctl(w()).DirectoryListBox1;
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        const QPoint at = list->visualRect(index).center();
        // A double-click begins with a press, as the hand makes it.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    // Opens a folder list entry with the Enter key.
    void enterFolder(int row)
    {
        ui::DirectoryListBox* list = ctl(w()).DirectoryListBox1;
        list->setFocus();
        list->setCurrentIndex(list->model()->index(row, 0));
        QTest::keyClick(list, Qt::Key_Return);
    }
    void selectInFileList(int row)
    {
        ctl(w()).FileListBox1->setFocus();
        ctl(w()).FileListBox1->setCurrentIndex(ctl(w()).FileListBox1->model()->index(row, 0));
    }
    void click(ui::ToolButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    // A drag of a file list row dropped at a point of the list, as the view gets it.
    void dropRow(const QMimeData& data, const QPoint& at)
    {
        QWidget* viewport = ctl(w()).FileListBox1->viewport();
        QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(at), Qt::MoveAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(viewport, &drop);
    }
    QPoint lowerHalfOf(int row) const
    {
        const QRect rect = ctl(w()).FileListBox1->visualRect(ctl(w()).FileListBox1->model()->index(row, 0));
        return {rect.center().x(), rect.bottom() - 1};
    }
    QStringList errors() const
    {
        QStringList texts;
        for (const platform::Message& message : m_fixture.dialogs.messages) {
            texts << message.text;
        }
        return texts;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<testing::TempDir>();
        m_fixture.dialogs = {};
        m_fixture.mountTable.clear();
        m_fixture.folderArgument.clear();
    }

    void cleanup()
    {
        m_fixture.window.reset();
        QVERIFY(::chdir("/") == 0);
        m_dir.reset();
    }

    void listsTheVisibleFilesOfTheStartFolderInOrder()
    {
        createFiles(dir(), {"cherry.jpg", "img2.jpg", "Banana.jpg", "img10.jpg", "apple.jpg", "README", ".hidden.jpg"});
        fs::create_directory(dir() / "album.jpg");
        QCOMPARE(::mkfifo((dir() / "pipe.jpg").c_str(), 0600), 0);
        fs::create_symlink(dir() / "apple.jpg", dir() / "link.jpg");
        fs::create_symlink(dir() / "gone.jpg", dir() / "dangling.jpg");
        fs::create_symlink(dir() / "album.jpg", dir() / "folderlink.jpg");
        m_fixture.open(dir());

        const Names expected{"apple.jpg", "Banana.jpg", "cherry.jpg", "img10.jpg", "img2.jpg", "link.jpg", "README"};
        QCOMPARE(listed(), expected);
        QCOMPARE(mirrored(), expected);
        QCOMPARE(ctl(w()).FileListBox1->itemIndex(), -1);
        QCOMPARE(ctl(w()).lblCount->text(), countText(7));
        QCOMPARE(preview(), QStringLiteral("001.jpg ～"));
        QCOMPARE(ctl(w()).FileListBox1->folder(), dir().string());
        QCOMPARE(ctl(w()).FileListBox2->folder, dir().string());
        QCOMPARE(w().fileSelection().currentFolder(), dir().string());
        QCOMPARE(fs::current_path(), dir());
        QVERIFY(errors().isEmpty());
    }

    void theFilterChooserOffersTheBuiltInEntries()
    {
        m_fixture.open(dir());
        ui::FilterComboBox* filter = ctl(w()).FilterComboBox1;
        QCOMPARE(filter->count(), 8);
        QCOMPARE(filter->itemText(0), QStringLiteral("All Files (*.*)"));
        QCOMPARE(filter->itemText(7), QStringLiteral("HTML Files (*.html;*.htm)"));
        QCOMPARE(filter->currentIndex(), 0);
        QVERIFY(!filter->isEditable());
        QCOMPARE(w().fileSelection().filterList(), std::string(BuiltinFilterText));
    }

    void theFolderListShowsThePathAndTheVisibleSubfolders()
    {
        fs::create_directories(dir() / "deep");
        fs::create_directories(dir() / "Zoo");
        fs::create_directories(dir() / "apple");
        fs::create_directories(dir() / ".git");
        fs::create_directories(dir() / "Beta");
        createFiles(dir(), {"file.jpg"});
        fs::create_symlink(dir() / "apple", dir() / "linked");
        m_fixture.open(dir() / "deep");
        QVERIFY(errors().isEmpty());
        // Up to the parent, then into it: the parent's own entry is the current folder's.
        enterFolder(rowOf(dir().filename().string()));
        QVERIFY(errors().isEmpty());

        ui::DirectoryListBox* list = ctl(w()).DirectoryListBox1;
        Names rows;
        for (int row = 0; row < list->count(); ++row) {
            rows.push_back(list->nameOf(row));
        }
        Names expected{"/"};
        for (const auto& part : dir().relative_path()) {
            expected.push_back(part.string());
        }
        const int current = static_cast<int>(expected.size()) - 1;
        for (const char* name : {"apple", "Beta", "deep", "linked", "Zoo"}) {
            expected.push_back(name);
        }
        QCOMPARE(rows, expected);
        QCOMPARE(list->itemIndex(), current);
        QCOMPARE(list->pathOf(0), std::string("/"));
        QCOMPARE(list->pathOf(current), dir().string());
        QCOMPARE(list->pathOf(current + 1), (dir() / "apple").string());
        QCOMPARE(list->pathOf(1), "/" + expected[1]);
    }

    void openingASubfolderListsItAndEmptiesTheTypedExtension()
    {
        fs::create_directory(dir() / "sub");
        createFiles(dir(), {"a.jpg"});
        createFiles(dir() / "sub", {"b.png", "c.png"});
        m_fixture.open(dir());
        ctl(w()).rgExt->setItemIndex(3);
        ctl(w()).editExt->assignText(QStringLiteral("txt"));
        ctl(w()).ListBox1->entries = PathList("/x", {"001.jpg"});
        QCOMPARE(preview(), QStringLiteral("001.txt ～"));

        doubleClickFolder(rowOf("sub"));
        QVERIFY(errors().isEmpty());
        QCOMPARE(w().fileSelection().currentFolder(), (dir() / "sub").string());
        QCOMPARE(listed(), (Names{"b.png", "c.png"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(ctl(w()).FileListBox2->folder, (dir() / "sub").string());
        QVERIFY(ctl(w()).editExt->text().isEmpty());
        QCOMPARE(ctl(w()).rgExt->itemIndex(), 3);
        QVERIFY(ctl(w()).ListBox1->entries.empty());
        QCOMPARE(ctl(w()).lblCount->text(), countText(2));
        // The emptied extension gives the name ending in a dot.
        QCOMPARE(preview(), QStringLiteral("001. ～"));
        QCOMPARE(fs::current_path(), dir() / "sub");

        // The root entry opens the root.
        doubleClickFolder(0);
        QCOMPARE(w().fileSelection().currentFolder(), std::string("/"));
        QCOMPARE(ctl(w()).DirectoryListBox1->itemIndex(), 0);
    }

    void aFilterChangeKeepsTheTypedExtension()
    {
        createFiles(dir(), {"a.jpg", "b.png", "c.jpeg", "dpng"});
        m_fixture.open(dir());
        ctl(w()).rgExt->setItemIndex(3);
        ctl(w()).editExt->assignText(QStringLiteral("txt"));
        ctl(w()).ListBox1->entries = PathList("/x", {"001.jpg"});
        ctl(w()).FilterComboBox1->setFocus();
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QCOMPARE(w().fileSelection().filterIndex(), 1);
        QCOMPARE(listed(), (Names{"a.jpg", "c.jpeg"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(ctl(w()).FileListBox1->mask(), std::string("*.jpg;*jpeg"));
        QCOMPARE(ctl(w()).editExt->text(), QStringLiteral("txt"));
        QVERIFY(ctl(w()).ListBox1->entries.empty());
        QCOMPARE(ctl(w()).lblCount->text(), countText(2));
        // PNG: every name that ends in png, with or without a dot.
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QCOMPARE(w().fileSelection().filterIndex(), 4);
        QCOMPARE(listed(), (Names{"b.png", "dpng"}));
        QCOMPARE(ctl(w()).lblCount->text(), countText(2));
        QVERIFY(errors().isEmpty());
    }

    void theMoveButtonsSwapInBothListsAndLeaveThePreview()
    {
        createFiles(dir(), {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
        m_fixture.open(dir());
        // Nothing selected after a listing: the buttons do nothing.
        click(ctl(w()).sbUp);
        click(ctl(w()).sbDown);
        QCOMPARE(listed(), (Names{"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}));

        selectInFileList(2);
        ctl(w()).lblPreview->setText(QStringLiteral("untouched"));
        click(ctl(w()).sbUp);
        QCOMPARE(listed(), (Names{"a.jpg", "c.jpg", "b.jpg", "d.jpg", "e.jpg"}));
        QCOMPARE(mirrored(), listed());
        click(ctl(w()).sbUp);
        QCOMPARE(listed(), (Names{"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(ctl(w()).FileListBox1->itemIndex(), 0);
        QCOMPARE(ctl(w()).FileListBox2->itemIndex(), 0);
        click(ctl(w()).sbUp);
        QCOMPARE(listed(), (Names{"c.jpg", "a.jpg", "b.jpg", "d.jpg", "e.jpg"}));
        QCOMPARE(preview(), QStringLiteral("untouched"));
        QCOMPARE(ctl(w()).lblCount->text(), countText(5));

        selectInFileList(3);
        ctl(w()).lblPreview->setText(QStringLiteral("untouched"));
        click(ctl(w()).sbDown);
        click(ctl(w()).sbDown);
        click(ctl(w()).sbDown);
        QCOMPARE(listed(), (Names{"c.jpg", "a.jpg", "b.jpg", "e.jpg", "d.jpg"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(ctl(w()).FileListBox1->itemIndex(), 4);
        QCOMPARE(preview(), QStringLiteral("untouched"));
        QVERIFY(errors().isEmpty());
    }

    void aManualOrderLastsUntilTheNextListing()
    {
        createFiles(dir(), {"a.jpg", "b.jpg", "c.jpg"});
        m_fixture.open(dir());
        const Names sorted{"a.jpg", "b.jpg", "c.jpg"};
        const Names moved{"a.jpg", "c.jpg", "b.jpg"};
        const auto move = [&] {
            selectInFileList(2);
            click(ctl(w()).sbUp);
            QCOMPARE(listed(), moved);
        };

        // Opening the current folder's own entry changes nothing.
        move();
        enterFolder(ctl(w()).DirectoryListBox1->currentFolderRow());
        QCOMPARE(listed(), moved);
        QCOMPARE(mirrored(), moved);
        // Neither does choosing the volume of the current folder.
        ctl(w()).DriveComboBox1->activated(ctl(w()).DriveComboBox1->itemIndex());
        QCOMPARE(listed(), moved);

        // Another filter entry with the same mask lists anew.
        w().fileSelection().setFilterList("Jpeg|*.jpg|Also jpeg|*.jpg");
        QCOMPARE(listed(), sorted);
        move();
        ctl(w()).FilterComboBox1->setFocus();
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QCOMPARE(w().fileSelection().filterIndex(), 1);
        QCOMPARE(listed(), sorted);
        QCOMPARE(mirrored(), sorted);

        // A filter list that differs only in the case of letters is not taken: the order stays.
        move();
        w().fileSelection().setFilterList("JPEG|*.JPG|ALSO JPEG|*.JPG");
        QCOMPARE(listed(), moved);
        QCOMPARE(w().fileSelection().filterIndex(), 1);
        QCOMPARE(ctl(w()).FileListBox1->mask(), std::string("*.jpg"));

        // A folder change lists anew.
        fs::create_directory(dir() / "sub");
        w().fileSelection().makeFolderCurrent((dir() / "sub").string());
        QCOMPARE(listed(), Names{});
        w().fileSelection().makeFolderCurrent("..");
        QCOMPARE(w().fileSelection().currentFolder(), dir().string());
        QCOMPARE(listed(), sorted);
        QCOMPARE(mirrored(), sorted);
        QVERIFY(errors().isEmpty());
    }

    void aFolderRemovedSinceItWasShownChangesNothing()
    {
        fs::create_directory(dir() / "gone");
        createFiles(dir(), {"a.jpg", "b.jpg"});
        m_fixture.open(dir());
        selectInFileList(1);
        click(ctl(w()).sbUp);
        ctl(w()).editExt->assignText(QStringLiteral("txt"));
        const int rows = ctl(w()).DirectoryListBox1->count();
        fs::remove(dir() / "gone");

        doubleClickFolder(rowOf("gone"));
        QCOMPARE(errors(), QStringList{QStringLiteral("不正なファイル名です.")});
        const platform::Message& box = m_fixture.dialogs.messages.front();
        QCOMPARE(box.caption, QStringLiteral("Tallyfox"));
        QCOMPARE(box.icon, platform::MessageIcon::Error);
        QCOMPARE(w().fileSelection().currentFolder(), dir().string());
        QCOMPARE(ctl(w()).DirectoryListBox1->count(), rows);
        QCOMPARE(listed(), (Names{"b.jpg", "a.jpg"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(ctl(w()).lblCount->text(), countText(2));
        QCOMPARE(ctl(w()).editExt->text(), QStringLiteral("txt"));
        QCOMPARE(fs::current_path(), dir());
    }

    void refusedAccessIsShownAndChangesNothing()
    {
        fs::create_directory(dir() / "locked");
        createFiles(dir(), {"a.jpg"});
        m_fixture.open(dir());
        // The second chdir is the one into the folder (the first re-enters the current folder).
        m_fixture.syscalls->fail("chdir", m_fixture.syscalls->calls("chdir") + 2, EACCES);
        enterFolder(rowOf("locked"));
        QCOMPARE(errors(), QStringList{QStringLiteral("ファイルへのアクセスが拒否されました.")});
        QCOMPARE(w().fileSelection().currentFolder(), dir().string());
        QCOMPARE(listed(), (Names{"a.jpg"}));

        // A folder that can be entered but not read goes back too.
        m_fixture.syscalls->fail("opendir", m_fixture.syscalls->calls("opendir") + 1, EACCES);
        enterFolder(rowOf("locked"));
        QCOMPARE(errors().size(), 2);
        QCOMPARE(w().fileSelection().currentFolder(), dir().string());
        QCOMPARE(fs::current_path(), dir());
        QCOMPARE(listed(), (Names{"a.jpg"}));
    }

    void aNameThatIsNotUtf8IsListedAndKeptIntact()
    {
        const std::string latin1 = "caf\xe9.jpg";
        createFiles(dir(), {latin1, "zebra.jpg", "apple.jpg"});
        m_fixture.open(dir());
        const Names names = listed();
        QCOMPARE(names.size(), std::size_t{3});
        QCOMPARE(names.front(), std::string("apple.jpg"));
        QVERIFY(std::find(names.begin(), names.end(), latin1) != names.end());
        QCOMPARE(mirrored(), names);
        // Shown with a replacement character; the entry's bytes still address the file.
        const int row = static_cast<int>(std::find(names.begin(), names.end(), latin1) - names.begin());
        const QString shown = ctl(w()).FileListBox1->model()->index(row, 0).data().toString();
        QVERIFY(shown.contains(QChar(0xFFFD)));
        struct stat st
        {
        };
        QCOMPARE(::stat(names[static_cast<std::size_t>(row)].c_str(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
    }

    void theBusyCursorIsPutBackWhenAListingFails()
    {
        Names many;
        for (int i = 0; i < 150; ++i) {
            many.push_back("f" + std::to_string(i) + ".jpg");
        }
        createFiles(dir(), many);
        m_fixture.open(dir());
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(ctl(w()).FileListBox1->count(), 150);

        bool busyWhileReading = false;
        const int readdirs = m_fixture.syscalls->calls("readdir");
        m_fixture.syscalls->before("readdir", readdirs + 130, [&busyWhileReading] {
            busyWhileReading = QGuiApplication::overrideCursor() != nullptr
                               && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        m_fixture.syscalls->fail("readdir", readdirs + 140, EIO);
        ctl(w()).FilterComboBox1->setFocus();
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QVERIFY(busyWhileReading);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(errors(), QStringList{QStringLiteral("I/O エラー (5).")});
        // The list keeps its entries and its mask.
        QCOMPARE(ctl(w()).FileListBox1->count(), 150);
        QCOMPARE(ctl(w()).FileListBox1->mask(), std::string("*.*"));
    }

    void theMirrorTakesTheFileListsNamesInsteadOfReadingAgain()
    {
        createFiles(dir(), {"a.jpg", "b.png"});
        m_fixture.open(dir());
        const int opened = m_fixture.syscalls->calls("opendir");
        ctl(w()).FilterComboBox1->setFocus();
        QTest::keyClick(ctl(w()).FilterComboBox1, Qt::Key_Down);
        QCOMPARE(m_fixture.syscalls->calls("opendir"), opened + 1);
        QCOMPARE(mirrored(), (Names{"a.jpg"}));

        // Listed anew for the run, the mirror reads the folder: it then shows what the folder holds.
        fs::rename(dir() / "a.jpg", dir() / "_001.jpg");
        w().fileSelection().rereadMirror();
        QCOMPARE(m_fixture.syscalls->calls("opendir"), opened + 2);
        QCOMPARE(mirrored(), (Names{"_001.jpg"}));
        QCOMPARE(listed(), (Names{"a.jpg"}));
        w().fileSelection().relistFileList();
        QCOMPARE(listed(), (Names{"_001.jpg"}));
        QCOMPARE(preview(), QStringLiteral("001.jpg ～"));
    }

    void startUpWithSavedValues_data()
    {
        QTest::addColumn<int>("savedIndex");
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("count");
        QTest::newRow("jpeg entry") << 1 << 1 << 2;
        QTest::newRow("index beyond the last selects html") << 12 << 7 << 1;
        QTest::newRow("minus one selects the last") << -1 << 7 << 1;
        QTest::newRow("first entry") << 0 << 0 << 4;
    }

    void startUpWithSavedValues()
    {
        QFETCH(int, savedIndex);
        QFETCH(int, selected);
        QFETCH(int, count);
        fs::create_directory(dir() / "saved");
        createFiles(dir() / "saved", {"a.jpg", "bjpeg", "c.htm", "d.txt"});
        m_fixture.open(dir());
        ctl(w()).rgExt->setItemIndex(3);
        w().fileSelection().start((dir() / "saved").string(), std::string(BuiltinFilterText), savedIndex);
        QCOMPARE(w().fileSelection().currentFolder(), (dir() / "saved").string());
        QCOMPARE(w().fileSelection().filterIndex(), selected);
        QCOMPARE(ctl(w()).FilterComboBox1->currentIndex(), selected);
        QCOMPARE(ctl(w()).FileListBox1->count(), count);
        QCOMPARE(ctl(w()).FileListBox2->count(), count);
        QCOMPARE(ctl(w()).lblCount->text(), countText(count));
        QVERIFY(errors().isEmpty());
    }

    // `tallyfox FOLDER`, as a file manager starts it: that folder instead of the stored one, which is
    // stored at close as usual; a folder that cannot be entered is reported and the start goes on as
    // without it.
    void aFolderArgumentIsWhereTheProgramStarts_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("startsIn");
        QTest::addColumn<bool>("reported");
        QTest::newRow("a folder") << QStringLiteral("{dir}/given") << QStringLiteral("given") << false;
        QTest::newRow("a folder relative to the working folder")
            << QStringLiteral("given") << QStringLiteral("given") << false;
        QTest::newRow("the working folder itself") << QStringLiteral(".") << QString() << false;
        QTest::newRow("a folder that does not exist")
            << QStringLiteral("{dir}/gone") << QStringLiteral("stored") << true;
        QTest::newRow("a file") << QStringLiteral("{dir}/given/a.jpg") << QStringLiteral("stored") << true;
    }

    void aFolderArgumentIsWhereTheProgramStarts()
    {
        QFETCH(QString, given);
        QFETCH(QString, startsIn);
        QFETCH(bool, reported);
        for (const char* folder : {"given", "stored"}) {
            fs::create_directory(dir() / folder);
            createFiles(dir() / folder, {std::string(folder) + ".jpg", "a.jpg"});
        }
        const fs::path ini = m_fixture.settingsFolder.path() / "tallyfox.ini";
        testing::writeBytes(ini, "[Directory]\nPath=" + (dir() / "stored").string() + "\n");
        m_fixture.folderArgument =
            given.replace(QStringLiteral("{dir}"), QString::fromStdString(dir().string())).toStdString();
        m_fixture.open(dir());

        const fs::path expected = startsIn.isEmpty() ? dir() : dir() / startsIn.toStdString();
        QCOMPARE(QString::fromStdString(w().fileSelection().currentFolder()),
                 QString::fromStdString(expected.string()));
        QCOMPARE(listed(), startsIn.isEmpty() ? Names{} : (Names{"a.jpg", startsIn.toStdString() + ".jpg"}));
        if (reported) {
            // The folder error the folder list gives for the same folder.
            QString usual;
            try {
                w().fileSelection().makeFolderCurrent(m_fixture.folderArgument);
            } catch (const Error& error) {
                usual = QString::fromUtf8(error.what()) + QStringLiteral(".");
            }
            QCOMPARE(errors(), QStringList{usual});
        } else {
            QVERIFY(errors().isEmpty());
        }
        w().close();
        QCOMPARE(readSettingsValue(testing::readBytes(ini), "Directory", "Path"), expected.string());
    }

    // Each folder's list starts at its top, wherever the last one was scrolled to.
    void aNewFolderStartsAtTheTopOfItsList()
    {
        for (const char* folder : {"first", "second"}) {
            fs::create_directory(dir() / folder);
            Names names;
            for (int i = 0; i < 100; ++i) {
                names.push_back("photo" + std::to_string(1000 + i) + ".jpg");
            }
            createFiles(dir() / folder, names);
        }
        m_fixture.open(dir() / "first");
        QScrollBar* bar = ctl(w()).FileListBox1->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        ctl(w()).FileListBox1->scrollToBottom();
        QCOMPARE(bar->value(), bar->maximum());
        w().fileSelection().makeFolderCurrent("../second");
        QCOMPARE(QString::fromStdString(w().fileSelection().currentFolder()),
                 QString::fromStdString((dir() / "second").string()));
        QCOMPARE(bar->value(), 0);
    }

    // A name too long for the list's width shows in full in a tooltip; one that fits shows none.
    void aLongNameShowsInFullOnDemand()
    {
        const std::string longName = "2024年夏の北海道旅行_富良野のラベンダー畑で撮った写真_その一.jpg";
        createFiles(dir(), {"a.jpg", longName});
        m_fixture.open(dir());
        ui::FileListBox* list = ctl(w()).FileListBox1;
        QCOMPARE(listed(), (Names{longName, "a.jpg"}));
        QVERIFY(list->isElided(0));
        QVERIFY(!list->isElided(1));
        const QPoint at = list->visualRect(list->model()->index(0, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        QCOMPARE(QToolTip::text(), QString::fromStdString(longName));
    }

    void aSavedFolderThatIsGoneIsIgnored()
    {
        createFiles(dir(), {"a.jpg"});
        m_fixture.open(dir());
        w().fileSelection().start((dir() / "gone").string(), std::string(BuiltinFilterText), 0);
        QCOMPARE(w().fileSelection().currentFolder(), dir().string());
        QVERIFY(errors().isEmpty());
    }

    void aNewFilterListSelectsTheFirstEntryAndLists()
    {
        createFiles(dir(), {"a.jpg", "b.raw"});
        m_fixture.open(dir());
        w().fileSelection().selectFilterIndex(1);
        QCOMPARE(listed(), (Names{"a.jpg", "b.raw"})); // selecting by program lists nothing
        w().fileSelection().setFilterList(composeFilterList(UserFilterEntry("raw"), "", "", ""));
        QCOMPARE(w().fileSelection().filterIndex(), 0);
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 9);
        QCOMPARE(ctl(w()).FilterComboBox1->itemText(8), QStringLiteral("ユーザー設定 (*.raw)"));
        w().fileSelection().selectFilterIndex(8);
        QCOMPARE(w().fileSelection().filterMask(), std::string("*.raw"));
        w().fileSelection().filterPicked();
        QCOMPARE(listed(), (Names{"b.raw"}));
        QCOMPARE(mirrored(), listed());

        // No entries at all: the mask is "*.*".
        w().fileSelection().setFilterList("nothing");
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 0);
        QCOMPARE(w().fileSelection().filterIndex(), -1);
        QCOMPARE(listed(), (Names{"a.jpg", "b.raw"}));
        QCOMPARE(ctl(w()).lblCount->text(), countText(2));
    }

    void theDriveChooserFollowsTheFolderAcrossVolumes()
    {
        fs::create_directories(dir() / "vol" / "inner");
        fs::create_directories(dir() / "home");
        createFiles(dir() / "vol", {"v.jpg"});
        createFiles(dir() / "home", {"h.jpg"});
        std::ofstream(dir() / "mounts") << "/dev/tallyfox-root / ext4 rw 0 0\n"
                                        << "/dev/tallyfox-vol " << (dir() / "vol").string() << " vfat rw 0 0\n";
        fs::create_directory(dir() / "labels");
        fs::create_symlink("/dev/tallyfox-vol", dir() / "labels" / "CARD");
        m_fixture.mountTable = (dir() / "mounts").string();
        m_fixture.labelFolder = (dir() / "labels").string();
        m_fixture.open(dir() / "home");

        ui::DriveComboBox* drives = ctl(w()).DriveComboBox1;
        QCOMPARE(drives->count(), 2);
        QCOMPARE(drives->itemText(0), QStringLiteral("/"));
        QCOMPARE(drives->itemText(1), QString::fromStdString((dir() / "vol").string()) + QStringLiteral(" [card]"));
        QCOMPARE(drives->itemIndex(), 0);

        ctl(w()).editExt->assignText(QStringLiteral("txt"));
        drives->setFocus();
        QTest::keyClick(drives, Qt::Key_Down);
        QVERIFY(errors().isEmpty());
        QCOMPARE(drives->itemIndex(), 1);
        QCOMPARE(w().fileSelection().currentFolder(), (dir() / "vol").string());
        QCOMPARE(listed(), (Names{"v.jpg"}));
        QCOMPARE(mirrored(), listed());
        QVERIFY(ctl(w()).editExt->text().isEmpty());
        QCOMPARE(ctl(w()).lblCount->text(), countText(1));

        // Making a folder of the other volume current selects that volume.
        w().fileSelection().makeFolderCurrent((dir() / "home").string());
        QCOMPARE(drives->itemIndex(), 0);
        QCOMPARE(listed(), (Names{"h.jpg"}));

        // A volume that cannot be entered leaves everything, the chooser included, as it was.
        // The first chdir re-enters the current folder, the second is the one onto the volume.
        m_fixture.syscalls->fail("chdir", m_fixture.syscalls->calls("chdir") + 2, EACCES);
        QTest::keyClick(drives, Qt::Key_Down);
        QCOMPARE(errors(), QStringList{QStringLiteral("ファイルへのアクセスが拒否されました.")});
        QCOMPARE(drives->itemIndex(), 0);
        QCOMPARE(w().fileSelection().currentFolder(), (dir() / "home").string());
        QCOMPARE(listed(), (Names{"h.jpg"}));
    }

    void draggingAFileMovesItInBothListsLikeTheButtons()
    {
        createFiles(dir(), {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
        m_fixture.open(dir());
        ui::FileListBox* files = ctl(w()).FileListBox1;
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, lowerHalfOf(1));
        QCOMPARE(files->itemIndex(), 1);
        ctl(w()).lblPreview->setText(QStringLiteral("untouched"));

        // The drag the list starts carries its row; dropped on the lower half of d, b goes after d.
        std::unique_ptr<QMimeData> dragged(files->model()->mimeData({files->model()->index(1, 0)}));
        QVERIFY(dragged != nullptr);
        dropRow(*dragged, lowerHalfOf(3));
        QCOMPARE(listed(), (Names{"a.jpg", "c.jpg", "d.jpg", "b.jpg", "e.jpg"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(files->itemIndex(), 3);
        QCOMPARE(ctl(w()).FileListBox2->itemIndex(), 3);
        QCOMPARE(preview(), QStringLiteral("untouched"));

        // Dropped below every row, the file goes last; on the upper half of the first row, first.
        dragged.reset(files->model()->mimeData({files->model()->index(0, 0)}));
        dropRow(*dragged, {5, files->viewport()->height() - 2});
        QCOMPARE(listed(), (Names{"c.jpg", "d.jpg", "b.jpg", "e.jpg", "a.jpg"}));
        QCOMPARE(mirrored(), listed());
        dragged.reset(files->model()->mimeData({files->model()->index(3, 0)}));
        dropRow(*dragged, {5, 1});
        QCOMPARE(listed(), (Names{"e.jpg", "c.jpg", "d.jpg", "b.jpg", "a.jpg"}));
        QCOMPARE(mirrored(), listed());
        QCOMPARE(files->itemIndex(), 0);

        // Nothing from outside the list is taken: names dropped from elsewhere, or a row of another list.
        const Names before = listed();
        QMimeData foreign;
        foreign.setUrls({QUrl::fromLocalFile(QStringLiteral("/elsewhere/z.jpg"))});
        foreign.setText(QStringLiteral("z.jpg"));
        dropRow(foreign, lowerHalfOf(1));
        ui::FileListModel otherList;
        otherList.setEntries({"x.jpg", "y.jpg"});
        std::unique_ptr<QMimeData> otherRow(otherList.mimeData({otherList.index(1)}));
        dropRow(*otherRow, lowerHalfOf(3));
        QCOMPARE(listed(), before);
        QCOMPARE(mirrored(), before);
        QVERIFY(errors().isEmpty());
    }

    void reorderingPutsBothListsInOrderAndKeepsTheSelectedFile_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<Names>("expected");
        QTest::addColumn<QString>("expectedPreview");
        QTest::newRow("by name, the list's own order")
            << static_cast<int>(FileOrder::Name) << Names{"IMG_1.jpg", "IMG_10.jpg", "IMG_2.jpg", "img_3.png"}
            << QStringLiteral("001.jpg ～");
        QTest::newRow("by numbers in names")
            << static_cast<int>(FileOrder::NaturalName) << Names{"IMG_1.jpg", "IMG_2.jpg", "img_3.png", "IMG_10.jpg"}
            << QStringLiteral("001.jpg ～");
        QTest::newRow("by modification time")
            << static_cast<int>(FileOrder::Modified) << Names{"IMG_10.jpg", "IMG_2.jpg", "img_3.png", "IMG_1.jpg"}
            << QStringLiteral("001.jpg ～");
        // IMG_1.jpg's Exif data loops and img_3.png has none: both go by their modification times.
        QTest::newRow("by date taken") << static_cast<int>(FileOrder::Taken)
                                       << Names{"IMG_2.jpg", "img_3.png", "IMG_10.jpg", "IMG_1.jpg"}
                                       << QStringLiteral("001.jpg ～");
        QTest::newRow("reversed") << static_cast<int>(FileOrder::Reverse)
                                  << Names{"img_3.png", "IMG_2.jpg", "IMG_1.jpg", "IMG_10.jpg"}
                                  << QStringLiteral("001.png ～");
    }

    void reorderingPutsBothListsInOrderAndKeepsTheSelectedFile()
    {
        QFETCH(int, order);
        QFETCH(Names, expected);
        QFETCH(QString, expectedPreview);
        using namespace testing::exif;
        testing::createFiles(dir(),
                             {{"IMG_10.jpg", photoTakenAt("2021:05:20 10:00:00")},
                              {"IMG_2.jpg", photoTakenAt("2021:05:10 10:00:00")},
                              {"img_3.png", "no Exif data"},
                              {"IMG_1.jpg", photoWithLoopingExif()}});
        setModified(dir() / "IMG_10.jpg", 1);
        setModified(dir() / "IMG_2.jpg", 5);
        setModified(dir() / "img_3.png", 15);
        setModified(dir() / "IMG_1.jpg", 25);
        m_fixture.open(dir());
        // A manual order first, which every order but the reverse one does not look at.
        selectInFileList(0);
        click(ctl(w()).sbDown);
        QCOMPARE(listed(), (Names{"IMG_10.jpg", "IMG_1.jpg", "IMG_2.jpg", "img_3.png"}));
        selectInFileList(2);
        ctl(w()).lblPreview->setText(QStringLiteral("stale"));

        w().fileSelection().reorder(static_cast<FileOrder>(order));
        QCOMPARE(listed(), expected);
        QCOMPARE(mirrored(), expected);
        const auto selected = static_cast<std::size_t>(ctl(w()).FileListBox1->itemIndex());
        QCOMPARE(listed().at(selected), std::string("IMG_2.jpg"));
        QCOMPARE(preview(), expectedPreview);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QVERIFY(errors().isEmpty());
    }

    void readingTheTimesOfManyFilesShowsTheBusyCursor()
    {
        Names many;
        for (int i = 0; i < 150; ++i) {
            many.push_back("f" + std::to_string(i) + ".jpg");
        }
        createFiles(dir(), many);
        m_fixture.open(dir());
        bool busyWhileReading = false;
        m_fixture.syscalls->before("openat", m_fixture.syscalls->calls("openat") + 140, [&busyWhileReading] {
            busyWhileReading = QGuiApplication::overrideCursor() != nullptr
                               && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        w().fileSelection().reorder(FileOrder::Taken);
        QVERIFY(busyWhileReading);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        QCOMPARE(mirrored(), listed());
    }
};

QTEST_MAIN(FileSelectionWindowTest)
#include "file_selection_window_test.moc"
