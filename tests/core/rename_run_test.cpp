#include "core/errors.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/journal_store.h"
#include "platform/testing/faulty_syscalls.h"
#include "tests/support/file_tree.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace tallyfox {
namespace {

using testing::contents;
using testing::createFiles;
using testing::FileTree;
using testing::readFiles;
using testing::RecordingHost;

class RenameRunTest : public ::testing::Test
{
protected:
    // Whatever a test did, no temporary file of a copy or move is left behind in either folder.
    void TearDown() override
    {
        for (const std::filesystem::path& folder : {source(), save()}) {
            if (!std::filesystem::exists(folder)) {
                continue;
            }
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
            }
        }
    }

    std::filesystem::path source() const
    {
        return m_root.path() / "photos";
    }
    std::filesystem::path save() const
    {
        return m_root.path() / "save";
    }

    // A run over the given names of the source folder with the given settings.
    RunRequest request(std::vector<std::string> names, NamingSettings naming = {})
    {
        RunRequest r;
        r.folder = source().string();
        r.names = std::move(names);
        r.naming = std::move(naming);
        r.saveFolder = save().string() + "/";
        r.confirmBeforeRun = 0;
        return r;
    }

    RunResult run(const RunRequest& r)
    {
        return runRename(r, m_host, m_files);
    }

    const std::string& lastBox() const
    {
        return m_host.boxes.back().first;
    }

    testing::TempDir m_root;
    platform::FaultySyscalls m_calls;
    platform::PosixFileOperations m_files{m_calls};
    RecordingHost m_host;
};

NamingSettings numbering(FileOperation operation = FileOperation::RenameOnly, std::int32_t digits = 3)
{
    NamingSettings n;
    n.operation = operation;
    n.digitCount = digits;
    return n;
}

NamingSettings extensionOnly(ExtensionMode mode, std::string given = {})
{
    NamingSettings n;
    n.operation = FileOperation::ExtensionOnly;
    n.extensionMode = mode;
    n.givenExtension = std::move(given);
    return n;
}

// The checks before a run: the first that holds shows its refusal and nothing else happens.
struct CheckCase
{
    std::string name;
    bool emptyList;
    FileOperation operation;
    ExtensionMode mode;
    std::string given;
    std::string saveFolder;
    std::string refusal;
};

class RunChecksTest : public RenameRunTest, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(RunChecksTest, RefusesWithItsMessageAndTouchesNothing)
{
    const CheckCase& row = GetParam();
    const FileTree files{{"a.jpg", "A"}};
    createFiles(source(), files);
    NamingSettings naming = numbering(row.operation);
    naming.extensionMode = row.mode;
    naming.givenExtension = row.given;
    RunRequest r = request(row.emptyList ? std::vector<std::string>{} : std::vector<std::string>{"a.jpg"}, naming);
    r.saveFolder = row.saveFolder;
    r.confirmBeforeRun = 1;

    const RunResult result = run(r);
    EXPECT_FALSE(result.started);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].first, row.refusal);
    EXPECT_EQ(m_host.boxes[0].second, RunBox::Report);
    EXPECT_TRUE(m_host.progress.empty()) << "the bar is not touched";
    EXPECT_EQ(m_host.relists, 0);
    EXPECT_EQ(readFiles(source()), files);
}

const std::string kEmpty = "リネームするファイルがありません。   ";
const std::string kNoCopy = "コピー用フォルダが設定されていません。   ";
const std::string kNoMove = "移動用フォルダが設定されていません。   ";
const std::string kNoExt = "拡張子が設定されていません。   ";
const std::string kInvalid = "設定が不正です。   ";

INSTANTIATE_TEST_SUITE_P(
    Run,
    RunChecksTest,
    ::testing::Values(
        CheckCase{"empty list", true, FileOperation::RenameCopy, ExtensionMode::Specified, "", "", kEmpty},
        CheckCase{"copy without save folder", false, FileOperation::RenameCopy, ExtensionMode::Keep, "", "", kNoCopy},
        CheckCase{"move without save folder", false, FileOperation::RenameMove, ExtensionMode::Keep, "", "", kNoMove},
        CheckCase{"move folder check before extension",
                  false,
                  FileOperation::RenameMove,
                  ExtensionMode::Specified,
                  "",
                  "",
                  kNoMove},
        CheckCase{"extension only without extension",
                  false,
                  FileOperation::ExtensionOnly,
                  ExtensionMode::Specified,
                  "",
                  "/s",
                  kNoExt},
        CheckCase{"extension only keeping the extension",
                  false,
                  FileOperation::ExtensionOnly,
                  ExtensionMode::Keep,
                  "",
                  "",
                  kInvalid},
        CheckCase{"given extension empty under rename",
                  false,
                  FileOperation::RenameOnly,
                  ExtensionMode::Specified,
                  "",
                  "",
                  kNoExt}),
    TALLYFOX_ROW_NAMES);

struct QuestionCase
{
    std::string name;
    NamingSettings naming;
    std::string question;
};

class RunQuestionTest : public RenameRunTest, public ::testing::WithParamInterface<QuestionCase>
{
};

TEST_P(RunQuestionTest, AsksWhenSwitchedOnAndCancelChangesNothing)
{
    const FileTree files{{"a.Jpg", "A"}, {"b.jpg", "B"}};
    createFiles(source(), files);
    createFiles(save(), {});
    RunRequest r = request({"a.Jpg", "b.jpg"}, GetParam().naming);
    r.confirmBeforeRun = 1;
    m_host.answers = {RunAnswer::Cancel};

    EXPECT_FALSE(run(r).started);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].first, GetParam().question);
    EXPECT_EQ(m_host.boxes[0].second, RunBox::Confirmation);
    EXPECT_TRUE(m_host.progress.empty());
    EXPECT_EQ(readFiles(source()), files);

    m_host.boxes.clear();
    m_host.answers = {RunAnswer::Ok};
    EXPECT_TRUE(run(r).started);
    EXPECT_EQ(m_host.boxes[0].first, GetParam().question);
    EXPECT_NE(readFiles(source()), files);
}

INSTANTIATE_TEST_SUITE_P(
    Run,
    RunQuestionTest,
    ::testing::Values(QuestionCase{"rename only", numbering(), "2枚のファイルをリネームします。よろしいですか？  "},
                      QuestionCase{"rename and copy",
                                   numbering(FileOperation::RenameCopy),
                                   "2枚のファイルをリネームした上でコピーします。よろしいですか？  "},
                      QuestionCase{"rename and move",
                                   numbering(FileOperation::RenameMove),
                                   "2枚のファイルをリネームした上で移動します。よろしいですか？  "},
                      QuestionCase{"upper case",
                                   extensionOnly(ExtensionMode::Upper),
                                   "ファイルの拡張子を大文字に変更します。よろしいですか？  "},
                      QuestionCase{"lower case",
                                   extensionOnly(ExtensionMode::Lower),
                                   "ファイルの拡張子を小文字に変更します。よろしいですか？  "},
                      QuestionCase{"given extension as typed",
                                   extensionOnly(ExtensionMode::Specified, ".Png"),
                                   "ファイルの拡張子を .Png に変更します。よろしいですか？  "}),
    TALLYFOX_ROW_NAMES);

TEST_F(RenameRunTest, OnlyASwitchOfExactlyOneAsks)
{
    createFiles(source(), {{"a.jpg", "A"}});
    for (const std::int32_t confirm : {0, 2, -1}) {
        RunRequest r = request({readFiles(source()).begin()->first});
        r.confirmBeforeRun = confirm;
        m_host.boxes.clear();
        run(r);
        ASSERT_EQ(m_host.boxes.size(), 1u) << confirm;
        EXPECT_EQ(m_host.boxes[0].first, "リネームが完了しました。    ");
    }
}

TEST_F(RenameRunTest, ReorderedNamesSwapThroughTemporaryNames)
{
    createFiles(source(), {{"001.jpg", "first"}, {"002.jpg", "second"}});
    const RunResult result = run(request({"002.jpg", "001.jpg"}));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "second"}, {"002.jpg", "first"}}));
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(lastBox(), "リネームが完了しました。    ");
    EXPECT_EQ(m_host.boxes.back().second, RunBox::Report);
    EXPECT_EQ(m_host.relists, 1);
    EXPECT_EQ(m_host.progress.back(), 0) << "the bar goes back to 0 after a rename";
    EXPECT_EQ(m_host.progress.size(), 102u) << "one sweep 0..100, then 0";
}

TEST_F(RenameRunTest, TwelveFilesWithOneDigitAreNumberedInTheOrderShown)
{
    FileTree files;
    std::vector<std::string> order;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "img" + std::string(1, static_cast<char>('a' + i)) + ".jpg";
        files[name] = "content " + std::to_string(i);
        order.push_back(name);
    }
    createFiles(source(), files);
    run(request(order, numbering(FileOperation::RenameOnly, 1)));
    FileTree expected;
    for (int i = 0; i < 12; ++i) {
        expected[std::to_string(i + 1) + ".jpg"] = "content " + std::to_string(i);
    }
    EXPECT_EQ(readFiles(source()), expected);
}

TEST_F(RenameRunTest, AFileWithoutExtensionIsNumberedAndNotLeftUnderItsTemporaryName)
{
    // Listed by the mask "*png" although it has no dot: its temporary name has no extension either.
    createFiles(source(), {{"a.png", "A"}, {"screenpng", "S"}});
    run(request({"a.png", "screenpng"}));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.png", "A"}, {"002", "S"}}));
}

TEST_F(RenameRunTest, TwoFilesThatWouldShareANewExtensionFirstWinsSecondIsReported)
{
    createFiles(source(), {{"a.jpg", "J"}, {"a.png", "P"}});
    const RunResult result = run(request({"a.jpg", "a.png"}, extensionOnly(ExtensionMode::Specified, "txt")));
    EXPECT_EQ(readFiles(source()), (FileTree{{"a.txt", "J"}, {"a.png", "P"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(lastBox(),
              "拡張子の変更が完了しました。    \r\n\r\n処理できなかったファイル： 1 件\r\n"
              "a.png → a.png：同じ名前のファイルが既にあります");
    EXPECT_EQ(m_host.boxes.back().second, RunBox::FailureReport);
    EXPECT_TRUE(result.records.empty()) << "changing extensions records nothing";
}

TEST_F(RenameRunTest, ExtensionCaseChangesKeepTheBaseNames)
{
    createFiles(source(), {{"photo.jpeg", "P"}, {"README", "R"}, {"SHOUT.JPG", "S"}});
    const RunResult result = run(request({"photo.jpeg", "README", "SHOUT.JPG"}, extensionOnly(ExtensionMode::Upper)));
    EXPECT_EQ(readFiles(source()), (FileTree{{"photo.JPEG", "P"}, {"README", "R"}, {"SHOUT.JPG", "S"}}));
    EXPECT_TRUE(result.failures.empty()) << "a name that stays the same is done, not failed";
}

TEST_F(RenameRunTest, AFinalNameHeldOutsideTheListLeavesThatFileUntouchedAndTheOtherBack)
{
    createFiles(source(), {{"a.jpg", "A"}, {"b.jpg", "B"}, {"002.jpg", "outsider"}});
    const RunResult result = run(request({"a.jpg", "b.jpg"}));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}, {"b.jpg", "B"}, {"002.jpg", "outsider"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].before, "b.jpg");
    EXPECT_EQ(result.failures[0].now, "b.jpg");
    EXPECT_EQ(result.records.all(), std::vector<std::string>{source().string() + "/001.jpg"});
}

TEST_F(RenameRunTest, AFileWhoseOldNameWasTakenMeanwhileStaysUnderItsTemporaryName)
{
    // b takes 001.jpg; the former 001.jpg cannot take 002.jpg (held outside the list) and cannot go back.
    createFiles(source(), {{"001.jpg", "X"}, {"b.jpg", "B"}, {"002.jpg", "outsider"}});
    const RunResult result = run(request({"b.jpg", "001.jpg"}));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "B"}, {"002.jpg", "outsider"}, {"_002.jpg", "X"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].before, "001.jpg");
    EXPECT_EQ(result.failures[0].now, "_002.jpg");
}

TEST_F(RenameRunTest, AFileThatHasGoneIsReportedAndNoOtherFileIsRenamedTwice)
{
    // 001.jpg was listed but is gone when the run starts; a.jpg takes its name and keeps it.
    createFiles(source(), {{"a.jpg", "A"}});
    const RunResult result = run(request({"a.jpg", "001.jpg"}));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].before, "001.jpg");
    EXPECT_EQ(result.failures[0].now, "-");
    EXPECT_EQ(result.failures[0].reason, "ファイルが見つかりません");
    EXPECT_EQ(result.records.all(), std::vector<std::string>{source().string() + "/001.jpg"});
}

TEST_F(RenameRunTest, AFinalNameFreedLaterInTheRunIsTakenAfterAll)
{
    // With "_1" before one digit, the first file's name _11.jpg is the eleventh file's temporary name
    // until that file moves on.
    FileTree files;
    std::vector<std::string> names;
    for (int i = 0; i < 11; ++i) {
        names.push_back("p" + std::string(1, static_cast<char>('a' + i)) + ".jpg");
        files[names.back()] = std::to_string(i);
    }
    createFiles(source(), files);
    NamingSettings naming = numbering(FileOperation::RenameOnly, 1);
    naming.pattern = NamePattern::NameNumber;
    naming.textBefore = "_1";
    const RunResult result = run(request(names, naming));
    EXPECT_TRUE(result.failures.empty());
    FileTree expected;
    for (int i = 0; i < 11; ++i) {
        expected["_1" + std::to_string(i + 1) + ".jpg"] = std::to_string(i);
    }
    EXPECT_EQ(readFiles(source()), expected);
}

TEST_F(RenameRunTest, ACaseChangeRefusedAsATakenNameGoesByAnotherName)
{
    // A folder that ignores letter case answers a case-only rename as a name already taken.
    createFiles(source(), {{"photo.jpeg", "P"}});
    m_calls.fail("renameat2", 1, EEXIST);
    const RunResult result = run(request({"photo.jpeg"}, extensionOnly(ExtensionMode::Upper)));
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(readFiles(source()), (FileTree{{"photo.JPEG", "P"}}));
}

TEST_F(RenameRunTest, ACaseChangeOntoAnotherFileOfThatNameLeavesBoth)
{
    createFiles(source(), {{"photo.jpeg", "lower"}, {"photo.JPEG", "upper"}});
    const RunResult result = run(request({"photo.jpeg"}, extensionOnly(ExtensionMode::Upper)));
    EXPECT_EQ(readFiles(source()), (FileTree{{"photo.jpeg", "lower"}, {"photo.JPEG", "upper"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].now, "photo.jpeg");
}

// In memory where the system has such a folder: a virtual machine's disk often says it spins, and
// files are then copied one at a time.
std::filesystem::path memoryFolder()
{
    const std::filesystem::path shm = "/dev/shm";
    return std::filesystem::is_directory(shm) && ::access(shm.c_str(), W_OK) == 0
               ? shm
               : std::filesystem::temp_directory_path();
}

// Copies and moves made on several threads, the run's outcomes taken in list order, give exactly what
// one file at a time gives (the fault seam keeps a run on one thread): the same questions in the same
// order, the same failures, the same files.
class TransferOnThreadsTest : public ::testing::TestWithParam<FileOperation>
{
protected:
    struct Outcome
    {
        std::vector<std::pair<std::string, RunBox>> boxes;
        std::vector<std::tuple<std::string, std::string, std::string>> failures;
        FileTree photos;
        FileTree save;
        std::vector<std::string> saveFolders;
    };

    Outcome runIn(const std::string& name, platform::Syscalls& calls)
    {
        const std::filesystem::path photos = m_root.path() / name / "photos";
        const std::filesystem::path save = m_root.path() / name / "save";
        FileTree files;
        std::vector<std::string> names;
        for (int i = 0; i < 120; ++i) {
            names.push_back("f" + std::to_string(1000 + i) + ".jpg");
            files[names.back()] = "photo " + std::to_string(i);
        }
        files["050.jpg"] = "outsider"; // holds the final name of the 50th file
        createFiles(photos, files);
        createFiles(save, {{"010.jpg", "old 10"}, {"020.jpg", "old 20"}, {"040.jpg", "old 40"}});
        std::filesystem::create_directory(save / "030.jpg");
        std::filesystem::permissions(save / "040.jpg", std::filesystem::perms::owner_read);

        RecordingHost host;
        host.answers = {RunAnswer::Ok, RunAnswer::Cancel, RunAnswer::Ok};
        RunRequest r;
        r.folder = photos.string();
        r.names = names;
        r.naming = numbering(GetParam());
        r.saveFolder = save.string() + "/";
        r.confirmBeforeRun = 0;
        platform::PosixFileOperations operations(calls);
        const RunResult result = runRename(r, host, operations);

        Outcome outcome{host.boxes, {}, readFiles(photos), {}, {}};
        for (const FileFailure& failure : result.failures) {
            outcome.failures.emplace_back(failure.before, failure.now, failure.reason);
        }
        std::filesystem::remove(save / "040.jpg");
        for (const auto& entry : std::filesystem::directory_iterator(save)) {
            if (entry.is_directory()) {
                outcome.saveFolders.push_back(entry.path().filename().string());
            }
        }
        std::filesystem::remove(save / "030.jpg");
        outcome.save = readFiles(save);
        return outcome;
    }

    testing::TempDir m_root{memoryFolder()};
};

TEST_P(TransferOnThreadsTest, givesWhatOneFileAtATimeGives)
{
    platform::PosixFileOperations probe;
    if (probe.helpers(m_root.str(), m_root.str()).empty()) {
        GTEST_SKIP() << "one file at a time here: a single processor, or no folder off a spinning disk";
    }
    platform::FaultySyscalls oneThread;
    const Outcome alone = runIn("alone", oneThread);
    const Outcome crew = runIn("crew", platform::systemCalls());
    EXPECT_EQ(crew.boxes, alone.boxes);
    EXPECT_EQ(crew.failures, alone.failures);
    EXPECT_EQ(crew.photos, alone.photos);
    EXPECT_EQ(crew.save, alone.save);
    EXPECT_EQ(crew.saveFolders, alone.saveFolders);
    // What the questions and failures must be, for both.
    ASSERT_EQ(alone.boxes.size(), 4u);
    EXPECT_EQ(alone.boxes[0].first, "010.jpgは既に存在します。上書きしますか？  ");
    EXPECT_EQ(alone.boxes[2].first, "040.jpgは既に存在します。上書きしますか？  ");
    EXPECT_EQ(alone.failures.size(), 3u); // 030 a folder, 040 read-only, the file held off 050
    EXPECT_EQ(alone.save.size(), 117u);
}

INSTANTIATE_TEST_SUITE_P(Transfers,
                         TransferOnThreadsTest,
                         ::testing::Values(FileOperation::RenameCopy, FileOperation::RenameMove),
                         [](const ::testing::TestParamInfo<FileOperation>& row) {
                             return row.param == FileOperation::RenameCopy ? "copy" : "move";
                         });

// The file system calls of a run, on its own thread and its helpers', numbered as they begin or end.
struct CallSequence
{
    std::mutex mutex;
    long next = 0;
    long lastRenameEnded = -1;
    long firstMoveBegun = LONG_MAX;
    int moves = 0;
    int movesByHelpers = 0;
};

class SequencedOperations final : public FileOperations
{
public:
    SequencedOperations(std::unique_ptr<FileOperations> inner, CallSequence& sequence, bool helper)
        : m_inner(std::move(inner))
        , m_sequence(sequence)
        , m_helper(helper)
    {
    }

    int renameInFolder(const std::string& folder, const std::string& from, const std::string& to) override
    {
        const int error = m_inner->renameInFolder(folder, from, to);
        const std::lock_guard<std::mutex> lock(m_sequence.mutex);
        m_sequence.lastRenameEnded = m_sequence.next++;
        return error;
    }
    int moveFile(const std::string& source, const std::string& target, bool replace) override
    {
        bool first = false;
        {
            const std::lock_guard<std::mutex> lock(m_sequence.mutex);
            first = m_sequence.moves++ == 0;
            m_sequence.firstMoveBegun = std::min(m_sequence.firstMoveBegun, m_sequence.next++);
            m_sequence.movesByHelpers += m_helper ? 1 : 0;
        }
        if (first && !m_helper) {
            // The run's own thread gives the helpers time to wake, so that they take part.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return m_inner->moveFile(source, target, replace);
    }
    bool fileExists(const std::string& path) override
    {
        return m_inner->fileExists(path);
    }
    bool sameFile(const std::string& a, const std::string& b) override
    {
        return m_inner->sameFile(a, b);
    }
    int copyFile(const std::string& source, const std::string& target, bool replace) override
    {
        return m_inner->copyFile(source, target, replace);
    }
    std::string sourceSetAsideAs() override
    {
        return m_inner->sourceSetAsideAs();
    }
    // The threads' calls are numbered in the same sequence.
    std::vector<std::unique_ptr<FileOperations>> helpers(const std::string& sourceFolder,
                                                         const std::string& saveFolder) override
    {
        std::vector<std::unique_ptr<FileOperations>> made = m_inner->helpers(sourceFolder, saveFolder);
        for (std::unique_ptr<FileOperations>& helper : made) {
            helper = std::make_unique<SequencedOperations>(std::move(helper), m_sequence, true);
        }
        return made;
    }

private:
    std::unique_ptr<FileOperations> m_inner;
    CallSequence& m_sequence;
    const bool m_helper;
};

// A moved file frees its name, which would change what the renames still to come do: whatever the
// threads' timing, moves begin only once every rename has ended, and give what one file at a time gives.
TEST(MovesAfterRenamesTest, noMoveBeginsBeforeTheLastRenameHasEnded)
{
    const testing::TempDir root(memoryFolder());
    platform::PosixFileOperations probe;
    if (probe.helpers(root.str(), root.str()).empty()) {
        GTEST_SKIP() << "one file at a time here: a single processor, or no folder off a spinning disk";
    }
    // Pairs swapped: every file goes by way of a temporary name or waits for one that does.
    constexpr int kFiles = 60;
    FileTree files;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        names.push_back(NumberText(NumberFormat(3), (i ^ 1) + 1) + ".jpg");
        files[names.back()] = "photo " + names.back();
    }
    const auto runIn = [&](const std::string& name, FileOperations& operations) {
        const std::filesystem::path photos = root.path() / name / "photos";
        const std::filesystem::path save = root.path() / name / "save";
        createFiles(photos, files);
        createFiles(save, {});
        RunRequest r;
        r.folder = photos.string();
        r.names = names;
        r.naming = numbering(FileOperation::RenameMove);
        r.saveFolder = save.string();
        r.confirmBeforeRun = 0;
        RecordingHost host;
        const RunResult result = runRename(r, host, operations);
        EXPECT_TRUE(result.failures.empty()) << name;
        return std::pair{readFiles(photos), readFiles(save)};
    };
    platform::FaultySyscalls oneThread;
    platform::PosixFileOperations aloneOperations(oneThread);
    const auto alone = runIn("alone", aloneOperations);
    ASSERT_EQ(alone.second.size(), std::size_t{kFiles});

    int movesByHelpers = 0;
    for (int run = 0; run < 20; ++run) {
        CallSequence sequence;
        SequencedOperations operations(std::make_unique<platform::PosixFileOperations>(), sequence, false);
        EXPECT_EQ(runIn("crew" + std::to_string(run), operations), alone) << "run " << run;
        EXPECT_EQ(sequence.moves, kFiles);
        EXPECT_GT(sequence.firstMoveBegun, sequence.lastRenameEnded) << "run " << run;
        movesByHelpers += sequence.movesByHelpers;
    }
    EXPECT_GT(movesByHelpers, 0) << "the helpers' threads moved nothing";
}

TEST_F(RenameRunTest, ASaveFolderThatIsTheFolderItselfAsksNothingAndLosesNothing)
{
    createFiles(source(), {{"a.jpg", "A"}, {"b.jpg", "B"}});
    for (const FileOperation operation : {FileOperation::RenameCopy, FileOperation::RenameMove}) {
        RunRequest r = request({readFiles(source()).begin()->first, std::next(readFiles(source()).begin())->first},
                               numbering(operation));
        r.saveFolder = source().string() + "/./";
        m_host.boxes.clear();
        const RunResult result = run(r);
        EXPECT_TRUE(result.failures.empty());
        EXPECT_EQ(m_host.boxes.size(), 1u) << "no overwrite question about the file itself";
        EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
    }
}

TEST_F(RenameRunTest, ARenamedFileThatVanishesBeforeItsCopyIsReportedAsGone)
{
    createFiles(source(), {{"a.jpg", "A"}});
    createFiles(save(), {});
    m_calls.before("fstatat", 1, [this] {
        std::filesystem::remove(source() / "001.jpg");
    });
    const RunResult result = run(request({"a.jpg"}, numbering(FileOperation::RenameCopy)));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].reason, "コピーできません：ファイルが見つかりません");
}

TEST_F(RenameRunTest, FailuresAreToldEvenWhenTheFolderCannotBeListedAfterwards)
{
    createFiles(source(), {{"a.jpg", "A"}, {"001.jpg", "outsider"}});
    m_host.folderGone = true;
    EXPECT_THROW(run(request({"a.jpg"})), std::runtime_error);
    ASSERT_EQ(m_host.boxes.size(), 1u);
    EXPECT_EQ(m_host.boxes[0].second, RunBox::FailureReport);
    EXPECT_NE(m_host.boxes[0].first.find("処理できなかったファイル： 1 件"), std::string::npos);
}

TEST_F(RenameRunTest, NewNamesThatAreNoFileNamesFailWithoutLeavingTheFolder)
{
    createFiles(source(), {{"a.jpg", "A"}});
    std::filesystem::create_directories(m_root.path() / "other");
    for (const std::string& before : {std::string("../other/"), std::string("x/y"), std::string(300, 'n')}) {
        NamingSettings naming = numbering();
        naming.pattern = NamePattern::NameNumber;
        naming.textBefore = before;
        const RunResult result = run(request({"a.jpg"}, naming));
        EXPECT_EQ(readFiles(source()), (FileTree{{"a.jpg", "A"}})) << before;
        EXPECT_TRUE(std::filesystem::is_empty(m_root.path() / "other"));
        ASSERT_EQ(result.failures.size(), 1u);
        EXPECT_EQ(result.failures[0].now, "a.jpg");
    }
}

TEST_F(RenameRunTest, NegativeDigitCountEndsTheRunBeforeAnyFileIsTouched)
{
    createFiles(source(), {{"a.jpg", "A"}});
    EXPECT_THROW(run(request({"a.jpg"}, numbering(FileOperation::RenameOnly, -1))), FormatError);
    EXPECT_EQ(readFiles(source()), (FileTree{{"a.jpg", "A"}}));
    EXPECT_EQ(m_host.relists, 0);
    EXPECT_EQ(m_calls.calls("renameat2"), 0);
    ASSERT_EQ(m_host.progress.size(), 101u) << "the bar sweeps to full before the error";
    EXPECT_EQ(m_host.progress.back(), 100);
}

TEST_F(RenameRunTest, AReadOnlyFolderChangesNothingAndReportsEveryFile)
{
    const FileTree files{{"a.jpg", "A"}, {"b.jpg", "B"}};
    createFiles(source(), files);
    m_calls.fail("renameat2", 1, EROFS, true);
    const RunResult result = run(request({"a.jpg", "b.jpg"}));
    EXPECT_EQ(readFiles(source()), files);
    EXPECT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(lastBox(),
              "リネームが完了しました。    \r\n\r\n処理できなかったファイル： 2 件\r\n"
              "a.jpg → a.jpg：書き込みできない場所です\r\nb.jpg → b.jpg：書き込みできない場所です");
}

TEST_F(RenameRunTest, AFailingFinalRenameGoesBackToTheOldName)
{
    createFiles(source(), {{"a.jpg", "A"}, {"b.jpg", "B"}});
    m_calls.fail("renameat2", 2, EIO); // the final rename of b, straight from its old name
    const RunResult result = run(request({"a.jpg", "b.jpg"}));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}, {"b.jpg", "B"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].reason, "入出力エラーです");
}

// The renames a numbering run makes: one per file where the new name is free or freed first by the
// file holding it, one more per cycle; and a name taken meanwhile sends its file the long way.
struct PlannedRunCase
{
    std::string name;
    FileTree before;
    std::vector<std::string> order;
    bool takeFirstNameMeanwhile;
    FileTree after;
    int renames;
    std::size_t failures;
};

class PlannedRunTest : public RenameRunTest, public ::testing::WithParamInterface<PlannedRunCase>
{
};

TEST_P(PlannedRunTest, renamesEachFileOnceWhereItCan)
{
    const PlannedRunCase& row = GetParam();
    createFiles(source(), row.before);
    if (row.takeFirstNameMeanwhile) {
        m_calls.before("renameat2", 1, [this] {
            createFiles(source(), {{"001.jpg", "outsider"}});
        });
    }
    const RunResult result = run(request(row.order, numbering()));
    EXPECT_EQ(readFiles(source()), row.after);
    EXPECT_EQ(m_calls.calls("renameat2"), row.renames);
    EXPECT_EQ(result.failures.size(), row.failures);
}

INSTANTIATE_TEST_SUITE_P(Choices,
                         PlannedRunTest,
                         ::testing::Values(PlannedRunCase{"freeNamesDirectly",
                                                          {{"b.jpg", "B"}, {"a.jpg", "A"}},
                                                          {"b.jpg", "a.jpg"},
                                                          false,
                                                          {{"001.jpg", "B"}, {"002.jpg", "A"}},
                                                          2,
                                                          0},
                                           PlannedRunCase{
                                               "aShiftByOneAsAChain",
                                               {{"001.jpg", "1"}, {"002.jpg", "2"}, {"003.jpg", "3"}, {"x.jpg", "x"}},
                                               {"x.jpg", "001.jpg", "002.jpg", "003.jpg"},
                                               false,
                                               {{"001.jpg", "x"}, {"002.jpg", "1"}, {"003.jpg", "2"}, {"004.jpg", "3"}},
                                               4,
                                               0},
                                           PlannedRunCase{"aSwapAsACycle",
                                                          {{"001.jpg", "1"}, {"002.jpg", "2"}},
                                                          {"002.jpg", "001.jpg"},
                                                          false,
                                                          {{"001.jpg", "2"}, {"002.jpg", "1"}},
                                                          3,
                                                          0},
                                           PlannedRunCase{"aNameTakenMeanwhileGoesByTheTemporaryNameAndBack",
                                                          {{"a.jpg", "A"}, {"b.jpg", "B"}},
                                                          {"a.jpg", "b.jpg"},
                                                          true,
                                                          {{"001.jpg", "outsider"}, {"002.jpg", "B"}, {"a.jpg", "A"}},
                                                          5,
                                                          1}),
                         [](const ::testing::TestParamInfo<PlannedRunCase>& info) {
                             return info.param.name;
                         });

// As many files as a name table of the plan holds before it doubles, and one more: a shift by one, where
// every new name but the last is another file's old name, takes one rename per file, with and without
// a journal.
class TableSizeTest : public RenameRunTest, public ::testing::WithParamInterface<std::tuple<int, bool>>
{
};

TEST_P(TableSizeTest, aShiftByOneRenamesEachFileOnceToItsNewName)
{
    const auto [count, journal] = GetParam();
    const std::string format = NumberFormat(4);
    FileTree files;
    FileTree expected;
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i) {
        names.push_back(NumberText(format, i) + ".jpg");
        files[names.back()] = "photo " + std::to_string(i);
        expected[NumberText(format, i + 1) + ".jpg"] = files[names.back()];
    }
    createFiles(source(), files);
    NamingSettings naming = numbering(FileOperation::RenameOnly, 4);
    naming.startNumber = 2;
    platform::FaultySyscalls journalCalls; // the journal's own renames are not counted with the files'
    platform::StoredRunRecord record(journalCalls, (m_root.path() / "journals").string());
    const RunResult result = runRename(request(names, naming), m_host, m_files, journal ? &record : nullptr);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.records.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(readFiles(source()), expected);
    EXPECT_EQ(m_calls.calls("renameat2"), count) << "every file found the one holding its new name";
    EXPECT_EQ(record.written(), journal);
}

INSTANTIATE_TEST_SUITE_P(Run,
                         TableSizeTest,
                         ::testing::Combine(::testing::Values(16, 17, 32, 33, 64, 65, 1024, 1025), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<int, bool>>& row) {
                             return std::to_string(std::get<0>(row.param)) + "files"
                                    + (std::get<1>(row.param) ? "_journal" : "");
                         });

TEST_F(RenameRunTest, ManyFailuresListTwentyAndThenAnEllipsis)
{
    std::vector<FileFailure> failures(25, FileFailure{"x", "x", "r"});
    const std::string text = completionMessage(FileOperation::RenameOnly, failures);
    EXPECT_NE(text.find("処理できなかったファイル： 25 件"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 20 + 1) << "blank line, header, twenty files, ellipsis";
    EXPECT_EQ(text.substr(text.size() - 5), "\r\n…");
}

struct TransferCase
{
    std::string name;
    FileOperation operation;
    RunAnswer answer;
    FileTree source;
    FileTree save;
};

class TransferTest : public RenameRunTest, public ::testing::WithParamInterface<TransferCase>
{
};

TEST_P(TransferTest, AnExistingTargetIsReplacedOnlyWhenTheUserAgrees)
{
    const TransferCase& row = GetParam();
    createFiles(source(), {{"a.jpg", "A"}, {"b.jpg", "B"}});
    createFiles(save(), {{"002.jpg", "old target"}});
    m_host.answers = {row.answer};
    const RunResult result = run(request({"a.jpg", "b.jpg"}, numbering(row.operation)));
    EXPECT_EQ(readFiles(source()), row.source);
    EXPECT_EQ(readFiles(save()), row.save);
    ASSERT_EQ(m_host.boxes.size(), 2u);
    EXPECT_EQ(m_host.boxes[0].first, "002.jpgは既に存在します。上書きしますか？  ");
    EXPECT_EQ(m_host.boxes[0].second, RunBox::Overwrite);
    EXPECT_TRUE(result.failures.empty()) << "keeping a file in the save folder is the user's choice";
    EXPECT_EQ(m_host.boxes[1].second, RunBox::Report);
    EXPECT_EQ(m_host.progress.back(), 0);
}

INSTANTIATE_TEST_SUITE_P(Run,
                         TransferTest,
                         ::testing::Values(TransferCase{"copy replaced",
                                                        FileOperation::RenameCopy,
                                                        RunAnswer::Ok,
                                                        {{"001.jpg", "A"}, {"002.jpg", "B"}},
                                                        {{"001.jpg", "A"}, {"002.jpg", "B"}}},
                                           TransferCase{"copy kept",
                                                        FileOperation::RenameCopy,
                                                        RunAnswer::Cancel,
                                                        {{"001.jpg", "A"}, {"002.jpg", "B"}},
                                                        {{"001.jpg", "A"}, {"002.jpg", "old target"}}},
                                           TransferCase{"move replaced",
                                                        FileOperation::RenameMove,
                                                        RunAnswer::Ok,
                                                        {},
                                                        {{"001.jpg", "A"}, {"002.jpg", "B"}}},
                                           TransferCase{"move kept",
                                                        FileOperation::RenameMove,
                                                        RunAnswer::Cancel,
                                                        {{"002.jpg", "B"}},
                                                        {{"001.jpg", "A"}, {"002.jpg", "old target"}}}),
                         TALLYFOX_ROW_NAMES);

TEST_F(RenameRunTest, AMissingSaveFolderFailsEveryTransferAndKeepsTheRenamedFiles)
{
    createFiles(source(), {{"a.jpg", "A"}, {"b.jpg", "B"}});
    RunRequest r = request({"a.jpg", "b.jpg"}, numbering(FileOperation::RenameMove));
    r.saveFolder = (m_root.path() / "missing").string();
    const RunResult result = run(r);
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}, {"002.jpg", "B"}}));
    ASSERT_EQ(result.failures.size(), 2u);
    EXPECT_EQ(result.failures[0].before, "a.jpg");
    EXPECT_EQ(result.failures[0].now, "001.jpg");
    EXPECT_EQ(result.failures[0].reason, "移動できません：保存フォルダが見つかりません");
    EXPECT_EQ(m_host.boxes.back().second, RunBox::FailureReport);
}

TEST_F(RenameRunTest, AFolderOfTheNewNameInTheSaveFolderIsNeverAskedAboutNorReplaced)
{
    createFiles(source(), {{"a.jpg", "A"}});
    std::filesystem::create_directories(save() / "001.jpg");
    const RunResult result = run(request({"a.jpg"}, numbering(FileOperation::RenameMove)));
    EXPECT_EQ(m_host.boxes.size(), 1u) << "no overwrite question";
    EXPECT_TRUE(std::filesystem::is_directory(save() / "001.jpg"));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}}));
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].reason, "移動できません：同じ名前のフォルダがあります");
}

TEST_F(RenameRunTest, AMoveToAnotherFileSystemCopiesThenRemovesTheSource)
{
    createFiles(source(), {{"a.jpg", "A"}});
    createFiles(save(), {});
    m_calls.fail("renameat2", 2, EXDEV); // the final name, then the move
    const RunResult result = run(request({"a.jpg"}, numbering(FileOperation::RenameMove)));
    EXPECT_TRUE(result.failures.empty());
    EXPECT_TRUE(readFiles(source()).empty());
    EXPECT_EQ(readFiles(save()), (FileTree{{"001.jpg", "A"}}));
}

// Each reason in the failure list says what happened to that file.
struct ReasonCase
{
    std::string name;
    FileOperation operation;
    std::vector<std::string> names;
    // Sets the folder up beyond a.jpg, and plans what the system's calls do.
    std::function<void(const std::filesystem::path& photos, platform::FaultySyscalls& calls)> setUp;
    FileFailure expected; // a name ending in "*" is matched by its start
};

class ReasonTest : public RenameRunTest, public ::testing::WithParamInterface<ReasonCase>
{
};

TEST_P(ReasonTest, SaysWhatHappenedToTheFile)
{
    const ReasonCase& row = GetParam();
    createFiles(source(), {{"a.jpg", "A"}});
    createFiles(save(), {});
    row.setUp(source(), m_calls);
    const RunResult result = run(request(row.names, numbering(row.operation)));
    ASSERT_EQ(result.failures.size(), 1u);
    const FileFailure& failure = result.failures[0];
    EXPECT_EQ(failure.before, row.expected.before);
    EXPECT_EQ(failure.reason, row.expected.reason);
    if (row.expected.now.ends_with("*")) {
        EXPECT_TRUE(failure.now.starts_with(row.expected.now.substr(0, row.expected.now.size() - 1))) << failure.now;
        EXPECT_EQ(readFiles(source()).at(failure.now), "A") << "the file is under the name the list gives";
        std::filesystem::remove(source() / failure.now); // a leftover for the recovery, not for this test
    } else {
        EXPECT_EQ(failure.now, row.expected.now);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Run,
    ReasonTest,
    ::testing::Values(
        ReasonCase{"a listed link whose file the run renamed",
                   FileOperation::RenameCopy,
                   {"a.jpg", "link.jpg"},
                   [](const std::filesystem::path& photos, platform::FaultySyscalls&) {
                       std::filesystem::create_symlink("a.jpg", photos / "link.jpg");
                   },
                   {"link.jpg", "002.jpg", "コピーできません：リンク先のファイルが見つかりません"}},
        ReasonCase{
            "a link moved to another file system",
            FileOperation::RenameMove,
            {"link.jpg"},
            [](const std::filesystem::path& photos, platform::FaultySyscalls& calls) {
                std::filesystem::create_symlink("a.jpg", photos / "link.jpg");
                calls.fail("renameat2", 2, EXDEV); // the final name, then the move
            },
            {"link.jpg", "001.jpg", "移動できません：リンクなど、別のドライブへは移動できない種類のファイルです"}},
        ReasonCase{"a moved file whose name another file took while it was copied",
                   FileOperation::RenameMove,
                   {"a.jpg"},
                   [](const std::filesystem::path& photos, platform::FaultySyscalls& calls) {
                       calls.fail("renameat2", 2, EXDEV); // the final name, then the move
                       calls.before("fsync", 1, [photos] {
                           createFiles(photos, {{"001.jpg", "saved meanwhile"}});
                       });
                       calls.fail("fsync", 1, EIO);
                   },
                   {"a.jpg",
                    ".tallyfox.*",
                    "移動できません：入出力エラーです（元の名前に戻せないため、この名前で残っています）"}}),
    TALLYFOX_ROW_NAMES);

TEST(FailureReasonTest, NoNumberIsShownWhereAPlainReasonExists)
{
    for (const int error : {EXDEV,
                            ENOTDIR,
                            ELOOP,
                            EMLINK,
                            EFBIG,
                            EOVERFLOW,
                            EMFILE,
                            ENFILE,
                            ENOMEM,
                            EAGAIN,
                            EOPNOTSUPP,
                            ENOSYS,
                            ESTALE,
                            ETIMEDOUT,
                            ENOTCONN,
                            ENXIO,
                            ENODEV,
                            int{LinkLeadsNowhere}}) {
        EXPECT_EQ(failureReason(error).find("エラー ("), std::string::npos) << strerrorname_np(error);
    }
    EXPECT_EQ(failureReason(EBADF), "エラー (" + std::to_string(EBADF) + ")")
        << "a fault of the program keeps its number";
}

TEST_F(RenameRunTest, AnUnreadableFileIsReportedAndNothingIsLeftInTheSaveFolder)
{
    createFiles(source(), {{"a.jpg", "A"}});
    createFiles(save(), {});
    // From the look for an existing target on, no file can be opened: the renamed file has become unreadable.
    m_calls.before("fstatat", 1, [this] {
        m_calls.fail("openat", m_calls.calls("openat") + 1, EACCES, true);
    });
    const RunResult result = run(request({"a.jpg"}, numbering(FileOperation::RenameCopy)));
    EXPECT_EQ(readFiles(source()), (FileTree{{"001.jpg", "A"}}));
    EXPECT_TRUE(readFiles(save()).empty());
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].reason, "コピーできません：アクセスが拒否されました");
}

TEST_F(RenameRunTest, ACopyThatFailsHalfWayLeavesTheOldTargetWhole)
{
    const std::string big(3 * platform::PosixFileOperations::kCopyChunkBytes, 'x');
    createFiles(source(), {{"a.jpg", big}});
    createFiles(save(), {{"001.jpg", "old target"}});
    m_calls.fail("copy_file_range", 2, ENOSPC, true);
    m_calls.fail("write", 2, ENOSPC, true);
    const RunResult result = run(request({"a.jpg"}, numbering(FileOperation::RenameCopy)));
    EXPECT_EQ(readFiles(save()), (FileTree{{"001.jpg", "old target"}}));
    EXPECT_TRUE(readFiles(source()).at("001.jpg") == big);
    ASSERT_EQ(result.failures.size(), 1u);
    EXPECT_EQ(result.failures[0].reason, "コピーできません：ディスクがいっぱいです");
}

TEST_F(RenameRunTest, NoFileIsLostAndTheBarSweepsForEveryTransfer)
{
    FileTree files;
    std::vector<std::string> names;
    for (int i = 0; i < 30; ++i) {
        const std::string name = "p" + std::to_string(100 - i) + (i % 2 ? ".jpg" : ".JPG");
        files[name] = "content " + std::to_string(i);
        names.push_back(name);
    }
    createFiles(source(), files);
    createFiles(save(), {{"005.JPG", "kept"}});
    m_host.answers = {RunAnswer::Cancel};
    const RunResult result = run(request(names, numbering(FileOperation::RenameCopy)));
    EXPECT_EQ(readFiles(source()).size(), 30u);
    const FileTree saved = readFiles(save());
    EXPECT_EQ(saved.size(), 30u);
    EXPECT_EQ(saved.at("005.JPG"), "kept");
    // Every content is in the source once and in the save folder once, except the one kept there.
    std::vector<std::string> expected = contents({files, files});
    expected.erase(std::find(expected.begin(), expected.end(), files.at(names[4])));
    expected.push_back("kept");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(contents({readFiles(source()), saved}), expected);
    EXPECT_EQ(result.records.size(), 30u);
    EXPECT_EQ(m_host.progress.size(), 101u + 30u * 102u) << "one sweep, then a sweep and a 0 per file";
}

TEST_F(RenameRunTest, WithoutRecordsTheBarStaysFull)
{
    createFiles(source(), {{"a.jpg", "A"}, {"001.jpg", "outsider"}});
    run(request({"a.jpg"}, numbering(FileOperation::RenameCopy)));
    EXPECT_EQ(m_host.progress.back(), 100);
}

} // namespace
} // namespace tallyfox
