#include "ui/pictures.h"

#include "ui/widgets/tool_button.h"

namespace tallyfox::ui {

QPixmap toolPicture(const QString& name)
{
    return QPixmap(QStringLiteral(":/pictures/") + name + QStringLiteral(".xpm"));
}

void setToolButtonPictures(QWidget& window)
{
    // Button, picture, and the disabled picture of the buttons that can be disabled.
    struct Pictures
    {
        const char* button;
        const char* picture;
        const char* disabled;
    };
    constexpr Pictures kPictures[] = {
        {"sbRename", "rename", nullptr},
        {"sbDialog", "options", nullptr},
        {"sbReset", "reset", "reset_disabled"},
        {"sbHelp", "help", nullptr},
        {"sbAbout", "about", nullptr},
        {"sbUp", "up", "up_disabled"},
        {"sbDown", "down", "down_disabled"},
    };
    for (const Pictures& p : kPictures) {
        auto* button = window.findChild<ToolButton*>(QLatin1String(p.button));
        const QPixmap disabled = p.disabled != nullptr ? toolPicture(QLatin1String(p.disabled)) : QPixmap();
        button->setPictures(toolPicture(QLatin1String(p.picture)), disabled);
    }
}

} // namespace tallyfox::ui
