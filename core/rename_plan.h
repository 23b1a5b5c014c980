#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tallyfox {

// One rename of a numbering run: a file (by its position in the list) to its final name straight from
// its old one, to its temporary name, or from its temporary name to its final one.
struct RenameStep
{
    enum class Kind
    {
        OldToFinal,
        OldToTemporary,
        TemporaryToFinal,
    };

    std::size_t file;
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

} // namespace tallyfox
