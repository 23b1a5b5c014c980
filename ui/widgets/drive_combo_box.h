#pragma once

#include "platform/volumes.h"
#include "ui/handler_boundary.h"

#include <QComboBox>

#include <functional>
#include <vector>

namespace tallyfox::ui {

// The drive chooser: one entry per mounted volume. Only the user's choice runs its handler; the
// program selects an entry without any notification.
class DriveComboBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveComboBox(QWidget* parent = nullptr);

    void setVolumes(std::vector<platform::Volume> volumes);
    const std::vector<platform::Volume>& volumes() const;

    // The selected entry, or -1.
    int itemIndex() const;
    // Selects an entry from the program; sends nothing.
    void setItemIndex(int index);

    // The handler of an entry the user chooses, given its position.
    void setChooseHandler(std::function<void(int)> handler, HandlerBoundary* boundary);

private:
    std::vector<platform::Volume> m_volumes;
    std::function<void(int)> m_handler;
    HandlerBoundary* m_boundary = nullptr;
};

} // namespace tallyfox::ui
