#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tallyfox::testing {

// The files of one folder: name (bytes) to content. Folders inside it are not part of it.
using FileTree = std::map<std::string, std::string>;

// Creates each file with its content in `folder` (made if missing), by raw bytes.
void createFiles(const std::filesystem::path& folder, const FileTree& files);

// Reads every regular file of `folder` (not following into subfolders).
FileTree readFiles(const std::filesystem::path& folder);

// The contents of all files of the trees, sorted: equal for two states when no content was lost,
// duplicated or changed, whatever the names.
std::vector<std::string> contents(const std::vector<FileTree>& trees);

} // namespace tallyfox::testing
