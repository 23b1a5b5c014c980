#pragma once

#include "platform/testing/faulty_syscalls.h"
#include "platform/testing/scripted_dialogs.h"
#include "tests/support/temp_dir.h"
#include "platform/testing/scripted_help_viewer.h"
#include "ui/MainP.h"

#include <QTest>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace tallyfox::testing {

// A main window on scripted services, shown on the offscreen platform. The window starts in a folder of
// the test's choosing (an empty temporary folder unless told otherwise), since its lists start in the
// process's current directory; its file system calls go through a FaultySyscalls the test may plan.
struct MainWindowFixture
{
    platform::ScriptedDialogs dialogs;
    std::unique_ptr<platform::FaultySyscalls> syscalls;
    platform::ScriptedHelpViewer help;
    std::unique_ptr<ui::TMain> window;
    TempDir emptyFolder;
    // A mount table and label folder of the test's own; empty for the system's.
    std::string mountTable;
    std::string labelFolder;

    void open(const std::filesystem::path& startFolder = {})
    {
        window.reset();
        syscalls = std::make_unique<platform::FaultySyscalls>();
        const std::filesystem::path start = startFolder.empty() ? emptyFolder.path() : startFolder;
        QVERIFY(::chdir(start.c_str()) == 0);
        ui::Services services{.dialogs = dialogs, .help = help, .syscalls = *syscalls};
        if (!mountTable.empty()) {
            services.mountTable = mountTable;
            services.labelFolder = labelFolder;
        }
        window = std::make_unique<ui::TMain>(services);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget> T* control(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
};

} // namespace tallyfox::testing
