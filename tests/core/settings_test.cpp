#include "core/errors.h"
#include "core/naming.h"
#include "core/settings.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <random>
#include <set>

namespace tallyfox {
namespace {

using namespace std::string_literals;

// ---- Reading ----

struct ReadCase
{
    std::string name;
    std::string content;
    std::string section;
    std::string key;
    std::string expected;
};

class ReadValueTest : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(ReadValueTest, FindsTheValue)
{
    const ReadCase& row = GetParam();
    EXPECT_EQ(readSettingsValue(row.content, row.section, row.key), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings,
    ReadValueTest,
    ::testing::Values(
        ReadCase{"section and key names ignore case", "[SeTTings]\r\nKeyA=1\r\n", "settings", "keya", "1"},
        ReadCase{"names asked with blanks around them", "[settings]\nkeya=1\n", "  settings ", " keya ", "1"},
        ReadCase{"blanks inside a section name count", "[my settings]\nk=1\n", "mysettings", "k", ""},
        ReadCase{"blanks inside a key name count", "[S]\nkey a=1\n", "S", "key a", "1"},
        ReadCase{"blanks around line name and value", "[S]\n\t KeyA  =  v a l \t\n", "S", "keya", "v a l"},
        ReadCase{"only the first equals sign splits", "[S]\nk=a=b\n", "S", "k", "a=b"},
        ReadCase{"a line without equals sign has no value", "[S]\nk\n", "S", "k", ""},
        ReadCase{"empty value", "[S]\nk=\nj=2\n", "S", "k", ""},
        ReadCase{"blanks inside brackets", "[ name ]\nk=v\n", "name", "k", "v"},
        ReadCase{"text after the last bracket", "[name] more]x\nk=v\n", "name] more", "k", "v"},
        ReadCase{"bracket without close is a key", "[S]\n[name\nk=v\n", "name", "k", ""},
        ReadCase{"bracket without close is read as a key", "[S]\n[x=1\n", "S", "[x", "1"},
        ReadCase{"no comments after a value", "[S]\nk=v ; note\n", "S", "k", "v ; note"},
        ReadCase{"a comment line never matches", "[S]\n;k=1\n  ; k=2\nk=3\n", "S", "k", "3"},
        ReadCase{"hash is an ordinary character", "[S]\n#k=1\n", "S", "#k", "1"},
        ReadCase{"first of duplicate keys", "[S]\nk=1\nK=2\n", "S", "k", "1"},
        ReadCase{"only the first of duplicate sections", "[S]\na=1\n[T]\n[s]\nb=2\n", "S", "b", ""},
        ReadCase{"first section copy wins", "[S]\nk=1\n[s]\nk=2\n", "s", "k", "1"},
        ReadCase{"keys before any section are out of reach", "k=0\n[S]\nj=1\n", "S", "k", ""},
        ReadCase{"empty section name", "k=0\n[]\nk=1\n", "", "k", "1"},
        ReadCase{"key in the next section is not found", "[A]\nx=1\n[B]\nk=2\n", "A", "k", ""},
        ReadCase{"carriage return and line feed", "[A]\r\nx=1\r\n[B]\r\ny=2\r\n", "B", "y", "2"},
        ReadCase{"line feed only", "[A]\nx=1\n[B]\ny=2\n", "B", "y", "2"},
        ReadCase{"carriage return only", "[A]\rx=1\r[B]\ry=2\r", "B", "y", "2"},
        ReadCase{"mixed line ends", "[A]\rx=1\n\r\n[B]\r\ny=2", "B", "y", "2"},
        ReadCase{"missing final line end", "[S]\nk=last", "S", "k", "last"},
        ReadCase{"blank lines", "\n\n[S]\n\n\nk=1\n\n", "S", "k", "1"},
        ReadCase{"double quotes", "[S]\nk=\"val2\"\n", "S", "k", "val2"},
        ReadCase{"single quotes", "[S]\nk='x'\n", "S", "k", "x"},
        ReadCase{"empty quotes", "[S]\nk=\"\"\n", "S", "k", ""},
        ReadCase{"opening quote alone", "[S]\nk=\"abc\n", "S", "k", "\"abc"},
        ReadCase{"closing quote alone", "[S]\nk=abc\"\n", "S", "k", "abc\""},
        ReadCase{"lone quote", "[S]\nk=\"\n", "S", "k", "\""},
        ReadCase{"quote inside quotes", "[S]\nk=\"a\"b\"\n", "S", "k", "a\"b"},
        ReadCase{"quotes keep edge blanks", "[S]\nk=\"  x  \"\n", "S", "k", "  x  "},
        ReadCase{"quotes of two kinds", "[S]\nk=\"x'\n", "S", "k", "\"x'"},
        ReadCase{"control z counts as a blank", "[S]\nk=v\x1A\n", "S", "k", "v"},
        ReadCase{"missing section", "[S]\nk=1\n", "T", "k", ""},
        ReadCase{"empty content", "", "S", "k", ""},
        ReadCase{"empty key name", "[S]\n=5\n", "S", "", ""},
        ReadCase{"byte order mark skipped", "\xEF\xBB\xBF[Settings]\r\nk=1\r\n", "settings", "k", "1"},
        ReadCase{"utf 16 reads as nothing", "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0001\0"s, "S", "k", ""},
        ReadCase{"nul bytes on other lines", "\0\0\n[S]\n\0junk\0\nk=v\n"s, "S", "k", "v"},
        ReadCase{"nul before a bracket makes no header", "\0[S]\nk=v\n"s, "S", "k", ""},
        ReadCase{"a value ends at its first nul", "[S]\nk=ab\0cd\n"s, "S", "k", "ab"},
        ReadCase{"shift jis bytes kept", "[S]\nk=\x83\x65\x83\x58\x83\x67\n", "S", "k", "\x83\x65\x83\x58\x83\x67"},
        ReadCase{"bracket without close before the section", "[[[[\n[S]\nk=1\n", "S", "k", "1"},
        ReadCase{"long value", "[S]\nk=" + std::string(3000, 'a') + "\n", "S", "k", std::string(2047, 'a')},
        ReadCase{"long quoted value", "[S]\nk=\"" + std::string(3000, 'a') + "\"\n", "S", "k", std::string(2047, 'a')},
        ReadCase{"value of 2046 bytes", "[S]\nk=" + std::string(2046, 'a'), "S", "k", std::string(2046, 'a')},
        ReadCase{"value of 2047 bytes", "[S]\nk=" + std::string(2047, 'a'), "S", "k", std::string(2047, 'a')},
        ReadCase{"value of 2048 bytes", "[S]\nk=" + std::string(2048, 'a'), "S", "k", std::string(2047, 'a')},
        ReadCase{"cut before a character that does not fit",
                 "[S]\nk=" + std::string(2046, 'a') + "\xC3\xA9",
                 "S",
                 "k",
                 std::string(2046, 'a')},
        ReadCase{"a character that just fits",
                 "[S]\nk=" + std::string(2045, 'a') + "\xC3\xA9",
                 "S",
                 "k",
                 std::string(2045, 'a') + "\xC3\xA9"}),
    TALLYFOX_ROW_NAMES);

// ---- Writing ----

enum class Expect
{
    Content,
    Unchanged,
    Refused,
};

struct WriteCase
{
    std::string name;
    std::string before;
    std::string section;
    std::string key;
    std::string value;
    Expect expect;
    std::string after;
};

class StoreValueTest : public ::testing::TestWithParam<WriteCase>
{
};

TEST_P(StoreValueTest, ChangesOnlyThatKey)
{
    const WriteCase& row = GetParam();
    const SettingsEditResult result = storeSettingsValue(row.before, row.section, row.key, row.value);
    switch (row.expect) {
    case Expect::Content:
        ASSERT_EQ(result.edit, SettingsEdit::Changed);
        EXPECT_EQ(result.content, row.after);
        EXPECT_EQ(readSettingsValue(result.content, row.section, row.key), row.value);
        break;
    case Expect::Unchanged:
        EXPECT_EQ(result.edit, SettingsEdit::Unchanged);
        break;
    case Expect::Refused:
        EXPECT_EQ(result.edit, SettingsEdit::Refused);
        break;
    }
}

const std::string kKeptLines = "; settings of the renamer\r\n"
                               "\r\n"
                               "[Window]\r\n"
                               "Left = 10   \r\n"
                               "  Top=20\r\n"
                               "Unknown=\"kept\"\r\n"
                               "; closing remark\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "Top=99\r\n"
                               "odd line\r\n";

INSTANTIATE_TEST_SUITE_P(
    Settings,
    StoreValueTest,
    ::testing::Values(
        WriteCase{"new file", "", "App", "key", "string", Expect::Content, "[App]\r\nkey=string\r\n"},
        WriteCase{"empty value is an empty value", "", "App", "key", "", Expect::Content, "[App]\r\nkey=\r\n"},
        WriteCase{"new key after the last entry of its section",
                  "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n",
                  "A",
                  "z",
                  "3",
                  Expect::Content,
                  "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
        WriteCase{"comment before the next section stays with it",
                  "[A]\nx=1\n; about B\n[B]\n",
                  "A",
                  "y",
                  "2",
                  Expect::Content,
                  "[A]\nx=1\ny=2\n; about B\n[B]\n"},
        WriteCase{"new key in a section without entries",
                  "[A]\n\n[B]\nk=1\n",
                  "A",
                  "k",
                  "v",
                  Expect::Content,
                  "[A]\nk=v\n\n[B]\nk=1\n"},
        WriteCase{"new section at the end without a blank line",
                  "[A]\r\nx=1\r\n",
                  "B",
                  "y",
                  "2",
                  Expect::Content,
                  "[A]\r\nx=1\r\n[B]\r\ny=2\r\n"},
        WriteCase{
            "line feed file gets line feeds", "[A]\nx=1\n", "B", "y", "2", Expect::Content, "[A]\nx=1\n[B]\ny=2\n"},
        WriteCase{"carriage return file gets carriage returns",
                  "[A]\rx=1\r",
                  "A",
                  "y",
                  "2",
                  Expect::Content,
                  "[A]\rx=1\ry=2\r"},
        WriteCase{"file without line end gets carriage return and line feed",
                  "[A]",
                  "A",
                  "y",
                  "2",
                  Expect::Content,
                  "[A]\r\ny=2\r\n"},
        WriteCase{"new section after a last line without line end",
                  "[A]\nx=1",
                  "B",
                  "y",
                  "2",
                  Expect::Content,
                  "[A]\nx=1\n[B]\ny=2\n"},
        WriteCase{"new key after a last line without line end",
                  "[A]\nx=1",
                  "A",
                  "y",
                  "2",
                  Expect::Content,
                  "[A]\nx=1\ny=2\n"},
        WriteCase{"existing key keeps its spelling and spacing",
                  "[a]\r\n  KEY = old ; x  \r\nz=1\r\n",
                  "A",
                  "key",
                  "new",
                  Expect::Content,
                  "[a]\r\n  KEY = new\r\nz=1\r\n"},
        WriteCase{"existing key set empty", "[A]\nk=old\n", "A", "k", "", Expect::Content, "[A]\nk=\n"},
        WriteCase{"key without equals sign gets one", "[A]\n k  \n", "A", "k", "v", Expect::Content, "[A]\n k=v\n"},
        WriteCase{"key without equals sign set empty", "[A]\nk\n", "A", "k", "", Expect::Content, "[A]\nk=\n"},
        WriteCase{"first of duplicate keys", "[A]\nk=1\nk=2\n", "A", "k", "9", Expect::Content, "[A]\nk=9\nk=2\n"},
        WriteCase{"first of duplicate sections",
                  "[A]\nx=1\n[B]\n[A]\nk=2\n",
                  "a",
                  "k",
                  "3",
                  Expect::Content,
                  "[A]\nx=1\nk=3\n[B]\n[A]\nk=2\n"},
        WriteCase{"keys before any section kept", "k=0\r\n", "S", "k", "1", Expect::Content, "k=0\r\n[S]\r\nk=1\r\n"},
        WriteCase{"comments unknown keys and blank lines kept",
                  kKeptLines,
                  "window",
                  "top",
                  "-5",
                  Expect::Content,
                  "; settings of the renamer\r\n\r\n[Window]\r\nLeft = 10   \r\n  Top=-5\r\nUnknown=\"kept\"\r\n"
                  "; closing remark\r\n\r\n[Other]\r\nTop=99\r\nodd line\r\n"},
        WriteCase{"new key among kept lines",
                  kKeptLines,
                  "Window",
                  "Width",
                  "7",
                  Expect::Content,
                  "; settings of the renamer\r\n\r\n[Window]\r\nLeft = 10   \r\n  Top=20\r\nUnknown=\"kept\"\r\n"
                  "Width=7\r\n; closing remark\r\n\r\n[Other]\r\nTop=99\r\nodd line\r\n"},
        WriteCase{"new section after kept lines",
                  kKeptLines,
                  "Dialog",
                  "Show",
                  "1",
                  Expect::Content,
                  kKeptLines + "[Dialog]\r\nShow=1\r\n"},
        WriteCase{"byte order mark kept",
                  "\xEF\xBB\xBF[A]\r\nx=1\r\n",
                  "A",
                  "x",
                  "2",
                  Expect::Content,
                  "\xEF\xBB\xBF[A]\r\nx=2\r\n"},
        WriteCase{
            "byte order mark alone", "\xEF\xBB\xBF", "A", "k", "v", Expect::Content, "\xEF\xBB\xBF[A]\r\nk=v\r\n"},
        WriteCase{"eight bit byte of another key kept",
                  "[A]\nx=\xC4\n",
                  "A",
                  "y",
                  "1",
                  Expect::Content,
                  "[A]\nx=\xC4\ny=1\n"},
        WriteCase{"nul bytes and garbage before the first section kept",
                  "\0\xFF junk\n[A]\nx=1\n"s,
                  "A",
                  "x",
                  "2",
                  Expect::Content,
                  "\0\xFF junk\n[A]\nx=2\n"s},
        WriteCase{"bracket without close stays an entry",
                  "[A]\n[oops\nx=1\n",
                  "A",
                  "x",
                  "2",
                  Expect::Content,
                  "[A]\n[oops\nx=2\n"},
        WriteCase{"section name written without blanks", "", " B ", " k ", "1", Expect::Content, "[B]\r\nk=1\r\n"},
        WriteCase{"value with edge blanks in quotes", "", "A", "k", "  x ", Expect::Content, "[A]\r\nk=\"  x \"\r\n"},
        WriteCase{"value in quotes quoted again", "", "A", "k", "\"q\"", Expect::Content, "[A]\r\nk=\"\"q\"\"\r\n"},
        WriteCase{"value with equals sign and semicolon", "", "A", "k", "a=b;c", Expect::Content, "[A]\r\nk=a=b;c\r\n"},
        WriteCase{"same value", "[A]\nk=v\n", "A", "k", "v", Expect::Unchanged, ""},
        WriteCase{"same value in quotes", "[A]\nk=\"v\"\n", "a", "K", "v", Expect::Unchanged, ""},
        WriteCase{"same value among blanks", "[A]\nk =  v  \n", "A", "k", "v", Expect::Unchanged, ""},
        WriteCase{"same long value",
                  "[A]\nk=" + std::string(3000, 'a'),
                  "A",
                  "k",
                  std::string(3000, 'a'),
                  Expect::Unchanged,
                  ""},
        WriteCase{"value with carriage return", "", "A", "k", "a\rb", Expect::Refused, ""},
        WriteCase{"value with line feed", "", "A", "k", "a\nb", Expect::Refused, ""},
        WriteCase{"value with nul", "", "A", "k", "a\0b"s, Expect::Refused, ""},
        WriteCase{"key with line feed", "", "A", "k\nj", "1", Expect::Refused, ""},
        WriteCase{"key with nul", "", "A", "k\0"s, "1", Expect::Refused, ""},
        WriteCase{"key with equals sign", "", "A", "k=j", "1", Expect::Refused, ""},
        WriteCase{"empty key", "", "A", " ", "1", Expect::Refused, ""},
        WriteCase{"key starting a comment", "", "A", ";k", "1", Expect::Refused, ""},
        WriteCase{"key starting with a bracket", "", "A", "[k", "1", Expect::Refused, ""},
        WriteCase{"section with closing bracket", "", "A]", "k", "1", Expect::Refused, ""},
        WriteCase{"section with carriage return", "", "A\r", "k", "1", Expect::Refused, ""},
        WriteCase{"utf 16 little endian", "\xFF\xFE[\0A\0]\0"s, "A", "k", "1", Expect::Refused, ""},
        WriteCase{"utf 16 big endian", "\xFE\xFF\0[\0A\0]"s, "A", "k", "1", Expect::Refused, ""}),
    TALLYFOX_ROW_NAMES);

TEST(StoreValueTest, EveryValueTheFileCanHoldReadsBackUnchanged)
{
    const std::vector<std::string> values{"",
                                          " a",
                                          "a ",
                                          "\t",
                                          "\"q\"",
                                          "'q'",
                                          "\"",
                                          "'",
                                          "\"\"",
                                          "\"a' ",
                                          "=",
                                          ";x",
                                          "[x]",
                                          "\x1A"
                                          "a",
                                          "\xE5\x86\x99\xE7\x9C\x9F",
                                          "\x83\x65\x83\x58\x83\x67",
                                          "C:/photos/2024 summer",
                                          std::string(2047, 'b'),
                                          " " + std::string(2045, 'b') + " "};
    for (const std::string before : {"", "[S]\r\nk=old\r\n", "[S]\nk\n"}) {
        for (const std::string& value : values) {
            const SettingsEditResult result = storeSettingsValue(before, "S", "k", value);
            const std::string content = result.edit == SettingsEdit::Unchanged ? before : result.content;
            EXPECT_EQ(readSettingsValue(content, "S", "k"), value) << "value [" << value << "] into [" << before << "]";
        }
    }
}

// Content made of pieces that mean something to the reader, mixed with noise.
std::string randomContent(std::mt19937& random)
{
    static const std::vector<std::string> pieces{
        "[A]", "[a]", "[B]",  "[ C ]", "[",  "]",    "k=", "K = 1", "j=2",  ";k=3",         "m",   "=", "\"", "'",
        " ",   "\t",  "\r\n", "\n",    "\r", "\r\n", "\n", "x",     "\xC4", "\xE5\x86\x99", "\x1A"};
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size());
    std::uniform_int_distribution<int> byte(0, 255);
    std::string content;
    for (int i = length(random); i > 0; --i) {
        const std::size_t p = piece(random);
        content += p < pieces.size() ? pieces[p] : std::string(1, static_cast<char>(byte(random)));
    }
    return content;
}

// The reading rules spelt out the slow way, line by line, as the oracle of the reader's shortcuts.
std::string referenceValue(std::string content, std::string_view section, std::string_view key)
{
    const auto blank = [](char c) {
        return (c >= 0x09 && c <= 0x0D) || c == ' ' || c == 0x1A;
    };
    const auto trim = [&](std::string_view t) {
        while (!t.empty() && blank(t.front())) {
            t.remove_prefix(1);
        }
        while (!t.empty() && blank(t.back())) {
            t.remove_suffix(1);
        }
        return t;
    };
    const auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
               });
    };
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.erase(0, 3);
    }
    std::vector<std::string_view> lines;
    std::string_view rest = content;
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\r\n");
        lines.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(end + (rest.substr(end, 2) == "\r\n" ? 2 : 1));
    }
    bool inSection = false;
    for (const std::string_view raw : lines) {
        const std::string_view line = trim(raw);
        const std::size_t close = line.rfind(']');
        if (!line.empty() && line.front() == '[' && close != std::string_view::npos) {
            if (inSection) {
                return {};
            }
            inSection = same(trim(line.substr(1, close - 1)), section);
        } else if (inSection && !line.empty() && line.front() != ';') {
            const std::size_t equals = line.find('=');
            if (same(trim(line.substr(0, equals)), key)) {
                if (equals == std::string_view::npos) {
                    return {};
                }
                std::string_view value = trim(line.substr(equals + 1));
                if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')
                    && value.back() == value.front()) {
                    value = value.substr(1, value.size() - 2);
                }
                return std::string(value.substr(0, value.find('\0')));
            }
        }
    }
    return {};
}

TEST(ReadValueTest, RandomFilesReadAsTheRulesSayLineByLine)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 5000; ++round) {
        const std::string content = randomContent(random);
        for (const char* section : {"A", "B", "C"}) {
            for (const char* key : {"k", "K", "j", "m"}) {
                ASSERT_EQ(readSettingsValue(content, section, key), referenceValue(content, section, key))
                    << "round " << round << ", " << section << "/" << key;
            }
        }
    }
}

TEST(StoreValueTest, RandomFilesKeepEveryOtherKeyAndEveryOtherLine)
{
    const std::vector<std::string> sections{"A", "B", "C", "D"};
    const std::vector<std::string> keys{"k", "j", "m", "n"};
    std::mt19937 random(20240517);
    for (int round = 0; round < 3000; ++round) {
        const std::string before = randomContent(random);
        const std::string& section = sections[round % sections.size()];
        const std::string& key = keys[(round / 4) % keys.size()];
        const std::string value = round % 5 == 0 ? "" : "v" + std::to_string(round);
        const SettingsEditResult result = storeSettingsValue(before, section, key, value);
        if (before.starts_with("\xFF\xFE") || before.starts_with("\xFE\xFF")) {
            EXPECT_EQ(result.edit, SettingsEdit::Refused);
            continue;
        }
        ASSERT_NE(result.edit, SettingsEdit::Refused) << round;
        const std::string after = result.edit == SettingsEdit::Changed ? result.content : before;
        ASSERT_EQ(readSettingsValue(after, section, key), value) << "round " << round;
        for (const std::string& s : sections) {
            for (const std::string& k : keys) {
                if (s != section || k != key) {
                    ASSERT_EQ(readSettingsValue(after, s, k), readSettingsValue(before, s, k))
                        << "round " << round << " " << s << "/" << k;
                }
            }
        }
        // Whatever changed lies within one line of the old content.
        std::size_t prefix = 0;
        while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
            ++prefix;
        }
        std::size_t suffix = 0;
        while (suffix < before.size() - prefix && suffix < after.size() - prefix
               && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
            ++suffix;
        }
        const std::string removed = before.substr(prefix, before.size() - prefix - suffix);
        ASSERT_EQ(removed.find_first_of("\r\n"), std::string::npos) << "round " << round;
    }
}

// ---- Integers ----

struct IntegerCase
{
    std::string name;
    std::string text;
    std::optional<std::int32_t> expected;
};

class SettingsIntegerTest : public ::testing::TestWithParam<IntegerCase>
{
};

TEST_P(SettingsIntegerTest, ReadsTheNumberOrNothing)
{
    EXPECT_EQ(parseSettingsInteger(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Settings,
                         SettingsIntegerTest,
                         ::testing::Values(IntegerCase{"decimal", "42", 42},
                                           IntegerCase{"leading zeros", "00012", 12},
                                           IntegerCase{"0x as hexadecimal", "0x0A", 10},
                                           IntegerCase{"0X as hexadecimal", "0X1f", 31},
                                           IntegerCase{"0x with one digit", "0x1", 1},
                                           IntegerCase{"0x alone", "0x", std::nullopt},
                                           IntegerCase{"dollar hexadecimal", "$1F", 31},
                                           IntegerCase{"dollar alone", "$", std::nullopt},
                                           IntegerCase{"negative hexadecimal", "-$10", -16},
                                           IntegerCase{"sign after 0x", "0x-5", std::nullopt},
                                           IntegerCase{"leading spaces and minus", " -7", -7},
                                           IntegerCase{"plus", "+3", 3},
                                           IntegerCase{"sign alone", "+", std::nullopt},
                                           IntegerCase{"blank after the sign", "- 7", std::nullopt},
                                           IntegerCase{"tab is not a leading blank", "\t7", std::nullopt},
                                           IntegerCase{"blanks before 0x", " 0x0A", std::nullopt},
                                           IntegerCase{"trailing blank", "7 ", std::nullopt},
                                           IntegerCase{"trailing letters", "12abc", std::nullopt},
                                           IntegerCase{"exponent", "1e3", std::nullopt},
                                           IntegerCase{"empty", "", std::nullopt},
                                           IntegerCase{"largest", "2147483647", 2147483647},
                                           IntegerCase{"one above the largest", "2147483648", std::nullopt},
                                           IntegerCase{"smallest", "-2147483648", -2147483647 - 1},
                                           IntegerCase{"one below the smallest", "-2147483649", std::nullopt},
                                           IntegerCase{"largest hexadecimal", "$7FFFFFFF", 2147483647},
                                           IntegerCase{"hexadecimal above the range", "0xFFFFFFFF", std::nullopt},
                                           IntegerCase{"smallest hexadecimal", "-$80000000", -2147483647 - 1},
                                           IntegerCase{"many digits", "99999999999999999999", std::nullopt}),
                         TALLYFOX_ROW_NAMES);

// ---- The file, through a store in memory ----

class MemoryStore final : public SettingsStore
{
public:
    std::map<std::string, std::string> files;
    int readError = 0;
    int failReplaceNumber = 0; // the n-th replace (from 1) fails with EIO
    int replaces = 0;

    int readAll(const std::string& path, std::string& content) override
    {
        if (readError != 0) {
            return readError;
        }
        const auto found = files.find(path);
        if (found == files.end()) {
            return ENOENT;
        }
        content = found->second;
        return 0;
    }

    int replace(const std::string& path, const std::string& content) override
    {
        if (++replaces == failReplaceNumber) {
            return EIO;
        }
        files[path] = content;
        return 0;
    }
};

const std::string kPath = "/opt/tallyfox/Tallyfox.ini";

TEST(SettingsFileTest, MissingFileReadsEmptyAndTheDefault)
{
    MemoryStore store;
    const SettingsFile file(kPath, store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    EXPECT_EQ(file.readInteger("Setting", "Number2", 3), 3);
}

TEST(SettingsFileTest, IntegersAreWrittenAsDecimalTextAndReadBack)
{
    MemoryStore store;
    SettingsFile file(kPath, store);
    file.writeInteger("Window", "Left", -5000);
    file.writeInteger("Setting", "Number1", 2147483647);
    EXPECT_EQ(store.files[kPath], "[Window]\r\nLeft=-5000\r\n[Setting]\r\nNumber1=2147483647\r\n");
    EXPECT_EQ(file.readInteger("Window", "Left", 0), -5000);
    EXPECT_EQ(file.readInteger("setting", "number1", 0), 2147483647);
}

TEST(SettingsFileTest, ValuesThatAreNotNumbersGiveTheDefault)
{
    MemoryStore store;
    store.files[kPath] = "[Setting]\nFile=seven\nNumber2=0x0A\nFilter=2147483648\n";
    const SettingsFile file(kPath, store);
    EXPECT_EQ(file.readInteger("Setting", "File", 0), 0);
    EXPECT_EQ(file.readInteger("Setting", "Number2", 3), 10);
    EXPECT_EQ(file.readInteger("Setting", "Filter", 0), 0);
}

TEST(SettingsFileTest, AnUnreadableFileReadsAsAbsentAndIsNeverWritten)
{
    MemoryStore store;
    store.files[kPath] = "[Name]\nPrev=a\n";
    store.readError = EIO;
    SettingsFile file(kPath, store);
    EXPECT_EQ(file.readString("Name", "Prev"), "");
    try {
        file.writeString("Name", "Last", "b");
        FAIL() << "no error";
    } catch (const SettingsWriteError& error) {
        EXPECT_EQ(error.error(), EIO);
    }
    EXPECT_EQ(store.replaces, 0);
}

TEST(SettingsFileTest, WritingTheValueAKeyHoldsWritesNothing)
{
    MemoryStore store;
    store.files[kPath] = "[Name]\r\nPrev=IMG_\r\n";
    SettingsFile file(kPath, store);
    file.writeString("Name", "Prev", "IMG_");
    EXPECT_EQ(store.replaces, 0);
}

TEST(SettingsFileTest, FailedWriteNamesTheFileByItsFullPath)
{
    MemoryStore store;
    store.failReplaceNumber = 1;
    SettingsFile file(kPath, store);
    try {
        file.writeString("Name", "Prev", "x");
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "/opt/tallyfox/Tallyfox.ini に書き込めません");
        ASSERT_NE(dynamic_cast<const SettingsWriteError*>(&error), nullptr);
        EXPECT_EQ(dynamic_cast<const SettingsWriteError&>(error).path(), kPath);
    }
}

TEST(SettingsFileTest, AValueTheFileCannotHoldIsAFailedWrite)
{
    MemoryStore store;
    SettingsFile file(kPath, store);
    try {
        file.writeString("Name", "Prev", "two\r\nlines");
        FAIL() << "no error";
    } catch (const SettingsWriteError& error) {
        EXPECT_EQ(error.error(), EINVAL);
    }
    EXPECT_EQ(store.replaces, 0);
    EXPECT_EQ(store.files.count(kPath), 0u);
}

TEST(SettingsFileTest, AProcedureStopsAtTheKeyThatFails)
{
    MemoryStore store;
    store.failReplaceNumber = 3;
    SettingsFile file(kPath, store);
    const auto save = [&] {
        for (const Setting id : settingsOrder(SettingsProcedure::Save)) {
            if (settingKey(id).kind == SettingKind::String) {
                writeSetting(file, id, "text");
            } else {
                writeIntegerSetting(file, id, 7);
            }
        }
    };
    EXPECT_THROW(save(), SettingsWriteError);
    // Directory/Path and Window/Left written, Window/Top failed, nothing after it tried.
    EXPECT_EQ(store.files[kPath], "[Directory]\r\nPath=text\r\n[Window]\r\nLeft=7\r\n");
    EXPECT_EQ(store.replaces, 3);
}

// ---- The program's keys ----

TEST(SettingKeysTest, EveryKeyIsNamedOnce)
{
    std::set<std::string> names;
    for (const SettingKey& key : settingKeys()) {
        std::string name = std::string(key.section) + "/" + std::string(key.key);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(names.insert(name).second) << name;
        EXPECT_EQ(&settingKey(key.id), &key);
        if (key.kind == SettingKind::String) {
            EXPECT_FALSE(key.defaultNumber) << name;
        }
    }
    EXPECT_EQ(names.size(), 22u);
}

TEST(SettingKeysTest, NoProcedureNamesAKeyTwice)
{
    for (const auto procedure : {SettingsProcedure::Load,
                                 SettingsProcedure::Save,
                                 SettingsProcedure::Reset,
                                 SettingsProcedure::OptionsLoad,
                                 SettingsProcedure::OptionsStore}) {
        std::set<Setting> seen;
        for (const Setting id : settingsOrder(procedure)) {
            EXPECT_TRUE(seen.insert(id).second) << settingKey(id).key;
        }
    }
}

TEST(SettingKeysTest, CloseAndResetLeaveTheOptionsAlone)
{
    std::set<Setting> options;
    for (const Setting id : settingsOrder(SettingsProcedure::OptionsStore)) {
        options.insert(id);
    }
    for (const Setting id : settingsOrder(SettingsProcedure::Save)) {
        EXPECT_EQ(options.count(id), 0u) << settingKey(id).key;
    }
    for (const Setting id : settingsOrder(SettingsProcedure::Reset)) {
        EXPECT_EQ(options.count(id), 0u) << settingKey(id).key;
        EXPECT_NE(settingKey(id).section, "Window");
        EXPECT_NE(settingKey(id).section, "Directory");
    }
}

TEST(SettingKeysTest, AfterAResetTheResetKeysReadAsOnAFirstStart)
{
    MemoryStore store;
    SettingsFile fresh("/fresh.ini", store);
    SettingsFile used(kPath, store);
    for (const SettingKey& key : settingKeys()) {
        if (key.kind == SettingKind::String) {
            writeSetting(used, key.id, "changed");
        } else {
            writeIntegerSetting(used, key.id, 42);
        }
    }
    for (const Setting id : settingsOrder(SettingsProcedure::Reset)) {
        writeDefaultSetting(used, id);
    }
    for (const Setting id : settingsOrder(SettingsProcedure::Reset)) {
        if (settingKey(id).kind == SettingKind::String) {
            EXPECT_EQ(readSetting(used, id), readSetting(fresh, id));
        } else {
            EXPECT_EQ(readIntegerSetting(used, id), readIntegerSetting(fresh, id));
        }
    }
    // What the reset leaves alone keeps its value.
    EXPECT_EQ(readIntegerSetting(used, Setting::DialogShow), 42);
    EXPECT_EQ(readSetting(used, Setting::DirectoryPath), "changed");
}

TEST(SettingKeysTest, FirstStartDefaults)
{
    MemoryStore store;
    const SettingsFile file(kPath, store);
    EXPECT_EQ(readIntegerSetting(file, Setting::SettingNumber1), 1);
    EXPECT_EQ(readIntegerSetting(file, Setting::SettingNumber2), 3);
    EXPECT_EQ(readIntegerSetting(file, Setting::DialogShow), 1);
    EXPECT_EQ(readIntegerSetting(file, Setting::WindowLeft, 123), 123);
}

TEST(SettingKeysTest, TheWindowPositionHasNoFixedDefault)
{
    MemoryStore store;
    SettingsFile file(kPath, store);
    EXPECT_THROW(readIntegerSetting(file, Setting::WindowTop), std::logic_error);
    EXPECT_THROW(writeDefaultSetting(file, Setting::WindowLeft), std::logic_error);
    EXPECT_THROW(readSetting(file, Setting::SettingFile), std::logic_error);
    EXPECT_THROW(writeIntegerSetting(file, Setting::NamePrev, 1), std::logic_error);
}

// ---- The name of a file beside the executable ----

struct BesideCase
{
    std::string name;
    std::string path;
    std::string extension;
    std::string expected;
};

class WithExtensionTest : public ::testing::TestWithParam<BesideCase>
{
};

TEST_P(WithExtensionTest, ReplacesTheExtensionOfTheFileName)
{
    EXPECT_EQ(withExtension(GetParam().path, GetParam().extension), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings,
    WithExtensionTest,
    ::testing::Values(
        BesideCase{"extension replaced", "/opt/tf/Tallyfox.exe", ".ini", "/opt/tf/Tallyfox.ini"},
        BesideCase{"name without a dot", "/usr/bin/tallyfox", ".ini", "/usr/bin/tallyfox.ini"},
        BesideCase{"dot in a folder only", "/opt/tf.d/tallyfox", ".ini", "/opt/tf.d/tallyfox.ini"},
        BesideCase{"several dots", "/opt/tally.fox.1.20", ".ini", "/opt/tally.fox.1.ini"},
        BesideCase{"name ending in a dot", "/opt/tallyfox.", ".ini", "/opt/tallyfox.ini"},
        BesideCase{"name starting with a dot", "/opt/.tallyfox", ".ini", "/opt/.ini"},
        BesideCase{"plain name", "Tallyfox.exe", ".hlp", "Tallyfox.hlp"},
        BesideCase{"multibyte name", "/opt/\xE5\x90\x8D\xE5\x89\x8D.bin", ".hlp", "/opt/\xE5\x90\x8D\xE5\x89\x8D.hlp"}),
    TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
