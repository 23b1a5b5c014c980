#pragma once

#include <QString>

namespace tallyfox::platform {
class Dialogs;
}

namespace tallyfox::app {

// The name of the single-instance guard, shared with every version of the program.
inline constexpr const char* kInstanceGuardName = "EX_Mutex4";

// The title an application has before it sets its own: the executable's file name without its folder
// and without everything from its first dot on, every character after the first in lower case.
QString defaultApplicationTitle(const QString& executablePath);

// The program: started as a command (`tallyfox number ...`, see command_line.h) it runs the command and
// ends, without a window, a display or the single-instance guard; with --version or --help (-h) among its
// arguments it prints its version or a short usage and ends, likewise. Otherwise it refuses to start
// beside a running instance, or shows the main window until it closes. Returns the process's exit code.
int runTallyfox(int& argc, char** argv, platform::Dialogs& dialogs);

} // namespace tallyfox::app
