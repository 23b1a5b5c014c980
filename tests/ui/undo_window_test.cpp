#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRadioButton>

#include <cerrno>

using namespace tallyfox;
using platform::MessageAnswer;
using tallyfox::testing::ctl;
using testing::createFiles;
using testing::FileTree;
using testing::readFiles;

// The undo of the last run: the file list's context menu, and Ctrl+Z anywhere in the window.
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

    // The control of that name, a radio group by its chosen item, which is where Tab puts the focus.
    QWidget* control(const QString& name)
    {
        auto* w = m_fixture.window->findChild<QWidget*>(name);
        if (auto* group = qobject_cast<ui::RadioGroup*>(w)) {
            return group->item(group->itemIndex());
        }
        return w;
    }

    // Asks for the undo by the menu item, or by Ctrl+Z where the focus is in the control named.
    void ask(const QString& from)
    {
        if (!from.isEmpty()) {
            QApplication::setActiveWindow(m_fixture.window.get());
            QWidget* focus = control(from);
            QVERIFY(focus != nullptr);
            focus->setFocus();
            QCOMPARE(QApplication::focusWidget(), focus);
            QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
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

    // Ctrl+Z works wherever the focus is in the window; a text field with nothing typed to undo leaves
    // it to the window.
    void undoesTheLastRunOnce_data()
    {
        QTest::addColumn<QString>("from");
        QTest::newRow("menu item") << QString();
        QTest::newRow("Ctrl+Z in the file list") << QStringLiteral("FileListBox1");
        QTest::newRow("Ctrl+Z in the folder list") << QStringLiteral("DirectoryListBox1");
        QTest::newRow("Ctrl+Z in the drive chooser") << QStringLiteral("DriveComboBox1");
        QTest::newRow("Ctrl+Z in the filter chooser") << QStringLiteral("FilterComboBox1");
        QTest::newRow("Ctrl+Z on an operation") << QStringLiteral("rgSetting");
        QTest::newRow("Ctrl+Z in a text field with nothing typed") << QStringLiteral("editPrevName");
        QTest::newRow("Ctrl+Z in a number field with nothing typed") << QStringLiteral("seStartNum");
    }

    void undoesTheLastRunOnce()
    {
        QFETCH(QString, from);
        // Names before and after the number, still empty: the text fields take the focus.
        ctl(*m_fixture.window).rgForm->setItemIndex(3);
        QAction* before = undoItem();
        QVERIFY(before != nullptr);
        QCOMPARE(before->text(), QStringLiteral("元に戻す(&U)"));
        QTest::mouseClick(ctl(*m_fixture.window).sbRename, Qt::LeftButton);
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        QVERIFY(undoItem()->isEnabled());

        m_fixture.dialogs.messages.clear();
        ask(from);
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
        ask(from.isEmpty() ? QStringLiteral("FileListBox1") : from);
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{0});
        QCOMPARE(m_fixture.dialogs.beeps, 1);
    }

    // Typing in a field is undone first, by the field; once it has nothing left to undo, the next
    // Ctrl+Z is the window's again.
    void aTextFieldUndoesItsOwnTypingFirst()
    {
        ctl(*m_fixture.window).rgForm->setItemIndex(3);
        QTest::mouseClick(ctl(*m_fixture.window).sbRename, Qt::LeftButton);
        const FileTree renamed{{"001.jpg", "A"}, {"002.jpg", "B"}};
        QVERIFY(readFiles(photos()) == renamed);
        ui::TextField* field = ctl(*m_fixture.window).editPrevName;
        QApplication::setActiveWindow(m_fixture.window.get());
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("kyoto_"));
        QCOMPARE(field->text(), QStringLiteral("kyoto_"));
        QVERIFY(ctl(*m_fixture.window).lblPreview->text().startsWith(QStringLiteral("kyoto_001.jpg")));

        m_fixture.dialogs.messages.clear();
        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(field->text(), QString());
        // As any change the user makes, the preview follows.
        QVERIFY(ctl(*m_fixture.window).lblPreview->text().startsWith(QStringLiteral("001.jpg")));
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{0});
        QVERIFY(readFiles(photos()) == renamed);

        QTest::keyClick(field, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{2});
        QVERIFY(readFiles(photos()) == (FileTree{{"a.jpg", "A"}, {"b.jpg", "B"}}));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field));
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
        ask(QStringLiteral("FileListBox1"));
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        QVERIFY(undoItem()->isEnabled());
    }
};

QTEST_MAIN(UndoWindowTest)
#include "undo_window_test.moc"
