#pragma once

#include "core/settings.h"
#include "platform/settings_store.h"
#include "platform/testing/faulty_syscalls.h"
#include "platform/testing/scripted_dialogs.h"
#include "platform/testing/scripted_help_viewer.h"
#include "tests/support/temp_dir.h"
#include "ui/MainP.h"

#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>
#include <unistd.h>

namespace tallyfox::testing {

// A main window on scripted services, shown on the offscreen platform. The window starts in a folder of
// the test's choosing (an empty temporary folder unless told otherwise), since its lists start in the
// process's current directory; its file system calls go through a FaultySyscalls the test may plan.
struct MainWindowFixture
{
    platform::ScriptedDialogs dialogs;
    // The window's boxes when not the scripted ones (real boxes, answered by the test).
    platform::Dialogs* boxes = nullptr;
    std::unique_ptr<platform::FaultySyscalls> syscalls;
    platform::ScriptedHelpViewer help;
    std::unique_ptr<ui::TMain> window;
    TempDir emptyFolder;
    // The settings file, kept between openings of the window so that a test can close and start it
    // again; its calls go through a FaultySyscalls of their own.
    TempDir settingsFolder;
    // The journals of the window's runs, never the user's own.
    TempDir journalFolder;
    platform::FaultySyscalls settingsCalls;
    platform::PosixSettingsStore settingsStore{settingsCalls};
    SettingsFile settings{(settingsFolder.path() / "tallyfox.ini").string(), settingsStore};
    // Planned into the window's FaultySyscalls before the window is made, for faults during its start.
    std::function<void(platform::FaultySyscalls&)> planStart;
    // A mount table and label folder of the test's own; empty for the system's.
    std::string mountTable;
    std::string labelFolder;
    // The folder the program is asked to start in, as its argument gives it; empty for none.
    std::string folderArgument;

    void open(const std::filesystem::path& startFolder = {})
    {
        create(startFolder);
        if (window == nullptr) {
            return;
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // The window made as at start-up but not yet shown: where it stands is where the program put it.
    // (Showing a window placed left of or above the screen, the offscreen platform nudges it by its
    // frame width; a desktop's window manager may have its own rules.)
    void create(const std::filesystem::path& startFolder = {})
    {
        window.reset();
        syscalls = std::make_unique<platform::FaultySyscalls>();
        if (planStart) {
            planStart(*syscalls);
        }
        const std::filesystem::path start = startFolder.empty() ? emptyFolder.path() : startFolder;
        QVERIFY(::chdir(start.c_str()) == 0);
        ui::Services services{.dialogs = boxes != nullptr ? *boxes : dialogs,
                              .help = help,
                              .settings = settings,
                              .syscalls = *syscalls,
                              .journalFolder = journalFolder.str()};
        services.startFolder = folderArgument;
        if (!mountTable.empty()) {
            services.mountTable = mountTable;
            services.labelFolder = labelFolder;
        }
        window = std::make_unique<ui::TMain>(services);
    }

    template <typename T = QWidget> T* control(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
};

} // namespace tallyfox::testing
