#include "bench/bench_support.h"

#include "core/collation.h"
#include "platform/locale.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace tallyfox::bench {

namespace fs = std::filesystem;

fs::path benchRoot()
{
    const char* root = std::getenv("TALLYFOX_BENCH_ROOT");
    return fs::path(root != nullptr ? root : "/dev/shm") / "tallyfox-bench";
}

void makeFolder(const fs::path& folder, int count, std::size_t bytes, const std::function<std::string(int)>& nameOf)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
    const std::string content(bytes, 'x');
    for (int i = 0; i < count; ++i) {
        const int fd = ::open((folder / nameOf(i)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (!content.empty() && ::write(fd, content.data(), content.size()) < 0) {
                std::perror("write");
            }
            ::close(fd);
        }
    }
}

std::string photoName(int i)
{
    return "IMG_" + std::to_string(i) + ".jpg";
}

const fs::path& listingTree()
{
    static const fs::path tree = [] {
        const fs::path folder = benchRoot() / "files-100k";
        const fs::path done = folder / ".complete";
        if (!fs::exists(done)) {
            makeFolder(folder, kListingFiles, 0, [](int i) {
                static const char* const prefixes[] = {"img", "IMG_", "photo ", "写真", "DSC"};
                return prefixes[i % 5] + std::to_string((i * 7919) % kListingFiles) + (i % 2 == 0 ? ".jpg" : ".png");
            });
            ::close(::open(done.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        }
        return folder;
    }();
    return tree;
}

const NameCollator& userCollator()
{
    static const NameCollator instance(platform::userCollationLocale());
    return instance;
}

std::vector<std::string> plainListing(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name.size() > 4 && name.ends_with(".jpg")) {
                names.emplace_back(name);
            }
        }
        ::closedir(dir);
    }
    userCollator().sort(names);
    return names;
}

std::vector<std::string> renameThenList(const fs::path& folder,
                                        std::vector<std::string> names,
                                        const std::function<std::string(std::size_t)>& finalOf,
                                        const std::function<std::string(std::size_t)>& temporaryOf)
{
    const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (temporaryOf) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::string temporary = temporaryOf(i);
            ::renameat2(dir, names[i].c_str(), dir, temporary.c_str(), RENAME_NOREPLACE);
            names[i] = std::move(temporary);
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        ::renameat2(dir, names[i].c_str(), dir, finalOf(i).c_str(), RENAME_NOREPLACE);
    }
    ::close(dir);
    return plainListing(folder.string());
}

void copyLoop(const fs::path& folder, const fs::path& save, const std::vector<std::string>& names, std::size_t bytes)
{
    for (const std::string& name : names) {
        const int in = ::open((folder / name).c_str(), O_RDONLY | O_CLOEXEC);
        const int out = ::open((save / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ::copy_file_range(in, nullptr, out, nullptr, bytes, 0);
        ::close(out);
        ::close(in);
    }
}

int runProgram(const std::vector<std::string>& arguments, const fs::path& folder)
{
    std::vector<char*> argv;
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The child enters the folder itself: this process's own folder may be one a job has removed.
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double childrenCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long residentKiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

long peakResidentKiB()
{
    // The kernel's high-water mark, which resetPeakResident() can set back, unlike getrusage's.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            return std::stol(line.substr(6));
        }
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace tallyfox::bench
