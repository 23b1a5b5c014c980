#include "core/rename_plan.h"

#include <gtest/gtest.h>

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
