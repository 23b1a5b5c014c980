// What the benchmarks share: where their trees live, how they are made, the baselines' listing and copy
// loop, and the process's memory.
#pragma once

#include "core/rename_run.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tallyfox {
class NameCollator;
}

namespace tallyfox::bench {

// A host that answers every box with OK and shows nothing: the run alone is timed.
class SilentHost final : public RunHost
{
public:
    RunAnswer ask(const std::string&, RunBox) override
    {
        return RunAnswer::Ok;
    }
    void setProgress(int) override
    {
    }
    void relistFileLists() override
    {
    }
};

// Where the trees are made: below TALLYFOX_BENCH_ROOT, else below /dev/shm (tmpfs), in "tallyfox-bench".
std::filesystem::path benchRoot();

// A folder of `count` files named by `nameOf`, `bytes` bytes each, made anew.
void makeFolder(const std::filesystem::path& folder,
                int count,
                std::size_t bytes,
                const std::function<std::string(int)>& nameOf);

// IMG_<n>.jpg, as a camera names its photos.
std::string photoName(int i);

// The folder of 100,000 empty files that the listing and the preview share, made on the first run and
// kept (a ".complete" marker says it is whole). Half the names end in .jpg, the rest in .png; the
// numbers are not zero-filled, so the order has img10 before img2 as real folders do, and a fifth are
// Japanese.
inline constexpr int kListingFiles = 100000;
const std::filesystem::path& listingTree();

// The collator of the user's locale, as the window sorts with it.
const NameCollator& userCollator();

// The baselines' listing: readdir, the names ending in .jpg, sorted by the user's collator.
std::vector<std::string> plainListing(const std::string& folder);

// The least a numbering run must do, in list order on the folder's descriptor: each of `names` to
// `finalOf(i)` with one renameat2(RENAME_NOREPLACE), or with two by way of `temporaryOf(i)` when that is
// given; then the folder listed as plainListing lists it, which it gives.
std::vector<std::string> renameThenList(const std::filesystem::path& folder,
                                        std::vector<std::string> names,
                                        const std::function<std::string(std::size_t)>& finalOf,
                                        const std::function<std::string(std::size_t)>& temporaryOf = {});

// The plainest copy of each of `names` from `folder` to `save`: open, open(O_CREAT | O_EXCL), one
// copy_file_range of `bytes`, two close.
void copyLoop(const std::filesystem::path& folder,
              const std::filesystem::path& save,
              const std::vector<std::string>& names,
              std::size_t bytes);

// Runs a program in `folder` with its output thrown away, as a script that only reads its exit status
// would; gives that status, or -1.
int runProgram(const std::vector<std::string>& arguments, const std::filesystem::path& folder);

// The CPU time, user and system, that the finished child processes have taken so far, in seconds.
double childrenCpuSeconds();

// The process's resident memory now, and the most it has held, in KiB.
long residentKiB();
long peakResidentKiB();
// Sets the most the process has held back to what it holds now: the peak of one job alone.
void resetPeakResident();

} // namespace tallyfox::bench
