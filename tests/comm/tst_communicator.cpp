// The line protocol, the simulated camera behind a port, the retry policy and port failures of
// a communicator, the command queue in front of it and the console on top.
#include "comm/abstractcommunicator.h"
#include "comm/commandqueue.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "comm/metatypes.h"
#include "comm/simulatedcamera.h"
#include "comm/simulatedcamerastate.h"
#include "comm/virtualcommunicator.h"
#include "tests/comm/threadsignalspy.h"
#include "tests/common/datatable.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

// A transport whose port operations fail or succeed as the test says, and which only records
// the exchanges a command queue dispatches to it.
class FakeCommunicator : public AbstractCommunicator
{
public:
    enum Step { Nothing, Open, Write, Read };
    Step failing = Nothing;
    QByteArray replyBytes;
    bool portOpen = false;
    QList<QueuedCommand> calls;

    bool open() override { return portOpen = failing != Open; }
    bool close() override
    {
        portOpen = false;
        return true;
    }
    bool isOpen() override { return portOpen; }
    bool hasCamera() override { return true; }
    QByteArray portName() override { return "FAKE1"; }
    bool writeFrame(const QByteArray &) override { return failing != Write; }
    bool readReply(QByteArray &out, int, bool) override
    {
        out = replyBytes;
        return failing != Read;
    }
    void sendCommandEventQueued(
        QString id, QByteArray cmd, QVariantList args, bool expectReply) override
    {
        calls.append({ this, id, cmd, args, expectReply });
    }
};

static QByteArray cr(const char *text)
{
    return QByteArray(text) + '\r';
}

// "id:command,arg,..." per entry; "!" marks an entry that expects no reply.
static QString describe(const QList<QueuedCommand> &calls)
{
    QStringList parts;
    for (const QueuedCommand &call : calls) {
        QString text = call.id + QLatin1Char(':') + QString::fromLatin1(call.command);
        for (const QVariant &arg : call.args)
            text += QLatin1Char(',') + arg.toString();
        if (!call.expectReply)
            text += QStringLiteral("!");
        parts.append(text);
    }
    return parts.join(QLatin1Char(' '));
}

// What the communication thread does when the last dispatched exchange replies.
static void reply(CommandQueue &queue, FakeCommunicator &comm)
{
    queue.finishExchange(&comm, comm.calls.last().id, comm.calls.last().command);
    queue.checkNext();
}

using Faults = QList<int>;

class TestCommunicator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        for (const char *name : { "CommStatus", "QextPortInfo", "AbstractCommunicator::Result",
                 "bool *", "QVariantList *" })
            QVERIFY2(QMetaType::isRegistered(QMetaType::type(name)), name);
        VirtualCommunicator::setDelayDivisor(0);
        VirtualCommunicator::addVirtualDevice(QStringLiteral("C"));
    }

    void cleanup() { mComm.reset(); }

    void retryPolicy_data()
    {
        columns<QByteArray, bool, int, Faults, int, int, QVariantList>(
            { "command", "online", "retries", "faults", "attempts", "result", "args" });

        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        using C = SimulatedCamera;
        auto row
            = [](const char *name, bool online, int retries, const Faults &faults, int attempts,
                  int result, const QVariantList &args = {}, const char *command = "GAI?") {
                  QTest::newRow(name) << QByteArray(command) << online << retries << faults
                                      << attempts << result << args;
              };
        const Faults never { C::NoAnswer, C::NoAnswer, C::NoAnswer };
        row("offline, no answer: one attempt", false, 2, { C::NoAnswer }, 1, fail);
        row("online, never answered: 1 + retries", true, 2, never, 3, fail);
        row("online, NAK then answer", true, 2, { C::NakAnswer }, 2, ok, { 123 });
        row("online, ACK without data counts as unsuccessful", true, 1,
            { C::Truncated, C::Truncated }, 2, ok);
        // In a description's code or constant it would make the camera see a second command.
        row("line end refused, never retried", true, 2, never, 0, fail, {}, "GAI1\r@EXP5");
    }

    void retryPolicy()
    {
        QFETCH(QByteArray, command);
        QFETCH(bool, online);
        QFETCH(int, retries);
        QFETCH(Faults, faults);
        QFETCH(int, attempts);
        QFETCH(int, result);
        QFETCH(QVariantList, args);

        VirtualCommunicator comm(QStringLiteral("Retry"));
        comm.camera().setValue(QStringLiteral("GAI"), "123");
        comm.setOnline(online);
        for (int fault : faults)
            comm.camera().queueFault(SimulatedCamera::FaultKind(fault));
        comm.setRetries(retries);

        QSignalSpy replies(&comm, &AbstractCommunicator::receivedReply);
        if (attempts == 0)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Not sent: .* GAI1\\[ETX\\]"));
        comm.sendCommandEvent(QStringLiteral("id-7"), command, {}, true);
        QCOMPARE(replies.count(), 1);
        QCOMPARE(replies.first().at(0).toString(), QStringLiteral("id-7"));
        QCOMPARE(replies.first().at(1).toByteArray(), command);
        QCOMPARE(int(replies.first().at(2).value<AbstractCommunicator::Result>()), result);
        QCOMPARE(replies.first().at(3).toList(), args);
        QCOMPARE(comm.camera().receivedCommands(), QVector<QByteArray>(attempts, command).toList());
    }

    void portFailures_data()
    {
        columns<int, QByteArray, QString, int, bool>(
            { "failing", "replyBytes", "message", "result", "openAfter" });
        using F = FakeCommunicator;
        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        QTest::newRow("open fails") << int(F::Open) << QByteArray() << QString() << fail << false;
        QTest::newRow("write fails")
            << int(F::Write) << QByteArray() << QStringLiteral("Failed to write to port: FAKE1")
            << fail << false;
        QTest::newRow("read fails")
            << int(F::Read) << QByteArray() << QStringLiteral("Failed to read from port: FAKE1")
            << fail << false;
        QTest::newRow("NAK keeps the port online")
            << int(F::Nothing) << QByteArray("\x15") << QString() << fail << true;
        QTest::newRow("ACK") << int(F::Nothing) << QByteArray("\x06") << QString() << ok << true;
    }

    void portFailures()
    {
        QFETCH(int, failing);
        QFETCH(QByteArray, replyBytes);
        QFETCH(QString, message);
        QFETCH(int, result);
        QFETCH(bool, openAfter);

        // The port stays online exactly when it stays open; the signal tells only of a change.
        for (const bool wasOnline : { false, true }) {
            FakeCommunicator comm;
            comm.setOnline(wasOnline);
            comm.failing = FakeCommunicator::Step(failing);
            comm.replyBytes = replyBytes;
            QSignalSpy online(&comm, &AbstractCommunicator::onlineStateChanged);
            if (!message.isEmpty())
                QTest::ignoreMessage(QtDebugMsg, message.toLatin1().constData());
            QVariantList reply;
            QCOMPARE(int(comm.sendCommand("x", "A", {}, reply, 10, false)), result);
            QCOMPARE(comm.isOpen(), openAfter);
            QCOMPARE(comm.isOnline(), openAfter);
            QCOMPARE(online.count(), wasOnline == openAfter ? 0 : 1);
            if (online.count() == 1) {
                QCOMPARE(online.first().at(0).value<AbstractCommunicator *>(), &comm);
                QCOMPARE(online.first().at(1).toBool(), openAfter);
            }
        }
    }

    void cameraIdCache()
    {
        VirtualCommunicator comm(QStringLiteral("Cache"));
        comm.camera().queueFault(SimulatedCamera::NakAnswer);
        QCOMPARE(comm.cameraId(), QByteArray());
        // Nothing cached after a failure: the next call asks again, the one after that does not.
        QCOMPARE(comm.cameraId(), QByteArray("VirtualDevice-Cache"));
        QCOMPARE(comm.cameraId(), QByteArray("VirtualDevice-Cache"));
        QCOMPARE(comm.camera().receivedCommands(), (QList<QByteArray> { "ID?", "ID?" }));

        // An answer without arguments leaves the identification as it was (empty here).
        VirtualCommunicator bare(QStringLiteral("Bare"));
        bare.camera().queueFault(SimulatedCamera::Truncated);
        QCOMPARE(bare.cameraId(), QByteArray());
    }

    // A queue check or an exchange asked for by another thread runs in the object's own thread.
    void callsFromOtherThreadsRunInOwnThread()
    {
        FakeCommunicator fake;
        CommandQueue queue;
        queue.appendCommand(&fake, "1", "A", {}, true);
        std::thread([&queue]() { queue.checkNext(); }).join();
        // Nothing was dispatched from the other thread; the queue's own thread does it.
        QCOMPARE(fake.calls.size(), 0);
        QTRY_COMPARE(fake.calls.size(), 1);

        QThread worker;
        worker.start();
        auto *comm = new VirtualCommunicator(QStringLiteral("Far"));
        comm->moveToThread(&worker);
        std::atomic<QThread *> exchangeThread { nullptr };
        connect(
            comm, &AbstractCommunicator::receivedReply, comm,
            [&exchangeThread]() { exchangeThread = QThread::currentThread(); },
            Qt::DirectConnection);
        comm->sendCommandEvent(QStringLiteral("far"), "ERR?", {});
        QTRY_COMPARE_WITH_TIMEOUT(exchangeThread.load(), &worker, 5000);
        QMetaObject::invokeMethod(comm, &QObject::deleteLater);
        worker.quit();
        worker.wait();
    }

    void buildFrame_data()
    {
        columns<QByteArray, QVariantList, QByteArray>({ "command", "args", "frame" });
        auto row = [](const char *name, const char *command, const QVariantList &args,
                       const char *frame) {
            QTest::newRow(name) << QByteArray(command) << args << cr(frame);
        };
        row("query without arguments", "ID?", {}, "@ID?");
        row("two integers", "XYZ", { 5, -3 }, "@XYZ5;-3");
        row("string then integer", "N", { QStringLiteral("x y"), 7 }, "@N\"x y7");
        row("integer then string", "N ", { 1, QStringLiteral("y") }, "@N 1;\"y");
        row("separator after a typed number removed", "GAI120;", {}, "@GAI120");
        // Only a separator after a number goes; one that is text stays.
        row("separator alone kept", ";", {}, "@;");
        row("separator in typed text kept", "UID\"Line;", {}, "@UID\"Line;");
        row("separator ending a string kept", "S", { QStringLiteral("a;") }, "@S\"a;");
        row("text constant as it is, numeric constant as a number", "ST",
            { QByteArray("ALL"), QByteArray("7") }, "@STALL7");
        row("latin-1 string", "S", { QStringLiteral("\u00e9") }, "@S\"\xe9");
    }

    void buildFrame()
    {
        QFETCH(QByteArray, command);
        QFETCH(QVariantList, args);
        QFETCH(QByteArray, frame);
        QCOMPARE(AbstractCommunicator::buildFrame(command, args), frame);
    }

    void parseReply_data()
    {
        columns<QByteArray, int, QVariantList>({ "reply", "result", "args" });
        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        // On failure the arguments are left as they were.
        const QVariantList kept { QStringLiteral("kept") };
        QTest::newRow("ack alone") << QByteArray("\x06") << ok << QVariantList();
        QTest::newRow("nak") << QByteArray("\x15@3\r") << fail << kept;
        QTest::newRow("nothing") << QByteArray() << fail << kept;
        QTest::newRow("data without ack") << cr("@12") << fail << kept;
        QTest::newRow("empty data part") << cr("\x06@") << ok << QVariantList();
        QTest::newRow("ack and data missing CR") << QByteArray("\x06@12") << ok << QVariantList();
        QTest::newRow("three numbers") << cr("\x06@12;-4;7") << ok << QVariantList { 12, -4, 7 };
        QTest::newRow("string") << cr("\x06@\"Model X") << ok
                                << QVariantList { QStringLiteral("Model X") };
        QTest::newRow("letter separator") << cr("\x06@12x34") << ok << QVariantList { 12, 34 };
        QTest::newRow("letters give zeros") << cr("\x06@abc") << ok << QVariantList { 0, 0, 0 };
        QTest::newRow("invalid sign run") << cr("\x06@+-;2") << ok << QVariantList { 0, 2 };
        QTest::newRow("string takes the rest")
            << cr("\x06@1;\"a;b 2") << ok << QVariantList { 1, QStringLiteral("a;b 2") };
        QTest::newRow("only the first data part")
            << QByteArray("\x06@1\r@2\r") << ok << QVariantList { 1 };
        QTest::newRow("bytes before ack") << cr("zz\x06@5") << ok << QVariantList { 5 };
        QTest::newRow("high byte ends a number") << cr("\x06@12\xb0"
                                                       "3")
                                                 << ok << QVariantList { 12, 3 };
        QTest::newRow("overflow gives zero") << cr("\x06@99999999999") << ok << QVariantList { 0 };
        // Separators after the last number end the payload; no phantom 0 is added.
        QTest::newRow("trailing separators") << cr("\x06@5; ") << ok << QVariantList { 5 };
        QTest::newRow("separators only") << cr("\x06@ ; ") << ok << QVariantList();
    }

    void parseReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, result);
        QFETCH(QVariantList, args);

        QVariantList decoded { QStringLiteral("kept") };
        QCOMPARE(int(AbstractCommunicator::parseReply(reply, decoded)), result);
        QCOMPARE(decoded, args);
        // QVariant compares 12 and "12" equal: check that integers come back as integers.
        for (int i = 0; i < args.size(); ++i)
            QCOMPARE(decoded.at(i).userType(), args.at(i).userType());
    }

    void camera_data()
    {
        using Bytes = QList<QByteArray>;
        // The start state is applied first; error is what parsing it says.
        columns<Bytes, QByteArray, QByteArray, QString>({ "writes", "output", "state", "error" });
        auto row = [](const char *name, const Bytes &writes, const QByteArray &output,
                       const QByteArray &state = {}, const QString &error = {}) {
            QTest::newRow(name) << writes << output << state << error;
        };

        row("noise before the frame", { "xx\r\x06@ERR?\r" }, cr("\x06@0"));
        row("frame split over writes", { "@ER", "R?", "\r" }, cr("\x06@0"));
        row("incomplete frame waits", { "@ID?" }, QByteArray());
        row("table rows by first argument", { "@LUT0;5\r@LUT1;6\r@LUT?0\r@LUT?\r@LUT?7\r" },
            "\x06\x06\x06@0;5\r\x06@1;6\r\x06@1;6\r");
        row("answers wait for the read", { cr("@A5"), cr("@A?") },
            QByteArray("\x06") + cr("\x06@5"));
        row("start state: set commands, CR LF, CR, blank lines", { "@GAI?\r@UID?\r@LUT?1\r" },
            "\x06@120\r\x06@\"Line 3\r\x06@1;7\r", "GAI120\r\n\r\nUID\"Line 3\rLUT1;7\n");
        row("start state raw, as a script: letter case kept", { cr("@GAI?") }, cr("\x06@"),
            "gai120");
        row("a query refuses the whole start state", { cr("@GAI?") }, cr("\x06@"), "GAI120\nGAI?\n",
            "line 2: GAI? is a query, not a set command");
    }

    void camera()
    {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, state);
        QFETCH(QString, error);

        // Through the port: what the camera answers waits there until it is read.
        VirtualCommunicator port(QStringLiteral("Bench"));
        QList<QByteArray> commands;
        QString problem;
        QCOMPARE(SimulatedCameraState::parse(state, &commands, &problem), error.isEmpty());
        QCOMPARE(problem, error);
        SimulatedCameraState::apply(commands, port.camera());
        for (const QByteArray &bytes : writes)
            QVERIFY(port.writeFrame(bytes));
        QByteArray all;
        QVERIFY(port.readReply(all, 0, true));
        QCOMPARE(all, output);
    }

    void waitingRequests_data()
    {
        // Each as "id:command,argument" (the form describe() writes; "!": no reply expected), a
        // request led by how it is queued: appended ("a"), or prepended with error check ("p") or
        // without ("q").
        columns<QString, QString>({ "requests", "dispatched" });
        auto row = [](const char *name, const char *requests, const char *dispatched) {
            QTest::newRow(name) << requests << dispatched;
        };
        row("newer duplicate replaces, at the newer place", "a1:X,1 a2:Y,2 a1:X,3", "2:Y,2 1:X,3");
        row("duplicate of the running exchange is sent again", "abusy:B,5", "busy:B,5");
        row("same id, other command kept", "a1:X,1 a1:Z,2", "1:X,1 1:Z,2");
        row("an entry expecting no reply holds the line until finished", "a1:A,1 a2:B,2! a3:C,3",
            "1:A,1 2:B,2! 3:C,3");
        row("console command overtakes waiting reads, then ERR?", "a1:X,1 a2:Y,2 p@Console:C,0",
            "@Console:C,0 @Console:ERR? 1:X,1 2:Y,2");
        row("prepend replaces a waiting duplicate", "a@Console:A,1 a2:Y,2 q@Console:A,3",
            "@Console:A,3 2:Y,2");
        row("two console commands in typed order", "a1:X,1 p@Console:GAI120,0 p@Console:GAI?,0",
            "@Console:GAI120,0 @Console:ERR? @Console:GAI?,0 @Console:ERR? 1:X,1");
        // The error checks of two console commands are duplicates of each other.
        row("only the first duplicate replaced", "p@Console:A,1 p@Console:B,2 a@Console:ERR?,9",
            "@Console:A,1 @Console:B,2 @Console:ERR? @Console:ERR?,9");
    }

    void waitingRequests()
    {
        QFETCH(QString, requests);
        QFETCH(QString, dispatched);

        FakeCommunicator comm;
        FakeCommunicator other;
        CommandQueue queue;
        // One exchange is under way while the requests come in.
        queue.appendCommand(&comm, "busy", "B", { 0 }, true);
        QCoreApplication::processEvents();
        QCOMPARE(describe(comm.calls), QStringLiteral("busy:B,0"));

        for (QString request : requests.split(' ')) {
            const bool expectReply = !request.endsWith('!');
            request.remove('!');
            const QString id = request.mid(1).section(':', 0, 0);
            const QByteArray command = request.section(':', 1).section(',', 0, 0).toLatin1();
            const QVariantList args { request.section(',', 1).toInt() };
            if (request.startsWith('a'))
                queue.appendCommand(&comm, id, command, args, expectReply);
            else
                queue.prependCommand(
                    &comm, id, command, args, expectReply, request.startsWith('p'));
        }
        // The checks posted by the adds find the line busy. Only the reply of the running
        // exchange's own communicator, id and command lets exactly the next entry go.
        QCoreApplication::processEvents();
        do {
            const QueuedCommand running = comm.calls.last();
            const int before = comm.calls.size();
            queue.finishExchange(&other, running.id, running.command);
            queue.finishExchange(&comm, running.id + 'x', running.command);
            queue.finishExchange(&comm, running.id, running.command + 'x');
            queue.checkNext();
            QCOMPARE(comm.calls.size(), before);
            reply(queue, comm);
        } while (queue.size() > 0);
        comm.calls.removeFirst();
        QCOMPARE(describe(comm.calls), dispatched);
        reply(queue, comm); // on an empty queue
        QVERIFY(!queue.isExchangeRunning());
    }

    void destroyedCommunicatorsAreDropped()
    {
        auto running = std::make_unique<FakeCommunicator>();
        auto waiting = std::make_unique<FakeCommunicator>();
        FakeCommunicator kept;
        CommandQueue queue;
        queue.appendCommand(running.get(), "1", "A", {}, true);
        queue.appendCommand(waiting.get(), "2", "B", {}, true);
        queue.appendCommand(&kept, "3", "C", {}, true);
        queue.appendCommand(&kept, "4", "D", {}, true);
        QCoreApplication::processEvents();
        QCOMPARE(running->calls.size(), 1);
        QVERIFY(kept.calls.isEmpty());

        // The entries of a communicator that is gone are dropped. The running exchange's reply will
        // never come; the queue goes on by itself, without a further add.
        waiting.reset();
        running.reset();
        QVERIFY(!queue.isExchangeRunning());
        QTRY_COMPARE(describe(kept.calls), QStringLiteral("3:C"));
        QCOMPARE(queue.size(), 1);
    }

    void typedLine_data()
    {
        // Leading letters are upper-cased; the rest is sent as typed. A command is queued ("!":
        // without reply) ahead of waiting reads, followed by ERR?; "" when nothing is queued.
        columns<QString, bool, QStringList, QString>({ "typed", "port", "logged", "queued" });
        QTest::newRow("query") << "gai?" << true << QStringList { "# GAI?" } << "GAI?";
        QTest::newRow("no leading letters")
            << "1abc" << true << QStringList { "# 1abc" } << "1abc!";
        QTest::newRow("rest unchanged")
            << "nAme\"abc?" << true << QStringList { "# NAME\"abc?" } << "NAME\"abc?!";
        QTest::newRow("digit before ?") << "lut2?" << true << QStringList { "# LUT2?" } << "LUT2?!";
        // A pasted line end would split the frame; the line edit shows it as a space.
        QTest::newRow("line ends")
            << "gai?\r\nexp 5" << true << QStringList { "# GAI?  exp 5" } << "GAI?  exp 5";
        QTest::newRow("no port") << "gai?" << false
                                 << QStringList { "# GAI?", "Error: No camera connected" } << "";
        QTest::newRow("empty line") << "" << true << QStringList() << "";
        // Latin-1 would send "GAIN?", a query the user never typed.
        QTest::newRow("outside Latin-1") << QStringLiteral("gain\u20ac") << true
                                         << QStringList { QStringLiteral("# gain\u20ac"),
                                                "Error: Characters outside Latin-1 cannot be sent" }
                                         << "";
    }

    void typedLine()
    {
        QFETCH(QString, typed);
        QFETCH(bool, port);
        QFETCH(QStringList, logged);
        QFETCH(QString, queued);

        Console console(comm());
        if (port)
            mComm->setCurrentPort(QStringLiteral("C"));
        QSignalSpy lines(&console, &Console::lineLogged);
        console.sendCommand(typed);
        QCOMPARE(texts(lines), logged);
        const QList<QueuedCommand> entries = mComm->queue()->entries();
        QCOMPARE(describe(entries),
            queued.isEmpty() ? QString() : "@Console:" + queued + " @Console:ERR?");
        for (const QueuedCommand &entry : entries)
            QVERIFY(entry.urgent);
    }

    void scriptLines()
    {
        // A line ends at LF, CR LF or a lone CR (never glued to the next); blank lines send
        // nothing; a "?" anywhere asks for a reply.
        QStringList sent;
        for (const auto &request :
            Console::scriptRequests("gai?\r\n\r\n\rlut 2?1\r\nexp5\rgai3\nID?"))
            sent.append(QString::fromLatin1(request.text) + (request.query ? "|1|" : "|0|")
                + QString::number(request.line));
        QCOMPARE(
            sent, (QStringList { "gai?|1|1", "lut 2?1|1|4", "exp5|0|5", "gai3|0|6", "ID?|1|7" }));
    }

    void consoleTraffic()
    {
        {
            Console console(comm());
            QCOMPARE(Console::instance(), &console);
            QSignalSpy spy(&console, &Console::lineLogged);
            // A console command's exchange and that of its error query both show.
            mComm->setCurrentPort(QStringLiteral("C"));
            ThreadSignalSpy replies(mComm.get(), &CommunicationThreadObject::receivedReply);
            console.sendCommand(QStringLiteral("err?"));
            QTRY_COMPARE(replies.count(), 2);
            QCOMPARE(texts(spy),
                (QStringList { "Current port set to: C", "# ERR?", "> [STX]ERR?[ETX]",
                    "< [ACK][STX]0[ETX]", "> [STX]ERR?[ETX]", "< [ACK][STX]0[ETX]" }));
            spy.clear();
            // Only the console's own traffic shows, unless debug output is on.
            for (const bool showAll : { false, true }) {
                console.setShowDebug(showAll);
                for (const QString id : { "@Console", "gain" }) {
                    Console::logSentData(id, QStringLiteral("@ID?\r"));
                    Console::logReceivedData(id, QStringLiteral("\x15"));
                }
            }
            // Traffic of another thread arrives in the console's. A line feed would break the
            // pane's one-line-per-message layout.
            QThread *seenIn = nullptr;
            connect(
                &console, &Console::lineLogged, &console,
                [&seenIn]() { seenIn = QThread::currentThread(); }, Qt::DirectConnection);
            std::thread([]() {
                Console::logSentData(QStringLiteral("@Console"), QStringLiteral("@A\nB\r"));
            }).join();
            QTRY_COMPARE(seenIn, QThread::currentThread());
            const QStringList exchange { "> [STX]ID?[ETX]", "< [NAK]" };
            QCOMPARE(
                texts(spy), exchange + exchange + exchange + QStringList { "> [STX]A B[ETX]" });
        }
        // Without a console, traffic goes nowhere and nothing breaks.
        QCOMPARE(Console::instance(), nullptr);
        Console::logSentData(QStringLiteral("@Console"), QStringLiteral("@A\r"));
    }

private:
    static QStringList texts(const QSignalSpy &spy)
    {
        QStringList list;
        for (const QList<QVariant> &signal : spy)
            list.append(signal.first().toString());
        return list;
    }

    // For the console. Without a thread the object stays in the test's thread, so the queue can be
    // inspected before the event loop dispatches anything.
    CommunicationThreadObject *comm()
    {
        mComm.reset(new CommunicationThreadObject(nullptr));
        mComm->setSerialPortScanning(false);
        mComm->startCommunication();
        return mComm.get();
    }

    std::unique_ptr<CommunicationThreadObject> mComm;
};

QTEST_GUILESS_MAIN(TestCommunicator)
#include "tst_communicator.moc"
