#include "core/recovery.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/folder_lock.h"
#include "platform/journal_store.h"
#include "platform/testing/faulty_syscalls.h"
#include "platform/testing/scripted_dialogs.h"
#include "tests/support/file_tree.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"
#include "ui/run_history.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallyfox {
namespace {

using platform::MessageAnswer;
using testing::createFiles;
using testing::FileTree;
using testing::readFiles;
using testing::RecordingHost;

constexpr int kKilled = 77;

// A folder on another file system than the temporary folder, for moves that copy.
class OtherFileSystemDir final
{
public:
    OtherFileSystemDir()
    {
        std::string pattern = "/dev/shm/tallyfox-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~OtherFileSystemDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const
    {
        return m_path;
    }

private:
    std::filesystem::path m_path;
};

const FileTree kStart = {
    {"002.jpg", "second photo"},
    {"001.jpg", "first photo, longer"},
    {"b.jpg", std::string(3000, 'b')},
    {"a.jpg", "a"},
};
// The list order: the files swap numbers, so old and final names overlap.
const std::vector<std::string> kOrder = {"002.jpg", "001.jpg", "b.jpg", "a.jpg"};

class RecoveryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        createFiles(folder(), kStart);
        std::filesystem::create_directories(save());
    }

    std::filesystem::path folder() const
    {
        return m_root.path() / "photos";
    }
    virtual std::filesystem::path save() const
    {
        return m_root.path() / "save";
    }
    std::string journals() const
    {
        return (m_root.path() / "journals").string();
    }

    RunRequest request(FileOperation operation) const
    {
        RunRequest r;
        r.folder = folder().string();
        r.names = kOrder;
        r.naming.operation = operation;
        r.naming.extensionMode = operation == FileOperation::ExtensionOnly ? ExtensionMode::Upper : ExtensionMode::Keep;
        r.saveFolder = save().string() + "/";
        r.confirmBeforeRun = 0;
        return r;
    }

    // A run in a child process, ended at once just before the n-th call of `call`; true when it was.
    bool runKilled(const RunRequest& r, const std::string& call, int n, bool noReplaceless)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            platform::FaultySyscalls calls;
            if (noReplaceless) {
                calls.fail("renameat2", 2, EINVAL, true); // the journal's own rename is the first
            }
            calls.before(call, n, [] {
                ::_exit(kKilled);
            });
            platform::PosixFileOperations files(calls);
            platform::StoredRunRecord record(calls, journals());
            RecordingHost host;
            runRename(r, host, files, &record);
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == kKilled;
    }

    RunResult runHere(const RunRequest& r, RecordingHost& host, platform::Syscalls& calls = platform::systemCalls())
    {
        platform::PosixFileOperations files(calls);
        platform::StoredRunRecord record(calls, journals());
        return runRename(r, host, files, &record);
    }

    testing::TempDir m_root;
    platform::ScriptedDialogs m_dialogs;
};

// A crash at one kind of step, then the next start.
struct CrashCase
{
    std::string name;
    FileOperation operation;
    std::string call;
    int n;
    bool noReplaceless = false; // renames by link and unlink
    bool acrossFileSystems = false;
    bool asked = true; // false: the crash came before any file was touched
};

class CrashTest : public RecoveryTest, public ::testing::WithParamInterface<CrashCase>
{
protected:
    std::filesystem::path save() const override
    {
        return GetParam().acrossFileSystems ? m_other.path() / "save" : RecoveryTest::save();
    }
    OtherFileSystemDir m_other;
};

TEST_P(CrashTest, theNextStartBringsEveryFileBackUnchanged)
{
    const CrashCase& row = GetParam();
    if (row.acrossFileSystems && m_other.path().empty()) {
        GTEST_SKIP() << "no second file system";
    }
    ASSERT_TRUE(runKilled(request(row.operation), row.call, row.n, row.noReplaceless))
        << "the crash point was never reached";

    ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).recoverAtStart();

    EXPECT_EQ(readFiles(folder()), kStart);
    EXPECT_EQ(readFiles(save()), FileTree{});
    // A journal cut short under its temporary name is gone too.
    for (const auto& entry : std::filesystem::directory_iterator(journals())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
    }
    if (row.asked) {
        ASSERT_EQ(m_dialogs.messages.size(), 2u);
        EXPECT_EQ(m_dialogs.messages[0].caption, QStringLiteral("確認"));
        EXPECT_TRUE(m_dialogs.messages[0].text.startsWith(QStringLiteral("前回の処理は途中で終わっています。")));
        EXPECT_EQ(m_dialogs.messages[1].text, QStringLiteral("処理前の名前に戻しました。  "));
    } else {
        EXPECT_TRUE(m_dialogs.messages.empty());
    }
    // Brought back once: the next start asks nothing.
    m_dialogs.messages.clear();
    ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).recoverAtStart();
    EXPECT_TRUE(m_dialogs.messages.empty());
}

// Calls are counted over the run and its journal: the journal's rename is renameat2 #1, its flush
// fsync #1, its bytes write #1; then b.jpg and a.jpg take their free names (renameat2 #2, #3), and the
// swapped pair turns: 002.jpg steps aside (#4), 001.jpg takes 002.jpg (#5), and the first comes back as
// 001.jpg (#6). The marks are write #2 (renames done) and #3 (run done).
INSTANTIATE_TEST_SUITE_P(
    Points,
    CrashTest,
    ::testing::Values(
        CrashCase{"journal being written", FileOperation::RenameOnly, "write", 1, false, false, false},
        CrashCase{"journal written, not flushed", FileOperation::RenameOnly, "fsync", 1, false, false, false},
        CrashCase{"journal not yet under its name", FileOperation::RenameOnly, "renameat2", 1, false, false, false},
        CrashCase{"free names taken, the swap not begun", FileOperation::RenameOnly, "renameat2", 4},
        CrashCase{"one of a swapped pair stepped aside", FileOperation::RenameOnly, "renameat2", 5},
        CrashCase{"a swap half turned", FileOperation::RenameOnly, "renameat2", 6},
        CrashCase{"before the end mark", FileOperation::RenameOnly, "write", 3},
        CrashCase{
            "link and unlink: a file stepping aside, under both names", FileOperation::RenameOnly, "unlinkat", 3, true},
        CrashCase{"link and unlink: before a link", FileOperation::RenameOnly, "linkat", 3, true},
        CrashCase{
            "link and unlink: a file coming back, under both names", FileOperation::RenameOnly, "unlinkat", 5, true},
        CrashCase{"copy: between two copies", FileOperation::RenameCopy, "fstatat", 3},
        CrashCase{"copy: written, not yet named", FileOperation::RenameCopy, "linkat", 2},
        CrashCase{"copy: all copied", FileOperation::RenameCopy, "write", 3},
        CrashCase{"move in one file system", FileOperation::RenameMove, "renameat2", 8},
        CrashCase{"move across file systems: copy half written", FileOperation::RenameMove, "fchmod", 2, false, true},
        CrashCase{"move across file systems: copy in place, source kept",
                  FileOperation::RenameMove,
                  "unlinkat",
                  1,
                  false,
                  true},
        CrashCase{"move across file systems: two moved", FileOperation::RenameMove, "unlinkat", 3, false, true}),
    TALLYFOX_ROW_NAMES);

// The undo after a run that ended, and what changed since.
struct UndoCase
{
    std::string name;
    FileOperation operation;
    std::function<void(const std::filesystem::path& folder, const std::filesystem::path& save)> change;
    FileTree folderAfter;
    FileTree saveAfter;
    std::string reported; // a line of the report, empty for none
    int steps = 4;        // files the question counts
};

class UndoTest : public RecoveryTest, public ::testing::WithParamInterface<UndoCase>
{
};

TEST_P(UndoTest, bringsBackOnlyWhatTheRunLeft)
{
    const UndoCase& row = GetParam();
    RecordingHost host;
    ASSERT_TRUE(runHere(request(row.operation), host).started);
    if (row.change) {
        row.change(folder(), save());
    }
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    ASSERT_TRUE(history.canUndo());
    ASSERT_TRUE(history.undoLast());

    EXPECT_EQ(readFiles(folder()), row.folderAfter);
    EXPECT_EQ(readFiles(save()), row.saveAfter);
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[0].text,
              QStringLiteral("直前の処理を元に戻します（%1 件）。よろしいですか？  ").arg(row.steps));
    EXPECT_EQ(m_dialogs.messages[0].defaultButton, MessageAnswer::Ok);
    const std::string report = m_dialogs.messages[1].text.toStdString();
    EXPECT_TRUE(report.starts_with("処理前の名前に戻しました。  "));
    if (row.reported.empty()) {
        EXPECT_EQ(report, "処理前の名前に戻しました。  ");
    } else {
        EXPECT_NE(report.find(row.reported), std::string::npos) << report;
    }
    // Undone once only.
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.undoLast());
}

void replaceFile(const std::filesystem::path& path, const std::string& content)
{
    std::filesystem::remove(path);
    std::ofstream(path, std::ios::binary) << content;
}

FileTree with(FileTree tree, const std::string& name, const std::string& content)
{
    tree[name] = content;
    return tree;
}

FileTree without(FileTree tree, const std::string& name)
{
    tree.erase(name);
    return tree;
}

INSTANTIATE_TEST_SUITE_P(
    Changes,
    UndoTest,
    ::testing::Values(UndoCase{"nothing changed", FileOperation::RenameOnly, nullptr, kStart, {}, ""},
                      UndoCase{"a renamed file saved over since",
                               FileOperation::RenameOnly,
                               [](const std::filesystem::path& folder, const std::filesystem::path&) {
                                   replaceFile(folder / "003.jpg", "saved over"); // b.jpg's new name
                               },
                               with(without(kStart, "b.jpg"), "003.jpg", "saved over"),
                               {},
                               "b.jpg → 003.jpg：" + kChangedSinceRun,
                               3},
                      UndoCase{"a renamed file written in place since",
                               FileOperation::RenameOnly,
                               [](const std::filesystem::path& folder, const std::filesystem::path&) {
                                   std::ofstream(folder / "003.jpg", std::ios::binary | std::ios::app) << "!";
                               },
                               with(without(kStart, "b.jpg"), "003.jpg", std::string(3000, 'b') + "!"),
                               {},
                               "b.jpg → 003.jpg：" + kChangedSinceRun,
                               3},
                      UndoCase{"copies", FileOperation::RenameCopy, nullptr, kStart, {}, ""},
                      UndoCase{"a copy changed since",
                               FileOperation::RenameCopy,
                               [](const std::filesystem::path&, const std::filesystem::path& save) {
                                   std::ofstream(save / "004.jpg", std::ios::binary | std::ios::app) << " and more";
                               },
                               kStart,
                               {{"004.jpg", "a and more"}},
                               ""},
                      UndoCase{"moves", FileOperation::RenameMove, nullptr, kStart, {}, ""},
                      UndoCase{"extensions", FileOperation::ExtensionOnly, nullptr, kStart, {}, ""}),
    TALLYFOX_ROW_NAMES);

// Two runs, or a run and an undo, on one folder: the second is refused and touches nothing.
struct LockCase
{
    std::string name;
    bool inChild;    // held by another process
    bool saveFolder; // the save folder is held, not the folder
    bool undo;       // the second is an undo
};

class LockTest : public RecoveryTest, public ::testing::WithParamInterface<LockCase>
{
};

TEST_P(LockTest, theSecondIsRefused)
{
    const LockCase& row = GetParam();
    RecordingHost host;
    if (row.undo) {
        ASSERT_TRUE(runHere(request(FileOperation::RenameCopy), host).started);
    }
    const FileTree before = readFiles(folder());
    const std::string held = (row.saveFolder ? save() : folder()).string();
    platform::FolderLock here;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = -1;
    if (row.inChild) {
        child = ::fork();
        if (child == 0) {
            platform::FolderLock lock;
            const char done = lock.lock({held}) ? 'y' : 'n';
            (void)::write(ready[1], &done, 1);
            ::pause();
            ::_exit(0);
        }
        char done = 0;
        ASSERT_EQ(::read(ready[0], &done, 1), 1);
        ASSERT_EQ(done, 'y');
    } else {
        ASSERT_TRUE(here.lock({held}));
    }

    if (row.undo) {
        m_dialogs.messages.clear();
        EXPECT_FALSE(ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).undoLast());
        ASSERT_FALSE(m_dialogs.messages.empty());
        EXPECT_EQ(m_dialogs.messages.back().text, QStringLiteral("このフォルダでは別の処理が実行中です。  "));
    } else {
        RecordingHost second;
        EXPECT_FALSE(runHere(request(FileOperation::RenameCopy), second).started);
        ASSERT_EQ(second.boxes.size(), 1u);
        EXPECT_EQ(second.boxes[0].first, "このフォルダでは別の処理が実行中です。  ");
        EXPECT_EQ(readFiles(save()), FileTree{});
    }
    EXPECT_EQ(readFiles(folder()), before);
    if (child > 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    ::close(ready[0]);
    ::close(ready[1]);
}

INSTANTIATE_TEST_SUITE_P(Holders,
                         LockTest,
                         ::testing::Values(LockCase{"folder held by another process", true, false, false},
                                           LockCase{"save folder held in this process", false, true, false},
                                           LockCase{"undo while another process runs", true, false, true}),
                         TALLYFOX_ROW_NAMES);

// A journal that cannot be written: the run asks first, and Cancel leaves every file as it was.
TEST_F(RecoveryTest, aRunWithoutJournalAsksAndCancelTouchesNothing)
{
    std::ofstream(journals()) << "a file where the journals' folder should be";
    for (const RunAnswer answer : {RunAnswer::Cancel, RunAnswer::Ok}) {
        RecordingHost host;
        host.answers = {answer};
        const RunResult result = runHere(request(FileOperation::RenameOnly), host);
        ASSERT_FALSE(host.boxes.empty());
        EXPECT_EQ(host.boxes[0].first, "取り消し用の記録を書き込めません。元に戻せないまま続けますか？  ");
        EXPECT_EQ(host.boxes[0].second, RunBox::Risk);
        EXPECT_EQ(result.started, answer == RunAnswer::Ok);
        EXPECT_EQ(readFiles(folder()) == kStart, answer == RunAnswer::Cancel);
    }
}

// Journals the program cannot use: each is passed over at start and no file is touched; one that is
// damaged or too large to be read is kept under another name and told of once.
struct BadJournalCase
{
    std::string name;
    std::function<void(const std::string& journals, const Journal& valid)> make;
    bool setAside = false;
};

class BadJournalTest : public RecoveryTest, public ::testing::WithParamInterface<BadJournalCase>
{
};

constexpr const char* kJournalName = "00000000000000000001-1.journal";

void writeJournalFile(const std::string& journals, const std::string& bytes)
{
    std::filesystem::create_directories(journals);
    std::ofstream(journals + "/" + kJournalName, std::ios::binary) << bytes;
}

TEST_P(BadJournalTest, isPassedOverAndTouchesNothing)
{
    // A journal as a run that stopped after its temporary pass would leave it.
    RecordingHost host;
    Journal valid;
    valid.pid = 1;
    valid.folder = folder().string();
    valid.operation = FileOperation::RenameOnly;
    for (const std::string& name : kOrder) {
        valid.files.push_back({name, "_" + name, "x" + name, {}, {}, {}});
    }
    GetParam().make(journals(), valid);
    const FileTree before = readFiles(folder());

    platform::FaultySyscalls calls;
    if (GetParam().name == "journal folder unreadable") {
        calls.fail("opendir", 1, EACCES, true);
        calls.fail("openat", 1, EACCES, true);
    }
    ui::RunHistory history(m_dialogs, calls, journals());
    history.recoverAtStart();
    EXPECT_FALSE(history.canUndo());

    EXPECT_EQ(readFiles(folder()), before);
    const bool folderThere = std::filesystem::is_directory(journals());
    EXPECT_EQ(std::filesystem::exists(journals() + "/" + kJournalName), !GetParam().setAside && folderThere);
    EXPECT_EQ(std::filesystem::exists(journals() + "/" + kJournalName + ".broken"), GetParam().setAside);
    if (GetParam().setAside) {
        ASSERT_EQ(m_dialogs.messages.size(), 1u);
        EXPECT_EQ(m_dialogs.messages[0].text,
                  QStringLiteral("取り消し用の記録 1 件を読めませんでした。\r\n%1/%2.broken")
                      .arg(QString::fromStdString(journals()), QString::fromLatin1(kJournalName)));
        EXPECT_EQ(m_dialogs.messages[0].icon, platform::MessageIcon::Warning);
        EXPECT_EQ(m_dialogs.messages[0].buttons, platform::MessageButtons::Ok);
    } else {
        EXPECT_TRUE(m_dialogs.messages.empty());
    }
    // Told of once: the next start finds nothing to say.
    m_dialogs.messages.clear();
    ui::RunHistory(m_dialogs, calls, journals()).recoverAtStart();
    EXPECT_TRUE(m_dialogs.messages.empty());
}

std::string withVersion(const Journal& journal, std::uint32_t version)
{
    std::string bytes = encodeJournal(journal);
    for (int i = 0; i < 4; ++i) {
        bytes[8 + static_cast<std::size_t>(i)] = static_cast<char>((version >> (8 * i)) & 0xff);
    }
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Journals,
    BadJournalTest,
    ::testing::Values(BadJournalCase{"older version",
                                     [](const std::string& journals, const Journal& valid) {
                                         writeJournalFile(journals, withVersion(valid, kJournalVersion - 1));
                                     }},
                      BadJournalCase{"newer version",
                                     [](const std::string& journals, const Journal& valid) {
                                         writeJournalFile(journals, withVersion(valid, kJournalVersion + 1));
                                     }},
                      BadJournalCase{"folder gone",
                                     [](const std::string& journals, Journal valid) {
                                         valid.folder += "-gone";
                                         writeJournalFile(journals, encodeJournal(valid));
                                     }},
                      BadJournalCase{"names gone",
                                     [](const std::string& journals, Journal valid) {
                                         struct stat st;
                                         ::stat(valid.folder.c_str(), &st);
                                         valid.folderIdentity = platform::identityOf(st);
                                         for (JournalEntry& file : valid.files) {
                                             file.old = "gone-" + file.old;
                                             file.identity = {st.st_dev, 1, 10, 10};
                                         }
                                         writeJournalFile(journals, encodeJournal(valid));
                                     }},
                      BadJournalCase{"not a journal",
                                     [](const std::string& journals, const Journal&) {
                                         writeJournalFile(journals, "[Settings]\nfolder=/tmp\n");
                                     },
                                     true},
                      BadJournalCase{"torn",
                                     [](const std::string& journals, const Journal& valid) {
                                         const std::string bytes = encodeJournal(valid);
                                         writeJournalFile(journals, bytes.substr(0, bytes.size() - 7));
                                     },
                                     true},
                      BadJournalCase{"a bit flipped",
                                     [](const std::string& journals, const Journal& valid) {
                                         std::string bytes = encodeJournal(valid);
                                         bytes[bytes.size() - 3] ^= 0x10;
                                         writeJournalFile(journals, bytes);
                                     },
                                     true},
                      BadJournalCase{"longer than its header says",
                                     [](const std::string& journals, const Journal& valid) {
                                         writeJournalFile(journals, encodeJournal(valid) + std::string(100000, 'M'));
                                     },
                                     true},
                      BadJournalCase{"journal folder is a file",
                                     [](const std::string& journals, const Journal&) {
                                         std::ofstream(journals) << "not a folder";
                                     }},
                      BadJournalCase{"journal folder unreadable",
                                     [](const std::string& journals, const Journal& valid) {
                                         writeJournalFile(journals, encodeJournal(valid));
                                     }}),
    TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
