#include "platform/testing/scripted_dialogs.h"
#include "ui/handler_boundary.h"
#include "ui/widgets/number_field.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace tallyfox;
using tallyfox::ui::NumberField;

namespace {

// Types each character as a key press carrying that text, also characters outside Latin-1.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        const int key = c.unicode() < 0x80 ? QKeySequence(QString(c))[0].key() : 0;
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace

class NumberFieldTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<platform::ScriptedDialogs> m_dialogs;
    std::unique_ptr<ui::HandlerBoundary> m_boundary;
    std::unique_ptr<QWidget> m_window;
    NumberField* m_field = nullptr;
    QLineEdit* m_other = nullptr;
    int m_changes = 0;

    // A field of the given bounds in a shown window, focused, with a second field to move the focus to.
    void makeField(std::int32_t minimum, std::int32_t maximum, const QString& text)
    {
        m_window = std::make_unique<QWidget>();
        m_field = new NumberField(minimum, maximum, m_window.get());
        m_field->setGeometry(0, 0, 52, 21);
        m_other = new QLineEdit(m_window.get());
        m_other->setGeometry(0, 30, 52, 21);
        m_field->setText(text);
        m_field->setChangeHandler(
            [this] {
                ++m_changes;
            },
            m_boundary.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        m_field->setFocus();
        QTRY_VERIFY(m_field->hasFocus());
        m_changes = 0;
        m_dialogs->beeps = 0;
    }

    void leaveField()
    {
        m_other->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(!m_field->hasFocus());
    }

private slots:
    void init()
    {
        m_dialogs = std::make_unique<platform::ScriptedDialogs>();
        m_boundary = std::make_unique<ui::HandlerBoundary>(*m_dialogs);
    }

    void cleanup()
    {
        m_window.reset();
    }

    void typedKeys_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("beeps");
        QTest::newRow("digits are taken") << ""
                                          << "123"
                                          << "123" << 0;
        QTest::newRow("signs and the decimal separator are taken") << ""
                                                                   << "+-."
                                                                   << "+-." << 0;
        QTest::newRow("a letter is refused") << "1"
                                             << "x"
                                             << "1" << 1;
        QTest::newRow("a blank is refused") << "1"
                                            << " "
                                            << "1" << 1;
        QTest::newRow("letters between digits are refused") << ""
                                                            << "1a2"
                                                            << "12" << 1;
        QTest::newRow("full width digits are refused") << ""
                                                       << "１"
                                                       << "" << 1;
    }

    void typedKeys()
    {
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(int, beeps);
        makeField(0, 99999, start);
        m_field->end(false);
        typeText(m_field, typed);
        QCOMPARE(m_field->text(), expected);
        QCOMPARE(m_dialogs->beeps, beeps);
    }

    void enterBeepsAndChangesNothing()
    {
        makeField(1, 10, QStringLiteral("25"));
        QTest::keyClick(m_field, Qt::Key_Return);
        QTest::keyClick(m_field, Qt::Key_Enter);
        QCOMPARE(m_field->text(), QStringLiteral("25"));
        QCOMPARE(m_dialogs->beeps, 2);
        QCOMPARE(m_changes, 0);
    }

    void controlKeysAreTaken()
    {
        makeField(0, 99999, QStringLiteral("123"));
        m_field->end(false);
        QTest::keyClick(m_field, Qt::Key_Backspace);
        QCOMPARE(m_field->text(), QStringLiteral("12"));
        QTest::keyClick(m_field, Qt::Key_Home);
        QTest::keyClick(m_field, Qt::Key_Delete);
        QCOMPARE(m_field->text(), QStringLiteral("2"));
        QCOMPARE(m_dialogs->beeps, 0);
        QCOMPARE(m_changes, 2);
    }

    void pastedTextIsKeptAndReadAsTheMinimum()
    {
        makeField(1, 10, QStringLiteral("3"));
        m_field->selectAll();
        QApplication::clipboard()->setText(QStringLiteral("1a"));
        QTest::keyClick(m_field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(m_field->text(), QStringLiteral("1a"));
        QCOMPARE(m_field->value(), 1);
        QVERIFY(m_changes > 0);
        leaveField();
        QCOMPARE(m_field->text(), QStringLiteral("1a"));
        QCOMPARE(m_dialogs->beeps, 0);
    }

    void valueIsReadUnclampedWhileFocused_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("readWhileFocused");
        QTest::addColumn<QString>("afterLeaving");
        QTest::newRow("digit count above the maximum") << 1 << 10 << "25" << 25 << "10";
        QTest::newRow("digit count zero") << 1 << 10 << "0" << 0 << "1";
        QTest::newRow("digit count negative") << 1 << 10 << "-1" << -1 << "1";
        QTest::newRow("start number above the maximum") << 0 << 99999 << "123456" << 123456 << "99999";
        QTest::newRow("start number negative") << 0 << 99999 << "-5" << -5 << "0";
        QTest::newRow("in range stays as typed") << 0 << 99999 << "007" << 7 << "007";
        QTest::newRow("empty reads as the minimum") << 1 << 10 << "" << 1 << "";
        QTest::newRow("sign alone reads as the minimum") << 0 << 99999 << "-" << 0 << "-";
        QTest::newRow("beyond 32 bits reads as the minimum") << 0 << 99999 << "99999999999" << 0 << "99999999999";
    }

    void valueIsReadUnclampedWhileFocused()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(QString, typed);
        QFETCH(int, readWhileFocused);
        QFETCH(QString, afterLeaving);
        makeField(minimum, maximum, QString());
        typeText(m_field, typed);
        QCOMPARE(m_field->value(), readWhileFocused);
        const int changesBeforeLeaving = m_changes;
        leaveField();
        QCOMPARE(m_field->text(), afterLeaving);
        QCOMPARE(m_changes - changesBeforeLeaving, afterLeaving == typed ? 0 : 1);
    }

    void aBoxTakingTheFocusDoesNotClamp()
    {
        makeField(1, 10, QStringLiteral("25"));
        QFocusEvent toBox(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(m_field, &toBox);
        QFocusEvent toMenu(QEvent::FocusOut, Qt::PopupFocusReason);
        QApplication::sendEvent(m_field, &toMenu);
        QCOMPARE(m_field->text(), QStringLiteral("25"));
        QCOMPARE(m_changes, 0);
    }

    void stepping_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("changes");
        QTest::newRow("up") << "5" << true << "6" << 1;
        QTest::newRow("down") << "5" << false << "4" << 1;
        QTest::newRow("up at the maximum stays") << "99999" << true << "99999" << 0;
        QTest::newRow("down at the minimum stays") << "0" << false << "0" << 0;
        QTest::newRow("up from beyond the maximum clamps") << "123456" << true << "99999" << 1;
        QTest::newRow("up from text that is not a number") << "1a" << true << "1" << 1;
        QTest::newRow("down from an empty field") << "" << false << "0" << 1;
        QTest::newRow("leading zeros are written plain") << "007" << true << "8" << 1;
    }

    void stepping()
    {
        QFETCH(QString, start);
        QFETCH(bool, up);
        QFETCH(QString, expected);
        QFETCH(int, changes);
        for (const bool byKey : {false, true}) {
            makeField(0, 99999, start);
            if (byKey) {
                QTest::keyClick(m_field, up ? Qt::Key_Up : Qt::Key_Down);
            } else {
                QTest::mouseClick(up ? m_field->upButton() : m_field->downButton(), Qt::LeftButton);
            }
            QCOMPARE(m_field->text(), expected);
            QCOMPARE(m_changes, changes);
            QVERIFY2(m_field->hasFocus(), "the step buttons never take the focus");
        }
    }

    void programSettingClampsAndRunsTheHandlerOnlyOnChange()
    {
        makeField(0, 99999, QStringLiteral("1"));
        m_field->setValue(123456);
        QCOMPARE(m_field->text(), QStringLiteral("99999"));
        QCOMPARE(m_changes, 1);
        m_field->setValue(99999);
        QCOMPARE(m_changes, 1);
        m_field->setValue(-3);
        QCOMPARE(m_field->text(), QStringLiteral("0"));
        QCOMPARE(m_changes, 2);
    }
};

QTEST_MAIN(NumberFieldTest)
#include "number_field_test.moc"
