#pragma once

#include "core/multibyte.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tallyfox {

// What a run does; the index of the operation choice and the value stored in the settings file.
enum class FileOperation
{
    RenameOnly = 0,
    RenameCopy = 1,
    RenameMove = 2,
    ExtensionOnly = 3,
};

// The caption of the operation's item in the main window's operation choice: "リネームのみ", ...
std::string operationCaption(FileOperation operation);

// Which parts make the new base name; the index of the pattern choice and the stored value.
enum class NamePattern
{
    NumberOnly = 0,
    NameNumber = 1,
    NumberName = 2,
    NameNumberName = 3,
};

// How the new extension is chosen; the index of the extension choice and the stored value.
enum class ExtensionMode
{
    Keep = 0,
    Upper = 1,
    Lower = 2,
    Specified = 3,
};

// The pattern settings as the window holds them at the moment of composing. Texts are bytes in the
// system code page, used exactly as typed; the two numbers are read from their fields and may lie
// outside the fields' bounds while a typed value has not been brought into range.
struct NamingSettings
{
    FileOperation operation = FileOperation::RenameOnly;
    NamePattern pattern = NamePattern::NumberOnly;
    ExtensionMode extensionMode = ExtensionMode::Keep;
    std::string textBefore;
    std::int32_t startNumber = 1;
    std::int32_t digitCount = 3;
    std::string textAfter;
    std::string givenExtension;
};

// The format text of the running number: "%.0" followed by the digit count in decimal and "d".
std::string NumberFormat(std::int32_t digitCount);

// The number k written by a format text of NumberFormat: zero-filled on the left to the precision,
// never cut, no zeros for a precision above 16. Throws FormatError for a format text it cannot use
// (the one of a negative digit count). k is wide so that a start number near the top of the 32-bit
// range still counts on instead of wrapping around.
std::string NumberText(std::string_view format, std::int64_t k);

// The extension of a plain name, dot included: from its last "." to the end, unless a "/" comes after
// that dot; empty otherwise. Scanned character by character in the given code page, so that no byte
// inside a multibyte character is taken for a delimiter.
std::string_view extensionOf(std::string_view name, CodePage codePage = systemCodePage());

// The name without its extension.
std::string_view baseOf(std::string_view name, CodePage codePage = systemCodePage());

// The path of the file that lies beside `path` under the same name with another extension (dot
// included): the extension of the last path component, from its last "." on, is replaced; a name
// without a dot gets the extension appended. "/opt/tf/Tallyfox.exe" gives "/opt/tf/Tallyfox.ini",
// "/opt/tf.d/tallyfox" gives "/opt/tf.d/tallyfox.ini". Used for the settings and the help file.
std::string withExtension(std::string_view path, std::string_view extension, CodePage codePage = systemCodePage());

// The extension a name receives under the given mode, dot included, or empty.
std::string NewExtension(std::string_view name,
                         ExtensionMode mode,
                         std::string_view givenExtension,
                         CodePage codePage = systemCodePage());

// Number a run gives the file at `position` of the list: the start number plus the position.
std::int64_t runningNumber(const NamingSettings& settings, std::int64_t position);

// The new plain name of a file at `position` (from 0) of the list being numbered. Makes no check that
// the result can name a file. Throws FormatError for a negative digit count under a numbering
// operation.
std::string ComposeNewName(std::string_view name,
                           std::int64_t position,
                           const NamingSettings& settings,
                           CodePage codePage = systemCodePage());

// The new plain name of a file under a numbering operation whose running number NumberText has written
// already: what ComposeNewName gives, for a caller that needs the number text itself as well.
std::string composeNumberedName(std::string_view name,
                                std::string_view number,
                                const NamingSettings& settings,
                                CodePage codePage = systemCodePage());

// The caption of the preview line: "-" without a first entry, else the first entry's new name at
// position 0 followed by a blank and a full-width wave dash.
std::string
previewCaption(const std::string* firstEntry, const NamingSettings& settings, CodePage codePage = systemCodePage());

} // namespace tallyfox
