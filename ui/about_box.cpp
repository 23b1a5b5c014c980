#include "ui/about_box.h"

namespace tallyfox::ui {

platform::Message versionBox()
{
    // Every line ends in CR LF, the last one too; the notice and contact lines stand five blanks in,
    // and the notice's first line carries five blanks after it.
    const QString text = QLatin1String(kVersionLine)
                         + QStringLiteral("\r\n"
                                          "\r\n"
                                          "     本ソフトウェアは無保証で提供されます。     \r\n"
                                          "     ご使用によって生じた損害について一切の責任を負いません。\r\n"
                                          "\r\n"
                                          "     E-Mail : tallyfox@example.org\r\n"
                                          "     HomePage : https://www.example.org/tallyfox/\r\n");
    return {
        .text = text,
        .caption = QStringLiteral("ヴァージョン情報"),
        .icon = platform::MessageIcon::Information,
        .buttons = platform::MessageButtons::Ok,
    };
}

} // namespace tallyfox::ui
