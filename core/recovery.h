#pragma once

#include "core/journal.h"
#include "core/rename_run.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tallyfox {

// The two folders of a run.
enum class RunFolder
{
    Folder,
    SaveFolder,
};

// How a file found at a name is known to be the recorded one.
enum class Match
{
    Inode,   // same device and inode, and unchanged: the file itself
    Content, // same size and modification time, another inode: a copy, or a file moved to another file system
};

// What a recovery asks of the file system: to look, and steps that act only on the recorded file.
class RecoverySteps
{
public:
    virtual ~RecoverySteps() = default;

    // Who is at `name` now (not following a link); nothing when the name is free or cannot be read.
    virtual std::optional<FileIdentity> look(RunFolder folder, const std::string& name) = 0;

    // Every hidden temporary name of the program (".tallyfox.*.tmp") in the folder.
    virtual std::vector<std::string> hiddenNames(RunFolder folder) = 0;

    // Renames `from` to `to` (a move between the two folders across file systems copies and removes)
    // only while `from` is `expected`, and never over an existing name. 0 or the errno; ESTALE when
    // `from` holds another file.
    virtual int rename(RunFolder fromFolder,
                       const std::string& from,
                       RunFolder toFolder,
                       const std::string& to,
                       const FileIdentity& expected,
                       Match match) = 0;

    // Removes `name` only while it is `expected`. 0 or the errno; ESTALE when it holds another file.
    virtual int remove(RunFolder folder, const std::string& name, const FileIdentity& expected, Match match) = 0;
};

// The reason given for a file left as it is because it changed since the run.
extern const std::string kChangedSinceRun;

// What bringing a run back would do, observed now.
struct RestorePlan
{
    std::size_t files = 0; // files that need a step: away from their old names, or copies to remove
};

RestorePlan planRestore(const Journal& journal, RecoverySteps& steps);

// Brings every file of the run back to its old name, removes the copies and hidden temporary files the
// run made, and completes or undoes a rename that was half done by link and unlink. A step is taken
// only on the recorded file and never replaces one. Gives the files that could not be brought back.
std::vector<FileFailure> restore(const Journal& journal, RecoverySteps& steps);

// The report after a restore: "処理前の名前に戻しました。" and the failure list in the run's format.
std::string restoreMessage(const std::vector<FileFailure>& failures);

} // namespace tallyfox
