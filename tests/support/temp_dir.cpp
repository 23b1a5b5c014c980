#include "tests/support/temp_dir.h"

#include <stdexcept>
#include <stdlib.h>

namespace tallyfox::testing {

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
