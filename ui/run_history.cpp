#include "ui/run_history.h"

#include "core/recovery.h"
#include "platform/dialogs.h"
#include "platform/folder_lock.h"
#include "platform/identity_steps.h"
#include "platform/journal_store.h"
#include "ui/window_at_work.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <memory>
#include <vector>

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

// Reads a journal. One that cannot be read whole, or is damaged, is moved aside under another name and
// added to `broken` (its name now), so that it is told of once and never lost; one of another version
// is passed over.
JournalStatus load(platform::JournalStore& store,
                   const std::string& name,
                   Journal& journal,
                   std::vector<std::string>* broken = nullptr)
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
        for (JournalEntry& file : journal.files) {
            if (!file.identity.contentKnown()) {
                file.identity.changedNs = writtenNs;
            }
        }
    }
    return status;
}

// The caption of the run's operation as the main window's radio item shows it.
QString operationCaption(FileOperation operation)
{
    switch (operation) {
    case FileOperation::RenameOnly:
        break;
    case FileOperation::RenameCopy:
        return QStringLiteral("リネーム＋コピー");
    case FileOperation::RenameMove:
        return QStringLiteral("リネーム＋移動");
    case FileOperation::ExtensionOnly:
        return QStringLiteral("拡張子のみ変更");
    }
    return QStringLiteral("リネームのみ");
}

// The recovery question at start: what, where and when.
QString recoveryQuestion(const Journal& journal, const RestorePlan& plan)
{
    const QDateTime started = QDateTime::fromMSecsSinceEpoch(journal.startedNs / 1000000);
    return QStringLiteral("前回の処理は途中で終わっています。%1 件のファイルを処理前の名前に戻しますか？  "
                          "\n\nフォルダ：%2\n処理：%3（%4）")
        .arg(plan.files)
        .arg(QFile::decodeName(QByteArray::fromStdString(journal.folder)),
             operationCaption(journal.operation),
             started.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
}

// The undo question: where, and what happens to the save folder beyond the names.
QString undoQuestion(const Journal& journal, const RestorePlan& plan)
{
    QString text = QStringLiteral("直前の処理を元に戻します（%1 件）。よろしいですか？  \n\nフォルダ：%2")
                       .arg(plan.files)
                       .arg(QFile::decodeName(QByteArray::fromStdString(journal.folder)));
    if (plan.copies > 0) {
        text += QStringLiteral("\n保存フォルダのコピー %1 件を削除します。").arg(plan.copies);
    }
    if (plan.fromTrash > 0) {
        text += QStringLiteral("\nごみ箱から %1 件のファイルを元の場所に戻します。").arg(plan.fromTrash);
    }
    if (plan.lost > 0) {
        text += QStringLiteral("\n上書きされたファイル %1 件は元に戻せません。").arg(plan.lost);
    }
    return text;
}

void tellBroken(platform::Dialogs& dialogs, const std::vector<std::string>& broken)
{
    if (broken.empty()) {
        return;
    }
    std::string text = "取り消し用の記録 " + std::to_string(broken.size()) + " 件を読めませんでした。";
    for (const std::string& name : broken) {
        text += "\r\n" + name;
    }
    tell(dialogs, text, true);
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
    std::vector<std::string> broken;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        // A run that ended says so in its marks: its journal, megabytes for a large run, is not read.
        Journal journal;
        if (store.readMarks(*name, journal.marks) && journal.settled()) {
            continue;
        }
        if (load(store, *name, journal, &broken) != JournalStatus::Ok || journal.settled()) {
            continue;
        }
        // A run still going on in another process holds its folders: its journal is not this start's.
        platform::FolderLock lock(m_calls);
        if (!lock.lock({journal.folder, journal.saveFolder})) {
            continue;
        }
        platform::PosixRecoverySteps steps(m_calls);
        if (!steps.open(journal)) {
            continue; // its folder is gone: nothing of it can be found, nothing is touched
        }
        Restoration restoration(journal, steps);
        const RestorePlan plan = restoration.counts();
        if (plan.files == 0) {
            // Nothing to bring back. Hidden copies cut short stay until the user undoes the run.
            store.append(*name, encodeMark(plan.leftovers == 0 ? JournalMark::Restored : JournalMark::Declined));
            continue;
        }
        if (!ask(m_dialogs, recoveryQuestion(journal, plan))) {
            store.append(*name, encodeMark(JournalMark::Declined));
            continue;
        }
        restoreRun(*name, restoration);
    }
    tellBroken(m_dialogs, broken);
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
    // Held from the question to the report: what the question counts is what the undo finds.
    platform::FolderLock lock(m_calls);
    if (!lock.lock({journal.folder, journal.saveFolder})) {
        tell(m_dialogs, "このフォルダでは別の処理が実行中です。  ", false);
        return false;
    }
    Restoration restoration(journal, steps);
    const RestorePlan plan = restoration.counts();
    if (!ask(m_dialogs, undoQuestion(journal, plan))) {
        return false;
    }
    restoreRun(name, restoration);
    return true;
}

void RunHistory::showProgressOn(std::function<void(int percent)> bar)
{
    m_bar = std::move(bar);
}

void RunHistory::restoreRun(const std::string& name, Restoration& restoration)
{
    // A way back that takes longer than a moment shows how far it is, on the main window's bar or, at
    // start, in a small window of its own. With the main window on the screen it works beside it, and
    // the window stays painted while no input reaches it; before there is one, it works here and looks
    // after its own window now and then.
    QElapsedTimer sinceStart;
    sinceStart.start();
    std::atomic<std::size_t> stepsDone{0};
    std::atomic<std::size_t> steps{0};
    int shown = -1;
    std::unique_ptr<QProgressBar> ownBar;
    // Only where there is a screen to show it on: a program without windows has no application of them.
    const bool windows = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    // On the window's thread: the bar as far as the way back has come, once it has said how far it goes.
    const auto showProgress = [&] {
        const std::size_t done = stepsDone;
        const std::size_t all = steps;
        if (all == 0) {
            return;
        }
        if (!m_bar && !ownBar && windows && sinceStart.elapsed() >= 200 && done != all) {
            ownBar = std::make_unique<QProgressBar>();
            ownBar->setWindowTitle(QStringLiteral("処理前の名前に戻しています"));
            ownBar->setRange(0, 100);
            ownBar->setMinimumWidth(320);
            ownBar->show();
        }
        const int percent = static_cast<int>(done * 100 / all);
        if (percent != shown) {
            shown = percent;
            if (m_bar) {
                m_bar(percent);
            } else if (ownBar) {
                ownBar->setValue(percent);
            }
        }
    };
    qint64 lastShown = 0;
    const auto progress = [&](std::size_t done, std::size_t all) {
        stepsDone = done;
        steps = all;
        const QCoreApplication* application = QCoreApplication::instance();
        if (application != nullptr && QThread::currentThread() != application->thread()) {
            return; // beside the window, whose thread shows it every frame
        }
        const qint64 now = sinceStart.elapsed();
        if (now - lastShown < 50 && done != all) {
            return;
        }
        lastShown = now;
        showProgress();
        keepWindowsPainted();
    };
    std::vector<FileFailure> failures;
    workBesideWindow(
        [&](WindowThread&) {
            failures = restoration.run(progress);
        },
        showProgress);
    ownBar.reset();
    if (m_bar) {
        m_bar(0);
    }
    platform::JournalStore(m_calls, m_folder).append(name, encodeMark(JournalMark::Restored));
    tell(m_dialogs, restoreMessage(failures), !failures.empty());
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
