#include "core/errors.h"

namespace tallyfox {

FormatError::FormatError(const std::string& piece)
    : Error("書式文字列 '" + piece + "' は正しくないか引数の型と一致しません")
{
}

SettingsWriteError::SettingsWriteError(const std::string& path, int error)
    : Error(path + " に書き込めません")
    , m_path(path)
    , m_error(error)
{
}

const std::string& SettingsWriteError::path() const
{
    return m_path;
}

int SettingsWriteError::error() const
{
    return m_error;
}

} // namespace tallyfox
