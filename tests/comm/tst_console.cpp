#include "comm/commandqueue.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "comm/virtualcommunicator.h"
#include "tests/comm/threadsignalspy.h"

#include <QtTest>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void typedLine_data();
    void typedLine();
    void refused_data();
    void refused();
    void scriptLines_data();
    void scriptLines();
    void errorQueryShowsTraffic();
    void trafficFilter();
    void logFromOtherThreadArrivesInConsoleThread();
    void instanceFollowsLifetime();

private:
    static QStringList texts(const QSignalSpy &spy);

    CommunicationThreadObject *mComm = nullptr;
};

void TestConsole::initTestCase()
{
    MetaTypes::registerAll();
    VirtualCommunicator::setDelayDivisor(0);
    VirtualCommunicator::addVirtualDevice(QStringLiteral("C"));
}

void TestConsole::init()
{
    // Without a thread the object stays in the test's thread, so the queue can be inspected
    // before the event loop dispatches anything.
    mComm = new CommunicationThreadObject(nullptr);
    mComm->setSerialPortScanning(false);
    mComm->startCommunication();
}

void TestConsole::cleanup()
{
    delete mComm;
    mComm = nullptr;
}

QStringList TestConsole::texts(const QSignalSpy &spy)
{
    QStringList list;
    for (const QList<QVariant> &signal : spy)
        list.append(signal.first().toString());
    return list;
}

void TestConsole::typedLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("query");
    QTest::addColumn<QString>("command");

    // Leading letters are upper-cased; the rest is sent as typed.
    QTest::newRow("query") << "gai?" << true << "GAI?";
    QTest::newRow("no leading letters") << "1abc" << false << "1abc";
    QTest::newRow("rest unchanged") << "nAme\"abc?" << false << "NAME\"abc?";
    QTest::newRow("digit before ?") << "lut2?" << false << "LUT2?";
    // A pasted line end would split the frame; the line edit shows it as a space.
    QTest::newRow("line ends") << "gai?\r\nexp 5" << true << "GAI?  exp 5";
}

void TestConsole::typedLine()
{
    QFETCH(QString, typed);
    QFETCH(bool, query);
    QFETCH(QString, command);

    Console console(mComm);
    mComm->setCurrentPort(QStringLiteral("C"));
    QSignalSpy lines(&console, &Console::lineLogged);
    console.sendCommand(typed);
    QCOMPARE(texts(lines), QStringList { "# " + command });

    const QList<QueuedCommand> entries = mComm->queue()->entries();
    QCOMPARE(entries.size(), 2);
    for (const QueuedCommand &entry : entries) {
        QCOMPARE(entry.id, QStringLiteral("@Console"));
        QVERIFY(entry.urgent);
    }
    QCOMPARE(entries.at(0).command, command.toLatin1());
    QCOMPARE(entries.at(0).expectReply, query);
    QCOMPARE(entries.at(1).command, QByteArray("ERR?"));
    QCOMPARE(entries.at(1).expectReply, true);
}

void TestConsole::refused_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("logged");

    QTest::newRow("no port") << ""
                             << "gai?" << QStringList { "# GAI?", "Error: No camera connected" };
    // Latin-1 would send "GAIN?", a query the user never typed.
    QTest::newRow("not Latin-1") << "C" << QStringLiteral("gain\u20ac")
                                 << QStringList { QStringLiteral("# gain\u20ac"),
                                        "Error: Characters outside Latin-1 cannot be sent" };
}

void TestConsole::refused()
{
    QFETCH(QString, port);
    QFETCH(QString, typed);
    QFETCH(QStringList, logged);

    Console console(mComm);
    mComm->setCurrentPort(port);
    QSignalSpy lines(&console, &Console::lineLogged);
    console.sendCommand(typed);
    console.sendCommand(QString());
    QCOMPARE(texts(lines).mid(texts(lines).size() - logged.size()), logged);
    QCOMPARE(mComm->queue()->size(), 0);
}

void TestConsole::scriptLines_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("requests");

    // Each line is sent as it is; a "?" anywhere asks for a reply.
    QTest::newRow("CRLF and blank lines")
        << QByteArray("gai?\r\n\r\n\rlut 2?1\r\n") << QStringList { "gai?|1", "lut 2?1|1" };
    QTest::newRow("LF, no end") << QByteArray("exp5\nID?") << QStringList { "exp5|0", "ID?|1" };
    // Lines ending in CR alone are lines too, not one command glued together.
    QTest::newRow("CR") << QByteArray("exp5\rgai3\r") << QStringList { "exp5|0", "gai3|0" };
}

void TestConsole::scriptLines()
{
    QFETCH(QByteArray, script);
    QFETCH(QStringList, requests);

    QStringList sent;
    for (const Console::Request &request : Console::scriptRequests(script))
        sent.append(QString::fromLatin1(request.text) + (request.query ? "|1" : "|0"));
    QCOMPARE(sent, requests);
}

void TestConsole::errorQueryShowsTraffic()
{
    Console console(mComm);
    QSignalSpy lines(&console, &Console::lineLogged);
    mComm->setCurrentPort(QStringLiteral("C"));
    ThreadSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);

    console.sendCommand(QStringLiteral("err?"));
    QTRY_COMPARE(replies.count(), 2);
    QCOMPARE(texts(lines),
        (QStringList { "Current port set to: C", "# ERR?", "> [STX]ERR?[ETX]", "< [ACK][STX]0[ETX]",
            "> [STX]ERR?[ETX]", "< [ACK][STX]0[ETX]" }));
}

void TestConsole::trafficFilter()
{
    Console console(mComm);
    QSignalSpy spy(&console, &Console::lineLogged);
    // Only the console's own traffic shows, unless debug output is on.
    for (const bool showAll : { false, true }) {
        console.setShowDebug(showAll);
        for (const QString id : { "@Console", "gain" }) {
            Console::logSentData(id, QStringLiteral("@ID?\r"));
            Console::logReceivedData(id, QStringLiteral("\x15"));
        }
    }
    const QStringList exchange { "> [STX]ID?[ETX]", "< [NAK]" };
    QCOMPARE(texts(spy), exchange + exchange + exchange);
}

void TestConsole::logFromOtherThreadArrivesInConsoleThread()
{
    Console console(mComm);
    QThread *seenIn = nullptr;
    connect(&console, &Console::lineLogged, &console,
        [&seenIn]() { seenIn = QThread::currentThread(); });
    QSignalSpy spy(&console, &Console::lineLogged);
    QThread *other = QThread::create(
        []() { Console::logSentData(QStringLiteral("@Console"), QStringLiteral("@A\nB\r")); });
    other->start();
    other->wait();
    delete other;
    QTRY_COMPARE(seenIn, QThread::currentThread());
    // A line feed would break the pane's one-line-per-message layout.
    QCOMPARE(texts(spy), QStringList { "> [STX]A B[ETX]" });
}

void TestConsole::instanceFollowsLifetime()
{
    QCOMPARE(Console::instance(), nullptr);
    {
        Console console(mComm);
        QCOMPARE(Console::instance(), &console);
    }
    QCOMPARE(Console::instance(), nullptr);
    // Without a console, traffic goes nowhere and nothing breaks.
    Console::logSentData(QStringLiteral("@Console"), QStringLiteral("@A\r"));
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
