#include "core/integer_text.h"
#include "core/preview_list.h"
#include "platform/file_operations.h"
#include "platform/folders.h"
#include "platform/syscalls.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace tallyfox {
namespace {

// One letter per file of the list, for its 状態.
char letterOf(PreviewState state)
{
    switch (state) {
    case PreviewState::Renamed:
        return 'R';
    case PreviewState::Unchanged:
        return 'U';
    case PreviewState::HeldOutside:
        return 'O';
    case PreviewState::Duplicate:
        return 'D';
    case PreviewState::Unusable:
        return 'X';
    case PreviewState::HeldInList:
        return 'L';
    case PreviewState::InSaveFolder:
        return 'S';
    case PreviewState::FolderInSaveFolder:
        return 'F';
    case PreviewState::UnusableInSaveFolder:
        return 'Y';
    case PreviewState::NoSaveFolder:
        break;
    }
    return 'N';
}

// Answers every box OK except a question to replace a file, and records the names it was asked about.
class CautiousHost final : public RunHost
{
public:
    RunAnswer ask(const std::string& text, RunBox box) override
    {
        if (box != RunBox::Overwrite) {
            return RunAnswer::Ok;
        }
        asked.insert(text.substr(0, text.find("は既に存在します")));
        return RunAnswer::Cancel;
    }
    void setProgress(int) override
    {
    }
    void relistFileLists() override
    {
    }

    std::set<std::string, std::less<>> asked;
};

enum class Save
{
    Elsewhere, // a save folder of its own, made with the entries of the row
    Missing,   // a save folder that does not exist
    Same,      // the list's folder itself
};

struct PreviewCase
{
    const char* name;
    std::vector<std::string> listed; // the list, in its order
    std::vector<std::string> others; // the folder's other entries; a name ending in "/" is a folder
    NamingSettings naming;
    std::string expected;                // one letter per file (letterOf)
    std::string firstText = {};          // the 状態 of the first file, where checked
    std::vector<std::string> saved = {}; // the save folder's entries
    Save save = Save::Elsewhere;
};

NamingSettings numbered(FileOperation operation = FileOperation::RenameOnly)
{
    NamingSettings n;
    n.operation = operation;
    return n;
}

NamingSettings before(std::string text)
{
    NamingSettings n;
    n.pattern = NamePattern::NameNumber;
    n.textBefore = std::move(text);
    return n;
}

// Numbers of one digit from 9 on: the tenth file's number has one digit more than the first's.
NamingSettings fromNine()
{
    NamingSettings n;
    n.startNumber = 9;
    n.digitCount = 1;
    return n;
}

NamingSettings extension(ExtensionMode mode, std::string given = {})
{
    NamingSettings n;
    n.operation = FileOperation::ExtensionOnly;
    n.extensionMode = mode;
    n.givenExtension = std::move(given);
    return n;
}

void make(const std::filesystem::path& folder, const std::vector<std::string>& entries)
{
    std::filesystem::create_directories(folder);
    for (const std::string& entry : entries) {
        if (entry.back() == '/') {
            std::filesystem::create_directory(folder / entry.substr(0, entry.size() - 1));
        } else {
            std::ofstream(folder / entry) << entry;
        }
    }
}

// What the window's preview of the same list says: the same states, counts, texts and names for
// every file, whether it made the whole plan or composed the names of the rows asked for.
void expectListedAsWhole(const RunRequest& request, const PreviewFolders& folders)
{
    const PreviewList whole = previewRun(request, folders);
    RunRequest withoutNames = request;
    withoutNames.names.clear();
    const PreviewList listed = previewListed(request.names, withoutNames, folders);
    EXPECT_EQ(listed.states, whole.states);
    EXPECT_EQ(listed.problems, whole.problems);
    EXPECT_EQ(listed.refusal, whole.refusal);
    EXPECT_EQ(previewSummary(listed), previewSummary(whole));
    for (std::size_t i = 0; i < whole.states.size(); ++i) {
        EXPECT_EQ(previewOldName(listed, i), request.names[i]);
        EXPECT_EQ(previewNewName(listed, i), whole.plan.files[i].final);
        EXPECT_EQ(previewStateText(listed, i), previewStateText(whole, i)) << i;
    }
}

class PreviewListTest : public ::testing::TestWithParam<PreviewCase>
{
};

// The states shown, and the run itself on the same folder as the oracle: a file shown without a
// problem takes its new name, a file shown as failing does not, and the run asks to replace exactly
// the files shown as already in the save folder.
TEST_P(PreviewListTest, SaysWhatTheRunWillDoWithEachFile)
{
    const PreviewCase& row = GetParam();
    testing::TempDir root;
    const std::filesystem::path folder = root.path() / "photos";
    make(folder, row.listed);
    make(folder, row.others);
    RunRequest request;
    request.folder = folder.string();
    request.names = row.listed;
    request.naming = row.naming;
    request.confirmBeforeRun = 0;
    switch (row.save) {
    case Save::Elsewhere:
        make(root.path() / "save", row.saved);
        request.saveFolder = (root.path() / "save").string() + "/";
        break;
    case Save::Missing:
        request.saveFolder = (root.path() / "none").string() + "/";
        break;
    case Save::Same:
        request.saveFolder = folder.string() + "/";
        break;
    }
    const bool transfer =
        row.naming.operation == FileOperation::RenameCopy || row.naming.operation == FileOperation::RenameMove;
    if (!transfer) {
        request.saveFolder.clear();
    }

    platform::Syscalls& calls = platform::systemCalls();
    const PreviewFolders folders = platform::readPreviewFolders(calls, request.folder, row.listed, request.saveFolder);
    const PreviewList preview = previewRun(request, folders);
    expectListedAsWhole(request, folders);
    std::string letters;
    std::size_t problems = 0;
    for (const PreviewState state : preview.states) {
        letters += letterOf(state);
        problems += isProblem(state) ? 1 : 0;
    }
    EXPECT_EQ(letters, row.expected);
    EXPECT_EQ(preview.problems, problems);
    EXPECT_EQ(previewSummary(preview),
              problems == 0 ? "問題のあるファイルはありません（全 " + std::to_string(letters.size()) + " 件）"
                            : "問題のあるファイル： " + std::to_string(problems) + " 件（全 "
                                  + std::to_string(letters.size()) + " 件）");
    if (!row.firstText.empty()) {
        EXPECT_EQ(previewStateText(preview, 0), row.firstText);
    }

    platform::PosixFileOperations files(calls);
    CautiousHost host;
    const RunResult result = runRename(request, host, files);
    std::set<std::string, std::less<>> failed;
    for (const FileFailure& failure : result.failures) {
        failed.insert(failure.before);
    }
    for (std::size_t i = 0; i < row.listed.size(); ++i) {
        const PlannedName& file = preview.plan.files[i];
        const PreviewState state = preview.states[i];
        if (state != PreviewState::Duplicate) {
            EXPECT_EQ(failed.contains(file.old), isProblem(state) && state != PreviewState::InSaveFolder) << file.old;
        }
        EXPECT_EQ(host.asked.contains(file.final), state == PreviewState::InSaveFolder) << file.old;
    }
}

INSTANTIATE_TEST_SUITE_P(
    States,
    PreviewListTest,
    ::testing::Values(
        PreviewCase{"EveryFileTakesItsNewName", {"b.jpg", "a.jpg"}, {}, numbered(), "RR", "名前を変えます"},
        PreviewCase{"ANameTheFileHasIsNoChange",
                    {"001.jpg", "x.jpg"},
                    {},
                    numbered(),
                    "UR",
                    "変更はありません（今と同じ名前です）"},
        PreviewCase{"AFileOutsideTheListHoldsTheName",
                    {"b.jpg", "a.jpg"},
                    {"001.jpg", "a.png"},
                    numbered(),
                    "OR",
                    "一覧にない同じ名前のファイルがフォルダにあるため、名前は変わりません"},
        PreviewCase{"AFolderOutsideTheListHoldsTheName", {"b.jpg", "a.jpg"}, {"002.jpg/"}, numbered(), "RO"},
        PreviewCase{
            "AHeldNameInAChainStillLetsTheFileBeforeItMove", {"x.jpg", "001.jpg"}, {"002.jpg"}, numbered(), "RO"},
        PreviewCase{"AFileThatCannotStepAsideHoldsUpTheOneWaitingForIt",
                    {"x.jpg", "001.jpg"},
                    {"002.jpg", "_002.jpg"},
                    numbered(),
                    "LO",
                    "この名前の一覧のファイルが名前を変えられないため、名前は変わりません"},
        PreviewCase{"AFileWhoseNewNameIsTooLongHoldsUpTheOneWaitingForIt",
                    {"q." + std::string(253, 'x'), "9." + std::string(253, 'x')},
                    {},
                    fromNine(),
                    "LX"},
        PreviewCase{"TwoFilesOfTheListGetOneName",
                    {"a.jpg", "a.png", "b.gif"},
                    {},
                    extension(ExtensionMode::Specified, "png"),
                    "DDR",
                    "2 番と同じ名前になります"},
        PreviewCase{"ANameTheLaterFileStillHoldsInAChangeOfExtensions",
                    {"x.q", "x.y.z"},
                    {},
                    extension(ExtensionMode::Specified, ".y.z"),
                    "LR"},
        PreviewCase{"TheSameNamesInTheOtherOrder",
                    {"x.y.z", "x.q"},
                    {},
                    extension(ExtensionMode::Specified, ".y.z"),
                    "RR",
                    "拡張子を変えます"},
        PreviewCase{
            "ASlashCannotBeInAName", {"a.jpg", "b.jpg"}, {}, before("a/"), "XX", "ファイル名に使えない名前です"},
        PreviewCase{"ANameTooLong", {"a.jpg"}, {}, before(std::string(300, 'x')), "X", "名前が長すぎます"},
        PreviewCase{
            "OneOrTwoDotsCannotNameAFile", {".a", "..b", "c"}, {}, extension(ExtensionMode::Specified, "."), "XXR"},
        PreviewCase{"TheSaveFolderHasAFileOrAFolderOfTheName",
                    {"a.jpg", "b.jpg", "c.jpg"},
                    {},
                    numbered(FileOperation::RenameCopy),
                    "SFR",
                    "保存フォルダに同じ名前のファイルがあります（実行時に上書きするか確かめます）",
                    {"001.jpg", "002.jpg/"}},
        PreviewCase{"AMoveIntoAFolderThatIsNotThere",
                    {"a.jpg"},
                    {},
                    numbered(FileOperation::RenameMove),
                    "N",
                    "保存フォルダが見つかりません",
                    {},
                    Save::Missing},
        PreviewCase{"ACopyIntoTheListsOwnFolder",
                    {"a.jpg", "001.jpg"},
                    {},
                    numbered(FileOperation::RenameCopy),
                    "RR",
                    "名前を変えてコピーします",
                    {},
                    Save::Same}),
    [](const ::testing::TestParamInfo<PreviewCase>& info) {
        return std::string(info.param.name);
    });

// The run's refusals and an unusable digit count are told in the line below the list.
TEST(PreviewSummaryTest, TellsWhyTheRunWouldNotStart)
{
    RunRequest request;
    request.names = {"a.jpg"};
    request.naming.operation = FileOperation::RenameCopy;
    EXPECT_EQ(previewSummary(previewRun(request, {})), "コピー用フォルダが設定されていません。");
    request.naming.operation = FileOperation::RenameOnly;
    request.naming.digitCount = -1;
    const PreviewList preview = previewRun(request, {});
    EXPECT_TRUE(preview.states.empty());
    EXPECT_EQ(previewSummary(preview), "書式文字列 '%.0-' は正しくないか引数の型と一致しません");
}

// The window's preview of the same refusals.
TEST(PreviewSummaryTest, TellsTheWindowWhyTheRunWouldNotStart)
{
    RunRequest request;
    request.names = {"a.jpg"};
    request.naming.operation = FileOperation::RenameCopy;
    expectListedAsWhole(request, {});
    request.naming.operation = FileOperation::RenameOnly;
    request.naming.digitCount = -1;
    expectListedAsWhole(request, {});
    request.names.clear();
    expectListedAsWhole(request, {});
}

// What the run will do, judged by the file systems of the folder and of the save folder: a camera's
// card refuses some characters, and FAT, exFAT and NTFS count a name in UTF-16 code units.
struct FileSystemCase
{
    const char* name;
    NameRules folder;
    NameRules save;
    NamingSettings naming;
    std::string expected; // letterOf the one file
    std::string text;
};

class PreviewFileSystemTest : public ::testing::TestWithParam<FileSystemCase>
{
};

TEST_P(PreviewFileSystemTest, SaysWhyTheFileSystemRefusesTheName)
{
    const FileSystemCase& row = GetParam();
    RunRequest request;
    request.folder = "/photos";
    request.names = {"IMG_0001.JPG"};
    request.naming = row.naming;
    const bool transfer = row.naming.operation == FileOperation::RenameCopy;
    request.saveFolder = transfer ? "/album/" : "";
    PreviewFolders folders;
    folders.entries = {"IMG_0001.JPG"};
    folders.saveFolderRead = transfer;
    folders.names = row.folder;
    folders.saveNames = row.save;

    const PreviewList preview = previewRun(request, folders);
    expectListedAsWhole(request, folders);
    ASSERT_EQ(preview.states.size(), 1u);
    EXPECT_EQ(std::string(1, letterOf(preview.states[0])), row.expected);
    EXPECT_EQ(previewStateText(preview, 0), row.text);
    EXPECT_EQ(previewSummary(preview),
              row.expected == "R" ? "問題のあるファイルはありません（全 1 件）"
                                  : "問題のあるファイル： 1 件（全 1 件）");
}

NamingSettings copied(NamingSettings naming)
{
    naming.operation = FileOperation::RenameCopy;
    return naming;
}

std::string kana(std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += "あ";
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    FileSystems,
    PreviewFileSystemTest,
    ::testing::Values(
        FileSystemCase{
            "AColonOnALinuxDisk", NameRules::Bytes, NameRules::Bytes, before("10:30_"), "R", "名前を変えます"},
        FileSystemCase{
            "AColonOnACard", NameRules::Fat, NameRules::Bytes, before("10:30_"), "X", "ファイル名に使えない名前です"},
        FileSystemCase{
            "AColonOnAnNtfsDisk", NameRules::Utf16, NameRules::Bytes, before("10:30_"), "R", "名前を変えます"},
        FileSystemCase{"AJapaneseNameOf300BytesOnALinuxDisk",
                       NameRules::Bytes,
                       NameRules::Bytes,
                       before(kana(100)),
                       "X",
                       "名前が長すぎます"},
        FileSystemCase{
            "TheSameNameOnACard", NameRules::Fat, NameRules::Bytes, before(kana(100)), "R", "名前を変えます"},
        FileSystemCase{"TheSameNameOnACardPastItsUnits",
                       NameRules::Fat,
                       NameRules::Bytes,
                       before(kana(250)),
                       "X",
                       "名前が長すぎます"},
        FileSystemCase{"ACopyOntoACard",
                       NameRules::Bytes,
                       NameRules::Fat,
                       copied(before("10:30_")),
                       "Y",
                       "保存フォルダではファイル名に使えない名前です"},
        FileSystemCase{"ACopyFromACardOntoALinuxDisk",
                       NameRules::Fat,
                       NameRules::Bytes,
                       copied(before(kana(100))),
                       "Y",
                       "保存フォルダでは名前が長すぎます"}),
    [](const ::testing::TestParamInfo<FileSystemCase>& info) {
        return std::string(info.param.name);
    });

// The counts below the list are grouped in threes, as the main window's count is.
TEST(PreviewSummaryTest, GroupsItsCountsAsTheMainWindowDoes)
{
    PreviewList preview;
    preview.states.assign(1234567, PreviewState::Renamed);
    EXPECT_EQ(previewSummary(preview), "問題のあるファイルはありません（全 1,234,567 件）");
    preview.problems = 1000;
    EXPECT_EQ(previewSummary(preview), "問題のあるファイル： 1,000 件（全 1,234,567 件）");
    EXPECT_EQ(groupedCount(999), "999");
    EXPECT_EQ(groupedCount(1000000), "1,000,000");
}

// A numbering's states traced from the names around the list back to the file whose number they bear,
// beside the whole plan's: numbers written otherwise, below zero, a name the file keeps, an extension a
// card refuses, a name too long by its own extension alone.
struct TracedCase
{
    const char* name;
    std::vector<std::string> listed;
    std::vector<std::string> outside;
    NamingSettings naming;
    std::string expected; // letterOf each file
    std::vector<std::string> saved = {};
    NameRules saveNames = NameRules::Bytes;
};

class PreviewTracedTest : public ::testing::TestWithParam<TracedCase>
{
};

TEST_P(PreviewTracedTest, TracesTheNamesAroundTheListToTheirFiles)
{
    const TracedCase& row = GetParam();
    RunRequest request;
    request.folder = "/photos";
    request.names = row.listed;
    request.naming = row.naming;
    PreviewFolders folders;
    folders.entries = row.listed;
    for (const std::string& name : row.outside) {
        folders.entries.push_back(name);
        folders.outside.insert(name);
    }
    if (row.naming.operation == FileOperation::RenameCopy) {
        request.saveFolder = "/album/";
        folders.saveFolderRead = true;
        folders.saveNames = row.saveNames;
        for (const std::string& name : row.saved) {
            folders.saveEntries.emplace(name, EntryKind::File);
        }
    }
    RunRequest withoutNames = request;
    withoutNames.names.clear();
    const PreviewList preview = previewListed(row.listed, withoutNames, folders);
    std::string letters;
    for (const PreviewState state : preview.states) {
        letters += letterOf(state);
    }
    EXPECT_EQ(letters, row.expected);
    expectListedAsWhole(request, folders);
}

NamingSettings fromMinusOne()
{
    NamingSettings n;
    n.startNumber = -1;
    return n;
}

INSTANTIATE_TEST_SUITE_P(
    Traced,
    PreviewTracedTest,
    ::testing::Values(TracedCase{"ANumberWrittenWithOtherZerosHoldsNothing",
                                 {"a.jpg", "b.jpg"},
                                 {"kyoto_2.jpg", "kyoto_0002.jpg", "kyoto_002.jpg"},
                                 before("kyoto_"),
                                 "RO"},
                      TracedCase{"NumbersBelowZero",
                                 {"a.jpg", "b.jpg", "c.jpg"},
                                 {"-001.jpg", "001.jpg", "-000.jpg"},
                                 fromMinusOne(),
                                 "ORO"},
                      TracedCase{"ANameTheFileHasAlready", {"002.jpg", "x.jpg", "003.jpg"}, {}, numbered(), "RRU"},
                      TracedCase{"AnExtensionACardRefuses",
                                 {"a.b:c", "d.jpg"},
                                 {},
                                 numbered(FileOperation::RenameCopy),
                                 "YS",
                                 {"002.jpg"},
                                 NameRules::Fat},
                      TracedCase{"ANameLongByItsOwnExtension",
                                 {"a." + std::string(250, 'x'), "b." + std::string(251, 'x')},
                                 {},
                                 before("k"),
                                 "RX"}),
    [](const ::testing::TestParamInfo<TracedCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
} // namespace tallyfox
