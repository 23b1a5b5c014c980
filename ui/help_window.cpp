#include "ui/help_window.h"

#include "platform/file_reading.h"
#include "platform/program_files.h"
#include "ui/handler_boundary.h"
#include "ui/layout.h"

#include <QFile>
#include <QGuiApplication>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <cstring>

namespace tallyfox::ui {

namespace {

constexpr int kWidth = 560;
constexpr int kHeight = 600;

// The window's own report of a help file it cannot show.
QString unreadablePage(const std::string& helpFile, int error)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(helpFile)).toHtmlEscaped();
    const QString reason = QString::fromLocal8Bit(std::strerror(error)).toHtmlEscaped();
    return QStringLiteral("<html><body><h3>ヘルプを表示できません</h3>"
                          "<p>ヘルプファイル <code>%1</code> を開けませんでした。</p>"
                          "<p>理由：%2</p>"
                          "<p>ヘルプファイルは、プログラムと同じフォルダに、プログラムと同じ名前で拡張子を "
                          "<code>.hlp</code> にして置いてください。</p></body></html>")
        .arg(path, reason);
}

} // namespace

HelpWindow::HelpWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(applicationTitle() + QStringLiteral(" ヘルプ"));
    // Only the main window keeps the program running.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    // Links inside the help move within it; nothing is opened outside the program.
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(kWidth, kHeight);
    // Closed from the keyboard as other viewers are; closing only hides it until the next request.
    auto* close = new QShortcut(this);
    close->setKeys({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setContext(Qt::WindowShortcut);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}

void HelpWindow::showFile(const std::string& helpFile)
{
    m_helpFile = helpFile;
    std::string content;
    const int error = platform::readWholeFile(helpFile, content);
    if (error != 0) {
        m_browser->setHtml(unreadablePage(helpFile, error));
    } else {
        m_browser->setHtml(QString::fromUtf8(content.data(), static_cast<qsizetype>(content.size())));
    }
    m_browser->moveCursor(QTextCursor::Start);
    m_browser->ensureCursorVisible();
}

const std::string& HelpWindow::helpFile() const
{
    return m_helpFile;
}

QTextBrowser* HelpWindow::browser() const
{
    return m_browser;
}

HelpWindowViewer::HelpWindowViewer() = default;

HelpWindowViewer::~HelpWindowViewer() = default;

void HelpWindowViewer::showContents(const std::string& helpFile, QWidget* owner)
{
    const bool first = m_window == nullptr;
    if (first) {
        m_window = std::make_unique<HelpWindow>();
    }
    m_window->showFile(helpFile);
    if (first) {
        placeBeside(*m_window, owner);
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void HelpWindowViewer::quit(const std::string&) noexcept
{
    if (m_window != nullptr) {
        m_window->close();
        m_window.reset();
    }
}

HelpWindow* HelpWindowViewer::window() const
{
    return m_window.get();
}

} // namespace tallyfox::ui
