#include "platform/file_times.h"
#include "tests/support/exif_files.h"
#include "tests/support/file_tree.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace tallyfox::platform {
namespace {

using tallyfox::testing::createFiles;
using tallyfox::testing::TempDir;
using namespace tallyfox::testing::exif;

const std::optional<LocalTime> kTaken = LocalTime{.seconds = 1620131696, .nanoseconds = 0}; // 2021-05-04 12:34:56

struct TakenCase
{
    std::string name;
    std::string content;
    std::optional<LocalTime> expected;
};

class DateTakenTest : public ::testing::TestWithParam<TakenCase>
{
};

TEST_P(DateTakenTest, ReadsTheDateOrNoneAndNeverFails)
{
    const TakenCase& row = GetParam();
    const TempDir dir;
    createFiles(dir.path(), {{"photo.jpg", row.content}});
    EXPECT_EQ(dateTaken(systemCalls(), dir.str() + "/photo.jpg"), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    FileTimes,
    DateTakenTest,
    ::testing::Values(
        TakenCase{"the original date",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56"))),
                  kTaken},
        TakenCase{"the original date with its fraction of a second",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}, {kSubSecOriginal, kAscii, 3, 0x00003532}},
                                 dateText("2021:05:04 12:34:56"))),
                  LocalTime{.seconds = 1620131696, .nanoseconds = 250000000}},
        TakenCase{"the date digitized when there is no original",
                  jpeg(exifBlock({{kDateDigitized, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56"))),
                  kTaken},
        TakenCase{"the original before the date digitized",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}, {kDateDigitized, kAscii, 20, kDataAt + 20}},
                                 dateText("2021:05:04 12:34:56") + dateText("2022:01:01 00:00:00"))),
                  kTaken},
        TakenCase{"the digitized date when the original is blank",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}, {kDateDigitized, kAscii, 20, kDataAt + 20}},
                                 dateText("    :  :     :  :  ") + dateText("2021:05:04 12:34:56"))),
                  kTaken},
        TakenCase{
            "a TIFF file", exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56")), kTaken},
        TakenCase{"a JPEG without Exif data", std::string("\xFF\xD8\xFF\xD9"), std::nullopt},
        TakenCase{"a file that is no picture", "just some text\n", std::nullopt},
        TakenCase{"an empty file", "", std::nullopt},
        TakenCase{"a date of the wrong type",
                  jpeg(exifBlock({{kDateOriginal, kShort, 10, kDataAt}}, dateText("2021:05:04 12:34:56"))),
                  std::nullopt},
        TakenCase{
            "the segment cut off before the date",
            jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56"))).substr(0, 50),
            std::nullopt},
        TakenCase{"a segment longer than the file",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56")), 0xFFFF),
                  std::nullopt},
        TakenCase{"a segment length too short to hold itself",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56")), 1),
                  std::nullopt},
        TakenCase{"a date whose size is oversized",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 0x7FFFFFFF, kDataAt}}, dateText("2021:05:04 12:34:56"))),
                  std::nullopt},
        TakenCase{"a date whose offset lies past the end",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, 0xFFFFFFF0}}, dateText("2021:05:04 12:34:56"))),
                  std::nullopt},
        TakenCase{"a directory claiming more entries than there are",
                  jpeg(tiffHeader() + directory(0xFFFF, {{kExifPointer, kLong, 1, kExifAt}}, 0)),
                  std::nullopt},
        TakenCase{"a directory whose next one is itself",
                  jpeg(tiffHeader() + directory(1, {{kExifPointer, kLong, 1, 8}}, 8)),
                  std::nullopt},
        TakenCase{"an Exif directory leading back to the first and to itself",
                  jpeg(exifBlock({{kExifPointer, kLong, 1, 8}, {kExifPointer, kLong, 1, kExifAt}}, "", kExifAt)),
                  std::nullopt},
        TakenCase{"the unknown date of zeros",
                  jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("0000:00:00 00:00:00"))),
                  std::nullopt}),
    TALLYFOX_ROW_NAMES);

class FileTimesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Modification times are read on the local clock; UTC makes the expected figures plain.
        const char* zone = std::getenv("TZ");
        m_zone = zone != nullptr ? std::optional<std::string>(zone) : std::nullopt;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_zone) {
            ::setenv("TZ", m_zone->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

    static void setModified(const std::string& path, std::int64_t seconds)
    {
        const struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }

private:
    std::optional<std::string> m_zone;
};

TEST_F(FileTimesTest, ReadsEachFilesTimesAndLeavesOutWhatCannotBeRead)
{
    const TempDir dir;
    createFiles(
        dir.path(),
        {{"photo.jpg", jpeg(exifBlock({{kDateOriginal, kAscii, 20, kDataAt}}, dateText("2021:05:04 12:34:56")))},
         {"broken.jpg", jpeg(tiffHeader() + directory(1, {{kExifPointer, kLong, 1, 8}}, 8))}});
    setModified(dir.str() + "/photo.jpg", 1000);
    setModified(dir.str() + "/broken.jpg", 2000);
    // A pipe where a file was is looked at, never waited on.
    ASSERT_EQ(::mkfifo((dir.str() + "/pipe.jpg").c_str(), 0600), 0);
    setModified(dir.str() + "/pipe.jpg", 3000);

    int longCalls = 0;
    const std::vector<FileTimes> times = readFileTimes(systemCalls(),
                                                       dir.str(),
                                                       {"photo.jpg", "broken.jpg", "gone.jpg", "pipe.jpg"},
                                                       FileTimesWanted::ModifiedAndTaken,
                                                       2,
                                                       [&longCalls] {
                                                           ++longCalls;
                                                       });
    ASSERT_EQ(times.size(), 4U);
    EXPECT_EQ(times[0].modified, (LocalTime{1000, 0}));
    EXPECT_EQ(times[0].taken, kTaken);
    EXPECT_EQ(times[1].modified, (LocalTime{2000, 0}));
    EXPECT_EQ(times[1].taken, std::nullopt);
    EXPECT_EQ(times[2].modified, std::nullopt);
    EXPECT_EQ(times[2].taken, std::nullopt);
    EXPECT_EQ(times[3].modified, (LocalTime{3000, 0}));
    EXPECT_EQ(times[3].taken, std::nullopt);
    EXPECT_EQ(longCalls, 1);

    // The order by modification time does not open the files.
    const std::vector<FileTimes> modified =
        readFileTimes(systemCalls(), dir.str(), {"photo.jpg"}, FileTimesWanted::Modified, 0, {});
    EXPECT_EQ(modified[0].modified, (LocalTime{1000, 0}));
    EXPECT_EQ(modified[0].taken, std::nullopt);
}

} // namespace
} // namespace tallyfox::platform
