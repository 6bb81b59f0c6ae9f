// Time of one query exchange through each transport, next to the time the same bytes need on a
// real line at 57600 baud, 8N1: the serial transport over a pseudo-terminal, the Camera Link
// transport over the simulated library, and the relay through the relay program (serving the
// simulated library's port). None of them has line delay, so the measured time is the
// software's own share of an exchange. A last figure shows that waiting for a slow camera
// costs no processor time: each of 100 Camera Link replies comes 20 ms after its request.

#include "bench/benchcamera.h"
#include "comm/clcommunicator.h"
#include "comm/comcommunicator.h"
#include "comm/metatypes.h"
#include "comm/relaycommunicator.h"
#include "comm/relayserver.h"
#include "comm/simulatedcamera.h"
#include "tools/mfxsimclserial/simclcontrol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLibrary>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {
const QByteArray Command("GAI?");

struct Figures
{
    double medianUs = 0;
    double p90Us = 0;
    int failures = 0;
};

Figures measure(AbstractCommunicator &comm, int rounds)
{
    QVariantList reply;
    // Warm up (opening the port, first allocations).
    for (int i = 0; i < 20; ++i)
        comm.sendCommand(QStringLiteral("bench"), Command, {}, reply, 750, true);
    std::vector<qint64> samples;
    samples.reserve(static_cast<size_t>(rounds));
    Figures figures;
    QElapsedTimer clock;
    for (int i = 0; i < rounds; ++i) {
        clock.start();
        const auto result
            = comm.sendCommand(QStringLiteral("bench"), Command, {}, reply, 750, true);
        samples.push_back(clock.nsecsElapsed());
        if (result != AbstractCommunicator::Success || reply != QVariantList { 123 })
            ++figures.failures;
    }
    std::sort(samples.begin(), samples.end());
    figures.medianUs = samples[samples.size() / 2] / 1000.0;
    figures.p90Us = samples[samples.size() * 9 / 10] / 1000.0;
    return figures;
}

double processCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

void dropDebugMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg)
        QTextStream(stderr) << message << '\n';
}
} // namespace

int main(int argc, char *argv[])
{
    // The Camera Link library (here and in the relay program) is the simulated one.
    qputenv("MARNIFEX_CLSERIAL", MFXSIMCLSERIAL_PATH);
    qputenv("MARNIFEX_SIMCL_CAMERAS", "Bench");
    QCoreApplication app(argc, argv);
    MetaTypes::registerAll();
    // The transports' per-exchange diagnostics are still formatted, but not printed.
    qInstallMessageHandler(dropDebugMessages);
    const int rounds = argc > 1 ? qMax(10, QByteArray(argv[1]).toInt()) : 1000;
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QByteArray request = AbstractCommunicator::buildFrame(Command, {});
    const QByteArray answer("\x06@123\r");
    const int bytes = request.size() + answer.size();
    const double wireUs = bytes * 10 * 1e6 / ComCommunicator::BaudRate;
    out << "query exchange \"@GAI?\" -> ACK \"@123\", " << rounds << " rounds; wire time of the "
        << bytes << " bytes at 57600 baud 8N1: " << QString::number(wireUs, 'f', 1) << " us\n";
    QStringList ratios;
    int failures = 0;
    auto report = [&](const char *transport, const Figures &figures) {
        out << "  " << transport << ": median " << QString::number(figures.medianUs, 'f', 1)
            << " us, 90th percentile " << QString::number(figures.p90Us, 'f', 1) << " us, "
            << figures.failures << " failed\n";
        ratios << QStringLiteral("ratio %1: %2")
                      .arg(QLatin1String(transport))
                      .arg(figures.medianUs / wireUs, 0, 'f', 3);
        failures += figures.failures;
    };

    // Serial port: the simulated camera on a pseudo-terminal, served from a thread of its own.
    {
        BenchCamera line(QStringLiteral("Bench"));
        if (!line.isOpen()) {
            err << line.server()->errorString() << '\n';
            return 1;
        }
        line.camera().setValue(QStringLiteral("GAI"), "123");
        ComCommunicator tty(line.path());
        report("tty", measure(tty, rounds));
        tty.close();
    }

    // Camera Link: the simulated library, loaded as the program loads it.
    QLibrary simulation(QStringLiteral(MFXSIMCLSERIAL_PATH));
    auto linkCamera = reinterpret_cast<SimClControl::Camera>(simulation.resolve("mfxSimClCamera"));
    if (!linkCamera || CLCommunicator::portCount() != 1) {
        err << "the simulated Camera Link library did not load\n";
        return 1;
    }
    SimulatedCamera *camera = linkCamera(0);
    camera->setValue(QStringLiteral("GAI"), "123");
    QByteArray manufacturer;
    QByteArray linkName;
    unsigned version = 0;
    CLCommunicator::portInfo(0, manufacturer, linkName, version);
    CLCommunicator cl(QString::fromLatin1(linkName));
    report("cl", measure(cl, rounds));

    // Relay: the relay program serving its own instance of the simulated library.
    RelayServer relay;
    relay.setProgram(QStringLiteral(MFXRELAY_PATH));
    QEventLoop loop;
    QObject::connect(&relay, &RelayServer::relayConnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    relay.start();
    loop.exec();
    if (!relay.isConnected()) {
        err << "the relay program did not connect\n";
        return 1;
    }
    RelayCommunicator relayed(QStringLiteral("relay:") + QString::fromLatin1(linkName));
    QVariantList none;
    relayed.sendCommand(QStringLiteral("bench"), "GAI123", {}, none, 750, false);
    report("relay", measure(relayed, rounds));
    relay.stop();

    for (const QString &ratio : qAsConst(ratios))
        out << ratio << '\n';
    out << "  (software time over wire time, medians; goal <= 0.250 each)\n";

    // Waiting: 100 Camera Link exchanges whose replies come after 20 ms each.
    const int slowRounds = 100;
    for (int i = 0; i < slowRounds; ++i)
        camera->queueFault(SimulatedCamera::Delayed, 20);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = processCpuMs();
    int slowFailures = 0;
    for (int i = 0; i < slowRounds; ++i) {
        QVariantList reply;
        if (cl.sendCommand(QStringLiteral("bench"), Command, {}, reply, 750, true)
                != AbstractCommunicator::Success
            || reply != QVariantList { 123 })
            ++slowFailures;
    }
    const double cpuMs = processCpuMs() - cpuBefore;
    const double wallMs = wall.nsecsElapsed() / 1e6;
    out << "cpu/wall cl: " << QString::number(cpuMs / wallMs, 'f', 3) << '\n';
    out << "  (processor " << QString::number(cpuMs, 'f', 1) << " ms over "
        << QString::number(wallMs, 'f', 1) << " ms for " << slowRounds << " replies 20 ms late, "
        << slowFailures << " failed; goal <= 0.100)\n";
    cl.close();
    return failures + slowFailures == 0 ? 0 : 1;
}
