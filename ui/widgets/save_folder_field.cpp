#include "ui/widgets/save_folder_field.h"

#include <QFile>

namespace tallyfox::ui {

void SaveFolderField::setPath(const std::string& path)
{
    m_path = path;
    assignText(QFile::decodeName(QByteArray::fromStdString(path)));
}

std::string SaveFolderField::path() const
{
    const QString shown = text();
    if (shown == QFile::decodeName(QByteArray::fromStdString(m_path))) {
        return m_path;
    }
    return QFile::encodeName(shown).toStdString();
}

} // namespace tallyfox::ui
