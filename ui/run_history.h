#pragma once

#include "core/journal.h"
#include "ui/file_list_menu.h"

#include <functional>
#include <string>

namespace tallyfox::platform {
class Dialogs;
class RunRestore;
class Syscalls;
} // namespace tallyfox::platform

namespace tallyfox::ui {

// The journals of the last runs, as the program uses them: the question at start-up after a run that
// did not end, and the undo of the last run. Nothing is renamed or removed before the user has answered
// OK, and only while the run's folders are locked. A journal of another version is passed over; one
// that is damaged or cannot be read whole is moved aside, kept, and told of once at start-up.
class RunHistory final
{
public:
    RunHistory(platform::Dialogs& dialogs, platform::Syscalls& calls, std::string journalFolder);

    // For every run that did not end and whose folders no other run holds: asks whether its files go
    // back to their old names, and on OK brings them back and reports; on Cancel the run stays for the
    // undo. Nothing is asked, and nothing done, when no file needs a step.
    void recoverAtStart();

    // Whether the last run, ended or not, can still be undone: its journal is read and its folder is there.
    bool canUndo();

    // Asks, brings the last run's files back and reports. True when the undo ran (the folder has changed).
    bool undoLast();

    // Where the undo shows how far it is (percent, 0 once it is over); at start, before there is a main
    // window, a way back that takes longer than a moment shows a small window of its own.
    void showProgressOn(std::function<void(int percent)> bar);

    // Up to this many files, a question tells what the plan found file by file; a larger run is asked
    // about from its journal, what the run did, and planned once answered, so that the question does not
    // wait seconds for looks at a million files.
    static constexpr std::size_t kPlannedBeforeAsking = 20000;
    void planBeforeAskingUpTo(std::size_t files)
    {
        m_plannedBeforeAsking = files;
    }

    // A run of this window went on without a journal (the user accepted it): the journal before it is
    // not the last run's, so nothing is offered to undo until a run writes one again.
    void runEnded(bool journalWritten);

private:
    // Brings the run back (its folders locked and its plan made by the caller), marks it and reports.
    void restoreRun(platform::RunRestore& restore);

    platform::Dialogs& m_dialogs;
    platform::Syscalls& m_calls;
    std::string m_folder;
    bool m_lastRunUnrecorded = false;
    std::function<void(int percent)> m_bar;
    std::size_t m_plannedBeforeAsking = kPlannedBeforeAsking;
};

// The file list's command "元に戻す(&U)" (also Ctrl+Z): enabled while the last run can be undone;
// `undone` follows an undo that ran, to list the folder again.
FileListCommand undoCommand(RunHistory& history, std::function<void()> undone);

} // namespace tallyfox::ui
