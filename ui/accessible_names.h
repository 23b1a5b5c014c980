#pragma once

class QWidget;

namespace tallyfox::ui {

// The names a screen reader speaks for the controls of a window. A control with a caption of its own
// (a button, a check box, a radio item, a captioned group) is spoken by its caption; these give a name
// to every other control: a field the text of its label, a tool button without a caption its tooltip,
// a list or a drop-down list what it holds. The controls are found by their object names, so the
// windows only call these once their controls are made; a control not found is left as it is.
void nameMainWindowControls(QWidget& window);
void nameOptionsControls(QWidget& dialog);
void namePreviewControls(QWidget& window);

} // namespace tallyfox::ui
