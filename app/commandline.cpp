#include "app/commandline.h"

#include "app/appsettings.h"

#include <cstring>

CommandLine::CommandLine(const QStringList &arguments)
{
    // The program path comes first and is no option: started from drive V: on Windows it
    // would otherwise add a simulated camera.
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1String("V:"), Qt::CaseSensitive))
            mVirtualDevices.append(argument.mid(2));
    }
    mEditor = arguments.contains(QStringLiteral("--editor"));
    mDeveloper = arguments.contains(QStringLiteral("--developer"));
    mDebug = arguments.contains(QStringLiteral("--debug"));
}

bool CommandLine::rawArgumentsAskForDebug(int argc, const char *const *argv)
{
    for (int i = 0; i < argc; ++i) {
        if (argv[i] && std::strcmp(argv[i], "--debug") == 0)
            return true;
    }
    return false;
}

void CommandLine::applyTo(AppSettings &settings) const
{
    if (mEditor) {
        settings.developerMode = true;
        return;
    }
    if (mDeveloper)
        settings.developerMode = true;
    if (mDebug)
        settings.debugMode = true;
}
