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

} // namespace tallyfox::platform
