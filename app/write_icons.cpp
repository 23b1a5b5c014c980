// Writes the application icon at every installed size, as the PNG files a desktop's icon theme
// expects: FOLDER/SIZExSIZE/apps/tallyfox.png. Run by the build; needs no display.
#include "ui/app_icon.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int size : tallyfox::ui::kApplicationIconSizes) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + QStringLiteral("/tallyfox.png");
        if (!QDir().mkpath(folder) || !tallyfox::ui::drawApplicationIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
