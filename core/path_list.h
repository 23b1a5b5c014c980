#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox {

// The full paths of files in one folder, held as the folder once and the names in one buffer: a run of a
// million files lists every file it renamed, which as a string per path took about 90 bytes a file.
class PathList
{
public:
    PathList() = default;
    explicit PathList(std::string folder, std::initializer_list<std::string_view> names = {})
        : m_folder(std::move(folder))
    {
        for (const std::string_view name : names) {
            push_back(name);
        }
    }

    // Adds the path of `name` in the folder.
    void push_back(std::string_view name)
    {
        m_names.append(name);
        m_ends.push_back(m_names.size());
    }
    void reserve(std::size_t count, std::size_t nameBytes)
    {
        m_ends.reserve(count);
        m_names.reserve(nameBytes);
    }

    std::size_t size() const
    {
        return m_ends.size();
    }
    bool empty() const
    {
        return m_ends.empty();
    }
    void clear()
    {
        *this = PathList();
    }

    // The full path of the file at `index`.
    std::string operator[](std::size_t index) const
    {
        const std::size_t begin = index == 0 ? 0 : m_ends[index - 1];
        std::string path = m_folder;
        path += '/';
        path.append(m_names, begin, m_ends[index] - begin);
        return path;
    }
    std::vector<std::string> all() const
    {
        std::vector<std::string> paths;
        paths.reserve(size());
        for (std::size_t i = 0; i < size(); ++i) {
            paths.push_back((*this)[i]);
        }
        return paths;
    }

private:
    std::string m_folder;
    std::string m_names;
    std::vector<std::size_t> m_ends;
};

} // namespace tallyfox
