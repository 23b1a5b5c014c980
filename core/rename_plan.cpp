#include "core/rename_plan.h"

#include <string_view>
#include <unordered_map>

namespace tallyfox {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

} // namespace

std::vector<RenameStep> planRenames(const std::vector<std::string>& oldNames,
                                    const std::vector<std::string>& finalNames)
{
    const std::size_t count = oldNames.size();
    std::unordered_map<std::string_view, std::size_t> holder;
    holder.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        holder.emplace(oldNames[i], i);
    }
    // next[i]: the listed file holding i's final name; waiting[j]: the file that wants j's old name. A
    // file keeping its name holds no other file back. Two files wanting one name: the first in the list
    // waits for it, the other is refused at its turn like any file whose name is taken.
    std::vector<std::size_t> next(count, kNone);
    std::vector<std::size_t> waiting(count, kNone);
    for (std::size_t i = 0; i < count; ++i) {
        const auto found = holder.find(finalNames[i]);
        if (found != holder.end() && found->second != i && waiting[found->second] == kNone) {
            next[i] = found->second;
            waiting[found->second] = i;
        }
    }

    std::vector<RenameStep> steps;
    steps.reserve(count + count / 2);
    std::vector<bool> planned(count, false);
    // From a file whose final name is free of listed files, back along the files waiting for it.
    const auto walkBack = [&](std::size_t from) {
        for (std::size_t i = waiting[from]; i != kNone && !planned[i]; i = waiting[i]) {
            steps.push_back({i, RenameStep::Kind::OldToFinal});
            planned[i] = true;
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (next[i] == kNone) {
            steps.push_back({i, RenameStep::Kind::OldToFinal});
            planned[i] = true;
            walkBack(i);
        }
    }
    // What is left lies on cycles: one member steps aside, the rest follow, and it comes back last.
    for (std::size_t i = 0; i < count; ++i) {
        if (!planned[i]) {
            steps.push_back({i, RenameStep::Kind::OldToTemporary});
            planned[i] = true;
            walkBack(i);
            steps.push_back({i, RenameStep::Kind::TemporaryToFinal});
        }
    }
    return steps;
}

} // namespace tallyfox
