#include "app/commandline.h"

#include "app/appsettings.h"
#include "comm/simulatedcamerastate.h"
#include "comm/virtualcommunicator.h"

#include <cstring>

CommandLine::CommandLine(const QStringList &arguments)
{
    // The program path comes first and is no option: started from drive V: on Windows it
    // would otherwise add a simulated camera.
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (!argument.startsWith(QLatin1String("V:"), Qt::CaseSensitive))
            continue;
        const QString device = argument.mid(2);
        const int split = device.indexOf(QLatin1Char('='));
        mVirtualDevices.append(split < 0 ? device : device.left(split));
        mVirtualDeviceStates.append(split < 0 ? QString() : device.mid(split + 1));
    }
    mEditor = arguments.contains(QStringLiteral("--editor"));
    mDeveloper = arguments.contains(QStringLiteral("--developer"));
    mDebug = arguments.contains(QStringLiteral("--debug"));
}

bool CommandLine::rawArgumentsAskForDebug(int argc, const char *const *argv)
{
    return rawArgumentsContain(argc, argv, "--debug");
}

bool CommandLine::rawArgumentsContain(int argc, const char *const *argv, const char *option)
{
    for (int i = 0; i < argc; ++i) {
        if (argv[i] && std::strcmp(argv[i], option) == 0)
            return true;
    }
    return false;
}

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Usage: marnifex [--debug] [--developer] [--editor] [V:<name>[=<state file>] ...]\n"
        "\n"
        "Reads and changes the settings of cameras that speak a text command protocol on a\n"
        "serial line.\n"
        "\n"
        "  --debug            write every diagnostic to the standard error stream and to\n"
        "                     debug.log in the working directory\n"
        "  --developer        show the Developer level and developer-only descriptions\n"
        "  --editor           start only the description editor\n"
        "  V:<name>           add a simulated camera called <name>\n"
        "  V:<name>=<file>    ... holding from the start the values that the console set\n"
        "                     commands in <file> give it, one a line\n"
        "  --help             show this text and exit\n"
        "  --version          show the version and exit\n"
        "\n"
        "Any other argument is ignored.\n");
}

void CommandLine::registerVirtualDevices(QStringList *errors) const
{
    for (int i = 0; i < mVirtualDevices.size(); ++i) {
        QList<QByteArray> state;
        QString error;
        const QString file = mVirtualDeviceStates.at(i);
        if (!file.isEmpty() && !SimulatedCameraState::read(file, &state, &error) && errors)
            errors->append(QStringLiteral("Simulated camera %1 starts without values: %2")
                               .arg(mVirtualDevices.at(i), error));
        VirtualCommunicator::addVirtualDevice(mVirtualDevices.at(i), state);
    }
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
