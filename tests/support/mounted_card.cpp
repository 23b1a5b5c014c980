#include "tests/support/mounted_card.h"

#include <cstdlib>
#include <unistd.h>

namespace tallyfox::testing {

MountedCard::MountedCard(const std::filesystem::path& root,
                         const std::string& make,
                         const std::vector<std::string>& needs)
    : m_image(root / "card.img")
    , m_folder(root / "card")
{
    if (::geteuid() != 0) {
        m_missing = "mounting a card needs root";
        return;
    }
    for (const std::string& need : needs) {
        const bool found = need.starts_with("/dev/")
                               ? ::access(need.c_str(), R_OK | W_OK) == 0
                               : std::system(("command -v '" + need + "' >/dev/null 2>&1").c_str()) == 0;
        if (!found) {
            m_missing = need + " is missing";
            return;
        }
    }
    std::filesystem::create_directories(m_folder);
    m_tried = true;
    const std::string script = "IMG='" + m_image.string() + "' DIR='" + m_folder.string()
                               + "'; truncate -s 32M \"$IMG\" && " + make + " >/dev/null 2>&1";
    if (std::system(script.c_str()) != 0) {
        m_missing = "the card could not be made and mounted (a loop device and the file system's driver are needed)";
    }
}

MountedCard::~MountedCard()
{
    if (m_tried) {
        const std::string script = "umount '" + m_folder.string() + "'; losetup -j '" + m_image.string()
                                   + "' -n -O NAME | xargs -r -n1 losetup -d";
        std::system(script.c_str());
    }
}

const std::string& MountedCard::missing() const
{
    return m_missing;
}

const std::filesystem::path& MountedCard::folder() const
{
    return m_folder;
}

} // namespace tallyfox::testing
