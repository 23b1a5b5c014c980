#pragma once

#include "platform/syscalls.h"

#include <cerrno>
#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tallyfox::platform {

// An open descriptor, closed when it goes out of scope unless closed before.
class FileDescriptor final
{
public:
    FileDescriptor(Syscalls& calls, int fd);
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const;

    // Closes now and gives the errno of a failed close: for a written file, the last word on whether
    // its data reached the file system.
    int close();

    // Gives up ownership without closing.
    int release();

private:
    Syscalls& m_calls;
    int m_fd;
};

// Writes all of `size` bytes, going on after interruptions and short writes. Gives 0 or the errno; a
// write that takes nothing counts as EIO.
int writeAll(Syscalls& calls, int fd, const char* data, std::size_t size);
int writeAll(Syscalls& calls, int fd, std::string_view content);

// A hidden name the program makes in a user's folder: "." + `stem` (cut to stay within one name's length)
// + "." + process id + "-" + a count + ".tmp". Each call gives the next count, shared by every caller in
// the process, so two names made by one process never meet; whether the name is free is for the call
// that takes it to say.
std::string hiddenName(std::string_view stem);

// Creates a new hidden file named by hiddenName in the folder `dirFd` exclusively, never through a link.
// A name left by someone else is skipped. Gives the descriptor (write only) and sets `name`, or -1 with
// errno set.
int createHiddenTemporary(Syscalls& calls, int dirFd, std::string_view stem, mode_t mode, std::string& name);

// Calls `each` with every entry of the folder at `path` (".", ".." included), read to its end. 0, or the
// errno with which the folder could not be opened or read to its end.
template <typename Each> int readFolder(Syscalls& calls, const std::string& path, Each each)
{
    DIR* dir = calls.opendir(path.c_str());
    if (dir == nullptr) {
        return errno;
    }
    for (;;) {
        errno = 0;
        const struct dirent* entry = calls.readdir(dir);
        if (entry == nullptr) {
            break;
        }
        each(*entry);
    }
    const int error = errno;
    calls.closedir(dir);
    return error;
}

// Whether a process of that id lives now (also one of another user); false for an id of 0 or below. An id
// is given again once its process is gone, so a live id only says that a process of that id runs.
bool processRunning(pid_t pid);

// Gives the memory the process has freed back to the system where the C library keeps it: after a run
// of many files, the names and journal it held are otherwise kept as if still in use.
void returnFreedMemory();

// Has the C library give each large block (a megabyte or more) its own mapping, returned to the system
// as soon as it is freed: the journal read whole, a listing of a million names or the tables of a plan
// are otherwise kept by the process after use, under the threshold the library raises as blocks come
// and go. Called once, as the process starts.
void returnLargeBlocksAtOnce();

} // namespace tallyfox::platform
