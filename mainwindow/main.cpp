#include "actions/background_operation.h"
#include "mainwindow/form1.h"
#include "platform/desktop/theme_icon_source.h"
#include "platform/files/posix_file_system.h"
#include "platform/session/cache_file.h"
#include "platform/session/heap_settings.h"
#include "platform/session/instance_channel.h"
#include "platform/session/settings_store.h"
#include "platform/session/single_instance.h"
#include "platform/session/start_folder.h"
#include "platform/session/termination_signals.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <chrono>

namespace {

// A folder handed over by a second start: the window comes to the front, showing it.
void showHandedOver(mainwindow::Form1& window, const QByteArray& folder)
{
    window.showLocation(folder);
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

int main(int argc, char** argv)
{
    platform::setHeapForManyRows(argv);
    const std::optional<QByteArray> folder = platform::startFolder(argc, argv);

    // A second instance ends before it shows anything or touches the settings; its folder goes
    // to the running one.
    platform::SingleInstance instance(platform::instanceFolder());
    if (!instance.acquire()) {
        if (folder)
            platform::handOverFolder(instance.socketPath(), *folder);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sorvane"));
    QApplication::setOrganizationName(QStringLiteral("Sorvane"));
    // Ties the windows to the installed desktop entry (the app id on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.sorvane.Sorvane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/sorvane.svg")));

    // Qt's own texts, such as the buttons of the message boxes, in Chinese too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    platform::ThemeIconSource::ensureIconTheme();

    // Never destroyed: a worker left stuck on a dead disk when the window closed may still return
    // into it before the process ends.
    platform::PosixFileSystem& fileSystem = *new platform::PosixFileSystem;
    platform::IniSettingsStore settings;
    mainwindow::Form1 window(
        {.fileSystem = fileSystem, .settings = &settings, .probeVolumes = {}, .memoryFolder = platform::cacheFolder()});
    if (folder)
        window.showLocation(*folder);
    platform::FolderListener secondStarts;
    QObject::connect(&secondStarts, &platform::FolderListener::folderReceived, &window,
                     [&window](const QByteArray& handed) { showHandedOver(window, handed); });
    secondStarts.listen(instance.socketPath());
    // Ended by logout or kill: a running copy or delete stops as a cancel stops it (a copy takes
    // its unfinished file with it), a search stops, and the program ends without saving anything,
    // as a killed program always has.
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::terminationRequested, &window, [&window](int signal) {
        actions::cancelRunningOperations(std::chrono::seconds(10));
        window.searchCommand().StopSearch();
        QApplication::exit(128 + signal);
    });
    window.show();
    return app.exec();
}
