#include "app/commands.h"
#include "core/integer_text.h"
#include "core/recovery.h"
#include "platform/journal_store.h"
#include "platform/run_journals.h"

#include <utility>

namespace tallyfox::app {

namespace {

int refuse(const CommandArguments& arguments, const std::string& line, CommandOutput& output)
{
    output.error(lineText(line));
    if (arguments.json) {
        output.out(jsonDocument({{"command", jsonString(arguments.command)},
                                 {"dryRun", arguments.dryRun ? "true" : "false"},
                                 {"refused", jsonArray({jsonString(line)})}}));
    }
    return kRefused;
}

} // namespace

int runUndo(const CommandArguments& arguments, platform::Syscalls& calls, CommandOutput& output)
{
    const std::string journals = platform::journalFolder();
    platform::JournalStore store(calls, journals);
    Journal last;
    std::string name;
    if (!platform::findLastRun(store, last, name)) {
        return refuse(arguments, "元に戻せる処理はありません。", output);
    }
    platform::RunRestore restore(calls, journals, name, std::move(last));
    const Journal& journal = restore.journal();
    switch (restore.open()) {
    case platform::RunRestore::Opened::Ready:
        break;
    case platform::RunRestore::Opened::Busy:
        return refuse(arguments, "このフォルダでは別の処理が実行中です。", output);
    case platform::RunRestore::Opened::FolderGone:
        return refuse(arguments, "直前の処理のフォルダが見つかりません：" + journal.folder, output);
    }
    // What the window's question counts, told instead of asked.
    const RestorePlan plan = restore.counts();
    const bool unfinished = !journal.marked(JournalMark::RunDone);
    const std::string started = platform::localClockText(journal.startedNs);
    std::vector<std::string> told = {undoHeadline(plan),
                                     "フォルダ：" + journal.folder,
                                     "処理：" + operationCaption(journal.operation) + "（" + started + "）"};
    if (unfinished) {
        told.push_back("この処理は途中で終わっています。");
    }
    for (std::string& line : undoEffects(plan)) {
        told.push_back(std::move(line));
    }
    const auto head = [&] {
        std::vector<std::pair<std::string, std::string>> members = {
            {"command", jsonString(arguments.command)},
            {"dryRun", arguments.dryRun ? "true" : "false"},
            {"folder", jsonString(journal.folder)},
            {"operation", jsonString(operationCaption(journal.operation))},
            {"started", jsonString(started)},
            {"unfinished", unfinished ? "true" : "false"},
        };
        if (!journal.saveFolder.empty()) {
            members.emplace_back("saveFolder", jsonString(journal.saveFolder));
        }
        return members;
    };
    if (arguments.dryRun) {
        if (arguments.json) {
            std::vector<std::pair<std::string, std::string>> members = head();
            members.emplace_back("summary",
                                 JsonObject()
                                     .number("files", static_cast<std::int64_t>(plan.files))
                                     .number("copies", static_cast<std::int64_t>(plan.copies))
                                     .number("fromTrash", static_cast<std::int64_t>(plan.fromTrash))
                                     .number("lost", static_cast<std::int64_t>(plan.lost))
                                     .number("leftovers", static_cast<std::int64_t>(plan.leftovers))
                                     .text("text", told.front())
                                     .str());
            output.out(jsonDocument(members));
        } else {
            std::string text;
            for (const std::string& line : told) {
                text += lineText(line) + '\n';
            }
            output.out(text);
        }
        return kEveryFileDone;
    }

    const std::vector<FileFailure> failures = restore.run([&output](std::size_t done, std::size_t all) {
        output.progress("元に戻しています", done, all);
    });
    output.endProgress();
    for (const FileFailure& failure : failures) {
        output.error(lineText(failure.before) + " → " + lineText(failure.now) + "：" + failure.reason);
    }
    std::string summary = trimmed(restoreMessage({}));
    if (failures.empty()) {
        summary += "（" + groupedCount(plan.files) + " 件）";
    } else {
        summary += "処理できなかったファイル： " + groupedCount(failures.size()) + " 件";
    }
    if (arguments.json) {
        std::vector<std::string> rows;
        rows.reserve(failures.size());
        for (const FileFailure& failure : failures) {
            rows.push_back(JsonObject()
                               .text("name", failure.before)
                               .text("now", failure.now)
                               .text("reason", failure.reason)
                               .str());
        }
        std::vector<std::pair<std::string, std::string>> members = head();
        members.emplace_back("notRestored", jsonArray(rows));
        members.emplace_back("summary",
                             JsonObject()
                                 .number("files", static_cast<std::int64_t>(plan.files))
                                 .number("notProcessed", static_cast<std::int64_t>(failures.size()))
                                 .text("text", summary)
                                 .str());
        output.out(jsonDocument(members));
    } else {
        output.out(summary + '\n');
    }
    return failures.empty() ? kEveryFileDone : kFilesNotProcessed;
}

int runHistory(const CommandArguments& arguments, platform::Syscalls& calls, CommandOutput& output)
{
    const std::vector<platform::RunRecordSummary> runs = platform::recentRuns(calls, platform::journalFolder());
    if (arguments.json) {
        std::vector<std::string> rows;
        rows.reserve(runs.size());
        for (const platform::RunRecordSummary& run : runs) {
            JsonObject row;
            row.text("time", run.startedNs != 0 ? platform::localClockText(run.startedNs) : std::string())
                .text("folder", run.folder)
                .text("operation", run.state != platform::RunState::Unreadable ? operationCaption(run.operation) : "")
                .number("files", static_cast<std::int64_t>(run.files))
                .text("state", platform::runStateText(run.state));
            if (!run.saveFolder.empty()) {
                row.text("saveFolder", run.saveFolder);
            }
            row.text("journal", run.name);
            rows.push_back(row.str());
        }
        output.out(jsonDocument({{"command", jsonString(arguments.command)}, {"runs", jsonArray(rows)}}));
        return kEveryFileDone;
    }
    if (runs.empty()) {
        output.out("記録された処理はありません。\n");
        return kEveryFileDone;
    }
    std::string text = "日時\tフォルダ\t処理\tファイル数\t状態\n";
    for (const platform::RunRecordSummary& run : runs) {
        if (run.state == platform::RunState::Unreadable) {
            text += "-\t-\t-\t-\t" + platform::runStateText(run.state) + "（" + lineText(run.name) + "）\n";
            continue;
        }
        text += platform::localClockText(run.startedNs) + '\t' + lineText(run.folder) + '\t'
                + operationCaption(run.operation) + '\t' + groupedCount(run.files) + '\t'
                + platform::runStateText(run.state) + '\n';
    }
    output.out(text);
    return kEveryFileDone;
}

} // namespace tallyfox::app
