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
#if !defined(TALLYFOX_INSTALLED_BIN_DIR) || !defined(TALLYFOX_PACKAGE_BIN_DIR)
#error "TALLYFOX_INSTALLED_BIN_DIR, TALLYFOX_PACKAGE_BIN_DIR: the bin folders of the install prefix and of the package"
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

// A folder as the system finds it: links resolved as far as the path exists, without a trailing "/".
std::filesystem::path resolvedFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, error);
    if (error) {
        resolved = folder.lexically_normal();
    }
    if (!resolved.has_filename() && resolved.has_relative_path()) {
        resolved = resolved.parent_path();
    }
    return resolved;
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

std::vector<std::string> installedProgramFolders()
{
    return {TALLYFOX_INSTALLED_BIN_DIR, TALLYFOX_PACKAGE_BIN_DIR};
}

bool isInstalledCopy(const std::string& executablePath, const std::vector<std::string>& installedFolders)
{
    const std::filesystem::path folder = resolvedFolder(std::filesystem::path(executablePath).parent_path());
    for (const std::string& installed : installedFolders) {
        if (!installed.empty() && resolvedFolder(installed) == folder) {
            return true;
        }
    }
    return false;
}

} // namespace tallyfox::platform
