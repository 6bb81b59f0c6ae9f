// Time to write a 4096-entry list through the whole value engine path (CameraDatabase::saveList,
// communication thread, serial transport, pseudo-terminal, simulated camera of the tty tool),
// next to the time the same bytes need on a real line at 57600 baud with 10 bits per byte.
// A pseudo-terminal adds no line delay, so the measured time is the software's own share.

#include "bench/benchcamera.h"
#include "comm/abstractcommunicator.h"
#include "comm/comcommunicator.h"
#include "comm/metatypes.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

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

    BenchCamera line(QStringLiteral("Bench"));
    CommunicationThreadObject *comm = line.startCommunication();
    if (!comm)
        return 1;

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
    line.camera().clearReceivedCommands();

    QElapsedTimer clock;
    clock.start();
    const bool completed = db.saveList(list, "lutIndex", "LutStart", "LutEnd", "lutValue");
    const qint64 elapsedNs = clock.nsecsElapsed();

    const QList<QByteArray> received = line.camera().receivedCommands();
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

    return correct ? 0 : 1;
}
