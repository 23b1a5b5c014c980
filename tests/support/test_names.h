#pragma once

#include <string>

namespace tallyfox::testing {

// GoogleTest wants parameterised test names made of letters, digits and underscores; rows carry a
// readable sentence that is turned into one.
inline std::string testName(const std::string& sentence)
{
    std::string name;
    for (const char c : sentence) {
        const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        name += alnum ? c : '_';
    }
    return name;
}

} // namespace tallyfox::testing

// Names the rows of a TEST_P table by their `name` member.
#define TALLYFOX_ROW_NAMES                                                                                             \
    [](const auto& info) {                                                                                             \
        return ::tallyfox::testing::testName(info.param.name);                                                         \
    }
