#include "ui/accessible_names.h"

#include "ui/widgets/number_field.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QToolButton>

namespace tallyfox::ui {

namespace {

template <typename Control = QWidget> Control* control(QWidget& window, const char* name)
{
    return window.findChild<Control*>(QLatin1String(name));
}

// A label's text as a name: without the colon that leads the eye to its field.
QString nameFromCaption(QString caption)
{
    while (caption.endsWith(QChar(0xFF1A)) || caption.endsWith(QLatin1Char(':'))
           || caption.endsWith(QLatin1Char(' '))) {
        caption.chop(1);
    }
    return caption;
}

void name(QWidget* widget, const QString& name)
{
    if (widget != nullptr) {
        widget->setAccessibleName(name);
    }
}

// A number field's up and down buttons are named after the field they step.
void nameField(QWidget* field, const QString& fieldName)
{
    name(field, fieldName);
    if (auto* number = qobject_cast<NumberField*>(field)) {
        name(number->upButton(), fieldName + QStringLiteral("を増やす"));
        name(number->downButton(), fieldName + QStringLiteral("を減らす"));
    }
}

// A field named by the label left of it; the label also becomes its buddy, so that a screen reader
// can tell which label belongs to which field.
void nameByLabel(QWidget& window, const char* field, const char* label)
{
    auto* caption = control<QLabel>(window, label);
    QWidget* target = control(window, field);
    if (caption == nullptr || target == nullptr) {
        return;
    }
    caption->setBuddy(target);
    nameField(target, nameFromCaption(caption->text()));
}

// A field that lies alone in a captioned group takes the group's caption.
void nameByGroup(QWidget& window, const char* field, const char* group, const QString& suffix = QString())
{
    if (const auto* box = control<QGroupBox>(window, group)) {
        nameField(control(window, field), nameFromCaption(box->title()) + suffix);
    }
}

// A tool button that shows only a picture is named by its tooltip.
void nameByTooltip(QWidget& window, const char* button)
{
    if (auto* b = control<QAbstractButton>(window, button)) {
        name(b, b->toolTip());
    }
}

} // namespace

void nameMainWindowControls(QWidget& window)
{
    for (const char* button : {"sbHelp", "sbAbout", "sbUp", "sbDown"}) {
        nameByTooltip(window, button);
    }
    name(control(window, "DriveComboBox1"), QStringLiteral("ドライブ"));
    name(control(window, "DirectoryListBox1"), QStringLiteral("フォルダ"));
    name(control(window, "FilterComboBox1"), QStringLiteral("ファイルの種類"));
    name(control(window, "FileListBox1"), QStringLiteral("ファイル一覧"));
    // The preview group has no caption of its own; its label says what it shows.
    if (const auto* label = control<QLabel>(window, "Label2")) {
        name(control(window, "gbPreview"), nameFromCaption(label->text()));
    }
    nameByGroup(window, "editSaveFolder", "gbSet");
    name(control(window, "btnSave"), QStringLiteral("保存フォルダを選ぶ"));
    nameByLabel(window, "editPrevName", "Label4");
    nameByLabel(window, "seStartNum", "Label1");
    nameByLabel(window, "seZeroNum", "Label7");
    nameByLabel(window, "editLastName", "Label8");
    // The extension field belongs to the last choice of the extension group.
    nameByGroup(window, "editExt", "rgExt", QStringLiteral("の指定"));
    name(control(window, "Gauge1"), QStringLiteral("進み具合"));
}

void nameOptionsControls(QWidget& dialog)
{
    nameByTooltip(dialog, "sbHint");
    const char* const fields[] = {"editFilter1", "editFilter2", "editFilter3", "editFilter4"};
    for (int slot = 0; slot < 4; ++slot) {
        nameByGroup(dialog, fields[slot], "gbFilter", QLatin1Char(' ') + QString::number(slot + 1));
    }
}

void namePreviewControls(QWidget& window)
{
    name(control(window, "PreviewTable"), QStringLiteral("新しい名前の一覧"));
    name(control(window, "lblProblems"), QStringLiteral("問題のあるファイルの数"));
}

} // namespace tallyfox::ui
