#include "platform/folder_picker.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>

namespace tallyfox::platform {

namespace {

// The kind the browser's type column gives a folder. The toolkit's Japanese texts have none for it, so
// the column would say "Folder" among Japanese captions.
class JapaneseFolderKinds final : public QFileIconProvider
{
public:
    QString type(const QFileInfo& info) const override
    {
        return info.isDir() ? QStringLiteral("フォルダ") : QFileIconProvider::type(info);
    }
};

// The browser may make a folder, and name it in the list, but never delete one: the toolkit's delete
// removes a folder with everything in it. Its menu item and its Delete key go.
void forbidDeleting(QFileDialog& dialog)
{
    if (auto* remove = dialog.findChild<QAction*>(QStringLiteral("qt_delete_action"))) {
        remove->setVisible(false);
        remove->setEnabled(false);
    }
    for (QShortcut* key : dialog.findChildren<QShortcut*>()) {
        if (key->key().matches(QKeySequence(QKeySequence::Delete)) == QKeySequence::ExactMatch) {
            key->setEnabled(false);
        }
    }
}

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
    // With no folder current in the list, confirming gives the name under the list, which is the folder
    // shown or, once a new folder has been named, that folder (the list drops it as it is renamed).
    QObject::connect(&dialog, &QFileDialog::currentChanged, line, [&dialog, show](const QString& path) {
        show(path.isEmpty() ? dialog.selectedFiles().value(0, dialog.directory().absolutePath()) : path);
    });
    QObject::connect(&dialog, &QFileDialog::directoryEntered, line, show);
    // Every way to another folder (the back and up buttons, the side bar, the history) moves the
    // list's model, which is the one place all of them pass.
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        QObject::connect(model, &QFileSystemModel::rootPathChanged, line, show);
        // The choice renamed in the list (a new folder given its name) stays the choice.
        QObject::connect(model,
                         &QFileSystemModel::fileRenamed,
                         line,
                         [line, show](const QString& folder, const QString& oldName, const QString& newName) {
                             if (line->text() == QDir::cleanPath(QDir(folder).filePath(oldName))) {
                                 show(QDir(folder).filePath(newName));
                             }
                         });
    }
    show(dialog.directory().absolutePath());
}

} // namespace

std::optional<std::string> browseForFolder(const QString& title, QWidget* owner)
{
    // Outlives the dialog that asks it.
    JapaneseFolderKinds kinds;
    QFileDialog dialog(owner, title);
    dialog.setObjectName(QStringLiteral("FolderBrowser"));
    // The toolkit's own dialog: the same on every desktop, and one whose list can be followed.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    // The album a run copies into is often made right here: the new-folder button makes one in the
    // folder shown (where the user may write), opens its name for typing, and selects it.
    dialog.setOption(QFileDialog::ReadOnly, false);
    forbidDeleting(dialog);
    dialog.setIconProvider(&kinds);
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
