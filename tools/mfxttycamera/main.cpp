// Serves the simulated camera on a terminal device, so that the program (or anything else that
// speaks the camera line protocol) can be tried on a real serial-port path without a camera.

#include "comm/simulatedcamerastate.h"
#include "comm/ttycameraserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

namespace {
int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mfxttycamera"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves a simulated camera on a tty (57600 baud, 8N1)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("tty"),
        QStringLiteral("Terminal device to serve (e.g. one end of a "
                       "socat pseudo-terminal pair)."),
        QStringLiteral("[tty]"));
    QCommandLineOption ptyOption(QStringList { QStringLiteral("p"), QStringLiteral("pty") },
        QStringLiteral("Create a pseudo-terminal and print the device "
                       "path for the program to open."));
    QCommandLineOption linkOption(QStringList { QStringLiteral("l"), QStringLiteral("link") },
        QStringLiteral("With --pty: also make a symbolic link <path> "
                       "to the device."),
        QStringLiteral("path"));
    QCommandLineOption nameOption(QStringList { QStringLiteral("n"), QStringLiteral("name") },
        QStringLiteral("Camera name; \"ID?\" answers "
                       "VirtualDevice-<name> (default: Tty)."),
        QStringLiteral("name"), QStringLiteral("Tty"));
    QCommandLineOption stateOption(QStringList { QStringLiteral("s"), QStringLiteral("state") },
        QStringLiteral("Start with the values that the console set commands in <file> "
                       "give, one a line."),
        QStringLiteral("file"));
    parser.addOption(ptyOption);
    parser.addOption(linkOption);
    parser.addOption(nameOption);
    parser.addOption(stateOption);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList positional = parser.positionalArguments();
    const bool ownPty = parser.isSet(ptyOption);
    if (ownPty == (positional.size() == 1) || positional.size() > 1) {
        // showHelp leaves through exit(), past the stream's destructor: flush first.
        err << "Give either a tty path or --pty.\n" << Qt::flush;
        parser.showHelp(2);
    }

    TtyCameraServer server(parser.value(nameOption));
    if (parser.isSet(stateOption)) {
        QList<QByteArray> state;
        QString error;
        if (!SimulatedCameraState::read(parser.value(stateOption), &state, &error)) {
            err << error << '\n';
            return 1;
        }
        SimulatedCameraState::apply(state, server.camera());
    }
    const bool opened = ownPty ? server.openPseudoTerminal(parser.value(linkOption))
                               : server.openDevice(positional.first());
    if (!opened) {
        err << server.errorString() << '\n';
        return 1;
    }
    QObject::connect(&server, &TtyCameraServer::errorOccurred, &app, [&](const QString &message) {
        err << "Terminal lost: " << message << '\n';
        err.flush();
        QCoreApplication::exit(1);
    });

    // Leave cleanly on SIGINT/SIGTERM so that the link is removed.
    if (::pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    out << server.devicePath() << '\n';
    out.flush();
    return app.exec();
}
