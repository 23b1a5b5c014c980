#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tallyfox::app {

// A string as JSON writes it, quotes included. Names are bytes: a byte that is no part of a well-formed
// UTF-8 character becomes U+FFFD, as the windows show it.
std::string jsonString(std::string_view bytes);

// One JSON object, its members in the order they are added, on one line.
class JsonObject final
{
public:
    JsonObject& text(std::string_view key, std::string_view value);
    JsonObject& number(std::string_view key, std::int64_t value);
    JsonObject& flag(std::string_view key, bool value);
    // A value that is JSON already: an object or an array.
    JsonObject& raw(std::string_view key, std::string_view json);
    std::string str() const;

private:
    void key(std::string_view key);
    std::string m_members;
};

// The items (JSON values) as an array, one item a line, indented under a member of a document.
std::string jsonArray(const std::vector<std::string>& items);
// The members as a document for a script to read: one member a line, a newline at the end.
std::string jsonDocument(const std::vector<std::pair<std::string, std::string>>& members);

// A message of the windows without the blanks they end in, for a line of its own.
std::string trimmed(std::string text);

// A name or a text for a line of the plain output: control characters (a tab or a newline in a file
// name would break the line into columns or lines that are not there) are written as \t, \n, \xNN.
std::string lineText(std::string_view bytes);

// What a command writes: its results on standard output, its failures and its progress on standard
// error, the progress only where standard error is a terminal.
class CommandOutput final
{
public:
    CommandOutput(std::FILE* out, std::FILE* err, bool terminal);

    void out(std::string_view text);
    // "tallyfox: " and the line.
    void error(std::string_view line);

    // Shows how far a long step is on a line of standard error rewritten in place, a few times a second
    // at most; nothing where standard error is no terminal. May be called from several threads.
    void progress(std::string_view what, std::size_t done, std::size_t all);
    // Takes the progress line away again.
    void endProgress();

private:
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_terminal;
    std::mutex m_progressMutex;
    std::chrono::steady_clock::time_point m_lastProgress{};
    bool m_progressShown = false;
};

} // namespace tallyfox::app
