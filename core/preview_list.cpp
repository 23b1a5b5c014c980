#include "core/preview_list.h"

#include "core/errors.h"
#include "core/integer_text.h"
#include "core/name_table.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <optional>
#include <string_view>
#include <thread>

namespace tallyfox {

namespace {

bool transfers(FileOperation operation)
{
    return operation == FileOperation::RenameCopy || operation == FileOperation::RenameMove;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// Whether some file's fate hangs on another's in a way the names alone do not tell. A file that cannot
// leave its name holds up a file that wants it: in a numbering run, one whose new name cannot be used
// or whose temporary name is taken (a file refused its new name for a name held outside the list, or for
// a duplicate, steps aside and frees its own); in a change of extensions, made in list order, any file
// whose new name another listed file still has when its turn comes.
bool outcomeHangsOnOrder(const PreviewList& preview,
                         const PreviewFolders& folders,
                         const std::unordered_map<std::string_view, std::uint32_t>& byFinal)
{
    const EntryList& files = preview.plan.files;
    if (preview.operation == FileOperation::ExtensionOnly) {
        std::unordered_set<std::string_view> olds;
        for (const PlannedName& file : files) {
            olds.insert(file.old);
        }
        for (const PlannedName& file : files) {
            if (file.final != file.old && olds.contains(file.final)) {
                return true;
            }
        }
        return false;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (preview.states[i] == PreviewState::Unusable && byFinal.contains(files[i].old)) {
            return true;
        }
    }
    // Every temporary name begins with "_": only names that do can be in its way, and most lists have
    // none, so the temporary names are looked up only when there are.
    const auto aside = [](std::string_view name) {
        return !name.empty() && name.front() == '_';
    };
    std::unordered_set<std::string_view> taken;
    for (const PlannedName& file : files) {
        if (aside(file.old)) {
            taken.insert(file.old);
        }
    }
    for (const std::string& name : folders.outside) {
        if (aside(name)) {
            taken.insert(name);
        }
    }
    const bool finalsAside = std::any_of(files.begin(), files.end(), [&](const PlannedName& file) {
        return aside(file.final);
    });
    if (taken.empty() && !finalsAside) {
        return false;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string_view temporary = files[i].temporary;
        const auto final = byFinal.find(temporary);
        if (taken.contains(temporary) || (final != byFinal.end() && final->second != i)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isProblem(PreviewState state)
{
    return state != PreviewState::Renamed && state != PreviewState::Unchanged;
}

std::unordered_set<std::string> namesOutside(const std::vector<std::string>& entries, const NameList& listed)
{
    // One open-addressed table rather than a node per name: a folder may hold a million.
    const NameTable inList(listed.size(), [&listed](std::size_t i) {
        return listed[i];
    });
    return namesOutside(entries, inList);
}

std::unordered_set<std::string> namesOutside(const std::vector<std::string>& entries, const NameTable& listed)
{
    const auto lookUp = [&](std::size_t from, std::size_t to, std::vector<std::size_t>& outside) {
        for (std::size_t i = from; i < to; ++i) {
            if (listed.find(entries[i]) == NameTable::kNone) {
                outside.push_back(i);
            }
        }
    };
    // A look-up waits on memory more than on the processor: in a large folder, half the entries are
    // looked up on a thread of their own.
    constexpr std::size_t kHalvedFrom = 65536;
    const std::size_t half = entries.size() >= kHalvedFrom ? entries.size() / 2 : 0;
    std::vector<std::size_t> first;
    std::vector<std::size_t> second;
    std::exception_ptr failed;
    {
        std::jthread other;
        if (half > 0) {
            other = std::jthread([&] {
                try {
                    lookUp(0, half, first);
                } catch (...) {
                    failed = std::current_exception();
                }
            });
        }
        lookUp(half, entries.size(), second);
    }
    if (failed) {
        std::rethrow_exception(failed);
    }
    std::unordered_set<std::string> outside;
    for (const std::vector<std::size_t>* part : {&first, &second}) {
        for (const std::size_t i : *part) {
            outside.insert(entries[i]);
        }
    }
    return outside;
}

namespace {

// The run's refusal for `names` in place of the request's own: a refusal asks only whether there are
// any, so one stands for them all.
std::string refusalFor(const RunRequest& request, const NameList& names)
{
    RunRequest probe;
    probe.naming = request.naming;
    probe.saveFolder = request.saveFolder;
    if (!names.empty()) {
        probe.names = NameList{names.front()};
    }
    return trimmed(runRefusal(probe));
}

// Each file that would reach the save folder judged there, files whose run already fails left as they
// are: `unusable(i)` whether its new name cannot be a name there, `held(i)` what holds that name there.
// Counts the problems anew.
template <typename Unusable, typename Held>
void judgeInSaveFolder(PreviewList& preview, const PreviewFolders& folders, Unusable unusable, Held held)
{
    for (std::size_t i = 0; i < preview.states.size(); ++i) {
        PreviewState& state = preview.states[i];
        if (isProblem(state)) {
            continue; // the file stays where it is
        }
        if (!folders.saveFolderRead) {
            state = PreviewState::NoSaveFolder;
        } else if (unusable(i)) {
            state = PreviewState::UnusableInSaveFolder;
        } else if (const std::optional<EntryKind> kind = held(i)) {
            state = *kind == EntryKind::Folder ? PreviewState::FolderInSaveFolder : PreviewState::InSaveFolder;
        }
    }
    preview.problems = static_cast<std::size_t>(std::count_if(preview.states.begin(), preview.states.end(), isProblem));
}

// The whole plan and every file's state from it.
PreviewList previewWhole(const NameList& names, const RunRequest& request, const PreviewFolders& folders)
{
    PreviewList preview;
    preview.operation = request.naming.operation;
    preview.naming = request.naming;
    preview.names = folders.names;
    preview.saveNames = folders.saveNames;
    preview.refusal = refusalFor(request, names);
    try {
        preview.plan = planNames(names, request.naming);
    } catch (const FormatError& error) {
        preview.refusal = error.what(); // the run would end here, before any file is touched
        return preview;
    }
    const EntryList& files = preview.plan.files;
    const std::size_t count = files.size();
    preview.states.assign(count, PreviewState::Renamed);
    preview.sameNameAs.assign(count, 0);

    std::unordered_map<std::string_view, std::uint32_t> byFinal;
    byFinal.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const PlannedName& file = files[i];
        PreviewState& state = preview.states[i];
        if (unusableName(file.final, folders.names) != 0) {
            state = PreviewState::Unusable;
            continue;
        }
        const auto [first, isFirst] = byFinal.emplace(file.final, static_cast<std::uint32_t>(i));
        if (!isFirst) {
            state = PreviewState::Duplicate;
            preview.sameNameAs[i] = first->second;
            if (preview.states[first->second] != PreviewState::Duplicate) {
                preview.states[first->second] = PreviewState::Duplicate;
                preview.sameNameAs[first->second] = static_cast<std::uint32_t>(i);
            }
        } else if (file.final == file.old) {
            state = PreviewState::Unchanged;
        } else if (!folders.outside.empty() && folders.outside.contains(std::string(file.final))) {
            state = PreviewState::HeldOutside;
        }
    }
    for (const PreviewState state : preview.states) {
        preview.problems += isProblem(state) ? 1 : 0;
    }

    // Where one file's fate hangs on another's, the run's own renames are played on the names in memory.
    if (outcomeHangsOnOrder(preview, folders, byFinal)) {
        planSteps(preview.plan, preview.operation);
        const std::vector<RehearsedFile> outcome =
            rehearseRun(preview.plan, preview.operation, folders.entries, folders.names);
        for (std::size_t i = 0; i < count; ++i) {
            if (!isProblem(preview.states[i]) && !outcome[i].reached) {
                preview.states[i] = PreviewState::HeldInList;
                ++preview.problems;
            }
        }
    }

    if (transfers(preview.operation) && !request.saveFolder.empty() && !folders.saveFolderIsListFolder) {
        judgeInSaveFolder(
            preview,
            folders,
            [&](std::size_t i) {
                return unusableName(files[i].final, folders.saveNames) != 0;
            },
            [&](std::size_t i) -> std::optional<EntryKind> {
                const auto held = folders.saveEntries.find(std::string(files[i].final));
                return held == folders.saveEntries.end() ? std::nullopt : std::optional<EntryKind>(held->second);
            });
    }
    return preview;
}

bool isDigitCharacter(char c)
{
    return c >= '0' && c <= '9';
}

// Whether `text`, wherever it stands in a name, makes the name unusable under `rules` (unusableName).
bool spoils(std::string_view text, NameRules rules)
{
    return std::any_of(text.begin(), text.end(), [rules](char c) {
        return c == '/' || c == '\0'
               || (rules == NameRules::Fat
                   && (static_cast<unsigned char>(c) < 0x20
                       || std::string_view(":?*\"<>|\\").find(c) != std::string_view::npos));
    });
}

constexpr std::size_t kNoFile = static_cast<std::size_t>(-1);

// What every new name of a numbering run is made of: the text before the number, the number, the text
// after it and the extension. Where what follows the number cannot begin with a digit, the number is
// told apart in every new name: no two files get one name, and a name is traced back to the only file
// that could get it by the number it bears.
class Numbering
{
public:
    // Throws FormatError for a digit count the run cannot use.
    Numbering(const NameList& names, const NamingSettings& naming)
        : m_names(names)
        , m_naming(naming)
        , m_format(NumberFormat(naming.digitCount))
    {
        const NamePattern pattern = naming.pattern;
        if (pattern == NamePattern::NameNumber || pattern == NamePattern::NameNumberName) {
            m_before = naming.textBefore;
        }
        if (pattern == NamePattern::NumberName || pattern == NamePattern::NameNumberName) {
            m_after = naming.textAfter;
        }
        m_specified = naming.extensionMode == ExtensionMode::Specified;
        if (m_specified) {
            m_given = NewExtension({}, ExtensionMode::Specified, naming.givenExtension);
        }
        // The numbers run one way, so the longest is written at one end or the other.
        if (!names.empty()) {
            m_longestNumber = std::max(NumberText(m_format, runningNumber(naming, 0)).size(),
                                       NumberText(m_format, runningNumber(naming, count() - 1)).size());
        }
    }

    std::int64_t count() const
    {
        return static_cast<std::int64_t>(m_names.size());
    }

    std::string_view before() const
    {
        return m_before;
    }

    bool numberApart() const
    {
        return m_after.empty() || !isDigitCharacter(m_after.front());
    }

    std::string number(std::size_t position) const
    {
        return NumberText(m_format, runningNumber(m_naming, static_cast<std::int64_t>(position)));
    }

    // As planNames composes them.
    std::string finalName(std::size_t position) const
    {
        return composeNumberedName(m_names[position], number(position), m_naming);
    }

    std::string temporaryName(std::size_t position) const
    {
        const std::string written = number(position);
        const std::string_view extension = extensionOf(m_names[position]);
        std::string name;
        name.reserve(1 + written.size() + extension.size());
        name += '_';
        name += written;
        name += extension;
        return name;
    }

    // The file whose number `name` bears right after `prefix`, or kNoFile: the only file whose name
    // made with that prefix can be `name`.
    std::size_t bearer(std::string_view name, std::string_view prefix) const
    {
        if (!name.starts_with(prefix)) {
            return kNoFile;
        }
        std::size_t at = prefix.size();
        const bool negative = at < name.size() && name[at] == '-';
        at += negative ? 1 : 0;
        std::int64_t value = 0;
        std::size_t digits = 0;
        for (; at < name.size() && isDigitCharacter(name[at]); ++at) {
            if (++digits > 18) {
                return kNoFile; // longer than any number a run writes
            }
            value = value * 10 + (name[at] - '0');
        }
        const std::int64_t position = (negative ? -value : value) - m_naming.startNumber;
        return digits == 0 || position < 0 || position >= count() ? kNoFile : static_cast<std::size_t>(position);
    }

    // Whether the parts every new name has make them all unusable under `rules`.
    bool spoilsEvery(NameRules rules) const
    {
        return spoils(m_before, rules) || spoils(m_after, rules) || (m_specified && spoils(m_given, rules));
    }

    // Whether the new name of the file at `position` may be unusable where the shared parts are not: too
    // long by its bytes (a file system that counts UTF-16 code units never counts more), or an extension
    // taken from a name holding a character the file system refuses.
    bool mayBeUnusable(std::size_t position, NameRules rules) const
    {
        const std::string_view old = m_names[position];
        const std::size_t extension = m_specified ? m_given.size() : old.size();
        if (m_before.size() + m_longestNumber + m_after.size() + extension > NAME_MAX) {
            return true;
        }
        if (m_specified) {
            return false;
        }
        return rules == NameRules::Fat ? spoils(old, rules) : old.find('\0') != std::string_view::npos;
    }

    // Whether the new name of the file at `position` may be the name it has: it begins as every new name
    // begins, with the text before the number and then a digit or a minus.
    bool mayKeepName(std::size_t position) const
    {
        const std::string_view old = m_names[position];
        return old.size() > m_before.size() && old.starts_with(m_before)
               && (isDigitCharacter(old[m_before.size()]) || old[m_before.size()] == '-');
    }

private:
    const NameList& m_names;
    const NamingSettings& m_naming;
    std::string m_format;
    std::string m_before;
    std::string m_after;
    bool m_specified = false;
    std::string m_given;
    std::size_t m_longestNumber = 0;
};

// previewWhole's states for a numbering whose new names all differ, each file's worked out from its own
// names and the few names around the list traced back to the file they would hold up. False where the
// whole plan must be made: two files may get one name, a new name may be another's temporary name, or
// one file's fate hangs on another's.
bool previewNumbered(const NameList& names,
                     const RunRequest& request,
                     const PreviewFolders& folders,
                     PreviewList& preview)
{
    const NamingSettings& naming = request.naming;
    if (naming.operation == FileOperation::ExtensionOnly) {
        return false;
    }
    std::optional<Numbering> made;
    try {
        made.emplace(names, naming);
    } catch (const FormatError&) {
        return false; // the refusal is the plan's
    }
    const Numbering& numbering = *made;
    if (!numbering.numberApart() || (!names.empty() && numbering.before().starts_with('_'))) {
        return false;
    }
    preview.operation = naming.operation;
    preview.naming = naming;
    preview.names = folders.names;
    preview.saveNames = folders.saveNames;
    preview.refusal = refusalFor(request, names);
    const std::size_t count = names.size();
    preview.states.assign(count, PreviewState::Renamed);

    // The names around the list, each traced to the one file whose new name it could be.
    std::unordered_set<std::size_t> heldOutside;
    for (const std::string& name : folders.outside) {
        const std::size_t file = numbering.bearer(name, numbering.before());
        if (file != kNoFile && numbering.finalName(file) == name) {
            heldOutside.insert(file);
        }
    }
    const bool everyUnusable = count > 0 && numbering.spoilsEvery(folders.names);
    bool someUnusable = everyUnusable;
    for (std::size_t i = 0; i < count; ++i) {
        PreviewState& state = preview.states[i];
        if (everyUnusable
            || (numbering.mayBeUnusable(i, folders.names)
                && unusableName(numbering.finalName(i), folders.names) != 0)) {
            state = PreviewState::Unusable;
            someUnusable = true;
        } else if (numbering.mayKeepName(i) && numbering.finalName(i) == names[i]) {
            state = PreviewState::Unchanged;
        } else if (!heldOutside.empty() && heldOutside.contains(i)) {
            state = PreviewState::HeldOutside;
        }
    }

    // What would make previewWhole rehearse the run: a file refused its new name keeping a name another
    // file wants, or a temporary name held by a file of the list or outside it (no new name begins with
    // "_" here).
    if (someUnusable && !everyUnusable) {
        for (std::size_t i = 0; i < count; ++i) {
            if (preview.states[i] != PreviewState::Unusable) {
                continue;
            }
            const std::size_t wanting = numbering.bearer(names[i], numbering.before());
            if (wanting != kNoFile && preview.states[wanting] != PreviewState::Unusable
                && numbering.finalName(wanting) == names[i]) {
                return false;
            }
        }
    }
    const auto holdsTemporary = [&numbering](std::string_view name) {
        if (name.empty() || name.front() != '_') {
            return false;
        }
        const std::size_t file = numbering.bearer(name, "_");
        return file != kNoFile && numbering.temporaryName(file) == name;
    };
    if (std::any_of(names.begin(), names.end(), holdsTemporary)
        || std::any_of(folders.outside.begin(), folders.outside.end(), holdsTemporary)) {
        return false;
    }

    if (transfers(preview.operation) && !request.saveFolder.empty() && !folders.saveFolderIsListFolder) {
        std::unordered_map<std::size_t, EntryKind> saved;
        for (const auto& [name, kind] : folders.saveEntries) {
            const std::size_t file = numbering.bearer(name, numbering.before());
            if (file != kNoFile && numbering.finalName(file) == name) {
                saved.emplace(file, kind);
            }
        }
        const bool everyRefused = numbering.spoilsEvery(folders.saveNames);
        judgeInSaveFolder(
            preview,
            folders,
            [&](std::size_t i) {
                return everyRefused
                       || (numbering.mayBeUnusable(i, folders.saveNames)
                           && unusableName(numbering.finalName(i), folders.saveNames) != 0);
            },
            [&](std::size_t i) -> std::optional<EntryKind> {
                const auto held = saved.find(i);
                return held == saved.end() ? std::nullopt : std::optional<EntryKind>(held->second);
            });
    }
    preview.problems = static_cast<std::size_t>(std::count_if(preview.states.begin(), preview.states.end(), isProblem));
    return true;
}

} // namespace

PreviewList previewRun(const RunRequest& request, const PreviewFolders& folders)
{
    return previewWhole(request.names, request, folders);
}

PreviewList previewListed(NameList listed, const RunRequest& request, const PreviewFolders& folders)
{
    PreviewList preview;
    if (!previewNumbered(listed, request, folders, preview)) {
        preview = previewWhole(listed, request, folders);
    }
    preview.listed = std::move(listed);
    return preview;
}

std::string_view previewOldName(const PreviewList& preview, std::size_t position)
{
    return preview.plan.files.empty() ? preview.listed[position] : preview.plan.files[position].old;
}

std::string previewNewName(const PreviewList& preview, std::size_t position)
{
    if (!preview.plan.files.empty()) {
        return std::string(preview.plan.files[position].final);
    }
    return ComposeNewName(preview.listed[position], static_cast<std::int64_t>(position), preview.naming);
}

std::string previewStateText(const PreviewList& preview, std::size_t position)
{
    const FileOperation operation = preview.operation;
    const bool move = operation == FileOperation::RenameMove;
    switch (preview.states[position]) {
    case PreviewState::Renamed:
        switch (operation) {
        case FileOperation::RenameOnly:
            return "名前を変えます";
        case FileOperation::RenameCopy:
            return "名前を変えてコピーします";
        case FileOperation::RenameMove:
            return "名前を変えて移動します";
        case FileOperation::ExtensionOnly:
            break;
        }
        return "拡張子を変えます";
    case PreviewState::Unchanged:
        if (transfers(operation)) {
            return move ? "名前はそのままで移動します" : "名前はそのままでコピーします";
        }
        return "変更はありません（今と同じ名前です）";
    case PreviewState::HeldOutside:
        return "一覧にない同じ名前のファイルがフォルダにあるため、名前は変わりません";
    case PreviewState::Duplicate:
        return std::to_string(preview.sameNameAs[position] + 1) + " 番と同じ名前になります";
    case PreviewState::Unusable:
        return failureReason(unusableName(previewNewName(preview, position), preview.names));
    case PreviewState::UnusableInSaveFolder:
        return "保存フォルダでは" + failureReason(unusableName(previewNewName(preview, position), preview.saveNames));
    case PreviewState::HeldInList:
        return "この名前の一覧のファイルが名前を変えられないため、名前は変わりません";
    case PreviewState::InSaveFolder:
        return "保存フォルダに同じ名前のファイルがあります（実行時に上書きするか確かめます）";
    case PreviewState::FolderInSaveFolder:
        return std::string("保存フォルダに同じ名前のフォルダがあるため、") + (move ? "移動" : "コピー") + "できません";
    case PreviewState::NoSaveFolder:
        break;
    }
    return "保存フォルダが見つかりません";
}

std::string previewSummary(const PreviewList& preview)
{
    if (!preview.refusal.empty()) {
        return preview.refusal;
    }
    const std::string all = groupedCount(preview.states.size());
    if (preview.problems == 0) {
        return "問題のあるファイルはありません（全 " + all + " 件）";
    }
    return "問題のあるファイル： " + groupedCount(preview.problems) + " 件（全 " + all + " 件）";
}

} // namespace tallyfox
