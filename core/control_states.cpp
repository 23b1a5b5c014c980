#include "core/control_states.h"

namespace tallyfox {

namespace {

FieldState editable(bool enabled)
{
    return {enabled, enabled ? FieldColour::Window : FieldColour::ButtonFace};
}

bool renames(FileOperation operation)
{
    return operation == FileOperation::RenameOnly || operation == FileOperation::RenameCopy
           || operation == FileOperation::RenameMove;
}

} // namespace

ControlStates controlStates(FileOperation operation, NamePattern pattern, ExtensionMode extensionMode)
{
    ControlStates states;
    states.givenExtension = editable(extensionMode == ExtensionMode::Specified);
    // Changing extensions alone (and any operation the program does not know) keeps every naming
    // control off, whatever pattern is chosen.
    if (!renames(operation)) {
        return states;
    }
    const bool transfers = operation != FileOperation::RenameOnly;
    states.saveFolder = editable(transfers);
    if (operation == FileOperation::RenameMove) {
        states.saveFolder.colour = FieldColour::FixedWhite;
    }
    states.saveFolderButton = transfers;
    states.patternChoice = true;
    states.numberFields = true;
    states.textBefore = editable(pattern == NamePattern::NameNumber || pattern == NamePattern::NameNumberName);
    states.textAfter = editable(pattern == NamePattern::NumberName || pattern == NamePattern::NameNumberName);
    return states;
}

ExtensionMode extensionModeOnChoosing(FileOperation operation)
{
    return renames(operation) ? ExtensionMode::Keep : ExtensionMode::Specified;
}

} // namespace tallyfox
