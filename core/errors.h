#pragma once

#include <stdexcept>
#include <string>

namespace tallyfox {

// An error that ends the handler it arises in. Its text (UTF-8) is what the user is shown, under the
// application title and followed by a full stop; handlers never catch it themselves.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A number format text that cannot format a number: only a digit count that was typed below zero and
// not yet brought into range produces one.
class FormatError final : public Error
{
public:
    explicit FormatError(const std::string& piece);
};

// A key of the settings file could not be written. The text names the file by its full path; the
// file is as it was before this key's write (keys written earlier stay written).
class SettingsWriteError final : public Error
{
public:
    // `error` is the system's errno for the failure, or EINVAL for a value the file cannot hold.
    SettingsWriteError(const std::string& path, int error);

    const std::string& path() const;
    int error() const;

private:
    std::string m_path;
    int m_error;
};

} // namespace tallyfox
