#pragma once

#include "core/settings.h"

#include <array>
#include <bitset>
#include <functional>
#include <string>
#include <variant>

class QPoint;
class QWidget;

namespace tallyfox::ui {

class FileSelection;
class NumberField;
class RadioGroup;
class SaveFolderField;
class TextField;
class WindowPlace;

// The main window's controls that hold a stored setting of their own.
struct SettingsControls
{
    RadioGroup* operation = nullptr;
    RadioGroup* pattern = nullptr;
    RadioGroup* extensionMode = nullptr;
    NumberField* startNumber = nullptr;
    NumberField* digitCount = nullptr;
    TextField* textBefore = nullptr;
    TextField* textAfter = nullptr;
    TextField* givenExtension = nullptr;
    SaveFolderField* saveFolder = nullptr;
};

// The main window's settings: one binding of controls to keys, walked by the load at start-up, the save
// at close and the reset, each in its own order. Every value set on a control has the control's usual
// effects. The window's place, the folder with its filters and the confirmation switch are written out
// where they are handled.
class MainSettings final
{
public:
    // `givenFolder`, when not empty, is the folder to start in instead of the stored one.
    MainSettings(SettingsFile& file,
                 SettingsControls controls,
                 QWidget& window,
                 FileSelection& files,
                 int& confirmBeforeRun,
                 std::string givenFolder = {});

    // Applies the stored settings. `centred` gives the window's place when none is stored.
    void load(const std::function<QPoint()>& centred);
    // Stores the settings key by key; a key that cannot be written ends the saving there (the error
    // goes to the caller). A key that was never loaded keeps its stored value, and so does a text the
    // file cannot hold (a line break in a folder's name) or a folder the window does not have.
    void save();
    // Puts the pattern settings, the operation, the save folder and the filter choice back to their
    // defaults, the controls first and then their keys.
    void reset();

private:
    using Control = std::variant<RadioGroup*, NumberField*, TextField*, SaveFolderField*>;
    struct Binding
    {
        Setting id;
        Control control;
    };

    // The binding of a key, or nullptr for the keys handled apart.
    const Binding* bindingOf(Setting id) const;

    SettingsFile& m_file;
    FileSelection& m_files;
    int& m_confirmBeforeRun;
    WindowPlace* m_place;
    std::string m_givenFolder;
    std::array<Binding, 9> m_bindings;
    // The keys whose stored values reached the window.
    std::bitset<static_cast<std::size_t>(Setting::DialogShow) + 1> m_loaded;
};

} // namespace tallyfox::ui
