#include "tests/support/settings_files.h"

#include "platform/testing/faulty_syscalls.h"
#include "tests/support/window_controls.h"
#include "ui/MainP.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"

#include <QLabel>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tallyfox::testing {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const std::string& content)
{
    std::vector<std::string> lines;
    std::string line;
    for (const char c : content) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::string keyOf(const std::string& line)
{
    return line.substr(0, line.find('='));
}

std::string sectionOf(const std::string& header)
{
    return header.substr(1, header.find(']') - 1);
}

// The key whose line differs between two contents: the first line that is not the same, which is the
// changed key, an added key, or an added section followed by its first key.
std::string changedKey(const std::string& before, const std::string& after)
{
    const std::vector<std::string> old = linesOf(before);
    const std::vector<std::string> now = linesOf(after);
    std::size_t i = 0;
    while (i < old.size() && i < now.size() && old[i] == now[i]) {
        ++i;
    }
    if (i >= now.size()) {
        return "(nothing)";
    }
    if (now[i].starts_with('[')) {
        return sectionOf(now[i]) + "/" + (i + 1 < now.size() ? keyOf(now[i + 1]) : std::string());
    }
    for (std::size_t up = i; up-- > 0;) {
        if (now[up].starts_with('[')) {
            return sectionOf(now[up]) + "/" + keyOf(now[i]);
        }
    }
    return "/" + keyOf(now[i]);
}

} // namespace

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

QStringList windowSettings(const ui::TMain& window)
{
    const auto bytes = [](const std::string& text) {
        return QString::fromStdString(text);
    };
    QStringList lines{
        QStringLiteral("position=%1,%2").arg(window.pos().x()).arg(window.pos().y()),
        QStringLiteral("folder=") + bytes(window.fileSelection().currentFolder()),
        QStringLiteral("filterIndex=%1").arg(window.fileSelection().filterIndex()),
        QStringLiteral("shownFilter=") + ctl(window).FilterComboBox1->currentText(),
        QStringLiteral("rgSetting=%1").arg(ctl(window).rgSetting->itemIndex()),
        QStringLiteral("editSaveFolder=") + ctl(window).editSaveFolder->text(),
        QStringLiteral("rgForm=%1").arg(ctl(window).rgForm->itemIndex()),
        QStringLiteral("editPrevName=") + ctl(window).editPrevName->text(),
        QStringLiteral("seStartNum=") + ctl(window).seStartNum->text(),
        QStringLiteral("seZeroNum=") + ctl(window).seZeroNum->text(),
        QStringLiteral("editLastName=") + ctl(window).editLastName->text(),
        QStringLiteral("rgExt=%1").arg(ctl(window).rgExt->itemIndex()),
        QStringLiteral("editExt=") + ctl(window).editExt->text(),
        QStringLiteral("ConfirmBeforeRun=%1").arg(window.ConfirmBeforeRun),
        QStringLiteral("lblCount=") + ctl(window).lblCount->text(),
        QStringLiteral("lblPreview=") + ctl(window).lblPreview->text(),
    };
    for (const FilterEntry& entry : ctl(window).FilterComboBox1->entries()) {
        lines << QStringLiteral("filter=") + bytes(entry.text) + QStringLiteral("|") + bytes(entry.mask);
    }
    for (const std::string_view name : ctl(window).FileListBox1->entries()) {
        lines << QStringLiteral("listed=") + bytes(std::string(name));
    }
    for (const std::string_view name : ctl(window).FileListBox2->entries) {
        lines << QStringLiteral("mirrored=") + bytes(std::string(name));
    }
    return lines;
}

WrittenKeys::WrittenKeys(platform::FaultySyscalls& calls, const fs::path& file)
    : m_state(std::make_shared<State>(State{file, readBytes(file), {}}))
{
    // More renames than any procedure of the program makes.
    constexpr int kWatched = 64;
    const int done = calls.calls("renameat2");
    for (int n = done + 1; n <= done + kWatched; ++n) {
        calls.before("renameat2", n, [state = m_state] {
            const std::string prefix = "." + state->file.filename().string() + ".";
            for (const auto& entry : fs::directory_iterator(state->file.parent_path())) {
                const std::string name = entry.path().filename().string();
                if (name.starts_with(prefix) && name.ends_with(".tmp")) {
                    const std::string content = readBytes(entry.path());
                    state->keys.push_back(changedKey(state->last, content));
                    state->last = content;
                    return;
                }
            }
        });
    }
}

std::vector<std::string> WrittenKeys::keys() const
{
    return m_state->keys;
}

} // namespace tallyfox::testing
