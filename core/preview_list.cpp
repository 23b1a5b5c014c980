#include "core/preview_list.h"

#include "core/errors.h"
#include "core/integer_text.h"

#include <algorithm>
#include <string_view>

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
    const std::vector<PlannedName>& files = preview.plan.files;
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

std::unordered_set<std::string> namesOutside(const std::vector<std::string>& entries,
                                             const std::vector<std::string>& listed)
{
    const std::unordered_set<std::string_view> inList(listed.begin(), listed.end());
    std::unordered_set<std::string> outside;
    for (const std::string& entry : entries) {
        if (!inList.contains(entry)) {
            outside.insert(entry);
        }
    }
    return outside;
}

PreviewList previewRun(const RunRequest& request, const PreviewFolders& folders)
{
    PreviewList preview;
    preview.operation = request.naming.operation;
    preview.names = folders.names;
    preview.saveNames = folders.saveNames;
    preview.refusal = trimmed(runRefusal(request));
    try {
        preview.plan = planNames(request.names, request.naming);
    } catch (const FormatError& error) {
        preview.refusal = error.what(); // the run would end here, before any file is touched
        return preview;
    }
    const std::vector<PlannedName>& files = preview.plan.files;
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
        for (std::size_t i = 0; i < count; ++i) {
            PreviewState& state = preview.states[i];
            if (isProblem(state)) {
                continue; // the file stays where it is
            }
            if (!folders.saveFolderRead) {
                state = PreviewState::NoSaveFolder;
            } else if (unusableName(files[i].final, folders.saveNames) != 0) {
                state = PreviewState::UnusableInSaveFolder;
            } else if (const auto held = folders.saveEntries.find(std::string(files[i].final));
                       held != folders.saveEntries.end()) {
                state =
                    held->second == EntryKind::Folder ? PreviewState::FolderInSaveFolder : PreviewState::InSaveFolder;
            }
            preview.problems += isProblem(state) ? 1 : 0;
        }
    }
    return preview;
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
        return failureReason(unusableName(preview.plan.files[position].final, preview.names));
    case PreviewState::UnusableInSaveFolder:
        return "保存フォルダでは" + failureReason(unusableName(preview.plan.files[position].final, preview.saveNames));
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
