#include "tests/support/file_tree.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tallyfox::testing {

void createFiles(const std::filesystem::path& folder, const FileTree& files)
{
    std::filesystem::create_directories(folder);
    for (const auto& [name, content] : files) {
        std::ofstream out(folder / name, std::ios::binary);
        out << content;
    }
}

FileTree readFiles(const std::filesystem::path& folder)
{
    FileTree tree;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        tree[entry.path().filename().string()] = content.str();
    }
    return tree;
}

std::vector<std::string> contents(const std::vector<FileTree>& trees)
{
    std::vector<std::string> all;
    for (const FileTree& tree : trees) {
        for (const auto& [name, content] : tree) {
            all.push_back(content);
        }
    }
    std::sort(all.begin(), all.end());
    return all;
}

} // namespace tallyfox::testing
