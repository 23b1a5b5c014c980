#include "platform/folder_picker.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

namespace tallyfox::platform {

namespace {

// Adds a read-only line under the browser's list that always shows the path confirming would give:
// the folder chosen in the list, or the folder being shown when nothing is chosen.
void addPathLine(QFileDialog& dialog)
{
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (grid == nullptr) {
        return;
    }
    auto* caption = new QLabel(QStringLiteral("パス："), &dialog);
    auto* line = new QLineEdit(&dialog);
    line->setObjectName(QLatin1String(kFolderPathLineName));
    line->setReadOnly(true);
    caption->setBuddy(line);
    const int row = grid->rowCount();
    grid->addWidget(caption, row, 0);
    grid->addWidget(line, row, 1, 1, grid->columnCount() - 1);

    const auto show = [line](const QString& path) {
        line->setText(QDir::cleanPath(path));
        line->setCursorPosition(0);
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, line, [&dialog, show](const QString& path) {
        show(path.isEmpty() ? dialog.directory().absolutePath() : path);
    });
    QObject::connect(&dialog, &QFileDialog::directoryEntered, line, show);
    // Every way to another folder (the back and up buttons, the side bar, the history) moves the
    // list's model, which is the one place all of them pass.
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        QObject::connect(model, &QFileSystemModel::rootPathChanged, line, show);
    }
    show(dialog.directory().absolutePath());
}

} // namespace

std::optional<std::string> browseForFolder(const QString& title, QWidget* owner)
{
    QFileDialog dialog(owner, title);
    dialog.setObjectName(QStringLiteral("FolderBrowser"));
    // The toolkit's own dialog: the same on every desktop, and one whose list can be followed.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // A save folder is chosen here, never made or removed: no new-folder button, no deleting or
    // renaming from the list's menu.
    dialog.setOption(QFileDialog::ReadOnly);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Always from the top of the file system, whatever folder was chosen before.
    dialog.setDirectory(QStringLiteral("/"));
    addPathLine(dialog);

    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    const QString folder = QDir::cleanPath(chosen.first());
    if (!QDir::isAbsolutePath(folder)) {
        return std::nullopt;
    }
    // The dialog offers only folders whose names survive decoding (a name that is no UTF-8 is not
    // listed), so encoding the confirmed path gives the folder's own bytes.
    return QFile::encodeName(folder).toStdString();
}

} // namespace tallyfox::platform
