#include "core/rename_plan.h"
#include "core/rename_run.h"
#include "core/run_passes.h"

#include <cerrno>
#include <unordered_set>

namespace tallyfox {

namespace {

class NamesInMemory final : public FileOperations
{
public:
    NamesInMemory(const std::vector<std::string>& names, NameRules rules)
        : m_names(names.begin(), names.end())
        , m_rules(rules)
    {
    }

    int renameInFolder(const std::string& /*folder*/, const std::string& from, const std::string& to) override
    {
        if (const int error = unusableName(to, m_rules)) {
            return error;
        }
        const auto held = m_names.find(from);
        if (held == m_names.end()) {
            return ENOENT;
        }
        if (from == to) {
            return 0;
        }
        if (!m_names.insert(to).second) {
            return EEXIST;
        }
        m_names.erase(held);
        return 0;
    }
    bool fileExists(const std::string& /*path*/) override
    {
        return false;
    }
    bool sameFile(const std::string& /*a*/, const std::string& /*b*/) override
    {
        return false;
    }
    int copyFile(const std::string& /*source*/, const std::string& /*target*/, bool /*replace*/) override
    {
        return ENOSYS;
    }
    int moveFile(const std::string& /*source*/, const std::string& /*target*/, bool /*replace*/) override
    {
        return ENOSYS;
    }

private:
    std::unordered_set<std::string> m_names;
    NameRules m_rules;
};

} // namespace

std::vector<RehearsedFile>
rehearseRun(const RunPlan& plan, FileOperation operation, const std::vector<std::string>& folderNames, NameRules names)
{
    NamesInMemory folder(folderNames, names);
    std::vector<Planned> files = placed(plan.files);
    if (operation != FileOperation::ExtensionOnly) {
        renumber({}, files, plan.steps, folder, nullptr);
    } else {
        changeExtensions({}, files, folder);
    }
    std::vector<RehearsedFile> outcome;
    outcome.reserve(files.size());
    for (const Planned& file : files) {
        outcome.push_back({file.place == Place::Final, file.error});
    }
    return outcome;
}

} // namespace tallyfox
