#include "mainwindow/form1.h"
#include "platform/posix_file_system.h"
#include "platform/settings_store.h"
#include "platform/single_instance.h"
#include "platform/theme_icon_source.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char** argv)
{
    // A second instance ends before it shows anything or touches the settings.
    platform::SingleInstance instance(platform::instanceFolder());
    if (!instance.acquire())
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sorvane"));
    QApplication::setOrganizationName(QStringLiteral("Sorvane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/sorvane.svg")));

    // Qt's own texts, such as the buttons of the message boxes, in Chinese too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    platform::ThemeIconSource::ensureIconTheme();

    platform::PosixFileSystem fileSystem;
    platform::IniSettingsStore settings;
    mainwindow::Form1 window({.fileSystem = fileSystem, .settings = &settings, .probeVolumes = {}});
    window.show();
    return app.exec();
}
