#include "ui/file_list_menu.h"

#include <QAbstractItemView>
#include <QMenu>
#include <QShortcut>

namespace tallyfox::ui {

FileListMenu::FileListMenu(QAbstractItemView& list, HandlerBoundary& boundary)
    : QObject(&list)
    , m_list(list)
    , m_boundary(boundary)
{
    m_list.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&m_list, &QWidget::customContextMenuRequested, this, &FileListMenu::open);
}

void FileListMenu::add(FileListCommand command)
{
    m_commands.push_back(std::move(command));
    const std::size_t index = m_commands.size() - 1;
    if (!m_commands[index].shortcut.isEmpty()) {
        // Anywhere in the list's window, not only on the list; a text field with typing of its own to
        // undo keeps the undo key (TextField).
        auto* shortcut = new QShortcut(m_commands[index].shortcut, m_list.window());
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, index] {
            trigger(m_commands[index]);
        });
    }
}

QMenu* FileListMenu::menu() const
{
    return m_menu;
}

void FileListMenu::trigger(const FileListCommand& command)
{
    m_boundary.run([this, &command] {
        if (command.enabled && !command.enabled()) {
            m_boundary.beep();
            return;
        }
        command.run();
    });
}

void FileListMenu::addTo(QMenu& menu, const FileListCommand& command, std::size_t index, int item)
{
    bool enabled = true;
    m_boundary.run([&] {
        enabled = !command.enabled || command.enabled();
    });
    if (!command.items.empty()) {
        QMenu* submenu = menu.addMenu(command.text);
        submenu->setEnabled(enabled);
        for (std::size_t i = 0; i < command.items.size(); ++i) {
            addTo(*submenu, command.items[i], index, static_cast<int>(i));
        }
        return;
    }
    QAction* action = menu.addAction(command.text);
    // Shown beside the item; the key itself belongs to the list's own shortcut.
    action->setShortcut(command.shortcut);
    action->setShortcutContext(Qt::WidgetShortcut);
    action->setEnabled(enabled);
    // Run once the menu has closed, so the command's boxes do not open over it; found again by its
    // place, as the list of commands may have grown meanwhile.
    connect(
        action,
        &QAction::triggered,
        this,
        [this, index, item] {
            const FileListCommand& top = m_commands[index];
            trigger(item < 0 ? top : top.items[static_cast<std::size_t>(item)]);
        },
        Qt::QueuedConnection);
}

void FileListMenu::open(const QPoint& at)
{
    // One menu at a time; its commands run queued, through this object, not through the menu.
    delete m_menu;
    m_menu = new QMenu(&m_list);
    m_menu->setObjectName(QStringLiteral("FileListMenu"));
    m_menu->setAttribute(Qt::WA_DeleteOnClose, false);
    for (std::size_t index = 0; index < m_commands.size(); ++index) {
        addTo(*m_menu, m_commands[index], index, -1);
    }
    // The list maps its menu event to its viewport.
    m_menu->popup(m_list.viewport()->mapToGlobal(at));
}

} // namespace tallyfox::ui
