#include "platform/run_journals.h"

#include "platform/posix_io.h"

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace tallyfox::platform {

JournalStatus
loadJournal(JournalStore& store, const std::string& name, Journal& journal, std::vector<std::string>* broken)
{
    std::string bytes;
    std::int64_t writtenNs = 0;
    const int error = store.read(name, bytes, &writtenNs);
    const JournalStatus status = error != 0 ? JournalStatus::Torn : decodeJournal(bytes, journal);
    if ((status == JournalStatus::Torn || status == JournalStatus::NotAJournal) && broken != nullptr
        && error != ENOENT) {
        std::string kept;
        if (store.setAside(name, kept) == 0) {
            broken->push_back(store.folder() + "/" + kept);
        }
    }
    if (error != 0) {
        return JournalStatus::Torn;
    }
    // A run that ended was marked so after its last rename: a file known by its number alone that
    // changed after that mark is not the run's file any more.
    if (status == JournalStatus::Ok && journal.marked(JournalMark::RunDone)) {
        journal.identities.changedBefore(writtenNs);
    }
    return status;
}

bool findLastRun(JournalStore& store, Journal& journal, std::string& name)
{
    const std::vector<std::string> names = store.names();
    for (auto last = names.rbegin(); last != names.rend(); ++last) {
        journal = Journal{};
        const JournalStatus status = loadJournal(store, *last, journal);
        if (status == JournalStatus::Torn) {
            continue; // that run touched nothing: the one before is the last
        }
        if (status != JournalStatus::Ok || journal.marked(JournalMark::Restored)) {
            return false;
        }
        name = *last;
        return true;
    }
    return false;
}

RunRestore::RunRestore(Syscalls& calls, std::string journalFolder, std::string name, Journal journal)
    : m_calls(calls)
    , m_journalFolder(std::move(journalFolder))
    , m_name(std::move(name))
    , m_journal(std::move(journal))
    , m_lock(calls)
    , m_steps(calls)
{
}

RunRestore::~RunRestore() = default;

RunRestore::Opened RunRestore::open()
{
    // Held from the plan to the last step: what the plan counts is what the steps find.
    if (!m_lock.lock({m_journal.folder, m_journal.saveFolder})) {
        return Opened::Busy;
    }
    if (!m_steps.open(m_journal)) {
        return Opened::FolderGone;
    }
    return Opened::Ready;
}

const Journal& RunRestore::journal() const
{
    return m_journal;
}

const std::string& RunRestore::name() const
{
    return m_name;
}

RestorePlan RunRestore::counts()
{
    if (!m_restoration) {
        m_restoration = std::make_unique<Restoration>(m_journal, m_steps);
    }
    return m_restoration->counts();
}

RestorePlan RunRestore::countsToAsk(std::size_t plannedUpTo)
{
    return m_journal.files.size() > plannedUpTo ? recordedCounts(m_journal, m_steps) : counts();
}

bool RunRestore::planned() const
{
    return m_restoration != nullptr;
}

std::vector<FileFailure> RunRestore::run(const std::function<void(std::size_t done, std::size_t all)>& progress)
{
    counts();
    std::vector<FileFailure> failures = m_restoration->run(progress);
    mark(JournalMark::Restored);
    return failures;
}

void RunRestore::mark(JournalMark mark)
{
    JournalStore(m_calls, m_journalFolder).append(m_name, encodeMark(mark));
}

std::vector<RunRecordSummary> recentRuns(Syscalls& calls, const std::string& journalFolder)
{
    JournalStore store(calls, journalFolder);
    const std::vector<std::string> names = store.names();
    std::vector<RunRecordSummary> runs;
    runs.reserve(names.size());
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        RunRecordSummary& run = runs.emplace_back();
        run.name = *name;
        Journal journal;
        if (loadJournal(store, *name, journal) != JournalStatus::Ok) {
            continue;
        }
        run.startedNs = journal.startedNs;
        run.folder = std::move(journal.folder);
        run.operation = journal.operation;
        run.saveFolder = std::move(journal.saveFolder);
        run.files = journal.files.size();
        if (journal.marked(JournalMark::Restored)) {
            run.state = RunState::Restored;
        } else if (journal.marked(JournalMark::RunDone)) {
            run.state = RunState::Done;
        } else {
            // A run that has not ended is going on as long as its process lives: asked without taking its
            // lock, which a run starting at this moment would then find held.
            run.state = processRunning(static_cast<pid_t>(journal.pid)) ? RunState::Running : RunState::Unfinished;
        }
    }
    return runs;
}

std::string runStateText(RunState state)
{
    switch (state) {
    case RunState::Done:
        return "完了";
    case RunState::Restored:
        return "元に戻しました";
    case RunState::Unfinished:
        return "途中で終わっています";
    case RunState::Running:
        return "実行中";
    case RunState::Unreadable:
        break;
    }
    return "記録を読めません";
}

std::string localClockText(std::int64_t ns)
{
    const std::time_t seconds = static_cast<std::time_t>(ns / 1000000000);
    std::tm local{};
    if (::localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    char text[80];
    std::snprintf(text,
                  sizeof text,
                  "%04d/%02d/%02d %02d:%02d:%02d",
                  local.tm_year + 1900,
                  local.tm_mon + 1,
                  local.tm_mday,
                  local.tm_hour,
                  local.tm_min,
                  local.tm_sec);
    return text;
}

} // namespace tallyfox::platform
