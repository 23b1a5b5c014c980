#include "platform/program_files.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/Option.h"
#include "ui/pictures.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QApplication>
#include <QLabel>
#include <QRadioButton>
#include <QSet>
#include <QTimer>

#include <optional>
#include <string>

using namespace tallyfox;
using tallyfox::testing::ctl;
using Command = platform::ScriptedHelpViewer::Command;

namespace {

// The distinct colours of a picture's visible pixels.
QSet<QRgb> coloursOf(const QImage& image)
{
    QSet<QRgb> colours;
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            if (qAlpha(pixel) != 0) {
                colours.insert(pixel);
            }
        }
    }
    return colours;
}

} // namespace

// The save-folder button, help, the version box and the pictures of the tool bar.
class ToolbarCommandsTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;

private slots:
    void init()
    {
        m_fixture.dialogs = {};
        m_fixture.help = {};
        m_fixture.open();
    }

    void cleanup()
    {
        m_fixture.window.reset();
    }

    void saveFolderChooser_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QString>("after");
        QTest::newRow("the root is taken unchanged") << QString() << true << QByteArray("/") << QStringLiteral("/");
        QTest::newRow("a deep folder gets a separator")
            << QString() << true << QByteArray("/home/user/photos/2024/trip")
            << QStringLiteral("/home/user/photos/2024/trip/");
        QTest::newRow("a multibyte path gets a separator")
            << QString() << true << QByteArray("/home/user/写真/旅行") << QStringLiteral("/home/user/写真/旅行/");
        QTest::newRow("a one-letter folder under the root gets a separator")
            << QString() << true << QByteArray("/a") << QStringLiteral("/a/");
        QTest::newRow("a confirmed folder replaces the text")
            << QStringLiteral("/old/place/") << true << QByteArray("/srv/new") << QStringLiteral("/srv/new/");
        QTest::newRow("cancel leaves an empty field empty") << QString() << false << QByteArray() << QString();
        QTest::newRow("cancel leaves a filled field as it was")
            << QStringLiteral("typed by hand") << false << QByteArray() << QStringLiteral("typed by hand");
    }

    void saveFolderChooser()
    {
        QFETCH(QString, before);
        QFETCH(bool, confirmed);
        QFETCH(QByteArray, folder);
        QFETCH(QString, after);
        ui::TMain& w = *m_fixture.window;
        ctl(w).rgSetting->setItemIndex(1);
        ctl(w).editSaveFolder->assignText(before);
        ctl(w).lblPreview->setText(QStringLiteral("untouched"));
        m_fixture.dialogs.answerFolder(confirmed ? std::optional<std::string>(folder.toStdString()) : std::nullopt);

        QTest::mouseClick(ctl(w).btnSave, Qt::LeftButton);

        QCOMPARE(m_fixture.dialogs.folderTitles, std::vector<QString>{QStringLiteral("フォルダを選択して下さい。")});
        QCOMPARE(ctl(w).editSaveFolder->text(), after);
        // Setting the text runs nothing else.
        QCOMPARE(ctl(w).lblPreview->text(), QStringLiteral("untouched"));
        QVERIFY(m_fixture.dialogs.messages.empty());
    }

    void theSaveFolderButtonWorksUnderMoveAndNotWithoutASaveFolder()
    {
        ui::TMain& w = *m_fixture.window;
        QTest::mouseClick(ctl(w).btnSave, Qt::LeftButton);
        ctl(w).rgSetting->setItemIndex(3);
        QTest::mouseClick(ctl(w).btnSave, Qt::LeftButton);
        QVERIFY(m_fixture.dialogs.folderTitles.empty());

        ctl(w).rgSetting->setItemIndex(2);
        m_fixture.dialogs.answerFolder("/mnt/backup");
        QTest::mouseClick(ctl(w).btnSave, Qt::LeftButton);
        QCOMPARE(ctl(w).editSaveFolder->text(), QStringLiteral("/mnt/backup/"));
    }

    void helpShowsTheSameFileOnEveryClickAndIsLetGoAtTheEnd()
    {
        ui::TMain* w = m_fixture.window.get();
        const std::string expected = platform::helpFileOf(platform::executablePath());
        QTest::mouseClick(ctl(w).sbHelp, Qt::LeftButton);
        QTest::mouseClick(ctl(w).sbHelp, Qt::LeftButton);
        const auto& requests = m_fixture.help.requests;
        QCOMPARE(requests.size(), std::size_t{2});
        for (const auto& request : requests) {
            QCOMPARE(request.command, Command::Contents);
            QCOMPARE(request.helpFile, expected);
            QCOMPARE(request.owner, static_cast<QWidget*>(w));
        }
        QVERIFY(m_fixture.dialogs.messages.empty());

        // Closing leaves the viewer alone; the end of the program lets it go, with the same file.
        w->close();
        QCOMPARE(requests.size(), std::size_t{2});
        m_fixture.window.reset();
        QCOMPARE(requests.size(), std::size_t{3});
        QCOMPARE(requests.back().command, Command::Quit);
        QCOMPARE(requests.back().helpFile, expected);
    }

    void withoutHelpNothingIsSentToTheViewer()
    {
        QTest::mouseClick(ctl(m_fixture.window).sbAbout, Qt::LeftButton);
        QTest::mouseClick(ctl(m_fixture.window).sbExit, Qt::LeftButton);
        m_fixture.window.reset();
        QVERIFY(m_fixture.help.requests.empty());
    }

    void versionBox()
    {
        QTest::mouseClick(ctl(m_fixture.window).sbAbout, Qt::LeftButton);
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
        const platform::Message& box = m_fixture.dialogs.messages.front();
        const QByteArray expected = "Tallyfox 1.20\r\n"
                                    "\r\n"
                                    "     本ソフトウェアは無保証で提供されます。     \r\n"
                                    "     ご使用によって生じた損害について一切の責任を負いません。\r\n"
                                    "\r\n"
                                    "     E-Mail : tallyfox@example.org\r\n"
                                    "     HomePage : https://www.example.org/tallyfox/\r\n";
        QCOMPARE(box.text.toUtf8(), expected);
        QCOMPARE(box.caption, QStringLiteral("ヴァージョン情報"));
        QCOMPARE(box.caption, ctl(m_fixture.window).sbAbout->toolTip());
        QCOMPARE(box.icon, platform::MessageIcon::Information);
        QCOMPARE(box.buttons, platform::MessageButtons::Ok);
        QVERIFY(m_fixture.window->isVisible());
    }

    void versionBoxLayout()
    {
        // Seven lines, each ending in CR LF; the notice and contact lines stand five blanks in, the
        // notice's first line has five blanks after it; no line names a person.
        QTest::mouseClick(ctl(m_fixture.window).sbAbout, Qt::LeftButton);
        const QString text = m_fixture.dialogs.messages.front().text;
        QVERIFY(text.endsWith(QStringLiteral("\r\n")));
        const QStringList lines = text.chopped(2).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 7);
        QCOMPARE(lines[0], QStringLiteral("Tallyfox 1.20"));
        QVERIFY(lines[1].isEmpty());
        QVERIFY(lines[4].isEmpty());
        for (const int i : {2, 3, 5, 6}) {
            QVERIFY2(lines[i].startsWith(QStringLiteral("     ")) && !lines[i].startsWith(QStringLiteral("      ")),
                     qPrintable(lines[i]));
            QVERIFY(!lines[i].contains(QLatin1Char('\r')) && !lines[i].contains(QLatin1Char('\n')));
        }
        QVERIFY(lines[2].endsWith(QStringLiteral("     ")) && !lines[2].endsWith(QStringLiteral("      ")));
        QVERIFY(!lines[3].endsWith(QLatin1Char(' ')));
        QVERIFY(lines[5].contains(QStringLiteral("@example.org")));
        QVERIFY(lines[6].contains(QStringLiteral("example.org/")));
    }

    void pictures_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("disabledPicture");
        QTest::newRow("run") << QStringLiteral("sbRename") << QStringLiteral("rename") << QString();
        QTest::newRow("options") << QStringLiteral("sbDialog") << QStringLiteral("options") << QString();
        QTest::newRow("reset") << QStringLiteral("sbReset") << QStringLiteral("reset")
                               << QStringLiteral("reset_disabled");
        QTest::newRow("help") << QStringLiteral("sbHelp") << QStringLiteral("help") << QString();
        QTest::newRow("about") << QStringLiteral("sbAbout") << QStringLiteral("about") << QString();
        QTest::newRow("up") << QStringLiteral("sbUp") << QStringLiteral("up") << QStringLiteral("up_disabled");
        QTest::newRow("down") << QStringLiteral("sbDown") << QStringLiteral("down") << QStringLiteral("down_disabled");
    }

    void pictures()
    {
        QFETCH(QString, button);
        QFETCH(QString, picture);
        QFETCH(QString, disabledPicture);
        auto* b = m_fixture.window->findChild<ui::ToolButton*>(button);
        QVERIFY(b != nullptr);
        QStringList names{picture};
        if (!disabledPicture.isEmpty()) {
            names << disabledPicture;
        }
        for (const QString& name : names) {
            const QPixmap pixmap = ui::toolPicture(name);
            QVERIFY2(!pixmap.isNull(), qPrintable(name));
            QCOMPARE(pixmap.size(), QSize(16, 16));
            const QImage image = pixmap.toImage();
            QVERIFY2(coloursOf(image).size() <= 16, qPrintable(name));
        }
        const QIcon icon = b->icon();
        QCOMPARE(icon.pixmap(16, QIcon::Normal).toImage().convertToFormat(QImage::Format_ARGB32),
                 ui::toolPicture(picture).toImage().convertToFormat(QImage::Format_ARGB32));
        if (!disabledPicture.isEmpty()) {
            QCOMPARE(icon.pixmap(16, QIcon::Disabled).toImage().convertToFormat(QImage::Format_ARGB32),
                     ui::toolPicture(disabledPicture).toImage().convertToFormat(QImage::Format_ARGB32));
            QVERIFY(coloursOf(ui::toolPicture(disabledPicture).toImage())
                    != coloursOf(ui::toolPicture(picture).toImage()));
        }
    }

    // A keyboard user can run every command of the tool bar and move a file wherever the focus is; the
    // key does what a click does, and the focus stays where it was. Keys a field edits with stay its own.
    void keysRunTheCommandsWhereverTheFocusIs_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("command");
        struct Command
        {
            const char* name;
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
        };
        const Command commands[] = {
            {"run", Qt::Key_Return, Qt::ControlModifier},
            {"options", Qt::Key_O, Qt::ControlModifier},
            {"reset", Qt::Key_R, Qt::ControlModifier},
            {"help", Qt::Key_F1, Qt::NoModifier},
            {"about", Qt::Key_F1, Qt::ShiftModifier},
            {"exit", Qt::Key_Q, Qt::ControlModifier},
            {"up", Qt::Key_Up, Qt::AltModifier},
            {"down", Qt::Key_Down, Qt::AltModifier},
        };
        for (const char* focus : {"editPrevName", "seStartNum", "FileListBox1"}) {
            for (const Command& command : commands) {
                QTest::addRow("%s from %s", command.name, focus)
                    << QString::fromLatin1(focus) << int(command.key) << int(command.modifiers)
                    << QString::fromLatin1(command.name);
            }
        }
        // Where a control has a use of its own for the key, the window's command still comes first.
        QTest::newRow("down from the filter chooser")
            << QStringLiteral("FilterComboBox1") << int(Qt::Key_Down) << int(Qt::AltModifier) << QStringLiteral("down");
        QTest::newRow("up from the folder list")
            << QStringLiteral("DirectoryListBox1") << int(Qt::Key_Up) << int(Qt::AltModifier) << QStringLiteral("up");
        QTest::newRow("run by the keypad's Enter from an operation")
            << QStringLiteral("rgSetting0") << int(Qt::Key_Enter) << int(Qt::ControlModifier | Qt::KeypadModifier)
            << QStringLiteral("run");
        QTest::newRow("help from the panel")
            << QStringLiteral("Panel1") << int(Qt::Key_F1) << int(Qt::NoModifier) << QStringLiteral("help");
        QTest::newRow("Enter alone in a text field runs nothing")
            << QStringLiteral("editPrevName") << int(Qt::Key_Return) << int(Qt::NoModifier) << QString();
        QTest::newRow("Up in a number field steps it and moves nothing")
            << QStringLiteral("seStartNum") << int(Qt::Key_Up) << int(Qt::NoModifier) << QStringLiteral("step");
    }

    void keysRunTheCommandsWhereverTheFocusIs()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, command);
        ui::TMain& w = *m_fixture.window;
        // Names before and after the number: both text fields take typing.
        ctl(w).rgForm->setItemIndex(3);
        // Three files, the middle one selected: a move changes the order.
        const std::vector<std::string> names{"a.jpg", "b.jpg", "c.jpg"};
        ctl(w).FileListBox1->setEntries(names);
        ctl(w).FileListBox2->entries = names;
        ctl(w).FileListBox1->setItemIndex(1);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QWidget* target = focus == QLatin1String("rgSetting0") ? static_cast<QWidget*>(ctl(w).rgSetting->item(0))
                                                               : w.findChild<QWidget*>(focus);
        QVERIFY(target != nullptr);
        target->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), target);

        // A box that asks is cancelled: nothing is renamed or reset.
        m_fixture.dialogs.answer(platform::MessageAnswer::Cancel);
        bool optionsShown = false;
        QObject lifetime;
        QTimer::singleShot(0, &lifetime, [&] {
            if (auto* dialog = qobject_cast<ui::TOptionForm*>(QApplication::activeModalWidget())) {
                optionsShown = true;
                dialog->reject();
            }
        });
        QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        const auto captions = [this] {
            QStringList list;
            for (const platform::Message& message : m_fixture.dialogs.messages) {
                list << message.caption;
            }
            return list;
        };
        std::vector<std::string> order = names;
        if (command == QLatin1String("up")) {
            order = {"b.jpg", "a.jpg", "c.jpg"};
        } else if (command == QLatin1String("down")) {
            order = {"a.jpg", "c.jpg", "b.jpg"};
        }
        QCOMPARE(ctl(w).FileListBox1->entries(), order);
        QCOMPARE(ctl(w).FileListBox2->entries, order);
        QCOMPARE(optionsShown, command == QLatin1String("options"));
        QCOMPARE(m_fixture.help.requests.size(), std::size_t{command == QLatin1String("help") ? 1U : 0U});
        QCOMPARE(w.isVisible(), command != QLatin1String("exit"));
        QCOMPARE(ctl(w).seStartNum->value(), command == QLatin1String("step") ? 2 : 1);
        if (command == QLatin1String("run")) {
            // The run's own first step: the list it was given holds files, so it asks before it starts.
            QCOMPARE(captions(), QStringList{QStringLiteral("確認")});
        } else if (command == QLatin1String("reset")) {
            QCOMPARE(captions(), QStringList{QStringLiteral("リセットの確認")});
        } else if (command == QLatin1String("about")) {
            QCOMPARE(captions(), QStringList{QStringLiteral("ヴァージョン情報")});
        } else {
            QCOMPARE(captions(), QStringList());
        }
        if (command != QLatin1String("exit") && command != QLatin1String("options")) {
            QCOMPARE(QApplication::focusWidget(), target);
        }
    }

    void buttonsWithoutPictures()
    {
        QVERIFY(ctl(m_fixture.window).sbExit->icon().isNull());
        QVERIFY(ctl(m_fixture.window).btnSave->icon().isNull());
        QVERIFY(ui::toolPicture(QStringLiteral("exit")).isNull());
    }
};

QTEST_MAIN(ToolbarCommandsTest)
#include "toolbar_commands_test.moc"
