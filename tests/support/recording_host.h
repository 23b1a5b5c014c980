#pragma once

#include "core/rename_run.h"

#include <deque>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tallyfox::testing {

// Answers the run's boxes from a script (OK when none is left) and records what the run showed.
class RecordingHost final : public RunHost
{
public:
    RunAnswer ask(const std::string& text, RunBox box) override
    {
        boxes.push_back({text, box});
        if (answers.empty()) {
            return RunAnswer::Ok;
        }
        const RunAnswer next = answers.front();
        answers.pop_front();
        return next;
    }

    void setProgress(int percent) override
    {
        progress.push_back(percent);
    }

    void relistFileLists() override
    {
        ++relists;
        if (folderGone) {
            throw std::runtime_error("the folder cannot be listed");
        }
    }

    std::deque<RunAnswer> answers;
    std::vector<std::pair<std::string, RunBox>> boxes;
    std::vector<int> progress;
    int relists = 0;
    bool folderGone = false;
};

} // namespace tallyfox::testing
