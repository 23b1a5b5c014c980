#pragma once

#include "platform/testing/scripted_dialogs.h"
#include "platform/testing/scripted_help_viewer.h"
#include "ui/MainP.h"

#include <QTest>

#include <memory>

namespace tallyfox::testing {

// A main window on scripted services, shown on the offscreen platform.
struct MainWindowFixture
{
    platform::ScriptedDialogs dialogs;
    platform::ScriptedHelpViewer help;
    std::unique_ptr<ui::TMain> window;

    void open()
    {
        window = std::make_unique<ui::TMain>(ui::Services{.dialogs = dialogs, .help = help});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget> T* control(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
};

} // namespace tallyfox::testing
