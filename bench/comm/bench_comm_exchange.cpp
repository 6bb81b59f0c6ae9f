// Time of one query exchange through the serial transport over a pseudo-terminal, next to the
// time the same bytes need on a real line at 57600 baud, 8N1. A pseudo-terminal carries bytes
// without line delay, so the measured time is the software's own share of an exchange.

#include "comm/comcommunicator.h"
#include "comm/metatypes.h"
#include "comm/ttycameraserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    MetaTypes::registerAll();
    const int rounds = argc > 1 ? qMax(10, QByteArray(argv[1]).toInt()) : 1000;

    QThread farThread;
    farThread.start();
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/camera");
    auto *server = new TtyCameraServer(QStringLiteral("Bench"));
    server->moveToThread(&farThread);
    bool opened = false;
    QMetaObject::invokeMethod(
        server, [&]() { opened = server->openPseudoTerminal(link); }, Qt::BlockingQueuedConnection);
    if (!opened) {
        QTextStream(stderr) << server->errorString() << '\n';
        return 1;
    }
    server->camera().setValue(QStringLiteral("GAI"), "123");

    ComCommunicator comm(link);
    const QByteArray command("GAI?");
    QVariantList reply;
    // Warm up (opening the port, first allocations).
    for (int i = 0; i < 20; ++i)
        comm.sendCommand(QStringLiteral("bench"), command, {}, reply, 750, true);

    std::vector<qint64> samples;
    samples.reserve(static_cast<size_t>(rounds));
    int failures = 0;
    QElapsedTimer clock;
    for (int i = 0; i < rounds; ++i) {
        clock.start();
        const auto result
            = comm.sendCommand(QStringLiteral("bench"), command, {}, reply, 750, true);
        samples.push_back(clock.nsecsElapsed());
        if (result != AbstractCommunicator::Success || reply != QVariantList { 123 })
            ++failures;
    }
    std::sort(samples.begin(), samples.end());
    const double medianUs = samples[samples.size() / 2] / 1000.0;
    const double p90Us = samples[samples.size() * 9 / 10] / 1000.0;

    const QByteArray request = AbstractCommunicator::buildFrame(command, {});
    const QByteArray answer("\x06@123\r");
    const int bytes = request.size() + answer.size();
    const double wireUs = bytes * 10 * 1e6 / ComCommunicator::BaudRate;

    QTextStream out(stdout);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(1);
    out << "query exchange \"@GAI?\" -> ACK \"@123\" over a pseudo-terminal, " << rounds
        << " rounds, " << failures << " failed\n";
    out << "  median " << medianUs << " us, 90th percentile " << p90Us << " us\n";
    out << "  wire time of the same " << bytes << " bytes at 57600 baud 8N1: " << wireUs << " us\n";
    out.setRealNumberPrecision(3);
    out << "  ratio software/wire (median): " << medianUs / wireUs << " (goal <= 0.250)\n";

    comm.close();
    QMetaObject::invokeMethod(
        server, [server]() { delete server; }, Qt::BlockingQueuedConnection);
    farThread.quit();
    farThread.wait();
    return failures == 0 ? 0 : 1;
}
