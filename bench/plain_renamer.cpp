// The least a command-line renamer must do, as a program of its own for the command line's benchmark to
// run beside `tallyfox number` and mmv: one listing of the folder (readdir, the names ending in .jpg,
// sorted by the user's collator) and one renameat2(RENAME_NOREPLACE) per file to PREFIX and its number,
// zero-filled to six digits. No journal, no lock, no check, no way back.
// Usage: tallyfox_plain_renamer FOLDER PREFIX

#include "bench/bench_support.h"

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: tallyfox_plain_renamer FOLDER PREFIX\n", stderr);
        return 2;
    }
    const std::vector<std::string> names = tallyfox::bench::plainListing(argv[1]);
    const int folder = ::open(argv[1], O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        std::perror(argv[1]);
        return 3;
    }
    int failed = 0;
    char number[24];
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::snprintf(number, sizeof number, "%06zu", i + 1);
        const std::string target = argv[2] + std::string(number) + ".jpg";
        failed += ::renameat2(folder, names[i].c_str(), folder, target.c_str(), RENAME_NOREPLACE) != 0 ? 1 : 0;
    }
    ::close(folder);
    return failed == 0 ? 0 : 1;
}
