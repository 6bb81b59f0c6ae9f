#include "app/appsettings.h"
#include "app/commandline.h"
#include "app/debuglog.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    AppSettings &settings = AppSettings::instance();

    bool consoleAllocated = false;
    if (CommandLine::rawArgumentsAskForDebug(argc, argv))
        consoleAllocated = DebugLog::start();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Marnifex"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.8"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":images/icon.png")));

    const CommandLine commandLine(QApplication::arguments());
    commandLine.applyTo(settings);

    // The windows of the settings application and of the editor are not part of this build yet.
    const int result = 0;

    if (consoleAllocated)
        DebugLog::releaseConsole();
    return result;
}
