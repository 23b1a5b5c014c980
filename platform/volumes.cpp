#include "platform/volumes.h"

#include "platform/file_reading.h"
#include "platform/folders.h"
#include "platform/posix_io.h"
#include "platform/syscalls.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tallyfox::platform {

namespace {

// The table writes blank, tab, line feed and backslash in a field as a backslash and three octal digits.
std::string decodeOctal(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string_view digits = field.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(), [](char c) {
                    return c >= '0' && c <= '7';
                })) {
                out += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The names of label links write blanks, slashes and other unsafe bytes as "\x" and two hex digits.
std::string decodeLabel(std::string_view name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const int high = hexValue(name[i + 2]);
            const int low = hexValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

std::string mountTableText(Syscalls& calls, const std::string& path)
{
    std::string text;
    readWholeFile(path, text, calls); // an unreadable table offers the root alone
    return text;
}

// Where a device path leads, following links (as /dev/mapper/ and /dev/disk/ names are) a few steps.
std::string resolveDevice(Syscalls& calls, std::string path)
{
    for (int step = 0; step < 8; ++step) {
        char target[4096];
        const ssize_t n = calls.readlinkat(AT_FDCWD, path.c_str(), target, sizeof target);
        if (n <= 0) {
            break;
        }
        const std::filesystem::path link(std::string(target, static_cast<std::size_t>(n)));
        path = (link.is_absolute() ? link : std::filesystem::path(path).parent_path() / link).lexically_normal();
    }
    return path;
}

std::map<std::string, std::string> labelsByDevice(Syscalls& calls, const std::string& labelFolder)
{
    std::map<std::string, std::string> labels;
    try {
        for (const FolderEntry& entry : readFolder(calls, labelFolder)) {
            labels.emplace(resolveDevice(calls, labelFolder + "/" + entry.name), decodeLabel(entry.name));
        }
    } catch (const InOutError&) {
        // Without label links every volume shows its mount point alone.
    }
    return labels;
}

bool contains(std::string_view mountPoint, std::string_view folder)
{
    if (mountPoint == "/") {
        return !folder.empty() && folder.front() == '/';
    }
    return folder.substr(0, mountPoint.size()) == mountPoint
           && (folder.size() == mountPoint.size() || folder[mountPoint.size()] == '/');
}

} // namespace

std::vector<MountEntry> parseMountTable(std::string_view table)
{
    std::vector<MountEntry> entries;
    while (!table.empty()) {
        const std::size_t end = table.find('\n');
        std::string_view line = table.substr(0, end);
        table.remove_prefix(end == std::string_view::npos ? table.size() : end + 1);
        std::vector<std::string_view> fields;
        while (!line.empty() && fields.size() < 3) {
            const std::size_t start = line.find_first_not_of(" \t");
            if (start == std::string_view::npos) {
                break;
            }
            line.remove_prefix(start);
            const std::size_t stop = line.find_first_of(" \t");
            fields.push_back(line.substr(0, stop));
            line.remove_prefix(stop == std::string_view::npos ? line.size() : stop);
        }
        if (fields.size() == 3) {
            entries.push_back({decodeOctal(fields[0]), decodeOctal(fields[1]), decodeOctal(fields[2])});
        }
    }
    return entries;
}

std::vector<Volume> mountedVolumes(Syscalls& calls, const std::string& mountTable, const std::string& labelFolder)
{
    const std::map<std::string, std::string> labels = labelsByDevice(calls, labelFolder);
    const auto labelOf = [&](const std::string& source) {
        const auto found = labels.find(resolveDevice(calls, source));
        return found == labels.end() ? std::string() : found->second;
    };

    // A later mount on the same mount point hides the earlier one.
    std::map<std::string, std::string> sourceByMountPoint;
    for (const MountEntry& entry : parseMountTable(mountTableText(calls, mountTable))) {
        const bool realVolume =
            entry.source.starts_with("/dev/") && !(entry.source.starts_with("/dev/loop") && entry.type == "squashfs");
        if (entry.mountPoint == "/" || (realVolume && isFolder(calls, entry.mountPoint))) {
            sourceByMountPoint[entry.mountPoint] = entry.source;
        }
    }
    sourceByMountPoint.try_emplace("/", std::string());

    std::vector<Volume> volumes;
    for (const auto& [mountPoint, source] : sourceByMountPoint) {
        const bool realVolume = source.starts_with("/dev/");
        if (mountPoint != "/" && !realVolume) {
            continue;
        }
        volumes.push_back({mountPoint, realVolume ? labelOf(source) : std::string()});
    }
    return volumes;
}

std::string volumeText(const Volume& volume)
{
    if (volume.label.empty()) {
        return volume.mountPoint;
    }
    std::string label = volume.label;
    for (char& c : label) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return volume.mountPoint + " [" + label + "]";
}

bool onRotatingDisk(Syscalls& calls, const std::string& path, const std::string& sysfs)
{
    struct stat st;
    if (path.find('\0') != std::string::npos || calls.fstatat(AT_FDCWD, path.c_str(), &st, 0) != 0) {
        return false;
    }
    const std::string device =
        sysfs + "/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    // A partition's entry has no queue of its own: its disk, the folder above it, has.
    for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
        std::string flag;
        if (readWholeFile(device + queue, flag, calls) == 0) {
            return flag.starts_with('1');
        }
    }
    return false;
}

NameRules nameRulesOf(Syscalls& calls, int folderFd)
{
    using namespace fileSystemKind;
    FileDescriptor current(
        calls, folderFd == AT_FDCWD ? calls.openat(AT_FDCWD, ".", O_PATH | O_DIRECTORY | O_CLOEXEC, 0) : -1);
    struct statfs fileSystem
    {
    };
    if (calls.fstatfs(folderFd == AT_FDCWD ? current.get() : folderFd, &fileSystem) != 0) {
        return NameRules::Bytes;
    }
    switch (static_cast<long>(fileSystem.f_type)) {
    case kFat:
    case kExfat:
        return NameRules::Fat;
    case kNtfs:
    case kNtfs3:
    case kFuse:
    case kSmb:
    case kSmb2:
    case kCifs:
        return NameRules::Utf16;
    default:
        return NameRules::Bytes;
    }
}

NameRules nameRulesOf(Syscalls& calls, const std::string& folder)
{
    const FileDescriptor opened(calls, calls.openat(AT_FDCWD, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
    return opened.get() < 0 ? NameRules::Bytes : nameRulesOf(calls, opened.get());
}

int volumeOf(const std::vector<Volume>& volumes, std::string_view folder)
{
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        const std::string& mountPoint = volumes[i].mountPoint;
        if (contains(mountPoint, folder) && (best < 0 || mountPoint.size() > bestLength)) {
            best = static_cast<int>(i);
            bestLength = mountPoint.size();
        }
    }
    return best;
}

namespace {

// File systems that number their files anew at each mount.
bool numbersDoNotLast(std::string_view type)
{
    return type == "vfat" || type == "msdos" || type == "exfat" || type == "fuseblk";
}

// The device a device file or a link to one stands for; 0 where it is none.
dev_t deviceOf(Syscalls& calls, const std::string& path)
{
    struct stat st;
    return calls.fstatat(AT_FDCWD, path.c_str(), &st, 0) == 0 && S_ISBLK(st.st_mode) ? st.st_rdev : 0;
}

std::string sizeOf(Syscalls& calls, dev_t device, const std::string& sysfs)
{
    std::string size;
    readWholeFile(sysfs + "/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device)) + "/size",
                  size,
                  calls);
    while (!size.empty() && (size.back() == '\n' || size.back() == ' ')) {
        size.pop_back();
    }
    return size;
}

// The names in a folder of links to devices (by-uuid/, by-label/), the link names decoded.
std::vector<std::string> linkNames(Syscalls& calls, const std::string& folder)
{
    std::vector<std::string> names;
    readFolder(calls, folder, [&](const struct dirent& entry) {
        if (entry.d_name[0] != '.') {
            names.emplace_back(entry.d_name);
        }
    });
    return names;
}

} // namespace

VolumePlace volumePlaceOf(Syscalls& calls, const std::string& folder, const SystemFolders& system)
{
    struct stat st;
    char real[PATH_MAX];
    if (calls.fstatat(AT_FDCWD, folder.c_str(), &st, 0) != 0 || ::realpath(folder.c_str(), real) == nullptr) {
        return {};
    }
    const MountEntry* mount = nullptr;
    const std::vector<MountEntry> entries = parseMountTable(mountTableText(calls, system.mountTable));
    for (const MountEntry& entry : entries) {
        if (contains(entry.mountPoint, real) && (mount == nullptr || entry.mountPoint.size() > mount->mountPoint.size())
            && deviceOf(calls, entry.source) == st.st_dev) {
            mount = &entry;
        }
    }
    if (mount == nullptr || !numbersDoNotLast(mount->type)) {
        return {};
    }
    VolumePlace place;
    for (const std::string& uuid : linkNames(calls, system.diskLinks + "/by-uuid")) {
        if (deviceOf(calls, system.diskLinks + "/by-uuid/" + uuid) == st.st_dev) {
            place.volume = "uuid:" + uuid;
        }
    }
    if (place.volume.empty()) {
        for (const std::string& label : linkNames(calls, system.diskLinks + "/by-label")) {
            if (deviceOf(calls, system.diskLinks + "/by-label/" + label) == st.st_dev) {
                place.volume = "label:" + label + ":" + sizeOf(calls, st.st_dev, system.sysfs);
            }
        }
    }
    if (place.volume.empty()) {
        return {};
    }
    const std::string_view inside =
        std::string_view(real).substr(mount->mountPoint == "/" ? 0 : mount->mountPoint.size());
    place.path = inside.empty() ? "/" : std::string(inside);
    return place;
}

std::string folderAt(Syscalls& calls, const VolumePlace& place, const SystemFolders& system)
{
    dev_t device = 0;
    if (place.volume.starts_with("uuid:")) {
        device = deviceOf(calls, system.diskLinks + "/by-uuid/" + place.volume.substr(5));
    } else if (place.volume.starts_with("label:")) {
        const std::size_t sizeAt = place.volume.rfind(':');
        const std::string label = place.volume.substr(6, sizeAt - 6);
        device = deviceOf(calls, system.diskLinks + "/by-label/" + label);
        if (device != 0 && sizeOf(calls, device, system.sysfs) != place.volume.substr(sizeAt + 1)) {
            device = 0; // another volume of that label
        }
    }
    if (device == 0) {
        return {};
    }
    for (const MountEntry& entry : parseMountTable(mountTableText(calls, system.mountTable))) {
        if (deviceOf(calls, entry.source) == device) {
            return (entry.mountPoint == "/" ? std::string() : entry.mountPoint)
                   + (place.path == "/" ? std::string() : place.path);
        }
    }
    return {};
}

} // namespace tallyfox::platform
