#include "core/recovery.h"

#include <cerrno>
#include <set>
#include <utility>

namespace tallyfox {

const std::string kChangedSinceRun = "処理の後で変更されたため、そのままにしました";

namespace {

struct Location
{
    RunFolder folder = RunFolder::Folder;
    std::string name;

    bool operator==(const Location&) const = default;
};

struct Found
{
    Location location;
    FileIdentity identity;
};

// Where one file of the run is now, and what of it the run left behind.
struct FileState
{
    const JournalEntry* entry = nullptr;
    std::vector<Location> originals; // names that lead to the recorded file itself
    std::vector<Found> copies;       // copies of it in the save folder, by size and modification time
    std::string changedAt;           // one of its names, now held by a file that is none of the run's
};

struct Observation
{
    std::vector<FileState> files;
    std::vector<Found> leftovers; // hidden temporary files of the run that are no file's name
};

bool transfers(FileOperation operation)
{
    return operation == FileOperation::RenameCopy || operation == FileOperation::RenameMove;
}

std::vector<Found> lookHidden(RunFolder folder, RecoverySteps& steps)
{
    std::vector<Found> found;
    for (std::string& name : steps.hiddenNames(folder)) {
        if (const std::optional<FileIdentity> identity = steps.look(folder, name)) {
            found.push_back({{folder, std::move(name)}, *identity});
        }
    }
    return found;
}

Observation observe(const Journal& journal, RecoverySteps& steps)
{
    const bool transfer = transfers(journal.operation);
    std::vector<Found> hidden = lookHidden(RunFolder::Folder, steps);
    if (transfer) {
        std::vector<Found> saved = lookHidden(RunFolder::SaveFolder, steps);
        hidden.insert(hidden.end(), saved.begin(), saved.end());
    }
    std::set<std::pair<std::uint64_t, std::uint64_t>> runFiles;
    for (const JournalEntry& entry : journal.files) {
        runFiles.insert({entry.identity.device, entry.identity.inode});
    }
    const auto isRunFile = [&runFiles](const FileIdentity& identity) {
        return runFiles.count({identity.device, identity.inode}) != 0;
    };

    Observation seen;
    seen.files.reserve(journal.files.size());
    for (const JournalEntry& entry : journal.files) {
        FileState state;
        state.entry = &entry;
        for (const std::string* name : {&entry.old, &entry.temporary, &entry.final}) {
            if (name->empty() || (name != &entry.old && *name == entry.old)
                || (name == &entry.final && *name == entry.temporary)) {
                continue;
            }
            const std::optional<FileIdentity> identity = steps.look(RunFolder::Folder, *name);
            if (!identity) {
                continue;
            }
            if (identity->sameFile(entry.identity)) {
                state.originals.push_back({RunFolder::Folder, *name});
            } else if ((identity->sameInode(entry.identity) || !isRunFile(*identity)) && state.changedAt.empty()) {
                state.changedAt = *name;
            }
        }
        if (transfer && !entry.target.empty()) {
            if (const std::optional<FileIdentity> identity = steps.look(RunFolder::SaveFolder, entry.target)) {
                if (identity->sameFile(entry.identity)) {
                    state.originals.push_back({RunFolder::SaveFolder, entry.target});
                } else if (identity->sameContent(entry.identity) && !identity->sameInode(entry.atTarget)) {
                    state.copies.push_back({{RunFolder::SaveFolder, entry.target}, *identity});
                } else if (identity->sameInode(entry.identity) && state.changedAt.empty()) {
                    state.changedAt = entry.target; // moved, then changed in the save folder
                }
            }
        }
        for (const Found& name : hidden) {
            if (name.identity.sameFile(entry.identity)) {
                state.originals.push_back(name.location);
            }
        }
        seen.files.push_back(std::move(state));
    }
    // A hidden file of the run's own process that is no file's name is a copy cut short.
    const std::string ownPrefix = ".tallyfox." + std::to_string(journal.pid) + "-";
    for (Found& name : hidden) {
        if (name.location.name.starts_with(ownPrefix) && !isRunFile(name.identity)) {
            seen.leftovers.push_back(std::move(name));
        }
    }
    return seen;
}

bool needsStep(const FileState& state)
{
    const Location old{RunFolder::Folder, state.entry->old};
    const bool atOld = state.originals.size() == 1 && state.originals.front() == old;
    return !atOld && (!state.originals.empty() || !state.copies.empty());
}

std::string nameOf(const Location& location)
{
    return location.name;
}

// A file on its way back to its old name.
struct Pending
{
    FileState* state = nullptr;
    Location from;
    FileIdentity identity;
    Match match = Match::Inode;
    int error = 0;
};

} // namespace

RestorePlan planRestore(const Journal& journal, RecoverySteps& steps)
{
    const Observation seen = observe(journal, steps);
    RestorePlan plan;
    for (const FileState& state : seen.files) {
        plan.files += needsStep(state) ? 1 : 0;
    }
    return plan;
}

std::vector<FileFailure> restore(const Journal& journal, RecoverySteps& steps)
{
    Observation seen = observe(journal, steps);
    std::vector<FileFailure> failures;
    std::vector<Pending> pending;

    // Removals first: they free names that other files of the run may need.
    for (const Found& leftover : seen.leftovers) {
        steps.remove(leftover.location.folder, leftover.location.name, leftover.identity, Match::Inode);
    }
    for (FileState& state : seen.files) {
        const JournalEntry& entry = *state.entry;
        const Location old{RunFolder::Folder, entry.old};
        if (state.originals.empty()) {
            // Moved to another file system and its source already gone: the copy in the save folder is
            // the file, and comes back. A copy whose source is gone is the only one left, and stays.
            if (journal.operation == FileOperation::RenameMove && !state.copies.empty()) {
                pending.push_back({&state, state.copies.front().location, entry.identity, Match::Content});
                continue;
            }
            const bool changed = !state.changedAt.empty();
            failures.push_back({entry.old,
                                changed ? state.changedAt : std::string("-"),
                                changed ? kChangedSinceRun : failureReason(ENOENT)});
            continue;
        }
        // A file under two names (a rename by link and unlink cut between its steps) keeps one.
        Location keep = state.originals.front();
        for (const Location& name : state.originals) {
            if (name == old) {
                keep = name;
            }
        }
        for (const Location& name : state.originals) {
            if (!(name == keep)) {
                steps.remove(name.folder, name.name, entry.identity, Match::Inode);
            }
        }
        for (const Found& copy : state.copies) {
            steps.remove(copy.location.folder, copy.location.name, entry.identity, Match::Content);
        }
        if (!(keep == old)) {
            pending.push_back({&state, keep, entry.identity, Match::Inode});
        }
    }

    // Back to the old names, as often as one file's return frees the name another needs.
    const auto settle = [&] {
        for (bool progress = true; progress;) {
            progress = false;
            for (Pending& file : pending) {
                if (file.state == nullptr) {
                    continue;
                }
                file.error = steps.rename(file.from.folder,
                                          file.from.name,
                                          RunFolder::Folder,
                                          file.state->entry->old,
                                          file.identity,
                                          file.match);
                if (file.error == 0) {
                    file.state = nullptr;
                    progress = true;
                }
            }
        }
    };
    settle();
    // Files that hold each other's old names step aside to their temporary names, then go on.
    bool stepped = false;
    for (Pending& file : pending) {
        const JournalEntry* entry = file.state != nullptr ? file.state->entry : nullptr;
        if (entry != nullptr && file.error == EEXIST && file.match == Match::Inode
            && file.from.folder == RunFolder::Folder && file.from.name != entry->temporary && !entry->temporary.empty()
            && steps.rename(
                   RunFolder::Folder, file.from.name, RunFolder::Folder, entry->temporary, file.identity, Match::Inode)
                   == 0) {
            file.from = {RunFolder::Folder, entry->temporary};
            stepped = true;
        }
    }
    if (stepped) {
        settle();
    }
    for (const Pending& file : pending) {
        if (file.state != nullptr) {
            failures.push_back({file.state->entry->old,
                                nameOf(file.from),
                                file.error == ESTALE ? kChangedSinceRun : failureReason(file.error)});
        }
    }
    return failures;
}

std::string restoreMessage(const std::vector<FileFailure>& failures)
{
    return "処理前の名前に戻しました。  " + failureList(failures);
}

} // namespace tallyfox
