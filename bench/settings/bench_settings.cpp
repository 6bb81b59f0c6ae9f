// Saving and loading a camera settings file of 1,000 persistent values through the parameter
// tree, the camera database, the communication thread and the serial transport to the simulated
// camera of the tty tool on a pseudo-terminal. The save starts with nothing cached, so every value
// is read from the camera; the load goes into a camera that holds other values, so every value is
// set (and read back). A pseudo-terminal adds no line delay, so the measured time is the
// software's own share; it is printed next to the time the bytes that crossed the terminal would
// need on a real line at 57600 baud with 10 bits per byte.

#include "app/appsettings.h"
#include "bench/benchcamera.h"
#include "comm/comcommunicator.h"
#include "comm/commandqueue.h"
#include "comm/metatypes.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/standarditemmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <ctime>
#include <functional>

namespace {

constexpr int kValues = 1000;

// Three letters per value: the simulated camera takes letters as the command name.
QString code(int i)
{
    return QString(QChar('A' + i / 676)) + QChar('A' + i / 26 % 26) + QChar('A' + i % 26);
}

QByteArray description()
{
    QString commands;
    QString elements;
    for (int i = 0; i < kValues; ++i) {
        const QString c = code(i);
        const QString param = QStringLiteral("<Int><Id>p%1</Id></Int>").arg(c);
        commands += QStringLiteral("<Command><Id>c%1</Id><Code>%1</Code><CachedUpdate>False"
                                   "</CachedUpdate><DeveloperOnly>False</DeveloperOnly>"
                                   "<ParamsSet>%2</ParamsSet><ParamsGet/><ReturnValueSet/>"
                                   "<ReturnValueGet>%2</ReturnValueGet></Command>")
                        .arg(c, param);
        elements += QStringLiteral("<DisplayElement><Name>Value %1</Name><Group>G%2</Group>"
                                   "<Visibility>Beginner</Visibility><AccessMode>RW</AccessMode>"
                                   "<Cacheable>True</Cacheable><Persistent>True</Persistent>"
                                   "<Integer><MinimumValue>0</MinimumValue><MaximumValue>100000"
                                   "</MaximumValue><Increment>1</Increment><Reference>p%1"
                                   "</Reference></Integer></DisplayElement>")
                        .arg(c)
                        .arg(i / 50);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><CameraDescription "
                          "MajorVersion=\"1\" MinorVersion=\"0\" SubMinorVersion=\"0\" "
                          "ModelName=\"Bench\" Supported=\"B\" VendorName=\"Bench\"><CommandSet>%1"
                          "</CommandSet><Display><Groups/><DisplayElements>%2</DisplayElements>"
                          "</Display></CameraDescription>")
        .arg(commands, elements)
        .toUtf8();
}

/// Runs the event loop until done() holds; false when it does not within the limit.
bool waitFor(const std::function<bool()> &done, int limitMs = 60000)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    poll.start(1);
    loop.exec();
    return done();
}

} // namespace

int main(int argc, char *argv[])
{
    // The tree's progress dialog and message boxes need a platform, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MetaTypes::registerAll();
    AppSettings::instance().updateDelay = 0; // no periodic refresh in between
    QTextStream out(stdout);
    QTextStream err(stderr);

    BenchCamera line(QStringLiteral("Bench"));
    CommunicationThreadObject *comm = line.startCommunication();
    if (!comm)
        return 1;

    QTemporaryDir dir;
    const QString descriptionPath = dir.filePath(QStringLiteral("bench.xml"));
    QFile descriptionFile(descriptionPath);
    if (!descriptionFile.open(QIODevice::WriteOnly) || descriptionFile.write(description()) < 0) {
        err << "Cannot write " << descriptionPath << '\n';
        return 1;
    }
    descriptionFile.close();
    CameraDescriptionFile camera(descriptionPath);
    CameraDatabase database(comm);
    ModelHiddenItemFilter filter;
    StandardItemModel tree(&filter);
    filter.setSourceModel(&tree);
    // A new description empties the value cache, as connecting another camera does.
    const auto connectCamera = [&] {
        database.setDescription(&camera, QStringLiteral("Bench"), QStringLiteral("B"));
        tree.loadDescription(&database, &camera);
    };
    const auto holdValues = [&](int offset) {
        for (int i = 0; i < kValues; ++i)
            line.camera().setValue(code(i), QByteArray::number(offset + i));
    };

    // Warm-up: opens the port.
    connectCamera();
    database.getValueWait(QStringLiteral("pAAA"));

    holdValues(10000);
    connectCamera();
    const QString settingsPath = dir.filePath(QStringLiteral("bench.cdt"));
    const quint64 bytesBefore = line.server()->bytesReceived() + line.server()->bytesSent();
    std::clock_t cpu = std::clock();
    QElapsedTimer clock;
    clock.start();
    const bool saved = tree.saveSettings(
        settingsPath, QStringLiteral("Bench"), QStringLiteral("B"), QStringLiteral("Bench-B"));
    const qint64 saveNs = clock.nsecsElapsed();
    std::clock_t cpuTicks = std::clock() - cpu;
    const quint64 saveBytes
        = line.server()->bytesReceived() + line.server()->bytesSent() - bytesBefore;

    holdValues(20000);
    connectCamera();
    const int handledBefore = line.camera().receivedCommandCount();
    // Done when every set has gone out and every value has been read back.
    const auto settled = [&] {
        if (comm->queue()->size() > 0 || comm->queue()->isExchangeRunning())
            return false;
        for (int i = 0; i < kValues; ++i) {
            if (database.valueState(QLatin1Char('p') + code(i))
                != CameraDatabase::ValueState::Cached)
                return false;
        }
        return true;
    };
    cpu = std::clock();
    clock.restart();
    const bool loaded = tree.loadSettings(
        settingsPath, QStringLiteral("Bench"), QStringLiteral("B"), QStringLiteral("Bench-B"));
    const bool finished = loaded && waitFor(settled);
    const qint64 loadNs = clock.nsecsElapsed();
    cpuTicks += std::clock() - cpu;
    const double cpuMs = double(cpuTicks) * 1000.0 / CLOCKS_PER_SEC;
    const quint64 loadBytes
        = line.server()->bytesReceived() + line.server()->bytesSent() - bytesBefore - saveBytes;
    const int loadCommands = line.camera().receivedCommandCount() - handledBefore;

    const CameraSettingsFile file = [&] {
        CameraSettingsFile f;
        f.load(settingsPath);
        return f;
    }();
    bool correct = saved && finished && file.items().size() == kValues;
    for (int i = 0; i < kValues && correct; ++i) {
        const QByteArray expected = QByteArray::number(10000 + i);
        correct = file.items().at(i).text == QString::fromLatin1(expected)
            && line.camera().value(code(i)) == expected;
    }

    const auto wireMs
        = [](quint64 bytes) { return bytes * 10 * 1000.0 / ComCommunicator::BaudRate; };
    const double softwareMs = (saveNs + loadNs) / 1e6;
    const double wire = wireMs(saveBytes + loadBytes);
    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(1);
    out << "Settings file of " << kValues << " persistent values through the tree, the camera "
        << "database, the communication thread, the serial transport and a pseudo-terminal"
        << (correct ? "" : " (WRONG)") << '\n';
    out << "  save (every value read):  " << saveNs / 1e6 << " ms, " << saveBytes
        << " bytes on the line, wire time " << wireMs(saveBytes) << " ms\n";
    out << "  load (every value set):   " << loadNs / 1e6 << " ms, " << loadBytes << " bytes, "
        << loadCommands << " requests, wire time " << wireMs(loadBytes) << " ms\n";
    out << "processor time of the whole process (the simulated camera included): " << cpuMs
        << " ms\n";
    out << "software time: " << softwareMs << " ms\n";
    out << "wire time at 57600 baud, 10 bits per byte: " << wire << " ms\n";
    out.setRealNumberPrecision(3);
    out << "ratio: " << softwareMs / wire << '\n';

    return correct ? 0 : 1;
}
