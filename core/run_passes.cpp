#include "core/run_passes.h"

#include "core/multibyte.h"

#include <cerrno>

namespace tallyfox {

namespace {

// Temporary pass, final pass, and the way back for files that could not take their final names.
void giveFinalName(const std::string& folder, Planned& file, FileOperations& operations)
{
    const std::string_view from = file.place == Place::Temporary ? file.temporary() : file.old();
    file.error = operations.renameInFolder(folder, std::string(from), std::string(file.final()));
    if (file.error == 0) {
        file.place = Place::Final;
    }
}

// Sends a file on by way of its temporary name, which no other file of the run takes.
void stepAside(const std::string& folder, Planned& file, FileOperations& operations)
{
    file.error = operations.renameInFolder(folder, std::string(file.old()), std::string(file.temporary()));
    if (file.error == 0) {
        file.place = Place::Temporary;
    }
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

} // namespace

void mark(RunRecord* record, JournalMark mark)
{
    if (record != nullptr) {
        record->mark(mark);
    }
}

// Each file reaches its final name once at most and keeps it: `reached`, when given, is told of each
// (by its position) as soon as it has, so that its copy may begin while the others are renamed.
void renumber(const std::string& folder,
              std::vector<Planned>& files,
              const std::vector<RenameStep>& steps,
              FileOperations& operations,
              RunRecord* record,
              const std::function<void(std::size_t)>& reached)
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
        if (file.place == Place::Temporary
            && operations.renameInFolder(folder, std::string(file.temporary()), std::string(file.old())) == 0) {
            file.place = Place::Old;
        }
    }
    mark(record, JournalMark::FinalPassDone);
}

// Each file to its new extension in list order. Gives each file's place, and the name it has now where
// a change of letter case left it between.
void changeExtensions(const std::string& folder, std::vector<Planned>& files, FileOperations& operations)
{
    for (Planned& file : files) {
        const std::string old(file.old());
        const std::string final(file.final());
        file.error = operations.renameInFolder(folder, old, final);
        std::string now = old;
        if (file.error == EEXIST && equalIgnoringAsciiCase(file.old(), file.final(), systemCodePage())) {
            file.error = changeCase(folder, old, final, operations, now);
        }
        file.place = file.error == 0 ? Place::Final : now == file.old() ? Place::Old : Place::Temporary;
    }
}

} // namespace tallyfox
