#pragma once

#include "core/journal.h"
#include "core/name_list.h"
#include "core/name_store.h"
#include "core/naming.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// One rename of a numbering run: a file (by its position in the list) to its final name straight from
// its old one, to its temporary name, or from its temporary name to its final one.
struct RenameStep
{
    enum class Kind : std::uint8_t
    {
        OldToFinal,
        OldToTemporary,
        TemporaryToFinal,
    };

    std::uint32_t file; // a list's position: lists of 2^32 files or more are never planned
    Kind kind;

    friend bool operator==(const RenameStep&, const RenameStep&) = default;
};

// The order of a numbering run's renames, so that no name is taken before the file holding it has left
// it. A file whose final name is no other listed file's old name goes straight to it. A file whose final
// name is another listed file's old name follows that file: chains are walked from their free end back,
// one rename per file. A cycle (a swap, a rotation) is broken by one member going to its temporary name
// first and to its final name last. Every file gets exactly one step, or two when it breaks a cycle.
// Whether a final name is free of files outside the list is not known here: the run finds out when a
// rename is refused, and then sends that file the way of its temporary name.
std::vector<RenameStep> planRenames(const std::vector<std::string>& oldNames,
                                    const std::vector<std::string>& finalNames);

// What the file system of a folder allows in a name, beyond the "/" and NUL that no folder takes.
enum class NameRules : std::uint8_t
{
    // Linux file systems: at most 255 bytes.
    Bytes,
    // File systems of other systems that count a name in UTF-16 code units (NTFS, disks mounted in user
    // space, network shares): at most 255 of them, so up to 765 bytes of UTF-8.
    Utf16,
    // FAT and exFAT, as on a camera's card: at most 255 UTF-16 code units, and none of the characters
    // : ? * " < > | \ nor a control character.
    Fat,
};

// 0 when `name` can name a file in a folder on its own, else why not: EINVAL for an empty name, ".", "..",
// or one holding "/" or NUL (it would leave its folder), or a character the file system refuses;
// ENAMETOOLONG for a name longer than the file system allows, counted as it counts (bytes of the name,
// or UTF-16 code units of it read as UTF-8, a byte that is no part of a UTF-8 character counting one).
int unusableName(std::string_view name, NameRules rules = NameRules::Bytes);

// The names of one file of a run: its name at the start, the temporary name it may step aside to, and
// the name it is to end with; its target is set when a run that copies or moves takes the plan for its
// journal, which then holds the very entries planned.
using PlannedName = JournalEntry;

// Everything a run will do, worked out before any file is touched.
struct RunPlan
{
    EntryList files; // in list order
    // The renames of a numbering run in the order they are made (planRenames); a change of extensions
    // renames the files in list order and has none.
    std::vector<RenameStep> steps;
};

// The plan of a run over `names` (list order, the numbering order) under `naming`: every file's new
// name composed as ComposeNewName does, its temporary name ("_", the running number, the old
// extension; "_" and the new name for a change of extensions), and for a numbering run the order of the
// renames. What the run does and what the preview list shows both come from here. Throws FormatError
// for a digit count that cannot number.
RunPlan planRun(const NameList& names, const NamingSettings& naming);

// The same plan without the order of its renames, for a caller that needs the names of every file but
// the order only now and then; planSteps adds it.
RunPlan planNames(const NameList& names, const NamingSettings& naming);
void planSteps(RunPlan& plan, FileOperation operation);

} // namespace tallyfox
