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

namespace {

std::string generalText(int number)
{
    return "I/O エラー (" + std::to_string(number) + ")";
}

std::string inOutText(int number)
{
    switch (number) {
    case InOutError::FileNotFound:
        return "ファイルが見つかりません";
    case InOutError::InvalidFileName:
        return "不正なファイル名です";
    case InOutError::TooManyOpenFiles:
        return "オープンしたファイルが多すぎます";
    case InOutError::AccessDenied:
        return "ファイルへのアクセスが拒否されました";
    case InOutError::ReadBeyondEnd:
        return "ファイルの末尾以降を読み込みました";
    case InOutError::DiskFull:
        return "ディスクがいっぱいです";
    case InOutError::NotNumeric:
        return "入力値が数値ではありません";
    default:
        return generalText(number);
    }
}

} // namespace

InOutError::InOutError(int number)
    : InOutError(number, inOutText(number))
{
}

InOutError::InOutError(int number, const std::string& text)
    : Error(text)
    , m_number(number)
{
}

InOutError InOutError::general(int number)
{
    return {number, generalText(number)};
}

int InOutError::number() const
{
    return m_number;
}

} // namespace tallyfox
