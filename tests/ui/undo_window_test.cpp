#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/widgets/file_list_box.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>

#include <cerrno>

using namespace tallyfox;
using platform::MessageAnswer;
using tallyfox::testing::ctl;
using testing::createFiles;
using testing::FileTree;
using testing::readFiles;

// The undo of the last run from the file list: its context menu and Ctrl+Z.
class UndoWindowTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;
    std::unique_ptr<testing::TempDir> m_root;

    std::filesystem::path photos() const
    {
        return m_root->path() / "photos";
    }
    ui::FileListBox* list()
    {
        return ctl(*m_fixture.window).FileListBox1;
    }

    // The file list's context menu as the right mouse button opens it.
    QAction* undoItem()
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), list()->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list()->viewport(), &event);
        auto* menu = list()->findChild<QMenu*>(QStringLiteral("FileListMenu"));
        if (menu == nullptr || menu->actions().isEmpty()) {
            return nullptr;
        }
        menu->close();
        return menu->actions().front();
    }

    void ask(bool byKey)
    {
        if (byKey) {
            QApplication::setActiveWindow(m_fixture.window.get());
            list()->setFocus();
            QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        } else {
            QAction* item = undoItem();
            QVERIFY(item != nullptr);
            item->trigger();
        }
        QCoreApplication::processEvents();
    }

private slots:
    void init()
    {
        m_root = std::make_unique<testing::TempDir>();
        createFiles(photos(), {{"b.jpg", "B"}, {"a.jpg", "A"}});
        m_fixture.dialogs = {};
        m_fixture.open(photos());
        QApplication::setActiveWindow(m_fixture.window.get());
        m_fixture.window->ConfirmBeforeRun = 0;
    }

    void cleanup()
    {
        m_fixture.window.reset();
        m_root.reset();
    }

    void undoesTheLastRunOnce_data()
    {
        QTest::addColumn<bool>("byKey");
        QTest::newRow("menu item") << false;
        QTest::newRow("Ctrl+Z") << true;
    }

    void undoesTheLastRunOnce()
    {
        QFETCH(bool, byKey);
        QAction* before = undoItem();
        QVERIFY(before != nullptr);
        QCOMPARE(before->text(), QStringLiteral("元に戻す(&U)"));
        QTest::mouseClick(ctl(*m_fixture.window).sbRename, Qt::LeftButton);
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        QVERIFY(undoItem()->isEnabled());

        m_fixture.dialogs.messages.clear();
        ask(byKey);
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{2});
        const platform::Message& question = m_fixture.dialogs.messages[0];
        QCOMPARE(question.caption, QStringLiteral("確認"));
        QCOMPARE(question.text,
                 QStringLiteral("直前の処理を元に戻します（2 件）。よろしいですか？  \n\nフォルダ：")
                     + QFile::decodeName(QByteArray::fromStdString(photos().string())));
        QCOMPARE(question.buttons, platform::MessageButtons::OkCancel);
        QCOMPARE(question.defaultButton, MessageAnswer::Ok);
        QCOMPARE(m_fixture.dialogs.messages[1].text, QStringLiteral("処理前の名前に戻しました。  "));
        QVERIFY(readFiles(photos()) == (FileTree{{"a.jpg", "A"}, {"b.jpg", "B"}}));
        QVERIFY(list()->entries() == (std::vector<std::string>{"a.jpg", "b.jpg"}));

        // Undone once: the item is off, and the key only beeps.
        QVERIFY(!undoItem()->isEnabled());
        m_fixture.dialogs.messages.clear();
        ask(true);
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{0});
        QCOMPARE(m_fixture.dialogs.beeps, 1);
    }

    void aRunWithoutAJournalLeavesNothingToUndo()
    {
        QTest::mouseClick(ctl(*m_fixture.window).sbRename, Qt::LeftButton);
        QVERIFY(undoItem()->isEnabled());
        // The next run's journal cannot be written, and the user goes on without it: the journal before
        // it is not the last run's.
        ctl(*m_fixture.window).seStartNum->setValue(5);
        m_fixture.syscalls->fail("write", m_fixture.syscalls->calls("write") + 1, ENOSPC);
        m_fixture.dialogs.answer(MessageAnswer::Ok);
        QTest::mouseClick(ctl(*m_fixture.window).sbRename, Qt::LeftButton);
        QVERIFY(readFiles(photos()) == (FileTree{{"005.jpg", "A"}, {"006.jpg", "B"}}));
        QVERIFY(!undoItem()->isEnabled());
    }

    void cancelKeepsTheRun()
    {
        QTest::mouseClick(ctl(*m_fixture.window).sbRename, Qt::LeftButton);
        m_fixture.dialogs.answer(MessageAnswer::Cancel);
        ask(true);
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        QVERIFY(undoItem()->isEnabled());
    }
};

QTEST_MAIN(UndoWindowTest)
#include "undo_window_test.moc"
