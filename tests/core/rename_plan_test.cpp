#include "core/rename_plan.h"
#include "tests/support/test_names.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

using namespace tallyfox;

namespace {

using Kind = RenameStep::Kind;

struct PlanRow
{
    const char* name;
    std::vector<std::string> olds;
    std::vector<std::string> finals;
    std::vector<RenameStep> expected;
};

class RenamePlanTest : public ::testing::TestWithParam<PlanRow>
{
};

// Plays the steps on a folder holding the old names: no step may take a name another file holds, and
// every file ends under its final name.
void playWithoutCollision(const PlanRow& row, const std::vector<RenameStep>& steps)
{
    std::map<std::string, std::size_t> folder;
    for (std::size_t i = 0; i < row.olds.size(); ++i) {
        folder[row.olds[i]] = i;
    }
    std::map<std::size_t, std::string> at;
    for (std::size_t i = 0; i < row.olds.size(); ++i) {
        at[i] = row.olds[i];
    }
    for (const RenameStep& step : steps) {
        const std::string to =
            step.kind == Kind::OldToTemporary ? "_tmp" + std::to_string(step.file) : row.finals[step.file];
        const auto held = folder.find(to);
        ASSERT_TRUE(held == folder.end() || held->second == step.file) << row.name << ": " << to << " taken";
        folder.erase(at[step.file]);
        folder[to] = step.file;
        at[step.file] = to;
    }
    for (std::size_t i = 0; i < row.olds.size(); ++i) {
        EXPECT_EQ(at[i], row.finals[i]) << row.name;
    }
}

TEST_P(RenamePlanTest, takesEachNameOnlyOnceItIsFree)
{
    const PlanRow& row = GetParam();
    const std::vector<RenameStep> steps = planRenames(row.olds, row.finals);
    EXPECT_EQ(steps, row.expected);
    playWithoutCollision(row, steps);
}

INSTANTIATE_TEST_SUITE_P(
    Choices,
    RenamePlanTest,
    ::testing::Values(
        PlanRow{"freeNamesGoStraightInListOrder",
                {"b.jpg", "a.jpg"},
                {"001.jpg", "002.jpg"},
                {{0, Kind::OldToFinal}, {1, Kind::OldToFinal}}},
        PlanRow{"aShiftByOneIsWalkedFromItsFreeEnd",
                {"1.jpg", "2.jpg", "3.jpg"},
                {"2.jpg", "3.jpg", "4.jpg"},
                {{2, Kind::OldToFinal}, {1, Kind::OldToFinal}, {0, Kind::OldToFinal}}},
        PlanRow{"aSwapStepsAsideOnce",
                {"2.jpg", "1.jpg"},
                {"1.jpg", "2.jpg"},
                {{0, Kind::OldToTemporary}, {1, Kind::OldToFinal}, {0, Kind::TemporaryToFinal}}},
        PlanRow{"aRotationOfThreeStepsAsideOnce",
                {"a", "b", "c"},
                {"b", "c", "a"},
                {{0, Kind::OldToTemporary}, {2, Kind::OldToFinal}, {1, Kind::OldToFinal}, {0, Kind::TemporaryToFinal}}},
        PlanRow{"aFileKeepingItsNameHoldsNobodyBack",
                {"001.jpg", "x.jpg"},
                {"001.jpg", "002.jpg"},
                {{0, Kind::OldToFinal}, {1, Kind::OldToFinal}}},
        PlanRow{"aChainBesideACycle",
                {"1", "2", "x", "y"},
                {"2", "1", "y", "z"},
                {{3, Kind::OldToFinal},
                 {2, Kind::OldToFinal},
                 {0, Kind::OldToTemporary},
                 {1, Kind::OldToFinal},
                 {0, Kind::TemporaryToFinal}}}),
    [](const ::testing::TestParamInfo<PlanRow>& info) {
        return std::string(info.param.name);
    });

// Two files wanting one name: the first waits for it; the second is planned at once and is refused at
// its turn (the run then sends it through its temporary name).
TEST(RenamePlan, aSecondFileWantingTheSameNameIsNotMadeToWait)
{
    const std::vector<RenameStep> steps = planRenames({"a", "b", "c"}, {"c", "c", "d"});
    const std::vector<RenameStep> expected{{1, Kind::OldToFinal}, {2, Kind::OldToFinal}, {0, Kind::OldToFinal}};
    EXPECT_EQ(steps, expected);
}

} // namespace

namespace {

std::string repeated(std::string_view piece, std::size_t times)
{
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// A name as each kind of file system judges it: the same name may be fine on one and refused on another.
struct NameRulesRow
{
    const char* name;
    std::string newName;
    int bytes; // on a Linux file system
    int utf16; // on NTFS, a disk in user space, a network share
    int fat;   // on FAT or exFAT
};

class NameRulesTest : public ::testing::TestWithParam<NameRulesRow>
{
};

TEST_P(NameRulesTest, judgesTheNameAsTheFileSystemDoes)
{
    const NameRulesRow& row = GetParam();
    EXPECT_EQ(unusableName(row.newName, NameRules::Bytes), row.bytes);
    EXPECT_EQ(unusableName(row.newName, NameRules::Utf16), row.utf16);
    EXPECT_EQ(unusableName(row.newName, NameRules::Fat), row.fat);
}

const NameRulesRow kNameRules[] = {
    {"plain", "kyoto_001.jpg", 0, 0, 0},
    {"colon", "10:30.jpg", 0, 0, EINVAL},
    {"question mark", "why?.jpg", 0, 0, EINVAL},
    {"asterisk", "a*.jpg", 0, 0, EINVAL},
    {"double quote", "\"a\".jpg", 0, 0, EINVAL},
    {"less than", "a<b.jpg", 0, 0, EINVAL},
    {"greater than", "a>b.jpg", 0, 0, EINVAL},
    {"bar", "a|b.jpg", 0, 0, EINVAL},
    {"backslash", "a\\b.jpg", 0, 0, EINVAL},
    {"control character", "a\tb.jpg", 0, 0, EINVAL},
    {"slash anywhere", "a/b.jpg", EINVAL, EINVAL, EINVAL},
    {"255 ASCII characters", std::string(255, 'n'), 0, 0, 0},
    {"256 ASCII characters", std::string(256, 'n'), ENAMETOOLONG, ENAMETOOLONG, ENAMETOOLONG},
    {"255 kana: 765 bytes, 255 UTF-16 units", repeated("あ", 255), ENAMETOOLONG, 0, 0},
    {"256 kana", repeated("あ", 256), ENAMETOOLONG, ENAMETOOLONG, ENAMETOOLONG},
    {"85 kana: 255 bytes", repeated("あ", 85), 0, 0, 0},
    {"127 characters beyond the basic plane: 254 units", repeated("😀", 127), ENAMETOOLONG, 0, 0},
    {"128 of them: 256 units", repeated("😀", 128), ENAMETOOLONG, ENAMETOOLONG, ENAMETOOLONG},
    {"255 bytes that are no UTF-8: one unit each", std::string(255, '\xff'), 0, 0, 0},
    {"254 kana and a cut one, whose two bytes count one unit each",
     repeated("あ", 254) + "\xe3\x81",
     ENAMETOOLONG,
     ENAMETOOLONG,
     ENAMETOOLONG},
    {"256 bytes that are no UTF-8", std::string(256, '\xff'), ENAMETOOLONG, ENAMETOOLONG, ENAMETOOLONG},
};

INSTANTIATE_TEST_SUITE_P(RenamePlan, NameRulesTest, ::testing::ValuesIn(kNameRules), TALLYFOX_ROW_NAMES);

} // namespace
