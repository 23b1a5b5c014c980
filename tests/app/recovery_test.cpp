#include "core/recovery.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/folder_lock.h"
#include "platform/journal_store.h"
#include "platform/testing/faulty_syscalls.h"
#include "platform/testing/scripted_dialogs.h"
#include "tests/support/file_tree.h"
#include "tests/support/mounted_card.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"
#include "ui/run_history.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
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
    // `noReplaceless`: renames without the no-replace flag, by link and unlink; `linkless` too: without
    // links either, over a placeholder that reserves the new name.
    bool runKilled(const RunRequest& r, const std::string& call, int n, bool noReplaceless, bool linkless = false)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            platform::FaultySyscalls calls;
            if (linkless) {
                calls.refuseNoReplace(2, EINVAL); // the journal's own rename is the first
                calls.fail("linkat", 1, EPERM, true);
            } else if (noReplaceless) {
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
    bool asked = true;     // false: the crash came before any file was touched
    bool linkless = false; // renames over a placeholder: neither the no-replace flag nor links
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
    ASSERT_TRUE(runKilled(request(row.operation), row.call, row.n, row.noReplaceless, row.linkless))
        << "the crash point was never reached";
    if (row.linkless) {
        const FileTree cut = readFiles(folder());
        ASSERT_TRUE(std::any_of(cut.begin(), cut.end(), [](const auto& file) {
            return file.second.empty();
        })) << "no placeholder was left by the crash";
    }

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
        // What, where and when: the operation's caption and the run's start in local time.
        static const QString kOperations[] = {QStringLiteral("リネームのみ"),
                                              QStringLiteral("リネーム＋コピー"),
                                              QStringLiteral("リネーム＋移動"),
                                              QStringLiteral("拡張子のみ変更")};
        const QRegularExpression question(
            QStringLiteral(
                "^前回の処理は途中で終わっています。\\d+ 件のファイルを処理前の名前に戻しますか？  \n\nフォルダ：")
            + QRegularExpression::escape(QString::fromStdString(folder().string())) + QStringLiteral("\n処理：")
            + kOperations[static_cast<int>(row.operation)] + QStringLiteral("（\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d）$"));
        EXPECT_TRUE(question.match(m_dialogs.messages[0].text).hasMatch()) << m_dialogs.messages[0].text.toStdString();

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
        CrashCase{"move across file systems: two moved", FileOperation::RenameMove, "unlinkat", 3, false, true},
        // Without links, each rename first reserves its new name with an empty placeholder and then renames
        // over it: the flag refused is renameat2 #2, then one plain rename per file (#3 b.jpg, #4 a.jpg,
        // #5 002.jpg aside, #6 001.jpg into 002.jpg, #7 the first back as 001.jpg).
        CrashCase{.name = "no links: a free name reserved, not yet taken",
                  .operation = FileOperation::RenameOnly,
                  .call = "renameat2",
                  .n = 3,
                  .linkless = true},
        CrashCase{.name = "no links: an old name reserved for the other file of a swap",
                  .operation = FileOperation::RenameOnly,
                  .call = "renameat2",
                  .n = 6,
                  .linkless = true}),
    TALLYFOX_ROW_NAMES);

// The undo after a run that ended, and what changed since.
struct UndoCase
{
    std::string name;
    FileOperation operation;
    std::function<void(const std::filesystem::path& folder, const std::filesystem::path& save)> change;
    FileTree folderAfter;
    FileTree saveAfter;
    std::string reported;  // a line of the report, empty for none
    int steps = 4;         // files the question counts
    std::string told = {}; // the lines the question adds after the folder's
    FileTree saveBefore = {};
};

class UndoTest : public RecoveryTest, public ::testing::WithParamInterface<UndoCase>
{
protected:
    // The row's run, ended, then what changed since.
    void runAndChange(const UndoCase& row)
    {
        createFiles(save(), row.saveBefore);
        RecordingHost host;
        ASSERT_TRUE(runHere(request(row.operation), host).started);
        if (row.change) {
            row.change(folder(), save());
        }
    }

    QString question(const UndoCase& row) const
    {
        return QStringLiteral("直前の処理を元に戻します（%1 件）。よろしいですか？  \n\nフォルダ：%2")
                   .arg(row.steps)
                   .arg(QString::fromStdString(folder().string()))
               + QString::fromStdString(row.told);
    }

    // The folders and the report after the undo, as the row has them.
    void expectUndone(const UndoCase& row)
    {
        EXPECT_EQ(readFiles(folder()), row.folderAfter);
        EXPECT_EQ(readFiles(save()), row.saveAfter);
        ASSERT_EQ(m_dialogs.messages.size(), 2u);
        const std::string report = m_dialogs.messages[1].text.toStdString();
        EXPECT_TRUE(report.starts_with("処理前の名前に戻しました。  "));
        if (row.reported.empty()) {
            EXPECT_EQ(report, "処理前の名前に戻しました。  ");
        } else {
            EXPECT_NE(report.find(row.reported), std::string::npos) << report;
        }
    }
};

TEST_P(UndoTest, bringsBackOnlyWhatTheRunLeft)
{
    const UndoCase& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(runAndChange(row));
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    ASSERT_TRUE(history.canUndo());
    ASSERT_TRUE(history.undoLast());

    ASSERT_NO_FATAL_FAILURE(expectUndone(row));
    EXPECT_EQ(m_dialogs.messages[0].text, question(row)) << m_dialogs.messages[0].text.toStdString();
    EXPECT_EQ(m_dialogs.messages[0].defaultButton, MessageAnswer::Ok);
    // Undone once only.
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.undoLast());
}

// A large run is asked about from its journal and planned once answered: the question tells what the run
// did, the same as the plan where nothing changed since, and the undo ends as it does for a small run.
TEST_P(UndoTest, aRunAskedAboutFromItsJournalEndsTheSame)
{
    const UndoCase& row = GetParam();
    ASSERT_NO_FATAL_FAILURE(runAndChange(row));
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    history.planBeforeAskingUpTo(0);
    ASSERT_TRUE(history.undoLast());

    ASSERT_NO_FATAL_FAILURE(expectUndone(row));
    if (!row.change) {
        EXPECT_EQ(m_dialogs.messages[0].text, question(row));
    }
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
                      UndoCase{"copies",
                               FileOperation::RenameCopy,
                               nullptr,
                               kStart,
                               {},
                               "",
                               4,
                               "\n保存フォルダのコピー 4 件を削除します。"},
                      UndoCase{
                          "an album's files the copies replaced, back from the Trash",
                          FileOperation::RenameCopy,
                          nullptr,
                          kStart,
                          {{"001.jpg", "album one"}, {"003.jpg", "album three"}, {"x.jpg", "not touched"}},
                          "",
                          4,
                          "\n保存フォルダのコピー 4 件を削除します。\nごみ箱から 2 件のファイルを元の場所に戻します。",
                          {{"001.jpg", "album one"}, {"003.jpg", "album three"}, {"x.jpg", "not touched"}}},
                      UndoCase{"an album's files the moves replaced, back from the Trash",
                               FileOperation::RenameMove,
                               nullptr,
                               kStart,
                               {{"002.jpg", "album two"}},
                               "",
                               4,
                               "\nごみ箱から 1 件のファイルを元の場所に戻します。",
                               {{"002.jpg", "album two"}}},
                      UndoCase{"a copy changed since",
                               FileOperation::RenameCopy,
                               [](const std::filesystem::path&, const std::filesystem::path& save) {
                                   std::ofstream(save / "004.jpg", std::ios::binary | std::ios::app) << " and more";
                               },
                               kStart,
                               {{"004.jpg", "a and more"}},
                               "",
                               4,
                               "\n保存フォルダのコピー 3 件を削除します。"},
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
        valid.add({name, "_" + name, "x" + name, {}}, {});
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
                                     [](const std::string& journals, const Journal& given) {
                                         Journal valid = copyOf(given);
                                         valid.folder += "-gone";
                                         writeJournalFile(journals, encodeJournal(valid));
                                     }},
                      BadJournalCase{"names gone",
                                     [](const std::string& journals, const Journal& given) {
                                         Journal valid = copyOf(given);
                                         struct stat st;
                                         ::stat(valid.folder.c_str(), &st);
                                         valid.folderIdentity = platform::identityOf(st);
                                         EntryList files;
                                         for (std::size_t i = 0; i < valid.files.size(); ++i) {
                                             JournalEntry file = valid.files[i];
                                             const std::string gone = "gone-" + std::string(file.old);
                                             file.old = gone;
                                             files.push_back(file);
                                             valid.identities.set(i, {st.st_dev, 1, 10, 10});
                                         }
                                         valid.files = std::move(files);
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

// What the safety machinery must never do, on real files on ext4 (which gives a freed inode number to
// the next new file at once): remove a name a file had before the run, or act on a file that is not the
// run's.
struct SafetyCase
{
    std::string name;
    FileOperation operation;
    std::function<void(const std::filesystem::path& folder, const std::filesystem::path& save)> make;
    std::vector<std::string> order;
    std::string killAt = {}; // the call before which the run is killed; empty: the run ends
    int killN = 0;
    // What happens between the run and its undo or recovery.
    std::function<void(const std::filesystem::path& folder, const std::filesystem::path& save)> after = {};
    // What another program does while the undo's question is on the screen, or (`betweenCheckAndRename`)
    // just before its first rename.
    std::function<void(const std::filesystem::path& folder)> during = {};
    bool betweenCheckAndRename = false;
    FileTree folderAfter = {}; // empty: as before the run
    FileTree saveAfter = {};
    std::vector<std::pair<std::string, std::string>> linked = {}; // names in the folder that are one file
    std::string reported = {};
    int renames = -1; // how many renames the undo or recovery makes; -1: not counted
};

class SafetyTest : public RecoveryTest, public ::testing::WithParamInterface<SafetyCase>
{
};

// The system's calls, with a hook run once, just before the first rename.
class StepWatch final : public platform::Syscalls
{
public:
    int renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override
    {
        if (hook) {
            std::exchange(hook, nullptr)();
        }
        ++renames;
        return Syscalls::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags);
    }

    std::function<void()> hook;
    int renames = 0;
};

void link(const std::filesystem::path& from, const std::filesystem::path& to)
{
    std::filesystem::create_hard_link(from, to);
}

// Whether the last file saved anew was given its old number: another process making files at that
// moment may take it first, and the scene is then not the one the test is about.
bool g_numberGivenAgain = true;

// Saves a new file over `path` as an editor would: the old one removed, a new one made under its name.
// Gives whether the new file was given the old one's inode number.
bool saveAnew(const std::filesystem::path& path, const std::string& content)
{
    struct stat before;
    ::stat(path.c_str(), &before);
    std::filesystem::remove(path);
    std::ofstream(path, std::ios::binary) << content;
    struct stat now;
    ::stat(path.c_str(), &now);
    g_numberGivenAgain = now.st_ino == before.st_ino;
    return g_numberGivenAgain;
}

TEST_P(SafetyTest, undoAndRecoveryRemoveNoNameOfBeforeAndTouchNoOtherFile)
{
    const SafetyCase& row = GetParam();
    std::filesystem::remove_all(folder());
    std::filesystem::create_directories(folder());
    row.make(folder(), save());
    const FileTree before = readFiles(folder());
    const FileTree savedBefore = readFiles(save());
    RunRequest r = request(row.operation);
    r.names = row.order;
    r.naming.digitCount = 1;
    r.naming.startNumber = 1;
    if (row.killAt.empty()) {
        RecordingHost host;
        ASSERT_TRUE(runHere(r, host).started);
    } else {
        ASSERT_TRUE(runKilled(r, row.killAt, row.killN, false)) << "the crash point was never reached";
    }
    g_numberGivenAgain = true;
    if (row.after) {
        row.after(folder(), save());
    }
    if (!g_numberGivenAgain) {
        GTEST_SKIP() << "another process took the freed number first";
    }
    StepWatch calls;
    if (row.during && row.betweenCheckAndRename) {
        calls.hook = [&] {
            row.during(folder());
        };
    } else if (row.during) {
        // While the question is on the screen: after the undo has looked, before any step.
        m_dialogs.onNextMessage([&](const platform::Message&) {
            row.during(folder());
        });
    }
    ui::RunHistory history(m_dialogs, calls, journals());
    if (row.killAt.empty()) {
        ASSERT_TRUE(history.undoLast());
    } else {
        history.recoverAtStart();
    }
    if (!g_numberGivenAgain) {
        GTEST_SKIP() << "another process took the freed number first";
    }

    EXPECT_EQ(readFiles(folder()), row.folderAfter.empty() ? before : row.folderAfter);
    EXPECT_EQ(readFiles(save()), row.saveAfter.empty() && row.folderAfter.empty() ? savedBefore : row.saveAfter);
    for (const auto& [a, b] : row.linked) {
        EXPECT_TRUE(std::filesystem::equivalent(folder() / a, folder() / b)) << a << " and " << b;
    }
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    const std::string report = m_dialogs.messages[1].text.toStdString();
    EXPECT_TRUE(report.starts_with("処理前の名前に戻しました。  ")) << report;
    EXPECT_EQ(report.find(row.reported) != std::string::npos, true) << report;
    if (row.renames >= 0) {
        EXPECT_EQ(calls.renames, row.renames) << "a file that is not the run's was moved";
    }
}

const auto kPhoto = [](const std::filesystem::path& folder, const std::filesystem::path&) {
    createFiles(folder, {{"10.jpg", "photo"}});
    link(folder / "10.jpg", folder / "9.jpg");
};

const auto kOnePhoto = [](const std::filesystem::path& folder, const std::filesystem::path&) {
    createFiles(folder, {{"b.jpg", "photo b"}});
};
const auto kSavedAnew = [](const std::filesystem::path& folder) {
    saveAnew(folder / "1.jpg", "a new document");
};

INSTANTIATE_TEST_SUITE_P(Scenes,
                         SafetyTest,
                         ::testing::Values(
                             // Numbered from 9 with one digit, the two names of one file swap.
                             SafetyCase{.name = "a hard-linked pair swapped, undone",
                                        .operation = FileOperation::RenameOnly,
                                        .make = kPhoto,
                                        .order = {"10.jpg", "9.jpg"},
                                        .linked = {{"10.jpg", "9.jpg"}}},
                             SafetyCase{.name = "a hard-linked pair swapped, killed before its first rename",
                                        .operation = FileOperation::RenameOnly,
                                        .make = kPhoto,
                                        .order = {"10.jpg", "9.jpg"},
                                        .killAt = "renameat2",
                                        .killN = 3,
                                        .linked = {{"10.jpg", "9.jpg"}}},
                             SafetyCase{.name = "a ring of three with a link",
                                        .operation = FileOperation::RenameOnly,
                                        .make =
                                            [](const std::filesystem::path& folder, const std::filesystem::path&) {
                                                createFiles(folder, {{"1.jpg", "one"}, {"3.jpg", "three"}});
                                                link(folder / "1.jpg", folder / "2.jpg");
                                            },
                                        .order = {"2.jpg", "3.jpg", "1.jpg"},
                                        .linked = {{"1.jpg", "2.jpg"}}},
                             SafetyCase{.name = "a link already in the save folder under the new name",
                                        .operation = FileOperation::RenameCopy,
                                        .make =
                                            [](const std::filesystem::path& folder, const std::filesystem::path& save) {
                                                createFiles(folder, {{"a.jpg", "photo"}});
                                                link(folder / "a.jpg", save / "1.jpg");
                                            },
                                        .order = {"a.jpg"}},
                             SafetyCase{.name = "a renamed file saved anew after a crash, given its freed number",
                                        .operation = FileOperation::RenameOnly,
                                        .make =
                                            [](const std::filesystem::path& folder, const std::filesystem::path&) {
                                                createFiles(folder, {{"b.jpg", "photo b"}, {"a.jpg", "photo a"}});
                                            },
                                        .order = {"b.jpg", "a.jpg"},
                                        .killAt = "write",
                                        .killN = 3,
                                        .after =
                                            [](const std::filesystem::path& folder, const std::filesystem::path&) {
                                                saveAnew(folder / "1.jpg", "a new document");
                                            },
                                        .folderAfter = {{"1.jpg", "a new document"}, {"a.jpg", "photo a"}},
                                        .reported = "b.jpg → 1.jpg：" + kChangedSinceRun},
                             SafetyCase{.name = "a file saved anew while the question is asked, given its freed number",
                                        .operation = FileOperation::RenameOnly,
                                        .make = kOnePhoto,
                                        .order = {"b.jpg"},
                                        .during = kSavedAnew,
                                        .folderAfter = {{"1.jpg", "a new document"}},
                                        .reported = "b.jpg → 1.jpg：" + kChangedSinceRun,
                                        .renames = 0},
                             SafetyCase{
                                 .name = "a file saved anew between the check and the rename, given its freed number",
                                 .operation = FileOperation::RenameOnly,
                                 .make = kOnePhoto,
                                 .order = {"b.jpg"},
                                 .during = kSavedAnew,
                                 .betweenCheckAndRename = true,
                                 .folderAfter = {{"1.jpg", "a new document"}},
                                 .reported = "b.jpg → 1.jpg：" + kChangedSinceRun}),
                         TALLYFOX_ROW_NAMES);

// A folder made anew at the run's path, even under the old folder's freed number, is not undone.
TEST_F(RecoveryTest, aFolderMadeAnewAtTheSamePathIsNotUndone)
{
    RecordingHost host;
    ASSERT_TRUE(runHere(request(FileOperation::RenameOnly), host).started);
    const FileTree renamed = readFiles(folder());
    struct stat old;
    ASSERT_EQ(::stat(folder().c_str(), &old), 0);
    struct stat made
    {
    };
    for (int attempt = 0; attempt < 20 && made.st_ino != old.st_ino; ++attempt) {
        std::filesystem::remove_all(folder());
        std::filesystem::create_directory(folder());
        ::stat(folder().c_str(), &made);
    }
    if (made.st_ino != old.st_ino) {
        GTEST_SKIP() << "the file system gave the new folder another number";
    }
    createFiles(folder(), renamed);

    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.undoLast());
    EXPECT_EQ(readFiles(folder()), renamed);
}

// A run's end mark claims no more than the disk holds: the copies' data and both folders are flushed
// after the last copy and before the mark.
TEST_F(RecoveryTest, theRunIsOnDiskBeforeItsEndMark)
{
    platform::FaultySyscalls calls;
    RecordingHost host;
    ASSERT_TRUE(runHere(request(FileOperation::RenameCopy), host, calls).started);
    const std::vector<std::string>& log = calls.log;
    const auto endMark = std::find(log.rbegin(), log.rend(), "write").base() - 1;
    const auto lastCopy = std::find(log.rbegin(), log.rend(), "linkat").base() - 1;
    ASSERT_LT(lastCopy, endMark);
    EXPECT_EQ(std::count(lastCopy, endMark, "syncfs"), 1);
    EXPECT_GE(std::count(lastCopy, endMark, "fsync"), 2); // the save folder and the folder
}

// The undo shows how far it is on the bar it is given, up to full, and leaves it empty at the end.
TEST_F(RecoveryTest, theUndoShowsItsProgress)
{
    RecordingHost host;
    ASSERT_TRUE(runHere(request(FileOperation::RenameCopy), host).started);
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    std::vector<int> shown;
    history.showProgressOn([&shown](int percent) {
        shown.push_back(percent);
    });
    ASSERT_TRUE(history.undoLast());
    EXPECT_EQ(readFiles(folder()), kStart);
    ASSERT_GE(shown.size(), 2u);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end() - 1));
    EXPECT_EQ(shown[shown.size() - 2], 100);
    EXPECT_EQ(shown.back(), 0);
}

// A recovery declined at start is not offered again; the undo may still bring the files back.
TEST_F(RecoveryTest, aDeclinedRecoveryIsNotOfferedAgain)
{
    ASSERT_TRUE(runKilled(request(FileOperation::RenameOnly), "write", 3, false));
    const FileTree renamed = readFiles(folder());
    m_dialogs.answer(MessageAnswer::Cancel);
    ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).recoverAtStart();
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    m_dialogs.messages.clear();

    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    history.recoverAtStart();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(readFiles(folder()), renamed);
    ASSERT_TRUE(history.undoLast());
    EXPECT_EQ(readFiles(folder()), kStart);
}

// A run still going on in another process holds its folders: its journal is not offered, and nothing of
// it is touched, until that run is over.
TEST_F(RecoveryTest, aRunGoingOnElsewhereIsNotOffered)
{
    ASSERT_TRUE(runKilled(request(FileOperation::RenameOnly), "write", 3, false));
    const FileTree renamed = readFiles(folder());
    {
        platform::FolderLock running;
        ASSERT_TRUE(running.lock({folder().string()}));
        const pid_t child = ::fork();
        if (child == 0) {
            platform::ScriptedDialogs dialogs;
            ui::RunHistory(dialogs, platform::systemCalls(), journals()).recoverAtStart();
            ::_exit(dialogs.messages.empty() && readFiles(folder()) == renamed ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).recoverAtStart();
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(readFiles(folder()), kStart);
}

// A camera's card, or a disk of another system, whose folders ignore case: an NTFS image mounted to
// ignore case, where the machine allows it. Changing extensions and undoing it, or a crash half-way and
// the recovery, keep every file.
class CaseIgnoringCardTest : public RecoveryTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        const std::filesystem::path image = m_root.path() / "card.img";
        const std::string make = "truncate -s 16M '" + image.string() + "' && mkntfs -q -F -Q '" + image.string()
                                 + "' >/dev/null 2>&1 && mkdir -p '" + card().string()
                                 + "' && lowntfs-3g -o ignore_case '" + image.string() + "' '" + card().string()
                                 + "' 2>/dev/null";
        if (::geteuid() != 0 || std::system(make.c_str()) != 0) {
            GTEST_SKIP() << "no NTFS image can be mounted here (needs root, ntfs-3g and /dev/fuse)";
        }
        m_mounted = true;
        RecoveryTest::SetUp();
        std::filesystem::create_directories(folder());
        createFiles(folder(), {{"A.JPG", "photo a"}, {"B.JPG", "photo b"}, {"C.TXT", "notes"}});
    }
    void TearDown() override
    {
        if (m_mounted) {
            std::system(("umount '" + card().string() + "'").c_str());
        }
    }
    std::filesystem::path card() const
    {
        return m_root.path() / "card";
    }
    std::filesystem::path folder() const
    {
        return card() / "DCIM";
    }
    bool m_mounted = false;
};

TEST_P(CaseIgnoringCardTest, keepsEveryFile)
{
    const bool crash = GetParam();
    const FileTree before = readFiles(folder());
    RunRequest r = request(FileOperation::ExtensionOnly);
    r.folder = folder().string();
    r.names = {"A.JPG", "B.JPG"};
    r.naming.extensionMode = ExtensionMode::Lower;
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    if (crash) {
        // The file system refuses no-replace renames: a rename is a link and an unlink. Killed at the
        // second file's link, the first has its new name.
        ASSERT_TRUE(runKilled(r, "linkat", 3, false)) << "the crash point was never reached";
        history.recoverAtStart();
    } else {
        RecordingHost host;
        ASSERT_TRUE(runHere(r, host).started);
        history.undoLast();
    }
    EXPECT_EQ(readFiles(folder()), before);
}

INSTANTIATE_TEST_SUITE_P(Runs, CaseIgnoringCardTest, ::testing::Values(false, true), [](const auto& info) {
    return std::string(info.param ? "crashHalfWay" : "undone");
});

// An exFAT card mounted by the driver in user space, which knows neither no-replace renames nor hard
// links, where the machine allows it: a run that swaps two files and shifts three ends with every file
// under its new name and is undone, and one cut short between reserving a name and taking it is
// brought back at the next start, placeholder and all.
struct ExfatRunCase
{
    std::string name;
    int killedBefore; // the renameat2 call the run is ended before; 0: it goes to its end
};

class ExfatCardRunTest : public RecoveryTest, public ::testing::WithParamInterface<ExfatRunCase>
{
protected:
    void SetUp() override
    {
        if (!m_card.missing().empty()) {
            GTEST_SKIP() << "no exFAT card in user space here: " << m_card.missing();
        }
        RecoveryTest::SetUp();
        createFiles(m_card.folder(), kCardStart);
    }

    // 002.jpg and 001.jpg swap; a.jpg, 003.jpg and 004.jpg shift one on.
    const FileTree kCardStart = {
        {"001.jpg", "first"}, {"002.jpg", "second"}, {"003.jpg", "third"}, {"004.jpg", "fourth"}, {"a.jpg", "new"}};
    const FileTree kCardEnd = {
        {"001.jpg", "second"}, {"002.jpg", "first"}, {"003.jpg", "new"}, {"004.jpg", "third"}, {"005.jpg", "fourth"}};

    testing::MountedCard m_card{m_root.path(), testing::kExfatInUserSpace, testing::kExfatInUserSpaceNeeds};
};

TEST_P(ExfatCardRunTest, everyFileReachesItsNameOrComesBack)
{
    const ExfatRunCase& row = GetParam();
    RunRequest r = request(FileOperation::RenameOnly);
    r.folder = m_card.folder().string();
    r.names = {"002.jpg", "001.jpg", "a.jpg", "003.jpg", "004.jpg"};
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    if (row.killedBefore == 0) {
        RecordingHost host;
        const RunResult result = runHere(r, host);
        ASSERT_TRUE(result.started);
        EXPECT_TRUE(result.failures.empty()) << result.failures.front().reason;
        EXPECT_EQ(readFiles(m_card.folder()), kCardEnd);
        ASSERT_TRUE(history.undoLast());
    } else {
        // The card itself refuses the flag (the journal's rename is renameat2 #1, on another disk).
        ASSERT_TRUE(runKilled(r, "renameat2", row.killedBefore, false)) << "the crash point was never reached";
        const FileTree cut = readFiles(m_card.folder());
        ASSERT_TRUE(std::any_of(cut.begin(), cut.end(), [](const auto& file) {
            return file.second.empty();
        })) << "no placeholder was left by the crash";
        history.recoverAtStart();
    }
    EXPECT_EQ(readFiles(m_card.folder()), kCardStart);
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[1].text, QStringLiteral("処理前の名前に戻しました。  "));
}

// Renames on the card: the refused flag is renameat2 #2, then one plain rename per file over its
// placeholder: the shift from its far end (#3 004.jpg, #4 003.jpg, #5 a.jpg), then the swap (#6 002.jpg
// aside, #7 001.jpg into 002.jpg, #8 the first back as 001.jpg).
INSTANTIATE_TEST_SUITE_P(Runs,
                         ExfatCardRunTest,
                         ::testing::Values(ExfatRunCase{"run and undone", 0},
                                           ExfatRunCase{"cut short with a free name reserved", 3},
                                           ExfatRunCase{"cut short with an old name of the swap reserved", 7}),
                         TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
