#include "platform/dialogs.h"
#include "platform/folder_picker.h"
#include "tests/support/temp_dir.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

using namespace tallyfox;

namespace {

const QString kTitle = QStringLiteral("フォルダを選択して下さい。");

QString decoded(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

// The view of the folder's entries that the browser shows (a list or a table of details).
QAbstractItemView* shownList(const QFileDialog& dialog)
{
    for (const char* name : {"treeView", "listView"}) {
        auto* view = dialog.findChild<QAbstractItemView*>(QLatin1String(name));
        if (view != nullptr && view->isVisible()) {
            return view;
        }
    }
    return nullptr;
}

// The entry of that name in the folder the browser's list shows, once the list has read it.
QModelIndex itemNamed(const QAbstractItemView& list, const QString& name)
{
    const QAbstractItemModel* model = list.model();
    for (int row = 0; row < model->rowCount(list.rootIndex()); ++row) {
        const QModelIndex index = model->index(row, 0, list.rootIndex());
        if (index.data().toString() == name) {
            return index;
        }
    }
    return {};
}

} // namespace

// The real folder browser, driven while it waits for the user.
class FolderPickerTest : public QObject
{
    Q_OBJECT

private:
    // Browses with `act` run on the open browser, which it is to close; a browser that `act` left
    // open (a failed check ends it early) is cancelled, so that no test waits for ever.
    std::optional<std::string> browse(std::function<void(QFileDialog&, QLineEdit&)> act)
    {
        bool acted = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* pathLine = dialog != nullptr
                                 ? dialog->findChild<QLineEdit*>(QLatin1String(platform::kFolderPathLineName))
                                 : nullptr;
            if (dialog != nullptr && pathLine != nullptr) {
                acted = true;
                act(*dialog, *pathLine);
            }
            auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (open != nullptr && open->isVisible()) {
                open->reject();
            }
        });
        platform::QtDialogs dialogs;
        const std::optional<std::string> chosen = dialogs.chooseFolder(kTitle);
        [&] {
            QVERIFY(acted);
        }();
        return chosen;
    }

private slots:
    void opensAtTheRootWithItsTitleForFoldersOnly()
    {
        const std::optional<std::string> chosen = browse([](QFileDialog& dialog, QLineEdit& pathLine) {
            QCOMPARE(dialog.windowTitle(), kTitle);
            QVERIFY(dialog.isModal());
            QCOMPARE(dialog.directory().absolutePath(), QStringLiteral("/"));
            QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
            QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
            QVERIFY(dialog.testOption(QFileDialog::ReadOnly));
            QVERIFY(dialog.testOption(QFileDialog::DontUseNativeDialog));
            QCOMPARE(pathLine.text(), QStringLiteral("/"));
            QVERIFY(pathLine.isReadOnly());
            dialog.reject();
        });
        QVERIFY(!chosen.has_value());
    }

    void thePathLineFollowsTheChoiceAndConfirmingGivesItsBytes()
    {
        testing::TempDir root;
        const std::filesystem::path photos = root.path() / "写真";
        const std::filesystem::path trip = photos / "旅行 2024";
        std::filesystem::create_directories(trip);
        const std::optional<std::string> chosen = browse([&](QFileDialog& dialog, QLineEdit& pathLine) {
            dialog.setDirectory(decoded(root.path()));
            QTRY_COMPARE(pathLine.text(), decoded(root.path()));
            // The user opens a folder, goes back up, opens it again, then picks one inside it.
            QAbstractItemView* list = shownList(dialog);
            QVERIFY(list != nullptr);
            QModelIndex item;
            QTRY_VERIFY((item = itemNamed(*list, QStringLiteral("写真"))).isValid());
            // Opened as a double-click or the Enter key opens it.
            emit list->activated(item);
            QTRY_COMPARE(pathLine.text(), decoded(photos));
            auto* up = dialog.findChild<QAbstractButton*>(QStringLiteral("toParentButton"));
            QVERIFY(up != nullptr);
            up->click();
            QTRY_COMPARE(pathLine.text(), decoded(root.path()));
            QTRY_VERIFY((item = itemNamed(*list, QStringLiteral("写真"))).isValid());
            emit list->activated(item);
            QTRY_COMPARE(pathLine.text(), decoded(photos));
            QTRY_VERIFY((item = itemNamed(*list, QStringLiteral("旅行 2024"))).isValid());
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
            QTRY_COMPARE(pathLine.text(), decoded(trip));
            static_cast<QDialog&>(dialog).accept();
        });
        QVERIFY(chosen.has_value());
        QCOMPARE(QByteArray::fromStdString(*chosen), QByteArray::fromStdString(trip.native()));
    }

    void everyFolderOfferedNamesItselfInBytes()
    {
        // A name that is no UTF-8 cannot be decoded and encoded back; the browser must not offer it
        // under a decoded name that would hand back the bytes of another, missing folder.
        testing::TempDir root;
        std::filesystem::create_directories(root.path() / "plain");
        std::filesystem::create_directories(root.path() / std::string("caf\xe9"));
        std::filesystem::create_directories(root.path() / "写真");
        QStringList offered;
        browse([&](QFileDialog& dialog, QLineEdit&) {
            dialog.setDirectory(decoded(root.path()));
            QAbstractItemView* list = shownList(dialog);
            QVERIFY(list != nullptr);
            QTRY_VERIFY(itemNamed(*list, QStringLiteral("plain")).isValid());
            QTRY_VERIFY(itemNamed(*list, QStringLiteral("写真")).isValid());
            const QAbstractItemModel* model = list->model();
            for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
                offered << model->index(row, 0, list->rootIndex()).data().toString();
            }
            dialog.reject();
        });
        QVERIFY(offered.contains(QStringLiteral("plain")));
        for (const QString& name : offered) {
            const std::filesystem::path bytes = root.path() / QFile::encodeName(name).toStdString();
            QVERIFY2(std::filesystem::is_directory(bytes), qPrintable(name));
        }
    }

    void confirmingWithNothingChosenGivesTheFolderShown()
    {
        const std::optional<std::string> chosen = browse([](QFileDialog& dialog, QLineEdit&) {
            static_cast<QDialog&>(dialog).accept();
        });
        QVERIFY(chosen.has_value());
        QCOMPARE(QByteArray::fromStdString(*chosen), QByteArray("/"));
    }
};

QTEST_MAIN(FolderPickerTest)
#include "folder_picker_test.moc"
