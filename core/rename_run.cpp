#include "core/rename_run.h"

#include "core/rename_plan.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_set>
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

std::string joinPath(const std::string& folder, const std::string& name)
{
    return folder + "/" + name;
}

// Where each file of a numbering run stands while the run goes on.
enum class Place
{
    Old,
    Temporary,
    Final,
};

// The names are those of the plan (or of the journal that took them over), not copies: a run of many
// files would otherwise hold every name several times.
struct Planned
{
    const std::string& old;
    const std::string& temporary;
    const std::string& final;
    Place place = Place::Old;
    int error = 0; // why the file did not reach its final name
};

// A place for each file of a plan (PlannedName) or a journal (JournalEntry), all at their old names.
template <typename Names> std::vector<Planned> placed(const std::vector<Names>& names)
{
    std::vector<Planned> files;
    files.reserve(names.size());
    for (const Names& name : names) {
        files.push_back({name.old, name.temporary, name.final});
    }
    return files;
}

// Temporary pass, final pass, and the way back for files that could not take their final names.
void giveFinalName(const std::string& folder, Planned& file, FileOperations& operations)
{
    const std::string& from = file.place == Place::Temporary ? file.temporary : file.old;
    file.error = operations.renameInFolder(folder, from, file.final);
    if (file.error == 0) {
        file.place = Place::Final;
    }
}

void mark(RunRecord* record, JournalMark mark)
{
    if (record != nullptr) {
        record->mark(mark);
    }
}

// Sends a file on by way of its temporary name, which no other file of the run takes.
void stepAside(const std::string& folder, Planned& file, FileOperations& operations)
{
    file.error = operations.renameInFolder(folder, file.old, file.temporary);
    if (file.error == 0) {
        file.place = Place::Temporary;
    }
}

// Each file reaches its final name once at most and keeps it: `reached`, when given, is told of each
// (by its position) as soon as it has, so that its copy may begin while the others are renamed.
void renumber(const std::string& folder,
              std::vector<Planned>& files,
              const std::vector<RenameStep>& steps,
              FileOperations& operations,
              RunRecord* record,
              const std::function<void(std::size_t)>& reached = {})
{
    const auto giveFinalName = [&](const std::string& in, Planned& file, FileOperations& through) {
        tallyfox::giveFinalName(in, file, through);
        if (file.place == Place::Final && reached) {
            reached(static_cast<std::size_t>(&file - files.data()));
        }
    };
    // Files that could not step aside try their final names from their old ones once every other file
    // has moved, as a file that cannot take a temporary name would.
    std::vector<Planned*> stuck;
    for (const RenameStep& step : steps) {
        Planned& file = files[step.file];
        switch (step.kind) {
        case RenameStep::Kind::OldToFinal:
            giveFinalName(folder, file, operations);
            // Taken by a file outside the list, or meanwhile: the file goes the way of its temporary
            // name, freeing its old one for the file that may wait for it.
            if (file.error == EEXIST) {
                stepAside(folder, file, operations);
                file.error = file.place == Place::Temporary ? EEXIST : file.error;
            }
            break;
        case RenameStep::Kind::OldToTemporary:
            stepAside(folder, file, operations);
            if (file.place == Place::Old && file.error != ENOENT) {
                stuck.push_back(&file);
            }
            break;
        case RenameStep::Kind::TemporaryToFinal:
            if (file.place == Place::Temporary) {
                giveFinalName(folder, file, operations);
            }
            break;
        }
    }
    for (Planned* file : stuck) {
        giveFinalName(folder, *file, operations);
    }
    for (Planned& file : files) {
        if (file.place == Place::Temporary && file.error == 0) {
            giveFinalName(folder, file, operations);
        }
    }
    // A final name held by another file's temporary name is free once that file has moved on.
    for (bool progress = true; progress;) {
        progress = false;
        for (Planned& file : files) {
            if (file.place != Place::Final && file.error == EEXIST) {
                giveFinalName(folder, file, operations);
                progress = progress || file.place == Place::Final;
            }
        }
    }
    // Only now, when every final name that could be taken is taken, do stragglers go back: an old name
    // freed by the run may since have become another file's new name.
    for (Planned& file : files) {
        if (file.place == Place::Temporary && operations.renameInFolder(folder, file.temporary, file.old) == 0) {
            file.place = Place::Old;
        }
    }
    mark(record, JournalMark::FinalPassDone);
}

std::string currentName(const Planned& file)
{
    switch (file.place) {
    case Place::Old:
        return file.error == ENOENT ? std::string("-") : file.old; // gone: it has no name here now
    case Place::Temporary:
        return file.temporary;
    case Place::Final:
        break;
    }
    return file.final;
}

// Renames a file to a name that differs from its own only in letter case. A folder that ignores case
// (a camera's card) refuses that as a name already taken, so the file goes by way of another name; the
// steps never replace a file, and a file that cannot take the new name goes back. Gives the name the
// file has afterwards in `now`.
int changeCase(const std::string& folder,
               const std::string& name,
               const std::string& renamed,
               FileOperations& operations,
               std::string& now)
{
    const std::string between = "_" + renamed;
    if (operations.renameInFolder(folder, name, between) != 0) {
        return EEXIST;
    }
    const int error = operations.renameInFolder(folder, between, renamed);
    if (error == 0) {
        now = renamed;
    } else if (operations.renameInFolder(folder, between, name) != 0) {
        now = between;
    }
    return error;
}

// Each file to its new extension in list order. Gives each file's place, and the name it has now where
// a change of letter case left it between.
void changeExtensions(const std::string& folder, std::vector<Planned>& files, FileOperations& operations)
{
    for (Planned& file : files) {
        file.error = operations.renameInFolder(folder, file.old, file.final);
        std::string now = file.old;
        if (file.error == EEXIST && equalIgnoringAsciiCase(file.old, file.final, systemCodePage())) {
            file.error = changeCase(folder, file.old, file.final, operations, now);
        }
        file.place = file.error == 0 ? Place::Final : now == file.old ? Place::Old : Place::Temporary;
    }
}

// What copying or moving one file to the save folder gave.
struct Transferred
{
    int error = 0;
    std::string aside;  // where a move that failed left its source
    bool taken = false; // something stood at the target: nothing was done, the user is asked first
};

// One file to the save folder unless something stands there already. A copy that may not replace
// looks at its target itself before it copies anything; a move is held back by a look first.
Transferred transferOne(FileOperations& operations, const std::string& source, const std::string& target, bool move)
{
    Transferred done;
    if (move && operations.fileExists(target)) {
        done.taken = true;
        return done;
    }
    done.error = move ? operations.moveFile(source, target, false) : operations.copyFile(source, target, false);
    if (done.error != 0 && move) {
        done.aside = operations.sourceSetAsideAs();
    }
    done.taken = done.error == EEXIST && !move;
    return done;
}

// Copies or moves files to free names on threads of their own, and on the run's while it waits, as the
// run offers them; the run takes each file's outcome in list order, so a copy waits neither for the
// renames of the files after it nor for the bar or the question of the file before it. Files whose
// targets are taken are left to the run, which asks before replacing anything.
class TransferCrew
{
public:
    TransferCrew(const std::vector<Planned>& files, const RunRequest& request, FileOperations& operations)
        : m_files(files)
        , m_folder(request.folder)
        , m_saveFolder(request.saveFolder)
        , m_move(request.naming.operation == FileOperation::RenameMove)
        , m_operations(operations)
        , m_done(files.size())
        , m_state(files.size(), State::Waiting)
    {
        m_queue.reserve(files.size());
        if (files.size() < 2) {
            return;
        }
        // The run's own thread is one of the crew once it waits for outcomes.
        for (std::unique_ptr<FileOperations>& helper : operations.helpers(request.folder, request.saveFolder)) {
            try {
                m_threads.emplace_back(&TransferCrew::work, this, std::move(helper));
            } catch (const std::system_error&) {
                break; // the threads started are enough
            }
        }
    }

    ~TransferCrew()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopped = true; // nothing more is begun once the run stops taking outcomes
        }
        m_work.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    TransferCrew(const TransferCrew&) = delete;
    TransferCrew& operator=(const TransferCrew&) = delete;

    // Whether files are copied or moved here at all; else the run does each itself.
    bool working() const
    {
        return !m_threads.empty();
    }

    // The file at `index` has its new name for good: it may be copied or moved from now on.
    void offer(std::size_t index)
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (m_state[index] != State::Waiting) {
                return; // a file is copied once, whatever happens
            }
            m_queue.push_back(index);
            m_state[index] = State::Offered;
        }
        m_work.notify_one();
    }

    // No more files are offered.
    void close()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_work.notify_all();
    }

    std::string source(std::size_t index) const
    {
        return joinPath(m_folder, m_files[index].final);
    }
    std::string target(std::size_t index) const
    {
        return m_saveFolder + "/" + m_files[index].final;
    }

    // The outcome of the file at `index`; until it is there, files offered that no one has begun are
    // done here.
    Transferred take(std::size_t index)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (m_state[index] == State::Done) {
                return std::move(m_done[index]);
            }
            if (m_state[index] == State::Waiting) {
                m_state[index] = State::Begun; // never offered: done here and now
                lock.unlock();
                return transferOne(m_operations, source(index), target(index), m_move);
            }
            if (m_begun < m_queue.size()) {
                const std::size_t next = m_queue[m_begun++];
                m_state[next] = State::Begun;
                lock.unlock();
                finish(m_operations, next);
                lock.lock();
                continue;
            }
            m_changed.wait(lock);
        }
    }

private:
    enum class State : char
    {
        Waiting,
        Offered,
        Begun,
        Done,
    };

    void work(std::unique_ptr<FileOperations> operations)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [&] {
                return m_stopped || m_closed || m_begun < m_queue.size();
            });
            if (m_stopped || m_begun == m_queue.size()) {
                return;
            }
            const std::size_t next = m_queue[m_begun++];
            m_state[next] = State::Begun;
            lock.unlock();
            finish(*operations, next);
            lock.lock();
        }
    }

    void finish(FileOperations& operations, std::size_t index)
    {
        Transferred done;
        try {
            done = transferOne(operations, source(index), target(index), m_move);
        } catch (const std::bad_alloc&) {
            done.error = ENOMEM;
        }
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_done[index] = std::move(done);
            m_state[index] = State::Done;
        }
        m_changed.notify_one();
    }

    // Read by every thread; only the names of files that have reached them, which no longer change.
    const std::vector<Planned>& m_files;
    const std::string& m_folder;
    const std::string& m_saveFolder;
    const bool m_move;
    FileOperations& m_operations; // the run's
    std::vector<Transferred> m_done;
    std::vector<State> m_state;
    std::vector<std::size_t> m_queue; // offered, in the order offered
    std::size_t m_begun = 0;          // how many of the queue have been begun
    bool m_closed = false;
    bool m_stopped = false;
    std::mutex m_mutex;
    std::condition_variable m_work;    // files offered, or the end
    std::condition_variable m_changed; // an outcome is there
    std::vector<std::thread> m_threads;
};

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
            if (replace
                && host.ask(file.final + "は既に存在します。上書きしますか？  ", RunBox::Overwrite) != RunAnswer::Ok) {
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
            std::string now = file.final;
            if (!done.aside.empty()) {
                now = done.aside;
                reason += "（元の名前に戻せないため、この名前で残っています）";
            }
            result.failures.push_back({file.old, now, reason});
        }
    }
}

// Every name each file may have while the run goes on: what a crash or an undo needs to find it again.
// The names are moved out of the plan, which the run then reads through the journal.
Journal journalOf(const RunRequest& request, std::vector<PlannedName>&& names)
{
    Journal journal;
    journal.folder = request.folder;
    journal.operation = request.naming.operation;
    const bool transfer = transfers(journal.operation);
    if (transfer) {
        journal.saveFolder = request.saveFolder;
    }
    journal.files.resize(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        JournalEntry& file = journal.files[i];
        if (transfer) {
            file.target = names[i].final;
        }
        file.old = std::move(names[i].old);
        file.temporary = std::move(names[i].temporary);
        file.final = std::move(names[i].final);
    }
    std::vector<PlannedName>().swap(names);
    return journal;
}

// A folder of names held in memory, renamed as the file system renames: what a rehearsal of a run walks.
class NamesInMemory final : public FileOperations
{
public:
    explicit NamesInMemory(const std::vector<std::string>& names)
        : m_names(names.begin(), names.end())
    {
    }

    int renameInFolder(const std::string& /*folder*/, const std::string& from, const std::string& to) override
    {
        if (const int error = unusableName(to)) {
            return error;
        }
        const auto held = m_names.find(from);
        if (held == m_names.end()) {
            return ENOENT;
        }
        if (from == to) {
            return 0;
        }
        if (!m_names.insert(to).second) {
            return EEXIST;
        }
        m_names.erase(held);
        return 0;
    }
    bool fileExists(const std::string& /*path*/) override
    {
        return false;
    }
    bool sameFile(const std::string& /*a*/, const std::string& /*b*/) override
    {
        return false;
    }
    int copyFile(const std::string& /*source*/, const std::string& /*target*/, bool /*replace*/) override
    {
        return ENOSYS;
    }
    int moveFile(const std::string& /*source*/, const std::string& /*target*/, bool /*replace*/) override
    {
        return ENOSYS;
    }

private:
    std::unordered_set<std::string> m_names;
};

} // namespace

std::string runRefusal(const RunRequest& request)
{
    return refusal(request);
}

std::vector<RehearsedFile>
rehearseRun(const RunPlan& plan, FileOperation operation, const std::vector<std::string>& folderNames)
{
    NamesInMemory folder(folderNames);
    std::vector<Planned> files = placed(plan.files);
    if (isNumbering(operation)) {
        renumber({}, files, plan.steps, folder, nullptr);
    } else {
        changeExtensions({}, files, folder);
    }
    std::vector<RehearsedFile> outcome;
    outcome.reserve(files.size());
    for (const Planned& file : files) {
        outcome.push_back({file.place == Place::Final, file.error});
    }
    return outcome;
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

RunResult runRename(const RunRequest& request, RunHost& host, FileOperations& files)
{
    return runRename(request, host, files, nullptr);
}

RunResult runRename(const RunRequest& request, RunHost& host, FileOperations& files, RunRecord* record)
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
    Journal journal = journalOf(request, std::move(plan.files));
    std::vector<Planned> planned = placed(journal.files);
    // The journal is on disk before the first file is touched; without it the run goes on only when the
    // user accepts that it cannot be undone.
    if (record != nullptr && record->write(journal) != 0 && host.ask(kNoJournal, RunBox::Risk) != RunAnswer::Ok) {
        host.setProgress(0);
        result.started = false;
        return result;
    }

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
        result.records.reserve(planned.size());
        for (const Planned& file : planned) {
            if (file.place == Place::Final) {
                result.records.push_back(joinPath(request.folder, file.final));
            } else {
                result.failures.push_back({file.old, currentName(file), failureReason(file.error)});
            }
        }
    } else {
        changeExtensions(request.folder, planned, files);
        for (const Planned& file : planned) {
            if (file.place != Place::Final) {
                const std::string& now = file.place == Place::Temporary ? file.temporary : file.old;
                result.failures.push_back({file.old, now, failureReason(file.error)});
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

} // namespace tallyfox
