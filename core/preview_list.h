#pragma once

#include "core/file_list.h"
#include "core/name_table.h"
#include "core/rename_plan.h"
#include "core/rename_run.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tallyfox {

// What a run will do with one file of the list, or why it will not.
enum class PreviewState : std::uint8_t
{
    Renamed,              // takes its new name
    Unchanged,            // the new name is the name the file has
    HeldOutside,          // a file of the folder that is not in the list has the new name: the file keeps its own
    Duplicate,            // another file of the list gets the same new name
    Unusable,             // the new name cannot name a file in its folder ("/", too long, ".", "..", ":" on a card)
    HeldInList,           // another file of the list has the new name and cannot give it up
    InSaveFolder,         // the save folder has a file of the new name: the run will ask to replace it
    FolderInSaveFolder,   // the save folder has a folder of the new name: the copy or move fails
    NoSaveFolder,         // the save folder cannot be read: the copy or move fails
    UnusableInSaveFolder, // the save folder's file system refuses the new name: the copy or move fails
};

// Every state but the first two needs the user's attention.
bool isProblem(PreviewState state);

// The names around the list that decide what a run can do: read once for a listing, not for each
// change of the settings.
struct PreviewFolders
{
    // Every entry of the list's folder, the listed files included (a run's renames meet them all).
    std::vector<std::string> entries;
    // The entries of the folder that are not in the list, whatever their kind.
    std::unordered_set<std::string> outside;
    // For a copy or move: whether the save folder could be read, whether it is the list's folder
    // itself (the run then leaves each file where it is), and its entries by name.
    bool saveFolderRead = false;
    bool saveFolderIsListFolder = false;
    std::unordered_map<std::string, EntryKind> saveEntries;
    // What the file systems of the list's folder and of the save folder allow in a name.
    NameRules names = NameRules::Bytes;
    NameRules saveNames = NameRules::Bytes;
};

// The entries of a folder that a list of names does not hold.
std::unordered_set<std::string> namesOutside(const std::vector<std::string>& entries, const NameList& listed);
// The same with the list's names in a table made already.
std::unordered_set<std::string> namesOutside(const std::vector<std::string>& entries, const NameTable& listed);

// The preview of a whole run.
struct PreviewList
{
    FileOperation operation = FileOperation::RenameOnly;
    // The run's own plan: the new names are its final names. The order of its renames is worked out
    // only where a rehearsal needed it.
    RunPlan plan;
    std::vector<PreviewState> states;
    // What the folders' file systems allow in a name, as the states were judged by.
    NameRules names = NameRules::Bytes;
    NameRules saveNames = NameRules::Bytes;
    // For a Duplicate: the position of the first other file of the list that gets the same name. Held
    // only where a file has one.
    std::vector<std::uint32_t> sameNameAs;
    std::size_t problems = 0;
    // Why the run would refuse to start (its box's text, blanks trimmed), or empty.
    std::string refusal;
    // A preview whose plan holds no files (previewListed) composes the new names of the rows asked for
    // from the list's names and the settings.
    NameList listed;
    NamingSettings naming;
};

// The name the file at `position` has, and the name the run gives it.
std::string_view previewOldName(const PreviewList& preview, std::size_t position);
std::string previewNewName(const PreviewList& preview, std::size_t position);

// What a run of `request` would do with each file, from the run's plan and, where a file's fate hangs
// on another's, from a rehearsal of the run's renames on the folder's names in memory. `request.folder`
// is not read: the folders' names come in `folders`.
PreviewList previewRun(const RunRequest& request, const PreviewFolders& folders);

// The same states, counts, refusal and texts for the names `listed` (request.names is not read), for a
// window that shows a few rows of a long list: where the settings number the files so that no two can
// get one name, only what the whole list must tell is worked out for every file (a name too long, a
// name the file has, and the names around the list looked up the other way round, from each name to
// the file whose number it bears); the new names are composed as they are shown. Elsewhere, and where
// one file's fate hangs on another's, the whole plan is made as previewRun makes it.
PreviewList previewListed(NameList listed, const RunRequest& request, const PreviewFolders& folders);

// The 状態 text of the file at `position`.
std::string previewStateText(const PreviewList& preview, std::size_t position);

// The line below the list: the run's refusal, or how many files have a problem (counts grouped as the
// main window groups them).
std::string previewSummary(const PreviewList& preview);

} // namespace tallyfox
