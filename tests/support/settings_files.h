#pragma once

#include <QStringList>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tallyfox::platform {
class FaultySyscalls;
}

namespace tallyfox::ui {
class TMain;
}

namespace tallyfox::testing {

// The bytes of a file; empty when it cannot be read.
std::string readBytes(const std::filesystem::path& file);

// Writes the bytes as the whole file, creating or replacing it.
void writeBytes(const std::filesystem::path& file, const std::string& bytes);

// The names in a folder, sorted: a failed write must leave no temporary file behind.
std::vector<std::string> namesIn(const std::filesystem::path& folder);

// Everything of the main window that the settings file keeps or the options change, one line per item
// ("rgSetting=1"), with the filter entries, the listed files and the count: two equal summaries mean
// that nothing a user could see of these settings changed.
QStringList windowSettings(const ui::TMain& window);

// The keys written to a settings file, in the order they were written, as "Section/Key". Every write
// goes through a temporary file renamed over the settings file; just before each rename the temporary
// file is read and compared with the content before it, and the one key line that differs is recorded.
// Keys whose value does not change are not written, so they do not appear.
class WrittenKeys final
{
public:
    // Watches the next renames made through `calls` of a temporary file beside `file`.
    WrittenKeys(platform::FaultySyscalls& calls, const std::filesystem::path& file);

    std::vector<std::string> keys() const;

private:
    struct State
    {
        std::filesystem::path file;
        std::string last;
        std::vector<std::string> keys;
    };
    std::shared_ptr<State> m_state;
};

} // namespace tallyfox::testing
