#pragma once

#include "core/file_operations.h"
#include "core/journal.h"
#include "core/name_list.h"
#include "core/naming.h"
#include "core/path_list.h"
#include "core/rename_plan.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tallyfox {

// The boxes a run shows, all under the caption "確認".
enum class RunBox
{
    Report,        // OK, information icon: refusals and the completion message
    FailureReport, // OK, warning icon: the completion message when files could not be processed
    Confirmation,  // OK and Cancel, information icon: the question before a run
    Overwrite,     // OK and Cancel, question icon: replacing a file in the save folder
    Risk,          // OK and Cancel, Cancel the default, warning icon: going on without a way back
};

enum class RunAnswer
{
    Ok = 1,
    Cancel = 2,
};

// What the run needs from the window around it.
class RunHost
{
public:
    virtual ~RunHost() = default;

    // Shows a box and waits for the answer; a box with OK alone answers Ok.
    virtual RunAnswer ask(const std::string& text, RunBox box) = 0;

    // Sets the progress bar (0 to 100). The step set last stands on the bar until the next; a host may
    // draw the steps of a sweep less often than they come, but never leaves the last one undrawn while
    // the run works on.
    virtual void setProgress(int percent) = 0;

    // Lists the file list and then its mirror anew, and writes the count label: all the window ties to
    // the end of a run.
    virtual void relistFileLists() = 0;

    // Sees every file's names once they are planned, before any file is touched; false ends the run
    // there, nothing done. The window takes every plan: a file whose new name cannot be used keeps its
    // own and is reported with the others.
    virtual bool acceptsPlan(const EntryList& /*files*/)
    {
        return true;
    }
};

// What keeps a run safe beyond its own steps: the lock on its folders and its journal.
class RunRecord
{
public:
    virtual ~RunRecord() = default;

    // Locks the run's folder and its save folder until the record is gone; false when another run, in
    // this process or another, holds one of them.
    virtual bool lock(const std::string& folder, const std::string& saveFolder) = 0;

    // Begins finding out who the files of `names` in `folder` are while the run plans, `withContent`
    // their sizes and times too (for files copied or moved); write() takes what was found for a journal
    // of these files in this order. The names stay as they are until then.
    virtual void lookAhead(const std::string& folder, const NameList& names, bool withContent) = 0;

    // Completes the journal with who the folders and each file are, writes it and flushes it to disk.
    // 0 or the errno; nothing has been touched either way.
    virtual int write(Journal& journal) = 0;

    // Appends a mark to the journal written, flushed; nothing when no journal was written.
    virtual void mark(JournalMark mark) = 0;
};

// Everything a run reads from the window, taken when the run starts.
struct RunRequest
{
    std::string folder; // the folder of the file list, absolute
    // The files in list order: the order the user sees is the numbering order. A copy of the file list's
    // names shares their bytes, and a move in the list afterwards does not change it.
    NameList names;
    NamingSettings naming;
    std::string saveFolder; // as typed; the target of a copy or move
    std::int32_t confirmBeforeRun = 1;
};

// A file the run could not process as asked.
struct FileFailure
{
    std::string before; // the file's name when the run started
    std::string now;    // the name it has now, in the run's folder
    std::string reason; // why, in a few words
};

struct RunResult
{
    bool started = false;              // false: refused by a check, or cancelled
    PathList records;                  // full paths of the files that took their new names
    std::vector<FileFailure> failures; // files not renamed, copied or moved as asked
};

// The rename run: the checks, the question, the renaming through temporary names, the copy or move
// into the save folder, the relisting and the completion message. Every file keeps a name at every
// moment; a file that cannot take its new name goes back to its old one where that is still free. The
// file at position i of the list receives the number S + i. Throws FormatError for a digit count below
// zero once the bar has swept to full, before any file is touched.
RunResult runRename(const RunRequest& request, RunHost& host, FileOperations& files);
// The same run, locked and written to `record`'s journal before the first file is touched.
RunResult runRename(const RunRequest& request, RunHost& host, FileOperations& files, RunRecord* record);
// The same run, letting go of the request's names once its journal is written: a caller whose list
// changes meanwhile need not keep the names the run took through it.
RunResult runRename(RunRequest&& request, RunHost& host, FileOperations& files, RunRecord* record);

// The message with which a run of this request is refused before anything is done (the box's text, its
// blanks included), or empty when the run may go on.
std::string runRefusal(const RunRequest& request);

// The question before a file of the save folder is replaced: the file's name, then the question.
std::string overwriteQuestion(const std::string& name);

// What the renames of a run make of one file.
struct RehearsedFile
{
    bool reached = false; // the file ends under its new name
    int error = 0;        // why not
};

// The renames of a run of `plan` played, exactly as the run makes them, on a folder of names held in
// memory that holds `folderNames` (every entry of the folder, the listed files included) and allows the
// names its file system allows: what each file would end as if the folder did not change meanwhile.
// Touches no file.
std::vector<RehearsedFile> rehearseRun(const RunPlan& plan,
                                       FileOperation operation,
                                       const std::vector<std::string>& folderNames,
                                       NameRules names = NameRules::Bytes);

// The completion message of an operation, with the list of failures where there are any.
std::string completionMessage(FileOperation operation, const std::vector<FileFailure>& failures);

// The list of files not processed as the completion message gives it: empty when there are none.
std::string failureList(const std::vector<FileFailure>& failures);

// A few words on why a file operation failed with `error`.
std::string failureReason(int error);

} // namespace tallyfox
