#include "ui/appearance.h"

#include <QStringList>

namespace tallyfox::ui {

QFont windowFont()
{
    QStringList families;
    families << QStringLiteral("IPAPGothic") << QStringLiteral("IPAGothic") << QStringLiteral("Noto Sans CJK JP")
             << QStringLiteral("VL PGothic") << QStringLiteral("Droid Sans Japanese");
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(12);
    font.setWeight(QFont::Normal);
    return font;
}

} // namespace tallyfox::ui
