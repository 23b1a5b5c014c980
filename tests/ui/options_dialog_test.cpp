#include "core/filter_list.h"
#include "core/settings.h"
#include "tests/support/file_tree.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/settings_files.h"
#include "tests/support/window_controls.h"
#include "ui/Option.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/filter_combo_box.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cerrno>
#include <functional>
#include <unistd.h>

using namespace tallyfox;
using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;
using tallyfox::testing::ctl;
using testing::readBytes;
using testing::writeBytes;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

const testing::FileTree kFiles{{"a.jpg", "A"}, {"bjpeg", "B"}, {"c.htm", "C"}, {"d.txt", "D"}, {"e.raw", "E"}};

QStringList utf8(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* text : texts) {
        list << QString::fromUtf8(text);
    }
    return list;
}

QStringList qNames(const NameList& names)
{
    QStringList list;
    for (const std::string_view name : names) {
        list << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    return list;
}

// A file holding two user filters, slot 1 and slot 2, the second entry after them selected.
const char* const kTwoFilters = "[Name]\nFilter1=|ユーザー設定 (*.raw)|*.raw\nFString1=raw\n"
                                "Filter2=|ユーザー設定 (*.txt)|*.txt\nFString2=txt\n"
                                "[Setting]\nFilter=9\n[Dialog]\nShow=1\n";

} // namespace

// The options dialog: opened from the main window, loaded from the settings file, and what its OK,
// Cancel and hint do.
class OptionsDialogTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<testing::MainWindowFixture> m_fixture;
    std::unique_ptr<testing::TempDir> m_root;
    std::unique_ptr<ui::HandlerBoundary> m_boundary;

    ui::TMain& w() const
    {
        return *m_fixture->window;
    }
    fs::path ini() const
    {
        return m_fixture->settings.path();
    }
    fs::path files() const
    {
        return fs::canonical(m_root->path()) / "files";
    }
    std::string stored(std::string_view section, std::string_view key) const
    {
        return readSettingsValue(readBytes(ini()), section, key);
    }
    const std::vector<platform::Message>& messages() const
    {
        return m_fixture->dialogs.messages;
    }
    // A dialog made as sbDialog makes it, for the tests that need not show it modally.
    std::unique_ptr<ui::TOptionForm> makeDialog()
    {
        auto dialog = std::make_unique<ui::TOptionForm>(m_fixture->settings, *m_boundary, &w());
        // What the window does once its dialog was accepted.
        QObject::connect(dialog.get(), &QDialog::accepted, &w(), [this, form = dialog.get()] {
            w().applyOptions(form->values());
        });
        return dialog;
    }
    static std::vector<ui::TextField*> fields(const ui::TOptionForm& dialog)
    {
        return {ctl(dialog).editFilter1, ctl(dialog).editFilter2, ctl(dialog).editFilter3, ctl(dialog).editFilter4};
    }
    static QStringList texts(const ui::TOptionForm& dialog)
    {
        QStringList list;
        for (ui::TextField* field : fields(dialog)) {
            list << field->text();
        }
        return list;
    }
    QStringList userEntries() const
    {
        QStringList list;
        for (int i = 8; i < ctl(w()).FilterComboBox1->count(); ++i) {
            list << ctl(w()).FilterComboBox1->itemText(i);
        }
        return list;
    }

    // Presses sbDialog and runs `act` while the modal dialog is open. Whatever `act` leaves open is
    // cancelled, so a failed check never leaves the test waiting on the dialog.
    void withDialog(const std::function<void(ui::TOptionForm&)>& act)
    {
        bool ran = false;
        // Timers still waiting when this returns (the dialog never opened) go with it.
        QObject lifetime;
        std::function<void()> poll = [&] {
            auto* dialog = qobject_cast<ui::TOptionForm*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                QTimer::singleShot(10, &lifetime, poll);
                return;
            }
            ran = true;
            act(*dialog);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        };
        QTimer::singleShot(0, &lifetime, poll);
        QTest::mouseClick(ctl(w()).sbDialog, Qt::LeftButton);
        QVERIFY(ran);
        // Destroyed when it closed.
        QVERIFY(w().findChildren<ui::TOptionForm*>().isEmpty());
    }

    void compareErrorBox(const platform::Message& box)
    {
        QCOMPARE(box.text, QString::fromStdString(ini().string()) + QStringLiteral(" に書き込めません."));
        QCOMPARE(box.caption, QStringLiteral("Tallyfox"));
        QCOMPARE(box.icon, MessageIcon::Error);
        QCOMPARE(box.buttons, MessageButtons::Ok);
    }

private slots:
    void init()
    {
        m_fixture = std::make_unique<testing::MainWindowFixture>();
        m_boundary = std::make_unique<ui::HandlerBoundary>(m_fixture->dialogs);
        m_root = std::make_unique<testing::TempDir>();
        testing::createFiles(m_root->path() / "files", kFiles);
    }

    void cleanup()
    {
        m_fixture->window.reset();
        QVERIFY(::chdir("/") == 0);
        m_boundary.reset();
        m_fixture.reset();
        m_root.reset();
    }

    void frame()
    {
        m_fixture->open();
        const auto dialog = makeDialog();
        QCOMPARE(dialog->objectName(), QStringLiteral("OptionForm"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("オプション"));
        QCOMPARE(dialog->size(), QSize(378, 145));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(dialog->isModal());
        const Qt::WindowFlags flags = dialog->windowFlags();
        QVERIFY(flags & Qt::WindowStaysOnTopHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QCOMPARE(dialog->font().pixelSize(), 12);
        // Centred on the screen.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        QVERIFY(qAbs(dialog->frameGeometry().center().x() - screen.center().x()) <= 4);
        QVERIFY(qAbs(dialog->frameGeometry().center().y() - screen.center().y()) <= 4);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("rect");
        const auto row = [](const char* name, const char* parent, int x, int y, int width, int height) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent)
                                << QRect(x, y, width, height);
        };
        row("btnOK", "OptionForm", 95, 112, 84, 23);
        row("btnCancel", "OptionForm", 199, 112, 84, 23);
        row("gbFilter", "OptionForm", 22, 12, 333, 51);
        row("editFilter1", "gbFilter", 10, 21, 65, 20);
        row("editFilter2", "gbFilter", 80, 21, 65, 20);
        row("editFilter3", "gbFilter", 150, 21, 65, 20);
        row("editFilter4", "gbFilter", 220, 21, 65, 20);
        row("sbHint", "gbFilter", 299, 20, 23, 22);
        row("cbShowDialog", "OptionForm", 22, 79, 258, 17);
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, rect);
        m_fixture->open();
        const auto dialog = makeDialog();
        auto* control = dialog->findChild<QWidget*>(name);
        QVERIFY(control != nullptr);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->geometry(), rect);
    }

    void captions()
    {
        m_fixture->open();
        const auto dialog = makeDialog();
        QCOMPARE(ctl(dialog).btnOK->text(), QStringLiteral("OK"));
        QVERIFY(ctl(dialog).btnOK->isDefault());
        QCOMPARE(ctl(dialog).btnCancel->text(), QStringLiteral("キャンセル"));
        QVERIFY(!ctl(dialog).btnCancel->isDefault());
        QCOMPARE(ctl(dialog).gbFilter->title(), QStringLiteral("追加フィルタ"));
        QCOMPARE(ctl(dialog).cbShowDialog->text(), QStringLiteral("リネーム実行時，確認のダイアログを表示する"));
        QCOMPARE(ctl(dialog).sbHint->toolTip(), QStringLiteral("ヒント"));
        QCOMPARE(ctl(dialog).sbHint->focusPolicy(), Qt::TabFocus);
        QVERIFY(!ctl(dialog).sbHint->autoRaise());
        QVERIFY(!ctl(dialog).sbHint->icon().isNull());
        for (ui::TextField* field : fields(*dialog)) {
            QVERIFY(field->validator() == nullptr);
        }
    }

    void tabOrder()
    {
        m_fixture->open();
        const auto dialog = makeDialog();
        QStringList order;
        QWidget* widget = ctl(dialog).btnOK;
        do {
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isEnabled()) {
                order << widget->objectName();
            }
            widget = widget->nextInFocusChain();
        } while (widget != ctl(dialog).btnOK && order.size() < 20);
        QCOMPARE(order,
                 utf8({"btnOK",
                       "btnCancel",
                       "editFilter1",
                       "editFilter2",
                       "editFilter3",
                       "editFilter4",
                       "sbHint",
                       "cbShowDialog"}));
    }

    void opensWithTheFocusOnOk()
    {
        m_fixture->open();
        withDialog([](ui::TOptionForm& dialog) {
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ctl(dialog).btnOK));
        });
    }

    void loadsTheFileOnEveryOpening()
    {
        writeBytes(ini(), "[Name]\nFilter1=|Z|*.z\nFString1=jpe\nFString3=raw\nFString4=\" x\"\n[Dialog]\nShow=0\n");
        m_fixture->open();
        withDialog([&](ui::TOptionForm& dialog) {
            // The fields show the typed extensions, not the fragments the filter list was built from.
            QCOMPARE(texts(dialog), utf8({"jpe", "", "raw", " x"}));
            QVERIFY(!ctl(dialog).cbShowDialog->isChecked());
            ctl(dialog).editFilter2->setText(QStringLiteral("typed, then cancelled"));
        });
        // Changed behind the program's back: the next opening reads the file again.
        writeBytes(ini(), "[Name]\nFString2=tif\n");
        withDialog([&](ui::TOptionForm& dialog) {
            QCOMPARE(texts(dialog), utf8({"", "tif", "", ""}));
            QVERIFY(ctl(dialog).cbShowDialog->isChecked());
        });
        QVERIFY(messages().empty());
    }

    void okWritesTheKeysInOrder()
    {
        m_fixture->open();
        const testing::WrittenKeys written(m_fixture->settingsCalls, ini());
        withDialog([](ui::TOptionForm& dialog) {
            ctl(dialog).editFilter1->setText(QStringLiteral("jpe"));
            ctl(dialog).editFilter3->setText(QStringLiteral("raw"));
            ctl(dialog).cbShowDialog->setChecked(false);
            QTest::mouseClick(ctl(dialog).btnOK, Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
        });
        QCOMPARE(written.keys(),
                 (Names{"Name/Filter1",
                        "Name/FString1",
                        "Name/Filter2",
                        "Name/FString2",
                        "Name/Filter3",
                        "Name/FString3",
                        "Name/Filter4",
                        "Name/FString4",
                        "Dialog/Show"}));
        QCOMPARE(stored("Name", "Filter1"), std::string("|ユーザー設定 (*.jpe)|*.jpe"));
        QCOMPARE(stored("Name", "FString1"), std::string("jpe"));
        QCOMPARE(stored("Name", "Filter3"), std::string("|ユーザー設定 (*.raw)|*.raw"));
        QCOMPARE(stored("Dialog", "Show"), std::string("0"));
        QCOMPARE(w().ConfirmBeforeRun, 0);
        QCOMPARE(userEntries(), utf8({"ユーザー設定 (*.jpe)", "ユーザー設定 (*.raw)"}));
        QVERIFY(messages().empty());
    }

    void okRebuildsTheFilterList_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("selectedBefore");
        QTest::addColumn<QStringList>("entriesAfter");
        QTest::addColumn<int>("selectedAfter");
        QTest::addColumn<QStringList>("listedAfter");
        const QStringList all = utf8({"a.jpg", "bjpeg", "c.htm", "d.txt", "e.raw"});
        QTest::newRow("only the third field filled")
            << QByteArray() << utf8({"", "", "raw", ""}) << 0 << utf8({"ユーザー設定 (*.raw)"}) << 0 << all;
        QTest::newRow("all four cleared")
            << QByteArray(kTwoFilters) << utf8({"", "", "", ""}) << 9 << QStringList() << 0 << all;
        QTest::newRow("an extension changed only in letter case")
            << QByteArray(kTwoFilters) << utf8({"RAW", "txt", "", ""}) << 9
            << utf8({"ユーザー設定 (*.raw)", "ユーザー設定 (*.txt)"}) << 9 << utf8({"d.txt"});
        QTest::newRow("an extension added while JPEG is selected")
            << QByteArray("[Setting]\nFilter=1\n") << utf8({"", "raw", "", ""}) << 1 << utf8({"ユーザー設定 (*.raw)"})
            << 0 << all;
        QTest::newRow("nothing changed keeps the selection")
            << QByteArray(kTwoFilters) << utf8({"raw", "txt", "", ""}) << 9
            << utf8({"ユーザー設定 (*.raw)", "ユーザー設定 (*.txt)"}) << 9 << utf8({"d.txt"});
        QTest::newRow("a leading dot and a blank are kept as typed")
            << QByteArray() << utf8({".raw", " ", "", ""}) << 0 << utf8({"ユーザー設定 (*..raw)", "ユーザー設定 (*. )"})
            << 0 << all;
    }

    void okRebuildsTheFilterList()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, typed);
        QFETCH(int, selectedBefore);
        QFETCH(QStringList, entriesAfter);
        QFETCH(int, selectedAfter);
        QFETCH(QStringList, listedAfter);
        writeBytes(this->ini(), ini.toStdString());
        m_fixture->open(files());
        QCOMPARE(w().fileSelection().filterIndex(), selectedBefore);

        auto dialog = makeDialog();
        for (int slot = 0; slot < 4; ++slot) {
            fields(*dialog)[static_cast<std::size_t>(slot)]->setText(typed[slot]);
        }
        QTest::mouseClick(ctl(dialog).btnOK, Qt::LeftButton);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));

        QCOMPARE(userEntries(), entriesAfter);
        QCOMPARE(w().fileSelection().filterIndex(), selectedAfter);
        QCOMPARE(ctl(w()).FilterComboBox1->currentIndex(), selectedAfter);
        QCOMPARE(qNames(ctl(w()).FileListBox1->entries()), listedAfter);
        QCOMPARE(qNames(ctl(w()).FileListBox2->entries), listedAfter);
        QCOMPARE(ctl(w()).lblCount->text(),
                 QStringLiteral("ファイル： ") + QString::number(listedAfter.size()) + QStringLiteral("枚"));
        // The file holds each slot's fragment and extension as typed, the empty ones empty.
        for (int slot = 0; slot < 4; ++slot) {
            const std::string extension = typed[slot].toStdString();
            const std::string n = std::to_string(slot + 1);
            QCOMPARE(stored("Name", "Filter" + n), extension.empty() ? std::string() : UserFilterEntry(extension));
            QCOMPARE(stored("Name", "FString" + n), extension);
            QVERIFY(readBytes(this->ini()).find("FString" + n + "=") != std::string::npos);
        }
        QVERIFY(messages().empty());

        // The next start builds the list from the stored fragments.
        dialog.reset();
        w().close();
        m_fixture->open(files());
        QCOMPARE(userEntries().size(), entriesAfter.size());
        for (int slot = 0, entry = 0; slot < 4; ++slot) {
            if (!typed[slot].isEmpty()) {
                QCOMPARE(userEntries()[entry++],
                         QStringLiteral("ユーザー設定 (*.") + typed[slot] + QStringLiteral(")"));
            }
        }
    }

    void closingWithoutOkChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << QStringLiteral("cancel");
        QTest::newRow("Esc in an extension field") << QStringLiteral("escape");
        QTest::newRow("the close box") << QStringLiteral("close");
    }

    void closingWithoutOkChangesNothing()
    {
        QFETCH(QString, how);
        writeBytes(ini(), kTwoFilters);
        m_fixture->open(files());
        const QStringList before = testing::windowSettings(w());
        const int renames = m_fixture->settingsCalls.calls("renameat2");
        withDialog([&](ui::TOptionForm& dialog) {
            ctl(dialog).editFilter1->setText(QStringLiteral("zzz"));
            ctl(dialog).editFilter3->setText(QStringLiteral("tif"));
            ctl(dialog).cbShowDialog->setChecked(false);
            if (how == QLatin1String("cancel")) {
                QTest::mouseClick(ctl(dialog).btnCancel, Qt::LeftButton);
            } else if (how == QLatin1String("escape")) {
                QTest::keyClick(ctl(dialog).editFilter3, Qt::Key_Escape);
            } else {
                dialog.close();
            }
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        });
        QCOMPARE(testing::windowSettings(w()), before);
        QCOMPARE(readBytes(ini()), std::string(kTwoFilters));
        QCOMPARE(m_fixture->settingsCalls.calls("renameat2"), renames);
        QVERIFY(messages().empty());
    }

    void enterInAnExtensionFieldConfirms_data()
    {
        QTest::addColumn<int>("slot");
        QTest::newRow("first field") << 1;
        QTest::newRow("fourth field") << 4;
    }

    void enterInAnExtensionFieldConfirms()
    {
        QFETCH(int, slot);
        m_fixture->open(files());
        withDialog([&](ui::TOptionForm& dialog) {
            ui::TextField* field = fields(dialog)[static_cast<std::size_t>(slot - 1)];
            QTest::keyClicks(field, QStringLiteral("raw"));
            QTest::keyClick(field, Qt::Key_Return);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        });
        QCOMPARE(stored("Name", "FString" + std::to_string(slot)), std::string("raw"));
        QCOMPARE(userEntries(), utf8({"ユーザー設定 (*.raw)"}));
    }

    void theHintIsShownAndTheDialogStaysOpen()
    {
        m_fixture->open();
        withDialog([&](ui::TOptionForm& dialog) {
            QTest::mouseClick(ctl(dialog).sbHint, Qt::LeftButton);
            QCOMPARE(messages().size(), std::size_t{1});
            const platform::Message& box = messages().front();
            QCOMPARE(box.caption, QStringLiteral("ヒント"));
            QCOMPARE(box.text,
                     QStringLiteral("- フィルタの追加方法 -\r\n\r\n 1. ファイルの拡張子を半角小文字で入力\r\n 2. "
                                    "拡張子の前にピリオドは付けない\r\n ex) MP3 → mp3 / メタファイル → wmf\r\n\r\n* "
                                    "拡張子はフィルタボックスの最後に[ユーザー設定]として追加されます。  "));
            QCOMPARE(box.buttons, MessageButtons::Ok);
            QCOMPARE(box.icon, MessageIcon::Information);
            QVERIFY(dialog.isVisible());
        });
        QVERIFY(!fs::exists(ini()));
    }

    void theCheckBoxShowsTheStoredSwitchAndOkStoresOneOrZero_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("checked");
        QTest::newRow("absent") << QByteArray() << true;
        QTest::newRow("0") << QByteArray("[Dialog]\nShow=0\n") << false;
        QTest::newRow("1") << QByteArray("[Dialog]\nShow=1\n") << true;
        QTest::newRow("2") << QByteArray("[Dialog]\nShow=2\n") << true;
        QTest::newRow("5") << QByteArray("[Dialog]\nShow=5\n") << true;
        QTest::newRow("-1") << QByteArray("[Dialog]\nShow=-1\n") << true;
        QTest::newRow("no number") << QByteArray("[Dialog]\nShow=no\n") << true;
    }

    void theCheckBoxShowsTheStoredSwitchAndOkStoresOneOrZero()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, checked);
        writeBytes(this->ini(), ini.toStdString());
        m_fixture->open();
        const auto dialog = makeDialog();
        QCOMPARE(ctl(dialog).cbShowDialog->isChecked(), checked);
        QTest::mouseClick(ctl(dialog).btnOK, Qt::LeftButton);
        QCOMPARE(stored("Dialog", "Show"), std::string(checked ? "1" : "0"));
        QCOMPARE(w().ConfirmBeforeRun, checked ? 1 : 0);
    }

    void theSwitchDecidesWhetherTheNextRunAsks()
    {
        // Stored as 2, the run does not ask although the dialog shows the box checked.
        writeBytes(ini(), "[Dialog]\nShow=2\n");
        testing::createFiles(m_root->path() / "run", {{"a.jpg", "A"}});
        m_fixture->open(m_root->path() / "run");
        QCOMPARE(w().ConfirmBeforeRun, 2);
        QTest::mouseClick(ctl(w()).sbRename, Qt::LeftButton);
        QCOMPARE(messages().size(), std::size_t{1});
        QCOMPARE(messages().back().buttons, MessageButtons::Ok);

        withDialog([](ui::TOptionForm& dialog) {
            QVERIFY(ctl(dialog).cbShowDialog->isChecked());
            QTest::mouseClick(ctl(dialog).btnOK, Qt::LeftButton);
        });
        QCOMPARE(stored("Dialog", "Show"), std::string("1"));
        m_fixture->dialogs.answer(MessageAnswer::Cancel);
        QTest::mouseClick(ctl(w()).sbRename, Qt::LeftButton);
        QCOMPARE(messages().size(), std::size_t{2});
        QCOMPARE(messages().back().buttons, MessageButtons::OkCancel);

        // Cleared: the next run does not ask, and after a restart the box opens cleared.
        withDialog([](ui::TOptionForm& dialog) {
            ctl(dialog).cbShowDialog->setChecked(false);
            QTest::mouseClick(ctl(dialog).btnOK, Qt::LeftButton);
        });
        QTest::mouseClick(ctl(w()).sbRename, Qt::LeftButton);
        QCOMPARE(messages().size(), std::size_t{3});
        QCOMPARE(messages().back().buttons, MessageButtons::Ok);
        w().close();
        m_fixture->open(m_root->path() / "run");
        QCOMPARE(w().ConfirmBeforeRun, 0);
        withDialog([](ui::TOptionForm& dialog) {
            QVERIFY(!ctl(dialog).cbShowDialog->isChecked());
        });
    }

    void aFailedWriteKeepsTheDialogOpenAndTheWindowAsItWas_data()
    {
        QTest::addColumn<int>("failingWrite");
        QTest::addColumn<QStringList>("writtenBefore");
        QTest::newRow("Filter1") << 1 << QStringList();
        QTest::newRow("FString2") << 4 << utf8({"Filter1", "FString1", "Filter2"});
        QTest::newRow("FString4")
            << 8 << utf8({"Filter1", "FString1", "Filter2", "FString2", "Filter3", "FString3", "Filter4"});
        QTest::newRow("Show")
            << 9 << utf8({"Filter1", "FString1", "Filter2", "FString2", "Filter3", "FString3", "Filter4", "FString4"});
    }

    void aFailedWriteKeepsTheDialogOpenAndTheWindowAsItWas()
    {
        QFETCH(int, failingWrite);
        QFETCH(QStringList, writtenBefore);
        writeBytes(ini(), "[Setting]\nFilter=1\n[Dialog]\nShow=0\n");
        m_fixture->open(files());
        const QStringList before = testing::windowSettings(w());
        platform::FaultySyscalls& calls = m_fixture->settingsCalls;
        withDialog([&](ui::TOptionForm& dialog) {
            ctl(dialog).editFilter1->setText(QStringLiteral("jpe"));
            ctl(dialog).editFilter2->setText(QStringLiteral("tif"));
            ctl(dialog).editFilter4->setText(QStringLiteral("raw"));
            ctl(dialog).cbShowDialog->setChecked(true);
            calls.fail("write", calls.calls("write") + failingWrite, ENOSPC);
            QTest::mouseClick(ctl(dialog).btnOK, Qt::LeftButton);

            QCOMPARE(messages().size(), std::size_t{1});
            compareErrorBox(messages().front());
            QVERIFY(dialog.isVisible());
            QCOMPARE(testing::windowSettings(w()), before);
            const std::string content = readBytes(ini());
            const QStringList keys =
                utf8({"Filter1", "FString1", "Filter2", "FString2", "Filter3", "FString3", "Filter4", "FString4"});
            for (const QString& key : keys) {
                const bool written = content.find("\n" + key.toStdString() + "=") != std::string::npos;
                QVERIFY2(written == writtenBefore.contains(key), qPrintable(key));
            }
            QCOMPARE(stored("Dialog", "Show"), std::string("0"));
            QCOMPARE(testing::namesIn(m_fixture->settingsFolder.path()), Names{"tallyfox.ini"});

            // Cancel still closes it, and changes nothing more.
            QTest::mouseClick(ctl(dialog).btnCancel, Qt::LeftButton);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(readBytes(ini()), content);
        });
        QCOMPARE(testing::windowSettings(w()), before);
        QCOMPARE(w().ConfirmBeforeRun, 0);
    }
};

QTEST_MAIN(OptionsDialogTest)
#include "options_dialog_test.moc"
