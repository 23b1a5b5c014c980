#pragma once

#include "platform/syscalls.h"

#include <string>
#include <vector>

namespace tallyfox::platform {

// The full path of the running program's executable, in bytes.
std::string executablePath(Syscalls& calls = systemCalls());

// The help file of the program at `executablePath`: the executable's path with its extension
// replaced by ".hlp" (a name without a dot gets ".hlp" appended). When no file lies there but an
// installed copy keeps one of that file name in its data folder (share/tallyfox beside the bin
// folder), that one. Otherwise the name beside the executable, so that the viewer reports it missing.
std::string helpFileOf(const std::string& executablePath, Syscalls& sys = systemCalls());

// The folders an installed copy of this build runs from: the bin folder of the prefix the build was
// configured to install into, and that of the Debian package made from it.
std::vector<std::string> installedProgramFolders();

// Whether the executable at `executablePath` is an installed copy rather than one its user runs from a
// folder of their own: whether its folder is one of `installedFolders`, symbolic links resolved on both
// sides. Who may write the folder plays no part: root may write an installed program's folder too.
bool isInstalledCopy(const std::string& executablePath,
                     const std::vector<std::string>& installedFolders = installedProgramFolders());

} // namespace tallyfox::platform
