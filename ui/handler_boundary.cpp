#include "ui/handler_boundary.h"

#include "core/errors.h"
#include "platform/dialogs.h"

namespace tallyfox::ui {

QString applicationTitle()
{
    return QStringLiteral("Tallyfox");
}

HandlerBoundary::HandlerBoundary(platform::Dialogs& dialogs)
    : m_dialogs(dialogs)
{
}

void HandlerBoundary::run(const Handler& handler) noexcept
{
    try {
        handler();
    } catch (const std::exception& error) {
        showError(QString::fromUtf8(error.what()));
    }
}

void HandlerBoundary::showError(const QString& text)
{
    m_dialogs.message({
        .text = text + QStringLiteral("."),
        .caption = applicationTitle(),
        .icon = platform::MessageIcon::Error,
        .buttons = platform::MessageButtons::Ok,
    });
}

void HandlerBoundary::beep()
{
    m_dialogs.beep();
}

platform::Dialogs& HandlerBoundary::dialogs() const
{
    return m_dialogs;
}

} // namespace tallyfox::ui
