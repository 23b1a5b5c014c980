#include "core/errors.h"

namespace tallyfox {

FormatError::FormatError(const std::string& piece)
    : Error("書式文字列 '" + piece + "' は正しくないか引数の型と一致しません")
{
}

} // namespace tallyfox
