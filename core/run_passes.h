#pragma once

#include "core/file_operations.h"
#include "core/rename_plan.h"
#include "core/rename_run.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// The renaming passes of a run over its files, shared by the run itself and its rehearsal on names held
// in memory, so that what the preview foresees is what the run does.

// Where each file of a numbering run stands while the run goes on.
enum class Place : std::uint8_t
{
    Old,
    Temporary,
    Final,
};

// The names are those of the plan (or of the journal that took them over), read through the file's
// entry there rather than copied: a run of many files would otherwise hold every name several times, and
// a reference to each of three names takes three times the room of one to the entry.
struct Planned
{
    const EntryList* entries = nullptr;
    std::uint32_t entry = 0;
    Place place = Place::Old;
    int error = 0; // why the file did not reach its final name

    std::string_view old() const
    {
        return (*entries)[entry].old;
    }
    std::string_view temporary() const
    {
        return (*entries)[entry].temporary;
    }
    std::string_view final() const
    {
        return (*entries)[entry].final;
    }
};

// A place for each file of a plan or a journal, all at their old names.
std::vector<Planned> placed(const EntryList& entries);

// Appends `mark` to the run's journal, when the run keeps one.
void mark(RunRecord* record, JournalMark mark);

// Each file of a numbering run to its final name in the order of `steps`, by way of its temporary name
// where it must wait; files that cannot take their final names go back to their old ones where still
// free. `reached`, when given, is told of each file (by its position) as soon as it has its final name
// for good. Marks the end of the passes in `record`, when given.
void renumber(const std::string& folder,
              std::vector<Planned>& files,
              const std::vector<RenameStep>& steps,
              FileOperations& operations,
              RunRecord* record,
              const std::function<void(std::size_t)>& reached = {});

// Each file to its new extension in list order. Gives each file's place, and the name it has now where
// a change of letter case left it between.
void changeExtensions(const std::string& folder, std::vector<Planned>& files, FileOperations& operations);

} // namespace tallyfox
