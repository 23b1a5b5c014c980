#include "ui/run_history.h"

#include "core/recovery.h"
#include "platform/dialogs.h"
#include "platform/folder_lock.h"
#include "platform/identity_steps.h"
#include "platform/journal_store.h"

namespace tallyfox::ui {

namespace {

const QString kCaption = QStringLiteral("確認");

QString fromBytes(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool ask(platform::Dialogs& dialogs, const QString& text)
{
    return dialogs.message({
               .text = text,
               .caption = kCaption,
               .icon = platform::MessageIcon::Question,
               .buttons = platform::MessageButtons::OkCancel,
               .defaultButton = platform::MessageAnswer::Ok,
           })
           == platform::MessageAnswer::Ok;
}

void tell(platform::Dialogs& dialogs, const std::string& text, bool warning)
{
    dialogs.message({
        .text = fromBytes(text),
        .caption = kCaption,
        .icon = warning ? platform::MessageIcon::Warning : platform::MessageIcon::Information,
        .buttons = platform::MessageButtons::Ok,
    });
}

// Reads a journal; one cut short while it was written is removed, since no file was touched after it.
JournalStatus load(platform::JournalStore& store, const std::string& name, Journal& journal)
{
    std::string bytes;
    std::int64_t writtenNs = 0;
    if (store.read(name, bytes, &writtenNs) != 0) {
        return JournalStatus::NotAJournal;
    }
    const JournalStatus status = decodeJournal(bytes, journal);
    if (status == JournalStatus::Torn) {
        store.discard(name);
    }
    // A run that ended was marked so after its last rename: a file known by its number alone that
    // changed after that mark is not the run's file any more.
    if (status == JournalStatus::Ok && journal.marked(JournalMark::RunDone)) {
        for (JournalEntry& file : journal.files) {
            if (!file.identity.contentKnown()) {
                file.identity.changedNs = writtenNs;
            }
        }
    }
    return status;
}

} // namespace

RunHistory::RunHistory(platform::Dialogs& dialogs, platform::Syscalls& calls, std::string journalFolder)
    : m_dialogs(dialogs)
    , m_calls(calls)
    , m_folder(std::move(journalFolder))
{
}

void RunHistory::recoverAtStart()
{
    platform::JournalStore store(m_calls, m_folder);
    // Started behind the single-instance guard: a journal still under its temporary name is a leftover.
    store.removeUnnamed();
    const std::vector<std::string> names = store.names();
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        // A run that ended says so in its marks: its journal, megabytes for a large run, is not read.
        Journal journal;
        if (store.readMarks(*name, journal.marks) && journal.settled()) {
            continue;
        }
        if (load(store, *name, journal) != JournalStatus::Ok || journal.settled()) {
            continue;
        }
        platform::PosixRecoverySteps steps(m_calls);
        if (!steps.open(journal)) {
            continue; // its folder is gone: nothing of it can be found, nothing is touched
        }
        const RestorePlan plan = planRestore(journal, steps);
        if (plan.files == 0) {
            // Nothing to bring back; what is left is at most hidden copies cut short.
            restore(journal, steps);
            store.append(*name, encodeMark(JournalMark::Restored));
            continue;
        }
        if (!ask(m_dialogs,
                 QStringLiteral("前回の処理は途中で終わっています。%1 件のファイルを処理前の名前に戻しますか？  ")
                     .arg(plan.files))) {
            store.append(*name, encodeMark(JournalMark::Declined));
            continue;
        }
        restoreRun(journal, *name);
    }
}

RunHistory::Found RunHistory::lastRun(Journal& journal, std::string& name)
{
    platform::JournalStore store(m_calls, m_folder);
    const std::vector<std::string> names = store.names();
    for (auto last = names.rbegin(); last != names.rend(); ++last) {
        const JournalStatus status = load(store, *last, journal);
        if (status == JournalStatus::Torn) {
            continue; // that run touched nothing: the one before is the last
        }
        if (status != JournalStatus::Ok || journal.marked(JournalMark::Restored)) {
            return Found::Nothing;
        }
        name = *last;
        return Found::Journal;
    }
    return Found::Nothing;
}

void RunHistory::runEnded(bool journalWritten)
{
    m_lastRunUnrecorded = !journalWritten;
}

bool RunHistory::openLastRun(Journal& journal, std::string& name, platform::PosixRecoverySteps& steps)
{
    return !m_lastRunUnrecorded && lastRun(journal, name) == Found::Journal && steps.open(journal);
}

bool RunHistory::canUndo()
{
    Journal journal;
    std::string name;
    platform::PosixRecoverySteps steps(m_calls);
    return openLastRun(journal, name, steps);
}

bool RunHistory::undoLast()
{
    Journal journal;
    std::string name;
    platform::PosixRecoverySteps steps(m_calls);
    if (!openLastRun(journal, name, steps)) {
        return false;
    }
    const RestorePlan plan = planRestore(journal, steps);
    if (!ask(m_dialogs, QStringLiteral("直前の処理を元に戻します（%1 件）。よろしいですか？  ").arg(plan.files))) {
        return false;
    }
    return restoreRun(journal, name);
}

bool RunHistory::restoreRun(const Journal& journal, const std::string& name)
{
    platform::FolderLock lock(m_calls);
    if (!lock.lock({journal.folder, journal.saveFolder})) {
        tell(m_dialogs, "このフォルダでは別の処理が実行中です。  ", false);
        return false;
    }
    platform::PosixRecoverySteps steps(m_calls);
    if (!steps.open(journal)) {
        return false;
    }
    const std::vector<FileFailure> failures = restore(journal, steps);
    platform::JournalStore(m_calls, m_folder).append(name, encodeMark(JournalMark::Restored));
    tell(m_dialogs, restoreMessage(failures), !failures.empty());
    return true;
}

FileListCommand undoCommand(RunHistory& history, std::function<void()> undone)
{
    return {
        .text = QStringLiteral("元に戻す(&U)"),
        .shortcut = QKeySequence(Qt::CTRL | Qt::Key_Z),
        .enabled =
            [&history] {
                return history.canUndo();
            },
        .run =
            [&history, undone = std::move(undone)] {
                if (history.undoLast()) {
                    undone();
                }
            },
    };
}

} // namespace tallyfox::ui
