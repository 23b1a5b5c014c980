#pragma once

#include "ui/handler_boundary.h"

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QAbstractItemView;
class QMenu;
class QPoint;

namespace tallyfox::ui {

// One command of the file list's context menu, or a submenu of commands.
struct FileListCommand
{
    QString text;          // with its access key, as "元に戻す(&U)"
    QKeySequence shortcut; // also works anywhere in the list's window without the menu; empty for none
    std::function<bool()> enabled;
    Handler run;
    // The commands of a submenu under `text`; a command with items runs nothing itself.
    std::vector<FileListCommand> items = {};
};

// The context menu of the file list, opened by the right mouse button or the menu key. Commands are
// added in the order they are shown, once the list lies in its window; whether each is enabled is asked
// each time the menu opens or its key is pressed.
class FileListMenu final : public QObject
{
    Q_OBJECT

public:
    FileListMenu(QAbstractItemView& list, HandlerBoundary& boundary);

    void add(FileListCommand command);

    // The menu open now, or the one last opened; nullptr before the first.
    QMenu* menu() const;

private:
    void open(const QPoint& at);
    void addTo(QMenu& menu, const FileListCommand& command, std::size_t index, int item);
    void trigger(const FileListCommand& command);

    QAbstractItemView& m_list;
    HandlerBoundary& m_boundary;
    std::vector<FileListCommand> m_commands;
    QMenu* m_menu = nullptr;
};

} // namespace tallyfox::ui
