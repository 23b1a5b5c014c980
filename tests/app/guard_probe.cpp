// The program's start-up with printing dialogs, for tests that start it as separate processes. A
// refused start prints the box it would show; a running instance prints RUNNING and closes its window
// after PROBE_HOLD_MS milliseconds.
#include "app/startup.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

class PrintingDialogs final : public tallyfox::platform::Dialogs
{
public:
    tallyfox::platform::MessageAnswer message(const tallyfox::platform::Message& message) override
    {
        std::printf("MESSAGE\t%s\t%s\t%d\t%d\n",
                    message.caption.toUtf8().constData(),
                    message.text.toUtf8().constData(),
                    static_cast<int>(message.icon),
                    static_cast<int>(message.buttons));
        std::fflush(stdout);
        return tallyfox::platform::MessageAnswer::Ok;
    }

    void beep() override
    {
    }

    std::optional<std::string> chooseFolder(const QString&) override
    {
        return std::nullopt;
    }
};

void announceAndHold()
{
    const char* hold = std::getenv("PROBE_HOLD_MS");
    QTimer::singleShot(0, [] {
        std::printf("RUNNING\n");
        std::fflush(stdout);
    });
    QTimer::singleShot(hold != nullptr ? std::atoi(hold) : 0, [] {
        QApplication::closeAllWindows();
    });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(announceAndHold)

int main(int argc, char** argv)
{
    PrintingDialogs dialogs;
    return tallyfox::app::runTallyfox(argc, argv, dialogs);
}
