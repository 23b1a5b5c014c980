#include "tests/support/exif_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/preview_window.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QTableView>

#include <filesystem>
#include <functional>

using namespace tallyfox;
using tallyfox::testing::ctl;
using testing::createFiles;

namespace {

// What a row of a table does to the main window.
using Change = std::function<void(ui::TMain&, const std::filesystem::path& root)>;

// The model's columns: the time is shown beside the current name, but stays the model's last column.
constexpr int kStateColumn = 3;
constexpr int kTimeColumn = 4;

// Modification times of the photos, in seconds from 1970, as a file manager would show them.
constexpr qint64 kModifiedImg10 = 1700000000;
constexpr qint64 kModifiedImg2 = 1700003600 + 25;
constexpr qint64 kModifiedImg1 = 1700090000;

void setModified(const std::filesystem::path& file, qint64 seconds)
{
    std::filesystem::last_write_time(
        file, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(seconds))));
}

// The wall clock of this machine at that moment, written independently of the program.
QString onTheClock(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

std::vector<std::string> names(const ui::TMain& window)
{
    const NameList& shown = ctl(window).FileListBox1->entries();
    return {shown.begin(), shown.end()};
}

} // namespace

Q_DECLARE_METATYPE(Change)

// The preview list: how it opens and closes, what it follows, and the file list's orders.
class PreviewWindowTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;
    std::unique_ptr<testing::TempDir> m_root;

    ui::TMain& w()
    {
        return *m_fixture.window;
    }
    std::filesystem::path photos() const
    {
        return m_root->path() / "photos";
    }
    ui::PreviewWindow* preview()
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("PreviewWindow")) {
                return qobject_cast<ui::PreviewWindow*>(window);
            }
        }
        return nullptr;
    }
    QAbstractItemModel* rows()
    {
        return testing::named<QTableView>(*preview(), "PreviewTable")->model();
    }
    QString cell(int row, int column)
    {
        return rows()->index(row, column).data().toString();
    }
    QString summary()
    {
        return testing::named<QLabel>(*preview(), "lblProblems")->text();
    }
    QTableView* table()
    {
        return testing::named<QTableView>(*preview(), "PreviewTable");
    }
    // The row of the preview that shows `name` now.
    int rowOf(const QString& name)
    {
        for (int row = 0; row < rows()->rowCount(); ++row) {
            if (cell(row, 1) == name) {
                return row;
            }
        }
        return -1;
    }
    void openPreview()
    {
        choose({QStringLiteral("新しい名前の一覧(&L)...")});
        QTRY_VERIFY(preview()->isVisible());
        QApplication::setActiveWindow(preview());
    }

    // An item of the file list's context menu, as the right mouse button opens it; a path through a
    // submenu is given item by item.
    QAction* menuItem(const QStringList& path)
    {
        ui::FileListBox* list = ctl(w()).FileListBox1;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), list->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list->viewport(), &event);
        QMenu* menu = list->findChild<QMenu*>(QStringLiteral("FileListMenu"));
        if (menu == nullptr) {
            return nullptr;
        }
        menu->close();
        QAction* found = nullptr;
        for (const QString& text : path) {
            found = nullptr;
            for (QAction* action : menu != nullptr ? menu->actions() : QList<QAction*>()) {
                if (action->text() == text) {
                    found = action;
                }
            }
            if (found == nullptr) {
                return nullptr;
            }
            menu = found->menu();
        }
        return found;
    }

    void choose(const QStringList& path)
    {
        QAction* item = menuItem(path);
        QVERIFY2(item != nullptr, qPrintable(path.join(QLatin1Char('>'))));
        QVERIFY(item->isEnabled());
        item->trigger();
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        m_root = std::make_unique<testing::TempDir>();
        createFiles(photos(), {{"IMG_10.jpg", "a"}, {"IMG_2.jpg", "b"}, {"img_1.jpg", "c"}});
        createFiles(m_root->path() / "other", {{"x.png", "x"}});
        // Modified in an order of their own, and one photo with the date it was taken.
        const auto now = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(photos() / "IMG_10.jpg", now - std::chrono::hours(1));
        std::filesystem::last_write_time(photos() / "IMG_2.jpg", now - std::chrono::hours(3));
        std::filesystem::last_write_time(photos() / "img_1.jpg", now - std::chrono::hours(2));
        m_fixture.dialogs = {};
        m_fixture.open(photos());
        QApplication::setActiveWindow(m_fixture.window.get());
    }

    void cleanup()
    {
        m_fixture.window.reset();
        m_root.reset();
    }

    void opensAndClosesWithEsc_data()
    {
        QTest::addColumn<QString>("by");
        QTest::newRow("double click on the preview line") << QStringLiteral("lblPreview");
        QTest::newRow("double click on its caption") << QStringLiteral("Label2");
        QTest::newRow("the file list's menu") << QString();
    }

    void opensAndClosesWithEsc()
    {
        QFETCH(QString, by);
        QVERIFY(preview() != nullptr);
        QVERIFY(!preview()->isVisible());
        if (by.isEmpty()) {
            choose({QStringLiteral("新しい名前の一覧(&L)...")});
        } else {
            QTest::mouseDClick(testing::named<QWidget>(w(), by.toLatin1().constData()), Qt::LeftButton);
        }
        QTRY_VERIFY(preview()->isVisible());
        QCOMPARE(preview()->windowTitle(), QStringLiteral("プレビュー一覧"));
        QVERIFY(!preview()->isModal());
        QCOMPARE(rows()->rowCount(), 3);
        QCOMPARE(rows()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("状態"));
        QCOMPARE(cell(0, 0), QStringLiteral("1"));
        QCOMPARE(cell(0, 1), QStringLiteral("img_1.jpg"));
        // The first new name is the one the preview line shows.
        QCOMPARE(cell(0, 2) + QStringLiteral(" ～"), ctl(w()).lblPreview->text());
        QCOMPARE(summary(), QStringLiteral("問題のあるファイルはありません（全 3 件）"));
        QVERIFY(!testing::named<QTableView>(*preview(), "PreviewTable")->accessibleName().isEmpty());
        QApplication::setActiveWindow(preview());
        QTest::keyClick(preview(), Qt::Key_Escape);
        QTRY_VERIFY(!preview()->isVisible());
    }

    void followsTheMainWindow_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("firstOld");
        QTest::addColumn<QString>("firstNew");
        QTest::addColumn<QString>("firstState");
        QTest::addColumn<int>("problems");

        QTest::newRow("a text typed before the number") << Change([](ui::TMain& w, const std::filesystem::path&) {
            QTest::mouseClick(ctl(w).rgForm->item(1), Qt::LeftButton);
            QTest::keyClicks(ctl(w).editPrevName, QStringLiteral("kyoto_"));
        }) << QStringLiteral("img_1.jpg") << QStringLiteral("kyoto_001.jpg")
                                                        << QStringLiteral("名前を変えます") << 0;
        QTest::newRow("the first file moved down") << Change([](ui::TMain& w, const std::filesystem::path&) {
            ctl(w).FileListBox1->setItemIndex(0);
            QTest::mouseClick(ctl(w).sbDown, Qt::LeftButton);
        }) << QStringLiteral("IMG_10.jpg") << QStringLiteral("001.jpg")
                                                   << QStringLiteral("名前を変えます") << 0;
        QTest::newRow("a file dragged to the end") << Change([](ui::TMain& w, const std::filesystem::path&) {
            w.fileSelection().dragFile(0, 2);
        }) << QStringLiteral("IMG_10.jpg") << QStringLiteral("001.jpg")
                                                   << QStringLiteral("名前を変えます") << 0;
        QTest::newRow("another folder") << Change([](ui::TMain& w, const std::filesystem::path& root) {
            w.fileSelection().makeFolderCurrent((root / "other").string());
        }) << QStringLiteral("x.png") << QStringLiteral("001.png")
                                        << QStringLiteral("名前を変えます") << 0;
        QTest::newRow("a folder of a new name beside the list, and a copy into a folder that is not there")
            << Change([](ui::TMain& w, const std::filesystem::path& root) {
                   createFiles(root / "other", {{"y.png", "y"}});
                   std::filesystem::create_directory(root / "other" / "002.png");
                   w.fileSelection().makeFolderCurrent((root / "other").string());
                   QTest::mouseClick(ctl(w).rgSetting->item(1), Qt::LeftButton);
                   static_cast<ui::SaveFolderField*>(ctl(w).editSaveFolder)->setPath((root / "none").string());
               })
            << QStringLiteral("x.png") << QStringLiteral("001.png") << QStringLiteral("保存フォルダが見つかりません")
            << 2;
        QTest::newRow("a name that is not UTF-8, shown as the file list shows it")
            << Change([](ui::TMain& w, const std::filesystem::path& root) {
                   createFiles(root / "bytes", {{"\xff\xfe.png", "b"}});
                   w.fileSelection().makeFolderCurrent((root / "bytes").string());
               })
            << QFile::decodeName(QByteArray("\xff\xfe.png")) << QStringLiteral("001.png")
            << QStringLiteral("名前を変えます") << 0;
        QTest::newRow("a digit count that cannot number") << Change([](ui::TMain& w, const std::filesystem::path&) {
            ctl(w).seZeroNum->selectAll();
            QTest::keyClicks(ctl(w).seZeroNum, QStringLiteral("-1"));
        }) << QString() << QString() << QString() << 0;
    }

    void followsTheMainWindow()
    {
        QFETCH(Change, change);
        QFETCH(QString, firstOld);
        QFETCH(QString, firstNew);
        QFETCH(QString, firstState);
        QFETCH(int, problems);
        choose({QStringLiteral("新しい名前の一覧(&L)...")});
        QTRY_VERIFY(preview()->isVisible());
        change(w(), m_root->path());
        if (firstOld.isEmpty()) {
            QTRY_COMPARE(rows()->rowCount(), 0);
            QTRY_VERIFY(summary().startsWith(QStringLiteral("書式文字列")));
            return;
        }
        QTRY_COMPARE(cell(0, 1), firstOld);
        QCOMPARE(cell(0, 1), ctl(w()).FileListBox1->model()->index(0, 0).data().toString());
        QTRY_COMPARE(cell(0, 2), firstNew);
        QCOMPARE(cell(0, 3), firstState);
        QCOMPARE(static_cast<int>(preview()->preview().problems), problems);
        if (problems > 0) {
            // A problem row stands out by its colour and by a sign.
            QVERIFY(rows()->index(0, 3).data(Qt::DecorationRole).isValid());
            QVERIFY(rows()->index(0, 1).data(Qt::BackgroundRole).isValid());
            QCOMPARE(summary(),
                     QStringLiteral("問題のあるファイル： %1 件（全 %2 件）").arg(problems).arg(rows()->rowCount()));
        } else {
            QVERIFY(!rows()->index(0, 3).data(Qt::DecorationRole).isValid());
        }
    }

    void ordersFromTheMenu_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("名前順") << QStringLiteral("名前順(&N)")
                                << QStringList{QStringLiteral("img_1.jpg"),
                                               QStringLiteral("IMG_10.jpg"),
                                               QStringLiteral("IMG_2.jpg")};
        QTest::newRow("数字を考慮した名前順")
            << QStringLiteral("数字を考慮した名前順(&U)")
            << QStringList{QStringLiteral("img_1.jpg"), QStringLiteral("IMG_2.jpg"), QStringLiteral("IMG_10.jpg")};
        QTest::newRow("更新日時順") << QStringLiteral("更新日時順(&D)")
                                    << QStringList{QStringLiteral("IMG_2.jpg"),
                                                   QStringLiteral("img_1.jpg"),
                                                   QStringLiteral("IMG_10.jpg")};
        QTest::newRow("撮影日時順: the photo with a date first")
            << QStringLiteral("撮影日時順(&T)")
            << QStringList{QStringLiteral("IMG_10.jpg"), QStringLiteral("IMG_2.jpg"), QStringLiteral("img_1.jpg")};
        QTest::newRow("逆順") << QStringLiteral("逆順(&R)")
                              << QStringList{QStringLiteral("IMG_2.jpg"),
                                             QStringLiteral("IMG_10.jpg"),
                                             QStringLiteral("img_1.jpg")};
    }

    void ordersFromTheMenu()
    {
        QFETCH(QString, item);
        QFETCH(QStringList, expected);
        // Taken long before any of the times the files were modified.
        createFiles(photos(), {{"IMG_10.jpg", testing::exif::photoTakenAt("2001:02:03 04:05:06")}});
        std::filesystem::last_write_time(photos() / "IMG_10.jpg",
                                         std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        choose({QStringLiteral("新しい名前の一覧(&L)...")});
        QTRY_VERIFY(preview()->isVisible());
        ctl(w()).FileListBox1->setItemIndex(1);
        const std::string selected = names(w())[1];
        choose({QStringLiteral("並べ替え(&S)"), item});
        QStringList shown;
        for (const std::string& name : names(w())) {
            shown << QString::fromStdString(name);
        }
        QCOMPARE(shown, expected);
        // The selection stays on its file, the mirror follows, and so does the preview list.
        QCOMPARE(names(w())[static_cast<std::size_t>(ctl(w()).FileListBox1->itemIndex())], selected);
        QCOMPARE(ctl(w()).FileListBox2->entries, names(w()));
        QTRY_COMPARE(cell(0, 1), expected.front());
    }

    // The time each file was placed by, beside its name, for as long as the list is in an order by
    // time; every time and every state in full, however long.
    void showsTheTimeTheOrderUsed_data()
    {
        QTest::addColumn<QStringList>("orders");
        QTest::addColumn<QString>("header");    // empty: no time column
        QTest::addColumn<QStringList>("times"); // of IMG_10.jpg, IMG_2.jpg, img_1.jpg

        const QStringList none{QString(), QString(), QString()};
        const QStringList modified{onTheClock(kModifiedImg10), onTheClock(kModifiedImg2), onTheClock(kModifiedImg1)};
        const QStringList taken{QStringLiteral("2001/02/03 04:05:06"),
                                onTheClock(kModifiedImg2) + QStringLiteral("（Exif なし）"),
                                onTheClock(kModifiedImg1) + QStringLiteral("（Exif なし）")};
        QTest::newRow("a listing shows none") << QStringList() << QString() << none;
        QTest::newRow("by modification time")
            << QStringList{QStringLiteral("更新日時順(&D)")} << QStringLiteral("更新日時") << modified;
        QTest::newRow("by date taken, else the modification time, marked")
            << QStringList{QStringLiteral("撮影日時順(&T)")} << QStringLiteral("撮影日時") << taken;
        QTest::newRow("turned round, still by date taken")
            << QStringList{QStringLiteral("撮影日時順(&T)"), QStringLiteral("逆順(&R)")} << QStringLiteral("撮影日時")
            << taken;
        QTest::newRow("an order by name drops them")
            << QStringList{QStringLiteral("更新日時順(&D)"), QStringLiteral("数字を考慮した名前順(&U)")} << QString()
            << none;
    }

    void showsTheTimeTheOrderUsed()
    {
        QFETCH(QStringList, orders);
        QFETCH(QString, header);
        QFETCH(QStringList, times);
        createFiles(photos(), {{"IMG_10.jpg", testing::exif::photoTakenAt("2001:02:03 04:05:06")}});
        setModified(photos() / "IMG_10.jpg", kModifiedImg10);
        setModified(photos() / "IMG_2.jpg", kModifiedImg2);
        setModified(photos() / "img_1.jpg", kModifiedImg1);
        // A state as long as any: a folder beside the list holds the first new name.
        std::filesystem::create_directory(photos() / "001.jpg");
        // The first order given before the list opens, the others while it is open.
        for (int i = 0; i < orders.size(); ++i) {
            if (i == 1) {
                openPreview();
            }
            choose({QStringLiteral("並べ替え(&S)"), orders[i]});
        }
        if (orders.size() < 2) {
            openPreview();
        }
        QTRY_COMPARE(table()->isColumnHidden(kTimeColumn), header.isEmpty());
        QCOMPARE(rows()->rowCount(), 3);
        if (!header.isEmpty()) {
            QCOMPARE(rows()->headerData(kTimeColumn, Qt::Horizontal).toString(), header);
            // Beside the current name.
            QCOMPARE(table()->horizontalHeader()->visualIndex(kTimeColumn), 2);
        }
        const QStringList files{QStringLiteral("IMG_10.jpg"), QStringLiteral("IMG_2.jpg"), QStringLiteral("img_1.jpg")};
        for (int i = 0; i < files.size(); ++i) {
            const int row = rowOf(files[i]);
            QVERIFY2(row >= 0, qPrintable(files[i]));
            QCOMPARE(rows()->index(row, kTimeColumn).data().toString(), times[i]);
        }
        // Nothing cut: each column at least as wide as the view itself finds its cells need.
        for (const int column : {kStateColumn, kTimeColumn}) {
            if (!table()->isColumnHidden(column)) {
                QVERIFY2(table()->columnWidth(column)
                             >= static_cast<QAbstractItemView*>(table())->sizeHintForColumn(column),
                         qPrintable(rows()->headerData(column, Qt::Horizontal).toString()));
            }
        }
    }

    // The main window's keys do in the preview list what they do there; a move moves the file chosen in
    // the preview list, which stays chosen.
    void keysOfTheMainWindow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("chosen");        // the row chosen in the preview list first
        QTest::addColumn<QStringList>("order"); // the file list's order afterwards
        QTest::addColumn<int>("helps");
        QTest::addColumn<bool>("runs");

        const QString a = QStringLiteral("img_1.jpg");
        const QString b = QStringLiteral("IMG_10.jpg");
        const QString c = QStringLiteral("IMG_2.jpg");
        QTest::newRow("Alt+Down moves the chosen file down")
            << int(Qt::Key_Down) << int(Qt::AltModifier) << 0 << QStringList{b, a, c} << 0 << false;
        QTest::newRow("Alt+Up moves it up")
            << int(Qt::Key_Up) << int(Qt::AltModifier) << 2 << QStringList{a, c, b} << 0 << false;
        QTest::newRow("F1 opens the help") << int(Qt::Key_F1) << 0 << 0 << QStringList{a, b, c} << 1 << false;
        QTest::newRow("Ctrl+Enter runs") << int(Qt::Key_Return) << int(Qt::ControlModifier) << 0
                                         << QStringList{QStringLiteral("001.jpg"),
                                                        QStringLiteral("002.jpg"),
                                                        QStringLiteral("003.jpg")}
                                         << 0 << true;
    }

    void keysOfTheMainWindow()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, chosen);
        QFETCH(QStringList, order);
        QFETCH(int, helps);
        QFETCH(bool, runs);
        openPreview();
        const std::size_t helped = m_fixture.help.requests.size();
        const QString file = cell(chosen, 1);
        QTest::mouseClick(
            table()->viewport(), Qt::LeftButton, {}, table()->visualRect(rows()->index(chosen, 1)).center());
        QCOMPARE(ctl(w()).FileListBox1->itemIndex(), chosen);
        QTest::keyClick(preview(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QStringList shown;
        for (const std::string& name : names(w())) {
            shown << QString::fromStdString(name);
        }
        QCOMPARE(shown, order);
        QCOMPARE(static_cast<int>(m_fixture.help.requests.size() - helped), helps);
        QCOMPARE(!m_fixture.dialogs.messages.empty(), runs);
        // The preview list follows, the chosen file still chosen where it went.
        QTRY_COMPARE(cell(0, 1), order.front());
        if (!runs) {
            QTRY_COMPARE(table()->currentIndex().row(), static_cast<int>(order.indexOf(file)));
            QVERIFY(table()->selectionModel()->isRowSelected(table()->currentIndex().row(), {}));
        }
    }

    // However wide its columns, the window opens whole on the screen, its scroll bar within reach.
    void opensWithinTheScreen()
    {
        createFiles(photos(), {{"001.png", "outside"}, {std::string(120, 'n') + ".jpg", "long"}});
        m_fixture.window->fileSelection().relistFileList();
        openPreview();
        const QRect screen = preview()->screen()->availableGeometry();
        QVERIFY2(
            screen.contains(preview()->frameGeometry()),
            qPrintable(QStringLiteral("%1 wide on %2").arg(preview()->frameGeometry().width()).arg(screen.width())));
    }

    // A save folder made while the list is open, by any program, is followed as a change of the save
    // folder is.
    void followsASaveFolderMadeMeanwhile_data()
    {
        QTest::addColumn<QString>("album"); // under the test's folder
        QTest::newRow("in a folder that exists") << QStringLiteral("album");
        QTest::newRow("with the folder above it") << QStringLiteral("2024/album");
    }

    void followsASaveFolderMadeMeanwhile()
    {
        QFETCH(QString, album);
        const std::filesystem::path save = m_root->path() / album.toStdString();
        QTest::mouseClick(ctl(w()).rgSetting->item(1), Qt::LeftButton);
        static_cast<ui::SaveFolderField*>(ctl(w()).editSaveFolder)->setPath(save.string() + "/");
        openPreview();
        QTRY_COMPARE(cell(0, kStateColumn), QStringLiteral("保存フォルダが見つかりません"));
        std::filesystem::create_directories(save);
        QTRY_COMPARE(cell(0, kStateColumn), QStringLiteral("名前を変えてコピーします"));
        QCOMPARE(summary(), QStringLiteral("問題のあるファイルはありません（全 3 件）"));
    }
};

QTEST_MAIN(PreviewWindowTest)
#include "preview_window_test.moc"
