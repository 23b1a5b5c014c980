#include "app/commands.h"
#include "core/collation.h"
#include "core/errors.h"
#include "core/integer_text.h"
#include "core/preview_list.h"
#include "core/rename_run.h"
#include "platform/file_operations.h"
#include "platform/file_times.h"
#include "platform/folders.h"
#include "platform/journal_store.h"
#include "platform/locale.h"
#include "platform/volumes.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>
#include <utility>

namespace tallyfox::app {

namespace {

bool transfers(FileOperation operation)
{
    return operation == FileOperation::RenameCopy || operation == FileOperation::RenameMove;
}

// How far the run is, counted as its file operations end.
class RunProgress final
{
public:
    RunProgress(CommandOutput& output, FileOperation operation, std::size_t files)
        : m_output(output)
        , m_transferText(operation == FileOperation::RenameMove ? "移動しています" : "コピーしています")
        , m_files(files)
    {
    }

    void renamed()
    {
        // A file that breaks a ring of names is renamed twice: the count stops at the files.
        const std::size_t done = ++m_renames;
        if (m_transfers.load(std::memory_order_relaxed) == 0) {
            m_output.progress("名前を変えています", done, m_files);
        }
    }

    void transferred()
    {
        m_output.progress(m_transferText, ++m_transfers, m_files);
    }

private:
    CommandOutput& m_output;
    const char* m_transferText;
    std::size_t m_files;
    std::atomic<std::size_t> m_renames{0};
    std::atomic<std::size_t> m_transfers{0};
};

// The run's file operations, each told to the progress line as it ends; the copies and moves that go on
// beside the run are counted through helpers of the same kind.
class CountedOperations final : public FileOperations
{
public:
    CountedOperations(FileOperations& operations, RunProgress& progress)
        : m_operations(operations)
        , m_progress(progress)
    {
    }

    CountedOperations(std::unique_ptr<FileOperations> owned, RunProgress& progress)
        : m_owned(std::move(owned))
        , m_operations(*m_owned)
        , m_progress(progress)
    {
    }

    int renameInFolder(const std::string& folder, const std::string& from, const std::string& to) override
    {
        const int error = m_operations.renameInFolder(folder, from, to);
        m_progress.renamed();
        return error;
    }

    bool fileExists(const std::string& path) override
    {
        return m_operations.fileExists(path);
    }

    bool sameFile(const std::string& a, const std::string& b) override
    {
        return m_operations.sameFile(a, b);
    }

    int copyFile(const std::string& source, const std::string& target, bool replace) override
    {
        const int error = m_operations.copyFile(source, target, replace);
        m_progress.transferred();
        return error;
    }

    int moveFile(const std::string& source, const std::string& target, bool replace) override
    {
        const int error = m_operations.moveFile(source, target, replace);
        m_progress.transferred();
        return error;
    }

    std::string sourceSetAsideAs() override
    {
        return m_operations.sourceSetAsideAs();
    }

    std::vector<std::unique_ptr<FileOperations>> helpers(const std::string& sourceFolder,
                                                         const std::string& saveFolder) override
    {
        std::vector<std::unique_ptr<FileOperations>> counted;
        for (std::unique_ptr<FileOperations>& helper : m_operations.helpers(sourceFolder, saveFolder)) {
            counted.push_back(std::make_unique<CountedOperations>(std::move(helper), m_progress));
        }
        return counted;
    }

private:
    std::unique_ptr<FileOperations> m_owned;
    FileOperations& m_operations;
    RunProgress& m_progress;
};

// What the file systems of the run's two folders allow in a name: the save folder's only where files
// are copied or moved into another folder.
struct FolderNameRules
{
    NameRules folder = NameRules::Bytes;
    std::optional<NameRules> saveFolder;
};

// A line for every file whose new name no file can have in its folder, or in the save folder, in the
// preview list's words: nothing is done when there is one.
std::vector<std::string> unusableNames(const EntryList& files, const FolderNameRules& rules)
{
    std::vector<std::string> lines;
    for (const PlannedName& file : files) {
        std::string reason;
        if (const int error = unusableName(file.final, rules.folder); error != 0) {
            reason = failureReason(error);
        } else if (const int saveError = rules.saveFolder ? unusableName(file.final, *rules.saveFolder) : 0;
                   saveError != 0) {
            reason = "保存フォルダでは" + failureReason(saveError);
        } else {
            continue;
        }
        lines.push_back(std::string(file.old) + " → " + std::string(file.final) + "：" + reason);
    }
    return lines;
}

// The window's run without its questions: a file already in the save folder is replaced only with
// --replace, else kept and told of; a run that could not be undone does not start, nor one that would
// give a file a name no file can have.
class CommandRunHost final : public RunHost
{
public:
    CommandRunHost(bool replace, FolderNameRules rules, bool keepNames)
        : m_replace(replace)
        , m_overwriteSuffix(overwriteQuestion({}))
        , m_rules(rules)
        , m_keepNames(keepNames)
    {
    }

    bool acceptsPlan(const EntryList& files) override
    {
        unusable = unusableNames(files, m_rules);
        if (m_keepNames) {
            // A file kept in the save folder is asked about by its new name; it is told of by its old one.
            for (const PlannedName& file : files) {
                oldNames.emplace(file.final, file.old);
            }
        }
        return unusable.empty();
    }

    RunAnswer ask(const std::string& text, RunBox box) override
    {
        switch (box) {
        case RunBox::Overwrite:
            if (m_replace) {
                return RunAnswer::Ok;
            }
            kept.push_back(text.substr(0, text.size() - m_overwriteSuffix.size()));
            return RunAnswer::Cancel;
        case RunBox::Risk:
            withoutJournal = true;
            return RunAnswer::Cancel;
        case RunBox::Confirmation:
            return RunAnswer::Ok;
        case RunBox::Report:
        case RunBox::FailureReport:
            break;
        }
        lastReport = text;
        return RunAnswer::Ok;
    }

    void setProgress(int) override
    {
    }

    void relistFileLists() override
    {
        // No list to show: the run's outcome is written from its result.
    }

    // The new names of the files kept in the save folder.
    std::vector<std::string> kept;
    bool withoutJournal = false;
    std::string lastReport;
    std::vector<std::string> unusable;
    // For a copy or move: each file's old name by its new one.
    std::unordered_map<std::string, std::string> oldNames;

private:
    bool m_replace;
    std::string m_overwriteSuffix;
    FolderNameRules m_rules;
    bool m_keepNames;
};

// Whether two paths reach one folder.
bool sameFolder(platform::Syscalls& calls, const std::string& a, const std::string& b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    return calls.fstatat(AT_FDCWD, a.c_str(), &first, 0) == 0 && calls.fstatat(AT_FDCWD, b.c_str(), &second, 0) == 0
           && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// Puts the listed names in the order asked for, as the file list's orders do, their numbers with them.
void putInOrder(platform::Syscalls& calls,
                FileOrder order,
                const NameCollator& collator,
                platform::NumberedListing& listing)
{
    const NameList& names = listing.names;
    Reordering reordering;
    switch (order) {
    case FileOrder::Name:
        return; // the listing's own order
    case FileOrder::NaturalName:
        reordering = orderByName(names, NameCollator(platform::userCollationLocale(), DigitOrder::ByValue));
        break;
    case FileOrder::Modified:
    case FileOrder::Taken: {
        const std::vector<FileTimes> times =
            platform::readFileTimes(calls,
                                    listing.folder,
                                    names,
                                    order == FileOrder::Taken ? platform::FileTimesWanted::ModifiedAndTaken
                                                              : platform::FileTimesWanted::Modified,
                                    std::numeric_limits<std::size_t>::max(),
                                    {});
        std::vector<std::optional<LocalTime>> keys;
        keys.reserve(times.size());
        for (const FileTimes& time : times) {
            keys.push_back(order == FileOrder::Taken ? takenOrModified(time) : time.modified);
        }
        reordering = orderByTime(names, keys, collator);
        break;
    }
    case FileOrder::Reverse:
        reordering = reverseOrder(names.size());
        break;
    }
    std::vector<std::uint64_t> orderedInodes;
    orderedInodes.reserve(names.size());
    for (const std::size_t position : reordering) {
        orderedInodes.push_back(listing.inodes[position]);
    }
    listing.names.reorder(reordering);
    listing.inodes = std::move(orderedInodes);
}

// Whether the run leaves a file of this state unprocessed: a problem, except a file already in the
// save folder that --replace replaces.
bool leftUnprocessed(PreviewState state, bool replace)
{
    return isProblem(state) && !(replace && state == PreviewState::InSaveFolder);
}

JsonObject rowOf(const PreviewList& preview, std::size_t position)
{
    const PlannedName& file = preview.plan.files[position];
    JsonObject row;
    row.number("position", static_cast<std::int64_t>(position + 1))
        .text("name", file.old)
        .text("newName", file.final)
        .text("state", previewStateText(preview, position))
        .flag("problem", isProblem(preview.states[position]));
    return row;
}

// The members every document of a renaming command begins with.
std::vector<std::pair<std::string, std::string>>
documentHead(const CommandArguments& arguments, const std::string& folder, const std::string& saveFolder)
{
    std::vector<std::pair<std::string, std::string>> members = {
        {"command", jsonString(arguments.command)},
        {"dryRun", arguments.dryRun ? "true" : "false"},
        {"folder", jsonString(folder)},
        {"operation", jsonString(operationCaption(arguments.naming.operation))},
    };
    if (!saveFolder.empty()) {
        members.emplace_back("saveFolder", jsonString(saveFolder));
    }
    return members;
}

// Refused before anything was done: the window's text, on standard error, and in the document.
int refuse(const CommandArguments& arguments,
           const std::string& folder,
           const std::string& saveFolder,
           const std::vector<std::string>& lines,
           CommandOutput& output)
{
    for (const std::string& line : lines) {
        output.error(lineText(line));
    }
    if (arguments.json) {
        std::vector<std::pair<std::string, std::string>> members = documentHead(arguments, folder, saveFolder);
        std::vector<std::string> texts;
        for (const std::string& line : lines) {
            texts.push_back(jsonString(line));
        }
        members.emplace_back("refused", jsonArray(texts));
        output.out(jsonDocument(members));
    }
    return kRefused;
}

int showPreview(const CommandArguments& arguments,
                const RunRequest& request,
                const PreviewList& preview,
                CommandOutput& output)
{
    std::size_t unprocessed = 0;
    for (const PreviewState state : preview.states) {
        unprocessed += leftUnprocessed(state, arguments.replace) ? 1 : 0;
    }
    const std::size_t count = preview.states.size();
    if (arguments.json) {
        std::vector<std::string> rows;
        rows.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            rows.push_back(rowOf(preview, i).str());
        }
        std::vector<std::pair<std::string, std::string>> members =
            documentHead(arguments, request.folder, request.saveFolder);
        members.emplace_back("files", jsonArray(rows));
        members.emplace_back("summary",
                             JsonObject()
                                 .number("files", static_cast<std::int64_t>(count))
                                 .number("problems", static_cast<std::int64_t>(preview.problems))
                                 .number("notProcessed", static_cast<std::int64_t>(unprocessed))
                                 .text("text", previewSummary(preview))
                                 .str());
        output.out(jsonDocument(members));
    } else {
        // The preview list's columns, a tab between them.
        std::string text = "番号\t現在の名前\t新しい名前\t状態\n";
        for (std::size_t i = 0; i < count; ++i) {
            const PlannedName& file = preview.plan.files[i];
            text += std::to_string(i + 1) + '\t' + lineText(file.old) + '\t' + lineText(file.final) + '\t'
                    + previewStateText(preview, i) + '\n';
            if (text.size() > (1U << 20)) {
                output.out(text);
                text.clear();
            }
        }
        text += previewSummary(preview) + '\n';
        output.out(text);
    }
    return unprocessed == 0 ? kEveryFileDone : kFilesNotProcessed;
}

int showRun(const CommandArguments& arguments,
            const RunRequest& request,
            const PreviewList* preview,
            const std::vector<FileFailure>& failures,
            CommandOutput& output)
{
    for (const FileFailure& failure : failures) {
        output.error(lineText(failure.before) + " → " + lineText(failure.now) + "：" + failure.reason);
    }
    const std::size_t count = request.names.size();
    std::string summary = trimmed(completionMessage(request.naming.operation, {}));
    if (failures.empty()) {
        summary += "（" + groupedCount(count) + " 件）";
    } else {
        summary +=
            "処理できなかったファイル： " + groupedCount(failures.size()) + " 件（全 " + groupedCount(count) + " 件）";
    }
    if (arguments.json && preview != nullptr) {
        std::unordered_map<std::string_view, const FileFailure*> failed;
        for (const FileFailure& failure : failures) {
            failed.emplace(failure.before, &failure);
        }
        std::vector<std::string> rows;
        rows.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            JsonObject row = rowOf(*preview, i);
            const auto failure = failed.find(preview->plan.files[i].old);
            row.flag("done", failure == failed.end());
            if (failure != failed.end()) {
                row.text("now", failure->second->now).text("reason", failure->second->reason);
            }
            rows.push_back(row.str());
        }
        std::vector<std::pair<std::string, std::string>> members =
            documentHead(arguments, request.folder, request.saveFolder);
        members.emplace_back("files", jsonArray(rows));
        members.emplace_back("summary",
                             JsonObject()
                                 .number("files", static_cast<std::int64_t>(count))
                                 .number("done", static_cast<std::int64_t>(count - failures.size()))
                                 .number("notProcessed", static_cast<std::int64_t>(failures.size()))
                                 .text("text", summary)
                                 .str());
        output.out(jsonDocument(members));
    } else {
        output.out(summary + '\n');
    }
    return failures.empty() ? kEveryFileDone : kFilesNotProcessed;
}

} // namespace

int runRenaming(const CommandArguments& arguments, platform::Syscalls& calls, CommandOutput& output)
{
    const NameCollator collator(platform::userCollationLocale());
    const FileOperation operation = arguments.naming.operation;
    // A save folder is taken from where the command was given, as a shell user means it, not from the
    // folder the listing enters.
    std::string saveFolder = arguments.saveFolder;
    if (!saveFolder.empty() && saveFolder.front() != '/') {
        try {
            saveFolder = platform::currentFolder(calls) + "/" + saveFolder;
        } catch (const InOutError& error) {
            return refuse(arguments, arguments.folder, saveFolder, {error.what()}, output);
        }
    }
    // The rows of the preview list are made for a dry run and for the document of a run; a plain run
    // needs only what the run itself plans.
    const bool previewed = arguments.dryRun || arguments.json;
    platform::NumberedListing listing;
    try {
        listing = platform::listNumberedFiles(calls, collator, arguments.folder, arguments.filter, previewed);
    } catch (const InOutError& error) {
        return refuse(arguments, arguments.folder, saveFolder, {arguments.folder + "：" + error.what()}, output);
    }
    putInOrder(calls, arguments.order, collator, listing);

    RunRequest request;
    request.folder = listing.folder;
    request.names = std::move(listing.names);
    request.naming = arguments.naming;
    request.saveFolder = saveFolder;
    request.confirmBeforeRun = 0;
    if (const std::string refused = runRefusal(request); !refused.empty()) {
        return refuse(arguments, request.folder, saveFolder, {trimmed(refused)}, output);
    }
    if (transfers(operation) && !platform::isFolder(calls, saveFolder)) {
        return refuse(arguments, request.folder, saveFolder, {"保存フォルダが見つかりません：" + saveFolder}, output);
    }

    PreviewList preview;
    FolderNameRules rules;
    if (previewed) {
        const PreviewFolders folders =
            platform::previewFoldersOf(calls, request.folder, std::move(listing.entries), request.names, saveFolder);
        rules.folder = folders.names;
        if (transfers(operation) && !folders.saveFolderIsListFolder) {
            rules.saveFolder = folders.saveNames;
        }
        preview = previewRun(request, folders);
        if (!preview.refusal.empty()) {
            return refuse(arguments, request.folder, saveFolder, {preview.refusal}, output);
        }
        // Refused as the run refuses it, before anything is done.
        if (std::vector<std::string> unusable = unusableNames(preview.plan.files, rules); !unusable.empty()) {
            return refuse(arguments, request.folder, saveFolder, unusable, output);
        }
        if (arguments.dryRun) {
            return showPreview(arguments, request, preview, output);
        }
    } else {
        rules.folder = platform::nameRulesOf(calls, request.folder);
        if (transfers(operation) && !sameFolder(calls, request.folder, saveFolder)) {
            rules.saveFolder = platform::nameRulesOf(calls, saveFolder);
        }
    }

    const std::string journals = platform::journalFolder();
    platform::StoredRunRecord record(calls, journals);
    // The folder was read just now: the journal takes who the files are from that reading.
    record.listedJustNow(request.folder, listing.readNs, std::move(listing.inodes));
    platform::PosixFileOperations files(calls);
    RunProgress progress(output, operation, request.names.size());
    CountedOperations counted(files, progress);
    CommandRunHost host(arguments.replace, rules, transfers(operation));
    RunResult result;
    try {
        result = runRename(request, host, counted, &record);
    } catch (const Error& error) {
        output.error(error.what());
        return kFilesNotProcessed;
    }
    output.endProgress();
    if (!result.started) {
        if (!host.unusable.empty()) {
            return refuse(arguments, request.folder, saveFolder, host.unusable, output);
        }
        if (host.withoutJournal) {
            return refuse(arguments,
                          request.folder,
                          saveFolder,
                          {"取り消し用の記録を書き込めないため、何も変更していません（記録の場所：" + journals + "）"},
                          output);
        }
        return refuse(arguments, request.folder, saveFolder, {trimmed(host.lastReport)}, output);
    }
    std::vector<FileFailure> failures = std::move(result.failures);
    const bool move = operation == FileOperation::RenameMove;
    for (const std::string& name : host.kept) {
        const auto old = host.oldNames.find(name);
        failures.push_back({old != host.oldNames.end() ? old->second : name,
                            name,
                            std::string("保存フォルダに同じ名前のファイルがあるため、") + (move ? "移動" : "コピー")
                                + "していません（--replace で置き換えます）"});
    }
    return showRun(arguments, request, previewed ? &preview : nullptr, failures, output);
}

} // namespace tallyfox::app
