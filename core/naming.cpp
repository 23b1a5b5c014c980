#include "core/naming.h"

#include "core/errors.h"

#include <cstdlib>

namespace tallyfox {

namespace {

// A precision above this is ignored by the number conversion: the number keeps just its own digits.
constexpr std::int64_t kMaxPrecision = 16;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::string operationCaption(FileOperation operation)
{
    switch (operation) {
    case FileOperation::RenameOnly:
        break;
    case FileOperation::RenameCopy:
        return "リネーム＋コピー";
    case FileOperation::RenameMove:
        return "リネーム＋移動";
    case FileOperation::ExtensionOnly:
        return "拡張子のみ変更";
    }
    return "リネームのみ";
}

std::string NumberFormat(std::int32_t digitCount)
{
    return "%.0" + std::to_string(digitCount) + "d";
}

std::string NumberText(std::string_view format, std::int64_t k)
{
    // The only form NumberFormat produces: "%", optionally "." and a run of digits, then "d".
    std::size_t pos = 0;
    const auto misfit = [&format](std::size_t at) {
        return FormatError(std::string(format.substr(0, at + 1)));
    };
    if (pos >= format.size() || format[pos] != '%') {
        throw misfit(pos);
    }
    ++pos;
    std::int64_t precision = 0;
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        while (pos < format.size() && isDigit(format[pos])) {
            if (precision <= kMaxPrecision) {
                precision = precision * 10 + (format[pos] - '0');
            }
            ++pos;
        }
    }
    if (pos >= format.size() || format[pos] != 'd' || pos + 1 != format.size()) {
        throw misfit(pos);
    }

    const bool negative = k < 0;
    std::string digits = std::to_string(negative ? 0 - static_cast<std::uint64_t>(k) : static_cast<std::uint64_t>(k));
    if (precision <= kMaxPrecision && static_cast<std::int64_t>(digits.size()) < precision) {
        digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
    }
    return negative ? "-" + digits : digits;
}

std::string_view extensionOf(std::string_view name, CodePage codePage)
{
    const std::size_t delimiter = findLastCharacterOf(name, "./", codePage);
    if (delimiter == std::string_view::npos || name[delimiter] != '.') {
        return {};
    }
    return name.substr(delimiter);
}

std::string_view baseOf(std::string_view name, CodePage codePage)
{
    return name.substr(0, name.size() - extensionOf(name, codePage).size());
}

std::string withExtension(std::string_view path, std::string_view extension, CodePage codePage)
{
    std::string result(baseOf(path, codePage));
    result += extension;
    return result;
}

namespace {

// Appends the extension a name receives under the given mode, dot included.
void appendNewExtension(
    std::string& to, std::string_view name, ExtensionMode mode, std::string_view givenExtension, CodePage codePage)
{
    if (mode == ExtensionMode::Specified) {
        if (givenExtension.empty() || givenExtension.front() != '.') {
            to += '.';
        }
        to += givenExtension;
        return;
    }
    const std::size_t from = to.size();
    to += extensionOf(name, codePage);
    // Byte by byte: only the ASCII letters change, whatever characters surround them.
    for (std::size_t i = from; i < to.size() && mode != ExtensionMode::Keep; ++i) {
        to[i] = mode == ExtensionMode::Upper ? asciiUpper(to[i]) : asciiLower(to[i]);
    }
}

} // namespace

std::string NewExtension(std::string_view name, ExtensionMode mode, std::string_view givenExtension, CodePage codePage)
{
    std::string extension;
    appendNewExtension(extension, name, mode, givenExtension, codePage);
    return extension;
}

std::int64_t runningNumber(const NamingSettings& settings, std::int64_t position)
{
    return static_cast<std::int64_t>(settings.startNumber) + position;
}

std::string
ComposeNewName(std::string_view name, std::int64_t position, const NamingSettings& settings, CodePage codePage)
{
    if (settings.operation == FileOperation::ExtensionOnly) {
        std::string composed(baseOf(name, codePage));
        appendNewExtension(composed, name, settings.extensionMode, settings.givenExtension, codePage);
        return composed;
    }
    return composeNumberedName(
        name, NumberText(NumberFormat(settings.digitCount), runningNumber(settings, position)), settings, codePage);
}

std::string
composeNumberedName(std::string_view name, std::string_view number, const NamingSettings& settings, CodePage codePage)
{
    const bool withTextBefore =
        settings.pattern == NamePattern::NameNumber || settings.pattern == NamePattern::NameNumberName;
    const bool withTextAfter =
        settings.pattern == NamePattern::NumberName || settings.pattern == NamePattern::NameNumberName;

    std::string composed;
    // One allocation for the whole name: a run composes one for each of its files.
    composed.reserve((withTextBefore ? settings.textBefore.size() : 0) + number.size()
                     + (withTextAfter ? settings.textAfter.size() : 0) + settings.givenExtension.size() + 1
                     + extensionOf(name, codePage).size());
    if (withTextBefore) {
        composed += settings.textBefore;
    }
    composed += number;
    if (withTextAfter) {
        composed += settings.textAfter;
    }
    appendNewExtension(composed, name, settings.extensionMode, settings.givenExtension, codePage);
    return composed;
}

std::string previewCaption(const std::string* firstEntry, const NamingSettings& settings, CodePage codePage)
{
    if (firstEntry == nullptr) {
        return "-";
    }
    return ComposeNewName(*firstEntry, 0, settings, codePage) + " \xEF\xBD\x9E";
}

} // namespace tallyfox
