#pragma once

#include "core/journal.h"
#include "core/recovery.h"
#include "platform/folder_lock.h"
#include "platform/identity_steps.h"
#include "platform/journal_store.h"
#include "platform/syscalls.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tallyfox::platform {

// The journals of the last runs as the window and the command line both use them: the last run to
// undo, a run brought back under its lock, and the list of recent runs. Nothing here asks the user.

// Reads a journal. One that cannot be read whole, or is damaged, is moved aside under another name and
// added to `broken` (its name now), so that it is told of once and never lost; one of another version
// is passed over. A file of a run that ended, known by its number alone, is not the run's once it
// changed after the run's end mark.
JournalStatus
loadJournal(JournalStore& store, const std::string& name, Journal& journal, std::vector<std::string>* broken = nullptr);

// The last run, ended or not, while it has not been brought back: its journal and its name. A journal
// cut short touched nothing, so the run before it is the last; one that cannot be read, or of another
// version, ends the search. False when there is none.
bool findLastRun(JournalStore& store, Journal& journal, std::string& name);

// One run brought back to the names its files had before it: its folders locked from the plan to the
// end, the plan made once, so what is told before is what is done.
class RunRestore final
{
public:
    enum class Opened
    {
        Ready,
        Busy,       // another run or undo holds one of its folders
        FolderGone, // its folder is gone or is another folder now: nothing of it can be found
    };

    RunRestore(Syscalls& calls, std::string journalFolder, std::string name, Journal journal);
    ~RunRestore();
    RunRestore(const RunRestore&) = delete;
    RunRestore& operator=(const RunRestore&) = delete;

    // Locks the run's folders and opens them.
    Opened open();
    const Journal& journal() const;
    const std::string& name() const;
    // What the way back will do, planned once, file by file; only once opened.
    RestorePlan counts();
    // What a question about the run tells: the plan's counts for a run of up to `plannedUpTo` files; for a
    // larger one, what its journal says the run did (see recordedCounts), the plan waiting for the answer,
    // so that the question does not wait seconds for a look at each of a million files.
    RestorePlan countsToAsk(std::size_t plannedUpTo);
    // Whether the way back is planned: counts() then tells what it found.
    bool planned() const;
    // Carries the plan out and marks the journal Restored: never offered again. `progress` is told how
    // many steps are done, out of how many. Gives the files that could not be brought back.
    std::vector<FileFailure> run(const std::function<void(std::size_t done, std::size_t all)>& progress = {});
    // Appends a mark to the run's journal.
    void mark(JournalMark mark);

private:
    Syscalls& m_calls;
    std::string m_journalFolder;
    std::string m_name;
    Journal m_journal;
    FolderLock m_lock;
    PosixRecoverySteps m_steps;
    std::unique_ptr<Restoration> m_restoration;
};

// Where a run stands, as the list of recent runs tells it.
enum class RunState
{
    Done,       // ended; it may be undone while it is the last
    Restored,   // undone, or brought back at start
    Unfinished, // a crash or a power cut ended it half-way (the user may have kept it so at start)
    Running,    // another process runs it now: its folders are held
    Unreadable, // its journal is damaged, cut short or of another version
};

// One of the recent runs.
struct RunRecordSummary
{
    std::string name; // the journal's
    RunState state = RunState::Unreadable;
    std::int64_t startedNs = 0; // the wall clock; 0 when unreadable
    std::string folder;
    FileOperation operation = FileOperation::RenameOnly;
    std::string saveFolder;
    std::size_t files = 0;
};

// The runs whose journals are kept, newest first. Touches no journal: one that cannot be read is only
// reported as such.
std::vector<RunRecordSummary> recentRuns(Syscalls& calls, const std::string& journalFolder);

// The words for a run's state in the list of recent runs.
std::string runStateText(RunState state);

// A moment of the wall clock (nanoseconds since 1970) in this machine's local time, as the windows write
// it: "2024/05/03 10:20:30".
std::string localClockText(std::int64_t ns);

} // namespace tallyfox::platform
