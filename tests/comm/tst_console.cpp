#include "comm/commandqueue.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "comm/virtualcommunicator.h"

#include <QtTest>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void controlBytes_data();
    void controlBytes();
    void typedLine_data();
    void typedLine();
    void noPortSelected();
    void errorQueryShowsThreeLines();
    void trafficFilter_data();
    void trafficFilter();
    void lineFeedsBecomeSpaces();
    void logFromOtherThreadArrivesInConsoleThread();
    void instanceFollowsLifetime();

private:
    CommunicationThreadObject *mComm = nullptr;
};

void TestConsole::initTestCase()
{
    MetaTypes::registerAll();
    VirtualCommunicator::setDelayDivisor(0);
    VirtualCommunicator::clearVirtualDevices();
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

void TestConsole::controlBytes_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("shown");
    QTest::newRow("frame") << QStringLiteral("@ERR?\r") << QStringLiteral("[STX]ERR?[ETX]");
    QTest::newRow("reply") << QStringLiteral("\x06@0\r") << QStringLiteral("[ACK][STX]0[ETX]");
    QTest::newRow("nak") << QStringLiteral("\x15") << QStringLiteral("[NAK]");
    QTest::newRow("plain") << QStringLiteral("abc;\"x") << QStringLiteral("abc;\"x");
}

void TestConsole::controlBytes()
{
    QFETCH(QString, raw);
    QFETCH(QString, shown);
    QCOMPARE(Console::visibleControlBytes(raw), shown);
}

void TestConsole::typedLine_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("query");

    QTest::newRow("query") << "gai?"
                           << "# GAI?" << QByteArray("GAI?") << true;
    QTest::newRow("set") << "gai 5"
                         << "# GAI 5" << QByteArray("GAI 5") << false;
    QTest::newRow("no leading letters") << "1abc"
                                        << "# 1abc" << QByteArray("1abc") << false;
    QTest::newRow("rest unchanged") << "nAme\"abc?"
                                    << "# NAME\"abc?" << QByteArray("NAME\"abc?") << false;
    QTest::newRow("digit before ?") << "lut2?"
                                    << "# LUT2?" << QByteArray("LUT2?") << false;
}

void TestConsole::typedLine()
{
    QFETCH(QString, typed);
    QFETCH(QString, logged);
    QFETCH(QByteArray, command);
    QFETCH(bool, query);

    Console console(mComm);
    mComm->setCurrentPort(QStringLiteral("C"));
    QSignalSpy lines(&console, &Console::lineLogged);
    console.sendCommand(typed);
    QCOMPARE(lines.count(), 1);
    QCOMPARE(lines.first().first().toString(), logged);

    const QList<QueuedCommand> entries = mComm->queue()->entries();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).id, QStringLiteral("@Console"));
    QCOMPARE(entries.at(0).command, command);
    QCOMPARE(entries.at(0).args, QVariantList());
    QCOMPARE(entries.at(0).expectReply, query);
    QCOMPARE(entries.at(1).id, QStringLiteral("@Console"));
    QCOMPARE(entries.at(1).command, QByteArray("ERR?"));
    QCOMPARE(entries.at(1).expectReply, true);
}

void TestConsole::noPortSelected()
{
    Console console(mComm);
    QSignalSpy lines(&console, &Console::lineLogged);
    console.sendCommand(QStringLiteral("gai?"));
    console.sendCommand(QString());
    QCOMPARE(lines.count(), 2);
    QCOMPARE(lines.at(0).first().toString(), QStringLiteral("# GAI?"));
    QCOMPARE(lines.at(1).first().toString(), QStringLiteral("Error: No camera connected"));
    QCOMPARE(mComm->queue()->size(), 0);
}

void TestConsole::errorQueryShowsThreeLines()
{
    Console console(mComm);
    QSignalSpy lines(&console, &Console::lineLogged);
    mComm->setCurrentPort(QStringLiteral("C"));
    QCOMPARE(lines.count(), 1);
    QCOMPARE(lines.first().first().toString(), QStringLiteral("Current port set to: C"));
    QSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);

    console.sendCommand(QStringLiteral("err?"));
    QTRY_COMPARE(replies.count(), 2);
    QStringList shown;
    for (const QList<QVariant> &line : qAsConst(lines))
        shown.append(line.first().toString());
    QCOMPARE(shown,
        (QStringList { "Current port set to: C", "# ERR?", "> [STX]ERR?[ETX]", "< [ACK][STX]0[ETX]",
            "> [STX]ERR?[ETX]", "< [ACK][STX]0[ETX]" }));
    QCOMPARE(replies.at(0).at(0).toString(), QStringLiteral("@Console"));
    QCOMPARE(replies.at(1).at(0).toString(), QStringLiteral("@Console"));
}

void TestConsole::trafficFilter_data()
{
    QTest::addColumn<bool>("showAll");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("lines");
    QTest::newRow("console id") << false << "@Console" << 2;
    QTest::newRow("engine id hidden") << false << "gain" << 0;
    QTest::newRow("probe hidden") << false << "@internal" << 0;
    QTest::newRow("debug shows engine id") << true << "gain" << 2;
    QTest::newRow("debug shows probe") << true << "@internal" << 2;
    QTest::newRow("case matters") << false << "@console" << 0;
}

void TestConsole::trafficFilter()
{
    QFETCH(bool, showAll);
    QFETCH(QString, id);
    QFETCH(int, lines);

    Console console(mComm);
    console.setShowDebug(showAll);
    QSignalSpy spy(&console, &Console::lineLogged);
    Console::logSentData(id, QStringLiteral("@ID?\r"));
    Console::logReceivedData(id, QStringLiteral("\x15"));
    QCOMPARE(spy.count(), lines);
    if (lines) {
        QCOMPARE(spy.at(0).first().toString(), QStringLiteral("> [STX]ID?[ETX]"));
        QCOMPARE(spy.at(1).first().toString(), QStringLiteral("< [NAK]"));
    }
}

void TestConsole::lineFeedsBecomeSpaces()
{
    Console console(mComm);
    QSignalSpy spy(&console, &Console::lineLogged);
    console.normalLog(QStringLiteral("a\nb\n"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toString(), QStringLiteral("a b "));
}

void TestConsole::logFromOtherThreadArrivesInConsoleThread()
{
    Console console(mComm);
    QThread *seenIn = nullptr;
    connect(&console, &Console::lineLogged, &console,
        [&seenIn]() { seenIn = QThread::currentThread(); });
    QThread *other = QThread::create(
        []() { Console::logSentData(QStringLiteral("@Console"), QStringLiteral("@A\r")); });
    other->start();
    other->wait();
    delete other;
    QTRY_VERIFY(seenIn != nullptr);
    QCOMPARE(seenIn, QThread::currentThread());
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
