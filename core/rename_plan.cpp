#include "core/rename_plan.h"

#include "core/multibyte.h"
#include "core/name_table.h"

#include <algorithm>
#include <cerrno>
#include <climits>

namespace tallyfox {

namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// The UTF-16 code units of a UTF-8 name: one for each character, two for one beyond the basic plane,
// and one for each byte that does not belong to a well-formed character.
std::size_t utf16Length(std::string_view name)
{
    std::size_t units = 0;
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = characterLength(name, at, CodePage::Utf8);
        units += length == 4 ? 2 : 1;
        at += length;
    }
    return units;
}

} // namespace

namespace {

// The steps for `count` files whose names `oldName(i)` and `finalName(i)` give.
template <typename OldName, typename FinalName>
std::vector<RenameStep> orderRenames(std::size_t count, OldName oldName, FinalName finalName)
{
    const NameIndex holder(count, oldName);
    // next[i]: the listed file holding i's final name; waiting[j]: the file that wants j's old name. A
    // file keeping its name holds no other file back. Two files wanting one name: the first in the list
    // waits for it, the other is refused at its turn like any file whose name is taken.
    std::vector<std::uint32_t> next(count, kNone);
    std::vector<std::uint32_t> waiting(count, kNone);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t found = holder.find(finalName(i));
        if (found != NameTable::kNone && found != i && waiting[found] == kNone) {
            next[i] = found;
            waiting[found] = static_cast<std::uint32_t>(i);
        }
    }

    std::vector<RenameStep> steps;
    steps.reserve(count); // one step a file, and two more for each cycle
    std::vector<bool> planned(count, false);
    // From a file whose final name is free of listed files, back along the files waiting for it.
    const auto walkBack = [&](std::size_t from) {
        for (std::size_t i = waiting[from]; i != kNone && !planned[i]; i = waiting[i]) {
            steps.push_back({static_cast<std::uint32_t>(i), RenameStep::Kind::OldToFinal});
            planned[i] = true;
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        if (next[i] == kNone) {
            steps.push_back({static_cast<std::uint32_t>(i), RenameStep::Kind::OldToFinal});
            planned[i] = true;
            walkBack(i);
        }
    }
    // What is left lies on cycles: one member steps aside, the rest follow, and it comes back last.
    for (std::size_t i = 0; i < count; ++i) {
        if (!planned[i]) {
            steps.push_back({static_cast<std::uint32_t>(i), RenameStep::Kind::OldToTemporary});
            planned[i] = true;
            walkBack(i);
            steps.push_back({static_cast<std::uint32_t>(i), RenameStep::Kind::TemporaryToFinal});
        }
    }
    return steps;
}

} // namespace

std::vector<RenameStep> planRenames(const std::vector<std::string>& oldNames,
                                    const std::vector<std::string>& finalNames)
{
    return orderRenames(
        oldNames.size(),
        [&](std::size_t i) -> const std::string& {
            return oldNames[i];
        },
        [&](std::size_t i) -> const std::string& {
            return finalNames[i];
        });
}

int unusableName(std::string_view name, NameRules rules)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos
        || name.find('\0') != std::string_view::npos) {
        return EINVAL;
    }
    if (rules == NameRules::Bytes) {
        return name.size() > NAME_MAX ? ENAMETOOLONG : 0;
    }
    // Bytes below 0x80 are never part of a longer UTF-8 character, so they are looked at one by one.
    if (rules == NameRules::Fat && std::any_of(name.begin(), name.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20
                   || std::string_view(":?*\"<>|\\").find(c) != std::string_view::npos;
        })) {
        return EINVAL;
    }
    // A name counts no more UTF-16 code units than it has bytes: a short one needs no counting.
    return name.size() > NAME_MAX && utf16Length(name) > NAME_MAX ? ENAMETOOLONG : 0;
}

RunPlan planNames(const NameList& names, const NamingSettings& naming)
{
    RunPlan plan;
    plan.files.reserve(names.size());
    const bool numbering = naming.operation != FileOperation::ExtensionOnly;
    const std::string format = numbering ? NumberFormat(naming.digitCount) : std::string();
    std::string temporary;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        const auto position = static_cast<std::int64_t>(i);
        if (!numbering) {
            temporary = '_';
            temporary += ComposeNewName(name, position, naming); // the way a change of letter case alone goes
            plan.files.push_back({name, temporary, std::string_view(temporary).substr(1), {}});
            continue;
        }
        // The number is written once, for the new name and the temporary one.
        const std::string number = NumberText(format, runningNumber(naming, position));
        const std::string_view extension = extensionOf(name);
        temporary = '_';
        temporary += number;
        temporary += extension;
        plan.files.push_back({name, temporary, composeNumberedName(name, number, naming), {}});
    }
    return plan;
}

void planSteps(RunPlan& plan, FileOperation operation)
{
    if (operation == FileOperation::ExtensionOnly || !plan.steps.empty()) {
        return; // a change of extensions goes in list order
    }
    const EntryList& files = plan.files;
    plan.steps = orderRenames(
        files.size(),
        [&](std::size_t i) {
            return files[i].old;
        },
        [&](std::size_t i) {
            return files[i].final;
        });
}

RunPlan planRun(const NameList& names, const NamingSettings& naming)
{
    RunPlan plan = planNames(names, naming);
    planSteps(plan, naming.operation);
    return plan;
}

} // namespace tallyfox
