#include "platform/program_files.h"

#include "core/naming.h"

#include <QCoreApplication>
#include <QFile>

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#ifndef TALLYFOX_DATA_FROM_BIN
#error "TALLYFOX_DATA_FROM_BIN: the data folder relative to the folder of the installed executable"
#endif

namespace tallyfox::platform {

namespace {

bool isRegularFile(const std::string& path, Syscalls& sys)
{
    struct stat st
    {
    };
    return sys.fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::string executablePath(Syscalls& calls)
{
    // The kernel's own link keeps the path's bytes as they are; the toolkit's answer is a fallback.
    std::array<char, 4096> buffer{};
    const ssize_t length = calls.readlinkat(AT_FDCWD, "/proc/self/exe", buffer.data(), buffer.size());
    if (length > 0 && static_cast<std::size_t>(length) < buffer.size()) {
        return {buffer.data(), static_cast<std::size_t>(length)};
    }
    return QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
}

std::string helpFileOf(const std::string& executablePath, Syscalls& sys)
{
    const std::string beside = withExtension(executablePath, ".hlp");
    if (isRegularFile(beside, sys)) {
        return beside;
    }
    const std::filesystem::path besidePath(beside);
    const std::filesystem::path installed =
        (besidePath.parent_path() / TALLYFOX_DATA_FROM_BIN / besidePath.filename()).lexically_normal();
    if (isRegularFile(installed.native(), sys)) {
        return installed.native();
    }
    return beside;
}

int readWholeFile(const std::string& path, std::string& content, Syscalls& sys)
{
    content.clear();
    const int fd = sys.openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) {
        return errno;
    }
    int error = 0;
    struct stat st
    {
    };
    if (sys.fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else {
        std::array<char, 65536> buffer{};
        for (;;) {
            const ssize_t n = sys.read(fd, buffer.data(), buffer.size());
            if (n > 0) {
                content.append(buffer.data(), static_cast<std::size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                error = errno;
                break;
            }
        }
    }
    sys.close(fd);
    if (error != 0) {
        content.clear();
    }
    return error;
}

} // namespace tallyfox::platform
