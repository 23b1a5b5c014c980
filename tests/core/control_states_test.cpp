#include "core/control_states.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace tallyfox;

namespace {

constexpr FieldState kOff{false, FieldColour::ButtonFace};
constexpr FieldState kOn{true, FieldColour::Window};
constexpr FieldState kWhite{true, FieldColour::FixedWhite};

// One row per operation: the save folder, its button, the pattern choice and the number fields, and
// whether the name fields follow the pattern (or stay off whatever it is).
struct OperationRow
{
    const char* name;
    FileOperation operation;
    FieldState saveFolder;
    bool saveFolderButton;
    bool patternChoice;
    bool numberFields;
    bool namesByPattern;
    ExtensionMode modeOnChoosing;
};

// The name fields by pattern: text before, text after.
struct PatternRow
{
    NamePattern pattern;
    FieldState textBefore;
    FieldState textAfter;
};

constexpr std::array kPatterns{
    PatternRow{NamePattern::NumberOnly, kOff, kOff},
    PatternRow{NamePattern::NameNumber, kOn, kOff},
    PatternRow{NamePattern::NumberName, kOff, kOn},
    PatternRow{NamePattern::NameNumberName, kOn, kOn},
};

// The given extension's field by extension mode.
constexpr std::array kExtensionModes{
    std::pair{ExtensionMode::Keep, kOff},
    std::pair{ExtensionMode::Upper, kOff},
    std::pair{ExtensionMode::Lower, kOff},
    std::pair{ExtensionMode::Specified, kOn},
};

class ControlStatesTest : public ::testing::TestWithParam<OperationRow>
{
};

TEST_P(ControlStatesTest, followTheTableForEveryPatternAndExtensionMode)
{
    const OperationRow& row = GetParam();
    for (const PatternRow& pattern : kPatterns) {
        for (const auto& [mode, extensionField] : kExtensionModes) {
            const ControlStates states = controlStates(row.operation, pattern.pattern, mode);
            SCOPED_TRACE(static_cast<int>(pattern.pattern) * 10 + static_cast<int>(mode));
            EXPECT_EQ(states.saveFolder, row.saveFolder);
            EXPECT_EQ(states.saveFolderButton, row.saveFolderButton);
            EXPECT_EQ(states.patternChoice, row.patternChoice);
            EXPECT_EQ(states.numberFields, row.numberFields);
            EXPECT_EQ(states.textBefore, row.namesByPattern ? pattern.textBefore : kOff);
            EXPECT_EQ(states.textAfter, row.namesByPattern ? pattern.textAfter : kOff);
            EXPECT_EQ(states.givenExtension, extensionField);
        }
    }
    EXPECT_EQ(extensionModeOnChoosing(row.operation), row.modeOnChoosing);
}

INSTANTIATE_TEST_SUITE_P(
    Operations,
    ControlStatesTest,
    ::testing::Values(
        OperationRow{"renameOnly", FileOperation::RenameOnly, kOff, false, true, true, true, ExtensionMode::Keep},
        OperationRow{"renameCopy", FileOperation::RenameCopy, kOn, true, true, true, true, ExtensionMode::Keep},
        OperationRow{"renameMoveHasAFixedWhiteSaveFolder",
                     FileOperation::RenameMove,
                     kWhite,
                     true,
                     true,
                     true,
                     true,
                     ExtensionMode::Keep},
        OperationRow{"extensionOnlyKeepsEveryNamingControlOff",
                     FileOperation::ExtensionOnly,
                     kOff,
                     false,
                     false,
                     false,
                     false,
                     ExtensionMode::Specified},
        OperationRow{"anUnknownOperationCountsAsExtensionOnly",
                     static_cast<FileOperation>(7),
                     kOff,
                     false,
                     false,
                     false,
                     false,
                     ExtensionMode::Specified}),
    [](const ::testing::TestParamInfo<OperationRow>& info) {
        return std::string(info.param.name);
    });

} // namespace
