#include "ui/run_history.h"

#include "core/recovery.h"
#include "platform/dialogs.h"
#include "platform/identity_steps.h"
#include "platform/journal_store.h"
#include "platform/run_journals.h"
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

// The recovery question at start: what, where and when.
QString recoveryQuestion(const Journal& journal, const RestorePlan& plan)
{
    const QDateTime started = QDateTime::fromMSecsSinceEpoch(journal.startedNs / 1000000);
    return QStringLiteral("前回の処理は途中で終わっています。%1 件のファイルを処理前の名前に戻しますか？  "
                          "\n\nフォルダ：%2\n処理：%3（%4）")
        .arg(plan.files)
        .arg(QFile::decodeName(QByteArray::fromStdString(journal.folder)),
             fromBytes(operationCaption(journal.operation)),
             started.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
}

// The undo question: where, and what happens to the save folder beyond the names.
QString undoQuestion(const Journal& journal, const RestorePlan& plan)
{
    QString text = fromBytes(undoHeadline(plan)) + QStringLiteral("よろしいですか？  \n\nフォルダ：")
                   + QFile::decodeName(QByteArray::fromStdString(journal.folder));
    for (const std::string& line : undoEffects(plan)) {
        text += QLatin1Char('\n') + fromBytes(line);
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
    // A journal still under its temporary name whose writer is gone is a leftover.
    store.removeUnnamed();
    const std::vector<std::string> names = store.names();
    std::vector<std::string> broken;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        // A run that ended says so in its marks: its journal, megabytes for a large run, is not read.
        Journal journal;
        if (store.readMarks(*name, journal.marks) && journal.settled()) {
            continue;
        }
        if (platform::loadJournal(store, *name, journal, &broken) != JournalStatus::Ok || journal.settled()) {
            continue;
        }
        // A run still going on in another process (a command-line run too) holds its folders: its journal
        // is not this start's. A run whose folder is gone is not touched.
        platform::RunRestore restore(m_calls, m_folder, *name, std::move(journal));
        if (restore.open() != platform::RunRestore::Opened::Ready) {
            continue;
        }
        const RestorePlan plan = restore.countsToAsk(m_plannedBeforeAsking);
        if (restore.planned() && plan.files == 0) {
            // Nothing to bring back. Hidden copies cut short stay until the user undoes the run.
            restore.mark(plan.leftovers == 0 ? JournalMark::Restored : JournalMark::Declined);
            continue;
        }
        if (!ask(m_dialogs, recoveryQuestion(restore.journal(), plan))) {
            restore.mark(JournalMark::Declined);
            continue;
        }
        restoreRun(restore);
    }
    tellBroken(m_dialogs, broken);
}

void RunHistory::runEnded(bool journalWritten)
{
    m_lastRunUnrecorded = !journalWritten;
}

bool RunHistory::canUndo()
{
    if (m_lastRunUnrecorded) {
        return false;
    }
    // Asked each time the menu opens: only what each journal says before its files is read, not the
    // megabytes of a large run's files.
    platform::JournalStore store(m_calls, m_folder);
    const std::vector<std::string> names = store.names();
    for (auto last = names.rbegin(); last != names.rend(); ++last) {
        Journal journal;
        std::string head;
        std::uint64_t size = 0;
        const JournalStatus status =
            store.readHead(*last, head, size) == 0 ? decodeJournalHead(head, size, journal) : JournalStatus::Torn;
        if (status == JournalStatus::Torn) {
            continue; // that run touched nothing: the one before is the last
        }
        if (status != JournalStatus::Ok || !store.readMarks(*last, journal.marks)
            || journal.marked(JournalMark::Restored)) {
            return false;
        }
        platform::PosixRecoverySteps steps(m_calls);
        return steps.open(journal);
    }
    return false;
}

bool RunHistory::undoLast()
{
    if (m_lastRunUnrecorded) {
        return false;
    }
    platform::JournalStore store(m_calls, m_folder);
    Journal journal;
    std::string name;
    if (!platform::findLastRun(store, journal, name)) {
        return false;
    }
    platform::RunRestore restore(m_calls, m_folder, name, std::move(journal));
    switch (restore.open()) {
    case platform::RunRestore::Opened::Ready:
        break;
    case platform::RunRestore::Opened::Busy:
        tell(m_dialogs, "このフォルダでは別の処理が実行中です。  ", false);
        return false;
    case platform::RunRestore::Opened::FolderGone:
        return false;
    }
    if (!ask(m_dialogs, undoQuestion(restore.journal(), restore.countsToAsk(m_plannedBeforeAsking)))) {
        return false;
    }
    restoreRun(restore);
    return true;
}

void RunHistory::showProgressOn(std::function<void(int percent)> bar)
{
    m_bar = std::move(bar);
}

void RunHistory::restoreRun(platform::RunRestore& restore)
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
            failures = restore.run(progress);
        },
        showProgress);
    ownBar.reset();
    if (m_bar) {
        m_bar(0);
    }
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
