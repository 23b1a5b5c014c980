#include "core/settings.h"
#include "platform/program_files.h"
#include "platform/settings_store.h"
#include "platform/testing/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"
#include "ui/help_window.h"
#include "ui/widgets/tool_button.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <fstream>
#include <memory>
#include <string>

using namespace tallyfox;
using tallyfox::testing::ctl;

namespace {

// Every help window there is, shown or not.
QList<ui::HelpWindow*> helpWindows()
{
    QList<ui::HelpWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* help = qobject_cast<ui::HelpWindow*>(widget)) {
            found << help;
        }
    }
    return found;
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

} // namespace

// The program's own help viewer, alone and behind the main window's help button.
class HelpWindowTest : public QObject
{
    Q_OBJECT

private:
    testing::TempDir m_folder;

    std::string helpFile(const std::string& name, const std::string& body)
    {
        const std::string path = m_folder.str() + "/" + name;
        writeFile(path, "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>");
        return path;
    }

    static QString shownText(const ui::HelpWindowViewer& viewer)
    {
        return viewer.window()->browser()->toPlainText();
    }

private slots:
    void cleanup()
    {
        QVERIFY(helpWindows().isEmpty());
    }

    void showsTheHelpFileAsAWindowOfItsOwn()
    {
        ui::HelpWindowViewer viewer;
        const std::string file = helpFile("tallyfox.hlp", "<h1>連番リネーム</h1><p>使い方</p>");
        viewer.showContents(file, nullptr);
        QVERIFY(viewer.window() != nullptr);
        QVERIFY(viewer.window()->isVisible());
        QVERIFY(viewer.window()->isWindow());
        QVERIFY(!viewer.window()->isModal());
        QVERIFY(shownText(viewer).contains(QStringLiteral("連番リネーム")));
        QVERIFY(shownText(viewer).contains(QStringLiteral("使い方")));
        QCOMPARE(viewer.window()->helpFile(), file);
        viewer.quit(file);
    }

    // Closed from the keyboard, from its text, as other viewers are; the next request shows it again.
    void closesWithEscapeAndCtrlW_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Esc") << int(Qt::Key_Escape) << int(Qt::NoModifier);
        QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier);
    }

    void closesWithEscapeAndCtrlW()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        ui::HelpWindowViewer viewer;
        const std::string file = helpFile("tallyfox.hlp", "<p>使い方</p>");
        viewer.showContents(file, nullptr);
        QVERIFY(QTest::qWaitForWindowActive(viewer.window()));
        viewer.window()->browser()->setFocus();
        QTest::keyClick(viewer.window()->browser(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QVERIFY(!viewer.window()->isVisible());
        viewer.showContents(file, nullptr);
        QVERIFY(viewer.window()->isVisible());
        viewer.quit(file);
    }

    void linksOfTheContentsMoveWithinTheHelp()
    {
        ui::HelpWindowViewer viewer;
        std::string body = "<p><a href=\"#end\">to the end</a></p>";
        for (int i = 0; i < 200; ++i) {
            body += "<p>line " + std::to_string(i) + "</p>";
        }
        body += "<h2><a name=\"end\"></a>end</h2>";
        const std::string file = helpFile("tallyfox.hlp", body);
        viewer.showContents(file, nullptr);
        QTextBrowser* browser = viewer.window()->browser();
        const QString before = browser->toPlainText();
        QCOMPARE(browser->verticalScrollBar()->value(), 0);
        // What a click on the link does.
        browser->setSource(QUrl(QStringLiteral("#end")));
        QVERIFY(browser->verticalScrollBar()->value() > 0);
        QCOMPARE(browser->toPlainText(), before);
        viewer.quit(file);
    }

    void everyLinkOfTheProgramsHelpFileHasItsTarget()
    {
        QFile file(QStringLiteral(TALLYFOX_HELP_SOURCE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QSet<QString> targets;
        for (const auto& match : QRegularExpression(QStringLiteral("name=\"([^\"]+)\"")).globalMatch(html)) {
            targets.insert(match.captured(1));
        }
        int links = 0;
        for (const auto& match : QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(html)) {
            QVERIFY2(targets.contains(match.captured(1)), qPrintable(match.captured(1)));
            ++links;
        }
        QVERIFY(links > 10);
    }

    void aMissingFileIsReportedByTheWindow()
    {
        ui::HelpWindowViewer viewer;
        const std::string file = m_folder.str() + "/名前.hlp";
        viewer.showContents(file, nullptr);
        QVERIFY(viewer.window()->isVisible());
        const QString text = shownText(viewer);
        QVERIFY2(text.contains(QStringLiteral("ヘルプを表示できません")), qPrintable(text));
        QVERIFY2(text.contains(QString::fromStdString(file)), qPrintable(text));
        viewer.quit(file);
    }

    void aSecondRequestShowsTheFileAgainInTheSameWindow()
    {
        ui::HelpWindowViewer viewer;
        const std::string file = helpFile("tallyfox.hlp", "<p>first</p>");
        viewer.showContents(file, nullptr);
        QPointer<ui::HelpWindow> first = viewer.window();
        // The user closes the window, and the file changes before the next request.
        first->close();
        QVERIFY(!first->isVisible());
        helpFile("tallyfox.hlp", "<p>second</p>");
        viewer.showContents(file, nullptr);
        QCOMPARE(viewer.window(), first.data());
        QVERIFY(first->isVisible());
        QCOMPARE(shownText(viewer), QStringLiteral("second"));
        QCOMPARE(helpWindows().size(), 1);
        viewer.quit(file);
    }

    void quitClosesTheWindowAndNothingIsMadeWithoutARequest()
    {
        ui::HelpWindowViewer viewer;
        viewer.quit("unused.hlp");
        QVERIFY(viewer.window() == nullptr);
        QVERIFY(helpWindows().isEmpty());

        const std::string file = helpFile("tallyfox.hlp", "<p>text</p>");
        viewer.showContents(file, nullptr);
        QPointer<ui::HelpWindow> window = viewer.window();
        viewer.quit(file);
        QVERIFY(window.isNull());
        QVERIFY(viewer.window() == nullptr);
    }

    void opensBesideItsOwner_data()
    {
        QTest::addColumn<bool>("ownerOnTheLeft");
        QTest::newRow("right of an owner on the left of the screen") << true;
        QTest::newRow("left of an owner on the right of the screen") << false;
    }

    void opensBesideItsOwner()
    {
        QFETCH(bool, ownerOnTheLeft);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QWidget owner;
        owner.resize(120, 200);
        owner.move(ownerOnTheLeft ? screen.left() : screen.right() - 120, screen.top());
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        ui::HelpWindowViewer viewer;
        const std::string file = helpFile("tallyfox.hlp", "<p>text</p>");
        viewer.showContents(file, &owner);
        const QRect help = viewer.window()->frameGeometry();
        QVERIFY(!help.intersects(owner.frameGeometry()));
        QCOMPARE(help.top(), owner.frameGeometry().top());
        QCOMPARE(help.left() > owner.frameGeometry().left(), ownerOnTheLeft);
        viewer.quit(file);
    }

    void theMainWindowsHelpButtonOpensOneWindowThatEndsWithTheProgram()
    {
        platform::ScriptedDialogs dialogs;
        ui::HelpWindowViewer viewer;
        testing::TempDir settingsFolder;
        platform::PosixSettingsStore store;
        SettingsFile settings((settingsFolder.path() / "tallyfox.ini").string(), store);
        auto main = std::make_unique<ui::TMain>(ui::Services{.dialogs = dialogs, .help = viewer, .settings = settings});
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        QVERIFY(helpWindows().isEmpty());

        QTest::mouseClick(ctl(main).sbHelp, Qt::LeftButton);
        QTest::mouseClick(ctl(main).sbHelp, Qt::LeftButton);
        QCOMPARE(helpWindows().size(), 1);
        QPointer<ui::HelpWindow> window = helpWindows().front();
        QVERIFY(window->isVisible());
        QCOMPARE(window->helpFile(), platform::helpFileOf(platform::executablePath()));

        // Closing the main window ends the event loop while the help window is still open.
        QTimer::singleShot(0, main.get(), [&main] {
            main->close();
        });
        QTimer stillRunning;
        stillRunning.setSingleShot(true);
        connect(&stillRunning, &QTimer::timeout, this, [] {
            QCoreApplication::exit(1);
        });
        stillRunning.start(5000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!window.isNull());

        main.reset();
        QVERIFY(window.isNull());
        QVERIFY(dialogs.messages.empty());
    }

    void theMainWindowWithoutHelpMakesNoHelpWindow()
    {
        platform::ScriptedDialogs dialogs;
        ui::HelpWindowViewer viewer;
        testing::TempDir settingsFolder;
        platform::PosixSettingsStore store;
        SettingsFile settings((settingsFolder.path() / "tallyfox.ini").string(), store);
        auto main = std::make_unique<ui::TMain>(ui::Services{.dialogs = dialogs, .help = viewer, .settings = settings});
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
        main->close();
        main.reset();
        QVERIFY(helpWindows().isEmpty());
        QVERIFY(viewer.window() == nullptr);
    }
};

QTEST_MAIN(HelpWindowTest)
#include "help_window_test.moc"
