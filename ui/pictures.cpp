#include "ui/pictures.h"

#include "ui/MainP.h"
#include "ui/widgets/tool_button.h"

namespace tallyfox::ui {

QPixmap toolPicture(const QString& name)
{
    return QPixmap(QStringLiteral(":/pictures/") + name + QStringLiteral(".xpm"));
}

void setToolButtonPictures(TMain& window)
{
    window.sbRename->setPictures(toolPicture(QStringLiteral("rename")));
    window.sbDialog->setPictures(toolPicture(QStringLiteral("options")));
    window.sbReset->setPictures(toolPicture(QStringLiteral("reset")), toolPicture(QStringLiteral("reset_disabled")));
    window.sbHelp->setPictures(toolPicture(QStringLiteral("help")));
    window.sbAbout->setPictures(toolPicture(QStringLiteral("about")));
    window.sbUp->setPictures(toolPicture(QStringLiteral("up")), toolPicture(QStringLiteral("up_disabled")));
    window.sbDown->setPictures(toolPicture(QStringLiteral("down")), toolPicture(QStringLiteral("down_disabled")));
}

} // namespace tallyfox::ui
