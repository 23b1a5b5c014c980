#pragma once

#include "platform/syscalls.h"

#include <string>

namespace tallyfox::platform {

// Reads the whole regular file at `path` into `content`. Gives 0, or the errno of the failure: ENOENT
// when nothing is there, EISDIR for a folder, EINVAL for anything else that is not a regular file (a
// pipe in the file's place is never waited on), ENOMEM for a file too large to hold. `content` is
// empty after a failure. Files whose size the system does not tell (as those under /proc) read whole.
int readWholeFile(const std::string& path, std::string& content, Syscalls& calls = systemCalls());

} // namespace tallyfox::platform
