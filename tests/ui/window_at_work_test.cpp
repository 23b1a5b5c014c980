#include "platform/dialogs.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace tallyfox;
using tallyfox::testing::ctl;
using testing::createFiles;
using testing::FileTree;

namespace {

using namespace std::chrono_literals;

// What the main window draws and which boxes stand on the screen, seen from the window's thread and
// read from the work's.
class PaintWatch final : public QObject
{
public:
    explicit PaintWatch(ui::TMain& window)
        : m_window(window)
        , m_bar(*ctl(window).Gauge1)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~PaintWatch() override
    {
        QCoreApplication::instance()->removeEventFilter(this);
    }
    PaintWatch(const PaintWatch&) = delete;
    PaintWatch& operator=(const PaintWatch&) = delete;

    // The bar's value when it was last drawn.
    int barDrawn() const
    {
        return m_barDrawn;
    }
    // The highest value the bar was drawn with while the work was stuck.
    int barPeakWhileStuck() const
    {
        return m_barPeak;
    }
    int visibleBoxes() const
    {
        return m_visibleBoxes;
    }
    // Whether all of `area` (in the main window's coordinates) was drawn while the work was stuck.
    bool drawnWhileStuck(const QRect& area) const
    {
        const std::lock_guard lock(m_mutex);
        return m_drawnWhileStuck.contains(area.translated(m_window.mapToGlobal(QPoint(0, 0))));
    }
    void setStuck(bool stuck)
    {
        m_stuck = stuck;
    }
    // The part of the main window the last box covered, in global coordinates, and whether it has all
    // been drawn again since that box was hidden.
    bool boxAreaDrawnAgain(QRect& covered) const
    {
        const std::lock_guard lock(m_mutex);
        covered = m_boxArea & m_windowArea;
        return !covered.isEmpty() && m_drawnSinceBox.contains(covered);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr) {
            return false;
        }
        if (event->type() == QEvent::Paint && widget->window() == &m_window) {
            const QRegion region =
                static_cast<QPaintEvent*>(event)->region().translated(widget->mapToGlobal(QPoint(0, 0)));
            {
                const std::lock_guard lock(m_mutex);
                m_drawnSinceBox += region;
                if (m_stuck) {
                    m_drawnWhileStuck += region;
                }
            }
            if (widget == &m_bar) {
                m_barDrawn = m_bar.value();
                if (m_stuck) {
                    m_barPeak = std::max(m_barPeak.load(), m_bar.value());
                }
            }
        } else if (qobject_cast<QMessageBox*>(widget) != nullptr && event->type() == QEvent::Show) {
            ++m_visibleBoxes;
        } else if (qobject_cast<QMessageBox*>(widget) != nullptr && event->type() == QEvent::Hide) {
            --m_visibleBoxes;
            const std::lock_guard lock(m_mutex);
            m_boxArea = widget->frameGeometry();
            m_windowArea = m_window.frameGeometry();
            m_drawnSinceBox = QRegion();
        }
        return false;
    }

private:
    ui::TMain& m_window;
    ui::Gauge& m_bar;
    std::atomic<int> m_barDrawn{-1};
    std::atomic<int> m_barPeak{0};
    std::atomic<int> m_visibleBoxes{0};
    std::atomic<bool> m_stuck{false};
    mutable std::mutex m_mutex;
    QRect m_boxArea;
    QRect m_windowArea;
    QRegion m_drawnSinceBox;
    QRegion m_drawnWhileStuck;
};

// Real boxes on the screen, each answered OK by a click as soon as it shows.
class ClickedBoxes final : public platform::Dialogs
{
public:
    platform::MessageAnswer message(const platform::Message& message) override
    {
        texts.push_back(message.text);
        QTimer::singleShot(0, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->button(QMessageBox::Ok)->click();
            }
        });
        const platform::MessageAnswer answer = m_real.message(message);
        if (answered) {
            answered();
        }
        return answer;
    }
    void beep() override
    {
    }
    std::optional<std::string> chooseFolder(const QString&) override
    {
        return std::nullopt;
    }

    std::vector<QString> texts;
    // Runs as soon as a box has been answered, before the program does anything else.
    std::function<void()> answered;

private:
    platform::QtDialogs m_real;
};

// Waits, on the work's thread, until `done` holds or a second has passed.
void waitUntil(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
}

// Asks the window to draw `area` again, from whichever thread, as uncovering it does.
void uncover(QWidget& window, const QRect& area)
{
    QMetaObject::invokeMethod(
        &window,
        [&window, area] {
            window.update(area);
        },
        Qt::QueuedConnection);
}

} // namespace

// The main window while a run, an undo or a listing works: painted, its bar as the run has it, its
// boxes gone once answered, and deaf to input until the work ends.
class WindowAtWorkTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;
    std::unique_ptr<testing::TempDir> m_root;

    std::filesystem::path photos() const
    {
        return m_root->path() / "photos";
    }
    ui::TMain& window()
    {
        return *m_fixture.window;
    }
    void openOn(int files)
    {
        FileTree tree;
        for (int i = 0; i < files; ++i) {
            tree["IMG_" + std::to_string(i) + ".jpg"] = std::to_string(i);
        }
        createFiles(photos(), tree);
        m_fixture.open(photos());
        QApplication::setActiveWindow(&window());
    }
    void pressRename()
    {
        QTest::mouseClick(ctl(window()).sbRename, Qt::LeftButton);
    }
    // The file list's 元に戻す, as its context menu offers it.
    void undo()
    {
        QWidget* list = ctl(window()).FileListBox1->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list, &event);
        auto* menu = ctl(window()).FileListBox1->findChild<QMenu*>(QStringLiteral("FileListMenu"));
        QVERIFY(menu != nullptr && !menu->actions().isEmpty());
        menu->close();
        menu->actions().front()->trigger();
        QCoreApplication::processEvents(); // the menu's command runs once the menu is gone
    }

private slots:
    void init()
    {
        m_root = std::make_unique<testing::TempDir>();
        m_fixture.dialogs = {};
        m_fixture.boxes = nullptr;
        std::filesystem::remove(m_fixture.settingsFolder.path() / "tallyfox.ini");
    }

    void cleanup()
    {
        m_fixture.window.reset();
        m_fixture.boxes = nullptr;
        m_root.reset();
    }

    void theBarStandsFullThroughThePasses_data()
    {
        QTest::addColumn<int>("operation");
        QTest::newRow("numbering") << static_cast<int>(FileOperation::RenameOnly);
        QTest::newRow("rename and copy") << static_cast<int>(FileOperation::RenameCopy);
        QTest::newRow("extension only") << static_cast<int>(FileOperation::ExtensionOnly);
    }

    void theBarStandsFullThroughThePasses()
    {
        QFETCH(int, operation);
        constexpr int kFiles = 20;
        openOn(kFiles);
        window().ConfirmBeforeRun = 0;
        ctl(window()).rgSetting->setItemIndex(operation);
        ctl(window()).editSaveFolder->assignText(QString::fromStdString((m_root->path() / "save").string()));
        std::filesystem::create_directory(m_root->path() / "save");
        if (operation == static_cast<int>(FileOperation::ExtensionOnly)) {
            ctl(window()).rgExt->setItemIndex(static_cast<int>(ExtensionMode::Upper));
        }
        const PaintWatch watch(window());
        // The first rename after the sweep (the journal's, or the first file's) gives the window's thread
        // up to a second to draw the bar full; from then on, every rename of the passes looks at the bar
        // as it was last drawn.
        std::vector<int> drawn;
        const int first = m_fixture.syscalls->calls("renameat2") + 1;
        m_fixture.syscalls->before("renameat2", first, [&] {
            waitUntil([&] {
                return watch.barDrawn() == 100;
            });
        });
        for (int n = first + 1; n < first + kFiles; ++n) {
            m_fixture.syscalls->before("renameat2", n, [&] {
                drawn.push_back(watch.barDrawn());
            });
        }
        pressRename();
        QCOMPARE(static_cast<int>(drawn.size()), kFiles - 1);
        QCOMPARE(drawn, std::vector<int>(drawn.size(), 100));
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
    }

    void inputDuringTheWorkIsNotActedOn_data()
    {
        QTest::addColumn<bool>("click");
        QTest::newRow("a click on 実行") << true;
        QTest::newRow("a key in the text before the number") << false;
    }

    void inputDuringTheWorkIsNotActedOn()
    {
        QFETCH(bool, click);
        openOn(20);
        window().ConfirmBeforeRun = 0;
        ctl(window()).rgForm->setItemIndex(static_cast<int>(NamePattern::NameNumber));
        QWidget* button = ctl(window()).sbRename;
        QWidget* field = ctl(window()).editPrevName;
        QVERIFY(field->isEnabled());
        // The user's press and release, made here and sent while the first file is renamed; the work then
        // goes on for a few frames.
        std::vector<std::pair<QWidget*, std::unique_ptr<QEvent>>> input;
        if (click) {
            const QPointF centre = QRectF(button->rect()).center();
            for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
                input.emplace_back(
                    button,
                    std::make_unique<QMouseEvent>(
                        type, centre, button->mapToGlobal(centre), Qt::LeftButton, held, Qt::NoModifier));
            }
        } else {
            for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                input.emplace_back(field,
                                   std::make_unique<QKeyEvent>(type, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
            }
        }
        const int first = m_fixture.syscalls->calls("renameat2") + 1;
        m_fixture.syscalls->before("renameat2", first, [&] {
            for (auto& [receiver, event] : input) {
                QCoreApplication::postEvent(receiver, event.release());
            }
            // Until the window's thread has come to them.
            std::atomic<bool> reached{false};
            QMetaObject::invokeMethod(
                button,
                [&reached] {
                    reached = true;
                },
                Qt::QueuedConnection);
            waitUntil([&] {
                return reached.load();
            });
        });
        pressRename();
        QCoreApplication::processEvents();
        // One run, one completion box, and the field as it was.
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
        QCOMPARE(m_fixture.dialogs.messages[0].text, QStringLiteral("リネームが完了しました。    "));
        QCOMPARE(ctl(window()).editPrevName->text(), QString());
        QVERIFY(ctl(window()).FileListBox1->entries().front() == "001.jpg");
    }

    void theAnsweredBoxIsGoneBeforeTheWorkGoesOn()
    {
        ClickedBoxes boxes;
        m_fixture.boxes = &boxes;
        openOn(5);
        QCOMPARE(window().ConfirmBeforeRun, 1);
        const PaintWatch watch(window());
        // The moment the question is answered, and the run's first step after it: it locks the folder.
        bool drawnAtOnce = false;
        boxes.answered = [&] {
            if (boxes.texts.size() == 1) {
                QRect area;
                drawnAtOnce = watch.boxAreaDrawnAgain(area);
            }
        };
        bool looked = false;
        bool boxGone = false;
        bool drawnAgain = false;
        QRect covered;
        m_fixture.syscalls->before("flock", m_fixture.syscalls->calls("flock") + 1, [&] {
            looked = true;
            boxGone = watch.visibleBoxes() == 0;
            drawnAgain = watch.boxAreaDrawnAgain(covered);
        });
        pressRename();
        QCOMPARE(boxes.texts.size(), std::size_t{2});
        QCOMPARE(boxes.texts[0], QStringLiteral("5枚のファイルをリネームします。よろしいですか？  "));
        QVERIFY(looked);
        QVERIFY2(!covered.isEmpty(), "the question stood over the main window");
        QVERIFY(boxGone);
        QVERIFY2(drawnAtOnce, "the window under the question is drawn again as the question is answered");
        QVERIFY2(drawnAgain, "the window under the question is drawn again before the run goes on");
    }

    void theWindowIsPaintedWhileTheWorkGoesOn_data()
    {
        QTest::addColumn<QString>("work");
        QTest::addColumn<QString>("call");
        QTest::addColumn<bool>("barMoves");
        QTest::newRow("run") << QStringLiteral("run") << QStringLiteral("renameat2") << true;
        QTest::newRow("undo") << QStringLiteral("undo") << QStringLiteral("renameat2") << true;
        QTest::newRow("listing") << QStringLiteral("listing") << QStringLiteral("readdir") << false;
    }

    void theWindowIsPaintedWhileTheWorkGoesOn()
    {
        QFETCH(QString, work);
        QFETCH(QString, call);
        QFETCH(bool, barMoves);
        openOn(20);
        window().ConfirmBeforeRun = 0;
        if (work == QStringLiteral("undo")) {
            pressRename();
        }
        PaintWatch watch(window());
        // Five calls of the work are slow; the tool bar's left part, away from the bar, is uncovered as the
        // first begins.
        const QRect uncovered(0, 0, 120, 20);
        const std::string name = call.toStdString();
        const int first = m_fixture.syscalls->calls(name) + 1;
        constexpr int kSlowCalls = 5;
        for (int n = first; n < first + kSlowCalls; ++n) {
            m_fixture.syscalls->before(name, n, [&, n] {
                if (n == first) {
                    watch.setStuck(true);
                    uncover(window(), uncovered);
                    // Work beside the window waits here for the window's thread (the undo works on it).
                    if (QThread::currentThread() != window().thread()) {
                        waitUntil([&] {
                            return watch.drawnWhileStuck(uncovered);
                        });
                    }
                }
                std::this_thread::sleep_for(40ms);
                if (n == first + kSlowCalls - 1) {
                    // A window slowed by a busy machine may not have drawn a frame of the bar yet: it is given
                    // a second, as the first call gives it for the uncovered part.
                    if (barMoves && QThread::currentThread() != window().thread()) {
                        waitUntil([&] {
                            return watch.barPeakWhileStuck() > 0;
                        });
                    }
                    watch.setStuck(false);
                }
            });
        }
        if (work == QStringLiteral("run")) {
            pressRename();
        } else if (work == QStringLiteral("undo")) {
            undo();
        } else {
            window().fileSelection().relistFileList();
        }
        QVERIFY(m_fixture.syscalls->calls(name) >= first + kSlowCalls - 1);
        QVERIFY(watch.drawnWhileStuck(uncovered));
        QCOMPARE(watch.barPeakWhileStuck() > 0, barMoves);
        QCOMPARE(ctl(window()).Gauge1->value(), 0);
    }
};

QTEST_MAIN(WindowAtWorkTest)
#include "window_at_work_test.moc"
