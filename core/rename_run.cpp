#include "core/rename_run.h"

#include "core/rename_plan.h"
#include "core/run_passes.h"
#include "core/transfer_crew.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <optional>
#include <utility>

namespace tallyfox {

namespace {

constexpr std::size_t kMostFailuresListed = 20;

// Every box of the run ends in blanks that belong to its text.
const std::string kNothingToRename = "リネームするファイルがありません。   ";
const std::string kNoCopyFolder = "コピー用フォルダが設定されていません。   ";
const std::string kNoMoveFolder = "移動用フォルダが設定されていません。   ";
const std::string kNoExtension = "拡張子が設定されていません。   ";
const std::string kInvalidSetting = "設定が不正です。   ";
const std::string kFolderBusy = "このフォルダでは別の処理が実行中です。  ";
const std::string kNoJournal = "取り消し用の記録を書き込めません。元に戻せないまま続けますか？  ";

bool isNumbering(FileOperation operation)
{
    return operation != FileOperation::ExtensionOnly;
}

bool transfers(FileOperation operation)
{
    return operation == FileOperation::RenameCopy || operation == FileOperation::RenameMove;
}

// The refusal for the first check that holds, or empty when the run may go on.
std::string refusal(const RunRequest& request)
{
    const NamingSettings& naming = request.naming;
    const bool specifiedWithout = naming.extensionMode == ExtensionMode::Specified && naming.givenExtension.empty();
    if (request.names.empty()) {
        return kNothingToRename;
    }
    if (naming.operation == FileOperation::RenameCopy && request.saveFolder.empty()) {
        return kNoCopyFolder;
    }
    if (naming.operation == FileOperation::RenameMove && request.saveFolder.empty()) {
        return kNoMoveFolder;
    }
    if (naming.operation == FileOperation::ExtensionOnly && specifiedWithout) {
        return kNoExtension;
    }
    if (naming.operation == FileOperation::ExtensionOnly && naming.extensionMode == ExtensionMode::Keep) {
        return kInvalidSetting;
    }
    if (specifiedWithout) {
        return kNoExtension;
    }
    return {};
}

std::string confirmation(const RunRequest& request)
{
    const std::string count = std::to_string(request.names.size());
    switch (request.naming.operation) {
    case FileOperation::RenameOnly:
        return count + "枚のファイルをリネームします。よろしいですか？  ";
    case FileOperation::RenameCopy:
        return count + "枚のファイルをリネームした上でコピーします。よろしいですか？  ";
    case FileOperation::RenameMove:
        return count + "枚のファイルをリネームした上で移動します。よろしいですか？  ";
    case FileOperation::ExtensionOnly:
        break;
    }
    switch (request.naming.extensionMode) {
    case ExtensionMode::Upper:
        return "ファイルの拡張子を大文字に変更します。よろしいですか？  ";
    case ExtensionMode::Lower:
        return "ファイルの拡張子を小文字に変更します。よろしいですか？  ";
    default:
        return "ファイルの拡張子を " + request.naming.givenExtension + " に変更します。よろしいですか？  ";
    }
}

void sweep(RunHost& host)
{
    for (int percent = 0; percent <= 100; ++percent) {
        host.setProgress(percent);
    }
}

std::string currentName(const Planned& file)
{
    switch (file.place) {
    case Place::Old:
        return file.error == ENOENT ? std::string("-") : std::string(file.old()); // gone: it has no name here now
    case Place::Temporary:
        return std::string(file.temporary());
    case Place::Final:
        break;
    }
    return std::string(file.final());
}

void transfer(const RunRequest& request,
              const std::vector<Planned>& files,
              RunHost& host,
              FileOperations& operations,
              TransferCrew& crew,
              RunResult& result)
{
    const bool move = request.naming.operation == FileOperation::RenameMove;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const Planned& file = files[i];
        if (file.place != Place::Final) {
            continue; // already reported; the name it holds may belong to another file
        }
        const std::string source = crew.source(i);
        const std::string target = crew.target(i);
        Transferred done = crew.take(i); // without helper threads, done here and now
        sweep(host);
        host.setProgress(0);
        if (done.taken) {
            const bool replace = operations.fileExists(target); // else a folder, or gone meanwhile
            if (replace && operations.sameFile(source, target)) {
                continue; // the save folder is this folder, reached another way: the file is there already
            }
            if (replace && host.ask(overwriteQuestion(std::string(file.final())), RunBox::Overwrite) != RunAnswer::Ok) {
                continue; // the user keeps the file in the save folder; not a failure
            }
            done.error =
                move ? operations.moveFile(source, target, replace) : operations.copyFile(source, target, replace);
            done.aside = done.error != 0 && move ? operations.sourceSetAsideAs() : std::string();
        }
        int error = done.error;
        if (error == EEXIST && !operations.fileExists(target)) {
            error = EISDIR; // what stands in the way is a folder, which no file may replace
        }
        if (error != 0) {
            // The file is still here, so what could not be found on the way is the save folder.
            const bool noFolder = (error == ENOENT || error == ENOTDIR) && operations.fileExists(source);
            std::string reason = (move ? "移動できません：" : "コピーできません：")
                                 + (noFolder ? std::string("保存フォルダが見つかりません") : failureReason(error));
            std::string now(file.final());
            if (!done.aside.empty()) {
                now = done.aside;
                reason += "（元の名前に戻せないため、この名前で残っています）";
            }
            result.failures.push_back({std::string(file.old()), now, reason});
        }
    }
}

// Every name each file may have while the run goes on: what a crash or an undo needs to find it again.
// The journal takes the plan's names, which the run then reads through the journal.
Journal journalOf(const RunRequest& request, RunPlan& plan)
{
    Journal journal;
    journal.folder = request.folder;
    journal.operation = request.naming.operation;
    const bool transfer = transfers(journal.operation);
    if (transfer) {
        journal.saveFolder = request.saveFolder;
    }
    journal.files = std::move(plan.files);
    if (transfer) {
        journal.files.targetFinalNames();
    }
    plan.files.clear();
    return journal;
}

// A folder of names held in memory, renamed as the file system renames: what a rehearsal of a run walks.

} // namespace

std::string overwriteQuestion(const std::string& name)
{
    return name + "は既に存在します。上書きしますか？  ";
}

std::string runRefusal(const RunRequest& request)
{
    return refusal(request);
}

std::string failureReason(int error)
{
    switch (error) {
    case EEXIST:
    case ENOTEMPTY:
        return "同じ名前のファイルが既にあります";
    case ENOENT:
        return "ファイルが見つかりません";
    case EACCES:
    case EPERM:
        return "アクセスが拒否されました";
    case EROFS:
        return "書き込みできない場所です";
    case ENOSPC:
    case EDQUOT:
        return "ディスクがいっぱいです";
    case ENAMETOOLONG:
        return "名前が長すぎます";
    case EINVAL:
        return "ファイル名に使えない名前です";
    case EBUSY:
    case ETXTBSY:
        return "ファイルが使用中です";
    case EISDIR:
        return "同じ名前のフォルダがあります";
    case EIO:
        return "入出力エラーです";
    case LinkLeadsNowhere:
        return "リンク先のファイルが見つかりません";
    case SourceChangedAfterCopy:
        return "コピーの後でファイルが変更されたため、移動元を残しました";
    case EXDEV:
        return "リンクなど、別のドライブへは移動できない種類のファイルです";
    case ENOTDIR:
        return "途中のフォルダが見つかりません";
    case ELOOP:
        return "リンクが何重にもなっていて、たどれません";
    case EMLINK:
        return "ファイルへのリンクが多すぎます";
    case EFBIG:
    case EOVERFLOW:
        return "ファイルが大きすぎます";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます";
    case ENOMEM:
        return "メモリが足りません";
    case EAGAIN:
        return "ファイルがほかのプログラムにロックされています";
    case EOPNOTSUPP:
    case ENOSYS:
        return "このドライブではできない操作です";
    case ESTALE:
    case ETIMEDOUT:
    case ENOTCONN:
    case ECONNRESET:
    case ECONNABORTED:
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETDOWN:
    case ENETUNREACH:
        return "ネットワークのドライブとの接続が切れました";
    case ENXIO:
    case ENODEV:
        return "ドライブが見つかりません";
    default:
        return "エラー (" + std::to_string(error) + ")";
    }
}

std::string completionMessage(FileOperation operation, const std::vector<FileFailure>& failures)
{
    std::string text;
    switch (operation) {
    case FileOperation::RenameOnly:
        text = "リネームが完了しました。    ";
        break;
    case FileOperation::RenameCopy:
        text = "リネーム＋コピーが完了しました。  ";
        break;
    case FileOperation::RenameMove:
        text = "リネーム＋移動が完了しました。  ";
        break;
    case FileOperation::ExtensionOnly:
        text = "拡張子の変更が完了しました。    ";
        break;
    }
    return text + failureList(failures);
}

std::string failureList(const std::vector<FileFailure>& failures)
{
    std::string text;
    if (failures.empty()) {
        return text;
    }
    text += "\r\n\r\n処理できなかったファイル： " + std::to_string(failures.size()) + " 件";
    for (std::size_t i = 0; i < failures.size() && i < kMostFailuresListed; ++i) {
        const FileFailure& failure = failures[i];
        text += "\r\n" + failure.before + " → " + failure.now + "：" + failure.reason;
    }
    if (failures.size() > kMostFailuresListed) {
        text += "\r\n…";
    }
    return text;
}

namespace {
RunResult run(const RunRequest& request, RunHost& host, FileOperations& files, RunRecord* record, NameList* names);
} // namespace

RunResult runRename(const RunRequest& request, RunHost& host, FileOperations& files)
{
    return runRename(request, host, files, nullptr);
}

RunResult runRename(const RunRequest& request, RunHost& host, FileOperations& files, RunRecord* record)
{
    return run(request, host, files, record, nullptr);
}

RunResult runRename(RunRequest&& request, RunHost& host, FileOperations& files, RunRecord* record)
{
    return run(request, host, files, record, &request.names);
}

namespace {

// The run; `names`, when given, are the request's names, let go once no part of the run reads them.
RunResult run(const RunRequest& request, RunHost& host, FileOperations& files, RunRecord* record, NameList* names)
{
    RunResult result;
    if (const std::string refused = refusal(request); !refused.empty()) {
        host.ask(refused, RunBox::Report);
        return result;
    }
    if (request.confirmBeforeRun == 1 && host.ask(confirmation(request), RunBox::Confirmation) != RunAnswer::Ok) {
        return result;
    }
    const FileOperation operation = request.naming.operation;
    // Another run on one of these folders, in this process or another, would interleave with this one.
    if (record != nullptr && !record->lock(request.folder, transfers(operation) ? request.saveFolder : std::string())) {
        host.ask(kFolderBusy, RunBox::Report);
        return result;
    }
    result.started = true;
    if (record != nullptr) {
        record->lookAhead(request.folder, request.names, transfers(operation));
    }
    sweep(host);
    // Composed after the sweep and before any file is touched: a format that cannot number ends the run
    // here, with the bar full and every file as it was.
    RunPlan plan = planRun(request.names, request.naming);
    if (!host.acceptsPlan(plan.files)) {
        host.setProgress(0);
        result.started = false;
        return result;
    }
    Journal journal = journalOf(request, plan);
    // The journal is on disk before the first file is touched; without it the run goes on only when the
    // user accepts that it cannot be undone.
    if (record != nullptr && record->write(journal) != 0 && host.ask(kNoJournal, RunBox::Risk) != RunAnswer::Ok) {
        host.setProgress(0);
        result.started = false;
        return result;
    }
    // Who the files were is on disk, and the journal holds the names: the run goes by them.
    journal.identities.clear();
    journal.atTargets.clear();
    if (names != nullptr) {
        names->clear();
    }
    std::vector<Planned> planned = placed(journal.files);

    std::optional<TransferCrew> crew;
    if (transfers(operation)) {
        crew.emplace(planned, request, files);
    }
    if (isNumbering(operation)) {
        // A copy may begin as soon as its file has its new name; a move, which frees that name, waits
        // until every file has been renamed, as a name freed meanwhile would change what the others do.
        std::function<void(std::size_t)> reached;
        if (crew && crew->working() && operation == FileOperation::RenameCopy) {
            reached = [&crew](std::size_t index) {
                crew->offer(index);
            };
        }
        renumber(request.folder, planned, plan.steps, files, record, reached);
        result.records = PathList(request.folder);
        std::size_t nameBytes = 0;
        for (const Planned& file : planned) {
            nameBytes += file.final().size();
        }
        result.records.reserve(planned.size(), nameBytes);
        for (const Planned& file : planned) {
            if (file.place == Place::Final) {
                result.records.push_back(file.final());
            } else {
                result.failures.push_back({std::string(file.old()), currentName(file), failureReason(file.error)});
            }
        }
    } else {
        changeExtensions(request.folder, planned, files);
        for (const Planned& file : planned) {
            if (file.place != Place::Final) {
                const std::string_view now = file.place == Place::Temporary ? file.temporary() : file.old();
                result.failures.push_back({std::string(file.old()), std::string(now), failureReason(file.error)});
            }
        }
    }

    if (crew) {
        if (crew->working() && operation == FileOperation::RenameMove) {
            for (std::size_t i = 0; i < planned.size(); ++i) {
                if (planned[i].place == Place::Final) {
                    crew->offer(i);
                }
            }
        }
        crew->close();
        transfer(request, planned, host, files, *crew, result);
        crew.reset();
    }
    mark(record, JournalMark::RunDone);
    // What the run held of each file is let go before the lists are read again, which takes as much.
    std::vector<Planned>().swap(planned);
    journal = Journal{};
    plan = RunPlan{};
    try {
        host.relistFileLists();
    } catch (...) {
        // The folder can no longer be listed; the files the run could not process are still told of.
        if (!result.failures.empty()) {
            host.ask(completionMessage(operation, result.failures), RunBox::FailureReport);
        }
        throw;
    }
    if (!transfers(operation)) {
        host.setProgress(0);
    }
    host.ask(completionMessage(operation, result.failures),
             result.failures.empty() ? RunBox::Report : RunBox::FailureReport);
    return result;
}

} // namespace

} // namespace tallyfox
