#include "app/start_folder.h"

namespace tallyfox::app {

std::string startFolderArgument(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!argument.empty() && argument.front() != '-') {
            return argument;
        }
    }
    return {};
}

} // namespace tallyfox::app
