#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tallyfox::testing {

// A camera's card for real: an image of 32 MiB made with the file system's own tools and mounted for the
// length of a test, where the machine allows it; unmounted, and its loop device freed, at the end.
class MountedCard final
{
public:
    // `make` is a shell command that makes the file system on $IMG and mounts it on $DIR; `needs` names
    // what it takes beyond root and a loop device: programs, and device files (given by their path).
    MountedCard(const std::filesystem::path& root, const std::string& make, const std::vector<std::string>& needs);
    ~MountedCard();
    MountedCard(const MountedCard&) = delete;
    MountedCard& operator=(const MountedCard&) = delete;

    // Why no card could be mounted, for the test to skip with; empty when it is mounted.
    const std::string& missing() const;
    // The card's top folder.
    const std::filesystem::path& folder() const;

private:
    std::filesystem::path m_image;
    std::filesystem::path m_folder;
    std::string m_missing;
    bool m_tried = false; // made and mounted, or part of that
};

// An exFAT card mounted by the driver in user space (fuseblk), as desktops without the kernel's driver
// mount one.
inline const std::string kExfatInUserSpace =
    "mkfs.exfat \"$IMG\" && mount.exfat-fuse \"$(losetup -f --show \"$IMG\")\" \"$DIR\"";
inline const std::vector<std::string> kExfatInUserSpaceNeeds = {"mkfs.exfat", "mount.exfat-fuse", "/dev/fuse"};

} // namespace tallyfox::testing
