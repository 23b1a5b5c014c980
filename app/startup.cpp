#include "app/startup.h"

#include "app/command_line.h"
#include "app/start_folder.h"
#include "core/settings.h"
#include "platform/dialogs.h"
#include "platform/instance_guard.h"
#include "platform/program_files.h"
#include "platform/settings_store.h"
#include "platform/syscalls.h"
#include "platform/toolkit_language.h"
#include "ui/MainP.h"
#include "ui/about_box.h"
#include "ui/app_icon.h"
#include "ui/appearance.h"
#include "ui/help_window.h"
#include "ui/run_history.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <string>

namespace tallyfox::app {

QString defaultApplicationTitle(const QString& executablePath)
{
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    if (name.size() > 1) {
        name = name.left(1) + name.mid(1).toLower();
    }
    return name;
}

namespace {

// Prints what --version or --help asks for, when one of them is among the arguments (the first of them
// wins). Returns the exit code, or -1 when the program is to run.
int answerCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string text;
        if (std::strcmp(argv[i], "--version") == 0) {
            text = std::string(ui::kVersionLine) + "\n";
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            const char* slash = std::strrchr(argv[0], '/');
            const std::string program = slash != nullptr ? slash + 1 : argv[0];
            // Each character of フォルダ takes two columns: its description starts in the options' column.
            text = "使い方: " + program + " [--help | --version] [フォルダ]\n" + commandUsageLines()
                   + "フォルダ内のファイルを連番でまとめてリネームします。\n"
                     "オプションなしで起動するとウィンドウを開きます。\n"
                     "\n"
                     "  フォルダ    保存されていたフォルダではなく、このフォルダを開いて起動します\n"
                     "  -h, --help  この使い方を表示して終了します\n"
                     "  --version   ヴァージョンを表示して終了します\n"
                     "\n"
                   + commandList();
        } else {
            continue;
        }
        // A failed write (a closed or full output) is a failure, not silently a success.
        const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
        return std::fflush(stdout) == 0 && written ? 0 : 1;
    }
    return -1;
}

} // namespace

int runTallyfox(int& argc, char** argv, platform::Dialogs& dialogs)
{
    // A command runs without a window, a display or the guard: a command may run while the window is open.
    if (isCommand(argc, argv)) {
        return runCommand(argc, argv, platform::systemCalls());
    }
    // Asking for the version or the usage opens nothing and leaves the guard to a running instance.
    if (const int exitCode = answerCommandLine(argc, argv); exitCode >= 0) {
        return exitCode;
    }

    // Taking the guard is the first thing, before anything could be read or written.
    platform::InstanceGuard::Outcome outcome{};
    const auto guard = platform::InstanceGuard::tryAcquire(kInstanceGuardName, outcome);

    QApplication application(argc, argv);
    if (outcome == platform::InstanceGuard::Outcome::HeldElsewhere) {
        // The running instance is not told anything; this one only says why it ends.
        dialogs.message({
            .text = QStringLiteral("アプリケーションは既に起動しています"),
            .caption = defaultApplicationTitle(QCoreApplication::applicationFilePath()),
            .icon = platform::MessageIcon::None,
            .buttons = platform::MessageButtons::Ok,
        });
        return 0;
    }

    // The program speaks Japanese whatever the locale, and so do the toolkit's own buttons and dialogs.
    platform::installToolkitJapanese(application);
    // No application display name: the platform would add it to every window title but the main
    // window's, and each window shows exactly the caption it is given.
    QApplication::setFont(ui::windowFont());
    QApplication::setWindowIcon(ui::applicationIcon());
    // Lets the desktop match the window to the installed launcher and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tallyfox"));
    // Made before the main window and so outliving it: the window closes the help window as it goes.
    ui::HelpWindowViewer help;
    const std::string executable = platform::executablePath();
    const platform::SettingsLocation location = platform::settingsLocation(
        executable,
        platform::isInstalledCopy(executable) ? platform::ProgramCopy::Installed : platform::ProgramCopy::Portable);
    platform::PosixSettingsStore store(platform::systemCalls(),
                                       location.createFolder ? platform::PosixSettingsStore::MissingFolder::Create
                                                             : platform::PosixSettingsStore::MissingFolder::Fail);
    SettingsFile settings(location.path, store);
    // A run that a crash or a power cut ended half-way is offered back before the window shows it.
    const std::string journals = platform::journalFolder();
    ui::RunHistory(dialogs, platform::systemCalls(), journals).recoverAtStart();
    ui::TMain main(ui::Services{.dialogs = dialogs,
                                .help = help,
                                .settings = settings,
                                .journalFolder = journals,
                                .startFolder = startFolderArgument(argc, argv)});
    main.show();
    QApplication::exec();
    return 0;
}

} // namespace tallyfox::app
