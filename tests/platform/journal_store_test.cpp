#include "core/journal.h"
#include "platform/identity_steps.h"
#include "platform/journal_store.h"
#include "platform/testing/faulty_syscalls.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallyfox::platform {
namespace {

namespace fs = std::filesystem;

// A run's journal as written, without marks.
const std::string kJournal = [] {
    Journal journal;
    journal.pid = 1;
    journal.folder = "/photos";
    journal.add({"a.jpg", "_a.jpg", "b.jpg", {}}, {});
    return encodeJournal(journal);
}();

// The header's field at `at` (four or eight bytes, least significant first) set to `value`.
std::string withField(std::string bytes, std::size_t at, std::size_t size, std::uint64_t value)
{
    for (std::size_t i = 0; i < size; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return bytes;
}

std::string number(std::uint64_t n)
{
    const std::string digits = std::to_string(n);
    return std::string(20 - digits.size(), '0') + digits;
}

std::string journalName(std::uint64_t n)
{
    return number(n) + "-7.journal";
}

class JournalStoreTest : public ::testing::Test
{
protected:
    void write(const std::string& name, const std::string& bytes)
    {
        std::ofstream(m_dir.path() / name, std::ios::binary) << bytes;
    }
    std::string bytesOf(const std::string& name)
    {
        std::ifstream in(m_dir.path() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The calls of the log that write, flush, lock, list or rename, in order.
    static std::vector<std::string> steps(const std::vector<std::string>& log)
    {
        std::vector<std::string> kept;
        std::copy_if(log.begin(), log.end(), std::back_inserter(kept), [](const std::string& call) {
            return call == "write" || call == "fsync" || call == "flock" || call == "opendir" || call == "renameat2"
                   || call == "unlinkat";
        });
        return kept;
    }

    tallyfox::testing::TempDir m_dir;
};

std::vector<std::uint64_t> range(std::uint64_t from, std::uint64_t to)
{
    std::vector<std::uint64_t> numbers;
    for (std::uint64_t n = from; n <= to; ++n) {
        numbers.push_back(n);
    }
    return numbers;
}

struct PruneCase
{
    std::string name;
    std::vector<std::uint64_t> before;     // the journals' numbers; settled runs but for those below
    std::vector<std::uint64_t> kept;       // of those before, oldest first
    std::uint64_t next;                    // the new journal's number
    std::vector<std::uint64_t> going = {}; // runs not ended
    std::vector<std::uint64_t> unreadable = {};
};

class PruneTest : public JournalStoreTest, public ::testing::WithParamInterface<PruneCase>
{
};

TEST_P(PruneTest, TheNewJournalComesLastAndOnlySettledOldRunsMakeRoom)
{
    const PruneCase& row = GetParam();
    const auto among = [](const std::vector<std::uint64_t>& numbers, std::uint64_t n) {
        return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
    };
    const JournalMark ends[] = {JournalMark::RunDone, JournalMark::Restored, JournalMark::Declined};
    for (const std::uint64_t n : row.before) {
        write(journalName(n),
              among(row.unreadable, n) ? withField(kJournal, 8, 4, kJournalVersion + 1)
              : among(row.going, n)    ? kJournal + encodeMark(JournalMark::TemporaryPassDone)
                                       : kJournal + encodeMark(ends[n % 3]));
    }
    JournalStore store(systemCalls(), m_dir.str());
    std::string name;
    int fd = -1;
    ASSERT_EQ(store.create(kJournal, name, fd), 0);
    ::close(fd);

    EXPECT_EQ(name, number(row.next) + "-" + std::to_string(::getpid()) + ".journal");
    std::vector<std::string> expected;
    for (const std::uint64_t n : row.kept) {
        expected.push_back(journalName(n));
    }
    expected.push_back(name);
    EXPECT_EQ(store.names(), expected);
}

constexpr std::uint64_t kYear2100 = 4102444800000000000; // a clock stamp in nanoseconds

INSTANTIATE_TEST_SUITE_P(
    Create,
    PruneTest,
    ::testing::Values(PruneCase{"journals stamped in the future",
                                range(kYear2100, kYear2100 + 10),
                                range(kYear2100 + 2, kYear2100 + 10),
                                kYear2100 + 11},
                      PruneCase{"twelve settled runs leave the ten newest journals", range(1, 12), range(4, 12), 13},
                      PruneCase{"runs not ended and unreadable journals stay however old",
                                range(1, 12),
                                {1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
                                13,
                                {1},
                                {3}},
                      PruneCase{"a gap and a clock stamp of an older version",
                                {7, 1700000000000000000},
                                {7, 1700000000000000000},
                                1700000000000000001}),
    TALLYFOX_ROW_NAMES);

TEST_F(JournalStoreTest, AJournalIsFlushedThenNamedUnderTheFolderLockThenItsFolderFlushed)
{
    const auto lockedElsewhere = [this] {
        const int fd = ::open(m_dir.str().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        ::close(fd);
        return locked;
    };
    FaultySyscalls calls;
    calls.before("opendir", 1, [&] {
        EXPECT_TRUE(lockedElsewhere()) << "as the names are read";
    });
    calls.before("renameat2", 1, [&] {
        EXPECT_TRUE(lockedElsewhere()) << "as the journal takes its name";
    });
    JournalStore store(calls, m_dir.str());
    std::string name;
    int fd = -1;
    ASSERT_EQ(store.create(kJournal, name, fd), 0);
    ::close(fd);
    EXPECT_EQ(
        steps(calls.log),
        (std::vector<std::string>{"write", "fsync", "flock", "opendir", "renameat2", "flock", "fsync", "opendir"}));

    calls.log.clear();
    ASSERT_EQ(store.append(name, encodeMark(JournalMark::RunDone)), 0);
    EXPECT_EQ(steps(calls.log), (std::vector<std::string>{"write", "fsync"}));
}

// Counts the bytes asked of the file: a journal refused is not read past its header.
class CountingCalls final : public Syscalls
{
public:
    ssize_t read(int fd, void* buffer, size_t count) override
    {
        asked += count;
        return Syscalls::read(fd, buffer, count);
    }
    ssize_t pread(int fd, void* buffer, size_t count, off_t offset) override
    {
        asked += count;
        return Syscalls::pread(fd, buffer, count, offset);
    }

    std::size_t asked = 0;
};

constexpr std::size_t kHeader = kJournalHeaderBytes;
const std::string kMarks = encodeMark(JournalMark::TemporaryPassDone) + encodeMark(JournalMark::RunDone);
const std::string kLong = kJournal + std::string(100000, 'x'); // a body a read can be caught in

struct ReadCase
{
    std::string name;
    std::string bytes;
    int error;
    JournalStatus status; // of what is read, when it is
    std::size_t mostAsked;
};

class ReadTest : public JournalStoreTest, public ::testing::WithParamInterface<ReadCase>
{
};

TEST_P(ReadTest, NeverReadsMoreThanAJournalNeeds)
{
    const ReadCase& row = GetParam();
    write(journalName(1), row.bytes);
    CountingCalls calls;
    std::string bytes;
    EXPECT_EQ(JournalStore(calls, m_dir.str()).read(journalName(1), bytes), row.error);
    EXPECT_LE(calls.asked, row.mostAsked);
    if (row.error != 0) {
        EXPECT_EQ(bytes, "");
        return;
    }
    Journal journal;
    EXPECT_EQ(decodeJournal(bytes, journal), row.status);
    EXPECT_EQ(bytes, row.bytes.substr(0, row.status == JournalStatus::Ok ? row.bytes.size() : kHeader));
}

using enum JournalStatus;

INSTANTIATE_TEST_SUITE_P(
    Read,
    ReadTest,
    ::testing::Values(
        ReadCase{"a journal and its marks", kJournal + kMarks, 0, Ok, kJournal.size() + kMarks.size()},
        ReadCase{"marks filling their room", kJournal + std::string(64, 'M'), 0, Ok, kJournal.size() + 64},
        ReadCase{"a byte past the marks' room", kJournal + kMarks + std::string(57, 'x'), EFBIG, {}, kHeader},
        ReadCase{"a header asking for 3 GiB", withField(kLong, 12, 8, 3ULL << 30), EFBIG, {}, kHeader},
        ReadCase{"another version", withField(kLong, 8, 4, kJournalVersion + 1), 0, OtherVersion, kHeader},
        ReadCase{"not a journal", std::string(100000, 'x'), 0, NotAJournal, kHeader},
        ReadCase{"cut short in its body", kJournal.substr(0, kJournal.size() - 7), 0, Torn, kHeader}),
    TALLYFOX_ROW_NAMES);

TEST_F(JournalStoreTest, SetAsideKeepsTheBytesUnderAFreeNameAndReplacesNothing)
{
    const std::string name = journalName(3);
    write(name, kJournal);
    write(name + ".broken", "set aside before");
    FaultySyscalls calls;
    JournalStore store(calls, m_dir.str());

    std::string kept;
    EXPECT_EQ(store.setAside(name, kept), 0);
    EXPECT_EQ(kept, name + ".broken.2");
    EXPECT_EQ(steps(calls.log), (std::vector<std::string>{"renameat2", "renameat2", "fsync"}));
    EXPECT_FALSE(fs::exists(m_dir.path() / name));
    EXPECT_EQ(bytesOf(name + ".broken"), "set aside before");
    EXPECT_EQ(bytesOf(name + ".broken.2"), kJournal);
    EXPECT_EQ(store.names(), std::vector<std::string>{});
}

// A journal still under its temporary name is a leftover only when the process writing it is gone: a
// command-line run may be writing one while the window starts.
TEST_F(JournalStoreTest, OnlyTheTemporaryJournalsOfProcessesGoneAreRemoved)
{
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    const std::string writing = ".journal." + std::to_string(::getpid()) + "-1.tmp";
    const std::string leftover = ".journal." + std::to_string(gone) + "-1.tmp";
    const std::string unnamed = ".journal.x-1.tmp";
    for (const std::string& name : {writing, leftover, unnamed}) {
        write(name, kJournal.substr(0, 10));
    }
    JournalStore(systemCalls(), m_dir.str()).removeUnnamed();
    EXPECT_TRUE(fs::exists(m_dir.path() / writing));
    EXPECT_FALSE(fs::exists(m_dir.path() / leftover));
    EXPECT_FALSE(fs::exists(m_dir.path() / unnamed));
}

// The plan of a large undo looks at its names side by side: each name is told as one look tells it,
// in the order asked, whether a file, a folder or nothing stands there.
TEST(RecoveryLooksTest, LooksSharedAmongThreadsTellWhatOneLookTells)
{
    tallyfox::testing::TempDir dir;
    constexpr std::size_t kFiles = 20000;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kFiles; ++i) {
        names.push_back(std::to_string(i) + (i % 7 == 0 ? ".missing" : ".jpg"));
        if (i % 7 != 0) {
            std::ofstream(dir.path() / names.back()) << i;
        }
    }
    fs::create_directory(dir.path() / "album");
    names.push_back("album");
    Journal journal;
    journal.folder = dir.path().string();
    journal.folderIdentity = identityAt(systemCalls(), AT_FDCWD, journal.folder.c_str());
    PosixRecoverySteps steps;
    ASSERT_TRUE(steps.open(journal));
    std::vector<std::pair<RunFolder, std::string_view>> asked;
    for (const std::string& name : names) {
        asked.emplace_back(RunFolder::Folder, name);
    }
    const std::vector<std::optional<FileIdentity>> seen = steps.lookAll(asked);
    ASSERT_EQ(seen.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::optional<FileIdentity> one = steps.look(RunFolder::Folder, names[i]);
        ASSERT_EQ(seen[i].has_value(), one.has_value()) << names[i];
        if (one) {
            EXPECT_TRUE(seen[i]->sameInode(*one) && seen[i]->bornNs == one->bornNs) << names[i];
        }
    }
}

} // namespace
} // namespace tallyfox::platform
