#pragma once

#include <QObject>

#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

class QWidget;

namespace tallyfox::ui {

// What work done beside the window may ask of the window's thread, the only one that may touch a
// widget or show a box.
class WindowThread
{
public:
    virtual ~WindowThread() = default;

    // Runs `task` on the window's thread and waits until it is done; what it throws is thrown here.
    // What the task changed on the screen is shown before the work goes on.
    virtual void run(const std::function<void()>& task) = 0;
};

// Runs `work` on a thread of its own while this thread, the window's, keeps the program's windows
// alive on the screen: every frame it runs `eachFrame` (which must not throw) and handles the events
// that draw, uncover and move the windows, while input (clicks, keys, and so a second job) waits until
// the work is over, as do timers (and so whatever a file watch schedules). Work that ends within a frame
// and asks the window's thread for nothing sees no event handled at all. `eachFrame` runs once more when
// the work has ended, also when it failed; what `work` throws is then thrown here. Where no window is on
// the screen (at start-up, before the main window shows) the work is done on this thread, and its tasks
// with it.
void workBesideWindow(const std::function<void(WindowThread&)>& work, const std::function<void()>& eachFrame = {});

// The same for work that gives a result.
template <typename Work> auto besideWindow(Work&& work)
{
    std::optional<std::invoke_result_t<Work&, WindowThread&>> result;
    workBesideWindow([&](WindowThread& window) {
        result.emplace(work(window));
    });
    return std::move(*result);
}

// For long work on the window's own thread, called now and then (every 50 ms or so): handles the events
// that draw, uncover and move the windows, and no input or timer.
void keepWindowsPainted();

// While it lives, no input reaches the program's windows: clicks, keys, wheels, drops and shortcuts are
// dropped. A box that the work itself opens meanwhile takes its input as usual.
class InputHeldBack final : public QObject
{
public:
    InputHeldBack();
    ~InputHeldBack() override;
    InputHeldBack(const InputHeldBack&) = delete;
    InputHeldBack& operator=(const InputHeldBack&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_modalAtStart;
};

} // namespace tallyfox::ui
