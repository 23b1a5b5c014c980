#pragma once

#include <string>

namespace tallyfox::app {

// The folder the program is asked to start in (`tallyfox FOLDER`, as a file manager opens a folder
// with it): the first argument left by the toolkit that is not an option, in bytes as given; empty when
// there is none.
std::string startFolderArgument(int argc, char** argv);

} // namespace tallyfox::app
