#pragma once

#include <QPixmap>
#include <QString>

class QWidget;

namespace tallyfox::ui {

// A tool button picture by name ("rename", "reset_disabled", ...): 16 x 16 in at most 16 colours and
// a transparent one, compiled into the program. Null for a name that has none.
QPixmap toolPicture(const QString& name);

// Puts the pictures on the window's tool buttons: run, options, reset, help, about, up and down, the
// last three with their own disabled pictures. The exit button and the save-folder button have none.
void setToolButtonPictures(QWidget& window);

} // namespace tallyfox::ui
