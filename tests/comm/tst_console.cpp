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
    void initTestCase()
    {
        MetaTypes::registerAll();
        VirtualCommunicator::setDelayDivisor(0);
        VirtualCommunicator::addVirtualDevice(QStringLiteral("C"));
    }

    void init()
    {
        // Without a thread the object stays in the test's thread, so the queue can be inspected
        // before the event loop dispatches anything.
        mComm = new CommunicationThreadObject(nullptr);
        mComm->setSerialPortScanning(false);
        mComm->startCommunication();
    }

    void cleanup()
    {
        delete mComm;
        mComm = nullptr;
    }

    void typedLine_data()
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

    void typedLine()
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

    void refused()
    {
        Console console(mComm);
        QSignalSpy lines(&console, &Console::lineLogged);
        console.sendCommand(QStringLiteral("gai?"));
        console.sendCommand(QString());
        mComm->setCurrentPort(QStringLiteral("C"));
        // Latin-1 would send "GAIN?", a query the user never typed.
        console.sendCommand(QStringLiteral("gain\u20ac"));
        QCOMPARE(texts(lines),
            (QStringList { "# GAI?", "Error: No camera connected", "Current port set to: C",
                QStringLiteral("# gain\u20ac"),
                "Error: Characters outside Latin-1 cannot be sent" }));
        QCOMPARE(mComm->queue()->size(), 0);
    }

    void scriptLines()
    {
        // A line ends at LF, CR LF or a lone CR (never glued to the next); blank lines send
        // nothing; a "?" anywhere asks for a reply.
        QStringList sent;
        for (const auto &request :
            Console::scriptRequests("gai?\r\n\r\n\rlut 2?1\r\nexp5\rgai3\nID?"))
            sent.append(QString::fromLatin1(request.text) + (request.query ? "|1" : "|0"));
        QCOMPARE(sent, (QStringList { "gai?|1", "lut 2?1|1", "exp5|0", "gai3|0", "ID?|1" }));
    }

    void errorQueryShowsTraffic()
    {
        Console console(mComm);
        QSignalSpy lines(&console, &Console::lineLogged);
        mComm->setCurrentPort(QStringLiteral("C"));
        ThreadSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);

        console.sendCommand(QStringLiteral("err?"));
        QTRY_COMPARE(replies.count(), 2);
        QCOMPARE(texts(lines),
            (QStringList { "Current port set to: C", "# ERR?", "> [STX]ERR?[ETX]",
                "< [ACK][STX]0[ETX]", "> [STX]ERR?[ETX]", "< [ACK][STX]0[ETX]" }));
    }

    void trafficFilter()
    {
        QCOMPARE(Console::instance(), nullptr);
        {
            Console console(mComm);
            QCOMPARE(Console::instance(), &console);
            QSignalSpy spy(&console, &Console::lineLogged);
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
            connect(&console, &Console::lineLogged, &console,
                [&seenIn]() { seenIn = QThread::currentThread(); });
            QThread *other = QThread::create([]() {
                Console::logSentData(QStringLiteral("@Console"), QStringLiteral("@A\nB\r"));
            });
            other->start();
            other->wait();
            delete other;
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

    CommunicationThreadObject *mComm = nullptr;
};

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
