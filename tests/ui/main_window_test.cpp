#include "core/control_states.h"
#include "core/errors.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/window_controls.h"
#include "ui/widgets/elided_label.h"
#include "ui/widgets/file_list_box.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/number_field.h"
#include "ui/widgets/radio_group.h"
#include "ui/widgets/text_field.h"
#include "ui/widgets/tool_button.h"

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QRadioButton>
#include <QSet>

using namespace tallyfox;
using tallyfox::testing::ctl;
using tallyfox::ui::NumberField;
using tallyfox::ui::RadioGroup;
using tallyfox::ui::TextField;

namespace {

// How a text field shows: whether it takes typing, and its colour.
struct ShownField
{
    bool enabled;
    QColor colour;
};

// The colour the window paints for a field colour of the state rules.
ShownField shown(tallyfox::FieldState state)
{
    switch (state.colour) {
    case FieldColour::Window:
        return {state.enabled, ui::clWindow()};
    case FieldColour::FixedWhite:
        return {state.enabled, ui::fixedWhite()};
    case FieldColour::ButtonFace:
        break;
    }
    return {state.enabled, ui::clBtnFace()};
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    testing::MainWindowFixture m_fixture;

    RadioGroup* group(const QString& name) const
    {
        return m_fixture.window->findChild<RadioGroup*>(name);
    }
    TextField* field(const char* name) const
    {
        return m_fixture.control<TextField>(name);
    }
    // Clicks an item on its round mark, where a radio item always takes the click.
    static void clickItem(RadioGroup* g, int index)
    {
        QRadioButton* item = g->item(index);
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(7, item->height() / 2));
    }

    QString previewText() const
    {
        return m_fixture.control<QLabel>("lblPreview")->text();
    }
    void setEntries(std::vector<std::string> entries)
    {
        ctl(m_fixture.window).FileListBox1->setEntries(std::move(entries));
    }

    void compareField(const char* name, const ShownField& expected)
    {
        TextField* f = field(name);
        QVERIFY2(f->isEnabled() == expected.enabled, name);
        QVERIFY2(f->background() == expected.colour, name);
    }

    void compareStates(int operation, int pattern, int extension)
    {
        ui::TMain& w = *m_fixture.window;
        QCOMPARE(ctl(w).rgSetting->itemIndex(), operation);
        QCOMPARE(ctl(w).rgForm->itemIndex(), pattern);
        QCOMPARE(ctl(w).rgExt->itemIndex(), extension);
        // The window shows what the state rules say for the choices it holds.
        const ControlStates expected = controlStates(static_cast<FileOperation>(operation),
                                                     static_cast<NamePattern>(pattern),
                                                     static_cast<ExtensionMode>(extension));
        compareField("editSaveFolder", shown(expected.saveFolder));
        QCOMPARE(ctl(w).btnSave->isEnabled(), expected.saveFolderButton);
        QCOMPARE(ctl(w).rgForm->isEnabled(), expected.patternChoice);
        QCOMPARE(ctl(w).seStartNum->isEnabled(), expected.numberFields);
        QCOMPARE(ctl(w).seZeroNum->isEnabled(), expected.numberFields);
        compareField("editPrevName", shown(expected.textBefore));
        compareField("editLastName", shown(expected.textAfter));
        compareField("editExt", shown(expected.givenExtension));
        QVERIFY(ctl(w).rgSetting->isEnabled());
        QVERIFY(ctl(w).rgExt->isEnabled());
    }

private slots:
    void init()
    {
        m_fixture.dialogs = {};
        // Every test starts without settings, whatever an earlier one closed the window with.
        std::filesystem::remove(m_fixture.settingsFolder.path() / "tallyfox.ini");
        m_fixture.open();
    }

    void cleanup()
    {
        m_fixture.window.reset();
    }

    // Tab into a choice lands on its selected item, from either side, whatever item was selected.
    void tabLandsOnTheSelectedItem_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("from");
        QTest::addColumn<bool>("forward");
        QTest::newRow("extension kept, from the name after")
            << QStringLiteral("rgExt") << 0 << QStringLiteral("editLastName") << true;
        QTest::newRow("extension upper-cased, from the name after")
            << QStringLiteral("rgExt") << 1 << QStringLiteral("editLastName") << true;
        QTest::newRow("operation: extension only, from the file list")
            << QStringLiteral("rgSetting") << 3 << QStringLiteral("FileListBox1") << true;
        QTest::newRow("pattern: name and number, back from the name before")
            << QStringLiteral("rgForm") << 1 << QStringLiteral("editPrevName") << false;
    }

    void tabLandsOnTheSelectedItem()
    {
        QFETCH(QString, group);
        QFETCH(int, selected);
        QFETCH(QString, from);
        QFETCH(bool, forward);
        ui::TMain& w = *m_fixture.window;
        // Names before and after the number: both fields take the focus (unless the row's pattern is
        // another).
        ctl(w).rgForm->setItemIndex(3);
        RadioGroup* g = this->group(group);
        g->setItemIndex(selected);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QWidget* start = w.findChild<QWidget*>(from);
        start->setFocus(Qt::OtherFocusReason);
        QCOMPARE(QApplication::focusWidget(), start);
        QTest::keyClick(start, forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(g->item(selected)));
    }

    // The arrows move within a choice and select as they go, the handler running as for a click: up and
    // down through the items in order, left and right to the other column, coming round at the ends.
    void arrowsSelectWithinAChoice_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");
        QTest::newRow("down within a column") << 0 << int(Qt::Key_Down) << 1;
        QTest::newRow("down from a column's foot to the next column") << 1 << int(Qt::Key_Down) << 2;
        QTest::newRow("down from the last item to the first") << 3 << int(Qt::Key_Down) << 0;
        QTest::newRow("up from the first item to the last") << 0 << int(Qt::Key_Up) << 3;
        QTest::newRow("right to the other column") << 0 << int(Qt::Key_Right) << 2;
        QTest::newRow("right from the right column comes round") << 3 << int(Qt::Key_Right) << 1;
        QTest::newRow("left from the left column comes round") << 1 << int(Qt::Key_Left) << 3;
    }

    void arrowsSelectWithinAChoice()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        QFETCH(int, to);
        ui::TMain& w = *m_fixture.window;
        RadioGroup* g = ctl(w).rgExt;
        g->setItemIndex(from);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        g->item(from)->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(g->item(from), Qt::Key(key));
        QCOMPARE(g->itemIndex(), to);
        QVERIFY(g->item(to)->isChecked());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(g->item(to)));
        // The handler ran: the typed extension takes typing only under "指定：".
        compareStates(0, 0, to);
    }

    // The count never runs into the move buttons and is always read in full, up to ten million files;
    // measured in the window's own face.
    void theCountStaysClearOfTheMoveButtons_data()
    {
        QTest::addColumn<qint64>("count");
        QTest::addColumn<bool>("fullCaption");
        QTest::newRow("none") << qint64{0} << true;
        QTest::newRow("a photo folder") << qint64{30} << true;
        QTest::newRow("twenty thousand, which touched the button") << qint64{20000} << true;
        QTest::newRow("a hundred thousand, which ran over it") << qint64{100000} << false;
        QTest::newRow("ten million") << qint64{10000000} << false;
    }

    void theCountStaysClearOfTheMoveButtons()
    {
        QFETCH(qint64, count);
        QFETCH(bool, fullCaption);
        ui::TMain& w = *m_fixture.window;
        QLabel* label = ctl(w).lblCount;
        QCOMPARE(QFontInfo(label->font()).family(), QStringLiteral("IPAPGothic"));
        w.fileSelection().showCount(count);
        const QString caption = QStringLiteral("ファイル： ") + QString::number(count) + QStringLiteral("枚");
        QCOMPARE(label->text() == caption, fullCaption);
        // Whatever form it takes, the number is all there and the full caption is a pointer away.
        QCOMPARE(QString(label->text()).remove(QLatin1Char(',')).remove(QStringLiteral("ファイル： ")),
                 QString::number(count) + QStringLiteral("枚"));
        QCOMPARE(label->toolTip(), fullCaption ? QString() : caption);
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(label->text()));
        QVERIFY(label->x() >= 0);
        QVERIFY2(label->geometry().right() < ctl(w).sbUp->x() - 1,
                 qPrintable(QStringLiteral("the count ends at %1").arg(label->geometry().right())));
        // The buttons stay where they are.
        QCOMPARE(ctl(w).sbUp->geometry(), QRect(107, 397, 21, 20));
        QCOMPARE(ctl(w).sbDown->geometry(), QRect(132, 397, 21, 20));
    }

    // A preview longer than its box is cut with "…" at the box's edge and shows in full on demand.
    void aLongPreviewIsCutAtTheEdgeOfItsBox()
    {
        ui::TMain& w = *m_fixture.window;
        ctl(w).rgForm->setItemIndex(1);
        ctl(w).editPrevName->assignText(QStringLiteral("とても長い名前の写真_2024年夏の旅行_北海道"));
        setEntries({"photo.jpg"});
        w.UpdatePreview();
        auto* label = qobject_cast<ui::ElidedLabel*>(ctl(w).lblPreview);
        QVERIFY(label != nullptr);
        QCOMPARE(label->text(), QStringLiteral("とても長い名前の写真_2024年夏の旅行_北海道001.jpg ～"));
        QVERIFY(label->isElided());
        QVERIFY(ctl(w).gbPreview->contentsRect().contains(label->geometry()));

        setEntries({"a.jpg"});
        ctl(w).editPrevName->assignText(QStringLiteral("旅_"));
        w.UpdatePreview();
        QVERIFY(!label->isElided());
        QCOMPARE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    }

    void windowFrame()
    {
        ui::TMain& w = *m_fixture.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Tallyfox"));
        QCOMPARE(w.size(), QSize(421, 453));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(w.font().pixelSize(), 12);
    }

    void placedCentredWithoutStoredPosition()
    {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        const QSize outer = m_fixture.window->frameGeometry().size();
        QCOMPARE(m_fixture.window->pos(),
                 QPoint((screen.width() - outer.width()) / 2, (screen.height() - outer.height()) / 2));
    }

    void controlGeometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QRect>("rect");
        const auto row = [](const char* name, const char* parent, int x, int y, int w, int h) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << QRect(x, y, w, h);
        };
        row("ToolBar1", "Main", 0, 0, 421, 25);
        row("ToolButton1", "ToolBar1", 0, 2, 2, 20);
        row("sbRename", "ToolBar1", 2, 2, 72, 20);
        row("ToolButton6", "ToolBar1", 74, 2, 8, 20);
        row("sbDialog", "ToolBar1", 82, 2, 80, 20);
        row("ToolButton3", "ToolBar1", 162, 2, 8, 20);
        row("sbReset", "ToolBar1", 170, 2, 72, 20);
        row("ToolButton2", "ToolBar1", 242, 2, 8, 20);
        row("sbHelp", "ToolBar1", 250, 2, 23, 20);
        row("ToolButton4", "ToolBar1", 273, 2, 8, 20);
        row("sbAbout", "ToolBar1", 281, 2, 23, 20);
        row("ToolButton5", "ToolBar1", 304, 2, 8, 20);
        row("sbExit", "ToolBar1", 312, 2, 72, 20);
        row("ToolButton7", "ToolBar1", 384, 2, 8, 20);
        row("Panel1", "Main", 0, 30, 160, 420);
        row("DriveComboBox1", "Panel1", 1, 3, 155, 18);
        row("DirectoryListBox1", "Panel1", 1, 22, 155, 156);
        row("FilterComboBox1", "Panel1", 1, 179, 155, 20);
        row("FileListBox1", "Panel1", 1, 200, 155, 194);
        row("sbUp", "Panel1", 107, 397, 21, 20);
        row("sbDown", "Panel1", 132, 397, 21, 20);
        row("gbSetting", "Main", 159, 24, 261, 427);
        row("gbPreview", "gbSetting", 9, 10, 243, 36);
        row("rgSetting", "gbSetting", 9, 52, 243, 60);
        row("gbSet", "gbSetting", 9, 119, 243, 45);
        row("editSaveFolder", "gbSet", 8, 16, 204, 20);
        row("btnSave", "gbSet", 217, 16, 20, 20);
        row("rgForm", "gbSetting", 9, 171, 243, 60);
        row("gbPattern", "gbSetting", 9, 237, 243, 100);
        row("editPrevName", "gbPattern", 70, 14, 163, 20);
        row("seStartNum", "gbPattern", 65, 41, 52, 21);
        row("seZeroNum", "gbPattern", 181, 41, 52, 21);
        row("editLastName", "gbPattern", 70, 70, 163, 20);
        row("rgExt", "gbSetting", 9, 342, 243, 60);
        row("editExt", "gbSetting", 184, 376, 60, 20);
        row("Gauge1", "gbSetting", 9, 410, 243, 10);
        // Labels are placed by their top-left corner and sized to their captions.
        row("lblCount", "Panel1", 10, 402, -1, -1);
        row("Label2", "gbPreview", 10, 14, -1, -1);
        row("lblPreview", "gbPreview", 76, 14, -1, -1);
        row("Label4", "gbPattern", 10, 18, -1, -1);
        row("Label1", "gbPattern", 10, 46, -1, -1);
        row("Label7", "gbPattern", 126, 46, -1, -1);
        row("Label8", "gbPattern", 10, 75, -1, -1);
    }

    void controlGeometry()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QRect, rect);
        const QWidget* control = m_fixture.window->findChild<QWidget*>(name);
        QVERIFY(control != nullptr);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        if (rect.width() < 0) {
            QCOMPARE(control->pos(), rect.topLeft());
        } else {
            QCOMPARE(control->geometry(), rect);
        }
    }

    void controlsStayInsideTheirParentsAndDoNotOverlap()
    {
        // Overlaps the layout draws on purpose: the extension field lies on the extension choice, the
        // settings area starts one pixel inside the left panel, and the tool bar meets the settings area.
        const QSet<QPair<QString, QString>> intended{{QStringLiteral("editExt"), QStringLiteral("rgExt")},
                                                     {QStringLiteral("Panel1"), QStringLiteral("gbSetting")},
                                                     {QStringLiteral("ToolBar1"), QStringLiteral("gbSetting")}};
        const QList<QWidget*> all = m_fixture.window->findChildren<QWidget*>();
        for (const QWidget* control : all) {
            if (control->objectName().isEmpty() || control->objectName().startsWith(QLatin1String("qt_"))
                || control->isWindow()) {
                continue;
            }
            const QWidget* parent = control->parentWidget();
            QVERIFY2(parent->rect().contains(control->geometry()), qPrintable(control->objectName()));
            for (const QWidget* other : all) {
                if (other == control || other->parentWidget() != parent || other->objectName().isEmpty()
                    || other->objectName().startsWith(QLatin1String("qt_"))
                    || control->objectName() > other->objectName()) {
                    continue;
                }
                const auto pair = qMakePair(control->objectName(), other->objectName());
                const auto reversed = qMakePair(other->objectName(), control->objectName());
                if (intended.contains(pair) || intended.contains(reversed)) {
                    continue;
                }
                QVERIFY2(!control->geometry().intersects(other->geometry()),
                         qPrintable(control->objectName() + QStringLiteral(" overlaps ") + other->objectName()));
            }
        }
    }

    void initialStates()
    {
        ui::TMain& w = *m_fixture.window;
        compareStates(0, 0, 0);
        QCOMPARE(ctl(w).seStartNum->text(), QStringLiteral("1"));
        QCOMPARE(ctl(w).seZeroNum->text(), QStringLiteral("3"));
        QCOMPARE(ctl(w).seStartNum->minimum(), 0);
        QCOMPARE(ctl(w).seStartNum->maximum(), 99999);
        QCOMPARE(ctl(w).seZeroNum->minimum(), 1);
        QCOMPARE(ctl(w).seZeroNum->maximum(), 10);
        QCOMPARE(previewText(), QStringLiteral("-"));
        // Start-up lists the (empty) start folder and writes the count.
        QCOMPARE(ctl(w).lblCount->text(), QStringLiteral("ファイル： 0枚"));
        QCOMPARE(ctl(w).Gauge1->value(), 0);
        QCOMPARE(w.ConfirmBeforeRun, 1);
        for (TextField* f : {ctl(w).editSaveFolder, ctl(w).editPrevName, ctl(w).editLastName, ctl(w).editExt}) {
            QVERIFY(f->text().isEmpty());
        }
        QVERIFY(ctl(w).ListBox1->entries.empty());
        QVERIFY(ctl(w).FileListBox2->entries.empty());
        QVERIFY(ctl(w).sbUp->isEnabled());
        QVERIFY(ctl(w).sbDown->isEnabled());
    }

    void captionsAndItems()
    {
        ui::TMain& w = *m_fixture.window;
        QCOMPARE(ctl(w).sbRename->text(), QStringLiteral("実行"));
        QCOMPARE(ctl(w).sbDialog->text(), QStringLiteral("オプション"));
        QCOMPARE(ctl(w).sbReset->text(), QStringLiteral("リセット"));
        QCOMPARE(ctl(w).sbExit->text(), QStringLiteral("終了"));
        QCOMPARE(ctl(w).btnSave->text(), QStringLiteral("..."));
        QCOMPARE(ctl(w).gbSet->title(), QStringLiteral("保存フォルダ"));
        QCOMPARE(ctl(w).gbPattern->title(), QStringLiteral("パターン設定"));
        QCOMPARE(ctl(w).Label2->text(), QStringLiteral("プレビュー："));
        QCOMPARE(ctl(w).Label4->text(), QStringLiteral("名前(前)："));
        QCOMPARE(ctl(w).Label1->text(), QStringLiteral("開始番号："));
        QCOMPARE(ctl(w).Label7->text(), QStringLiteral("連番桁数："));
        QCOMPARE(ctl(w).Label8->text(), QStringLiteral("名前(後)："));
        const auto items = [](RadioGroup* g) {
            QStringList texts{g->title()};
            for (int i = 0; i < g->count(); ++i) {
                texts << g->item(i)->text();
            }
            return texts.join(QLatin1Char('|'));
        };
        QCOMPARE(items(ctl(w).rgSetting),
                 QStringLiteral("ファイル操作|リネームのみ|リネーム＋コピー|リネーム＋移動|拡張子のみ変更"));
        QCOMPARE(items(ctl(w).rgForm),
                 QStringLiteral("パターン選択|連番のみ付加|名前＋連番|連番＋名前|名前＋連番＋名前"));
        QCOMPARE(items(ctl(w).rgExt), QStringLiteral("拡張子|変更しない|大文字で統一|小文字で統一|指定："));
    }

    void radioItemsFillColumnsOneAfterTheOther()
    {
        RadioGroup* ext = ctl(m_fixture.window).rgExt;
        QCOMPARE(ext->item(0)->x(), ext->item(1)->x());
        QVERIFY(ext->item(0)->y() < ext->item(1)->y());
        QCOMPARE(ext->item(2)->x(), ext->item(3)->x());
        QVERIFY(ext->item(2)->x() > ext->item(0)->x());
        // The extension field stands right of the fourth item, on its line.
        const QRect specified(ext->mapTo(ctl(m_fixture.window).gbSetting, ext->item(3)->pos()), ext->item(3)->size());
        const QRect extField = ctl(m_fixture.window).editExt->geometry();
        QVERIFY(extField.center().y() >= specified.top() && extField.center().y() <= specified.bottom());
    }

    void onlyTheFourButtonsHaveTooltips()
    {
        QMap<QString, QString> tips;
        for (const QWidget* control : m_fixture.window->findChildren<QWidget*>()) {
            if (!control->toolTip().isEmpty()) {
                tips.insert(control->objectName(), control->toolTip());
            }
        }
        const QMap<QString, QString> expected{{QStringLiteral("sbHelp"), QStringLiteral("ヘルプ")},
                                              {QStringLiteral("sbAbout"), QStringLiteral("ヴァージョン情報")},
                                              {QStringLiteral("sbUp"), QStringLiteral("上へ")},
                                              {QStringLiteral("sbDown"), QStringLiteral("下へ")}};
        QCOMPARE(tips, expected);
    }

    // A click on a tool button leaves the focus, and a typed number, in its field; only the save
    // folder's "..." is reached by Tab.
    void toolButtonsNeverTakeTheFocus()
    {
        for (const QToolButton* button : m_fixture.window->findChildren<QToolButton*>()) {
            const Qt::FocusPolicy expected =
                button->objectName() == QLatin1String("btnSave") ? Qt::TabFocus : Qt::NoFocus;
            QVERIFY2(button->focusPolicy() == expected, qPrintable(button->objectName()));
        }
    }

    void tabOrder()
    {
        // Walk the focus chain from the first control; radio items count as their group.
        QStringList seen;
        QWidget* w = m_fixture.control("DriveComboBox1");
        for (int guard = 0; guard < 200 && w != nullptr; ++guard) {
            if (w->focusPolicy() & Qt::TabFocus) {
                QString name = w->objectName();
                if (auto* radio = qobject_cast<QRadioButton*>(w)) {
                    name = radio->parentWidget()->objectName();
                }
                if (!name.isEmpty() && (seen.isEmpty() || seen.last() != name)) {
                    if (!seen.isEmpty() && name == seen.first()) {
                        break;
                    }
                    seen << name;
                }
            }
            w = w->nextInFocusChain();
        }
        const QStringList expected{QStringLiteral("DriveComboBox1"),
                                   QStringLiteral("DirectoryListBox1"),
                                   QStringLiteral("FilterComboBox1"),
                                   QStringLiteral("FileListBox1"),
                                   QStringLiteral("rgSetting"),
                                   QStringLiteral("editSaveFolder"),
                                   QStringLiteral("btnSave"),
                                   QStringLiteral("rgForm"),
                                   QStringLiteral("editPrevName"),
                                   QStringLiteral("seStartNum"),
                                   QStringLiteral("seZeroNum"),
                                   QStringLiteral("editLastName"),
                                   QStringLiteral("rgExt"),
                                   QStringLiteral("editExt")};
        QCOMPARE(seen.mid(0, expected.size()), expected);
    }

    void showingFocusesTheLeftPanel()
    {
        QVERIFY(QTest::qWaitForWindowActive(m_fixture.window.get()));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(ctl(m_fixture.window).Panel1));
    }

    void exitAndCloseBoxCloseTheWindow()
    {
        QTest::mouseClick(ctl(m_fixture.window).sbExit, Qt::LeftButton);
        QTRY_VERIFY(!m_fixture.window->isVisible());
        m_fixture.open();
        m_fixture.window->close();
        QVERIFY(!m_fixture.window->isVisible());
    }

    // Sequences of choices, each step a click ("c") or a selection by the program ("s") of an item of
    // one of the three groups; the dependent controls must end as the table says.
    void stateTable_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("operation");
        QTest::addColumn<int>("pattern");
        QTest::addColumn<int>("extension");
        const auto row = [](const char* name, const char* steps, int op, int pattern, int ext) {
            QTest::newRow(name) << QString::fromLatin1(steps).split(QLatin1Char(' '), Qt::SkipEmptyParts) << op
                                << pattern << ext;
        };
        row("copy enables the save folder", "c:rgSetting:1", 1, 0, 0);
        row("move paints the save folder white", "c:rgSetting:2", 2, 0, 0);
        row("copy then rename only greys it again", "c:rgSetting:1 c:rgSetting:0", 0, 0, 0);
        row("extension only switches to a given extension", "c:rgSetting:3", 3, 0, 3);
        row("renaming after extension only keeps the extension", "c:rgSetting:3 c:rgSetting:1", 1, 0, 0);
        row("upper case under extension only", "c:rgSetting:3 c:rgExt:1", 3, 0, 1);
        row("pattern set by the program under extension only", "s:rgSetting:3 s:rgForm:1", 3, 1, 3);
        row("name fields follow the pattern again", "c:rgForm:3 c:rgSetting:3 c:rgSetting:0", 0, 3, 0);
        row("name number", "c:rgForm:1", 0, 1, 0);
        row("number name", "c:rgForm:2", 0, 2, 0);
        row("name number name", "c:rgForm:3", 0, 3, 0);
        row("loaded copy with a given extension", "s:rgSetting:1 s:rgForm:0 s:rgExt:3", 1, 0, 3);
        row("loaded extension only with name number", "s:rgSetting:3 s:rgForm:1 s:rgExt:3", 3, 1, 3);
        row("a renaming operation resets a given extension", "c:rgExt:3 c:rgSetting:2", 2, 0, 0);
        row("given extension under move", "c:rgSetting:2 c:rgExt:3", 2, 0, 3);
        row("program and clicks mixed", "s:rgForm:2 c:rgSetting:3 s:rgExt:2 c:rgSetting:1 c:rgExt:3", 1, 2, 3);
    }

    void stateTable()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, operation);
        QFETCH(int, pattern);
        QFETCH(int, extension);
        for (const QString& step : steps) {
            const QStringList parts = step.split(QLatin1Char(':'));
            RadioGroup* g = group(parts[1]);
            const int index = parts[2].toInt();
            if (parts[0] == QLatin1String("c")) {
                clickItem(g, index);
            } else {
                g->setItemIndex(index);
            }
            QCOMPARE(g->itemIndex(), index);
        }
        compareStates(operation, pattern, extension);
    }

    void disablingKeepsTheTexts()
    {
        ui::TMain& w = *m_fixture.window;
        ctl(w).rgSetting->setItemIndex(1);
        ctl(w).editSaveFolder->assignText(QStringLiteral("/save/"));
        ctl(w).rgForm->setItemIndex(3);
        ctl(w).editPrevName->assignText(QStringLiteral("a"));
        ctl(w).rgSetting->setItemIndex(0);
        ctl(w).rgForm->setItemIndex(0);
        QCOMPARE(ctl(w).editSaveFolder->text(), QStringLiteral("/save/"));
        QCOMPARE(ctl(w).editPrevName->text(), QStringLiteral("a"));
        QVERIFY(!ctl(w).editSaveFolder->isEnabled());
    }

    void selectingTheSelectedItemRunsNothing()
    {
        ui::TMain& w = *m_fixture.window;
        setEntries({"a.jpg"});
        ctl(w).lblPreview->setText(QStringLiteral("untouched"));
        for (RadioGroup* g : {ctl(w).rgSetting, ctl(w).rgForm, ctl(w).rgExt}) {
            g->setItemIndex(g->itemIndex());
            clickItem(g, g->itemIndex());
        }
        ctl(w).seStartNum->setValue(1);
        ctl(w).editPrevName->assignText(QString());
        QCOMPARE(previewText(), QStringLiteral("untouched"));
        clickItem(ctl(w).rgForm, 1);
        QCOMPARE(previewText(), QStringLiteral("001.jpg ～"));
    }

    void nestedHandlerRunsBeforeTheOuterGoesOn()
    {
        // Entering extension only selects the given extension from inside the operation handler; the
        // extension handler then enables its field, and the operation handler's own last word on that
        // field (enabled) and the preview come after it.
        ui::TMain& w = *m_fixture.window;
        setEntries({"photo.jpeg"});
        ctl(w).editExt->assignText(QStringLiteral("txt"));
        ctl(w).rgSetting->setItemIndex(3);
        QCOMPARE(ctl(w).rgExt->itemIndex(), 3);
        QCOMPARE(previewText(), QStringLiteral("photo.txt ～"));
        ctl(w).rgSetting->setItemIndex(0);
        QCOMPARE(ctl(w).rgExt->itemIndex(), 0);
        QCOMPARE(previewText(), QStringLiteral("001.jpeg ～"));
    }

    void previewLine_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* first, const char* settings, const QString& expected) {
            QTest::newRow(name) << QString::fromUtf8(first)
                                << QString::fromUtf8(settings).split(QLatin1Char(' '), Qt::SkipEmptyParts) << expected;
        };
        row("empty list", "", "rgForm=1 editPrevName=x", QStringLiteral("-"));
        row("name number", "IMG_0001.JPG", "rgForm=1 editPrevName=trip_", QStringLiteral("trip_001.JPG ～"));
        row("name number lower",
            "IMG_0001.JPG",
            "rgForm=1 editPrevName=trip_ rgExt=2",
            QStringLiteral("trip_001.jpg ～"));
        row("name number upper",
            "IMG_0001.JPG",
            "rgForm=1 editPrevName=trip_ rgExt=1",
            QStringLiteral("trip_001.JPG ～"));
        row("number name png", "a.jpg", "rgForm=2 editLastName=-a rgExt=3 editExt=png", QStringLiteral("001-a.png ～"));
        row("number name dot png",
            "a.jpg",
            "rgForm=2 editLastName=-a rgExt=3 editExt=.png",
            QStringLiteral("001-a.png ～"));
        row("empty given extension ends in a dot", "a.jpg", "rgExt=3", QStringLiteral("001. ～"));
        row("extension only upper", "Photo.jpeg", "rgSetting=3 rgExt=1", QStringLiteral("Photo.JPEG ～"));
        row("extension only keep shows the old name",
            "Photo.jpeg",
            "rgSetting=3 rgExt=0",
            QStringLiteral("Photo.jpeg ～"));
        row("extension only readme", "README", "rgSetting=3 editExt=txt", QStringLiteral("README.txt ～"));
        row("number only ignores texts", "a.jpg", "editPrevName=p editLastName=q", QStringLiteral("001.jpg ～"));
        row("start zero one digit", "a.jpg", "seStartNum=0 seZeroNum=1", QStringLiteral("0.jpg ～"));
        row("start 123 one digit", "a.jpg", "seStartNum=123 seZeroNum=1", QStringLiteral("123.jpg ～"));
        row("ten digits", "a.jpg", "seStartNum=5 seZeroNum=10", QStringLiteral("0000000005.jpg ～"));
        row("multibyte name", "写真.JPG", "rgExt=2", QStringLiteral("001.jpg ～"));
        row("katakana extension kept", "a.ソ", "", QStringLiteral("001.ソ ～"));
    }

    void previewLine()
    {
        QFETCH(QString, first);
        QFETCH(QStringList, settings);
        QFETCH(QString, expected);
        ui::TMain& w = *m_fixture.window;
        std::vector<std::string> entries;
        if (!first.isEmpty()) {
            entries = {first.toStdString(), "zzz.bmp"};
        }
        setEntries(entries);
        w.FileListBox1Change();
        for (const QString& setting : settings) {
            const QString name = setting.section(QLatin1Char('='), 0, 0);
            const QString value = setting.section(QLatin1Char('='), 1);
            if (RadioGroup* g = group(name)) {
                g->setItemIndex(value.toInt());
            } else if (auto* number = m_fixture.window->findChild<NumberField*>(name)) {
                number->setValue(value.toInt());
            } else {
                m_fixture.window->findChild<TextField*>(name)->assignText(value);
            }
        }
        QCOMPARE(previewText(), expected);
        QVERIFY(m_fixture.dialogs.messages.empty());
    }

    void typedValuesReachThePreviewUnclamped()
    {
        ui::TMain& w = *m_fixture.window;
        setEntries({"a.jpg"});
        ctl(w).seZeroNum->setFocus();
        ctl(w).seZeroNum->selectAll();
        QTest::keyClicks(ctl(w).seZeroNum, QStringLiteral("20"));
        QCOMPARE(previewText(), QStringLiteral("1.jpg ～"));
        ctl(w).seStartNum->setFocus(Qt::TabFocusReason);
        QCOMPARE(ctl(w).seZeroNum->text(), QStringLiteral("10"));
        QCOMPARE(previewText(), QStringLiteral("0000000001.jpg ～"));
        ctl(w).seStartNum->selectAll();
        QTest::keyClicks(ctl(w).seStartNum, QStringLiteral("-5"));
        ctl(w).seZeroNum->setValue(3);
        QCOMPARE(previewText(), QStringLiteral("-005.jpg ～"));
        ctl(w).seStartNum->selectAll();
        QTest::keyClick(ctl(w).seStartNum, Qt::Key_Backspace);
        QCOMPARE(previewText(), QStringLiteral("000.jpg ～"));
    }

    void negativeDigitCountShowsTheFormatErrorAndKeepsThePreview()
    {
        ui::TMain& w = *m_fixture.window;
        setEntries({"a.jpg"});
        w.FileListBox1Change();
        QCOMPARE(previewText(), QStringLiteral("001.jpg ～"));
        ctl(w).seZeroNum->setFocus();
        ctl(w).seZeroNum->selectAll();
        QTest::keyClicks(ctl(w).seZeroNum, QStringLiteral("-1"));
        // "-" alone reads as a digit count of 1; the "1" after it then fails and leaves that caption.
        QCOMPARE(previewText(), QStringLiteral("1.jpg ～"));
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
        const platform::Message& box = m_fixture.dialogs.messages.front();
        QCOMPARE(box.caption, QStringLiteral("Tallyfox"));
        QCOMPARE(box.text, QStringLiteral("書式文字列 '%.0-' は正しくないか引数の型と一致しません."));
        QCOMPARE(box.icon, platform::MessageIcon::Error);
        QCOMPARE(box.buttons, platform::MessageButtons::Ok);

        // Selected by the program, as from inside another handler, the error goes on to the caller,
        // ending it as well, instead of being shown a second time on the way.
        QVERIFY_THROWS_EXCEPTION(FormatError, ctl(w).rgForm->setItemIndex(1));
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
        QCOMPARE(previewText(), QStringLiteral("1.jpg ～"));

        // Extension only never reads the digit count.
        ctl(w).rgSetting->setItemIndex(3);
        QCOMPARE(previewText(), QStringLiteral("a. ～"));

        // A click on a choice takes the focus, and leaving the field brings the count into range.
        clickItem(ctl(w).rgSetting, 0);
        QCOMPARE(ctl(w).seZeroNum->text(), QStringLiteral("1"));
        QCOMPARE(previewText(), QStringLiteral("1.jpg ～"));
        QCOMPARE(m_fixture.dialogs.messages.size(), std::size_t{1});
    }

    void userSelectionInTheFileListRecomputesThePreview()
    {
        ui::TMain& w = *m_fixture.window;
        setEntries({"a.jpg", "b.png"});
        ctl(w).lblPreview->setText(QStringLiteral("stale"));
        ctl(w).FileListBox1->setItemIndex(1);
        QCOMPARE(previewText(), QStringLiteral("stale"));
        QTest::keyClick(ctl(w).FileListBox1, Qt::Key_Up);
        QCOMPARE(previewText(), QStringLiteral("001.jpg ～"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
