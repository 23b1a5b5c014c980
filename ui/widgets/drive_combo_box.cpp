#include "ui/widgets/drive_combo_box.h"

#include <QFile>
#include <QSignalBlocker>

namespace tallyfox::ui {

DriveComboBox::DriveComboBox(QWidget* parent)
    : QComboBox(parent)
{
    // activated comes for the user's choices only, also for the entry already selected.
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (m_boundary != nullptr && m_handler) {
            m_boundary->run([this, index] {
                m_handler(index);
            });
        }
    });
}

void DriveComboBox::setVolumes(std::vector<platform::Volume> volumes)
{
    const QSignalBlocker blocker(this);
    m_volumes = std::move(volumes);
    clear();
    for (const platform::Volume& volume : m_volumes) {
        const std::string text = platform::volumeText(volume);
        addItem(QFile::decodeName(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size()))));
    }
    setCurrentIndex(-1);
}

const std::vector<platform::Volume>& DriveComboBox::volumes() const
{
    return m_volumes;
}

int DriveComboBox::itemIndex() const
{
    return currentIndex();
}

void DriveComboBox::setItemIndex(int index)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void DriveComboBox::setChooseHandler(std::function<void(int)> handler, HandlerBoundary* boundary)
{
    m_handler = std::move(handler);
    m_boundary = boundary;
}

} // namespace tallyfox::ui
