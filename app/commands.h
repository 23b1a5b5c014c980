#pragma once

#include "app/command_line.h"
#include "app/command_output.h"

namespace tallyfox::platform {
class Syscalls;
}

namespace tallyfox::app {

// `number` and `extension`: the folder listed as the file list lists it, put in order, previewed,
// then run through the window's run, journal and lock, or only shown with --dry-run.
int runRenaming(const CommandArguments& arguments, platform::Syscalls& calls, CommandOutput& output);

// `undo`: the last run, made by either face, brought back as the window's undo does, without a question.
int runUndo(const CommandArguments& arguments, platform::Syscalls& calls, CommandOutput& output);

// `history`: the runs whose journals are kept, newest first.
int runHistory(const CommandArguments& arguments, platform::Syscalls& calls, CommandOutput& output);

} // namespace tallyfox::app
