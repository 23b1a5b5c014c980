#include "ui/main_settings.h"

#include "core/filter_list.h"
#include "ui/file_selection.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/save_folder_field.h"
#include "ui/window_place.h"

#include <QPoint>
#include <QWidget>

#include <utility>

namespace tallyfox::ui {

namespace {

// A stored choice of operation, pattern or extension mode: 1, 2 or 3 select that item, anything else the
// first.
int storedChoice(std::int32_t value)
{
    return value >= 1 && value <= 3 ? value : 0;
}

template <class... Ts> struct Overloaded : Ts...
{
    using Ts::operator()...;
};

} // namespace

MainSettings::MainSettings(SettingsFile& file,
                           SettingsControls controls,
                           QWidget& window,
                           FileSelection& files,
                           int& confirmBeforeRun,
                           std::string givenFolder)
    : m_file(file)
    , m_files(files)
    , m_confirmBeforeRun(confirmBeforeRun)
    , m_place(new WindowPlace(window))
    , m_givenFolder(std::move(givenFolder))
    , m_bindings{{
          {Setting::SaveDirPath, controls.saveFolder},
          {Setting::SettingFile, controls.operation},
          {Setting::SettingPattern, controls.pattern},
          {Setting::SettingNumber1, controls.startNumber},
          {Setting::SettingNumber2, controls.digitCount},
          {Setting::NamePrev, controls.textBefore},
          {Setting::NameLast, controls.textAfter},
          {Setting::SettingExt, controls.extensionMode},
          {Setting::NameExt, controls.givenExtension},
      }}
{
}

const MainSettings::Binding* MainSettings::bindingOf(Setting id) const
{
    for (const Binding& binding : m_bindings) {
        if (binding.id == id) {
            return &binding;
        }
    }
    return nullptr;
}

void MainSettings::load(const std::function<QPoint()>& centred)
{
    for (const Setting id : settingsOrder(SettingsProcedure::Load)) {
        switch (id) {
        case Setting::WindowLeft: {
            // A stored place that fits on a screen is used as it stands; one partly off every screen
            // is brought onto the nearest.
            const QPoint centre = centred();
            m_place->place({readIntegerSetting(m_file, Setting::WindowLeft, centre.x()),
                            readIntegerSetting(m_file, Setting::WindowTop, centre.y())});
            break;
        }
        case Setting::DirectoryPath:
            m_files.start(readSetting(m_file, Setting::DirectoryPath),
                          composeFilterList(readSetting(m_file, Setting::NameFilter1),
                                            readSetting(m_file, Setting::NameFilter2),
                                            readSetting(m_file, Setting::NameFilter3),
                                            readSetting(m_file, Setting::NameFilter4)),
                          readIntegerSetting(m_file, Setting::SettingFilter),
                          m_givenFolder);
            break;
        case Setting::DialogShow:
            m_confirmBeforeRun = readIntegerSetting(m_file, Setting::DialogShow);
            break;
        default:
            if (const Binding* binding = bindingOf(id)) {
                std::visit(Overloaded{
                               [&](RadioGroup* group) {
                                   group->setItemIndex(storedChoice(readIntegerSetting(m_file, id)));
                               },
                               [&](NumberField* field) {
                                   field->setValue(readIntegerSetting(m_file, id));
                               },
                               [&](TextField* field) {
                                   field->assignText(QString::fromStdString(readSetting(m_file, id)));
                               },
                               [&](SaveFolderField* field) {
                                   field->setPath(readSetting(m_file, id));
                               },
                           },
                           binding->control);
            }
            // The top edge is placed with the left one, the filters and their choice with the folder.
            break;
        }
        // Only a key whose value reached the window may be written back over the stored one.
        m_loaded.set(static_cast<std::size_t>(id));
    }
}

void MainSettings::save()
{
    const auto writeText = [this](Setting id, const std::string& value) {
        if (storableSettingsValue(value)) {
            writeSetting(m_file, id, value);
        }
    };
    for (const Setting id : settingsOrder(SettingsProcedure::Save)) {
        if (!m_loaded.test(static_cast<std::size_t>(id))) {
            continue;
        }
        switch (id) {
        case Setting::DirectoryPath:
            if (!m_files.currentFolder().empty()) {
                writeText(id, m_files.currentFolder());
            }
            break;
        case Setting::WindowLeft:
            writeIntegerSetting(m_file, id, m_place->toStore().x());
            break;
        case Setting::WindowTop:
            writeIntegerSetting(m_file, id, m_place->toStore().y());
            break;
        case Setting::SettingFilter:
            writeIntegerSetting(m_file, id, m_files.filterIndex());
            break;
        default:
            if (const Binding* binding = bindingOf(id)) {
                // The numbers as the fields hold them; a typed value out of range is brought in by the
                // next load.
                std::visit(Overloaded{
                               [&](RadioGroup* group) {
                                   writeIntegerSetting(m_file, id, group->itemIndex());
                               },
                               [&](NumberField* field) {
                                   writeIntegerSetting(m_file, id, field->value());
                               },
                               [&](TextField* field) {
                                   writeText(id, field->text().toStdString());
                               },
                               [&](SaveFolderField* field) {
                                   writeText(id, field->path());
                               },
                           },
                           binding->control);
            }
            break;
        }
    }
}

void MainSettings::reset()
{
    const std::span<const Setting> order = settingsOrder(SettingsProcedure::Reset);
    for (const Setting id : order) {
        if (id == Setting::SettingFilter) {
            m_files.selectFilterIndex(*settingKey(id).defaultNumber);
            m_files.filterPicked();
        } else if (const Binding* binding = bindingOf(id)) {
            std::visit(Overloaded{
                           [&](RadioGroup* group) {
                               group->setItemIndex(storedChoice(*settingKey(id).defaultNumber));
                           },
                           [&](NumberField* field) {
                               field->setValue(*settingKey(id).defaultNumber);
                           },
                           [&](TextField* field) {
                               field->assignText(QString());
                           },
                           [&](SaveFolderField* field) {
                               field->setPath(std::string());
                           },
                       },
                       binding->control);
        }
    }
    for (const Setting id : order) {
        writeDefaultSetting(m_file, id);
    }
}

} // namespace tallyfox::ui
