#pragma once

#include "core/rename_run.h"

namespace tallyfox::platform {
class Dialogs;
}

namespace tallyfox::ui {

class FileSelection;
class Gauge;

// The rename run as the main window starts it: its boxes go to the dialogs, its progress to the bar,
// its end lists the window's file lists anew, and it is locked and written to a journal. The run works
// beside the window, which stays painted and takes no input until the run ends. The request's names are
// let go once the run's journal holds them.
RunResult runInWindow(RunRequest&& request,
                      platform::Dialogs& dialogs,
                      Gauge& bar,
                      FileSelection& files,
                      FileOperations& operations,
                      RunRecord& record);

} // namespace tallyfox::ui
