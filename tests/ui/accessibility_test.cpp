#include "tests/support/main_window_fixture.h"
#include "ui/Option.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QMap>
#include <QSet>
#include <QTest>

using namespace tallyfox;

namespace {

// What a screen reader announces as something to use: these need a name of their own.
const QSet<QAccessible::Role> kControlRoles{QAccessible::PushButton,
                                            QAccessible::CheckBox,
                                            QAccessible::RadioButton,
                                            QAccessible::ButtonDropDown,
                                            QAccessible::ButtonMenu,
                                            QAccessible::ComboBox,
                                            QAccessible::EditableText,
                                            QAccessible::SpinBox,
                                            QAccessible::List,
                                            QAccessible::Tree,
                                            QAccessible::Table,
                                            QAccessible::Slider,
                                            QAccessible::ProgressBar};

// A widget as a failure message names it: by its object name, or by its class inside its parent.
QString describe(const QObject* object)
{
    if (object == nullptr) {
        return QStringLiteral("(no object)");
    }
    if (!object->objectName().isEmpty()) {
        return object->objectName();
    }
    return QLatin1String(object->metaObject()->className()) + QStringLiteral(" in ") + describe(object->parent());
}

struct Walk
{
    QStringList nameless;
    QStringList namedOtherThanTooltip;
    // Each name and the controls that bear it; a name borne twice does not tell the controls apart.
    QMap<QString, QStringList> controlsByName;
    QSet<const QObject*> reached;
};

// Walks the accessibility tree as a screen reader does, from the window down; only the visible widgets
// count, not the items inside a list.
void walk(QAccessibleInterface* node, Walk& result)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface* child = node->child(i);
        if (child == nullptr || child->state().invisible) {
            continue;
        }
        QObject* object = child->object();
        if (object == nullptr || !object->isWidgetType() || QAccessible::queryAccessibleInterface(object) != child) {
            continue;
        }
        result.reached.insert(object);
        const QString name = child->text(QAccessible::Name).trimmed();
        if (kControlRoles.contains(child->role())) {
            if (name.isEmpty()) {
                result.nameless << describe(object);
            } else {
                result.controlsByName[name] << describe(object);
            }
        }
        // A button that shows only a picture is spoken as its tooltip says.
        const auto* button = qobject_cast<const QAbstractButton*>(object);
        if (button != nullptr && button->text().isEmpty() && !button->toolTip().isEmpty()
            && name != button->toolTip()) {
            result.namedOtherThanTooltip << describe(object) + QStringLiteral(": ") + name;
        }
        walk(child, result);
    }
}

} // namespace

// Every control of the windows can be found and named by a screen reader.
class AccessibilityTest : public QObject
{
    Q_OBJECT

private slots:
    void everyControlHasAName_data()
    {
        QTest::addColumn<bool>("options");
        QTest::newRow("main window") << false;
        QTest::newRow("options dialog") << true;
    }

    void everyControlHasAName()
    {
        QFETCH(bool, options);
        testing::MainWindowFixture fixture;
        fixture.open();
        ui::HandlerBoundary boundary(fixture.dialogs);
        std::unique_ptr<ui::TOptionForm> dialog;
        QWidget* window = fixture.window.get();
        if (options) {
            dialog = std::make_unique<ui::TOptionForm>(fixture.settings, boundary, window);
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            window = dialog.get();
        }

        Walk result;
        QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
        QVERIFY(root != nullptr);
        walk(root, result);

        // The walk reached every control one can tab to or press, so none is hidden from the reader.
        QStringList unreached;
        int controls = 0;
        for (const QWidget* widget : window->findChildren<QWidget*>()) {
            if (widget->window() != window || !widget->isVisible()) {
                continue;
            }
            if ((widget->focusPolicy() & Qt::TabFocus) != 0 || qobject_cast<const QAbstractButton*>(widget)) {
                ++controls;
                if (!result.reached.contains(widget)) {
                    unreached << describe(widget);
                }
            }
        }
        QVERIFY(controls > 5);
        QVERIFY2(unreached.isEmpty(), qPrintable(unreached.join(QStringLiteral(", "))));
        QVERIFY2(result.nameless.isEmpty(), qPrintable(result.nameless.join(QStringLiteral(", "))));
        for (auto named = result.controlsByName.cbegin(); named != result.controlsByName.cend(); ++named) {
            QVERIFY2(named.value().size() == 1,
                     qPrintable(named.key() + QStringLiteral(": ") + named.value().join(QStringLiteral(", "))));
        }
        QVERIFY2(result.namedOtherThanTooltip.isEmpty(),
                 qPrintable(result.namedOtherThanTooltip.join(QStringLiteral(", "))));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
