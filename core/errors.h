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

} // namespace tallyfox
