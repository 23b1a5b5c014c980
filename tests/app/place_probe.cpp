// The program as it starts and closes on a desktop: once the window manager has framed the main window
// and the window has settled, it prints where the frame stands ("x y width height") and closes the
// window as the user would, which stores its place. Run on an X11 display with a window manager.
#include "app/startup.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

// Polls after the frame is known, so that a move the program makes once framed has come through.
constexpr int kSettlingPolls = 10;
// Polls to wait for a frame at all; a display without a window manager never gives one.
constexpr int kFramingPolls = 200;

QWidget* mainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("Main") && widget->isVisible() && widget->windowHandle() != nullptr
            && widget->windowHandle()->isExposed()) {
            return widget;
        }
    }
    return nullptr;
}

void startProbe()
{
    auto* poll = new QTimer(QCoreApplication::instance());
    auto polls = std::make_shared<int>(0);
    auto settled = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, polls, settled] {
        QWidget* window = mainWindow();
        ++*polls;
        if (window == nullptr) {
            return;
        }
        const bool framed = !window->windowHandle()->frameMargins().isNull();
        if (!framed && *polls < kFramingPolls) {
            return;
        }
        if (++*settled < kSettlingPolls) {
            return;
        }
        poll->stop();
        const QRect frame = window->frameGeometry();
        std::printf("%d %d %d %d\n", frame.x(), frame.y(), frame.width(), frame.height());
        std::fflush(stdout);
        window->close();
    });
    poll->start(50);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

int main(int argc, char** argv)
{
    tallyfox::platform::QtDialogs dialogs;
    return tallyfox::app::runTallyfox(argc, argv, dialogs);
}
