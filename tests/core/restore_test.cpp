#include "core/multibyte.h"
#include "core/recovery.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>

namespace tallyfox {
namespace {

constexpr std::int64_t kStarted = 1000000;
constexpr std::uint64_t kDevice = 1;

// A file of the scene, by its tag: born before the run unless said otherwise.
struct SceneFile
{
    std::uint64_t inode = 0;
    std::int64_t born = kStarted - 10;
    std::int64_t size = 10;
    std::int64_t modified = 500;
    std::uint64_t device = kDevice;
    std::int64_t changed = kStarted + 5; // its inode's last change
};

struct Name
{
    RunFolder folder;
    std::string name;
    std::string tag;

    bool operator==(const Name&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Name& name)
{
    return out << (name.folder == RunFolder::Folder ? "folder/" : "save/") << name.name << "=" << name.tag;
}

// The run's two folders held in memory over files that may have several names, as a file system has
// them: a folder may ignore case, and keep times coarsely. Every step checks who it acts on as the real
// steps do, and a removal takes a name away; a file whose last name goes is lost.
class MemoryFolders final : public RecoverySteps
{
public:
    // `caseBlind`: the folder ignores case, but says it does not, as one whose case cannot be told.
    MemoryFolders(std::map<std::string, SceneFile> files, std::vector<Name> names, bool ignoreCase, bool caseBlind)
        : files(std::move(files))
        , names(std::move(names))
        , m_ignoreCase(ignoreCase || caseBlind)
        , m_caseBlind(caseBlind)
    {
    }

    std::optional<FileIdentity> look(RunFolder folder, const std::string& name) override
    {
        const auto at = find(folder, name);
        if (at == names.end()) {
            return std::nullopt;
        }
        return identity(at->tag);
    }
    std::vector<std::string> hiddenNames(RunFolder folder) override
    {
        std::vector<std::string> hidden;
        for (const Name& name : names) {
            if (name.folder == folder && name.name.starts_with(".tallyfox.")) {
                hidden.push_back(name.name);
            }
        }
        return hidden;
    }
    std::optional<std::uint64_t> listed(RunFolder folder, std::string_view name) override
    {
        const auto at = find(folder, std::string(name));
        return at == names.end() ? std::nullopt : std::optional<std::uint64_t>(identity(at->tag).inode);
    }
    bool ignoresCase(RunFolder folder) override
    {
        return m_ignoreCase && !m_caseBlind && folder == RunFolder::Folder;
    }
    std::string spelling(RunFolder folder, const std::string& name) override
    {
        const auto at = find(folder, name);
        return at == names.end() ? name : at->name;
    }
    std::int64_t timePrecisionNs(RunFolder folder) override
    {
        return folder == RunFolder::SaveFolder ? savePrecision : 1;
    }
    std::string privateName(RunFolder /*folder*/) override
    {
        return ".tallyfox.restore-" + std::to_string(++m_private) + ".tmp";
    }
    // The Trash is the save folder's names under "trash/".
    std::string trashed(RunFolder folder, const std::string& name, const FileIdentity& expected) override
    {
        const auto at = find(folder, "trash/" + name);
        return at != names.end() && matches(identity(at->tag), expected, Match::Inode, kStarted, 1) ? at->name
                                                                                                    : std::string();
    }
    int putBack(const std::string& trashed,
                RunFolder folder,
                const std::string& name,
                const FileIdentity& expected) override
    {
        return rename(folder, trashed, folder, name, expected, Match::Inode);
    }
    int rename(RunFolder fromFolder,
               const std::string& from,
               RunFolder toFolder,
               const std::string& to,
               const FileIdentity& expected,
               Match match) override
    {
        beforeStep();
        const auto at = find(fromFolder, from);
        if (const int error = check(at, expected, match)) {
            return error;
        }
        if (find(toFolder, to) != names.end()) {
            return EEXIST;
        }
        at->folder = toFolder;
        at->name = to;
        return 0;
    }
    int remove(RunFolder folder, const std::string& name, const FileIdentity& expected, Match match) override
    {
        beforeStep();
        const auto at = find(folder, name);
        if (const int error = check(at, expected, match)) {
            return error;
        }
        names.erase(at);
        return 0;
    }

    FileIdentity identity(const std::string& tag) const
    {
        const SceneFile& file = files.at(tag);
        return {.device = file.device,
                .inode = file.inode,
                .size = file.size,
                .modifiedNs = file.modified,
                .bornNs = file.born,
                .changedNs = file.changed};
    }

    std::map<std::string, SceneFile> files;
    std::vector<Name> names;
    std::int64_t savePrecision = 1;
    bool byContent = false; // numbered anew at each mount
    std::function<void(MemoryFolders&)> beforeFirstStep;

private:
    std::vector<Name>::iterator find(RunFolder folder, const std::string& name)
    {
        return std::find_if(names.begin(), names.end(), [&](const Name& held) {
            return held.folder == folder
                   && (held.name == name
                       || (m_ignoreCase && folder == RunFolder::Folder
                           && equalIgnoringAsciiCase(held.name, name, CodePage::Utf8)));
        });
    }

    int check(std::vector<Name>::iterator at, const FileIdentity& expected, Match match)
    {
        if (at == names.end()) {
            return ENOENT;
        }
        const FileIdentity seen = identity(at->tag);
        const auto links = std::count_if(names.begin(), names.end(), [&](const Name& name) {
            return identity(name.tag).sameInode(seen);
        });
        if (!matches(seen, expected, match, kStarted, timePrecisionNs(RunFolder::SaveFolder), byContent)
            || (match == Match::OtherName && links < 2)) {
            return ESTALE;
        }
        return 0;
    }

    void beforeStep()
    {
        if (beforeFirstStep) {
            std::exchange(beforeFirstStep, nullptr)(*this);
        }
    }

    bool m_ignoreCase;
    bool m_caseBlind;
    int m_private = 0;
};

struct Entry
{
    std::string old{};
    std::string final{};
    std::string tag{};
    std::string target{};   // a copy or move's name in the save folder
    std::string atTarget{}; // the tag of what stood there before the run
};

struct RestoreCase
{
    std::string name{};
    FileOperation operation{};
    std::map<std::string, SceneFile> files{};
    std::vector<Entry> entries{};
    std::vector<Name> now{};
    std::vector<Name> after{}; // empty: as before the run
    bool ignoreCase = false;
    bool caseBlind = false;
    bool recordedContent = false; // identities with size and time, as a copy or move records them
    std::size_t failures = 0;
    std::size_t lost = 0; // files replaced outright, told of in the question
    std::function<void(MemoryFolders&)> beforeFirstStep{};
    std::int64_t savePrecision = 1;
    bool remounted = false; // a card put back: its files numbered anew, known by size and times
    bool ended = false;     // the run ended: undone, not recovered
};

class RestoreTest : public ::testing::TestWithParam<RestoreCase>
{
};

std::vector<Name> sorted(std::vector<Name> names)
{
    std::sort(names.begin(), names.end(), [](const Name& a, const Name& b) {
        return std::tie(a.folder, a.name, a.tag) < std::tie(b.folder, b.name, b.tag);
    });
    return names;
}

TEST_P(RestoreTest, bringsBackEveryNameAndRemovesOnlyWhatTheRunMade)
{
    const RestoreCase& row = GetParam();
    // Planned all at once, and a file at a time: what a share of the plan finds holds for its files alone.
    for (const std::size_t share : {Restoration::kEntriesAtOnce, std::size_t{1}}) {
        SCOPED_TRACE(share);
        MemoryFolders folders(row.files, row.now, row.ignoreCase, row.caseBlind);
        folders.savePrecision = row.savePrecision;
        folders.byContent = row.remounted;
        Journal journal;
        journal.startedNs = kStarted;
        journal.operation = row.operation;
        if (row.ended) {
            journal.marks.push_back(JournalMark::RunDone);
        }
        if (row.remounted) {
            journal.volume = "uuid:0123-4567";
            journal.volumePath = "/DCIM";
        }
        std::vector<Name> before;
        for (std::size_t i = 0; i < row.entries.size(); ++i) {
            const Entry& entry = row.entries[i];
            FileIdentity identity = folders.identity(entry.tag);
            if (!row.recordedContent) {
                identity = {.device = identity.device,
                            .inode = identity.inode,
                            .size = 0,
                            .modifiedNs = FileIdentity::kContentUnknown};
            }
            const std::string temporary = ".t" + std::to_string(i);
            journal.add({entry.old, temporary, entry.final, entry.target},
                        identity,
                        entry.atTarget.empty() ? FileIdentity{} : folders.identity(entry.atTarget));
            before.push_back({RunFolder::Folder, entry.old, entry.tag});
            if (!entry.atTarget.empty()) {
                before.push_back({RunFolder::SaveFolder, entry.target, entry.atTarget});
            }
        }
        for (const Name& name : row.now) {
            const bool listed = std::any_of(row.entries.begin(), row.entries.end(), [&](const Entry& entry) {
                return entry.tag == name.tag || entry.atTarget == name.tag || entry.target == name.name;
            });
            if (!listed) {
                before.push_back(name); // a file the run never touched
            }
        }
        folders.beforeFirstStep = row.beforeFirstStep;
        if (row.ended) {
            // As a journal of a run that ended is read: a file known by its number alone that changed after
            // the end is not the run's file as it was.
            journal.identities.changedBefore(kStarted + 10);
        }

        Restoration restoration(journal, folders, share);
        EXPECT_EQ(restoration.counts().lost, row.lost);
        const std::vector<FileFailure> failures = restoration.run();

        EXPECT_EQ(sorted(folders.names), sorted(row.after.empty() ? before : row.after));
        EXPECT_EQ(failures.size(), row.failures) << (failures.empty() ? "" : failures.front().reason);
    }
}

const std::map<std::string, SceneFile> kTwoFiles = {{"I", {.inode = 11}}, {"J", {.inode = 12}}};
const std::map<std::string, SceneFile> kThreeFiles = {{"I", {.inode = 11}}, {"J", {.inode = 12}}, {"K", {.inode = 13}}};

using F = RunFolder;

INSTANTIATE_TEST_SUITE_P(
    Scenes,
    RestoreTest,
    ::testing::Values(
        RestoreCase{.name = "a hard-linked pair swapped",
                    .operation = FileOperation::RenameOnly,
                    .files = kTwoFiles,
                    .entries = {{"10.jpg", "9.jpg", "I"}, {"9.jpg", "10.jpg", "I"}},
                    .now = {{F::Folder, "10.jpg", "I"}, {F::Folder, "9.jpg", "I"}}},
        RestoreCase{.name = "a hard-linked pair swapped, one name stepped aside",
                    .operation = FileOperation::RenameOnly,
                    .files = kTwoFiles,
                    .entries = {{"10.jpg", "9.jpg", "I"}, {"9.jpg", "10.jpg", "I"}},
                    .now = {{F::Folder, ".t0", "I"}, {F::Folder, "9.jpg", "I"}}},
        RestoreCase{.name = "a ring of three with a link",
                    .operation = FileOperation::RenameOnly,
                    .files = kTwoFiles,
                    .entries = {{"a", "b", "I"}, {"b", "c", "I"}, {"c", "a", "J"}},
                    .now = {{F::Folder, "a", "J"}, {F::Folder, "b", "I"}, {F::Folder, "c", "I"}}},
        RestoreCase{.name = "a ring of three",
                    .operation = FileOperation::RenameOnly,
                    .files = kThreeFiles,
                    .entries = {{"a", "b", "I"}, {"b", "c", "J"}, {"c", "a", "K"}},
                    .now = {{F::Folder, "a", "K"}, {F::Folder, "b", "I"}, {F::Folder, "c", "J"}}},
        RestoreCase{.name = "a shift that must go back from its far end",
                    .operation = FileOperation::RenameOnly,
                    .files = kThreeFiles,
                    .entries = {{"1", "2", "I"}, {"2", "3", "J"}, {"3", "4", "K"}},
                    .now = {{F::Folder, "2", "I"}, {F::Folder, "3", "J"}, {F::Folder, "4", "K"}}},
        RestoreCase{.name = "a rename by link and unlink cut between its steps",
                    .operation = FileOperation::RenameOnly,
                    .files = kTwoFiles,
                    .entries = {{"a", "b", "I"}, {"b", "c", "J"}},
                    .now = {{F::Folder, "a", "I"}, {F::Folder, "b", "I"}, {F::Folder, "c", "J"}}},
        RestoreCase{.name = "a link already in the save folder under the file's new name",
                    .operation = FileOperation::RenameCopy,
                    .files = kTwoFiles,
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg", "I"}},
                    .now = {{F::Folder, "001.jpg", "I"}, {F::SaveFolder, "001.jpg", "I"}},
                    .recordedContent = true},
        RestoreCase{.name = "an extension run in a folder that ignores case",
                    .operation = FileOperation::ExtensionOnly,
                    .files = kThreeFiles,
                    .entries = {{"A.JPG", "A.jpg", "I"}, {"B.JPG", "B.jpg", "J"}},
                    .now = {{F::Folder, "A.jpg", "I"}, {F::Folder, "B.jpg", "J"}, {F::Folder, "C.TXT", "K"}},
                    .ignoreCase = true},
        RestoreCase{.name = "an extension run in a folder that ignores case, cut half-way",
                    .operation = FileOperation::ExtensionOnly,
                    .files = kThreeFiles,
                    .entries = {{"A.JPG", "A.jpg", "I"}, {"B.JPG", "B.jpg", "J"}},
                    .now = {{F::Folder, "A.jpg", "I"}, {F::Folder, "B.JPG", "J"}, {F::Folder, "C.TXT", "K"}},
                    .ignoreCase = true},
        RestoreCase{.name = "an extension run in a folder that ignores case but cannot be told so",
                    .operation = FileOperation::ExtensionOnly,
                    .files = kTwoFiles,
                    .entries = {{"A.JPG", "A.jpg", "I"}},
                    .now = {{F::Folder, "A.jpg", "I"}},
                    .after = {{F::Folder, "A.jpg", "I"}},
                    .caseBlind = true},
        RestoreCase{.name = "a card put back, its files numbered anew",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11, .modified = 2000000000}},
                              {"J", {.inode = 12, .size = 20, .modified = 4000000000}},
                              {"I now", {.inode = 71, .modified = 2000000000}},
                              {"J now", {.inode = 72, .size = 20, .modified = 4000000000}}},
                    .entries = {{"a.jpg", "b.jpg", "I"}, {"b.jpg", "a.jpg", "J"}},
                    .now = {{F::Folder, "b.jpg", "I now"}, {F::Folder, "a.jpg", "J now"}},
                    .after = {{F::Folder, "a.jpg", "I now"}, {F::Folder, "b.jpg", "J now"}},
                    .recordedContent = true,
                    .remounted = true},
        RestoreCase{.name = "a freed number given to a file saved since",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11}}, {"new", {.inode = 11, .born = kStarted + 50}}},
                    .entries = {{"photo.JPG", "003.JPG", "I"}},
                    .now = {{F::Folder, "003.JPG", "new"}},
                    .after = {{F::Folder, "003.JPG", "new"}},
                    .failures = 1},
        RestoreCase{.name = "a file replaced under its number just before its step",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11}}, {"new", {.inode = 11, .born = kStarted + 50}}},
                    .entries = {{"photo.JPG", "003.JPG", "I"}},
                    .now = {{F::Folder, "003.JPG", "I"}},
                    .after = {{F::Folder, "003.JPG", "new"}},
                    .failures = 1,
                    .beforeFirstStep =
                        [](MemoryFolders& folders) {
                            folders.names[0].tag = "new";
                        }},
        RestoreCase{.name = "a move to a save folder that keeps times to 2 s",
                    .operation = FileOperation::RenameMove,
                    .files = {{"I", {.inode = 11, .modified = 3999999999}},
                              {"copy", {.inode = 90, .born = kStarted + 50, .modified = 2000000000, .device = 2}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg"}},
                    .now = {{F::SaveFolder, "001.jpg", "copy"}},
                    .after = {{F::Folder, "a.jpg", "copy"}},
                    .recordedContent = true,
                    .savePrecision = 2000000000},
        RestoreCase{.name = "a copy into a save folder that keeps times to 2 s",
                    .operation = FileOperation::RenameCopy,
                    .files = {{"I", {.inode = 11, .modified = 3999999999}},
                              {"copy", {.inode = 90, .born = kStarted + 50, .modified = 2000000000, .device = 2}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg"}},
                    .now = {{F::Folder, "001.jpg", "I"}, {F::SaveFolder, "001.jpg", "copy"}},
                    .recordedContent = true,
                    .savePrecision = 2000000000},
        RestoreCase{.name = "a file of the same size and time that was in the save folder before",
                    .operation = FileOperation::RenameCopy,
                    .files = {{"I", {.inode = 11}}, {"album", {.inode = 90}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg"}},
                    .now = {{F::Folder, "001.jpg", "I"}, {F::SaveFolder, "001.jpg", "album"}},
                    .after = {{F::Folder, "a.jpg", "I"}, {F::SaveFolder, "001.jpg", "album"}},
                    .recordedContent = true},
        RestoreCase{.name = "a file a copy replaced, back from the Trash",
                    .operation = FileOperation::RenameCopy,
                    .files = {{"I", {.inode = 11}},
                              {"album", {.inode = 90, .size = 99}},
                              {"copy", {.inode = 91, .born = kStarted + 50}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg", "album"}},
                    .now = {{F::Folder, "001.jpg", "I"},
                            {F::SaveFolder, "001.jpg", "copy"},
                            {F::SaveFolder, "trash/001.jpg", "album"}},
                    .recordedContent = true},
        RestoreCase{.name = "a file a move replaced, back from the Trash",
                    .operation = FileOperation::RenameMove,
                    .files = {{"I", {.inode = 11}}, {"album", {.inode = 90, .size = 99}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg", "album"}},
                    .now = {{F::SaveFolder, "001.jpg", "I"}, {F::SaveFolder, "trash/001.jpg", "album"}},
                    .recordedContent = true},
        RestoreCase{.name = "a file replaced outright, where no trash could be used",
                    .operation = FileOperation::RenameCopy,
                    .files = {{"I", {.inode = 11}},
                              {"album", {.inode = 90, .size = 99}},
                              {"copy", {.inode = 91, .born = kStarted + 50}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg", "album"}},
                    .now = {{F::Folder, "001.jpg", "I"}, {F::SaveFolder, "001.jpg", "copy"}},
                    .after = {{F::Folder, "a.jpg", "I"}},
                    .recordedContent = true,
                    .lost = 1},
        RestoreCase{
            .name = "hidden files: one cut short by the run, one from before it",
            .operation = FileOperation::RenameCopy,
            .files = {{"I", {.inode = 11}}, {"cut", {.inode = 91, .born = kStarted + 50}}, {"older", {.inode = 92}}},
            .entries = {{"a.jpg", "001.jpg", "I", "001.jpg"}},
            .now = {{F::Folder, "001.jpg", "I"},
                    {F::SaveFolder, ".tallyfox.0-1.tmp", "cut"},
                    {F::SaveFolder, ".tallyfox.0-2.tmp", "older"}},
            .after = {{F::Folder, "a.jpg", "I"}, {F::SaveFolder, ".tallyfox.0-2.tmp", "older"}},
            .recordedContent = true},
        // Where a file system has neither no-replace renames nor links, a rename reserves its new name with
        // an empty file first; the run was cut short before the file was renamed over it.
        RestoreCase{.name = "a new name reserved by a rename cut short",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11}}, {"reserved", {.inode = 91, .born = kStarted + 50, .size = 0}}},
                    .entries = {{"a.jpg", "001.jpg", "I"}},
                    .now = {{F::Folder, "a.jpg", "I"}, {F::Folder, "001.jpg", "reserved"}},
                    .after = {{F::Folder, "a.jpg", "I"}}},
        RestoreCase{.name = "an old name reserved for the other file of a swap",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11}},
                              {"J", {.inode = 12}},
                              {"reserved", {.inode = 91, .born = kStarted + 50, .size = 0}}},
                    .entries = {{"002.jpg", "001.jpg", "I"}, {"001.jpg", "002.jpg", "J"}},
                    .now = {{F::Folder, ".t0", "I"}, {F::Folder, "001.jpg", "J"}, {F::Folder, "002.jpg", "reserved"}},
                    .after = {{F::Folder, "002.jpg", "I"}, {F::Folder, "001.jpg", "J"}}},
        RestoreCase{.name = "a name reserved on a card, which keeps no birth times",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11, .born = 0}},
                              {"reserved", {.inode = 91, .born = 0, .size = 0, .modified = kStarted + 40}}},
                    .entries = {{"a.jpg", "001.jpg", "I"}},
                    .now = {{F::Folder, "a.jpg", "I"}, {F::Folder, "001.jpg", "reserved"}},
                    .after = {{F::Folder, "a.jpg", "I"}},
                    .recordedContent = true,
                    .remounted = true},
        RestoreCase{.name = "an empty file from before the run under the new name it could not take",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11}}, {"older", {.inode = 92, .size = 0}}},
                    .entries = {{"a.jpg", "001.jpg", "I"}},
                    .now = {{F::Folder, "a.jpg", "I"}, {F::Folder, "001.jpg", "older"}}},
        RestoreCase{.name = "a file saved since under a name the run reserved",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11}}, {"saved", {.inode = 91, .born = kStarted + 50, .size = 5}}},
                    .entries = {{"a.jpg", "001.jpg", "I"}},
                    .now = {{F::Folder, "a.jpg", "I"}, {F::Folder, "001.jpg", "saved"}}},
        RestoreCase{.name = "an empty file that stood at the target before the run",
                    .operation = FileOperation::RenameCopy,
                    .files = {{"I", {.inode = 11}}, {"empty", {.inode = 90, .size = 0}}},
                    .entries = {{"a.jpg", "001.jpg", "I", "001.jpg", "empty"}},
                    .now = {{F::Folder, "a.jpg", "I"}, {F::SaveFolder, "001.jpg", "empty"}},
                    .recordedContent = true},
        RestoreCase{.name = "an empty file of the run on a card, written as the run began",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"E", {.inode = 11, .born = 0, .size = 0, .modified = kStarted}}},
                    .entries = {{"a.jpg", "001.jpg", "E"}},
                    .now = {{F::Folder, "001.jpg", "E"}},
                    .recordedContent = true,
                    .remounted = true},
        RestoreCase{.name = "an empty file saved on a card under a name the run freed, after the run ended",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11, .born = 0}},
                              {"empty", {.inode = 91, .born = 0, .size = 0, .modified = kStarted + 50}}},
                    .entries = {{"a.jpg", "001.jpg", "I"}},
                    .now = {{F::Folder, "001.jpg", "I"}, {F::Folder, "a.jpg", "empty"}},
                    .after = {{F::Folder, "001.jpg", "I"}, {F::Folder, "a.jpg", "empty"}},
                    .recordedContent = true,
                    .failures = 1,
                    .remounted = true,
                    .ended = true},
        RestoreCase{.name = "an undo cut short: a file back at its old name, changed by that rename",
                    .operation = FileOperation::RenameOnly,
                    .files = {{"I", {.inode = 11, .changed = kStarted + 50}}, {"J", {.inode = 12}}},
                    .entries = {{"a.jpg", "001.jpg", "I"}, {"b.jpg", "002.jpg", "J"}},
                    .now = {{F::Folder, "a.jpg", "I"}, {F::Folder, "002.jpg", "J"}},
                    .ended = true}),
    TALLYFOX_ROW_NAMES);

} // namespace
} // namespace tallyfox
