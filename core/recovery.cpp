#include "core/recovery.h"

#include "core/multibyte.h"
#include "core/name_store.h"
#include "core/name_table.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <span>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace tallyfox {

const std::string kChangedSinceRun = "処理の後で変更されたため、そのままにしました";

bool matches(const FileIdentity& seen,
             const FileIdentity& expected,
             Match match,
             std::int64_t takenNs,
             std::int64_t precisionNs,
             bool byContent)
{
    if (byContent && match != Match::Content) {
        // Numbered anew at each mount: the file itself is known by its size and times alone.
        return seen.sameContent(expected, precisionNs)
               && (!seen.bornKnown() || !expected.bornKnown() || seen.bornNs == expected.bornNs);
    }
    if (match == Match::Content) {
        // A file that was there before the run began is none of its copies, whatever its size and time.
        return seen.sameContent(expected, precisionNs) && (!seen.bornKnown() || takenNs == 0 || seen.bornNs > takenNs);
    }
    FileIdentity unbounded = expected;
    unbounded.changedNs = FileIdentity::kAnyTime;
    return seen.sameFile(unbounded, takenNs == 0 ? FileIdentity::kAnyTime : takenNs);
}

std::vector<std::optional<FileIdentity>>
RecoverySteps::lookAll(const std::vector<std::pair<RunFolder, std::string_view>>& names)
{
    std::vector<std::optional<FileIdentity>> seen;
    seen.reserve(names.size());
    for (const auto& [folder, name] : names) {
        seen.push_back(look(folder, std::string(name)));
    }
    return seen;
}

namespace {

// The step of `step` nanoseconds that `ns` lies in.
std::int64_t tickOf(std::int64_t ns, std::int64_t step)
{
    const std::int64_t rest = ns % step;
    return ns - (rest < 0 ? rest + step : rest);
}

bool transfers(FileOperation operation)
{
    return operation == FileOperation::RenameCopy || operation == FileOperation::RenameMove;
}

// A name in one of the folders, kept by the journal or by the steps' store of names.
struct Slot
{
    RunFolder folder = RunFolder::Folder;
    std::string_view name;
};

// A file's device and inode: every entry of the run that names one file (two names of it in the list)
// belongs to the same file.
struct InodeKey
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    explicit InodeKey(const FileIdentity& identity)
        : device(identity.device)
        , inode(identity.inode)
    {
    }
    bool operator==(const InodeKey&) const = default;
};

struct InodeHash
{
    std::size_t operator()(const InodeKey& key) const
    {
        return std::hash<std::uint64_t>()(key.inode * 31 + key.device);
    }
};

// Names as the run's folders compare them: in a folder that ignores case, two spellings of one name are
// one name, and the name the folder holds is spelled as the folder gives it.
class FolderNames
{
public:
    FolderNames(RecoverySteps& steps, bool transfer)
        : m_steps(steps)
        , m_ignoresCase{steps.ignoresCase(RunFolder::Folder), transfer && steps.ignoresCase(RunFolder::SaveFolder)}
    {
    }

    std::string key(RunFolder folder, std::string_view name) const
    {
        std::string key(1, folder == RunFolder::Folder ? 'f' : 's');
        key += ignoresCase(folder) ? foldedAsciiCase(name, systemCodePage()) : std::string(name);
        return key;
    }

    // Kept in `kept` where the folder spells the name otherwise; else `name` itself.
    std::string_view spelling(RunFolder folder, std::string_view name, NameStore& kept) const
    {
        if (!ignoresCase(folder)) {
            return name;
        }
        const std::string spelled = m_steps.spelling(folder, std::string(name));
        return spelled == name ? name : kept.keep(spelled);
    }

    bool ignoresCase(RunFolder folder) const
    {
        return m_ignoresCase[folder == RunFolder::Folder ? 0 : 1];
    }

    // Whether two names are one name, as key() tells, without making their keys.
    bool same(RunFolder folderA, std::string_view a, RunFolder folderB, std::string_view b) const
    {
        return folderA == folderB && (ignoresCase(folderA) ? equalIgnoringAsciiCase(a, b, systemCodePage()) : a == b);
    }

private:
    RecoverySteps& m_steps;
    bool m_ignoresCase[2];
};

// A file going back to an entry's old name.
struct Move
{
    enum class State : char
    {
        Pending,
        Waiting, // for its old name, held by a file of the run that has not left it yet
        Done,
        Failed,
    };

    Slot from;
    std::uint32_t entry = 0;
    Match match = Match::Inode;
    bool caseOnly = false;        // at its old name spelled otherwise, in a folder that ignores case
    bool aside = false;           // stepped aside to a private name once already
    State state = State::Pending; // why one failed is kept apart (Steps::moveErrors): 32 bytes a move
};

// A name the run made, to be removed: a second name of a file, a copy, or a hidden file cut short.
struct Removal
{
    std::size_t entry = 0; // the entry it is removed for; unused for a leftover
    Slot at;
    Match match = Match::Inode;
    FileIdentity leftover{}; // who a leftover or a placeholder was when looked at
    bool isLeftover = false;
    bool isPlaceholder = false; // the empty file that reserved a name of the entry's file
};

// A file the run replaced in the save folder, to come back from the Trash once its name is free.
struct PutBack
{
    std::size_t entry = 0;
    std::string trashed;
};

struct Steps
{
    NameStore names; // names of the steps that the journal does not keep
    std::vector<Removal> removals;
    std::vector<Move> moves;
    std::vector<std::pair<std::size_t, int>> moveErrors; // the moves that failed, and why
    std::vector<PutBack> putBacks;
    std::vector<std::pair<std::size_t, FileFailure>> failures; // by entry
    std::size_t files = 0;                                     // entries that need a step
    std::size_t leftovers = 0;
    std::size_t copies = 0;
    std::size_t lost = 0;
};

// Whether `seen` is the file `recorded`, born by `born`: by its number and birth, or where numbers do not
// last, by its size and times.
bool isRecordedFile(const Journal& journal,
                    const FileIdentity& seen,
                    const FileIdentity& recorded,
                    std::int64_t born,
                    std::int64_t precision)
{
    if (journal.byContent()) {
        return matches(seen, recorded, Match::Inode, journal.startedNs, precision, true);
    }
    return seen.sameFile(recorded, born);
}

// What became of the file that stood at an entry's target before the run, the target now holding
// `seen`: still there or never replaced (Kept), in the Trash (`trashed` says where), replaced outright
// with the run's file standing in its place (Lost), or gone some other way.
enum class BeforeRun
{
    Kept,
    Trashed,
    Lost,
    Gone,
};

BeforeRun atTargetNow(const Journal& journal,
                      std::size_t i,
                      const std::optional<FileIdentity>& seen,
                      const FileIdentity& identity,
                      std::int64_t precision,
                      RecoverySteps& steps,
                      std::string& trashed)
{
    const FileIdentity& atTarget = journal.atTargetOf(i);
    if (!atTarget.exists() || (!journal.byContent() && atTarget.sameInode(identity))
        || (seen && isRecordedFile(journal, *seen, atTarget, FileIdentity::kAnyTime, precision))) {
        return BeforeRun::Kept;
    }
    trashed = steps.trashed(RunFolder::SaveFolder, std::string(journal.files[i].target), atTarget);
    if (!trashed.empty()) {
        return BeforeRun::Trashed;
    }
    if (seen && (seen->sameInode(identity) || matches(*seen, identity, Match::Content, journal.startedNs, precision))) {
        return BeforeRun::Lost; // the run's file stands where it was
    }
    return BeforeRun::Gone;
}

// Where each file of the run is now, and what bringing it back takes: observed once, so that each
// file's way back is planned once.
class Planner
{
public:
    Planner(const Journal& journal, RecoverySteps& steps, std::size_t entriesAtOnce)
        : m_journal(journal)
        , m_steps(steps)
        , m_transfer(transfers(journal.operation))
        , m_names(steps, m_transfer)
        , m_entriesAtOnce(entriesAtOnce)
    {
        m_precision = steps.timePrecisionNs(RunFolder::Folder);
        if (m_transfer) {
            m_precision = std::max(m_precision, steps.timePrecisionNs(RunFolder::SaveFolder));
        }
    }

    Steps plan()
    {
        Steps steps;
        // Nearly every file of an undo moves: room for all at once, rather than growing by doubling, which
        // holds the old and the new array at once.
        steps.moves.reserve(m_journal.files.size());
        groupFiles(steps);
        lookHidden(steps.names);
        // The files are looked at and planned a share of whole groups at a time: what was found at the names
        // of a million files need not be held at once.
        const std::size_t groups = m_groupStarts.size() - 1;
        std::vector<Placeholder> placeholders;
        for (std::size_t first = 0; first < groups;) {
            std::size_t end = first + 1;
            while (end < groups && m_groupStarts[end + 1] - m_groupStarts[first] <= m_entriesAtOnce) {
                ++end;
            }
            observe(m_groupStarts[first], m_groupStarts[end]);
            for (std::size_t g = first; g < end; ++g) {
                planFile(m_groupStarts[g], m_groupStarts[g + 1], steps);
            }
            findPlaceholders(placeholders);
            first = end;
        }
        planPlaceholders(std::move(placeholders), steps);
        std::vector<bool> needsStep(m_journal.files.size(), false);
        for (const Move& move : steps.moves) {
            needsStep[move.entry] = true;
        }
        for (const Removal& removal : steps.removals) {
            if (!removal.isLeftover) {
                needsStep[removal.entry] = true;
            }
            steps.copies += removal.match == Match::Content ? 1 : 0;
        }
        for (const PutBack& putBack : steps.putBacks) {
            needsStep[putBack.entry] = true;
        }
        planLeftovers(steps);
        // What grouped and observed the files is not the steps' to hold: a million files' tables.
        std::vector<std::uint32_t>().swap(m_found);
        std::vector<std::optional<FileIdentity>>().swap(m_seen);
        std::vector<std::uint32_t>().swap(m_slots);
        std::vector<std::uint32_t>().swap(m_firsts);
        std::vector<std::uint32_t>().swap(m_members);
        std::vector<std::uint32_t>().swap(m_groupStarts);
        m_linkedInSave.clear();
        steps.files = static_cast<std::size_t>(std::count(needsStep.begin(), needsStep.end(), true));
        return steps;
    }

    const FolderNames& names() const
    {
        return m_names;
    }

private:
    // The group of `key`'s file among those grouped so far: its slot in m_slots, which holds kNoGroup
    // where there is none.
    std::size_t slotOf(const InodeKey& key) const
    {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t slot = InodeHash()(key) & mask;; slot = (slot + 1) & mask) {
            const std::uint32_t group = m_slots[slot];
            if (group == kNoGroup || InodeKey(m_journal.identityOf(m_firsts[group])) == key) {
                return slot;
            }
        }
    }

    // Every entry of one file together, the groups in the order of their first entries and each in list
    // order: a flat array and the start of each group, with an open-addressed table of the groups by
    // inode, rather than a table node and a vector for each file of a run of a million files.
    void groupFiles(Steps& steps)
    {
        const std::size_t count = m_journal.files.size();
        std::vector<std::uint32_t> groupOf(count, kNoGroup);
        std::vector<std::uint32_t>& firsts = m_firsts;
        std::size_t size = 16;
        while (size < 2 * count) {
            size *= 2;
        }
        m_slots.assign(m_journal.byContent() ? 0 : size, kNoGroup);
        for (std::size_t i = 0; i < count; ++i) {
            const JournalEntry& entry = m_journal.files[i];
            const FileIdentity& identity = m_journal.identityOf(i);
            if (!identity.exists()) {
                steps.failures.push_back({i, {std::string(entry.old), "-", failureReason(ENOENT)}});
                continue;
            }
            if (m_journal.byContent()) { // where numbers do not tell files apart, each entry is a file
                groupOf[i] = static_cast<std::uint32_t>(firsts.size());
                firsts.push_back(static_cast<std::uint32_t>(i));
            } else {
                const std::size_t slot = slotOf(InodeKey(identity));
                if (m_slots[slot] == kNoGroup) {
                    m_slots[slot] = static_cast<std::uint32_t>(firsts.size());
                    firsts.push_back(static_cast<std::uint32_t>(i));
                }
                groupOf[i] = m_slots[slot];
            }
            if (m_journal.atTargetOf(i).exists() && !m_journal.byContent()) {
                m_linkedInSave[InodeKey(m_journal.atTargetOf(i))].push_back(i);
            }
            // Known by size and times alone, an empty file of the run touched as the run began could not
            // be told from a placeholder.
            m_emptyRunFileMayLookNew =
                m_emptyRunFileMayLookNew || (m_journal.byContent() && identity.size == 0 && bornSince(identity));
        }
        m_groupStarts.assign(firsts.size() + 1, 0);
        for (const std::uint32_t group : groupOf) {
            if (group != kNoGroup) {
                ++m_groupStarts[group + 1];
            }
        }
        for (std::size_t g = 1; g < m_groupStarts.size(); ++g) {
            m_groupStarts[g] += m_groupStarts[g - 1];
        }
        m_members.assign(m_groupStarts.back(), 0);
        std::vector<std::uint32_t> filled(m_groupStarts.begin(), m_groupStarts.end() - 1);
        for (std::size_t i = 0; i < count; ++i) {
            if (groupOf[i] != kNoGroup) {
                m_members[filled[groupOf[i]]++] = static_cast<std::uint32_t>(i);
            }
        }
    }

    void lookHidden(NameStore& kept)
    {
        for (const RunFolder folder : {RunFolder::Folder, RunFolder::SaveFolder}) {
            if (folder == RunFolder::SaveFolder && !m_transfer) {
                continue;
            }
            for (const std::string& name : m_steps.hiddenNames(folder)) {
                if (const std::optional<FileIdentity> seen = m_steps.look(folder, name)) {
                    m_hiddenByInode.emplace(InodeKey(*seen), m_hidden.size());
                    m_hidden.push_back({{folder, kept.keep(name)}, *seen});
                }
            }
        }
    }

    // What the plan finds at one of an entry's names (its old, temporary and final names in the folder, its
    // target in the save folder): a look's place in m_seen, or one of these.
    static constexpr std::uint32_t kNothing = UINT32_MAX;
    static constexpr std::uint32_t kRunFile = UINT32_MAX - 1;  // another file of the run, by the listing's number
    static constexpr std::uint32_t kStranger = UINT32_MAX - 2; // another file, none of the run's
    static constexpr std::size_t kNamesOfEntry = 4;

    // Reads the folders' listings for every name of the entries at [begin, end) of m_members, and looks at
    // each name that may hold a file of the run: all the looks at once, which the steps may take side by
    // side.
    void observe(std::size_t begin, std::size_t end)
    {
        m_chunk = begin;
        m_found.assign((end - begin) * kNamesOfEntry, kNothing);
        std::vector<std::pair<RunFolder, std::string_view>> wanted;
        for (std::size_t position = begin; position < end; ++position) {
            const std::size_t i = m_members[position];
            const JournalEntry& entry = m_journal.files[i];
            const FileIdentity& identity = m_journal.identityOf(i);
            const std::string_view names[kNamesOfEntry] = {entry.old, entry.temporary, entry.final, entry.target};
            for (std::size_t k = 0; k < kNamesOfEntry; ++k) {
                const RunFolder folder = k == 3 ? RunFolder::SaveFolder : RunFolder::Folder;
                if (names[k].empty() || (folder == RunFolder::SaveFolder && !m_transfer)) {
                    continue;
                }
                const std::optional<std::uint64_t> number = m_steps.listed(folder, names[k]);
                if (!number) {
                    continue;
                }
                std::uint32_t& found = m_found[(position - begin) * kNamesOfEntry + k];
                // Another file by the listing's number is not looked at, unless it may be a placeholder the
                // run left: none of the run's files, in a run that did not end.
                if (folder == RunFolder::Folder && *number != 0 && !m_journal.byContent()
                    && *number != identity.inode) {
                    const bool runFile = isRunFile({.device = identity.device, .inode = *number});
                    if (m_ended || runFile) {
                        found = runFile ? kRunFile : kStranger;
                        continue;
                    }
                }
                found = static_cast<std::uint32_t>(wanted.size());
                wanted.emplace_back(folder, names[k]);
            }
        }
        m_seen = m_steps.lookAll(wanted);
    }

    // What was found at name `k` of the entry at `position` of m_members, in the share observed last.
    std::uint32_t foundAt(std::size_t position, std::size_t k) const
    {
        return m_found[(position - m_chunk) * kNamesOfEntry + k];
    }

    const std::optional<FileIdentity>& seenAt(std::size_t position, std::size_t k) const
    {
        static const std::optional<FileIdentity> nothing;
        const std::uint32_t found = foundAt(position, k);
        return found < kStranger ? m_seen[found] : nothing;
    }

    // Whether `seen` is the file `recorded`, born by `born`: by its number and birth, or where numbers do
    // not last, by its size and times.
    bool isFile(const FileIdentity& seen, const FileIdentity& recorded, std::int64_t born) const
    {
        return isRecordedFile(m_journal, seen, recorded, born, m_precision);
    }

    bool isRunFile(const FileIdentity& identity) const
    {
        return !m_journal.byContent() && m_slots[slotOf(InodeKey(identity))] != kNoGroup;
    }

    // Whether a file was made after the run began: by its birth, or where none is kept by its modification
    // time, at the precision the folders keep times (a file made empty is not written to afterwards).
    bool bornSince(const FileIdentity& seen) const
    {
        if (m_journal.startedNs == 0 || !seen.exists() || !seen.contentKnown()) {
            return false;
        }
        if (seen.bornKnown()) {
            return seen.bornNs > m_journal.startedNs;
        }
        return tickOf(seen.modifiedNs, m_precision) >= tickOf(m_journal.startedNs, m_precision);
    }

    // Where a file system has neither no-replace renames nor hard links, a rename first reserves the new
    // name with an empty file of its own and then renames the file over it; a run cut short between the
    // two leaves that placeholder under one of the run's names. An empty file made since the run began,
    // under a name of the run that none of its files holds, in a run that did not end, is such a
    // placeholder: it is removed, as one of its file's steps, before any file takes a name back. Once a
    // run has ended every placeholder it made was taken or removed, and an empty file saved later under
    // one of its names is the user's: an undo then leaves it, and the file whose name it holds stays
    // where it is, reported.
    struct Placeholder
    {
        std::size_t entry = 0;
        std::size_t name = 0; // which of the entry's names
        FileIdentity seen;
    };

    // The names of the share observed last that may hold a placeholder.
    void findPlaceholders(std::vector<Placeholder>& found) const
    {
        if (m_ended || m_emptyRunFileMayLookNew) {
            return;
        }
        for (std::size_t position = m_chunk; position < m_chunk + m_found.size() / kNamesOfEntry; ++position) {
            const std::size_t i = m_members[position];
            for (std::size_t k = 0; k < kNamesOfEntry; ++k) {
                const std::optional<FileIdentity>& seen = seenAt(position, k);
                if (!seen || seen->size != 0 || !bornSince(*seen) || isRunFile(*seen)) {
                    continue;
                }
                if (k == 3 && m_journal.atTargetOf(i).exists()
                    && isFile(*seen, m_journal.atTargetOf(i), FileIdentity::kAnyTime)) {
                    continue; // what stood there before the run
                }
                found.push_back({i, k, *seen});
            }
        }
    }

    // The placeholders found, once each, in the order of the entries and their names.
    void planPlaceholders(std::vector<Placeholder> found, Steps& steps)
    {
        std::stable_sort(found.begin(), found.end(), [](const Placeholder& a, const Placeholder& b) {
            return std::tie(a.entry, a.name) < std::tie(b.entry, b.name);
        });
        std::unordered_set<std::string> planned;
        for (const Placeholder& placeholder : found) {
            const JournalEntry& entry = m_journal.files[placeholder.entry];
            const std::string_view names[kNamesOfEntry] = {entry.old, entry.temporary, entry.final, entry.target};
            const std::string_view name = names[placeholder.name];
            const RunFolder folder = placeholder.name == 3 ? RunFolder::SaveFolder : RunFolder::Folder;
            if (!planned.insert(m_names.key(folder, name)).second) {
                continue;
            }
            steps.removals.push_back({.entry = placeholder.entry,
                                      .at = {folder, m_names.spelling(folder, name, steps.names)},
                                      .leftover = placeholder.seen,
                                      .isPlaceholder = true});
        }
    }

    // One file of the run, listed under the entries at [begin, end) of m_members: its old names are what
    // it must have again, and only names it holds beyond them are the run's to move or remove. A file has
    // a name or two: what is found is kept in short lists, searched through, and used again for the next.
    void planFile(std::size_t begin, std::size_t end, Steps& steps)
    {
        const std::span<const std::uint32_t> group(m_members.data() + begin, end - begin);
        const FileIdentity& identity = m_journal.identityOf(group.front());
        const std::int64_t born = m_journal.startedNs == 0 ? FileIdentity::kAnyTime : m_journal.startedNs;
        std::vector<Slot>& held = m_held; // every name that leads to the file now, one for each entry of a folder
        std::vector<std::pair<std::size_t, Slot>>& copies = m_copies; // by entry: its copy in the save folder
        std::vector<std::pair<std::size_t, std::string_view>>& changedAt = m_changedAt; // by entry
        std::vector<std::size_t>& back = m_back; // entries whose file is at the old name, changed
        held.clear();
        copies.clear();
        changedAt.clear();
        back.clear();
        const auto holds = [&](RunFolder folder, std::string_view name) {
            return std::any_of(held.begin(), held.end(), [&](const Slot& slot) {
                return m_names.same(slot.folder, slot.name, folder, name);
            });
        };
        const auto hold = [&](RunFolder folder, std::string_view name) {
            if (!holds(folder, name)) {
                held.push_back({folder, m_names.spelling(folder, name, steps.names)});
            }
        };
        const auto changed = [&](std::size_t i) {
            return std::find_if(changedAt.begin(), changedAt.end(), [&](const auto& at) {
                return at.first == i;
            });
        };
        const auto noteChanged = [&](std::size_t i, std::string_view name) {
            if (changed(i) == changedAt.end()) {
                changedAt.emplace_back(i, name);
            }
        };
        for (std::size_t position = begin; position < end; ++position) {
            const std::size_t i = m_members[position];
            const JournalEntry& entry = m_journal.files[i];
            const std::string_view names[] = {entry.old, entry.temporary, entry.final};
            for (std::size_t k = 0; k < 3; ++k) {
                const std::string_view name = names[k];
                const std::uint32_t found = foundAt(position, k);
                if (found == kNothing || holds(RunFolder::Folder, name)) {
                    continue;
                }
                if (found == kRunFile || found == kStranger) {
                    // Another file by the listing's number: one of the run's, or one that took the name since.
                    if (found == kStranger) {
                        noteChanged(i, name);
                    }
                    continue;
                }
                const std::optional<FileIdentity>& seen = seenAt(position, k);
                if (!seen) {
                    continue;
                }
                if (isFile(*seen, identity, born)) {
                    hold(RunFolder::Folder, name);
                } else if (k == 0
                           && matches(*seen,
                                      identity,
                                      Match::Inode,
                                      m_journal.startedNs,
                                      m_precision,
                                      m_journal.byContent())) {
                    // The file itself at its old name, changed since the run: by the rename of an undo cut
                    // short, or by the user once it was back. Nothing is left to do, and nothing is done to it.
                    back.push_back(i);
                } else if (seen->sameInode(identity) || !isRunFile(*seen)) {
                    noteChanged(i, name);
                }
            }
            if (!m_transfer || entry.target.empty()) {
                continue;
            }
            const std::optional<FileIdentity>& seen = seenAt(position, 3);
            planReplaced(i, seen, identity, steps);
            if (!seen) {
                continue;
            }
            if (isFile(*seen, identity, born)) {
                hold(RunFolder::SaveFolder, entry.target);
            } else if (!seen->sameInode(m_journal.atTargetOf(i))
                       && matches(*seen, m_journal.identityOf(i), Match::Content, m_journal.startedNs, m_precision)) {
                copies.emplace_back(i, Slot{RunFolder::SaveFolder, entry.target});
            } else if (seen->sameInode(identity)) {
                noteChanged(i, entry.target); // moved, then changed in the save folder
            }
        }
        const auto holdHidden = [&](const std::pair<Slot, FileIdentity>& hidden) {
            if (isFile(hidden.second, identity, born)) {
                hold(hidden.first.folder, hidden.first.name);
            }
        };
        if (m_journal.byContent()) {
            std::for_each(m_hidden.begin(), m_hidden.end(), holdHidden);
        } else {
            // A ring of many files cut short leaves as many private names: each file finds its own at once.
            const auto [first, last] = m_hiddenByInode.equal_range(InodeKey(identity));
            for (auto found = first; found != last; ++found) {
                holdHidden(m_hidden[found->second]);
            }
        }

        // The names the file had before the run: its old names (the first entry of a name takes it), and a
        // name in the save folder that was already one of its names.
        const auto linked = m_linkedInSave.find(InodeKey(identity));
        const auto savedBefore = [&](const Slot& slot) {
            return linked != m_linkedInSave.end()
                   && std::any_of(linked->second.begin(), linked->second.end(), [&](std::size_t i) {
                          return m_names.same(slot.folder, slot.name, RunFolder::SaveFolder, m_journal.files[i].target);
                      });
        };
        std::vector<bool>& atOldName = m_atOldName;
        atOldName.assign(group.size(), false);
        for (std::size_t position = 0; position < group.size(); ++position) {
            atOldName[position] = std::find(back.begin(), back.end(), group[position]) != back.end();
        }
        std::vector<Slot>& made = m_made; // names the run made for the file
        made.clear();
        for (const Slot& slot : held) {
            const auto old = std::find_if(group.begin(), group.end(), [&](std::size_t i) {
                return m_names.same(slot.folder, slot.name, RunFolder::Folder, m_journal.files[i].old);
            });
            if (old != group.end()) {
                atOldName[static_cast<std::size_t>(old - group.begin())] = true;
                if (slot.name != m_journal.files[*old].old) {
                    // One name spelled otherwise in a folder that ignores case: its spelling comes back.
                    steps.moves.push_back({.from = slot, .entry = *old, .caseOnly = true});
                }
            } else if (!savedBefore(slot)) {
                made.push_back(slot);
            }
        }

        // Each old name the file lost takes back one of the names the run made, or, where the file was
        // moved to another file system, its copy there.
        std::size_t nextMade = 0;
        for (std::size_t position = 0; position < group.size(); ++position) {
            const std::size_t i = group[position];
            if (atOldName[position]) {
                continue;
            }
            if (nextMade < made.size()) {
                steps.moves.push_back({.from = made[nextMade++], .entry = group[position]});
                continue;
            }
            const auto copy = std::find_if(copies.begin(), copies.end(), [&](const auto& at) {
                return at.first == i;
            });
            if (m_journal.operation == FileOperation::RenameMove && copy != copies.end()) {
                steps.moves.push_back({.from = copy->second, .entry = group[position], .match = Match::Content});
                copies.erase(copy);
                continue;
            }
            const auto at = changed(i);
            const bool isChanged = at != changedAt.end();
            steps.failures.push_back({i,
                                      {std::string(m_journal.files[i].old),
                                       isChanged ? std::string(at->second) : std::string("-"),
                                       isChanged ? kChangedSinceRun : failureReason(ENOENT)}});
        }
        // What is left of the names the run made is the trace of a rename by link and unlink: a second
        // name, removed only while the file keeps another.
        for (; nextMade < made.size(); ++nextMade) {
            steps.removals.push_back({.entry = group.front(), .at = made[nextMade], .match = Match::OtherName});
        }
        for (const auto& [i, slot] : copies) {
            steps.removals.push_back({.entry = i, .at = slot, .match = Match::Content});
        }
    }

    // What stood at an entry's target before the run and is not there now: back from the Trash, where the
    // run put it when it replaced it; lost where the run replaced it outright.
    void
    planReplaced(std::size_t i, const std::optional<FileIdentity>& seen, const FileIdentity& identity, Steps& steps)
    {
        std::string trashed;
        switch (atTargetNow(m_journal, i, seen, identity, m_precision, m_steps, trashed)) {
        case BeforeRun::Trashed:
            steps.putBacks.push_back({i, std::move(trashed)});
            break;
        case BeforeRun::Lost:
            ++steps.lost;
            break;
        case BeforeRun::Kept:
        case BeforeRun::Gone:
            break;
        }
    }

    // A hidden file of the run's own process that is no file's name, born while the run went on, is a
    // copy cut short.
    void planLeftovers(Steps& steps)
    {
        const std::string ownPrefix = ".tallyfox." + std::to_string(m_journal.pid) + "-";
        for (auto& [slot, seen] : m_hidden) {
            const bool bornSince = !seen.bornKnown() || m_journal.startedNs == 0 || seen.bornNs > m_journal.startedNs;
            if (slot.name.starts_with(ownPrefix) && !isRunFile(seen) && bornSince) {
                steps.removals.push_back({.at = std::move(slot), .leftover = seen, .isLeftover = true});
                ++steps.leftovers;
            }
        }
    }

    const Journal& m_journal;
    RecoverySteps& m_steps;
    const bool m_transfer;
    const bool m_ended = m_journal.marked(JournalMark::RunDone);
    FolderNames m_names;
    const std::size_t m_entriesAtOnce;
    std::int64_t m_precision = 1;
    bool m_emptyRunFileMayLookNew = false;
    static constexpr std::uint32_t kNoGroup = UINT32_MAX;
    std::vector<std::uint32_t> m_slots;       // the groups by inode, open-addressed; none where known by content
    std::vector<std::uint32_t> m_firsts;      // the first entry of each group
    std::vector<std::uint32_t> m_members;     // the entries, group after group
    std::vector<std::uint32_t> m_groupStarts; // where each group begins in m_members, and the end
    std::unordered_map<InodeKey, std::vector<std::size_t>, InodeHash> m_linkedInSave;
    std::vector<std::pair<Slot, FileIdentity>> m_hidden;
    std::unordered_multimap<InodeKey, std::size_t, InodeHash> m_hiddenByInode; // positions in m_hidden
    // Used again for each file, so that planning a file allocates nothing once they have grown.
    std::vector<Slot> m_held;
    std::vector<std::pair<std::size_t, Slot>> m_copies;
    std::vector<std::pair<std::size_t, std::string_view>> m_changedAt;
    std::vector<bool> m_atOldName;
    std::vector<std::size_t> m_back;
    std::vector<Slot> m_made;
    std::size_t m_chunk = 0;                         // where the share observed last begins in m_members
    std::vector<std::uint32_t> m_found;              // by entry of the share, then by name: see observe()
    std::vector<std::optional<FileIdentity>> m_seen; // what the looks of the share found
};

// Takes every file back to its old name in one pass: a file whose old name is still held by another
// file of the run waits until that file has left it, and files that hold each other's old names in a
// ring are freed by one of them stepping aside to a private name.
class Mover
{
public:
    static constexpr std::uint32_t kNobody = UINT32_MAX;

    Mover(const Journal& journal,
          RecoverySteps& steps,
          const FolderNames& names,
          std::vector<Move>& moves,
          std::vector<std::pair<std::size_t, int>>& errors,
          NameStore& kept,
          std::function<void()> ended)
        : m_journal(journal)
        , m_steps(steps)
        , m_moves(moves)
        , m_errors(errors)
        , m_kept(kept)
        , m_holder(moves.size(), kNobody)
        , m_waiter(moves.size(), kNobody)
        , m_left(moves.size(), false)
        , m_ended(std::move(ended))
    {
        // Who holds each file's old name, found once: the files of the run hold names in the folder only
        // until they leave them, and no step of the undo gives a file of the run a name another one holds.
        const bool folds = names.ignoresCase(RunFolder::Folder);
        std::vector<std::string> folded; // where the folder ignores case: names in one case
        if (folds) {
            folded.reserve(m_moves.size());
            for (const Move& move : m_moves) {
                folded.push_back(names.key(RunFolder::Folder, move.from.name));
            }
        }
        // A file in the save folder holds no name of the folder: an empty name, which no old name is.
        const NameIndex heldBy(m_moves.size(), [&](std::size_t i) -> std::string_view {
            if (m_moves[i].from.folder != RunFolder::Folder) {
                return {};
            }
            return folds ? std::string_view(folded[i]) : std::string_view(m_moves[i].from.name);
        });
        for (std::size_t i = 0; i < m_moves.size(); ++i) {
            const std::string_view old = m_journal.files[m_moves[i].entry].old;
            const std::uint32_t holder = folds ? heldBy.find(names.key(RunFolder::Folder, old)) : heldBy.find(old);
            if (holder != NameTable::kNone && holder != i) {
                m_holder[i] = holder;
            }
        }
    }

    void run()
    {
        for (std::size_t i = 0; i < m_moves.size(); ++i) {
            if (m_moves[i].state == Move::State::Pending) {
                m_ready.push_back(i);
                settle();
            }
        }
        for (std::size_t i = 0; i < m_moves.size(); ++i) {
            if (m_moves[i].state != Move::State::Waiting) {
                continue;
            }
            const std::size_t holder = m_holder[i];
            if (m_moves[holder].state == Move::State::Waiting && !m_moves[holder].aside) {
                stepAside(holder);
                settle();
            }
        }
        for (Move& move : m_moves) {
            if (move.state == Move::State::Waiting) {
                fail(static_cast<std::size_t>(&move - m_moves.data()), EEXIST);
            }
        }
    }

private:
    FileIdentity identity(const Move& move) const
    {
        return m_journal.identityOf(move.entry);
    }

    void settle()
    {
        while (!m_ready.empty()) {
            const std::size_t i = m_ready.back();
            m_ready.pop_back();
            attempt(i);
        }
    }

    // Whether the file of move `i` must wait for its old name: a file of the run still holds it.
    bool mustWait(std::size_t i)
    {
        const std::size_t holder = m_holder[i];
        if (holder == kNobody || m_left[holder]) {
            return false;
        }
        const Move::State state = m_moves[holder].state;
        if (state != Move::State::Pending && state != Move::State::Waiting) {
            return false;
        }
        m_moves[i].state = Move::State::Waiting;
        m_waiter[holder] = static_cast<std::uint32_t>(i);
        return true;
    }

    void attempt(std::size_t i)
    {
        Move& move = m_moves[i];
        if (move.caseOnly && !stepAside(i)) {
            return;
        }
        if (mustWait(i)) {
            return;
        }
        const int error = m_steps.rename(move.from.folder,
                                         std::string(move.from.name),
                                         RunFolder::Folder,
                                         std::string(m_journal.files[move.entry].old),
                                         identity(move),
                                         move.match);
        if (error == 0) {
            move.state = Move::State::Done;
            ended();
            leave(i);
            return;
        }
        fail(i, error);
    }

    void fail(std::size_t i, int error)
    {
        m_moves[i].state = Move::State::Failed;
        m_errors.emplace_back(i, error);
        ended();
    }

    // The file of move `i` leaves the name it holds for a private one; false when it cannot.
    bool stepAside(std::size_t i)
    {
        Move& move = m_moves[i];
        move.caseOnly = false;
        move.aside = true;
        const std::string hidden = m_steps.privateName(move.from.folder);
        const int error = m_steps.rename(
            move.from.folder, std::string(move.from.name), move.from.folder, hidden, identity(move), Match::Inode);
        if (error != 0) {
            fail(i, error);
            return false;
        }
        move.from.name = m_kept.keep(hidden);
        leave(i);
        return true;
    }

    // The file of move `i` has left the name it held: a file waiting for that name may take it.
    void leave(std::size_t i)
    {
        if (m_left[i]) {
            return;
        }
        m_left[i] = true;
        if (const std::size_t waiter = std::exchange(m_waiter[i], kNobody); waiter != kNobody) {
            m_moves[waiter].state = Move::State::Pending;
            m_ready.push_back(waiter);
        }
    }

    void ended() const
    {
        if (m_ended) {
            m_ended();
        }
    }

    const Journal& m_journal;
    RecoverySteps& m_steps;
    std::vector<Move>& m_moves;
    std::vector<std::pair<std::size_t, int>>& m_errors;
    NameStore& m_kept;                   // the private names the files step aside to
    std::vector<std::uint32_t> m_holder; // by move: the move whose file holds its old name now
    std::vector<std::uint32_t> m_waiter; // by move: the move that waits for its file to leave its name
    std::vector<bool> m_left;            // by move: its file has left the name it held
    std::vector<std::size_t> m_ready;
    std::function<void()> m_ended; // told of each file that is back, or cannot come back
};

} // namespace

struct Restoration::Plan
{
    Plan(const Journal& journal, RecoverySteps& steps, std::size_t entriesAtOnce)
        : planner(journal, steps, entriesAtOnce)
        , steps(planner.plan())
    {
    }
    Planner planner;
    Steps steps;
};

Restoration::Restoration(const Journal& journal, RecoverySteps& steps, std::size_t entriesAtOnce)
    : m_journal(journal)
    , m_steps(steps)
    , m_plan(std::make_unique<Plan>(journal, steps, entriesAtOnce))
{
}

Restoration::~Restoration() = default;

RestorePlan Restoration::counts() const
{
    const Steps& planned = m_plan->steps;
    return {.files = planned.files,
            .leftovers = planned.leftovers,
            .copies = planned.copies,
            .fromTrash = planned.putBacks.size(),
            .lost = planned.lost};
}

std::vector<FileFailure> Restoration::run(const std::function<void(std::size_t done, std::size_t all)>& progress)
{
    Steps& planned = m_plan->steps;
    const std::size_t all = planned.removals.size() + planned.moves.size() + planned.putBacks.size();
    std::size_t done = 0;
    const auto stepEnded = [&] {
        if (progress) {
            progress(++done, all);
        }
    };
    m_steps.beforeSteps();
    // Removals first: they free names that other files of the run may need.
    for (const Removal& removal : planned.removals) {
        const FileIdentity& expected =
            removal.isLeftover || removal.isPlaceholder ? removal.leftover : m_journal.identityOf(removal.entry);
        m_steps.remove(removal.at.folder, std::string(removal.at.name), expected, removal.match);
        stepEnded();
    }
    Mover(m_journal, m_steps, m_plan->planner.names(), planned.moves, planned.moveErrors, planned.names, stepEnded)
        .run();
    // Last, once the copies and the files moved have left the save folder: what they replaced comes back.
    for (const PutBack& putBack : planned.putBacks) {
        const JournalEntry& entry = m_journal.files[putBack.entry];
        if (const int error = m_steps.putBack(putBack.trashed,
                                              RunFolder::SaveFolder,
                                              std::string(entry.target),
                                              m_journal.atTargetOf(putBack.entry))) {
            planned.failures.push_back({putBack.entry,
                                        {std::string(entry.target),
                                         putBack.trashed,
                                         error == ESTALE ? kChangedSinceRun : failureReason(error)}});
        }
        stepEnded();
    }
    std::sort(planned.moveErrors.begin(), planned.moveErrors.end());
    for (const auto& [i, error] : planned.moveErrors) {
        const Move& move = planned.moves[i];
        planned.failures.push_back({move.entry,
                                    {std::string(m_journal.files[move.entry].old),
                                     std::string(move.from.name),
                                     error == ESTALE ? kChangedSinceRun : failureReason(error)}});
    }
    std::stable_sort(planned.failures.begin(), planned.failures.end(), [](const auto& a, const auto& b) {
        return a.first < b.first;
    });
    std::vector<FileFailure> failures;
    failures.reserve(planned.failures.size());
    for (auto& [entry, failure] : planned.failures) {
        failures.push_back(std::move(failure));
    }
    planned = Steps{};
    return failures;
}

RestorePlan planRestore(const Journal& journal, RecoverySteps& steps)
{
    return Restoration(journal, steps).counts();
}

RestorePlan recordedCounts(const Journal& journal, RecoverySteps& steps)
{
    RestorePlan counts;
    const bool transfer = transfers(journal.operation);
    const std::int64_t precision = std::max(steps.timePrecisionNs(RunFolder::Folder),
                                            transfer ? steps.timePrecisionNs(RunFolder::SaveFolder) : std::int64_t{1});
    for (std::size_t i = 0; i < journal.files.size(); ++i) {
        const JournalEntry& entry = journal.files[i];
        const FileIdentity& identity = journal.identityOf(i);
        const FileIdentity& atTarget = journal.atTargetOf(i);
        if (!identity.exists()) {
            continue;
        }
        const bool transferred = transfer && !entry.target.empty();
        counts.files += entry.old != entry.final || transferred ? 1 : 0;
        counts.copies += transferred && journal.operation == FileOperation::RenameCopy ? 1 : 0;
        if (!transferred) {
            continue;
        }
        // Looked at only where something other than the run's file stood at the target before the run.
        const bool stoodThere = atTarget.exists() && (journal.byContent() || !atTarget.sameInode(identity));
        const std::optional<FileIdentity> seen =
            stoodThere ? steps.look(RunFolder::SaveFolder, std::string(entry.target)) : std::nullopt;
        std::string trashed;
        const BeforeRun before = atTargetNow(journal, i, seen, identity, precision, steps, trashed);
        counts.fromTrash += before == BeforeRun::Trashed ? 1 : 0;
        counts.lost += before == BeforeRun::Lost ? 1 : 0;
    }
    return counts;
}

std::vector<FileFailure> restore(const Journal& journal, RecoverySteps& steps)
{
    return Restoration(journal, steps).run();
}

std::string undoHeadline(const RestorePlan& plan)
{
    return "直前の処理を元に戻します（" + std::to_string(plan.files) + " 件）。";
}

std::vector<std::string> undoEffects(const RestorePlan& plan)
{
    std::vector<std::string> lines;
    if (plan.copies > 0) {
        lines.push_back("保存フォルダのコピー " + std::to_string(plan.copies) + " 件を削除します。");
    }
    if (plan.fromTrash > 0) {
        lines.push_back("ごみ箱から " + std::to_string(plan.fromTrash) + " 件のファイルを元の場所に戻します。");
    }
    if (plan.lost > 0) {
        lines.push_back("上書きされたファイル " + std::to_string(plan.lost) + " 件は元に戻せません。");
    }
    return lines;
}

std::string restoreMessage(const std::vector<FileFailure>& failures)
{
    return "処理前の名前に戻しました。  " + failureList(failures);
}

} // namespace tallyfox
