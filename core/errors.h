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

// An input/output error of the system: a folder that cannot be entered or read. Its number is the one
// the user is shown; the known numbers have their own texts, any other reads "I/O エラー (number)".
class InOutError final : public Error
{
public:
    // The error with the text the table gives its number.
    explicit InOutError(int number);

    // An error number that has no text of its own; it is shown in the general form whatever it is.
    static InOutError general(int number);

    int number() const;

    // The known numbers.
    static constexpr int FileNotFound = 2;
    static constexpr int InvalidFileName = 3;
    static constexpr int TooManyOpenFiles = 4;
    static constexpr int AccessDenied = 5;
    static constexpr int ReadBeyondEnd = 100;
    static constexpr int DiskFull = 101;
    static constexpr int NotNumeric = 106;

private:
    InOutError(int number, const std::string& text);

    int m_number;
};

} // namespace tallyfox
