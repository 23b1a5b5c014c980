#include "core/control_states.h"
#include "core/settings.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/settings_files.h"
#include "tests/support/window_controls.h"
#include "ui/layout.h"
#include "ui/widgets/directory_list_box.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QLabel>

#include <cerrno>
#include <climits>
#include <random>
#include <unistd.h>

using namespace tallyfox;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using tallyfox::testing::ctl;
using testing::readBytes;
using testing::writeBytes;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

// Stands for the coordinate that centres the window on the screen.
constexpr int kCentred = INT_MIN;
// Against the far edge of the screen's available area: the right or the bottom edge of the window on it.
constexpr int kFarEdge = INT_MIN + 1;

// The folder the file lists are filtered in: one file for each built-in mask that matters here.
const testing::FileTree kFiles{{"a.jpg", "A"}, {"bjpeg", "B"}, {"c.htm", "C"}, {"d.txt", "D"}, {"e.raw", "E"}};

QString countText(int count)
{
    return QStringLiteral("ファイル： ") + QString::number(count) + QStringLiteral("枚");
}

QStringList utf8(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts) {
        list << QString::fromUtf8(text);
    }
    return list;
}

QStringList qNames(const NameList& names)
{
    QStringList list;
    for (const std::string_view name : names) {
        list << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    return list;
}

// What the window shows of one loaded set of choices.
struct Shown
{
    int operation = 0;
    int pattern = 0;
    int extension = 0;
    const char* startNumber = "1";
    const char* digitCount = "3";
    const char* textBefore = "";
    const char* textAfter = "";
    const char* givenExtension = "";
    const char* saveFolder = "";
    int confirm = 1;
};

} // namespace

// The settings file as the main window reads it at start, writes it at close, and resets it.
class SettingsWindowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing::MainWindowFixture> m_fixture;
    std::unique_ptr<testing::TempDir> m_root;

    ui::TMain& w() const
    {
        return *m_fixture->window;
    }
    fs::path ini() const
    {
        return m_fixture->settings.path();
    }
    fs::path startFolder() const
    {
        return fs::canonical(m_fixture->emptyFolder.path());
    }
    // A folder holding kFiles.
    fs::path files() const
    {
        return fs::canonical(m_root->path()) / "files";
    }
    std::string stored(std::string_view section, std::string_view key) const
    {
        return readSettingsValue(readBytes(ini()), section, key);
    }
    const std::vector<platform::Message>& messages() const
    {
        return m_fixture->dialogs.messages;
    }
    QPoint centred() const
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QSize outer = w().frameGeometry().size();
        return {screen.left() + (screen.width() - outer.width()) / 2,
                screen.top() + (screen.height() - outer.height()) / 2};
    }
    // Closes the window, which saves, and starts a new one on the same settings file; shown unless the
    // test looks at where the program placed it.
    void restart(bool shown = true)
    {
        w().close();
        QVERIFY(!w().isVisible());
        if (shown) {
            m_fixture->open();
        } else {
            m_fixture->create();
        }
    }

    void compareField(ui::TextField* field, bool enabled)
    {
        QVERIFY2(field->isEnabled() == enabled, qPrintable(field->objectName()));
        QVERIFY2(field->background() == (enabled ? ui::clWindow() : ui::clBtnFace()), qPrintable(field->objectName()));
    }

    // The dependent controls for the loaded choices, as the state rules give them.
    void compareStates(int operation, int pattern, int extension)
    {
        const ControlStates expected = controlStates(static_cast<FileOperation>(operation),
                                                     static_cast<NamePattern>(pattern),
                                                     static_cast<ExtensionMode>(extension));
        QCOMPARE(ctl(w()).editSaveFolder->isEnabled(), expected.saveFolder.enabled);
        QCOMPARE(ctl(w()).editSaveFolder->background(),
                 expected.saveFolder.colour == FieldColour::FixedWhite
                     ? ui::fixedWhite()
                     : (expected.saveFolder.enabled ? ui::clWindow() : ui::clBtnFace()));
        QCOMPARE(ctl(w()).btnSave->isEnabled(), expected.saveFolderButton);
        QCOMPARE(ctl(w()).rgForm->isEnabled(), expected.patternChoice);
        QCOMPARE(ctl(w()).seStartNum->isEnabled(), expected.numberFields);
        QCOMPARE(ctl(w()).seZeroNum->isEnabled(), expected.numberFields);
        compareField(ctl(w()).editPrevName, expected.textBefore.enabled);
        compareField(ctl(w()).editLastName, expected.textAfter.enabled);
        compareField(ctl(w()).editExt, expected.givenExtension.enabled);
    }

    void compareErrorBox(const platform::Message& box)
    {
        QCOMPARE(box.text, QString::fromStdString(ini().string()) + QStringLiteral(" に書き込めません."));
        QCOMPARE(box.caption, QStringLiteral("Tallyfox"));
        QCOMPARE(box.icon, MessageIcon::Error);
        QCOMPARE(box.buttons, MessageButtons::Ok);
    }

    // A file with every key the window keeps away from its default, the options and a section of
    // someone else's beside them.
    std::string everyKeyChanged() const
    {
        return "; written by hand\n"
               "[Window]\nLeft=12\nTop=34\n"
               "[Directory]\nPath="
               + files().string()
               + "\n"
                 "[Name]\nFilter1=|ユーザー設定 (*.raw)|*.raw\nFString1=raw\nPrev=旅行_\nLast=_end\nExt=png\n"
                 "[Setting]\nFilter=8\nFile=1\nPattern=3\nNumber1=42\nNumber2=5\nExt=3\n"
                 "[SaveDir]\nPath=/srv/save/\n"
                 "[Dialog]\nShow=2\n"
                 "[Other]\nKey=kept\n";
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<testing::MainWindowFixture>();
        m_root = std::make_unique<testing::TempDir>();
        testing::createFiles(m_root->path() / "files", kFiles);
    }

    void cleanup()
    {
        m_fixture->window.reset();
        QVERIFY(::chdir("/") == 0);
        m_fixture.reset();
        m_root.reset();
    }

    void loadsTheStoredChoices_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("pattern");
        QTest::addColumn<int>("extension");
        QTest::addColumn<QString>("startNumber");
        QTest::addColumn<QString>("digitCount");
        QTest::addColumn<QString>("textBefore");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("givenExtension");
        QTest::addColumn<QString>("saveFolder");
        QTest::addColumn<int>("confirm");
        const auto row = [](const char* name, const char* ini, Shown shown) {
            QTest::newRow(name) << (ini != nullptr) << QByteArray(ini) << shown.operation << shown.pattern
                                << shown.extension << QString::fromUtf8(shown.startNumber)
                                << QString::fromUtf8(shown.digitCount) << QString::fromUtf8(shown.textBefore)
                                << QString::fromUtf8(shown.textAfter) << QString::fromUtf8(shown.givenExtension)
                                << QString::fromUtf8(shown.saveFolder) << shown.confirm;
        };
        row("first start without a file", nullptr, {});
        row("an empty file", "", {});
        row("operation 7 renames only", "[Setting]\nFile=7\n", {});
        row("operation that is no number renames only", "[Setting]\nFile=copy\n", {});
        row("choices out of range take the first item", "[Setting]\nFile=-1\nPattern=4\nExt=9\n", {});
        row("start number above the range", "[Setting]\nNumber1=123456\n", {.startNumber = "99999"});
        row("start number below the range", "[Setting]\nNumber1=-7\n", {.startNumber = "0"});
        row("digit count zero", "[Setting]\nNumber2=0\n", {.digitCount = "1"});
        row("digit count above the range", "[Setting]\nNumber2=25\n", {.digitCount = "10"});
        row("digit count in hexadecimal", "[Setting]\nNumber2=0x0A\n", {.digitCount = "10"});
        row("hexadecimal with a capital X", "[Setting]\nNumber1=0X1f\n", {.startNumber = "31"});
        row("a number beyond 32 bits takes the default", "[Setting]\nNumber2=4294967306\n", {});
        row("confirmation 2 kept as read", "[Dialog]\nShow=2\n", {.confirm = 2});
        row("confirmation off", "[Dialog]\nShow=0\n", {.confirm = 0});
        row("confirmation that is no number", "[Dialog]\nShow=yes\n", {});
        row("extension only with name and number",
            "[Setting]\nFile=3\nPattern=1\n[Name]\nPrev=p\n",
            {.operation = 3, .pattern = 1, .textBefore = "p"});
        row("copy with a given extension",
            "[Setting]\nFile=1\nExt=3\n[SaveDir]\nPath=/srv/save/\n[Name]\nExt=txt\n",
            {.operation = 1, .extension = 3, .givenExtension = "txt", .saveFolder = "/srv/save/"});
        row("move with both names",
            "[Setting]\nFile=2\nPattern=3\nExt=2\n[Name]\nPrev=旅行_\nLast=\"  end  \"\n",
            {.operation = 2, .pattern = 3, .extension = 2, .textBefore = "旅行_", .textAfter = "  end  "});
        row("extension only keeping the extension",
            "[Setting]\nFile=3\nExt=0\nPattern=2\n",
            {.operation = 3, .pattern = 2, .extension = 0});
    }

    void loadsTheStoredChoices()
    {
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, ini);
        QFETCH(int, operation);
        QFETCH(int, pattern);
        QFETCH(int, extension);
        QFETCH(QString, startNumber);
        QFETCH(QString, digitCount);
        QFETCH(QString, textBefore);
        QFETCH(QString, textAfter);
        QFETCH(QString, givenExtension);
        QFETCH(QString, saveFolder);
        QFETCH(int, confirm);
        if (fileExists) {
            writeBytes(this->ini(), ini.toStdString());
        }
        m_fixture->open();

        QCOMPARE(ctl(w()).rgSetting->itemIndex(), operation);
        QCOMPARE(ctl(w()).rgForm->itemIndex(), pattern);
        QCOMPARE(ctl(w()).rgExt->itemIndex(), extension);
        QCOMPARE(ctl(w()).seStartNum->text(), startNumber);
        QCOMPARE(ctl(w()).seZeroNum->text(), digitCount);
        QCOMPARE(ctl(w()).editPrevName->text(), textBefore);
        QCOMPARE(ctl(w()).editLastName->text(), textAfter);
        QCOMPARE(ctl(w()).editExt->text(), givenExtension);
        QCOMPARE(ctl(w()).editSaveFolder->text(), saveFolder);
        QCOMPARE(w().ConfirmBeforeRun, confirm);
        compareStates(operation, pattern, extension);
        // None of these files names a folder, a filter or a place.
        QCOMPARE(w().fileSelection().currentFolder(), startFolder().string());
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 8);
        QCOMPARE(w().fileSelection().filterIndex(), 0);
        QCOMPARE(ctl(w()).FilterComboBox1->currentText(), QStringLiteral("All Files (*.*)"));
        QCOMPARE(ctl(w()).lblCount->text(), countText(0));
        QCOMPARE(w().pos(), centred());
        QVERIFY(messages().empty());
        // Reading never writes.
        QCOMPARE(fs::exists(this->ini()), fileExists);
        QCOMPARE(QByteArray::fromStdString(readBytes(this->ini())), ini);
    }

    void theLoadedChoicesReachThePreview()
    {
        writeBytes(ini(),
                   "[Setting]\nPattern=1\nNumber1=0x0A\nNumber2=2\nExt=1\n[Name]\nPrev=trip_\n[Directory]\nPath="
                       + files().string() + "\n");
        m_fixture->open();
        QCOMPARE(ctl(w()).lblPreview->text(), QStringLiteral("trip_10.JPG ～"));
    }

    // The rule that keeps the window on a screen, on the screens users met: a place that leaves any part
    // of the window off every screen is moved whole onto the nearest, by as little as needed.
    void aWindowIsBroughtWholeOntoAScreen_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QPoint>("placed");
        const QRect laptop(0, 0, 1366, 768);
        // 1024 pixels high at a scale of 1.5, below a panel of 30.
        const QRect scaled(0, 20, 1280, 663);
        const QList<QRect> twoSideBySide{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QTest::newRow("whole on the screen: kept")
            << QRect(428, 265, 423, 474) << QList<QRect>{laptop} << QPoint(428, 265);
        QTest::newRow("against every edge: kept") << QRect(0, 0, 1366, 768) << QList<QRect>{laptop} << QPoint(0, 0);
        QTest::newRow("stored on a larger screen, the lower part off: lifted")
            << QRect(300, 500, 423, 474) << QList<QRect>{scaled} << QPoint(300, 209);
        QTest::newRow("under the panel: moved down")
            << QRect(300, 5, 423, 474) << QList<QRect>{scaled} << QPoint(300, 20);
        QTest::newRow("far right and below: onto the far corner")
            << QRect(5000, 4000, 423, 474) << QList<QRect>{laptop} << QPoint(943, 294);
        QTest::newRow("across two screens side by side: kept")
            << QRect(1700, 100, 423, 474) << twoSideBySide << QPoint(1700, 100);
        QTest::newRow("below the shorter screen only: onto the screen it overlaps most")
            << QRect(2000, 700, 423, 474) << twoSideBySide << QPoint(2000, 550);
        QTest::newRow("in the corner no screen fills: onto the screen it overlaps most")
            << QRect(1800, 700, 423, 474) << twoSideBySide << QPoint(1920, 550);
        QTest::newRow("left of every screen: onto the nearest")
            << QRect(-900, 200, 423, 474) << twoSideBySide << QPoint(0, 200);
        QTest::newRow("right of every screen: onto the nearest")
            << QRect(4000, 200, 423, 474) << twoSideBySide << QPoint(2777, 200);
        QTest::newRow("larger than the screen: its top-left corner on it")
            << QRect(-50, -50, 423, 474) << QList<QRect>{QRect(0, 0, 400, 300)} << QPoint(0, 0);
        QTest::newRow("no screen: kept") << QRect(5000, 4000, 423, 474) << QList<QRect>{} << QPoint(5000, 4000);
    }

    void aWindowIsBroughtWholeOntoAScreen()
    {
        QFETCH(QRect, window);
        QFETCH(QList<QRect>, screens);
        QFETCH(QPoint, placed);
        QCOMPARE(ui::onScreenPosition(window, screens), placed);
    }

    void placesTheWindowWhereItWasStored_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::newRow("no position: centred") << QByteArray() << kCentred << kCentred;
        // A place that leaves a part of the window off the screen is moved onto it, as little as needed.
        QTest::newRow("far left, off the screen: onto its corner")
            << QByteArray("[Window]\nLeft=-5000\nTop=-5000\n") << 0 << 0;
        QTest::newRow("beyond a smaller screen: onto its far corner")
            << QByteArray("[Window]\nLeft=5000\nTop=4000\n") << kFarEdge << kFarEdge;
        QTest::newRow("stored at a larger scale: the lower part off, only lifted")
            << QByteArray("[Window]\nLeft=40\nTop=500\n") << 40 << kFarEdge;
        QTest::newRow("a little left of the screen: only moved right")
            << QByteArray("[Window]\nLeft=-3\nTop=30\n") << 0 << 30;
        QTest::newRow("whole on the screen at its very edge: kept exactly")
            << QByteArray("[Window]\nLeft=0\nTop=0\n") << 0 << 0;
        QTest::newRow("left alone: the top centred") << QByteArray("[Window]\nLeft=10\n") << 10 << kCentred;
        QTest::newRow("no numbers: centred") << QByteArray("[Window]\nLeft=x\nTop=\n") << kCentred << kCentred;
        QTest::newRow("hexadecimal") << QByteArray("[Window]\nLeft=0x20\nTop=0x10\n") << 32 << 16;
    }

    void placesTheWindowWhereItWasStored()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, left);
        QFETCH(int, top);
        writeBytes(this->ini(), ini.toStdString());
        m_fixture->create();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QSize outer = w().frameGeometry().size();
        const auto at = [](int value, int centre, int farEdge) {
            return value == kCentred ? centre : value == kFarEdge ? farEdge : value;
        };
        const QPoint expected(at(left, centred().x(), area.right() + 1 - outer.width()),
                              at(top, centred().y(), area.bottom() + 1 - outer.height()));
        QCOMPARE(w().pos(), expected);
        QVERIFY(area.contains(w().frameGeometry()));

        // Closing stores the place the window stands at, so it opens there again.
        restart(false);
        QCOMPARE(stored("Window", "Left"), std::to_string(expected.x()));
        QCOMPARE(stored("Window", "Top"), std::to_string(expected.y()));
        QCOMPARE(w().pos(), expected);
    }

    void aStoredFolderThatIsNoFolderIsIgnored_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a deleted folder") << QStringLiteral("deleted");
        QTest::newRow("a file") << QStringLiteral("file");
        QTest::newRow("an empty value") << QStringLiteral("empty");
    }

    void aStoredFolderThatIsNoFolderIsIgnored()
    {
        QFETCH(QString, kind);
        std::string path;
        if (kind == QLatin1String("deleted")) {
            fs::create_directory(m_root->path() / "gone");
            fs::remove(m_root->path() / "gone");
            path = (m_root->path() / "gone").string();
        } else if (kind == QLatin1String("file")) {
            path = (files() / "a.jpg").string();
        }
        writeBytes(ini(), "[Directory]\nPath=" + path + "\n[Setting]\nFile=1\n");
        m_fixture->open();
        QCOMPARE(w().fileSelection().currentFolder(), startFolder().string());
        QCOMPARE(ctl(w()).DirectoryListBox1->directory(), startFolder().string());
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), 1); // the rest of the load went on
        QVERIFY(messages().empty());

        w().close();
        QCOMPARE(stored("Directory", "Path"), startFolder().string());
    }

    void aStoredFolderThatCannotBeEnteredIsReportedAndTheRestStillLoads()
    {
        writeBytes(ini(), everyKeyChanged());
        // The first change of folder enters the start folder again, the second the stored one.
        m_fixture->planStart = [](platform::FaultySyscalls& calls) {
            calls.fail("chdir", 2, EACCES);
        };
        m_fixture->open();
        QCOMPARE(messages().size(), std::size_t{1});
        QCOMPARE(messages().front().text, QStringLiteral("ファイルへのアクセスが拒否されました."));
        QCOMPARE(w().fileSelection().currentFolder(), startFolder().string());
        // Everything after the folder is loaded as stored, so the next close keeps it.
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 9);
        QCOMPARE(w().fileSelection().filterIndex(), 8);
        QCOMPARE(ctl(w()).lblCount->text(), countText(0));
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), 1);
        QCOMPARE(ctl(w()).rgForm->itemIndex(), 3);
        QCOMPARE(ctl(w()).seStartNum->text(), QStringLiteral("42"));
        QCOMPARE(ctl(w()).editExt->text(), QStringLiteral("png"));
        QCOMPARE(w().ConfirmBeforeRun, 2);
        w().close();
        QCOMPARE(stored("Setting", "Pattern"), std::string("3"));
        QCOMPARE(stored("Name", "Prev"), std::string("旅行_"));
        QCOMPARE(stored("SaveDir", "Path"), std::string("/srv/save/"));
    }

    void aStartFolderThatCannotBeReadLosesNoSetting_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("storedFolderThere");
        QTest::addColumn<QString>("message");
        const QString gone = QStringLiteral("不正なファイル名です.");
        const QString denied = QStringLiteral("ファイルへのアクセスが拒否されました.");
        QTest::newRow("start folder deleted, stored folder there") << "getcwd" << ENOENT << true << gone;
        QTest::newRow("start folder deleted, stored folder gone") << "getcwd" << ENOENT << false << gone;
        QTest::newRow("start folder unreadable, stored folder gone") << "opendir" << EACCES << false << denied;
    }

    void aStartFolderThatCannotBeReadLosesNoSetting()
    {
        QFETCH(QString, call);
        QFETCH(int, error);
        QFETCH(bool, storedFolderThere);
        QFETCH(QString, message);
        std::string content = everyKeyChanged();
        if (!storedFolderThere) {
            const std::string there = "Path=" + files().string() + "\n";
            content.replace(content.find(there), there.size(), "Path=" + (m_root->path() / "gone").string() + "\n");
        }
        writeBytes(ini(), content);
        m_fixture->planStart = [&](platform::FaultySyscalls& calls) {
            // Once entered, another folder reports its path again; a folder that cannot be read stays so.
            calls.fail(call.toStdString(), 1, error, call == QLatin1String("opendir"));
        };
        m_fixture->open();
        QCOMPARE(messages().size(), std::size_t{1});
        QCOMPARE(messages().front().text, message);
        QCOMPARE(w().fileSelection().currentFolder(), storedFolderThere ? files().string() : std::string());
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), 1);
        QCOMPARE(ctl(w()).rgForm->itemIndex(), 3);
        QCOMPARE(w().fileSelection().filterIndex(), 8);
        QCOMPARE(w().ConfirmBeforeRun, 2);
        w().close();
        // Nothing the window could not show was written back: the file is as it was.
        QCOMPARE(readBytes(ini()), content);
    }

    void aFolderNameTheFileCannotHoldKeepsOnlyItsOwnKey()
    {
        const fs::path folder = fs::canonical(m_root->path()) / "line\nbreak";
        fs::create_directory(folder);
        // The stored folder is gone, so the window stays in the folder it started in.
        const std::string before = (m_root->path() / "gone").string();
        writeBytes(ini(), "[Directory]\nPath=" + before + "\n");
        m_fixture->open(folder);
        QCOMPARE(w().fileSelection().currentFolder(), folder.string());
        ctl(w()).rgSetting->setItemIndex(2);
        w().close();
        // The folder keeps its stored value, every other key is written, and no box is shown.
        QVERIFY(messages().empty());
        QCOMPARE(stored("Directory", "Path"), before);
        QCOMPARE(stored("Setting", "File"), std::string("2"));
        QCOMPARE(stored("Name", "Ext"), std::string());
        QVERIFY(readBytes(ini()).find("[Name]") != std::string::npos);
    }

    void aFolderWhoseNameIsNotUtf8ComesBackByteForByte()
    {
        const std::string folder = fs::canonical(m_root->path()).string() + "/\x8e\xca\x90\x5e"; // Shift-JIS
        fs::create_directory(folder);
        writeBytes(ini(), "[Directory]\nPath=" + folder + "\n");
        m_fixture->open();
        QCOMPARE(w().fileSelection().currentFolder(), folder);
        w().close();
        QCOMPARE(stored("Directory", "Path"), folder);
    }

    void theTypedExtensionOutlastsTheStoredFolder()
    {
        // Opening the stored folder empties the typed extension; the load sets it only afterwards.
        writeBytes(ini(), "[Directory]\nPath=" + files().string() + "\n[Setting]\nExt=3\nFilter=6\n[Name]\nExt=png\n");
        m_fixture->open();
        QCOMPARE(w().fileSelection().currentFolder(), files().string());
        QCOMPARE(ctl(w()).DirectoryListBox1->directory(), files().string());
        QCOMPARE(ctl(w()).editExt->text(), QStringLiteral("png"));
        compareStates(0, 0, 3);
        QCOMPARE(ctl(w()).FileListBox1->entries(), Names{"d.txt"});
        QCOMPARE(ctl(w()).FileListBox2->entries, Names{"d.txt"});
        QCOMPARE(ctl(w()).lblPreview->text(), QStringLiteral("001.png ～"));
    }

    void selectsTheStoredFilter_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QStringList>("userEntries");
        QTest::addColumn<QStringList>("listed");
        const QStringList all = utf8({"a.jpg", "bjpeg", "c.htm", "d.txt", "e.raw"});
        const QString raw = QStringLiteral("ユーザー設定 (*.raw)");
        QTest::newRow("1 selects JPEG and filters the list")
            << QByteArray("[Setting]\nFilter=1\n") << 1 << QStringList() << utf8({"a.jpg", "bjpeg"});
        QTest::newRow("12 with eight entries selects the last")
            << QByteArray("[Setting]\nFilter=12\n") << 7 << QStringList() << utf8({"c.htm"});
        QTest::newRow("-1 selects the last")
            << QByteArray("[Setting]\nFilter=-1\n") << 7 << QStringList() << utf8({"c.htm"});
        QTest::newRow("no number selects the first")
            << QByteArray("[Setting]\nFilter=html\n") << 0 << QStringList() << all;
        QTest::newRow("beyond the entries selects the last user entry")
            << QByteArray("[Setting]\nFilter=12\n[Name]\nFilter3=|ユーザー設定 (*.raw)|*.raw\n") << 8
            << QStringList{raw} << utf8({"e.raw"});
        QTest::newRow("user filters in slots 2 and 4 follow without a gap")
            << QByteArray("[Setting]\nFilter=9\n[Name]\nFilter2=|ユーザー設定 (*.raw)|*.raw\n"
                          "Filter4=|ユーザー設定 (*.txt)|*.txt\n")
            << 9 << QStringList{raw, QStringLiteral("ユーザー設定 (*.txt)")} << utf8({"d.txt"});
        QTest::newRow("a fragment is used as stored, not rebuilt from its extension")
            << QByteArray("[Setting]\nFilter=8\n[Name]\nFilter1=|Raw pictures|*.raw\nFString1=jpg\n") << 8
            << utf8({"Raw pictures"}) << utf8({"e.raw"});
        // Without its leading "|" the fragment runs into the mask of the HTML entry and the rest of it
        // is a shown text without a mask.
        QTest::newRow("a fragment without a leading bar forms no entry")
            << QByteArray("[Setting]\nFilter=8\n[Name]\nFilter1=ユーザー設定 (*.raw)|*.raw\n") << 7 << QStringList()
            << QStringList();
    }

    void selectsTheStoredFilter()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, selected);
        QFETCH(QStringList, userEntries);
        QFETCH(QStringList, listed);
        writeBytes(this->ini(), ini.toStdString());
        m_fixture->open(files());

        ui::FilterComboBox* filters = ctl(w()).FilterComboBox1;
        QCOMPARE(filters->count(), 8 + userEntries.size());
        QCOMPARE(filters->itemText(7), QStringLiteral("HTML Files (*.html;*.htm)"));
        for (int i = 0; i < userEntries.size(); ++i) {
            QCOMPARE(filters->itemText(8 + i), userEntries[i]);
        }
        QCOMPARE(w().fileSelection().filterIndex(), selected);
        QCOMPARE(filters->currentIndex(), selected);
        QCOMPARE(qNames(ctl(w()).FileListBox1->entries()), listed);
        QCOMPARE(qNames(ctl(w()).FileListBox2->entries), listed);
        QCOMPARE(ctl(w()).lblCount->text(), countText(static_cast<int>(listed.size())));
        QVERIFY(messages().empty());

        w().close();
        QCOMPARE(stored("Setting", "Filter"), std::to_string(selected));
    }

    void savedChoicesComeBackAfterARestart_data()
    {
        QTest::addColumn<QPoint>("position");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("pattern");
        QTest::addColumn<int>("extension");
        QTest::addColumn<QString>("saveFolder");
        QTest::addColumn<QString>("textBefore");
        QTest::addColumn<QString>("textAfter");
        QTest::addColumn<QString>("givenExtension");
        QTest::addColumn<int>("startNumber");
        QTest::addColumn<int>("digitCount");
        QTest::newRow("move, both names, a given extension")
            << QPoint(37, 45) << 2 << 2 << 3 << 3 << QStringLiteral("/srv/save/") << QStringLiteral("旅行_")
            << QStringLiteral("_end") << QStringLiteral("png") << 42 << 5;
        QTest::newRow("extension only in upper case, blanks and quotes kept")
            << QPoint(300, 20) << 7 << 3 << 1 << 1 << QString() << QStringLiteral("  a  ") << QStringLiteral("\"q\"")
            << QString() << 0 << 10;
        QTest::newRow("copy with the number first")
            << QPoint(0, 0) << 0 << 1 << 2 << 2 << QStringLiteral("/tmp/コピー先/") << QString() << QStringLiteral("-x")
            << QString() << 99999 << 1;
    }

    void savedChoicesComeBackAfterARestart()
    {
        QFETCH(QPoint, position);
        QFETCH(int, filter);
        QFETCH(int, operation);
        QFETCH(int, pattern);
        QFETCH(int, extension);
        QFETCH(QString, saveFolder);
        QFETCH(QString, textBefore);
        QFETCH(QString, textAfter);
        QFETCH(QString, givenExtension);
        QFETCH(int, startNumber);
        QFETCH(int, digitCount);
        m_fixture->open();
        w().move(position);
        w().fileSelection().makeFolderCurrent(files().string());
        w().fileSelection().selectFilterIndex(filter);
        w().fileSelection().filterPicked();
        ctl(w()).rgSetting->setItemIndex(operation);
        ctl(w()).rgForm->setItemIndex(pattern);
        ctl(w()).rgExt->setItemIndex(extension);
        ctl(w()).editSaveFolder->assignText(saveFolder);
        ctl(w()).editPrevName->assignText(textBefore);
        ctl(w()).editLastName->assignText(textAfter);
        ctl(w()).editExt->assignText(givenExtension);
        ctl(w()).seStartNum->setValue(startNumber);
        ctl(w()).seZeroNum->setValue(digitCount);
        const QStringList before = testing::windowSettings(w());

        restart(false);
        QCOMPARE(testing::windowSettings(w()), before);
        compareStates(operation, pattern, extension);
        QVERIFY(messages().empty());
    }

    void typedNumbersAreSavedAsTypedAndBroughtIntoRangeByTheNextStart_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("loaded");
        QTest::newRow("start number 123456") << "seStartNum"
                                             << "123456"
                                             << "123456"
                                             << "99999";
        QTest::newRow("start number -5") << "seStartNum"
                                         << "-5"
                                         << "-5"
                                         << "0";
        QTest::newRow("empty start number saved as its minimum") << "seStartNum"
                                                                 << ""
                                                                 << "0"
                                                                 << "0";
        QTest::newRow("digit count 25") << "seZeroNum"
                                        << "25"
                                        << "25"
                                        << "10";
        QTest::newRow("digit count 0") << "seZeroNum"
                                       << "0"
                                       << "0"
                                       << "1";
        QTest::newRow("empty digit count saved as its minimum") << "seZeroNum"
                                                                << ""
                                                                << "1"
                                                                << "1";
    }

    void typedNumbersAreSavedAsTypedAndBroughtIntoRangeByTheNextStart()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(QString, loaded);
        m_fixture->open();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        auto* number = w().findChild<ui::NumberField*>(field);
        number->setFocus();
        number->selectAll();
        QTest::keyClick(number, Qt::Key_Backspace);
        QTest::keyClicks(number, typed);
        QCOMPARE(number->text(), typed);

        // The field keeps the focus until the window closes, so the typed value is what is saved.
        restart();
        const char* key = field == QLatin1String("seStartNum") ? "Number1" : "Number2";
        QCOMPARE(QString::fromStdString(stored("Setting", key)), saved);
        QCOMPARE(w().findChild<ui::NumberField*>(field)->text(), loaded);
    }

    void closingWritesTheKeysInOrder()
    {
        m_fixture->open();
        const testing::WrittenKeys written(m_fixture->settingsCalls, ini());
        w().close();
        const Names expected{"Directory/Path",
                             "Window/Left",
                             "Window/Top",
                             "Setting/Filter",
                             "Setting/File",
                             "SaveDir/Path",
                             "Setting/Pattern",
                             "Name/Prev",
                             "Name/Last",
                             "Setting/Number1",
                             "Setting/Number2",
                             "Setting/Ext",
                             "Name/Ext"};
        QCOMPARE(written.keys(), expected);
        // An empty text is stored as an empty value, not left out.
        QVERIFY(readBytes(ini()).find("Prev=\r\n") != std::string::npos
                || readBytes(ini()).find("Prev=\n") != std::string::npos);
    }

    void closingKeepsWhatItDoesNotOwn()
    {
        const std::string before = everyKeyChanged();
        writeBytes(ini(), before);
        m_fixture->open();
        const testing::WrittenKeys written(m_fixture->settingsCalls, ini());
        w().close();
        // Everything was saved as it was loaded: nothing to write, not even the options.
        QCOMPARE(written.keys(), Names{});
        QCOMPARE(readBytes(ini()), before);
        QVERIFY(messages().empty());
    }

    void resetAnsweredYes()
    {
        writeBytes(ini(), everyKeyChanged());
        m_fixture->open();
        QCOMPARE(w().pos(), QPoint(12, 34));
        QCOMPARE(w().fileSelection().filterIndex(), 8);
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), 1);
        const testing::WrittenKeys written(m_fixture->settingsCalls, ini());
        m_fixture->dialogs.answer(MessageAnswer::Yes);
        QTest::mouseClick(ctl(w()).sbReset, Qt::LeftButton);

        QCOMPARE(messages().size(), std::size_t{1});
        const platform::Message& box = messages().front();
        QCOMPARE(box.caption, QStringLiteral("リセットの確認"));
        QCOMPARE(box.text,
                 QStringLiteral("設定をリセットし，初期化します。よろしいですか？   \r\n\r\n* "
                                "オプション項目は初期化されません。"));
        QCOMPARE(box.buttons, MessageButtons::YesNo);
        QCOMPARE(box.defaultButton, MessageAnswer::Yes);
        QCOMPARE(box.icon, MessageIcon::Question);

        // The controls, with the effects of each change: the first filter lists every file.
        QCOMPARE(w().fileSelection().filterIndex(), 0);
        QCOMPARE(ctl(w()).FilterComboBox1->currentIndex(), 0);
        QCOMPARE(ctl(w()).FileListBox1->count(), 5);
        QCOMPARE(ctl(w()).FileListBox2->count(), 5);
        QCOMPARE(ctl(w()).lblCount->text(), countText(5));
        QCOMPARE(ctl(w()).editSaveFolder->text(), QString());
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), 0);
        QCOMPARE(ctl(w()).rgForm->itemIndex(), 0);
        QCOMPARE(ctl(w()).editPrevName->text(), QString());
        QCOMPARE(ctl(w()).editLastName->text(), QString());
        QCOMPARE(ctl(w()).seStartNum->text(), QStringLiteral("1"));
        QCOMPARE(ctl(w()).seZeroNum->text(), QStringLiteral("3"));
        QCOMPARE(ctl(w()).rgExt->itemIndex(), 0);
        QCOMPARE(ctl(w()).editExt->text(), QString());
        compareStates(0, 0, 0);
        QCOMPARE(ctl(w()).lblPreview->text(), QStringLiteral("001.jpg ～"));
        // Not reset: the folder, the place, the user filters and the confirmation switch.
        QCOMPARE(w().fileSelection().currentFolder(), files().string());
        QCOMPARE(w().pos(), QPoint(12, 34));
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 9);
        QCOMPARE(w().ConfirmBeforeRun, 2);

        // The keys, in order; every other line stays as it was.
        QCOMPARE(written.keys(),
                 (Names{"Setting/Filter",
                        "Setting/File",
                        "SaveDir/Path",
                        "Setting/Pattern",
                        "Name/Prev",
                        "Name/Last",
                        "Setting/Number1",
                        "Setting/Number2",
                        "Setting/Ext",
                        "Name/Ext"}));
        const std::string expected = "; written by hand\n"
                                     "[Window]\nLeft=12\nTop=34\n"
                                     "[Directory]\nPath="
                                     + files().string()
                                     + "\n"
                                       "[Name]\nFilter1=|ユーザー設定 (*.raw)|*.raw\nFString1=raw\nPrev=\nLast=\nExt=\n"
                                       "[Setting]\nFilter=0\nFile=0\nPattern=0\nNumber1=1\nNumber2=3\nExt=0\n"
                                       "[SaveDir]\nPath=\n"
                                       "[Dialog]\nShow=2\n"
                                       "[Other]\nKey=kept\n";
        QCOMPARE(readBytes(ini()), expected);

        // After a restart the folder and the place are those of the close; the user filter is offered.
        w().move(50, 60);
        restart();
        QCOMPARE(w().fileSelection().currentFolder(), files().string());
        QCOMPARE(w().pos(), QPoint(50, 60));
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 9);
        QCOMPARE(w().fileSelection().filterIndex(), 0);
        QCOMPARE(w().ConfirmBeforeRun, 2);
        QCOMPARE(messages().size(), std::size_t{1});
    }

    void resetAnsweredNoChangesNothing()
    {
        writeBytes(ini(), everyKeyChanged());
        m_fixture->open();
        const QStringList before = testing::windowSettings(w());
        const int renames = m_fixture->settingsCalls.calls("renameat2");
        m_fixture->dialogs.answer(MessageAnswer::No);
        QTest::mouseClick(ctl(w()).sbReset, Qt::LeftButton);
        QCOMPARE(messages().size(), std::size_t{1});
        QCOMPARE(testing::windowSettings(w()), before);
        QCOMPARE(readBytes(ini()), everyKeyChanged());
        QCOMPARE(m_fixture->settingsCalls.calls("renameat2"), renames);
    }

    void aResetStopsAtTheKeyThatCannotBeWritten()
    {
        writeBytes(ini(), everyKeyChanged());
        m_fixture->open();
        // The fourth key, Setting/Pattern, meets a full disk.
        m_fixture->settingsCalls.fail("write", m_fixture->settingsCalls.calls("write") + 4, ENOSPC);
        m_fixture->dialogs.answer(MessageAnswer::Yes);
        QTest::mouseClick(ctl(w()).sbReset, Qt::LeftButton);

        QCOMPARE(messages().size(), std::size_t{2});
        compareErrorBox(messages()[1]);
        QCOMPARE(stored("Setting", "Filter"), std::string("0"));
        QCOMPARE(stored("Setting", "File"), std::string("0"));
        QCOMPARE(stored("SaveDir", "Path"), std::string());
        QCOMPARE(stored("Setting", "Pattern"), std::string("3"));
        QCOMPARE(stored("Name", "Prev"), std::string("旅行_"));
        QCOMPARE(stored("Name", "Ext"), std::string("png"));
        // The controls were reset before the keys and stay so.
        QCOMPARE(ctl(w()).rgForm->itemIndex(), 0);
        QCOMPARE(ctl(w()).editPrevName->text(), QString());
        QCOMPARE(ctl(w()).rgExt->itemIndex(), 0);
        QCOMPARE(testing::namesIn(m_fixture->settingsFolder.path()), Names{"tallyfox.ini"});
    }

    void aFailedSaveAtCloseIsShownAndTheWindowStillCloses_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("byExit");
        QTest::newRow("read-only folder") << QStringLiteral("read-only") << false;
        QTest::newRow("read-only folder, closed by the exit button") << QStringLiteral("read-only") << true;
        QTest::newRow("disk full in the middle of a write") << QStringLiteral("disk full") << false;
        QTest::newRow("the data cannot be flushed") << QStringLiteral("flush") << false;
        QTest::newRow("a file that cannot be read is never replaced") << QStringLiteral("unreadable") << false;
    }

    void aFailedSaveAtCloseIsShownAndTheWindowStillCloses()
    {
        QFETCH(QString, failure);
        QFETCH(bool, byExit);
        const std::string before = "[Setting]\nFile=1\n; the user's note\n";
        writeBytes(ini(), before);
        platform::FaultySyscalls& calls = m_fixture->settingsCalls;
        if (failure == QLatin1String("unreadable")) {
            calls.fail("openat", 1, EACCES, true);
        }
        m_fixture->open();
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), failure == QLatin1String("unreadable") ? 0 : 1);
        if (failure == QLatin1String("read-only")) {
            // The first key is read (1), its folder opened (2); then neither a temporary file (3) nor
            // the file itself (4) can be opened for writing.
            calls.fail("openat", calls.calls("openat") + 3, EROFS, true);
        } else if (failure == QLatin1String("disk full")) {
            calls.fail("write", calls.calls("write") + 1, ENOSPC);
        } else if (failure == QLatin1String("flush")) {
            calls.fail("fsync", calls.calls("fsync") + 1, EIO);
        }
        if (byExit) {
            QTest::mouseClick(ctl(w()).sbExit, Qt::LeftButton);
        } else {
            w().close();
        }

        QTRY_VERIFY(!w().isVisible());
        QCOMPARE(messages().size(), std::size_t{1});
        compareErrorBox(messages().front());
        QCOMPARE(readBytes(ini()), before);
        QCOMPARE(testing::namesIn(m_fixture->settingsFolder.path()), Names{"tallyfox.ini"});
    }

    void aFolderThatTakesNoTemporaryFileIsWrittenInPlace()
    {
        writeBytes(ini(), "; the user's note\n[Other]\nKey=1\n");
        m_fixture->open();
        ctl(w()).rgSetting->setItemIndex(2);
        // Each of the 13 keys is read (1), its folder opened (2), refused a temporary file (3), its old
        // content kept aside (4) and written in place (5).
        platform::FaultySyscalls& calls = m_fixture->settingsCalls;
        const int done = calls.calls("openat");
        for (int key = 0; key < 13; ++key) {
            calls.fail("openat", done + 3 + 5 * key, EACCES);
        }
        w().close();
        QVERIFY(messages().empty());
        QCOMPARE(calls.calls("openat"), done + 5 * 13);
        QVERIFY(readBytes(ini()).starts_with("; the user's note\n[Other]\nKey=1\n"));
        QCOMPARE(stored("Setting", "File"), std::string("2"));
        QCOMPARE(stored("Name", "Ext"), std::string());
        QCOMPARE(testing::namesIn(m_fixture->settingsFolder.path()), Names{"tallyfox.ini"});
    }

    void aSettingsFileOfGarbageGivesEveryDefault_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("alphabet");
        QTest::newRow("10 MB of random bytes") << 10 * 1024 * 1024 << QByteArray();
        // Many short lines, brackets and equal signs, with NUL bytes among them.
        QTest::newRow("random lines with NUL bytes") << 1024 * 1024 << QByteArray("[]=\r\n\0 ;\"x0", 11);
    }

    void aSettingsFileOfGarbageGivesEveryDefault()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, alphabet);
        std::mt19937 random(20240611);
        std::uniform_int_distribution<int> byte(0, 255);
        std::string garbage(static_cast<std::size_t>(size), '\0');
        for (char& c : garbage) {
            const int b = byte(random);
            c = alphabet.isEmpty() ? static_cast<char>(b) : alphabet[b % alphabet.size()];
        }
        writeBytes(ini(), garbage);
        m_fixture->open();

        QCOMPARE(w().pos(), centred());
        QCOMPARE(w().fileSelection().currentFolder(), startFolder().string());
        QCOMPARE(ctl(w()).FilterComboBox1->count(), 8);
        QCOMPARE(w().fileSelection().filterIndex(), 0);
        QCOMPARE(ctl(w()).rgSetting->itemIndex(), 0);
        QCOMPARE(ctl(w()).rgForm->itemIndex(), 0);
        QCOMPARE(ctl(w()).rgExt->itemIndex(), 0);
        QCOMPARE(ctl(w()).seStartNum->text(), QStringLiteral("1"));
        QCOMPARE(ctl(w()).seZeroNum->text(), QStringLiteral("3"));
        for (ui::TextField* field :
             {ctl(w()).editSaveFolder, ctl(w()).editPrevName, ctl(w()).editLastName, ctl(w()).editExt}) {
            QVERIFY(field->text().isEmpty());
        }
        QCOMPARE(w().ConfirmBeforeRun, 1);
        compareStates(0, 0, 0);
        QVERIFY(messages().empty());
    }
};

QTEST_MAIN(SettingsWindowTest)
#include "settings_window_test.moc"
