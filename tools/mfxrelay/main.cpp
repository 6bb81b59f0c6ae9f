// The relay program: started by Marnifex with the name of its relay server, it connects there
// and serves its ports until the connection ends. Its ports are those of the Camera Link serial
// library (found as the program finds it: MARNIFEX_CLSERIAL or the system's search) and the
// simulated cameras named in MARNIFEX_RELAY_CAMERAS (comma-separated), all named "relay:...".
//
//     MfxRelay32 <server name> [debug]

#include "comm/clcommunicator.h"
#include "comm/metatypes.h"
#include "comm/relayclient.h"
#include "comm/virtualcommunicator.h"

#include <QCoreApplication>
#include <QTextStream>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

namespace {
bool tracing = false;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    // Quiet unless asked: its error stream is the program's own.
    if (tracing || type != QtDebugMsg)
        QTextStream(stderr) << "MfxRelay32: " << message << '\n';
}
} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_LINUX
    // Never outlive the program that started it, even when that one is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        QTextStream(stderr) << "usage: MfxRelay32 <server name> [debug]\n";
        return 2;
    }
    tracing = arguments.value(2) == QLatin1String("debug");
    qInstallMessageHandler(messageHandler);
    MetaTypes::registerAll();

    RelayClient client;
    client.setTracing(tracing);
    const unsigned count = CLCommunicator::portCount();
    for (unsigned index = 0; index < count; ++index) {
        QByteArray manufacturer;
        QByteArray name;
        unsigned version = 0;
        CLCommunicator::portInfo(index, manufacturer, name, version);
        if (!manufacturer.isEmpty())
            client.addPort(new CLCommunicator(QString::fromLatin1(name)), manufacturer, version);
    }
    const QStringList cameras = qEnvironmentVariable("MARNIFEX_RELAY_CAMERAS")
                                    .split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &camera : cameras)
        client.addPort(new VirtualCommunicator(camera.trimmed()), "Marnifex");

    if (!client.connectToServer(arguments.at(1))) {
        qWarning("cannot connect to %s", qPrintable(arguments.at(1)));
        return 1;
    }
    QObject::connect(&client, &RelayClient::disconnected, &app, &QCoreApplication::quit);
    return QCoreApplication::exec();
}
