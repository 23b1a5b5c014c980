#pragma once

#include "core/naming.h"

namespace tallyfox {

// The colour a text field is painted in: the button face of a field that cannot be edited, the window
// colour of one that can, and the fixed white of the save folder while files are moved.
enum class FieldColour
{
    ButtonFace,
    Window,
    FixedWhite,
};

struct FieldState
{
    bool enabled = false;
    FieldColour colour = FieldColour::ButtonFace;

    friend bool operator==(const FieldState&, const FieldState&) = default;
};

// What the operation, the pattern and the extension mode make of the controls that depend on them. The
// operation and extension choices themselves, the tool bar and the file selection never change.
struct ControlStates
{
    FieldState saveFolder;
    bool saveFolderButton = false;
    bool patternChoice = false;
    bool numberFields = false; // start number and digit count
    FieldState textBefore;
    FieldState textAfter;
    FieldState givenExtension;

    friend bool operator==(const ControlStates&, const ControlStates&) = default;
};

// The states of the dependent controls for a choice of operation, pattern and extension mode.
ControlStates controlStates(FileOperation operation, NamePattern pattern, ExtensionMode extensionMode);

// The extension mode a newly chosen operation brings: a given extension for changing extensions only,
// the extension kept for every renaming operation.
ExtensionMode extensionModeOnChoosing(FileOperation operation);

} // namespace tallyfox
