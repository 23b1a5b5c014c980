#pragma once

#include "platform/syscalls.h"

#include <string>

namespace tallyfox::platform {

// The full path of the running program's executable, in bytes.
std::string executablePath(Syscalls& calls = systemCalls());

// The help file of the program at `executablePath`: the executable's path with its extension
// replaced by ".hlp" (a name without a dot gets ".hlp" appended). When no file lies there but an
// installed copy keeps one of that file name in its data folder (share/tallyfox beside the bin
// folder), that one. Otherwise the name beside the executable, so that the viewer reports it missing.
std::string helpFileOf(const std::string& executablePath, Syscalls& sys = systemCalls());

} // namespace tallyfox::platform
