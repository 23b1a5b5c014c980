#include "ui/window_at_work.h"

#include <QApplication>
#include <QEvent>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace tallyfox::ui {

namespace {

// One frame of a screen at 60 Hz: how long the windows may go without being looked after.
constexpr std::chrono::milliseconds kFrame{16};

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// Whether this is the window's thread and the program has a window on the screen to look after.
bool windowOnScreen()
{
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (application == nullptr || QThread::currentThread() != application->thread()) {
        return false;
    }
    const QWindowList windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.begin(), windows.end(), [](const QWindow* window) {
        return window->isVisible();
    });
}

// The work's tasks done where the work is, when there is no window to look after.
class HereAndNow final : public WindowThread
{
public:
    void run(const std::function<void()>& task) override
    {
        task();
    }
};

// The meeting point of the work's thread and the window's.
class Beside final : public WindowThread
{
public:
    // On the work's thread.
    void run(const std::function<void()>& task) override
    {
        std::unique_lock lock(m_mutex);
        m_task = &task;
        m_changed.notify_all();
        m_changed.wait(lock, [this] {
            return m_taskDone;
        });
        m_taskDone = false;
        if (const std::exception_ptr error = std::exchange(m_taskError, nullptr)) {
            std::rethrow_exception(error);
        }
    }

    void finish(std::exception_ptr error)
    {
        const std::lock_guard lock(m_mutex);
        m_workError = std::move(error);
        m_workDone = true;
        m_changed.notify_all();
    }

    // On the window's thread, until the work is done: its tasks at once, the windows every frame.
    std::exception_ptr serve(const std::function<void()>& eachFrame)
    {
        std::unique_lock lock(m_mutex);
        while (true) {
            m_changed.wait_for(lock, kFrame, [this] {
                return m_workDone || m_task != nullptr;
            });
            if (const std::function<void()>* task = std::exchange(m_task, nullptr)) {
                lock.unlock();
                std::exception_ptr error;
                try {
                    (*task)();
                } catch (...) {
                    error = std::current_exception();
                }
                // A box answered is gone, a cursor changed is seen, before the work goes on.
                keepWindowsPainted();
                lock.lock();
                m_taskError = std::move(error);
                m_taskDone = true;
                m_changed.notify_all();
                continue;
            }
            if (m_workDone) {
                return std::exchange(m_workError, nullptr);
            }
            lock.unlock();
            if (eachFrame) {
                eachFrame();
            }
            keepWindowsPainted();
            lock.lock();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::function<void()>* m_task = nullptr;
    bool m_taskDone = false;
    std::exception_ptr m_taskError;
    bool m_workDone = false;
    std::exception_ptr m_workError;
};

} // namespace

void workBesideWindow(const std::function<void(WindowThread&)>& work, const std::function<void()>& eachFrame)
{
    std::exception_ptr error;
    if (windowOnScreen()) {
        const InputHeldBack held;
        Beside beside;
        std::thread worker([&] {
            std::exception_ptr failed;
            try {
                work(beside);
            } catch (...) {
                failed = std::current_exception();
            }
            beside.finish(std::move(failed));
        });
        error = beside.serve(eachFrame);
        worker.join();
    } else {
        try {
            HereAndNow here;
            work(here);
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (eachFrame) {
        eachFrame();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void keepWindowsPainted()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers
                                    | QEventLoop::X11ExcludeTimers);
}

InputHeldBack::InputHeldBack()
    : m_modalAtStart(nullptr)
{
    // A program without windows has no input to hold back.
    if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        m_modalAtStart = QApplication::activeModalWidget();
        application->installEventFilter(this);
    }
}

InputHeldBack::~InputHeldBack()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool InputHeldBack::eventFilter(QObject* watched, QEvent* event)
{
    if (isInput(event->type()) && QApplication::activeModalWidget() == m_modalAtStart) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tallyfox::ui
