#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tallyfox {

// ---- The text of a settings file ------------------------------------------------------------------
//
// A settings file is lines of bytes ended by CR LF, LF or a lone CR. A line "[name]" starts a section;
// a line "key=value" is a key of the section above it; lines starting with ";" are comments. Blanks
// (tab, LF, VT, FF, CR, space and ^Z) around lines, names and values do not count. Section and key
// names match ignoring the case of ASCII letters. Only the first section of a name is searched, and in
// it the first key of a name counts. A value between a matching pair of quotes (" or ') is read
// without them. A UTF-8 byte-order mark at the start is skipped.

// The longest value a read gives, in bytes; a longer value is cut to a whole number of characters.
inline constexpr std::size_t MaxSettingsValueBytes = 2047;

// The value of `key` in `section` of a settings file's content; empty when the section or the key is
// absent, when the key has no "=", or when the content is UTF-16. Ends before the value's first NUL
// byte, is never longer than MaxSettingsValueBytes and never ends inside a UTF-8 character.
std::string readSettingsValue(std::string_view content, std::string_view section, std::string_view key);

// What storing a value does to a settings file's content.
enum class SettingsEdit
{
    Changed,   // `content` is the new file content
    Unchanged, // the key already holds that value; nothing needs to be written
    Refused,   // the value cannot be stored without damaging the file; nothing may be written
};

struct SettingsEditResult
{
    SettingsEdit edit;
    std::string content;
};

// The content after storing `value` as `key` of `section`. The first matching key of the first
// matching section gets the value (keeping its spelling and everything before the value); a missing key
// is added after the last entry of its section, a missing section at the end. Every other byte stays
// as it was; new lines end the way the file's first line ends (CR LF in a file without one). A value
// with blanks at either end, or wrapped in a pair of quotes, is stored in double quotes so that it
// reads back unchanged. Refused: a section, key or value holding CR, LF or NUL, a section holding "]",
// a key holding "=", an empty key or one starting with ";" or "[", and UTF-16 content (which must
// never get 8-bit lines appended).
SettingsEditResult
storeSettingsValue(std::string_view content, std::string_view section, std::string_view key, std::string_view value);

// Whether a value can be stored at all: one holding CR, LF or NUL would break the file's lines.
bool storableSettingsValue(std::string_view value);

// The integer a settings value stands for: optional leading spaces, an optional sign, then decimal
// digits or "$" and hexadecimal digits, within the signed 32-bit range; a text longer than two
// characters that starts with "0x" or "0X" counts as "$" and the rest. Empty for anything else.
std::optional<std::int32_t> parseSettingsInteger(std::string_view text);

// ---- The file ------------------------------------------------------------------------------------

// Where a settings file's bytes come from and go to. Each call works on the file named by the path
// alone: nothing is kept open or remembered between calls.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The whole content of the regular file at `path`. Gives 0, ENOENT when no file is there, or the
    // errno of another failure (also for a folder, a pipe or a device in its place).
    virtual int readAll(const std::string& path, std::string& content) = 0;

    // Replaces the whole file at `path` with `content`. Gives 0, or the errno of the failure; a failure
    // leaves the file as it was and nothing beside it.
    virtual int replace(const std::string& path, const std::string& content) = 0;
};

// The program's settings file: one key read or written per call, the file addressed afresh by its
// path each time, so a change made by another program between two calls is seen and kept.
class SettingsFile final
{
public:
    // `store` must outlive this object.
    SettingsFile(std::string path, SettingsStore& store);

    const std::string& path() const;

    // The key's value, empty when the file, the section or the key is absent or cannot be read.
    std::string readString(std::string_view section, std::string_view key) const;

    // The key's value read as an integer (parseSettingsInteger), or `defaultValue` when it is absent,
    // unreadable or not such a number.
    std::int32_t readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const;

    // Stores the value, creating the file, the section and the key as needed; storing the value a key
    // already holds writes nothing. Throws SettingsWriteError naming the file when it cannot be
    // written (the file then stays as it was) or when the value cannot be stored (see
    // storeSettingsValue). A file that exists but cannot be read is never written.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

    // Stores the integer as signed decimal text, as writeString does.
    void writeInteger(std::string_view section, std::string_view key, std::int32_t value);

private:
    std::string m_path;
    SettingsStore& m_store;
};

// ---- The program's keys --------------------------------------------------------------------------

// Every key of the program's settings file, named by its section and key.
enum class Setting
{
    WindowLeft,
    WindowTop,
    DirectoryPath,
    NameFilter1,
    NameFilter2,
    NameFilter3,
    NameFilter4,
    NameFString1,
    NameFString2,
    NameFString3,
    NameFString4,
    SettingFilter,
    SaveDirPath,
    SettingFile,
    SettingPattern,
    SettingNumber1,
    SettingNumber2,
    NamePrev,
    NameLast,
    SettingExt,
    NameExt,
    DialogShow,
};

enum class SettingKind
{
    Integer,
    String,
};

struct SettingKey
{
    Setting id;
    std::string_view section;
    std::string_view key;
    SettingKind kind;
    // An integer key's value when it is absent or unreadable, and what the reset stores. None for the
    // window position, whose default (centred on the screen) the window works out itself. A string
    // key's default is always empty.
    std::optional<std::int32_t> defaultNumber;
};

// Every key once, in the order of the enumeration.
std::span<const SettingKey> settingKeys();

const SettingKey& settingKey(Setting id);

// The procedures that walk the keys, each in its own order.
enum class SettingsProcedure
{
    Load,         // the main window being created
    Save,         // the main window closing
    Reset,        // the reset button: stores each key's default
    OptionsLoad,  // the options dialog opening
    OptionsStore, // the options dialog's OK
};

// The keys a procedure reads or writes, in the order it does so.
std::span<const Setting> settingsOrder(SettingsProcedure procedure);

// A key's value read by its table entry: a string key's text, an integer key's number with the table's
// default or the one given (the window position has none in the table). Throw std::logic_error for a
// key of the other kind, or an integer key without a default of either sort: both are slips of the
// program, never of the file.
std::string readSetting(const SettingsFile& file, Setting id);
std::int32_t readIntegerSetting(const SettingsFile& file, Setting id);
std::int32_t readIntegerSetting(const SettingsFile& file, Setting id, std::int32_t defaultValue);

// Store a key's value by its table entry; throw SettingsWriteError as SettingsFile does, and
// std::logic_error for a key of the other kind.
void writeSetting(SettingsFile& file, Setting id, std::string_view value);
void writeIntegerSetting(SettingsFile& file, Setting id, std::int32_t value);

// Stores the key's default (empty for a string key). Throws std::logic_error for a key without one.
void writeDefaultSetting(SettingsFile& file, Setting id);

} // namespace tallyfox
