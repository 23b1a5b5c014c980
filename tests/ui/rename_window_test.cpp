#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QLabel>

using namespace tallyfox;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using tallyfox::testing::ctl;
using testing::createFiles;
using testing::FileTree;
using testing::readFiles;

// The rename run pressed in the window: its boxes answered through the scripted dialogs, on real files.
class RenameWindowTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;
    std::unique_ptr<testing::TempDir> m_root;

    std::filesystem::path photos() const
    {
        return m_root->path() / "photos";
    }
    std::filesystem::path save() const
    {
        return m_root->path() / "save";
    }
    ui::TMain& window()
    {
        return *m_fixture.window;
    }
    void pressRename()
    {
        QTest::mouseClick(ctl(window()).sbRename, Qt::LeftButton);
    }
    std::vector<std::string> listed()
    {
        const NameList& shown = ctl(window()).FileListBox1->entries();
        return {shown.begin(), shown.end()};
    }

    void compareBox(std::size_t index, const QString& text, MessageIcon icon, MessageButtons buttons)
    {
        QVERIFY(index < m_fixture.dialogs.messages.size());
        const platform::Message& box = m_fixture.dialogs.messages[index];
        QCOMPARE(box.caption, QStringLiteral("確認"));
        QCOMPARE(box.text, text);
        QCOMPARE(box.icon, icon);
        QCOMPARE(box.buttons, buttons);
    }

private slots:
    void init()
    {
        m_root = std::make_unique<testing::TempDir>();
        createFiles(photos(), {{"b.jpg", "B"}, {"a.jpg", "A"}});
        createFiles(save(), {{"002.jpg", "old"}});
        m_fixture.dialogs = {};
        std::filesystem::remove(m_fixture.settingsFolder.path() / "tallyfox.ini");
        m_fixture.open(photos());
    }

    void cleanup()
    {
        m_fixture.window.reset();
        m_root.reset();
    }

    void copyWithTheQuestionsAnswered()
    {
        ctl(window()).rgSetting->setItemIndex(1);
        ctl(window()).editSaveFolder->assignText(QString::fromStdString(save().string() + "/"));
        QCOMPARE(window().ConfirmBeforeRun, 1);
        m_fixture.dialogs.answer(MessageAnswer::Ok); // the run
        m_fixture.dialogs.answer(MessageAnswer::Ok); // replacing 002.jpg
        pressRename();

        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{3});
        compareBox(0,
                   QStringLiteral("2枚のファイルをリネームした上でコピーします。よろしいですか？  "),
                   MessageIcon::Information,
                   MessageButtons::OkCancel);
        compareBox(1,
                   QStringLiteral("002.jpgは既に存在します。上書きしますか？  "),
                   MessageIcon::Question,
                   MessageButtons::OkCancel);
        compareBox(
            2, QStringLiteral("リネーム＋コピーが完了しました。  "), MessageIcon::Information, MessageButtons::Ok);
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        QVERIFY(readFiles(save()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        QVERIFY(listed() == (std::vector<std::string>{"001.jpg", "002.jpg"}));
        QVERIFY(ctl(window()).FileListBox2->entries == listed());
        QCOMPARE(ctl(window()).lblCount->text(), QStringLiteral("ファイル： 2枚"));
        QCOMPARE(ctl(window()).lblPreview->text(), QStringLiteral("001.jpg ～"));
        QCOMPARE(ctl(window()).Gauge1->value(), 0);
        QCOMPARE(ctl(window()).ListBox1->entries.size(), std::size_t{2});
    }

    void cancellingTheQuestionChangesNothing()
    {
        m_fixture.dialogs.answer(MessageAnswer::Cancel);
        pressRename();
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
        compareBox(0,
                   QStringLiteral("2枚のファイルをリネームします。よろしいですか？  "),
                   MessageIcon::Information,
                   MessageButtons::OkCancel);
        QVERIFY(readFiles(photos()) == (FileTree{{"a.jpg", "A"}, {"b.jpg", "B"}}));
        QCOMPARE(ctl(window()).Gauge1->value(), 0);
    }

    void theOrderShownIsTheNumberingOrder()
    {
        window().ConfirmBeforeRun = 0;
        ctl(window()).FileListBox1->setItemIndex(1);
        QTest::mouseClick(ctl(window()).sbUp, Qt::LeftButton);
        QVERIFY(listed() == (std::vector<std::string>{"b.jpg", "a.jpg"}));
        pressRename();
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "B"}, {"002.jpg", "A"}}));
        compareBox(0, QStringLiteral("リネームが完了しました。    "), MessageIcon::Information, MessageButtons::Ok);
    }

    void theShownOrderHoldsAlsoAfterTheFolderIsOpenedAgainAnotherWay()
    {
        // The folder opened again through a link to itself lists nothing anew: the manual order stays,
        // in the list and in its mirror, and the run follows it.
        std::filesystem::create_directory_symlink(".", photos() / "self");
        window().ConfirmBeforeRun = 0;
        ctl(window()).FileListBox1->setItemIndex(1);
        QTest::mouseClick(ctl(window()).sbUp, Qt::LeftButton);
        window().fileSelection().makeFolderCurrent((photos() / "self").string());
        QVERIFY(listed() == (std::vector<std::string>{"b.jpg", "a.jpg"}));
        QVERIFY(ctl(window()).FileListBox2->entries == listed());
        pressRename();
        QVERIFY(readFiles(photos()) == (FileTree{{"001.jpg", "B"}, {"002.jpg", "A"}}));
    }

    void aSaveFolderWhoseNameIsNotUtf8IsTheOneUsedAndStored()
    {
        const std::string folder = m_root->str() + "/caf\xE9";
        std::filesystem::create_directory(folder);
        window().ConfirmBeforeRun = 0;
        ctl(window()).rgSetting->setItemIndex(1);
        m_fixture.dialogs.answerFolder(folder);
        QTest::mouseClick(ctl(window()).btnSave, Qt::LeftButton);
        pressRename();
        QVERIFY(readFiles(folder) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
        window().close();
        QCOMPARE(m_fixture.settings.readString("SaveDir", "Path"), folder + "/");
    }

    void movingEverythingEmptiesTheList()
    {
        window().ConfirmBeforeRun = 0;
        ctl(window()).rgSetting->setItemIndex(2);
        ctl(window()).editSaveFolder->assignText(QString::fromStdString(save().string()));
        m_fixture.dialogs.answer(MessageAnswer::Cancel); // keep the old 002.jpg in the save folder
        pressRename();
        QVERIFY(readFiles(photos()) == (FileTree{{"002.jpg", "B"}}));
        QVERIFY(readFiles(save()) == (FileTree{{"001.jpg", "A"}, {"002.jpg", "old"}}));
        QCOMPARE(ctl(window()).lblCount->text(), QStringLiteral("ファイル： 1枚"));

        m_fixture.dialogs.answer(MessageAnswer::Ok);
        pressRename();
        QVERIFY(readFiles(photos()).empty());
        QVERIFY(readFiles(save()) == (FileTree{{"001.jpg", "B"}, {"002.jpg", "old"}}));
        QCOMPARE(ctl(window()).lblCount->text(), QStringLiteral("ファイル： 0枚"));
        QCOMPARE(ctl(window()).lblPreview->text(), QStringLiteral("-"));
    }

    void aTypedDigitCountIsReadAsTypedAndANegativeOneEndsTheRun()
    {
        window().ConfirmBeforeRun = 0;
        ctl(window()).seZeroNum->setFocus();
        ctl(window()).seZeroNum->selectAll();
        QTest::keyClicks(ctl(window()).seZeroNum, QStringLiteral("12"));
        pressRename();
        QVERIFY2(ctl(window()).seZeroNum->hasFocus(), "the tool button leaves the focus in the field");
        QVERIFY(readFiles(photos()) == (FileTree{{"000000000001.jpg", "A"}, {"000000000002.jpg", "B"}}));

        ctl(window()).seZeroNum->selectAll();
        QTest::keyClicks(ctl(window()).seZeroNum, QStringLiteral("-1"));
        m_fixture.dialogs.messages.clear();
        pressRename();
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
        const platform::Message& box = m_fixture.dialogs.messages[0];
        QCOMPARE(box.caption, QStringLiteral("Tallyfox"));
        QCOMPARE(box.text, QStringLiteral("書式文字列 '%.0-' は正しくないか引数の型と一致しません."));
        QCOMPARE(box.icon, MessageIcon::Error);
        QVERIFY(readFiles(photos()) == (FileTree{{"000000000001.jpg", "A"}, {"000000000002.jpg", "B"}}));
    }

    void failuresAreReportedWithTheWarningIcon()
    {
        window().ConfirmBeforeRun = 0;
        createFiles(photos(), {{"a.png", "P"}});
        window().fileSelection().listAfterRun();
        ctl(window()).rgSetting->setItemIndex(3);
        ctl(window()).editExt->assignText(QStringLiteral("txt"));
        pressRename();
        QVERIFY(readFiles(photos()) == (FileTree{{"a.txt", "A"}, {"a.png", "P"}, {"b.txt", "B"}}));
        compareBox(0,
                   QStringLiteral("拡張子の変更が完了しました。    \r\n\r\n処理できなかったファイル： 1 件\r\n"
                                  "a.png → a.png：同じ名前のファイルが既にあります"),
                   MessageIcon::Warning,
                   MessageButtons::Ok);
        QVERIFY(listed() == (std::vector<std::string>{"a.png", "a.txt", "b.txt"}));
    }
};

QTEST_MAIN(RenameWindowTest)
#include "rename_window_test.moc"
