#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <stdexcept>
#include <stdlib.h>

namespace tallyfox::testing {

namespace {

// Every test's desktop data, the Trash that runs move replaced files into among them, lives in a folder
// of the test's own, never the user's, and goes with the test.
const std::filesystem::path kDataHome = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "tallyfox-data-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    ::setenv("XDG_DATA_HOME", pattern.c_str(), 1);
    return std::filesystem::path(pattern);
}();
// Registered once the folder's path is made, so that it is removed before the path itself goes.
const int kDataHomeRemoved = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(kDataHome, ignored);
});

} // namespace

void emptyTrash()
{
    std::error_code ignored;
    std::filesystem::remove_all(kDataHome / "Trash", ignored);
}

TempDir::TempDir(const std::filesystem::path& under)
{
    std::string pattern = (under / "tallyfox-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

const std::filesystem::path& TempDir::path() const
{
    return m_path;
}

std::string TempDir::str() const
{
    return m_path.string();
}

} // namespace tallyfox::testing
