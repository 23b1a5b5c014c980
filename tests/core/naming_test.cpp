#include "core/errors.h"
#include "core/integer_text.h"
#include "core/naming.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <limits>

namespace tallyfox {
namespace {

struct NumberCase
{
    std::string name;
    std::int32_t digitCount;
    std::int64_t number;
    std::string expected;
};

class NumberTextTest : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(NumberTextTest, WritesTheNumberByTheDigitCount)
{
    const NumberCase& row = GetParam();
    EXPECT_EQ(NumberText(NumberFormat(row.digitCount), row.number), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Naming,
    NumberTextTest,
    ::testing::Values(NumberCase{"zero filled to three digits", 3, 7, "007"},
                      NumberCase{"more digits than the count are never cut", 3, 1000, "1000"},
                      NumberCase{"negative number zero filled after the sign", 3, -5, "-005"},
                      NumberCase{"one digit zero", 1, 0, "0"},
                      NumberCase{"one digit wider number", 1, 123, "123"},
                      NumberCase{"ten digits", 10, 5, "0000000005"},
                      NumberCase{"typed twelve digits", 12, 7, "000000000007"},
                      NumberCase{"precision zero still writes zero", 0, 0, "0"},
                      NumberCase{"precision zero no zeros", 0, 42, "42"},
                      NumberCase{"precision sixteen still fills", 16, 1, "0000000000000001"},
                      NumberCase{"precision seventeen gives no zeros", 17, 1, "1"},
                      NumberCase{"digit count typed as twenty gives no zeros", 20, 1, "1"},
                      NumberCase{"huge digit count gives no zeros", std::numeric_limits<std::int32_t>::max(), 9, "9"},
                      NumberCase{"numbers above the 32 bit range", 3, 2147483648LL, "2147483648"}),
    TALLYFOX_ROW_NAMES);

TEST(NumberFormatTest, IsPercentDotZeroCountD)
{
    EXPECT_EQ(NumberFormat(3), "%.03d");
    EXPECT_EQ(NumberFormat(10), "%.010d");
    EXPECT_EQ(NumberFormat(12), "%.012d");
    EXPECT_EQ(NumberFormat(-1), "%.0-1d");
}

TEST(NumberFormatTest, NegativeDigitCountIsAFormatErrorNamingThePieceUpToTheMisfit)
{
    for (const std::int32_t digitCount : {-1, -12, std::numeric_limits<std::int32_t>::min()}) {
        try {
            NumberText(NumberFormat(digitCount), 1);
            ADD_FAILURE() << "no error for digit count " << digitCount;
        } catch (const FormatError& error) {
            EXPECT_STREQ(error.what(), "書式文字列 '%.0-' は正しくないか引数の型と一致しません");
        }
    }
}

struct ExtensionCase
{
    std::string name;
    std::string fileName;
    CodePage codePage;
    std::string extension;
    std::string base;
};

class ExtensionTest : public ::testing::TestWithParam<ExtensionCase>
{
};

TEST_P(ExtensionTest, SplitsAtTheLastDot)
{
    const ExtensionCase& row = GetParam();
    EXPECT_EQ(extensionOf(row.fileName, row.codePage), row.extension);
    EXPECT_EQ(baseOf(row.fileName, row.codePage), row.base);
}

INSTANTIATE_TEST_SUITE_P(
    Naming,
    ExtensionTest,
    ::testing::Values(
        ExtensionCase{"plain", "photo.JPG", CodePage::Utf8, ".JPG", "photo"},
        ExtensionCase{"last dot only", "archive.tar.gz", CodePage::Utf8, ".gz", "archive.tar"},
        ExtensionCase{"trailing dot", "name.", CodePage::Utf8, ".", "name"},
        ExtensionCase{"leading only dot is all extension", ".profile", CodePage::Utf8, ".profile", ""},
        ExtensionCase{"no dot", "README", CodePage::Utf8, "", "README"},
        ExtensionCase{"utf8 katakana extension", "a.ソ", CodePage::Utf8, ".ソ", "a"},
        ExtensionCase{"utf8 name", "写真.jpeg", CodePage::Utf8, ".jpeg", "写真"},
        ExtensionCase{"dot in a folder part is no extension", "photos.2024/IMG", CodePage::Utf8, "", "photos.2024/IMG"},
        ExtensionCase{"shift jis so keeps its extension", "a.\x83\x5c", CodePage::ShiftJis, ".\x83\x5c", "a"},
        ExtensionCase{"shift jis lead byte before dot", "\x83\x5c.txt", CodePage::ShiftJis, ".txt", "\x83\x5c"},
        ExtensionCase{"invalid utf8 bytes", "\xff\xfe.jpg", CodePage::Utf8, ".jpg", "\xff\xfe"}),
    TALLYFOX_ROW_NAMES);

struct NewExtensionCase
{
    std::string name;
    std::string fileName;
    ExtensionMode mode;
    std::string given;
    std::string expected;
};

class NewExtensionTest : public ::testing::TestWithParam<NewExtensionCase>
{
};

TEST_P(NewExtensionTest, FollowsTheMode)
{
    const NewExtensionCase& row = GetParam();
    EXPECT_EQ(NewExtension(row.fileName, row.mode, row.given), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Naming,
    NewExtensionTest,
    ::testing::Values(
        NewExtensionCase{"keep", "photo.JpG", ExtensionMode::Keep, "x", ".JpG"},
        NewExtensionCase{"upper", "photo.jpeg", ExtensionMode::Upper, "", ".JPEG"},
        NewExtensionCase{"lower", "photo.JPG", ExtensionMode::Lower, "", ".jpg"},
        NewExtensionCase{"upper touches ascii letters only", "a.j\xc3\xa9g", ExtensionMode::Upper, "", ".J\xc3\xa9G"},
        NewExtensionCase{"lower leaves full width letters", "a.ＪＰＧx", ExtensionMode::Lower, "", ".ＪＰＧx"},
        NewExtensionCase{"upper without extension gives none", "README", ExtensionMode::Upper, "", ""},
        NewExtensionCase{"specified without dot", "a.jpg", ExtensionMode::Specified, "png", ".png"},
        NewExtensionCase{"specified with dot", "a.jpg", ExtensionMode::Specified, ".png", ".png"},
        NewExtensionCase{"specified empty gives the dot alone", "a.jpg", ExtensionMode::Specified, "", "."},
        NewExtensionCase{"specified blanks kept", "a.jpg", ExtensionMode::Specified, "  ", ".  "},
        NewExtensionCase{
            "specified keeps case and further dots", "a.jpg", ExtensionMode::Specified, "Tar.GZ", ".Tar.GZ"},
        NewExtensionCase{"specified for a name without extension", "README", ExtensionMode::Specified, "txt", ".txt"}),
    TALLYFOX_ROW_NAMES);

struct ComposeCase
{
    std::string name;
    std::string fileName;
    std::int64_t position;
    NamingSettings settings;
    std::string expected;
};

class ComposeNewNameTest : public ::testing::TestWithParam<ComposeCase>
{
};

TEST_P(ComposeNewNameTest, JoinsThePartsOfThePattern)
{
    const ComposeCase& row = GetParam();
    EXPECT_EQ(ComposeNewName(row.fileName, row.position, row.settings), row.expected);
}

NamingSettings pattern(NamePattern p, std::string before = {}, std::string after = {})
{
    NamingSettings s;
    s.pattern = p;
    s.textBefore = std::move(before);
    s.textAfter = std::move(after);
    return s;
}

NamingSettings with(NamingSettings s, std::int32_t start, std::int32_t digits)
{
    s.startNumber = start;
    s.digitCount = digits;
    return s;
}

NamingSettings withExtension(NamingSettings s, ExtensionMode mode, std::string given = {})
{
    s.extensionMode = mode;
    s.givenExtension = std::move(given);
    return s;
}

NamingSettings extensionOnly(ExtensionMode mode, std::string given = {})
{
    NamingSettings s = withExtension(pattern(NamePattern::NameNumberName, "x", "y"), mode, std::move(given));
    s.operation = FileOperation::ExtensionOnly;
    s.digitCount = -1; // never read for this operation
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Naming,
    ComposeNewNameTest,
    ::testing::Values(
        ComposeCase{"name number keeps extension",
                    "IMG_0001.JPG",
                    0,
                    pattern(NamePattern::NameNumber, "trip_"),
                    "trip_001.JPG"},
        ComposeCase{"name number lower",
                    "IMG_0001.JPG",
                    0,
                    withExtension(pattern(NamePattern::NameNumber, "trip_"), ExtensionMode::Lower),
                    "trip_001.jpg"},
        ComposeCase{"number name specified png",
                    "a.jpg",
                    0,
                    withExtension(pattern(NamePattern::NumberName, "", "-a"), ExtensionMode::Specified, "png"),
                    "001-a.png"},
        ComposeCase{"number name specified dot png",
                    "a.jpg",
                    0,
                    withExtension(pattern(NamePattern::NumberName, "", "-a"), ExtensionMode::Specified, ".png"),
                    "001-a.png"},
        ComposeCase{
            "number only ignores both texts", "a.jpg", 4, pattern(NamePattern::NumberOnly, "pre", "post"), "005.jpg"},
        ComposeCase{
            "name number ignores the text after", "a.jpg", 0, pattern(NamePattern::NameNumber, "p", "q"), "p001.jpg"},
        ComposeCase{"name number name", "a.jpg", 1, pattern(NamePattern::NameNumberName, "p", "q"), "p002q.jpg"},
        ComposeCase{"old base name is dropped", "holiday.png", 0, pattern(NamePattern::NumberOnly), "001.png"},
        ComposeCase{"no extension stays without", "README", 0, pattern(NamePattern::NumberOnly), "001"},
        ComposeCase{"start beyond the field bound counts on",
                    "a.jpg",
                    1,
                    with(pattern(NamePattern::NumberOnly), 99999, 3),
                    "100000.jpg"},
        ComposeCase{"start at the top of the 32 bit range counts on",
                    "a.jpg",
                    1,
                    with(pattern(NamePattern::NumberOnly), 2147483647, 3),
                    "2147483648.jpg"},
        ComposeCase{"typed negative start", "a.jpg", 0, with(pattern(NamePattern::NumberOnly), -5, 3), "-005.jpg"},
        ComposeCase{"texts taken as typed",
                    "a.jpg",
                    0,
                    pattern(NamePattern::NameNumberName, " a/b:", "*?\""),
                    " a/b:001*?\".jpg"},
        ComposeCase{"extension only upper", "Photo.jpeg", 7, extensionOnly(ExtensionMode::Upper), "Photo.JPEG"},
        ComposeCase{"extension only keep", "Photo.jpeg", 0, extensionOnly(ExtensionMode::Keep), "Photo.jpeg"},
        ComposeCase{
            "extension only specified", "README", 0, extensionOnly(ExtensionMode::Specified, "txt"), "README.txt"},
        ComposeCase{"extension only keeps the base of a dotted name",
                    "archive.tar.gz",
                    0,
                    extensionOnly(ExtensionMode::Specified, "bz2"),
                    "archive.tar.bz2"}),
    TALLYFOX_ROW_NAMES);

TEST(PreviewCaptionTest, DashForAnEmptyListElseFirstNameAndWaveDash)
{
    NamingSettings settings = with(pattern(NamePattern::NumberOnly), 1, 3);
    EXPECT_EQ(previewCaption(nullptr, settings), "-");
    settings.digitCount = -1;
    EXPECT_EQ(previewCaption(nullptr, settings), "-") << "an empty list composes nothing";

    const std::string first = "IMG_0001.JPG";
    settings.digitCount = 3;
    EXPECT_EQ(previewCaption(&first, settings), "001.JPG \xEF\xBD\x9E");
    settings.digitCount = -1;
    EXPECT_THROW(previewCaption(&first, settings), FormatError);
}

struct IntegerCase
{
    std::string name;
    std::string text;
    std::optional<std::int32_t> expected;
};

class DecimalIntegerTest : public ::testing::TestWithParam<IntegerCase>
{
};

TEST_P(DecimalIntegerTest, ReadsOnlyWholeDecimalIntegers)
{
    EXPECT_EQ(parseDecimalInteger(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Naming,
                         DecimalIntegerTest,
                         ::testing::Values(IntegerCase{"empty", "", std::nullopt},
                                           IntegerCase{"plus alone", "+", std::nullopt},
                                           IntegerCase{"minus alone", "-", std::nullopt},
                                           IntegerCase{"plain", "12", 12},
                                           IntegerCase{"signed", "-5", -5},
                                           IntegerCase{"plus sign", "+7", 7},
                                           IntegerCase{"leading blanks", "  7", 7},
                                           IntegerCase{"trailing blank", "7 ", std::nullopt},
                                           IntegerCase{"letters", "1a", std::nullopt},
                                           IntegerCase{"decimal separator", "1.5", std::nullopt},
                                           IntegerCase{"hexadecimal is not decimal", "0x10", std::nullopt},
                                           IntegerCase{"full width digits", "１２", std::nullopt},
                                           IntegerCase{"largest", "2147483647", 2147483647},
                                           IntegerCase{
                                               "smallest", "-2147483648", std::numeric_limits<std::int32_t>::min()},
                                           IntegerCase{"just too large", "2147483648", std::nullopt},
                                           IntegerCase{"far too large", "99999999999999999999", std::nullopt}),
                         TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
