#include "tests/support/exif_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/Option.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QRadioButton>

#include <chrono>
#include <filesystem>
#include <memory>

using namespace tallyfox;
using tallyfox::testing::ctl;
using testing::createFiles;

namespace {

// The name a control is known by: a radio item goes by its group, as Tab treats the group as one stop.
QString stopName(const QWidget* control)
{
    if (control == nullptr) {
        return {};
    }
    if (qobject_cast<const QRadioButton*>(control) != nullptr) {
        return control->parentWidget()->objectName();
    }
    return control->objectName();
}

} // namespace

// What the keyboard alone reaches besides the fields: the buttons that browse for the save folder and
// show the options' hint, by Tab, and the orders of the file list's menu, by their access keys.
class KeyboardReachTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;
    std::unique_ptr<testing::TempDir> m_root;

    std::filesystem::path photos() const
    {
        return m_root->path() / "photos";
    }

    std::vector<std::string> shownOrder() const
    {
        const NameList& shown = ctl(*m_fixture.window).FileListBox1->entries();
        return {shown.begin(), shown.end()};
    }

private slots:
    void init()
    {
        m_root = std::make_unique<testing::TempDir>();
        // Each order puts these three otherwise: one photo has the date it was taken, long before the
        // times the three were modified, which are in an order of their own.
        createFiles(photos(),
                    {{"IMG_10.jpg", testing::exif::photoTakenAt("2001:02:03 04:05:06")},
                     {"IMG_2.jpg", "b"},
                     {"img_1.jpg", "c"}});
        const auto now = std::filesystem::file_time_type::clock::now();
        std::filesystem::last_write_time(photos() / "IMG_10.jpg", now - std::chrono::hours(2));
        std::filesystem::last_write_time(photos() / "IMG_2.jpg", now - std::chrono::hours(3));
        std::filesystem::last_write_time(photos() / "img_1.jpg", now - std::chrono::hours(1));
        m_fixture.dialogs = {};
        m_fixture.open(photos());
        QApplication::setActiveWindow(m_fixture.window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_fixture.window.get()));
    }

    void cleanup()
    {
        m_fixture.window.reset();
        m_root.reset();
    }

    // Tab from the field before each button lands on it, Space presses it, Tab goes on to the control
    // after it and Shift+Tab comes back to it.
    void tabReachesTheButtonBesideAField_data()
    {
        QTest::addColumn<bool>("inOptions");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("opened");
        QTest::newRow("the save folder's ... in the main window")
            << false << QStringLiteral("editSaveFolder") << QStringLiteral("btnSave") << QStringLiteral("rgForm")
            << QStringLiteral("フォルダを選択して下さい。");
        QTest::newRow("the hint in the options") << true << QStringLiteral("editFilter4") << QStringLiteral("sbHint")
                                                 << QStringLiteral("cbShowDialog") << QStringLiteral("ヒント");
    }

    void tabReachesTheButtonBesideAField()
    {
        QFETCH(bool, inOptions);
        QFETCH(QString, before);
        QFETCH(QString, button);
        QFETCH(QString, after);
        QFETCH(QString, opened);
        ui::HandlerBoundary boundary(m_fixture.dialogs);
        std::unique_ptr<ui::TOptionForm> options;
        QWidget* window = m_fixture.window.get();
        if (inOptions) {
            options = std::make_unique<ui::TOptionForm>(m_fixture.settings, boundary, window);
            options->show();
            window = options.get();
        } else {
            // A copy: the save folder and its button are in use.
            ctl(*m_fixture.window).rgSetting->setItemIndex(1);
        }
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto* field = window->findChild<QWidget*>(before);
        auto* target = window->findChild<QWidget*>(button);
        QVERIFY(field != nullptr && target != nullptr);
        QVERIFY(target->isEnabled());
        field->setFocus(Qt::MouseFocusReason);
        QCOMPARE(QApplication::focusWidget(), field);

        QTest::keyClick(field, Qt::Key_Tab);
        QCOMPARE(stopName(QApplication::focusWidget()), button);
        QTest::keyClick(target, Qt::Key_Space);
        if (inOptions) {
            QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
            QCOMPARE(m_fixture.dialogs.messages[0].caption, opened);
        } else {
            QCOMPARE(m_fixture.dialogs.folderTitles, std::vector<QString>{opened});
        }
        QCOMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, Qt::Key_Tab);
        QCOMPARE(stopName(QApplication::focusWidget()), after);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), target);
    }

    // From the file list, the menu key opens its menu, S its orders and each order's own key puts the
    // list in that order; no two items of a menu share a key, or the key would only move between them.
    void eachOrderHasItsAccessKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<std::vector<std::string>>("expected");
        QTest::newRow("名前順(&N)") << int(Qt::Key_N)
                                    << std::vector<std::string>{"img_1.jpg", "IMG_10.jpg", "IMG_2.jpg"};
        QTest::newRow("数字を考慮した名前順(&U)")
            << int(Qt::Key_U) << std::vector<std::string>{"img_1.jpg", "IMG_2.jpg", "IMG_10.jpg"};
        QTest::newRow("更新日時順(&D)") << int(Qt::Key_D)
                                        << std::vector<std::string>{"IMG_2.jpg", "IMG_10.jpg", "img_1.jpg"};
        QTest::newRow("撮影日時順(&T)") << int(Qt::Key_T)
                                        << std::vector<std::string>{"IMG_10.jpg", "IMG_2.jpg", "img_1.jpg"};
        QTest::newRow("逆順(&R)") << int(Qt::Key_R) << std::vector<std::string>{"IMG_10.jpg", "img_1.jpg", "IMG_2.jpg"};
    }

    void eachOrderHasItsAccessKey()
    {
        QFETCH(int, key);
        QFETCH(std::vector<std::string>, expected);
        // In none of the five orders, which all differ: a key that ran another order, or none, shows.
        ctl(*m_fixture.window).FileListBox1->setEntries({"IMG_2.jpg", "img_1.jpg", "IMG_10.jpg"});
        ctl(*m_fixture.window).FileListBox2->entries = {"IMG_2.jpg", "img_1.jpg", "IMG_10.jpg"};
        ui::FileListBox* list = ctl(*m_fixture.window).FileListBox1;
        list->setFocus();
        // What the menu key sends the list.
        QContextMenuEvent menuKey(
            QContextMenuEvent::Keyboard, QPoint(5, 5), list->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list->viewport(), &menuKey);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr);
        QTest::keyClick(menu, Qt::Key_S);
        QMenu* orders = nullptr;
        QTRY_VERIFY((orders = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr && orders != menu);
        QTest::keyClick(orders, Qt::Key(key));
        QTRY_VERIFY(QApplication::activePopupWidget() == nullptr);
        QTRY_COMPARE(shownOrder(), expected);
        QCOMPARE(ctl(*m_fixture.window).FileListBox2->entries, expected);
    }
};

QTEST_MAIN(KeyboardReachTest)
#include "keyboard_reach_test.moc"
