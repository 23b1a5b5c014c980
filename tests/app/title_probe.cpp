// The program with the toolkit's own dialogs, driven through its buttons: it opens each box and dialog
// in turn, prints the title it gave the window and the title the display holds for it, one tab-separated
// line per window, and closes them again. Run on an X11 display, in an empty folder.
#include "app/startup.h"
#include "platform/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QProcess>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <vector>

namespace {

// A button to press in the window opened last, and whether the window it opens stays open for the
// next step; no button closes the window opened last.
struct Step
{
    const char* button;
    bool keepOpen;
};

constexpr Step kSteps[] = {
    {"sbAbout", false},
    {"sbReset", false},  // closed unanswered, which answers No: nothing is reset
    {"sbRename", false}, // nothing to rename in an empty folder
    {"btnSave", false},
    {"sbDialog", true},
    {"sbHint", false},
    {nullptr, false},
    {"sbHelp", false},
};

// The title the display holds for a window, as a window manager shows it.
QByteArray displayedTitle(const QWidget& window)
{
    QProcess xprop;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Printed as it is rather than escaped, whatever the locale of the test.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    xprop.setProcessEnvironment(environment);
    xprop.start(QStringLiteral("xprop"),
                {QStringLiteral("-id"),
                 QString::number(window.winId()),
                 QStringLiteral("-notype"),
                 QStringLiteral("_NET_WM_NAME")});
    xprop.waitForFinished();
    const QByteArray line = xprop.readAllStandardOutput().trimmed();
    // _NET_WM_NAME = "title"
    const qsizetype open = line.indexOf('"');
    if (open < 0 || !line.endsWith('"') || line.size() - open < 2) {
        return "(no title: " + line + ")";
    }
    return line.mid(open + 1, line.size() - open - 2);
}

class Driver final : public QObject
{
public:
    explicit Driver(QObject* parent)
        : QObject(parent)
    {
        connect(&m_poll, &QTimer::timeout, this, &Driver::poll);
        m_poll.start(50);
    }

private:
    // A shown window of the program, on screen, that is not one of the windows kept open.
    QWidget* newWindow(bool exposedOnly) const
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            const Qt::WindowType type = widget->windowType();
            if (!widget->isVisible() || (type != Qt::Window && type != Qt::Dialog)) {
                continue;
            }
            if (exposedOnly && (widget->windowHandle() == nullptr || !widget->windowHandle()->isExposed())) {
                continue;
            }
            bool kept = false;
            for (const QPointer<QWidget>& open : m_open) {
                kept = kept || open == widget;
            }
            if (!kept) {
                return widget;
            }
        }
        return nullptr;
    }

    static void report(const QWidget& window)
    {
        std::printf("%s\t%s\n", window.windowTitle().toUtf8().constData(), displayedTitle(window).constData());
        std::fflush(stdout);
    }

    void poll()
    {
        if (m_open.empty()) {
            // The main window first.
            if (QWidget* main = newWindow(true)) {
                report(*main);
                m_open.emplace_back(main);
            }
            return;
        }
        if (m_waiting) {
            QWidget* opened = newWindow(true);
            if (opened == nullptr) {
                return;
            }
            report(*opened);
            m_waiting = false;
            if (kSteps[m_step].keepOpen) {
                m_open.emplace_back(opened);
            } else {
                opened->close();
            }
            ++m_step;
            return;
        }
        if (newWindow(false) != nullptr) {
            return; // the window just closed has not gone yet
        }
        if (m_step == std::size(kSteps)) {
            m_poll.stop();
            m_open.front()->close();
            return;
        }
        const Step& step = kSteps[m_step];
        if (step.button == nullptr) {
            m_open.back()->close();
            m_open.pop_back();
            ++m_step;
            return;
        }
        auto* button = m_open.back()->findChild<QAbstractButton*>(QLatin1String(step.button));
        if (button == nullptr) {
            std::printf("no button %s\n", step.button);
            std::fflush(stdout);
            QCoreApplication::exit(1);
            return;
        }
        m_waiting = true;
        // Pressed from the event loop: the press waits in the box it opens while this goes on polling.
        QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
    }

    QTimer m_poll;
    std::vector<QPointer<QWidget>> m_open;
    std::size_t m_step = 0;
    bool m_waiting = false;
};

void startDriver()
{
    new Driver(QCoreApplication::instance());
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)

int main(int argc, char** argv)
{
    tallyfox::platform::QtDialogs dialogs;
    return tallyfox::app::runTallyfox(argc, argv, dialogs);
}
