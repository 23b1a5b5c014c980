#pragma once

#include "core/file_order.h"
#include "core/naming.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tallyfox::platform {
class Syscalls;
}

namespace tallyfox::app {

// How a command ends, as its exit status tells a script.
enum CommandExit : int
{
    kEveryFileDone = 0,
    kFilesNotProcessed = 1, // some files were not processed as asked; they are listed
    kUsageError = 2,        // the arguments cannot be understood; the message names the option
    kRefused = 3,           // refused before anything was done, with the window's text
};

// Whether the program is started as a command (`tallyfox number ...`, `extension`, `undo`, `history`)
// rather than to open its window: the first argument names one.
bool isCommand(int argc, char** argv);

// The usage lines and the list of commands that the program's --help adds for the commands.
std::string commandUsageLines();
std::string commandList();

// What the command line asks for, read from the arguments.
struct CommandArguments
{
    std::string command; // number, extension, undo, history
    std::string folder;  // as given
    std::string filter = "*.*";
    FileOrder order = FileOrder::Name;
    NamingSettings naming;
    std::string saveFolder; // as given; empty unless copied or moved
    bool replace = false;
    bool dryRun = false;
    bool json = false;
    bool help = false;
};

// Reads the arguments after the program's name. Gives an empty text, or the usage error's message that
// names the option at fault.
std::string parseCommand(const std::vector<std::string>& arguments, CommandArguments& parsed);

// Runs the command of the arguments without a window, a display or the single-instance guard: the same
// plan, journal, folder lock, Trash and undo as the window. Writes its results on `out`, its failures
// and progress on `err` (progress only where `err` is a terminal). Gives the exit status (CommandExit).
int runCommand(int argc, char** argv, platform::Syscalls& calls, std::FILE* out = stdout, std::FILE* err = stderr);

} // namespace tallyfox::app
