// Prints the help file that the program at the given path would show, as the program finds it.
#include "platform/program_files.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s EXECUTABLE\n", argv[0]);
        return 2;
    }
    std::printf("%s\n", tallyfox::platform::helpFileOf(argv[1]).c_str());
    return 0;
}
