#include "app/command_line.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/folder_lock.h"
#include "platform/journal_store.h"
#include "platform/testing/scripted_dialogs.h"
#include "tests/support/file_tree.h"
#include "tests/support/recording_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_names.h"
#include "ui/run_history.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <signal.h>
#include <sstream>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tallyfox {
namespace {

namespace fs = std::filesystem;
using testing::createFiles;
using testing::FileTree;
using testing::readFiles;

const std::string kSamePlaceSuffix = "保存フォルダに同じ名前のファイルがあります（実行時に上書きするか確かめます）";

struct Finished
{
    int status = -1;
    std::string out;
    std::string err;
};

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The commands as a user's shell runs them: the installed program's own binary in a process of its own,
// in a working folder, its output and its exit status read back.
class CommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::setenv("XDG_STATE_HOME", (m_root.path() / "state").c_str(), 1);
        testing::emptyTrash();
        fs::create_directories(folder());
        fs::create_directories(save());
    }

    fs::path folder() const
    {
        return m_root.path() / "photos";
    }
    fs::path save() const
    {
        return m_root.path() / "save";
    }
    std::string journals() const
    {
        return (m_root.path() / "state" / "tallyfox").string();
    }
    static fs::path trash()
    {
        return fs::path(std::getenv("XDG_DATA_HOME")) / "Trash" / "files";
    }

    // {folder} and {save} stand for the two folders.
    std::vector<std::string> expand(std::vector<std::string> arguments) const
    {
        for (std::string& argument : arguments) {
            for (const auto& [word, path] : {std::pair{std::string("{folder}"), folder().string()},
                                             std::pair{std::string("{save}"), save().string()}}) {
                if (const std::size_t at = argument.find(word); at != std::string::npos) {
                    argument.replace(at, word.size(), path);
                }
            }
        }
        return arguments;
    }

    Finished tallyfox(const std::vector<std::string>& arguments) const
    {
        const fs::path out = m_root.path() / "out.txt";
        const fs::path err = m_root.path() / "err.txt";
        const pid_t child = ::fork();
        if (child == 0) {
            const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(outFd, STDOUT_FILENO);
            ::dup2(errFd, STDERR_FILENO);
            if (::chdir(m_root.path().c_str()) != 0) {
                ::_exit(126);
            }
            std::vector<char*> argv;
            std::string program = TALLYFOX_PROGRAM;
            argv.push_back(program.data());
            std::vector<std::string> copies = arguments;
            for (std::string& argument : copies) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readAll(out), readAll(err)};
    }

    testing::TempDir m_root;
    platform::ScriptedDialogs m_dialogs;
};

QJsonObject json(const Finished& finished)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(finished.out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << finished.out;
    return document.object();
}

std::string text(const QJsonValue& value)
{
    return value.toString().toStdString();
}

// One command on a folder: what it leaves, what it says, and how it ends.
struct CommandCase
{
    std::string name;
    FileTree before;
    std::vector<std::string> arguments;
    int exit;
    FileTree after;
    std::string out;      // a part of standard output, empty for none expected
    std::string err = {}; // a part of standard error
    FileTree saveBefore = {};
    FileTree saveAfter = {};
    FileTree trashAfter = {}; // the files the Trash holds afterwards
    bool locked = false;      // another run holds the folder meanwhile
};

void PrintTo(const CommandCase& row, std::ostream* out)
{
    *out << row.name;
}

class CommandTableTest : public CommandLineTest, public ::testing::WithParamInterface<CommandCase>
{
};

// Each case is run twice: with --dry-run, which must change nothing and foresee what the run that
// follows does with every file, and for real.
TEST_P(CommandTableTest, doesWhatItsDryRunForesees)
{
    const CommandCase& row = GetParam();
    createFiles(folder(), row.before);
    createFiles(save(), row.saveBefore);
    std::vector<std::string> arguments = expand(row.arguments);
    platform::FolderLock held;
    if (row.locked) {
        ASSERT_TRUE(held.lock({folder().string()}));
    }

    std::vector<std::string> dry = arguments;
    dry.insert(dry.end(), {"--dry-run", "--json"});
    const Finished foreseen = tallyfox(dry);
    EXPECT_EQ(readFiles(folder()), row.before) << "a dry run changed the folder";
    EXPECT_EQ(readFiles(save()), row.saveBefore) << "a dry run changed the save folder";
    const Finished plainDry = tallyfox(dry.front() == "number" || dry.front() == "extension"
                                           ? std::vector<std::string>(dry.begin(), dry.end() - 1)
                                           : dry);
    EXPECT_EQ(readFiles(folder()), row.before);

    const Finished done = tallyfox(arguments);
    EXPECT_EQ(done.status, row.exit) << done.out << done.err;
    EXPECT_EQ(readFiles(folder()), row.after);
    EXPECT_EQ(readFiles(save()), row.saveAfter);
    EXPECT_EQ(fs::exists(trash()) ? readFiles(trash()) : FileTree{}, row.trashAfter);
    if (!row.out.empty()) {
        EXPECT_NE(done.out.find(row.out), std::string::npos) << done.out;
    }
    if (!row.err.empty()) {
        EXPECT_NE(done.err.find(row.err), std::string::npos) << done.err;
    }
    if (row.exit == app::kUsageError) {
        EXPECT_EQ(foreseen.status, app::kUsageError);
        EXPECT_TRUE(done.out.empty());
        return;
    }
    if (row.locked) {
        return; // a dry run takes no lock: it foresees the run as if the folder were free
    }
    // The dry run ends as the run does, and says so in both forms.
    EXPECT_EQ(foreseen.status, row.exit) << foreseen.out << foreseen.err;
    EXPECT_EQ(plainDry.status, row.exit) << plainDry.out << plainDry.err;
    if (row.exit == app::kRefused) {
        EXPECT_EQ(foreseen.err, done.err);
        return;
    }
    ASSERT_EQ(plainDry.out.rfind("番号\t現在の名前\t新しい名前\t状態\n", 0), 0u) << plainDry.out;

    // Every file the dry run foresees done is found under its new name with its own content; every other
    // keeps its content under a name that is not the new one, and is listed with its reason.
    const QJsonArray rows = json(foreseen).value(QLatin1String("files")).toArray();
    ASSERT_FALSE(rows.isEmpty());
    const bool replace = std::find(arguments.begin(), arguments.end(), "--replace") != arguments.end();
    const bool moved = std::find(arguments.begin(), arguments.end(), "--move-to") != arguments.end();
    const bool copied = std::find(arguments.begin(), arguments.end(), "--copy-to") != arguments.end();
    const FileTree here = readFiles(folder());
    const FileTree there = readFiles(save());
    int position = 0;
    for (const QJsonValue& value : rows) {
        const QJsonObject file = value.toObject();
        EXPECT_EQ(file.value(QLatin1String("position")).toInt(), ++position);
        const std::string name = text(file.value(QLatin1String("name")));
        const std::string newName = text(file.value(QLatin1String("newName")));
        const std::string state = text(file.value(QLatin1String("state")));
        // The plain form shows the same row.
        EXPECT_NE(plainDry.out.find(std::to_string(position) + "\t" + name + "\t" + newName + "\t" + state + "\n"),
                  std::string::npos)
            << plainDry.out;
        const bool foreseenDone =
            !file.value(QLatin1String("problem")).toBool() || (replace && state == kSamePlaceSuffix);
        ASSERT_TRUE(row.before.contains(name)) << name;
        const std::string& content = row.before.at(name);
        const FileTree& landing = moved ? there : here;
        const auto at = landing.find(newName);
        if (foreseenDone) {
            ASSERT_NE(at, landing.end()) << name << " → " << newName;
            EXPECT_EQ(at->second, content) << name << " → " << newName;
            if (copied) {
                EXPECT_EQ(there.at(newName), content) << name << " → " << newName;
            }
        } else {
            EXPECT_TRUE((at == landing.end() || at->second != content) || copied) << name << " → " << newName;
            EXPECT_NE(done.err.find(name + " → "), std::string::npos) << done.err;
        }
    }
}

const FileTree kPhotos = {{"b.jpg", "bee"}, {"a.jpg", "ay"}, {"c.png", "sea"}};

INSTANTIATE_TEST_SUITE_P(
    Cases,
    CommandTableTest,
    ::testing::Values(
        CommandCase{"number only",
                    kPhotos,
                    {"number", "{folder}"},
                    0,
                    {{"001.jpg", "ay"}, {"002.jpg", "bee"}, {"003.png", "sea"}},
                    "リネームが完了しました。（3 件）\n"},
        CommandCase{"text before, start and digits",
                    kPhotos,
                    {"number", "{folder}", "--before", "trip_", "--start", "7", "--digits", "2"},
                    0,
                    {{"trip_07.jpg", "ay"}, {"trip_08.jpg", "bee"}, {"trip_09.png", "sea"}},
                    "リネームが完了しました。"},
        CommandCase{"text after, extension upper",
                    kPhotos,
                    {"number", "{folder}", "--after=-kyoto", "--ext", "upper"},
                    0,
                    {{"001-kyoto.JPG", "ay"}, {"002-kyoto.JPG", "bee"}, {"003-kyoto.PNG", "sea"}},
                    ""},
        CommandCase{"both texts, extension lower",
                    {{"X.JPG", "x"}, {"Y.Jpeg", "y"}},
                    {"number", "{folder}", "--before", "a-", "--after", "-b", "--ext", "lower", "--digits", "1"},
                    0,
                    {{"a-1-b.jpg", "x"}, {"a-2-b.jpeg", "y"}},
                    ""},
        CommandCase{"given extension, numbers by value, a mask of two patterns",
                    {{"img10.jpg", "ten"}, {"img2.jpeg", "two"}, {"skip.png", "png"}},
                    {"number", "{folder}", "--ext", ".webp", "--filter", "*.jpg;*.jpeg", "--order", "natural"},
                    0,
                    {{"001.webp", "two"}, {"002.webp", "ten"}, {"skip.png", "png"}},
                    ""},
        CommandCase{"extension upper keeps names and a name without one",
                    {{"Photo.jpeg", "p"}, {"README", "r"}},
                    {"extension", "{folder}", "--ext", "upper"},
                    0,
                    {{"Photo.JPEG", "p"}, {"README", "r"}},
                    "拡張子の変更が完了しました。（2 件）"},
        CommandCase{
            "extension lower", {{"A.JPG", "a"}}, {"extension", "{folder}", "--ext", "lower"}, 0, {{"A.jpg", "a"}}, ""},
        CommandCase{"extension given, one new name held outside the list",
                    {{"a.jpg", "a"}, {"b.jpg", "b"}, {"a.txt", "outside"}},
                    {"extension", "{folder}", "--ext", ".txt", "--filter", "*.jpg"},
                    1,
                    {{"a.jpg", "a"}, {"b.txt", "b"}, {"a.txt", "outside"}},
                    "拡張子の変更が完了しました。処理できなかったファイル： 1 件（全 2 件）",
                    "tallyfox: a.jpg → a.jpg：同じ名前のファイルが既にあります\n"},
        CommandCase{"copy into the save folder",
                    kPhotos,
                    {"number", "{folder}", "--copy-to", "save"},
                    0,
                    {{"001.jpg", "ay"}, {"002.jpg", "bee"}, {"003.png", "sea"}},
                    "リネーム＋コピーが完了しました。（3 件）",
                    "",
                    {},
                    {{"001.jpg", "ay"}, {"002.jpg", "bee"}, {"003.png", "sea"}}},
        CommandCase{"move into the save folder",
                    kPhotos,
                    {"number", "{folder}", "--move-to", "{save}"},
                    0,
                    {},
                    "リネーム＋移動が完了しました。（3 件）",
                    "",
                    {},
                    {{"001.jpg", "ay"}, {"002.jpg", "bee"}, {"003.png", "sea"}}},
        CommandCase{"a clash in the save folder without --replace is kept and reported",
                    kPhotos,
                    {"number", "{folder}", "--copy-to", "{save}"},
                    1,
                    {{"001.jpg", "ay"}, {"002.jpg", "bee"}, {"003.png", "sea"}},
                    "処理できなかったファイル： 1 件（全 3 件）",
                    "tallyfox: a.jpg → 001.jpg：保存フォルダに同じ名前のファイルがあるため、コピーしていません",
                    {{"001.jpg", "album one"}},
                    {{"001.jpg", "album one"}, {"002.jpg", "bee"}, {"003.png", "sea"}}},
        CommandCase{"a clash in the save folder with --replace goes to the Trash",
                    kPhotos,
                    {"number", "{folder}", "--move-to", "{save}", "--replace"},
                    0,
                    {},
                    "リネーム＋移動が完了しました。（3 件）",
                    "",
                    {{"001.jpg", "album one"}},
                    {{"001.jpg", "ay"}, {"002.jpg", "bee"}, {"003.png", "sea"}},
                    {{"001.jpg", "album one"}}},
        CommandCase{"a swap",
                    {{"001.jpg", "one"}, {"002.jpg", "two"}},
                    {"number", "{folder}", "--order", "reverse"},
                    0,
                    {{"001.jpg", "two"}, {"002.jpg", "one"}},
                    ""},
        CommandCase{"a shift by one",
                    {{"001.jpg", "one"}, {"002.jpg", "two"}, {"003.jpg", "three"}},
                    {"number", "{folder}", "--start", "2"},
                    0,
                    {{"002.jpg", "one"}, {"003.jpg", "two"}, {"004.jpg", "three"}},
                    ""},
        CommandCase{"a new name held by a file outside the list",
                    {{"a.jpg", "a"}, {"b.jpg", "b"}, {"002.png", "outside"}},
                    {"number", "{folder}", "--filter", "*.jpg", "--ext", ".png"},
                    1,
                    {{"001.png", "a"}, {"b.jpg", "b"}, {"002.png", "outside"}},
                    "処理できなかったファイル： 1 件（全 2 件）",
                    "tallyfox: b.jpg → b.jpg：同じ名前のファイルが既にあります"},
        CommandCase{"refused: no file to rename",
                    kPhotos,
                    {"number", "{folder}", "--filter", "*.gif"},
                    3,
                    kPhotos,
                    "",
                    "tallyfox: リネームするファイルがありません。\n"},
        CommandCase{"refused: a name no file can have",
                    kPhotos,
                    {"number", "{folder}", "--before", "a/b"},
                    3,
                    kPhotos,
                    "",
                    "tallyfox: a.jpg → a/b001.jpg：ファイル名に使えない名前です\n"},
        CommandCase{
            "refused: a missing folder", {}, {"number", "{folder}/gone"}, 3, {}, "", "：不正なファイル名です\n"},
        CommandCase{"refused: a missing save folder",
                    kPhotos,
                    {"number", "{folder}", "--copy-to", "{save}/gone"},
                    3,
                    kPhotos,
                    "",
                    "tallyfox: 保存フォルダが見つかりません："},
        CommandCase{"refused: the folder locked by another run",
                    kPhotos,
                    {"number", "{folder}"},
                    3,
                    kPhotos,
                    "",
                    "tallyfox: このフォルダでは別の処理が実行中です。\n",
                    {},
                    {},
                    {},
                    true},
        CommandCase{"usage: digits out of range",
                    kPhotos,
                    {"number", "{folder}", "--digits", "11"},
                    2,
                    kPhotos,
                    "",
                    "tallyfox number: --digits には 1 から 10 までの数を指定します：11\n"},
        CommandCase{"usage: copy and move at once",
                    kPhotos,
                    {"number", "{folder}", "--copy-to", "{save}", "--move-to", "{save}"},
                    2,
                    kPhotos,
                    "",
                    "--copy-to と --move-to は一緒に指定できません"},
        CommandCase{"usage: keep is no change of extensions",
                    kPhotos,
                    {"extension", "{folder}", "--ext", "keep"},
                    2,
                    kPhotos,
                    "",
                    "tallyfox extension: --ext には upper、lower か .拡張子 を指定します：keep"},
        CommandCase{"usage: an option of another command",
                    kPhotos,
                    {"extension", "{folder}", "--ext", "upper", "--before", "x"},
                    2,
                    kPhotos,
                    "",
                    "不明なオプションです：--before"}),
    TALLYFOX_ROW_NAMES);

// Without a journal nothing could be undone: the command touches nothing and says so.
TEST_F(CommandLineTest, noRunWithoutAJournal)
{
    createFiles(folder(), kPhotos);
    std::ofstream(m_root.path() / "state") << "a file where the journals' folder should be";
    const Finished finished = tallyfox({"number", folder().string()});
    EXPECT_EQ(finished.status, 3);
    EXPECT_EQ(finished.err,
              "tallyfox: 取り消し用の記録を書き込めないため、何も変更していません（記録の場所：" + journals() + "）\n");
    EXPECT_TRUE(finished.out.empty());
    EXPECT_EQ(readFiles(folder()), kPhotos);
}

// The JSON of a run: one document, its rows the dry run's with what happened to each file.
TEST_F(CommandLineTest, aRunInJsonTellsEachFile)
{
    createFiles(folder(), {{"a.jpg", "a"}, {"b.jpg", "b"}, {"002.png", "outside"}});
    const Finished finished = tallyfox({"number", folder().string(), "--filter", "*.jpg", "--ext", ".png", "--json"});
    EXPECT_EQ(finished.status, 1);
    const QJsonObject document = json(finished);
    EXPECT_EQ(text(document.value(QLatin1String("command"))), "number");
    EXPECT_EQ(document.value(QLatin1String("dryRun")).toBool(), false);
    EXPECT_EQ(text(document.value(QLatin1String("folder"))), folder().string());
    EXPECT_EQ(text(document.value(QLatin1String("operation"))), "リネームのみ");
    const QJsonArray rows = document.value(QLatin1String("files")).toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(text(rows[0].toObject().value(QLatin1String("newName"))), "001.png");
    EXPECT_TRUE(rows[0].toObject().value(QLatin1String("done")).toBool());
    const QJsonObject kept = rows[1].toObject();
    EXPECT_EQ(text(kept.value(QLatin1String("name"))), "b.jpg");
    EXPECT_FALSE(kept.value(QLatin1String("done")).toBool());
    EXPECT_EQ(text(kept.value(QLatin1String("now"))), "b.jpg");
    EXPECT_EQ(text(kept.value(QLatin1String("reason"))), "同じ名前のファイルが既にあります");
    EXPECT_EQ(text(kept.value(QLatin1String("state"))),
              "一覧にない同じ名前のファイルがフォルダにあるため、名前は変わりません");
    const QJsonObject summary = document.value(QLatin1String("summary")).toObject();
    EXPECT_EQ(summary.value(QLatin1String("files")).toInt(), 2);
    EXPECT_EQ(summary.value(QLatin1String("done")).toInt(), 1);
    EXPECT_EQ(summary.value(QLatin1String("notProcessed")).toInt(), 1);
}

// A run the window made is undone from the command line, and the other way round; history tells both.
TEST_F(CommandLineTest, eachFaceUndoesTheOthersRun)
{
    const FileTree start = {{"002.jpg", "two"}, {"001.jpg", "one"}, {"x.jpg", "x"}};
    createFiles(folder(), start);
    createFiles(save(), {{"001.jpg", "album"}});

    // The window's run: the run with its journal and lock, as the main window makes it.
    RunRequest request;
    request.folder = folder().string();
    request.names = {"002.jpg", "001.jpg", "x.jpg"};
    request.naming.operation = FileOperation::RenameCopy;
    request.saveFolder = save().string();
    request.confirmBeforeRun = 0;
    {
        testing::RecordingHost host;
        platform::PosixFileOperations files;
        platform::StoredRunRecord record(platform::systemCalls(), journals());
        ASSERT_TRUE(runRename(request, host, files, &record).started);
    }
    ASSERT_EQ(readFiles(folder()), (FileTree{{"001.jpg", "two"}, {"002.jpg", "one"}, {"003.jpg", "x"}}));

    const Finished told = tallyfox({"undo", "--dry-run"});
    EXPECT_EQ(told.status, 0);
    EXPECT_EQ(told.out.substr(0, told.out.find('\n') + 1), "直前の処理を元に戻します（3 件）。\n");
    EXPECT_NE(told.out.find("\nフォルダ：" + folder().string() + "\n処理：リネーム＋コピー（"), std::string::npos)
        << told.out;
    EXPECT_NE(
        told.out.find("\n保存フォルダのコピー 3 件を削除します。\nごみ箱から 1 件のファイルを元の場所に戻します。\n"),
        std::string::npos)
        << told.out;
    EXPECT_EQ(readFiles(save()).size(), 3u) << "a dry undo changed the save folder";

    const Finished undone = tallyfox({"undo"});
    EXPECT_EQ(undone.status, 0) << undone.err;
    EXPECT_EQ(undone.out, "処理前の名前に戻しました。（3 件）\n");
    EXPECT_EQ(readFiles(folder()), start);
    EXPECT_EQ(readFiles(save()), (FileTree{{"001.jpg", "album"}}));
    // Undone once: nothing is left to undo, and the window finds nothing either.
    const Finished again = tallyfox({"undo"});
    EXPECT_EQ(again.status, 3);
    EXPECT_EQ(again.err, "tallyfox: 元に戻せる処理はありません。\n");
    EXPECT_FALSE(ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).canUndo());

    // The command line's run, undone by the window.
    const Finished run = tallyfox({"number", folder().string(), "--move-to", save().string(), "--replace"});
    ASSERT_EQ(run.status, 0) << run.err;
    ui::RunHistory history(m_dialogs, platform::systemCalls(), journals());
    ASSERT_TRUE(history.canUndo());
    ASSERT_TRUE(history.undoLast());
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[0].text.toStdString(),
              "直前の処理を元に戻します（3 件）。よろしいですか？  \n\nフォルダ：" + folder().string()
                  + "\nごみ箱から 1 件のファイルを元の場所に戻します。");
    EXPECT_EQ(m_dialogs.messages[1].text.toStdString(), "処理前の名前に戻しました。  ");
    EXPECT_EQ(readFiles(folder()), start);
    EXPECT_EQ(readFiles(save()), (FileTree{{"001.jpg", "album"}}));

    // Newest first: the command line's run and the window's, both undone.
    const Finished listed = tallyfox({"history"});
    EXPECT_EQ(listed.status, 0);
    std::istringstream lines(listed.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "日時\tフォルダ\t処理\tファイル数\t状態");
    for (const char* operation : {"リネーム＋移動", "リネーム＋コピー"}) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_NE(line.find("\t" + folder().string() + "\t" + operation + "\t3\t元に戻しました"), std::string::npos)
            << line;
    }
    const QJsonArray runs = json(tallyfox({"history", "--json"})).value(QLatin1String("runs")).toArray();
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(text(runs[0].toObject().value(QLatin1String("state"))), "元に戻しました");
    EXPECT_EQ(runs[0].toObject().value(QLatin1String("files")).toInt(), 3);
}

// A command-line run killed half-way: history tells it, and the window's next start or `tallyfox undo`
// brings every file back.
struct CrashCase
{
    std::string name;
    bool byWindow; // recovered at the window's start, else by `tallyfox undo`
    int renames;   // the run is killed just before this rename (the journal's own is the first)
};

void PrintTo(const CrashCase& row, std::ostream* out)
{
    *out << row.name;
}

// The system's calls, the process killed just before the n-th rename (from 1). The folder is read for the
// journal on a thread of its own meanwhile, so only the renames are counted.
class KilledAtRename final : public platform::Syscalls
{
public:
    explicit KilledAtRename(int n)
        : m_n(n)
    {
    }

    int renameat2(int oldDirFd, const char* oldPath, int newDirFd, const char* newPath, unsigned flags) override
    {
        if (++m_renames == m_n) {
            ::kill(::getpid(), SIGKILL);
        }
        return Syscalls::renameat2(oldDirFd, oldPath, newDirFd, newPath, flags);
    }

private:
    const int m_n;
    std::atomic<int> m_renames{0};
};

class CommandCrashTest : public CommandLineTest, public ::testing::WithParamInterface<CrashCase>
{
};

TEST_P(CommandCrashTest, isBroughtBack)
{
    const CrashCase& row = GetParam();
    const FileTree start = {{"001.jpg", "one"}, {"002.jpg", "two"}, {"a.jpg", "a"}, {"b.jpg", "b"}};
    createFiles(folder(), start);
    const pid_t child = ::fork();
    if (child == 0) {
        std::FILE* quiet = std::fopen("/dev/null", "w");
        KilledAtRename calls(row.renames);
        std::vector<std::string> arguments = {"tallyfox", "number", folder().string(), "--order", "reverse"};
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        ::_exit(app::runCommand(static_cast<int>(argv.size()), argv.data(), calls, quiet, quiet));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the run was not killed";
    ASSERT_NE(readFiles(folder()), start) << "killed before any file was touched";

    const Finished listed = tallyfox({"history"});
    EXPECT_NE(listed.out.find("\t" + folder().string() + "\tリネームのみ\t4\t途中で終わっています\n"),
              std::string::npos)
        << listed.out;
    if (row.byWindow) {
        ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).recoverAtStart();
        ASSERT_EQ(m_dialogs.messages.size(), 2u);
        EXPECT_EQ(m_dialogs.messages[0].text.toStdString().rfind("前回の処理は途中で終わっています。", 0), 0u);
    } else {
        const Finished told = tallyfox({"undo", "--dry-run", "--json"});
        EXPECT_EQ(told.status, 0);
        EXPECT_TRUE(json(told).value(QLatin1String("unfinished")).toBool()) << told.out;
        const Finished undone = tallyfox({"undo"});
        EXPECT_EQ(undone.status, 0) << undone.err;
        EXPECT_EQ(undone.out.rfind("処理前の名前に戻しました。", 0), 0u) << undone.out;
    }
    EXPECT_EQ(readFiles(folder()), start);
    EXPECT_NE(tallyfox({"history"}).out.find("\t4\t元に戻しました\n"), std::string::npos);
    // Brought back once: neither face offers it again.
    m_dialogs.messages.clear();
    ui::RunHistory(m_dialogs, platform::systemCalls(), journals()).recoverAtStart();
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(tallyfox({"undo"}).status, 3);
}

// Renames are counted from the journal's own (#1). In reverse order b.jpg takes 001, a.jpg 002, 002.jpg 003
// and 001.jpg 004: each chain goes from its free end, 001.jpg and 002.jpg first.
INSTANTIATE_TEST_SUITE_P(Points,
                         CommandCrashTest,
                         ::testing::Values(CrashCase{"one file renamed, undone from the command line", false, 3},
                                           CrashCase{"one file renamed, recovered at the window's start", true, 3},
                                           CrashCase{"three files renamed, undone from the command line", false, 5}),
                         TALLYFOX_ROW_NAMES);

// The commands take no single-instance guard and need no display; the usage lists them.
TEST_F(CommandLineTest, helpListsTheCommands)
{
    const Finished help = tallyfox({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("使い方: tallyfox [--help | --version] [フォルダ]\n        tallyfox number フォルダ", 0),
              0u)
        << help.out;
    for (const char* command : {"\n  number ", "\n  extension ", "\n  undo ", "\n  history "}) {
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
    }
    const Finished number = tallyfox({"number", "--help"});
    EXPECT_EQ(number.status, 0);
    EXPECT_EQ(number.out.rfind("使い方: tallyfox number フォルダ [オプション]...\n", 0), 0u) << number.out;
}

} // namespace
} // namespace tallyfox
