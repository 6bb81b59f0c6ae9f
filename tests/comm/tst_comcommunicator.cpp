#include "comm/clcommunicator.h"
#include "comm/clseriallibrary.h"
#include "comm/comcommunicator.h"
#include "comm/console.h"
#include "comm/metatypes.h"
#include "ptycamerafixture.h"
#include "tests/common/datatable.h"
#include "tools/mfxsimclserial/simclcontrol.h"

#include <QElapsedTimer>
#include <QtTest>

#include <ctime>

namespace {
QStringList capturedMessages;
QtMessageHandler previousHandler = nullptr;

void captureMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    capturedMessages.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

bool failedReadLogged()
{
    return !capturedMessages.filter(QStringLiteral("Failed to read all but received: ")).isEmpty();
}

const QVariantList failed { QStringLiteral("failed") };

// One blocking exchange as the value engine makes it: the reply's values, or "failed".
QVariantList exchange(
    AbstractCommunicator &comm, const QByteArray &cmd, const QVariantList &args = {})
{
    QVariantList reply;
    if (comm.sendCommand(QStringLiteral("t"), cmd, args, reply, 750, cmd.endsWith('?'))
        != AbstractCommunicator::Success)
        return failed;
    return reply;
}

// A request that fails without waiting for the camera's time limit.
bool failsAtOnce(AbstractCommunicator &comm)
{
    QElapsedTimer clock;
    clock.start();
    return exchange(comm, "ERR?") == failed && clock.elapsed() < 400;
}

// The serial port (a pseudo-terminal) or a Camera Link port of the simulated library, with
// the simulated camera on the far side.
enum Transport { Tty, Link };
SimClControl::Camera linkCamera = nullptr;
SimClControl::PendingAnswers linkPending = nullptr;
SimClControl::SetUnplugged linkUnplug = nullptr;
SimClControl::ThrowOnNextCall linkThrow = nullptr;
const QString linkPort = QStringLiteral("MfxSimLink - port0");

struct FarSide
{
    FarSide(int transport, const QString &name)
        : pty(transport == Tty ? new PtyCameraFixture(name) : nullptr)
    { }
    SimulatedCamera &camera() { return pty ? pty->camera() : *linkCamera(0); }
    int pendingAnswers() { return pty ? pty->server()->pendingAnswers() : linkPending(0); }
    std::unique_ptr<AbstractCommunicator> communicator()
    {
        if (pty)
            return std::make_unique<ComCommunicator>(pty->path());
        return std::make_unique<CLCommunicator>(linkPort);
    }
    std::unique_ptr<PtyCameraFixture> pty;
};

// Starts the tty simulator and returns the device path it announces on its first line.
QString startTool(QProcess &tool, const QStringList &args)
{
    tool.start(QStringLiteral(MFXTTYCAMERA_PATH), args);
    while (!tool.canReadLine() && tool.waitForReadyRead(5000)) { }
    return QString::fromLocal8Bit(tool.readLine()).trimmed();
}
} // namespace

class TestComCommunicator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        previousHandler = qInstallMessageHandler(captureMessages);
        qputenv(CLSerialLibrary::PathVariable, MFXSIMCLSERIAL_PATH);
        qputenv("MARNIFEX_SIMCL_CAMERAS", "Link,Second,Broken");
        qputenv("MARNIFEX_SIMCL_BROKEN_INFO", "2");
        QLibrary simulation(QStringLiteral(MFXSIMCLSERIAL_PATH));
        linkCamera = reinterpret_cast<SimClControl::Camera>(simulation.resolve("mfxSimClCamera"));
        linkPending = reinterpret_cast<SimClControl::PendingAnswers>(
            simulation.resolve("mfxSimClPendingAnswers"));
        linkUnplug = reinterpret_cast<SimClControl::SetUnplugged>(
            simulation.resolve("mfxSimClSetUnplugged"));
        linkThrow = reinterpret_cast<SimClControl::ThrowOnNextCall>(
            simulation.resolve("mfxSimClThrowOnNextCall"));
        QVERIFY(linkCamera && linkPending && linkUnplug && linkThrow);
    }

    void init()
    {
        capturedMessages.clear();
        linkCamera(0)->clearFaults();
        linkCamera(0)->clearReceivedCommands();
        linkCamera(0)->setIdentification(QByteArray());
    }

    void faultMatrix_data()
    {
        // logged: whether the bytes of the failed read are logged. The port stays online exactly
        // when the exchange succeeds.
        columns<int, QByteArray, int, int, int, int, QVariantList, int, bool>({ "transport",
            "command", "fault", "delayMs", "retries", "result", "args", "attempts", "logged" });
        using C = SimulatedCamera;
        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        const QVariantList value { 123 };
        for (int transport : { Tty, Link }) {
            // The Camera Link transport logs no bytes of an incomplete reply.
            const bool tty = transport == Tty;
            auto row = [&](const char *name, int fault, int delayMs, int retries, int result,
                           const QVariantList &args, int attempts, bool logged = false,
                           const char *command = "GAI?") {
                QTest::addRow("%s: %s", tty ? "tty" : "cl", name)
                    << transport << QByteArray(command) << fault << delayMs << retries << result
                    << args << attempts << logged;
            };
            row("ACK ends a set at once", C::NoFault, 0, 0, ok, {}, 1, false, "GAI5");
            row("no reply, no message", C::NoAnswer, 0, 0, fail, {}, 1);
            row("reply only to the retry", C::NoAnswer, 0, 2, ok, value, 2);
            row("ACK alone waits, then passes", C::Truncated, 0, 0, ok, {}, 1);
            row("garbage, logged", C::Garbage, 0, 0, fail, {}, 1, tty);
            row("reply after the limit", C::Delayed, 900, 0, fail, {}, 1);
            row("data part after the limit", C::LateTail, 900, 0, ok, {}, 1);
            row("late reply, then the retry answered", C::Delayed, 900, 1, ok, value, 2);
        }
    }

    void faultMatrix()
    {
        QFETCH(int, transport);
        QFETCH(QByteArray, command);
        QFETCH(int, fault);
        QFETCH(int, delayMs);
        QFETCH(int, retries);
        QFETCH(int, result);
        QFETCH(QVariantList, args);
        QFETCH(int, attempts);
        QFETCH(bool, logged);

        FarSide far(transport, QStringLiteral("Matrix"));
        far.camera().setValue(QStringLiteral("GAI"), "123");
        far.camera().setValue(QStringLiteral("OFS"), "-9");
        std::unique_ptr<AbstractCommunicator> communicator = far.communicator();
        AbstractCommunicator &comm = *communicator;
        comm.setOnline(true); // as after earlier exchanges, so that the retry policy applies
        comm.setRetries(retries);
        far.camera().queueFault(SimulatedCamera::FaultKind(fault), delayMs);

        QSignalSpy replies(&comm, &AbstractCommunicator::receivedReply);
        QElapsedTimer clock;
        clock.start();
        timespec cpuBefore {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuBefore);
        comm.sendCommandEvent(QStringLiteral("gain"), command, {}, command.endsWith('?'));
        const qint64 elapsed = clock.elapsed();
        timespec cpuAfter {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuAfter);
        // An ACK ends a set at once; a query's first attempt runs to its time limit here.
        const int first = AbstractCommunicator::FirstAttemptTimeoutMs;
        QVERIFY2(command.endsWith('?') ? elapsed >= first - 5 : elapsed < first,
            qPrintable(QString::number(elapsed)));
        // Waiting for the camera does not spin.
        const double cpuMs = (cpuAfter.tv_sec - cpuBefore.tv_sec) * 1e3
            + (cpuAfter.tv_nsec - cpuBefore.tv_nsec) / 1e6;
        QVERIFY2(cpuMs < elapsed / 10.0 + 5, qPrintable(QString::number(cpuMs)));
        QVERIFY2(elapsed < first + retries * AbstractCommunicator::RetryTimeoutMs + 300,
            qPrintable(QString::number(elapsed)));
        QCOMPARE(replies.count(), 1);
        QCOMPARE(int(replies.first().at(2).value<AbstractCommunicator::Result>()), result);
        QCOMPARE(replies.first().at(3).toList(), args);
        QCOMPARE(comm.isOnline(), result == AbstractCommunicator::Success);
        QCOMPARE(failedReadLogged(), logged);
        if (logged)
            QVERIFY(
                capturedMessages.contains(QStringLiteral(" 127 35 103 97 114 98 97 103 101 -2")));

        // Whatever the camera still sends for the old request must not be taken for the next
        // reply: wait until everything scripted has been sent, then ask something else.
        QTRY_COMPARE(far.pendingAnswers(), 0);
        QCOMPARE(exchange(comm, "OFS?"), QVariantList { -9 });
        const QList<QByteArray> asked = QVector<QByteArray>(attempts, command).toList();
        QCOMPARE(far.camera().receivedCommands(), asked + QList<QByteArray> { "OFS?" });
    }

    void hangUpAndReturn()
    {
        PtyCameraFixture far(QStringLiteral("Plug"));
        ComCommunicator comm(far.path());
        QCOMPARE(exchange(comm, "ERR?"), QVariantList { 0 });
        QSignalSpy online(&comm, &AbstractCommunicator::onlineStateChanged);
        auto *port = comm.findChild<QSerialPort *>();
        QVERIFY(port);
        QSignalSpy errors(port, &QSerialPort::errorOccurred);

        // While idle: the event loop notices the hang-up, closes the port and reports offline once.
        far.hangUp();
        QVERIFY(online.wait(2000));
        QCOMPARE(online.first().at(1).toBool(), false);
        QVERIFY(!comm.isOpen());
        for (int i = 0; i < 100; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(online.count(), 1);
        // No storm: the error is reported once or twice before the port is closed, then never.
        QVERIFY2(errors.count() <= 3, qPrintable(QString::number(errors.count())));
        // The device returns under the same name: the same communicator works again.
        QVERIFY(far.reopen());
        QCOMPARE(exchange(comm, "ID?"), QVariantList { QStringLiteral("VirtualDevice-Plug") });
        QCOMPARE(online.count(), 2);

        // In the middle of an exchange: the request fails at once.
        far.camera().queueFault(SimulatedCamera::NoAnswer);
        far.hangUpAtNextCommand();
        QVERIFY(failsAtOnce(comm));
        QVERIFY(!comm.isOpen());
        QCOMPARE(online.count(), 3);
        QCOMPARE(online.last().at(1).toBool(), false);
        // While the device is away each request fails at once without a storm of signals.
        QVERIFY(failsAtOnce(comm));
        QCoreApplication::processEvents();
        QCOMPARE(online.count(), 3);
        QVERIFY(far.reopen());
        QCOMPARE(exchange(comm, "ERR?"), QVariantList { 0 });
        QCOMPARE(online.count(), 4);
    }

    // A missing device fails quietly. One the user may not open (injected: the tests run as
    // root) is said once, with the group.
    void unopenableDevices()
    {
        ComCommunicator missing(QStringLiteral("/nonexistent/ttyMFX9"));
        QVERIFY(!missing.open());
        QCOMPARE(exchange(missing, "ID?"), failed);
        QVERIFY(!missing.writeFrame("@ID?\r"));
        QByteArray out;
        QVERIFY(!missing.readReply(out, 10, true));
        QVERIFY(!missing.hasCamera());
        QVERIFY(!failedReadLogged());

        class DeniedPort : public ComCommunicator
        {
        public:
            using ComCommunicator::ComCommunicator;

        protected:
            bool openDevice(QSerialPort::SerialPortError *error) override
            {
                *error = QSerialPort::PermissionError;
                return false;
            }
        };
        const QString text("No permission to open /nonexistent/ttyUSB7: add your user to the group "
                           "dialout (sudo usermod -aG dialout $USER) and log in again.");
        DeniedPort alone(QStringLiteral("/nonexistent/ttyUSB7"));
        QTest::ignoreMessage(QtWarningMsg, qPrintable(text));
        QVERIFY(!alone.open());
        QVERIFY(!alone.open());
        // With the console, in its pane and, through it, in the debug log.
        capturedMessages.clear();
        Console console(nullptr);
        QSignalSpy lines(&console, &Console::lineLogged);
        DeniedPort port(QStringLiteral("/nonexistent/ttyUSB7"));
        QCOMPARE(exchange(port, "ID?"), failed);
        QVERIFY(!port.open());
        QCOMPARE(lines.count(), 1);
        QCOMPARE(lines.first().first().toString(), text);
        QCOMPARE(capturedMessages.filter(text), QStringList { "Console: " + text });
    }

    // A device held by another program is no matter of groups.
    void busyPortSaidInUse()
    {
        PtyCameraFixture far(QStringLiteral("Busy"));
        ComCommunicator holder(far.path());
        QVERIFY(holder.open());
        ComCommunicator second(far.path());
        QTest::ignoreMessage(QtWarningMsg,
            qPrintable(
                QStringLiteral("Cannot open %1: another program is using it.").arg(far.path())));
        QVERIFY(!second.open());
    }

    void identificationLength_data()
    {
        columns<int, QByteArray, bool>({ "transport", "identification", "camera" });
        for (int transport : { Tty, Link }) {
            const char *name = transport == Tty ? "tty" : "cl";
            QTest::addRow("%s: four characters", name) << transport << QByteArray("AB12") << false;
            QTest::addRow("%s: five characters", name) << transport << QByteArray("AB123") << true;
        }
    }

    void identificationLength()
    {
        QFETCH(int, transport);
        QFETCH(QByteArray, identification);
        QFETCH(bool, camera);
        FarSide far(transport, QStringLiteral("Len"));
        far.camera().setIdentification(identification);
        std::unique_ptr<AbstractCommunicator> comm = far.communicator();
        QVERIFY(comm->open());
        QCOMPARE(comm->hasCamera(), camera);
        // Asking a tty for low-latency mode: a pseudo-terminal refuses, and that changes nothing.
        QCOMPARE(
            capturedMessages.filter(QStringLiteral("Low-latency mode not available on ")).size(),
            transport == Tty ? 1 : 0);
    }

    void linkLibrary()
    {
        // Unset: the system's search. A relative path is refused: resolved against the working
        // directory, it would load whatever file lies there.
        QCOMPARE(CLSerialLibrary::location(QByteArray()), QStringLiteral("clallserial"));
        QCOMPARE(CLSerialLibrary::location("/opt/grabber/libcl.so"),
            QStringLiteral("/opt/grabber/libcl.so"));
        QCOMPARE(CLSerialLibrary::location("libclallserial.so"), QString());

        // Three ports; the third one's info fails and is reported empty.
        QCOMPARE(CLCommunicator::portCount(), 3u);
        QStringList ports; // manufacturer|name|version
        for (unsigned index = 0; index < 3; ++index) {
            QByteArray manufacturer, name;
            unsigned version = 7;
            CLCommunicator::portInfo(index, manufacturer, name, version);
            ports.append(manufacturer + '|' + name + '|' + QByteArray::number(version));
        }
        QCOMPARE(ports,
            (QStringList {
                "MfxSimLink|" + linkPort + "|1", "MfxSimLink|MfxSimLink - port1|1", "||0" }));
        QVERIFY(capturedMessages.contains(QStringLiteral("getConnectorInfo failed: -2")));

        CLCommunicator comm(linkPort);
        QVERIFY(comm.open());
        QVERIFY(!comm.open()); // already open: refused, the handle stays
        QCOMPARE(exchange(comm, "ERR?"), QVariantList { 0 });

        // A library that throws fails the call that threw, and nothing else.
        linkThrow(0);
        QCOMPARE(exchange(comm, "ERR?"), failed);
        QVERIFY(capturedMessages.contains(
            QStringLiteral("clSerialWrite or clFlushPort threw an exception.")));
        linkThrow(0);
        QVERIFY(!comm.open());
        QVERIFY(capturedMessages.contains(
            QStringLiteral("clSerialInit or clSetBaudRate threw an exception")));
        QCOMPARE(exchange(comm, "ERR?"), QVariantList { 0 });

        // Unplugged, every request fails at once; plugged in again, the same port works.
        linkUnplug(0, true);
        QVERIFY(failsAtOnce(comm) && failsAtOnce(comm));
        QVERIFY(!comm.isOnline());
        linkUnplug(0, false);
        QCOMPARE(exchange(comm, "ID?"), QVariantList { QStringLiteral("VirtualDevice-Link") });
        QVERIFY(comm.isOnline());
    }

    void toolServesCamera_data()
    {
        QTest::addColumn<bool>("givenTty");
        QTest::newRow("own pseudo-terminal") << false;
        QTest::newRow("tty given, end of a socat pair") << true;
    }

    void toolServesCamera()
    {
        QFETCH(bool, givenTty);
        QTemporaryDir dir;
        const QString cameraEnd = dir.path() + QStringLiteral("/ttyCAM");
        QString programEnd = dir.path() + QStringLiteral("/ttyAPP");
        const QString state
            = qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/XML/VirtualDevice-Demo.state";
        QProcess pair;
        QProcess tool;
        if (givenTty) {
            const QString socat = QStandardPaths::findExecutable(QStringLiteral("socat"));
            if (socat.isEmpty())
                QSKIP("socat is not installed");
            pair.start(socat,
                { QStringLiteral("pty,raw,echo=0,link=") + cameraEnd,
                    QStringLiteral("pty,raw,echo=0,link=") + programEnd });
            QVERIFY(pair.waitForStarted(5000));
            QTRY_VERIFY(QFile::exists(cameraEnd) && QFile::exists(programEnd));
            QCOMPARE(startTool(tool, { cameraEnd, QStringLiteral("-n"), "Tool", "--state", state }),
                cameraEnd);
        } else {
            programEnd
                = startTool(tool, { QStringLiteral("--pty"), "--name", "Tool", "-s", state });
            QVERIFY(programEnd.startsWith(QLatin1Char('/')));
        }

        ComCommunicator comm(programEnd);
        QCOMPARE(exchange(comm, "GAI?"), QVariantList { 120 });
        // Several exchanges: the tool must keep serving after its input has been drained.
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(exchange(comm, "OFS", { i }), QVariantList());
            QCOMPARE(exchange(comm, "OFS?"), QVariantList { i });
        }
        QCOMPARE(comm.cameraId(), QByteArray("VirtualDevice-Tool"));
        QCOMPARE(tool.state(), QProcess::Running);
        comm.close();
        tool.terminate();
        QVERIFY(tool.waitForFinished(5000));
    }

    // A file where the link should go stays the user's.
    void toolKeepsFileInPlaceOfLink()
    {
        QTemporaryDir dir;
        QFile notes(dir.filePath(QStringLiteral("notes")));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("mine") == 4 && notes.flush());
        QProcess tool;
        tool.start(QStringLiteral(MFXTTYCAMERA_PATH), { "--pty", "-l", notes.fileName() });
        QVERIFY(tool.waitForFinished(5000));
        QCOMPARE(tool.exitCode(), 1);
        QVERIFY(notes.exists() && notes.size() == 4);
    }
};

QTEST_GUILESS_MAIN(TestComCommunicator)
#include "tst_comcommunicator.moc"
