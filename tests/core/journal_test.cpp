#include "core/journal.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tallyfox {
namespace {

Journal sample()
{
    Journal journal;
    journal.pid = 4242;
    journal.folder = std::string("/photos/\xff\xfe odd\nname", 19);
    journal.folderIdentity = {1, 2, 4096, 5};
    journal.operation = FileOperation::RenameMove;
    journal.saveFolder = "/save/";
    journal.add({"IMG_0001.JPG", "_001.JPG", "001.JPG", "001.JPG"}, {1, 10, 123, 1700000000123456789});
    journal.add({std::string("a\0b", 3), "_002", "002", "002"}, {1, 11, 0, 0}, {7, 99, 5, -6});
    // Known by its number alone, as a file of a run that keeps its files in their folder is.
    journal.add({"c", "_003", "003", "003"}, {1, 1ULL << 63, 0, FileIdentity::kContentUnknown});
    // Left in the folder, and saved under a name of its own.
    journal.add({"d", "_004", "004", ""}, {1, 12, 0, 0});
    journal.add({"e", "_005", "005", "saved-e"}, {1, 13, 0, 0});
    // A name longer than any a file system takes, as a damaged or foreign list might hold.
    journal.add({std::string(70000, 'f'), "_006", "006", "006"}, {1, 14, 0, 0});
    return journal;
}

// What reading makes of a journal's bytes, whole or damaged.
struct DecodeCase
{
    std::string name;
    std::function<std::string(std::string)> damage;
    JournalStatus status;
    std::vector<JournalMark> marks;
};

class JournalDecodeTest : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(JournalDecodeTest, readsWhatWasWrittenAndRecognisesDamage)
{
    const Journal written = sample();
    const std::string whole =
        encodeJournal(written) + encodeMark(JournalMark::TemporaryPassDone) + encodeMark(JournalMark::FinalPassDone);
    Journal read;
    EXPECT_EQ(decodeJournal(GetParam().damage(whole), read), GetParam().status);
    if (GetParam().status != JournalStatus::Ok) {
        return;
    }
    EXPECT_EQ(read.pid, written.pid);
    EXPECT_EQ(read.folder, written.folder);
    EXPECT_EQ(read.saveFolder, written.saveFolder);
    EXPECT_EQ(read.operation, written.operation);
    ASSERT_EQ(read.files.size(), written.files.size());
    EXPECT_EQ(read.files[1].old, std::string_view("a\0b", 3));
    EXPECT_EQ(read.files[2].target, "003");
    EXPECT_EQ(read.files[3].target, "");
    EXPECT_EQ(read.files[4].final, "005");
    EXPECT_EQ(read.files[4].target, "saved-e");
    EXPECT_EQ(read.files[5].old, std::string(70000, 'f'));
    EXPECT_EQ(read.files[5].target, "006");
    for (std::size_t i = 0; i < read.files.size(); ++i) {
        EXPECT_EQ(read.files[i].old, written.files[i].old);
        EXPECT_EQ(read.files[i].temporary, written.files[i].temporary);
        EXPECT_EQ(read.files[i].final, written.files[i].final);
        EXPECT_EQ(read.files[i].target, written.files[i].target);
        for (const auto which : {&Journal::identityOf, &Journal::atTargetOf}) {
            const FileIdentity& got = (read.*which)(i);
            const FileIdentity& wanted = (written.*which)(i);
            EXPECT_EQ(got.exists(), wanted.exists());
            if (wanted.exists()) {
                EXPECT_EQ(std::tie(got.device, got.inode, got.size, got.modifiedNs),
                          std::tie(wanted.device, wanted.inode, wanted.size, wanted.modifiedNs));
            }
        }
    }
    EXPECT_EQ(read.marks, GetParam().marks);
    // The marks alone, read from where the header says the body ends, are the same.
    const std::string damaged = GetParam().damage(whole);
    const std::optional<std::uint64_t> offset = journalMarksOffset(damaged.substr(0, kJournalHeaderBytes));
    ASSERT_TRUE(offset.has_value());
    EXPECT_EQ(decodeMarks(std::string_view(damaged).substr(*offset)), GetParam().marks);
}

const std::vector<JournalMark> kBothMarks = {JournalMark::TemporaryPassDone, JournalMark::FinalPassDone};

INSTANTIATE_TEST_SUITE_P(Bytes,
                         JournalDecodeTest,
                         ::testing::Values(DecodeCase{"whole",
                                                      [](std::string b) {
                                                          return b;
                                                      },
                                                      JournalStatus::Ok,
                                                      kBothMarks},
                                           DecodeCase{"last mark cut short",
                                                      [](std::string b) {
                                                          b.pop_back();
                                                          return b;
                                                      },
                                                      JournalStatus::Ok,
                                                      {JournalMark::TemporaryPassDone}},
                                           DecodeCase{"body cut short",
                                                      [](std::string b) {
                                                          return b.substr(0, 60);
                                                      },
                                                      JournalStatus::Torn,
                                                      {}},
                                           DecodeCase{"header cut short",
                                                      [](std::string b) {
                                                          return b.substr(0, 12);
                                                      },
                                                      JournalStatus::Torn,
                                                      {}},
                                           DecodeCase{"magic cut short",
                                                      [](std::string b) {
                                                          return b.substr(0, 3);
                                                      },
                                                      JournalStatus::Torn,
                                                      {}},
                                           DecodeCase{"empty",
                                                      [](std::string) {
                                                          return std::string();
                                                      },
                                                      JournalStatus::NotAJournal,
                                                      {}},
                                           DecodeCase{"a byte of a name changed",
                                                      [](std::string b) {
                                                          b[b.find("IMG_0001")] ^= 1;
                                                          return b;
                                                      },
                                                      JournalStatus::Torn,
                                                      {}},
                                           DecodeCase{"another version",
                                                      [](std::string b) {
                                                          b[8] = 9;
                                                          return b;
                                                      },
                                                      JournalStatus::OtherVersion,
                                                      {}},
                                           DecodeCase{"not a journal",
                                                      [](std::string) {
                                                          return std::string("[Settings]\nfolder=/tmp\n");
                                                      },
                                                      JournalStatus::NotAJournal,
                                                      {}}),
                         TALLYFOX_ROW_NAMES);

// Every length short of the whole body is recognised as torn, never read as a shorter journal.
TEST(JournalTest, everyCutOfTheBodyIsTorn)
{
    const std::string bytes = encodeJournal(sample());
    for (std::size_t size = 1; size < bytes.size(); ++size) {
        Journal read;
        ASSERT_EQ(decodeJournal(bytes.substr(0, size), read), JournalStatus::Torn) << size;
    }
}

// What the menu asks of each journal: the run's head from its first bytes, and a journal shorter than its
// header says is torn, wherever it was cut.
TEST(JournalTest, theHeadIsReadFromTheFirstBytesAndACutJournalIsTorn)
{
    const std::string bytes = encodeJournal(sample());
    const std::size_t files = bytes.find("IMG_0001.JPG") - 1;
    for (std::size_t size = 1; size < bytes.size(); ++size) {
        Journal head;
        ASSERT_EQ(decodeJournalHead(bytes.substr(0, size), size, head), JournalStatus::Torn) << size;
    }
    Journal head;
    ASSERT_EQ(decodeJournalHead(bytes.substr(0, files), bytes.size(), head), JournalStatus::Ok);
    const Journal whole = sample();
    EXPECT_EQ(head.folder, whole.folder);
    EXPECT_TRUE(head.folderIdentity.sameInode(whole.folderIdentity));
    EXPECT_EQ(head.saveFolder, whole.saveFolder);
    EXPECT_EQ(head.operation, whole.operation);
    EXPECT_TRUE(head.files.empty());
}

// A journal written in pieces, as a run of many files writes it, is the journal written whole, whatever the
// size of the pieces; and the checksum continued over pieces is the checksum of the whole.
TEST(JournalTest, aJournalInPiecesIsTheWholeJournal)
{
    Journal many = sample();
    for (int i = 0; i < 300; ++i) {
        const auto k = static_cast<std::size_t>(i % 3);
        many.add(many.files[k], many.identityOf(k), many.atTargetOf(k));
    }
    const std::string whole = encodeJournal(many);
    for (const std::size_t pieceBytes : {std::size_t{1}, std::size_t{7}, std::size_t{4096}}) {
        std::string joined;
        std::size_t pieces = 0;
        ASSERT_TRUE(encodeJournal(
            many,
            [&](std::string_view piece) {
                joined.append(piece);
                return ++pieces > 0;
            },
            pieceBytes));
        EXPECT_EQ(joined, whole) << pieceBytes;
        EXPECT_GT(pieces, pieceBytes < 4096 ? 300u : 1u) << pieceBytes;
    }
    EXPECT_EQ(crc32(std::string_view(whole).substr(100), crc32(std::string_view(whole).substr(0, 100))), crc32(whole));
    Journal read;
    ASSERT_EQ(decodeJournal(whole, read), JournalStatus::Ok);
    EXPECT_EQ(read.files.size(), many.files.size());
}

// Identities read back from the compact list as they were given, whatever came before them: numbers
// alone, with size and time, with birth, nothing there, another device, a time of change.
TEST(JournalTest, anIdentityListGivesBackEveryIdentityWhole)
{
    const FileIdentity numberOnly{.device = 8, .inode = 100, .size = 0, .modifiedNs = FileIdentity::kContentUnknown};
    const FileIdentity content{.device = 8, .inode = 101, .size = 4096, .modifiedNs = -7};
    const FileIdentity born{.device = 8, .inode = 102, .size = 0, .modifiedNs = 5, .bornNs = 1700};
    const FileIdentity otherDevice{.device = 9, .inode = 100, .size = 3, .modifiedNs = 4};
    const FileIdentity changed{.device = 8, .inode = 103, .size = 0, .modifiedNs = 9, .bornNs = 0, .changedNs = 77};
    const std::vector<std::vector<FileIdentity>> rows = {
        {numberOnly, numberOnly, {}},
        {{}, numberOnly, content, numberOnly},
        {numberOnly, born, content, {}},
        {numberOnly, otherDevice, numberOnly},
        {content, changed, numberOnly},
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        IdentityList list;
        for (const FileIdentity& identity : rows[row]) {
            list.push_back(identity);
        }
        ASSERT_EQ(list.size(), rows[row].size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            const FileIdentity got = list[i];
            const FileIdentity& wanted = rows[row][i];
            EXPECT_EQ(
                std::tie(got.device, got.inode, got.size, got.modifiedNs, got.bornNs, got.changedNs),
                std::tie(wanted.device, wanted.inode, wanted.size, wanted.modifiedNs, wanted.bornNs, wanted.changedNs))
                << "row " << row << ", identity " << i;
        }
    }
}

} // namespace
} // namespace tallyfox

// The check value of CRC-32, and lengths around the eight bytes folded in at a time.
TEST(JournalTest, theChecksumIsCrc32)
{
    EXPECT_EQ(tallyfox::crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(tallyfox::crc32(""), 0u);
    EXPECT_EQ(tallyfox::crc32("a"), 0xE8B7BE43u);
    EXPECT_EQ(tallyfox::crc32("12345678"), 0x9AE0DAAFu);
    EXPECT_EQ(tallyfox::crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}
