#pragma once

#include "core/rename_plan.h"

#include <string>
#include <string_view>
#include <vector>

namespace tallyfox::platform {

class Syscalls;

// A mounted volume the drive chooser offers.
struct Volume
{
    std::string mountPoint;
    std::string label; // empty when the volume has none or it cannot be read
};

// One line of the mount table: the mounted source, where it is mounted, and its file system type;
// the blanks and other characters the table writes as octal escapes are decoded.
struct MountEntry
{
    std::string source;
    std::string mountPoint;
    std::string type;
};

// The entries of a mount table in the format of /proc/self/mounts.
std::vector<MountEntry> parseMountTable(std::string_view table);

// The volumes the drive chooser offers: the root file system and each mounted real volume (a source
// under /dev/ mounted on a folder; read-only program images on loop devices left out), each mount point
// once, ordered by mount point. The labels come from the folder of label links. The root file system
// is offered even when the table cannot be read.
std::vector<Volume> mountedVolumes(Syscalls& calls,
                                   const std::string& mountTable = "/proc/self/mounts",
                                   const std::string& labelFolder = "/dev/disk/by-label");

// What the drive chooser shows for a volume: its mount point, a blank and its label in small letters
// in square brackets; the mount point alone when it has no label.
std::string volumeText(const Volume& volume);

// Whether the file system holding `path` lies on a disk whose heads move, as the kernel tells in
// `sysfs`/dev/block/MAJOR:MINOR/queue/rotational, or in its disk's for a partition. False where it cannot
// be told (memory, network and pseudo file systems have no such entry).
bool onRotatingDisk(Syscalls& calls, const std::string& path, const std::string& sysfs = "/sys");

// Kinds of file system as statfs gives them (f_type), where their names or times differ from a Linux
// file system's.
namespace fileSystemKind {
constexpr long kFat = 0x4d44;
constexpr long kExfat = 0x2011BAB0;
constexpr long kNtfs = 0x5346544e;
constexpr long kNtfs3 = 0x7366746e;
constexpr long kFuse = 0x65735546;
constexpr long kSmb = 0x517B;
constexpr long kSmb2 = 0xfe534d42;
constexpr long kCifs = static_cast<long>(0xff534d42);
} // namespace fileSystemKind

// What the file system holding a folder (a descriptor of it, or AT_FDCWD for the current directory)
// allows in a name, from its kind: FAT and exFAT (a camera's card) count UTF-16 code units and refuse the
// characters Windows refuses; NTFS, file systems in user space (NTFS and exFAT disks mounted by
// fuseblk among them) and network shares count UTF-16 code units; every other one counts bytes, as
// it does where the kind cannot be read.
NameRules nameRulesOf(Syscalls& calls, int folderFd);
NameRules nameRulesOf(Syscalls& calls, const std::string& folder);

// The position of the volume a folder lies on: the one with the longest mount point that contains the
// folder; -1 when none does.
int volumeOf(const std::vector<Volume>& volumes, std::string_view folder);

// Where a folder lies on a file system whose inode numbers do not last from one mount to the next (FAT
// and exFAT, and disks mounted in user space): the volume, by its UUID or where it has none by its label
// and size, and the folder's path from the volume's top. A card taken out and put back is the same
// volume, wherever it is mounted again. Empty for a folder anywhere else.
struct VolumePlace
{
    std::string volume;
    std::string path;
};

struct SystemFolders
{
    std::string mountTable = "/proc/self/mounts";
    std::string diskLinks = "/dev/disk"; // by-uuid/ and by-label/
    std::string sysfs = "/sys";
};

VolumePlace volumePlaceOf(Syscalls& calls, const std::string& folder, const SystemFolders& system = {});

// The folder at `place` as its volume is mounted now; empty when the volume is not mounted.
std::string folderAt(Syscalls& calls, const VolumePlace& place, const SystemFolders& system = {});

} // namespace tallyfox::platform
