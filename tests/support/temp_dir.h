#pragma once

#include <filesystem>
#include <string>

namespace tallyfox::testing {

// A fresh folder under the system's temporary folder (or `under`), removed with everything in it at the
// end.
class TempDir final
{
public:
    explicit TempDir(const std::filesystem::path& under = std::filesystem::temp_directory_path());
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const;
    std::string str() const;

private:
    std::filesystem::path m_path;
};

// Empties the Trash of the tests' own desktop data ($XDG_DATA_HOME, a temporary folder of the test's).
void emptyTrash();

} // namespace tallyfox::testing
