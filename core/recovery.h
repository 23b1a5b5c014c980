#pragma once

#include "core/journal.h"
#include "core/rename_run.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tallyfox {

// The two folders of a run.
enum class RunFolder : std::uint8_t
{
    Folder,
    SaveFolder,
};

// How a file found at a name is known to be the recorded one.
enum class Match : std::uint8_t
{
    Inode,     // the file itself: same device, inode and birth, unchanged
    OtherName, // the file itself, as Inode, and it has another name besides this one, which stays
    Content,   // a copy the run made (born after the run began), or a file moved to another file system:
               // same size and modification time at the precision both file systems keep, another inode
};

// Whether `seen` is the file recorded as `expected` in the way `match` says, for a run that took its
// files' identities at `takenNs` (0: unknown), where modification times are kept to `precisionNs`;
// `byContent` where the file system numbers its files anew at each mount, and the file itself is known
// by its size and times. The time of a file's last change is not asked: the steps of a recovery change
// it themselves.
bool matches(const FileIdentity& seen,
             const FileIdentity& expected,
             Match match,
             std::int64_t takenNs,
             std::int64_t precisionNs,
             bool byContent = false);

// What a recovery asks of the file system: to look, and steps that act only on the recorded file.
class RecoverySteps
{
public:
    virtual ~RecoverySteps() = default;

    // Who is at `name` now (not following a link); nothing when the name is free or cannot be read.
    virtual std::optional<FileIdentity> look(RunFolder folder, const std::string& name) = 0;

    // Who is at each of `names`, in their order, as look() tells; the looks may be taken side by side.
    virtual std::vector<std::optional<FileIdentity>>
    lookAll(const std::vector<std::pair<RunFolder, std::string_view>>& names);

    // Every hidden temporary name of the program (".tallyfox.*.tmp") in the folder.
    virtual std::vector<std::string> hiddenNames(RunFolder folder) = 0;

    // Whether the folder, read once, holds an entry of that name (in a folder that ignores case, in any
    // spelling), and the number its listing gives that entry: 0 where a listing does not number entries
    // as their files are numbered. A name the folder does not hold, or that the listing shows to be
    // another file, is not looked at.
    virtual std::optional<std::uint64_t> listed(RunFolder folder, std::string_view name) = 0;

    // The plan is made and the steps begin: what the folders hold may have changed while the question was
    // asked, and a step must not act on a file that took a name of the run meanwhile.
    virtual void beforeSteps()
    {
    }

    // Whether the folder takes two spellings of a name that differ only in letter case for one name (a
    // camera's card, a folder of another system's disk).
    virtual bool ignoresCase(RunFolder folder) = 0;

    // The name as the folder spells the entry that `name` reaches: in a folder that ignores case, the
    // spelling it was given; elsewhere `name` itself.
    virtual std::string spelling(RunFolder folder, const std::string& name) = 0;

    // The coarsest step, in nanoseconds, in which the folder's file system keeps modification times.
    virtual std::int64_t timePrecisionNs(RunFolder folder) = 0;

    // A hidden name no file holds yet, for a file stepping aside while others take their names back.
    virtual std::string privateName(RunFolder folder) = 0;

    // Where the file recorded as `expected`, which stood at `name` of the folder, lies in the desktop's
    // Trash now; empty when it is not there.
    virtual std::string trashed(RunFolder folder, const std::string& name, const FileIdentity& expected) = 0;

    // Puts the file at `trashed` back at `name` of the folder, only while it is `expected`, never over an
    // existing name. 0 or the errno; ESTALE when it is another file.
    virtual int
    putBack(const std::string& trashed, RunFolder folder, const std::string& name, const FileIdentity& expected) = 0;

    // Renames `from` to `to` (a move between the two folders across file systems copies and removes)
    // only while `from` is `expected`, and never over an existing name. 0 or the errno; ESTALE when
    // `from` holds another file.
    virtual int rename(RunFolder fromFolder,
                       const std::string& from,
                       RunFolder toFolder,
                       const std::string& to,
                       const FileIdentity& expected,
                       Match match) = 0;

    // Removes `name` only while it is `expected`. 0 or the errno; ESTALE when it holds another file, or
    // (OtherName) when the file has no other name.
    virtual int remove(RunFolder folder, const std::string& name, const FileIdentity& expected, Match match) = 0;
};

// The reason given for a file left as it is because it changed since the run.
extern const std::string kChangedSinceRun;

// What bringing a run back would do, observed now.
struct RestorePlan
{
    std::size_t files = 0;     // files that need a step: away from their old names, copies to remove, or a
                               // name still reserved for them by an empty placeholder
    std::size_t leftovers = 0; // hidden files of the run cut short, to remove
    std::size_t copies = 0;    // copies in the save folder to remove
    std::size_t fromTrash = 0; // files the run replaced, to come back from the Trash
    std::size_t lost = 0;      // files the run replaced outright, where no trash could be used
};

// Bringing a run back, observed and planned once: what the question tells is what is carried out, each
// step checking again who it acts on just before it acts.
class Restoration final
{
public:
    // The entries looked at and planned together, a file's entries always in one share: enough looks to
    // keep the threads busy, few enough that what they found weighs little beside the journal.
    static constexpr std::size_t kEntriesAtOnce = std::size_t{1} << 13;

    Restoration(const Journal& journal, RecoverySteps& steps, std::size_t entriesAtOnce = kEntriesAtOnce);
    ~Restoration();
    Restoration(const Restoration&) = delete;
    Restoration& operator=(const Restoration&) = delete;

    RestorePlan counts() const;
    // Carries the plan out, once: see restore(). `progress`, when given, is told how many of the steps
    // are done, out of how many, as they end.
    std::vector<FileFailure> run(const std::function<void(std::size_t done, std::size_t all)>& progress = {});

private:
    struct Plan;
    const Journal& m_journal;
    RecoverySteps& m_steps;
    std::unique_ptr<Plan> m_plan;
};

RestorePlan planRestore(const Journal& journal, RecoverySteps& steps);

// What bringing a run back would do, as its journal tells what the run did, without looking for each of
// its files: the files the run renamed, copied or moved, its copies, and (looked at, as they are few) the
// files it replaced in the save folder, back from the Trash or lost. A file changed since is counted
// here and left alone when the plan finds it so.
RestorePlan recordedCounts(const Journal& journal, RecoverySteps& steps);

// Brings every file of the run back to its old name, removes the copies and hidden temporary files the
// run made, puts the files it replaced in the save folder back from the Trash, and completes or undoes a rename that
// was half done by link and unlink. A run that did not end may have left, under one of its names, the empty file a
// rename on a file system without no-replace renames or links reserved that name with: an empty file made since the
// run began, at a name of the run none of its files holds, is removed; after a run that ended, none is. Only a name the
// run made is ever removed, and only while it holds the file the journal proves it made it for: a name a file had
// before the run stays, whatever else leads to the same file. A step is taken only on the recorded file and never
// replaces one; each file's way back is planned once, files that hold each other's old names stepping aside to private
// names. Gives the files that could not be brought back.
std::vector<FileFailure> restore(const Journal& journal, RecoverySteps& steps);

// What an undo of a run will do, as its question counts it: "直前の処理を元に戻します（N 件）。"
std::string undoHeadline(const RestorePlan& plan);
// What it will do beyond the names, a line each: the copies it removes from the save folder, the files
// it brings back from the Trash, and those replaced outright that cannot come back. None when none.
std::vector<std::string> undoEffects(const RestorePlan& plan);

// The report after a restore: "処理前の名前に戻しました。" and the failure list in the run's format.
std::string restoreMessage(const std::vector<FileFailure>& failures);

} // namespace tallyfox
