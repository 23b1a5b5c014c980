#include "app/command_output.h"

#include "core/integer_text.h"

#include <cstdio>

namespace tallyfox::app {

namespace {

// The length of the well-formed UTF-8 character at s[pos], or 0 when the byte there starts none
// (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, cut short).
std::size_t utf8Length(std::string_view s, std::size_t pos)
{
    const auto byte = [&](std::size_t at) {
        return static_cast<unsigned char>(s[at]);
    };
    const unsigned char lead = byte(pos);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (pos + length > s.size() || byte(pos + 1) < low || byte(pos + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void appendEscape(std::string& out, unsigned char c)
{
    char code[8];
    std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
    out += code;
}

} // namespace

std::string jsonString(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + 2);
    out += '"';
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t length = utf8Length(bytes, pos);
        if (length == 0) {
            out += "\xEF\xBF\xBD"; // U+FFFD
            ++pos;
            continue;
        }
        if (length > 1) {
            out.append(bytes.substr(pos, length));
            pos += length;
            continue;
        }
        const auto c = static_cast<unsigned char>(bytes[pos++]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                appendEscape(out, c);
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
    return out;
}

void JsonObject::key(std::string_view key)
{
    if (!m_members.empty()) {
        m_members += ", ";
    }
    m_members += jsonString(key);
    m_members += ": ";
}

JsonObject& JsonObject::text(std::string_view key, std::string_view value)
{
    this->key(key);
    m_members += jsonString(value);
    return *this;
}

JsonObject& JsonObject::number(std::string_view key, std::int64_t value)
{
    this->key(key);
    m_members += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::flag(std::string_view key, bool value)
{
    this->key(key);
    m_members += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::raw(std::string_view key, std::string_view json)
{
    this->key(key);
    m_members += json;
    return *this;
}

std::string JsonObject::str() const
{
    return "{" + m_members + "}";
}

std::string jsonArray(const std::vector<std::string>& items)
{
    if (items.empty()) {
        return "[]";
    }
    std::string out = "[\n";
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += "    ";
        out += items[i];
        out += i + 1 < items.size() ? ",\n" : "\n";
    }
    out += "  ]";
    return out;
}

std::string jsonDocument(const std::vector<std::pair<std::string, std::string>>& members)
{
    std::string out = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i) {
        out += "  ";
        out += jsonString(members[i].first);
        out += ": ";
        out += members[i].second;
        out += i + 1 < members.size() ? ",\n" : "\n";
    }
    out += "}\n";
    return out;
}

std::string trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

std::string lineText(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned>(byte));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

CommandOutput::CommandOutput(std::FILE* out, std::FILE* err, bool terminal)
    : m_out(out)
    , m_err(err)
    , m_terminal(terminal)
{
}

void CommandOutput::out(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), m_out);
}

void CommandOutput::error(std::string_view line)
{
    endProgress();
    std::string text = "tallyfox: ";
    text += line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), m_err);
    std::fflush(m_err);
}

void CommandOutput::progress(std::string_view what, std::size_t done, std::size_t all)
{
    if (!m_terminal) {
        return;
    }
    // A step that comes while another thread writes the line is not waited for: the next one shows.
    const std::unique_lock<std::mutex> lock(m_progressMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_progressShown && now - m_lastProgress < std::chrono::milliseconds(100) && done < all) {
        return;
    }
    m_lastProgress = now;
    m_progressShown = true;
    const std::size_t shown = done < all ? done : all;
    const int percent = all == 0 ? 100 : static_cast<int>(shown * 100 / all);
    // Back to the line's start, the text, and the rest of an older, longer line erased.
    std::string text = "\r";
    text += what;
    text += "… " + groupedCount(shown) + " / " + groupedCount(all) + "（" + std::to_string(percent) + "%）\x1b[K";
    std::fwrite(text.data(), 1, text.size(), m_err);
    std::fflush(m_err);
}

void CommandOutput::endProgress()
{
    const std::lock_guard<std::mutex> lock(m_progressMutex);
    if (!m_progressShown) {
        return;
    }
    m_progressShown = false;
    std::fputs("\r\x1b[K", m_err);
    std::fflush(m_err);
}

} // namespace tallyfox::app
