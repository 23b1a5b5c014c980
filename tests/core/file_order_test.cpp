#include "core/collation.h"
#include "core/file_list.h"
#include "core/file_order.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <optional>

namespace tallyfox {
namespace {

std::vector<std::string> inOrder(const std::vector<std::string>& names, const Reordering& order)
{
    std::vector<std::string> result;
    for (const std::size_t from : order) {
        result.push_back(names.at(from));
    }
    return result;
}

// The orders by name, in the root collation (the C locale's, and most locales' for Latin letters).
struct NameOrderCase
{
    std::string name;
    DigitOrder digits;
    std::vector<std::string> names;
    std::vector<std::string> expected;
};

class NameOrderTest : public ::testing::TestWithParam<NameOrderCase>
{
};

TEST_P(NameOrderTest, OrdersTheNames)
{
    const NameOrderCase& row = GetParam();
    const NameCollator collator("", row.digits);
    EXPECT_EQ(inOrder(row.names, orderByName(row.names, collator)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(FileOrder,
                         NameOrderTest,
                         ::testing::Values(NameOrderCase{"the list's own order compares digit by digit",
                                                         DigitOrder::ByCharacter,
                                                         {"IMG_2.jpg", "IMG_10.jpg", "IMG_1.jpg"},
                                                         {"IMG_1.jpg", "IMG_10.jpg", "IMG_2.jpg"}},
                                           NameOrderCase{"numbers by value",
                                                         DigitOrder::ByValue,
                                                         {"IMG_10.jpg", "IMG_2.jpg", "IMG_1.jpg"},
                                                         {"IMG_1.jpg", "IMG_2.jpg", "IMG_10.jpg"}},
                                           NameOrderCase{"leading zeros do not count",
                                                         DigitOrder::ByValue,
                                                         {"img0011.jpg", "img9.jpg", "img010.jpg"},
                                                         {"img9.jpg", "img010.jpg", "img0011.jpg"}},
                                           NameOrderCase{"equal numbers written with other zeros go by their bytes",
                                                         DigitOrder::ByValue,
                                                         {"img2.jpg", "img002.jpg", "img02.jpg"},
                                                         {"img002.jpg", "img02.jpg", "img2.jpg"}},
                                           NameOrderCase{"every number of a mixed name counts by value",
                                                         DigitOrder::ByValue,
                                                         {"a10b1.jpg", "a2b10.jpg", "a2b9.jpg"},
                                                         {"a2b9.jpg", "a2b10.jpg", "a10b1.jpg"}},
                                           NameOrderCase{"numbers come before letters",
                                                         DigitOrder::ByValue,
                                                         {"a.jpg", "10.jpg", "9.jpg"},
                                                         {"9.jpg", "10.jpg", "a.jpg"}},
                                           NameOrderCase{"case is ignored as in the list",
                                                         DigitOrder::ByValue,
                                                         {"B2.jpg", "a10.jpg", "A2.jpg"},
                                                         {"A2.jpg", "a10.jpg", "B2.jpg"}},
                                           NameOrderCase{
                                               "numbers longer than any machine word",
                                               DigitOrder::ByValue,
                                               {"n123456789012345678901234567890.jpg", "n99999999999999999999.jpg"},
                                               {"n99999999999999999999.jpg", "n123456789012345678901234567890.jpg"}},
                                           NameOrderCase{"full-width digits count by value too",
                                                         DigitOrder::ByValue,
                                                         {"写真１０.jpg", "写真２.jpg"},
                                                         {"写真２.jpg", "写真１０.jpg"}}),
                         TALLYFOX_ROW_NAMES);

LocalTime at(std::int64_t seconds, std::int32_t nanoseconds = 0)
{
    return LocalTime{.seconds = seconds, .nanoseconds = nanoseconds};
}

struct ExifDateCase
{
    std::string name;
    std::string text;
    std::string subSeconds;
    std::optional<LocalTime> expected;
};

class ExifDateTest : public ::testing::TestWithParam<ExifDateCase>
{
};

TEST_P(ExifDateTest, ReadsTheDateOrNothing)
{
    const ExifDateCase& row = GetParam();
    EXPECT_EQ(parseExifDateTime(row.text, row.subSeconds), row.expected) << row.text;
}

INSTANTIATE_TEST_SUITE_P(
    FileOrder,
    ExifDateTest,
    ::testing::Values(
        ExifDateCase{"a plain date", "2021:05:04 12:34:56", "", at(1620131696)},
        ExifDateCase{"with its fraction of a second", "2021:05:04 12:34:56", "123", at(1620131696, 123000000)},
        ExifDateCase{"a fraction padded with blanks", "2021:05:04 12:34:56", "5  ", at(1620131696, 500000000)},
        ExifDateCase{"a fraction that is not digits counts as none", "2021:05:04 12:34:56", "1x", at(1620131696)},
        ExifDateCase{"trailing blanks and a NUL", std::string("2021:05:04 12:34:56  \0", 22), "", at(1620131696)},
        ExifDateCase{"dashes in the date", "2021-05-04 12:34:56", "", at(1620131696)},
        ExifDateCase{"29 February of a leap year", "2024:02:29 00:00:00", "", at(1709164800)},
        ExifDateCase{"29 February of another year", "2023:02:29 00:00:00", "", std::nullopt},
        ExifDateCase{"the unknown date of zeros", "0000:00:00 00:00:00", "", std::nullopt},
        ExifDateCase{"the unknown date of blanks", "    :  :     :  :  ", "", std::nullopt},
        ExifDateCase{"an empty text", "", "", std::nullopt},
        ExifDateCase{"a date without a time", "2021:05:04", "", std::nullopt},
        ExifDateCase{"something after the time", "2021:05:04 12:34:56Z", "", std::nullopt},
        ExifDateCase{"a letter among the digits", "2021:0A:04 12:34:56", "", std::nullopt},
        ExifDateCase{"month 13", "2021:13:04 12:34:56", "", std::nullopt},
        ExifDateCase{"hour 24", "2021:05:04 24:00:00", "", std::nullopt},
        ExifDateCase{
            "numbers instead of text, as a tag of the wrong type reads", "2021 5 4 12 34 56", "", std::nullopt}),
    TALLYFOX_ROW_NAMES);

// The order by date taken: each file with its Exif date (or none: missing or broken) and its
// modification time (or none: the file could not be looked at).
struct TakenOrderCase
{
    std::string name;
    std::vector<std::string> names;
    std::vector<FileTimes> times;
    std::vector<std::string> expected;
};

class TakenOrderTest : public ::testing::TestWithParam<TakenOrderCase>
{
};

TEST_P(TakenOrderTest, OrdersByDateTakenElseModified)
{
    const TakenOrderCase& row = GetParam();
    const NameCollator collator("");
    std::vector<std::optional<LocalTime>> keys;
    for (const FileTimes& time : row.times) {
        keys.push_back(takenOrModified(time));
    }
    EXPECT_EQ(inOrder(row.names, orderByTime(row.names, keys, collator)), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileOrder,
    TakenOrderTest,
    ::testing::Values(TakenOrderCase{"the camera's counter does not count, the date does",
                                     {"IMG_0001.jpg", "IMG_0002.jpg", "IMG_9999.jpg"},
                                     {{at(50), at(300)}, {at(50), at(100)}, {at(50), at(200)}},
                                     {"IMG_0002.jpg", "IMG_9999.jpg", "IMG_0001.jpg"}},
                      TakenOrderCase{"equal dates keep the list's own order",
                                     {"c.jpg", "a.jpg", "B.jpg"},
                                     {{at(9), at(100)}, {at(1), at(100)}, {at(5), at(100)}},
                                     {"a.jpg", "B.jpg", "c.jpg"}},
                      TakenOrderCase{"a fraction of a second orders a burst",
                                     {"burst1.jpg", "burst2.jpg"},
                                     {{at(0), at(100, 700000000)}, {at(0), at(100, 200000000)}},
                                     {"burst2.jpg", "burst1.jpg"}},
                      TakenOrderCase{"a file without a date falls among the photos by its modification time",
                                     {"a.jpg", "b.png", "c.jpg"},
                                     {{at(999), at(100)}, {at(150), std::nullopt}, {at(1), at(200)}},
                                     {"a.jpg", "b.png", "c.jpg"}},
                      TakenOrderCase{"a file with neither time comes last",
                                     {"gone.jpg", "b.jpg", "a.jpg"},
                                     {{std::nullopt, std::nullopt}, {at(1), at(100)}, {at(2), std::nullopt}},
                                     {"a.jpg", "b.jpg", "gone.jpg"}},
                      TakenOrderCase{"files of the same modification time without dates keep name order",
                                     {"z.png", "y.png", "x.jpg"},
                                     {{at(7), std::nullopt}, {at(7), std::nullopt}, {at(0), at(7)}},
                                     {"x.jpg", "y.png", "z.png"}}),
    TALLYFOX_ROW_NAMES);

TEST(FileOrderTest, ReverseTurnsTheCurrentOrderRound)
{
    EXPECT_EQ(reverseOrder(4), (Reordering{3, 2, 1, 0}));
    EXPECT_EQ(reverseOrder(0), Reordering{});
}

// A reordering applied to the file list and its mirror, as a series of moves would.
struct ReorderCase
{
    std::string name;
    std::vector<std::string> mirror;
    int selected;
    Reordering order;
    std::vector<std::string> expectedList;
    std::vector<std::string> expectedMirror;
    int expectedSelection;
};

class ReorderTest : public ::testing::TestWithParam<ReorderCase>
{
};

TEST_P(ReorderTest, ReordersBothListsAndKeepsTheSelectedFile)
{
    const ReorderCase& row = GetParam();
    FileList list;
    list.entries = {"a", "b", "c", "d"};
    FileList mirror;
    mirror.entries = row.mirror;
    list.setItemIndex(row.selected);
    mirror.setItemIndex(row.selected);
    applyReordering(list, mirror, row.order);
    EXPECT_EQ(list.entries, row.expectedList);
    EXPECT_EQ(mirror.entries, row.expectedMirror);
    EXPECT_EQ(list.itemIndex(), row.expectedSelection);
    if (row.selected >= 0 && row.selected < mirror.count() && mirror.itemIndex() >= 0) {
        EXPECT_EQ(mirror.entries[static_cast<std::size_t>(mirror.itemIndex())],
                  row.mirror[static_cast<std::size_t>(row.selected)]);
    }
}

INSTANTIATE_TEST_SUITE_P(FileOrder,
                         ReorderTest,
                         ::testing::Values(ReorderCase{"the selection stays on its file",
                                                       {"a", "b", "c", "d"},
                                                       1,
                                                       {3, 2, 1, 0},
                                                       {"d", "c", "b", "a"},
                                                       {"d", "c", "b", "a"},
                                                       2},
                                           ReorderCase{"without a selection none is made",
                                                       {"a", "b", "c", "d"},
                                                       -1,
                                                       {1, 0, 3, 2},
                                                       {"b", "a", "d", "c"},
                                                       {"b", "a", "d", "c"},
                                                       -1},
                                           ReorderCase{"a shorter mirror reorders the positions it has",
                                                       {"a", "b"},
                                                       0,
                                                       {3, 1, 2, 0},
                                                       {"d", "b", "c", "a"},
                                                       {"b", "a"},
                                                       3},
                                           ReorderCase{"a longer mirror keeps its extra names last",
                                                       {"a", "b", "c", "d", "e"},
                                                       2,
                                                       {3, 2, 1, 0},
                                                       {"d", "c", "b", "a"},
                                                       {"d", "c", "b", "a", "e"},
                                                       1}),
                         TALLYFOX_ROW_NAMES);

// Dragging a file: the same as pressing the up or down button that many times.
struct MoveToCase
{
    std::string name;
    int selected;
    int to;
    bool moved;
    std::vector<std::string> expected;
};

class MoveToTest : public ::testing::TestWithParam<MoveToCase>
{
};

TEST_P(MoveToTest, MovesLikeTheButtonsInBothLists)
{
    const MoveToCase& row = GetParam();
    FileList list;
    list.entries = {"a", "b", "c", "d", "e"};
    FileList mirror;
    mirror.entries = list.entries;
    list.setItemIndex(row.selected);
    EXPECT_EQ(moveTo(list, mirror, row.to), row.moved);
    EXPECT_EQ(list.entries, row.expected);
    EXPECT_EQ(mirror.entries, row.expected);
    if (row.moved) {
        EXPECT_EQ(list.itemIndex(), row.to);
        EXPECT_EQ(mirror.itemIndex(), row.to);
    }
}

INSTANTIATE_TEST_SUITE_P(FileOrder,
                         MoveToTest,
                         ::testing::Values(MoveToCase{"down to the end", 1, 4, true, {"a", "c", "d", "e", "b"}},
                                           MoveToCase{"up to the top", 3, 0, true, {"d", "a", "b", "c", "e"}},
                                           MoveToCase{"onto its own place", 2, 2, false, {"a", "b", "c", "d", "e"}},
                                           MoveToCase{"past the end", 2, 5, false, {"a", "b", "c", "d", "e"}},
                                           MoveToCase{"without a selection", -1, 0, false, {"a", "b", "c", "d", "e"}}),
                         TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
