// Time to write a 4096-entry list through the whole value engine path (CameraDatabase::saveList,
// communication thread, serial transport, pseudo-terminal, simulated camera of the tty tool),
// next to the time the same bytes need on a real line at 57600 baud with 10 bits per byte.
// A pseudo-terminal adds no line delay, so the measured time is the software's own share.

#include "comm/abstractcommunicator.h"
#include "comm/comcommunicator.h"
#include "comm/communicationthreadobject.h"
#include "comm/metatypes.h"
#include "comm/ttycameraserver.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

CommandParameter intParam(const QString &id)
{
    CommandParameter p;
    p.type = CommandParameterType::Int;
    p.id = id;
    return p;
}

Command command(const QString &id, const QByteArray &code, const QList<CommandParameter> &set)
{
    Command c;
    c.id = id;
    c.code = code;
    c.paramsSet = set;
    return c;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    MetaTypes::registerAll();
    const int entries = argc > 1 ? qMax(16, QByteArray(argv[1]).toInt()) : 4096;
    QTextStream out(stdout);
    QTextStream err(stderr);

    // The simulated camera, served on a pseudo-terminal from a thread of its own.
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
        err << server->errorString() << '\n';
        return 1;
    }

    // The program's side: communication thread with the pseudo-terminal as the current port.
    QThread commThread;
    auto *comm = new CommunicationThreadObject(&commThread);
    comm->setSerialPortScanning(false);
    QObject::connect(
        &commThread, &QThread::started, comm, &CommunicationThreadObject::startCommunication);
    commThread.start();
    QMetaObject::invokeMethod(
        comm,
        [&]() {
            comm->startCommunication();
            comm->addSerialPort(link);
        },
        Qt::BlockingQueuedConnection);
    comm->setCurrentPort(link);
    if (comm->currentPort() != link) {
        err << "The pseudo-terminal was not listed as a port\n";
        return 1;
    }

    CameraDescriptionFile description;
    description.setModelName(QStringLiteral("Bench"));
    description.addCommand(command("Lut", "LUT", { intParam("lutIndex"), intParam("lutValue") }));
    description.addCommand(command("LutStart", "LS", {}));
    description.addCommand(command("LutEnd", "LE", {}));
    CameraDatabase db(comm);
    db.setDescription(&description, QStringLiteral("Bench"), QString());

    QStringList list;
    QByteArrayList frames { AbstractCommunicator::buildFrame("LS", {}) };
    for (int i = 0; i < entries; ++i) {
        const int value = (i * 37) % 4096;
        list << QString::number(value);
        frames << AbstractCommunicator::buildFrame("LUT", { i, value });
    }
    frames << AbstractCommunicator::buildFrame("LE", {});

    // Warm-up: opens the port.
    db.saveList({ "0" }, "lutIndex", QString(), QString(), "lutValue");
    server->camera().clearReceivedCommands();

    QElapsedTimer clock;
    clock.start();
    const bool completed = db.saveList(list, "lutIndex", "LutStart", "LutEnd", "lutValue");
    const qint64 elapsedNs = clock.nsecsElapsed();

    const QList<QByteArray> received = server->camera().receivedCommands();
    int bytes = 0;
    for (const QByteArray &frame : qAsConst(frames))
        bytes += frame.size() + 1; // each request is answered by one ACK byte
    const double wireMs = bytes * 10 * 1000.0 / ComCommunicator::BaudRate;
    const double elapsedMs = elapsedNs / 1e6;
    const bool correct = completed && received.size() == frames.size() && received.first() == "LS"
        && received.last() == "LE"
        && received.at(1) == "LUT0;" + QByteArray::number(list.first().toInt());

    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(1);
    out << "saveList of " << entries << " entries through CameraDatabase, communication thread, "
        << "serial transport and a pseudo-terminal: " << received.size() << " of " << frames.size()
        << " requests received" << (correct ? "" : " (WRONG)") << '\n';
    out << "  engine path " << elapsedMs << " ms (" << elapsedMs * 1000.0 / frames.size()
        << " us per request)\n";
    out << "  wire time of the same " << bytes
        << " bytes at 57600 baud, 10 bits per byte: " << wireMs << " ms\n";
    out.setRealNumberPrecision(3);
    out << "  ratio engine/wire: " << elapsedMs / wireMs << " (goal <= 0.250)\n";

    commThread.quit();
    commThread.wait();
    delete comm;
    QMetaObject::invokeMethod(
        server, [server]() { delete server; }, Qt::BlockingQueuedConnection);
    farThread.quit();
    farThread.wait();
    return correct ? 0 : 1;
}
