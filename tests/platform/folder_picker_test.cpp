#include "platform/dialogs.h"
#include "platform/folder_picker.h"
#include "platform/toolkit_language.h"
#include "tests/support/temp_dir.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

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
    void initTestCase()
    {
        // As the program does at its start.
        QVERIFY(platform::installToolkitJapanese(*QCoreApplication::instance()));
    }

    void opensAtTheRootWithItsTitleForFoldersOnly()
    {
        const std::optional<std::string> chosen = browse([](QFileDialog& dialog, QLineEdit& pathLine) {
            QCOMPARE(dialog.windowTitle(), kTitle);
            QVERIFY(dialog.isModal());
            QCOMPARE(dialog.directory().absolutePath(), QStringLiteral("/"));
            QCOMPARE(dialog.fileMode(), QFileDialog::Directory);
            QVERIFY(dialog.testOption(QFileDialog::ShowDirsOnly));
            QVERIFY(!dialog.testOption(QFileDialog::ReadOnly));
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

    // What the browser writes of its own, read from the open browser: every text is the toolkit's
    // Japanese one, and a folder's kind is "フォルダ".
    void speaksJapanese_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("expected");
        QTest::newRow("new-folder button") << "newFolderButton" << QStringLiteral("新しいフォルダの作成");
        QTest::newRow("up button") << "toParentButton" << QStringLiteral("親ディレクトリ");
        QTest::newRow("details button") << "detailModeButton" << QStringLiteral("詳細表示");
        QTest::newRow("caption of the folder chooser") << "lookInLabel" << QStringLiteral("アドレス:");
        QTest::newRow("caption of the name line") << "fileNameLabel" << QStringLiteral("ディレクトリ:");
        QTest::newRow("confirming button") << "Open" << QStringLiteral("選択(&C)");
        QTest::newRow("cancelling button") << "Cancel" << QStringLiteral("キャンセル");
        QTest::newRow("heading of the name column") << "heading 0" << QStringLiteral("名前");
        QTest::newRow("heading of the kind column") << "heading 2" << QStringLiteral("タイプ");
        QTest::newRow("kind of a folder") << "kind" << QStringLiteral("フォルダ");
    }

    void speaksJapanese()
    {
        QFETCH(QString, what);
        QFETCH(QString, expected);
        testing::TempDir root;
        std::filesystem::create_directories(root.path() / "写真");
        QString shown;
        browse([&](QFileDialog& dialog, QLineEdit&) {
            dialog.setDirectory(decoded(root.path()));
            auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
            QVERIFY(details != nullptr);
            auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
            QVERIFY(buttons != nullptr);
            if (what == QLatin1String("kind")) {
                QModelIndex folder;
                QTRY_VERIFY((folder = itemNamed(*details, QStringLiteral("写真"))).isValid());
                QTRY_VERIFY(!folder.siblingAtColumn(2).data().toString().isEmpty());
                shown = folder.siblingAtColumn(2).data().toString();
            } else if (what.startsWith(QLatin1String("heading "))) {
                shown = details->model()->headerData(what.mid(8).toInt(), Qt::Horizontal).toString();
            } else if (what == QLatin1String("Open")) {
                shown = buttons->button(QDialogButtonBox::Open)->text();
            } else if (what == QLatin1String("Cancel")) {
                shown = buttons->button(QDialogButtonBox::Cancel)->text();
            } else if (auto* label = dialog.findChild<QLabel*>(what)) {
                shown = label->text();
            } else if (auto* button = dialog.findChild<QAbstractButton*>(what)) {
                shown = button->toolTip();
            }
            dialog.reject();
        });
        QCOMPARE(shown, expected);
    }

    // The new-folder button makes a folder in the folder shown and opens its name for typing; the
    // folder made is the one chosen, under the name the user gave it or, untouched, the toolkit's.
    void theNewFolderButtonMakesTheFolderThatIsChosen_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("made");
        QTest::newRow("named by the user") << QStringLiteral("アルバム 2024") << QStringLiteral("アルバム 2024");
        QTest::newRow("name left as offered") << QString() << QStringLiteral("新しいフォルダ");
    }

    void theNewFolderButtonMakesTheFolderThatIsChosen()
    {
        QFETCH(QString, typed);
        QFETCH(QString, made);
        testing::TempDir root;
        std::filesystem::create_directories(root.path() / "写真");
        const std::filesystem::path album = root.path() / QFile::encodeName(made).toStdString();
        const std::optional<std::string> chosen = browse([&](QFileDialog& dialog, QLineEdit& pathLine) {
            dialog.setDirectory(decoded(root.path()));
            QTRY_COMPARE(pathLine.text(), decoded(root.path()));
            auto* makeFolder = dialog.findChild<QAbstractButton*>(QStringLiteral("newFolderButton"));
            QVERIFY(makeFolder != nullptr);
            QTRY_VERIFY(makeFolder->isEnabled());
            QVERIFY(makeFolder->isVisible());
            QTest::mouseClick(makeFolder, Qt::LeftButton);
            QVERIFY(std::filesystem::is_directory(root.path() / "新しいフォルダ"));
            // The name is open for typing at once.
            QAbstractItemView* list = shownList(dialog);
            QVERIFY(list != nullptr);
            auto* name = list->viewport()->findChild<QLineEdit*>();
            QVERIFY(name != nullptr);
            QCOMPARE(name->text(), QStringLiteral("新しいフォルダ"));
            if (!typed.isEmpty()) {
                // As typed (key clicks carry no Japanese).
                name->selectAll();
                name->insert(typed);
            }
            QTest::keyClick(name, Qt::Key_Return);
            // Once named, the path line says so: it does not wait for the list to drop the folder's
            // old name (on a desktop's display the list keeps the folder chosen).
            QTRY_VERIFY(std::filesystem::is_directory(album));
            QVERIFY(dialog.isVisible());
            QCOMPARE(pathLine.text(), decoded(album));
            static_cast<QDialog&>(dialog).accept();
        });
        QVERIFY(chosen.has_value());
        QCOMPARE(QByteArray::fromStdString(*chosen), QByteArray::fromStdString(album.native()));
    }

    // The toolkit's delete takes a folder with everything in it: here the Delete key does nothing,
    // even for a user who would confirm every question.
    void noFolderIsEverDeleted()
    {
        testing::TempDir root;
        const std::filesystem::path photos = root.path() / "写真";
        std::filesystem::create_directories(photos);
        QFile photo(decoded(photos / "IMG_0001.JPG"));
        QVERIFY(photo.open(QIODevice::WriteOnly));
        photo.close();
        QStringList asked;
        QStringList offered;
        browse([&](QFileDialog& dialog, QLineEdit& pathLine) {
            dialog.setDirectory(decoded(root.path()));
            QAbstractItemView* list = shownList(dialog);
            QVERIFY(list != nullptr);
            QModelIndex item;
            QTRY_VERIFY((item = itemNamed(*list, QStringLiteral("写真"))).isValid());
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(item).center());
            QTRY_COMPARE(pathLine.text(), decoded(photos));
            QTimer confirm;
            QObject::connect(&confirm, &QTimer::timeout, [&] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                    asked << box->text();
                    box->button(QMessageBox::Yes)->click();
                }
            });
            confirm.start(10);
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Delete);
            QTest::qWait(100);
            // Nor does the list's menu offer it.
            QTimer::singleShot(50, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (const QAction* action : menu->actions()) {
                        if (action->isVisible() && !action->isSeparator()) {
                            offered << action->text();
                        }
                    }
                    menu->close();
                }
            });
            emit list->customContextMenuRequested(list->visualRect(item).center());
            dialog.reject();
        });
        QVERIFY(std::filesystem::exists(photos / "IMG_0001.JPG"));
        QVERIFY2(asked.isEmpty(), qPrintable(asked.join(QLatin1Char('\n'))));
        QVERIFY2(offered.contains(QStringLiteral("名前の変更(&R)")), qPrintable(offered.join(QLatin1Char(' '))));
        QVERIFY2(!offered.contains(QStringLiteral("削除(&D)")), qPrintable(offered.join(QLatin1Char(' '))));
    }
};

QTEST_MAIN(FolderPickerTest)
#include "folder_picker_test.moc"
