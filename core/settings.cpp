#include "core/settings.h"

#include "core/errors.h"
#include "core/integer_text.h"
#include "core/multibyte.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string.h> // memrchr

namespace tallyfox {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return (c >= 0x09 && c <= 0x0D) || c == ' ' || c == 0x1A;
}

std::string_view trimmed(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isBlank(s[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(s[end - 1])) {
        --end;
    }
    return s.substr(begin, end - begin);
}

bool sameName(std::string_view a, std::string_view b)
{
    return equalIgnoringAsciiCase(a, b, systemCodePage());
}

bool isUtf16(std::string_view content)
{
    return content.starts_with("\xFF\xFE") || content.starts_with("\xFE\xFF");
}

std::string_view withoutQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// One line of the content: its text from `begin` to `end`, its line end up to `next`.
struct Line
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

// What a line is, once blanks around it are set aside.
struct LineMeaning
{
    enum Kind
    {
        Blank,
        Comment,
        Section,
        Entry,
    } kind = Blank;
    std::string_view name;  // the section's or key's name
    bool hasValue = false;  // an entry with "="
    std::size_t equals = 0; // offset of its "=" in the content
    std::string_view value; // its value, blanks set aside, quotes kept
};

// Walks the lines of the content, past a leading byte-order mark. Line ends are found with memchr so
// that a file of many megabytes takes milliseconds.
class LineCursor
{
public:
    explicit LineCursor(std::string_view content)
        : m_content(content)
        , m_pos(content.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0)
    {
    }

    // Goes on from `pos`, which must be the start of a line.
    void seek(std::size_t pos)
    {
        m_pos = std::max(m_pos, pos);
    }

    bool next(Line& line)
    {
        if (m_pos >= m_content.size()) {
            return false;
        }
        const char* start = m_content.data() + m_pos;
        const std::size_t rest = m_content.size() - m_pos;
        const auto* lf = static_cast<const char*>(std::memchr(start, '\n', rest));
        const std::size_t untilLf = lf != nullptr ? static_cast<std::size_t>(lf - start) : rest;
        const auto* cr = static_cast<const char*>(std::memchr(start, '\r', untilLf));
        const std::size_t length = cr != nullptr ? static_cast<std::size_t>(cr - start) : untilLf;
        line.begin = m_pos;
        line.end = m_pos + length;
        std::size_t next = line.end;
        if (next < m_content.size()) {
            next += m_content[next] == '\r' && next + 1 < m_content.size() && m_content[next + 1] == '\n' ? 2 : 1;
        }
        line.next = next;
        m_pos = next;
        return true;
    }

private:
    std::string_view m_content;
    std::size_t m_pos;
};

LineMeaning meaningOf(std::string_view content, const Line& line)
{
    LineMeaning meaning;
    const std::string_view text = trimmed(content.substr(line.begin, line.end - line.begin));
    if (text.empty()) {
        return meaning;
    }
    if (text.front() == ';') {
        meaning.kind = LineMeaning::Comment;
        return meaning;
    }
    if (text.front() == '[') {
        // Whatever follows the last "]" does not count; without one the line is an entry.
        const auto* close = static_cast<const char*>(::memrchr(text.data(), ']', text.size()));
        if (close != nullptr) {
            meaning.kind = LineMeaning::Section;
            meaning.name = trimmed(text.substr(1, static_cast<std::size_t>(close - text.data()) - 1));
            return meaning;
        }
    }
    meaning.kind = LineMeaning::Entry;
    const std::size_t equals = text.find('=');
    meaning.name = trimmed(text.substr(0, equals));
    if (equals != std::string_view::npos) {
        meaning.hasValue = true;
        meaning.equals = static_cast<std::size_t>(text.data() - content.data()) + equals;
        meaning.value = trimmed(text.substr(equals + 1));
    }
    return meaning;
}

// The value cut to the longest run of whole characters that fits the read buffer.
std::string_view cutToReadLimit(std::string_view value)
{
    if (value.size() <= MaxSettingsValueBytes) {
        return value;
    }
    const CodePage codePage = systemCodePage();
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t length = characterLength(value, pos, codePage);
        if (pos + length > MaxSettingsValueBytes) {
            break;
        }
        pos += length;
    }
    return value.substr(0, pos);
}

// Where the first matching section and, inside it, the first matching key lie.
struct KeyPlace
{
    bool sectionFound = false;
    bool keyFound = false;
    Line keyLine;
    LineMeaning key;
    Line lastLineOfSection; // its header, or its last entry
};

// The last line break in [from, to), or npos.
std::size_t lastLineBreak(std::string_view content, std::size_t from, std::size_t to)
{
    const auto* lf = static_cast<const char*>(::memrchr(content.data() + from, '\n', to - from));
    const auto* cr = static_cast<const char*>(::memrchr(content.data() + from, '\r', to - from));
    const char* last = std::max(lf, cr);
    return last != nullptr ? static_cast<std::size_t>(last - content.data()) : std::string_view::npos;
}

// The start of the first line at or after `from` (itself a line start) whose first character, blanks
// aside, is "[": where a section header may stand. Jumps from bracket to bracket, so that the lines of a
// large file outside the wanted section cost next to nothing; npos when there is none.
std::size_t nextBracketLine(std::string_view content, std::size_t from)
{
    std::size_t lineStart = from;
    std::size_t scan = from;
    while (scan < content.size()) {
        const auto* bracket = static_cast<const char*>(std::memchr(content.data() + scan, '[', content.size() - scan));
        if (bracket == nullptr) {
            break;
        }
        const auto at = static_cast<std::size_t>(bracket - content.data());
        if (const std::size_t lineBreak = lastLineBreak(content, scan, at); lineBreak != std::string_view::npos) {
            lineStart = lineBreak + 1;
        }
        std::size_t first = lineStart;
        while (first < at && isBlank(content[first])) {
            ++first;
        }
        if (first == at) {
            return lineStart;
        }
        // No later bracket on this line starts it: go on at the next line.
        const auto* lf = static_cast<const char*>(std::memchr(bracket, '\n', content.size() - at));
        const std::size_t untilLf = lf != nullptr ? static_cast<std::size_t>(lf - bracket) : content.size() - at;
        const auto* cr = static_cast<const char*>(std::memchr(bracket, '\r', untilLf));
        const char* lineBreak = cr != nullptr ? cr : lf;
        if (lineBreak == nullptr) {
            break;
        }
        scan = static_cast<std::size_t>(lineBreak - content.data()) + 1;
        lineStart = scan;
    }
    return std::string_view::npos;
}

KeyPlace findKey(std::string_view content, std::string_view section, std::string_view key)
{
    KeyPlace place;
    LineCursor cursor(content);
    Line line;
    std::size_t from = content.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
    for (;;) {
        // Outside the section only headers matter.
        if (!place.sectionFound) {
            const std::size_t header = nextBracketLine(content, from);
            if (header == std::string_view::npos) {
                break;
            }
            cursor.seek(header);
        }
        if (!cursor.next(line)) {
            break;
        }
        from = line.next;
        const LineMeaning meaning = meaningOf(content, line);
        if (meaning.kind == LineMeaning::Section) {
            if (place.sectionFound) {
                break;
            }
            if (sameName(meaning.name, section)) {
                place.sectionFound = true;
                place.lastLineOfSection = line;
            }
        } else if (place.sectionFound && meaning.kind == LineMeaning::Entry) {
            place.lastLineOfSection = line;
            if (sameName(meaning.name, key)) {
                place.keyFound = true;
                place.keyLine = line;
                place.key = meaning;
                break;
            }
        }
    }
    return place;
}

bool holdsLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The line end of new lines: the one the file's first line ends with, CR LF in a file without one.
std::string_view lineEndOf(std::string_view content)
{
    const std::size_t end = content.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        return "\r\n";
    }
    if (content[end] == '\n') {
        return "\n";
    }
    return end + 1 < content.size() && content[end + 1] == '\n' ? "\r\n" : "\r";
}

// The value as it is written, so that a read gives it back: in double quotes when blanks at its ends
// would be dropped or a pair of quotes around it taken away.
std::string valueText(std::string_view value)
{
    const bool quote =
        !value.empty()
        && (isBlank(value.front()) || isBlank(value.back()) || withoutQuotes(value).size() != value.size());
    if (!quote) {
        return std::string(value);
    }
    std::string quoted = "\"";
    quoted += value;
    quoted += '"';
    return quoted;
}

} // namespace

std::string readSettingsValue(std::string_view content, std::string_view section, std::string_view key)
{
    const std::string_view keyName = trimmed(key);
    if (keyName.empty() || isUtf16(content)) {
        return {};
    }
    const KeyPlace place = findKey(content, trimmed(section), keyName);
    if (!place.keyFound || !place.key.hasValue) {
        return {};
    }
    std::string_view value = withoutQuotes(place.key.value);
    // Handed on as text, a value ends at its first NUL byte.
    value = value.substr(0, value.find('\0'));
    return std::string(cutToReadLimit(value));
}

bool storableSettingsValue(std::string_view value)
{
    return !holdsLineBreakOrNul(value);
}

SettingsEditResult
storeSettingsValue(std::string_view content, std::string_view section, std::string_view key, std::string_view value)
{
    const std::string_view sectionName = trimmed(section);
    const std::string_view keyName = trimmed(key);
    if (holdsLineBreakOrNul(section) || holdsLineBreakOrNul(key) || !storableSettingsValue(value)
        || sectionName.find(']') != std::string_view::npos || keyName.find('=') != std::string_view::npos
        || keyName.empty() || keyName.front() == ';' || keyName.front() == '[' || isUtf16(content)) {
        return {SettingsEdit::Refused, {}};
    }
    const KeyPlace place = findKey(content, sectionName, keyName);
    const std::string_view lineEnd = lineEndOf(content);
    const std::string entry = std::string(keyName) + "=" + valueText(value);
    std::string result;

    if (place.keyFound) {
        const Line& line = place.keyLine;
        if (place.key.hasValue && withoutQuotes(place.key.value) == value) {
            return {SettingsEdit::Unchanged, {}};
        }
        std::size_t keep; // bytes of the line kept before the new value
        std::string added;
        if (place.key.hasValue) {
            keep = place.key.equals + 1;
            while (keep < line.end && isBlank(content[keep])) {
                ++keep;
            }
        } else {
            keep = static_cast<std::size_t>(place.key.name.data() - content.data()) + place.key.name.size();
            added = "=";
        }
        added += valueText(value);
        result.reserve(content.size() + added.size());
        result.append(content.substr(0, keep)).append(added).append(content.substr(line.end));
    } else if (place.sectionFound) {
        const Line& after = place.lastLineOfSection;
        const bool lastLineUnended = after.next == after.end;
        result.reserve(content.size() + entry.size() + 2 * lineEnd.size());
        result.append(content.substr(0, after.next));
        if (lastLineUnended) {
            result.append(lineEnd);
        }
        result.append(entry).append(lineEnd).append(content.substr(after.next));
    } else {
        const std::size_t bom = content.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
        const bool lastLineUnended = content.size() > bom && content.back() != '\n' && content.back() != '\r';
        result.reserve(content.size() + sectionName.size() + entry.size() + 3 * lineEnd.size() + 2);
        result.append(content);
        if (lastLineUnended) {
            result.append(lineEnd);
        }
        result.append("[").append(sectionName).append("]").append(lineEnd).append(entry).append(lineEnd);
    }
    return {SettingsEdit::Changed, std::move(result)};
}

std::optional<std::int32_t> parseSettingsInteger(std::string_view text)
{
    std::string hexText;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hexText = "$";
        hexText += text.substr(2);
        text = hexText;
    }
    return parseInteger(text, IntegerDigits::DecimalOrDollarHex);
}

SettingsFile::SettingsFile(std::string path, SettingsStore& store)
    : m_path(std::move(path))
    , m_store(store)
{
}

const std::string& SettingsFile::path() const
{
    return m_path;
}

std::string SettingsFile::readString(std::string_view section, std::string_view key) const
{
    std::string content;
    if (m_store.readAll(m_path, content) != 0) {
        return {};
    }
    return readSettingsValue(content, section, key);
}

std::int32_t SettingsFile::readInteger(std::string_view section, std::string_view key, std::int32_t defaultValue) const
{
    return parseSettingsInteger(readString(section, key)).value_or(defaultValue);
}

void SettingsFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    std::string content;
    // A file that is there but cannot be read must not be replaced by one holding this key alone.
    if (const int error = m_store.readAll(m_path, content); error != 0 && error != ENOENT) {
        throw SettingsWriteError(m_path, error);
    }
    const SettingsEditResult result = storeSettingsValue(content, section, key, value);
    switch (result.edit) {
    case SettingsEdit::Unchanged:
        return;
    case SettingsEdit::Refused:
        throw SettingsWriteError(m_path, EINVAL);
    case SettingsEdit::Changed:
        break;
    }
    if (const int error = m_store.replace(m_path, result.content); error != 0) {
        throw SettingsWriteError(m_path, error);
    }
}

void SettingsFile::writeInteger(std::string_view section, std::string_view key, std::int32_t value)
{
    writeString(section, key, std::to_string(value));
}

namespace {

using enum Setting;

constexpr std::optional<std::int32_t> kNone = std::nullopt;

constexpr std::array kKeys{
    SettingKey{WindowLeft, "Window", "Left", SettingKind::Integer, kNone},
    SettingKey{WindowTop, "Window", "Top", SettingKind::Integer, kNone},
    SettingKey{DirectoryPath, "Directory", "Path", SettingKind::String, kNone},
    SettingKey{NameFilter1, "Name", "Filter1", SettingKind::String, kNone},
    SettingKey{NameFilter2, "Name", "Filter2", SettingKind::String, kNone},
    SettingKey{NameFilter3, "Name", "Filter3", SettingKind::String, kNone},
    SettingKey{NameFilter4, "Name", "Filter4", SettingKind::String, kNone},
    SettingKey{NameFString1, "Name", "FString1", SettingKind::String, kNone},
    SettingKey{NameFString2, "Name", "FString2", SettingKind::String, kNone},
    SettingKey{NameFString3, "Name", "FString3", SettingKind::String, kNone},
    SettingKey{NameFString4, "Name", "FString4", SettingKind::String, kNone},
    SettingKey{SettingFilter, "Setting", "Filter", SettingKind::Integer, 0},
    SettingKey{SaveDirPath, "SaveDir", "Path", SettingKind::String, kNone},
    SettingKey{SettingFile, "Setting", "File", SettingKind::Integer, 0},
    SettingKey{SettingPattern, "Setting", "Pattern", SettingKind::Integer, 0},
    SettingKey{SettingNumber1, "Setting", "Number1", SettingKind::Integer, 1},
    SettingKey{SettingNumber2, "Setting", "Number2", SettingKind::Integer, 3},
    SettingKey{NamePrev, "Name", "Prev", SettingKind::String, kNone},
    SettingKey{NameLast, "Name", "Last", SettingKind::String, kNone},
    SettingKey{SettingExt, "Setting", "Ext", SettingKind::Integer, 0},
    SettingKey{NameExt, "Name", "Ext", SettingKind::String, kNone},
    SettingKey{DialogShow, "Dialog", "Show", SettingKind::Integer, 1},
};

constexpr bool keysFollowTheEnumeration()
{
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (static_cast<std::size_t>(kKeys[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(keysFollowTheEnumeration(), "settingKey() indexes the table by the enumeration");

constexpr std::array kLoadOrder{WindowLeft,
                                WindowTop,
                                DirectoryPath,
                                NameFilter1,
                                NameFilter2,
                                NameFilter3,
                                NameFilter4,
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
                                DialogShow};

constexpr std::array kSaveOrder{DirectoryPath,
                                WindowLeft,
                                WindowTop,
                                SettingFilter,
                                SettingFile,
                                SaveDirPath,
                                SettingPattern,
                                NamePrev,
                                NameLast,
                                SettingNumber1,
                                SettingNumber2,
                                SettingExt,
                                NameExt};

constexpr std::array kResetOrder{SettingFilter,
                                 SettingFile,
                                 SaveDirPath,
                                 SettingPattern,
                                 NamePrev,
                                 NameLast,
                                 SettingNumber1,
                                 SettingNumber2,
                                 SettingExt,
                                 NameExt};

constexpr std::array kOptionsLoadOrder{NameFString1, NameFString2, NameFString3, NameFString4, DialogShow};

constexpr std::array kOptionsStoreOrder{NameFilter1,
                                        NameFString1,
                                        NameFilter2,
                                        NameFString2,
                                        NameFilter3,
                                        NameFString3,
                                        NameFilter4,
                                        NameFString4,
                                        DialogShow};

const SettingKey& keyOfKind(Setting id, SettingKind kind)
{
    const SettingKey& key = settingKey(id);
    if (key.kind != kind) {
        throw std::logic_error("settings key " + std::string(key.section) + "/" + std::string(key.key)
                               + " is read or written as the wrong kind");
    }
    return key;
}

std::int32_t fixedDefault(const SettingKey& key)
{
    if (!key.defaultNumber) {
        throw std::logic_error("settings key " + std::string(key.section) + "/" + std::string(key.key)
                               + " has no fixed default");
    }
    return *key.defaultNumber;
}

} // namespace

std::span<const SettingKey> settingKeys()
{
    return kKeys;
}

const SettingKey& settingKey(Setting id)
{
    return kKeys.at(static_cast<std::size_t>(id));
}

std::span<const Setting> settingsOrder(SettingsProcedure procedure)
{
    switch (procedure) {
    case SettingsProcedure::Load:
        return kLoadOrder;
    case SettingsProcedure::Save:
        return kSaveOrder;
    case SettingsProcedure::Reset:
        return kResetOrder;
    case SettingsProcedure::OptionsLoad:
        return kOptionsLoadOrder;
    case SettingsProcedure::OptionsStore:
        return kOptionsStoreOrder;
    }
    return {};
}

std::string readSetting(const SettingsFile& file, Setting id)
{
    const SettingKey& key = keyOfKind(id, SettingKind::String);
    return file.readString(key.section, key.key);
}

std::int32_t readIntegerSetting(const SettingsFile& file, Setting id)
{
    const SettingKey& key = keyOfKind(id, SettingKind::Integer);
    return file.readInteger(key.section, key.key, fixedDefault(key));
}

std::int32_t readIntegerSetting(const SettingsFile& file, Setting id, std::int32_t defaultValue)
{
    const SettingKey& key = keyOfKind(id, SettingKind::Integer);
    return file.readInteger(key.section, key.key, defaultValue);
}

void writeSetting(SettingsFile& file, Setting id, std::string_view value)
{
    const SettingKey& key = keyOfKind(id, SettingKind::String);
    file.writeString(key.section, key.key, value);
}

void writeIntegerSetting(SettingsFile& file, Setting id, std::int32_t value)
{
    const SettingKey& key = keyOfKind(id, SettingKind::Integer);
    file.writeInteger(key.section, key.key, value);
}

void writeDefaultSetting(SettingsFile& file, Setting id)
{
    const SettingKey& key = settingKey(id);
    if (key.kind == SettingKind::String) {
        file.writeString(key.section, key.key, "");
    } else {
        file.writeInteger(key.section, key.key, fixedDefault(key));
    }
}

} // namespace tallyfox
