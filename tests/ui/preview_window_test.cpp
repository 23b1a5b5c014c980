#include "tests/support/exif_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/preview_window.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>

#include <filesystem>
#include <functional>

using namespace tallyfox;
using tallyfox::testing::ctl;
using testing::createFiles;

namespace {

// What a row of a table does to the main window.
using Change = std::function<void(ui::TMain&, const std::filesystem::path& root)>;

std::vector<std::string> names(const ui::TMain& window)
{
    return ctl(window).FileListBox1->entries();
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
};

QTEST_MAIN(PreviewWindowTest)
#include "preview_window_test.moc"
