#include "comm/clseriallibrary.h"
#include "comm/comcommunicator.h"
#include "comm/commandqueue.h"
#include "comm/communicationthreadobject.h"
#include "comm/virtualcommunicator.h"
#include "tests/comm/threadsignalspy.h"
#include "tests/common/datatable.h"

#include <QtTest>

#include <tuple>

// Port name, status and model text of one statusUpdate.
using Records = QList<std::tuple<QString, int, QString>>;
const QString Link = QStringLiteral("MfxSimLink - port0");

enum CallerThread { OtherThread, OwnThread, NeverStarted, Finished };

class TestCommunicationThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        // One Camera Link port of the simulated library, listed before the simulated cameras.
        qputenv(CLSerialLibrary::PathVariable, MFXSIMCLSERIAL_PATH);
        qputenv("MARNIFEX_SIMCL_CAMERAS", "Link");
        // Reads wait 750 / 50 = 15 ms instead of 375 ms.
        VirtualCommunicator::setDelayDivisor(50);
        VirtualCommunicator::addVirtualDevice(QStringLiteral("Bench"));
        VirtualCommunicator::addVirtualDevice(QStringLiteral("Lab"));
    }

    void init()
    {
        mThread = new QThread;
        mComm = new CommunicationThreadObject(mThread);
        mComm->setSerialPortScanning(false);
        connect(mThread, &QThread::started, mComm, &CommunicationThreadObject::startCommunication);
        ThreadSignalSpy added(mComm, &CommunicationThreadObject::statusUpdate);
        QTest::ignoreMessage(QtDebugMsg, "Communication thread started.");
        mThread->start();
        QTRY_COMPARE(added.count(), 6);
        QCOMPARE(records(added),
            (Records { { Link, StatusAdded, "" }, { Link, StatusNoCamera, "" },
                { "Bench", StatusAdded, "" }, { "Bench", StatusNoCamera, "" },
                { "Lab", StatusAdded, "" }, { "Lab", StatusNoCamera, "" } }));
    }

    void cleanup()
    {
        mThread->quit();
        QVERIFY(mThread->wait(5000));
        delete mComm;
        delete mThread;
    }

    void discoveryFindsVirtualCameras()
    {
        ThreadSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
        mComm->startDiscovery();
        // startDiscovery reports every port as without camera first, from the caller's thread.
        QCOMPARE(records(status),
            (Records { { Link, StatusNoCamera, "" }, { "Bench", StatusNoCamera, "" },
                { "Lab", StatusNoCamera, "" } }));
        QTRY_COMPARE(status.count(), 6);
        QCOMPARE(records(status, 3),
            (Records { { Link, StatusCameraFound, "VirtualDevice-Link" },
                { "Bench", StatusCameraFound, "VirtualDevice-Bench" },
                { "Lab", StatusCameraFound, "VirtualDevice-Lab" } }));
        mComm->stopDiscovery();
    }

    void currentPortRules()
    {
        // Commands are taken only while a port is selected.
        QVERIFY(!mComm->isOnline());
        QVERIFY(!mComm->sendCommand("a", "ERR?", {}, true));
        mComm->setCurrentPort(QStringLiteral("Bench"));
        mComm->setCurrentPort(QStringLiteral("lab")); // names are case-sensitive
        QCOMPARE(mComm->currentPort(), QStringLiteral("Bench"));
        mComm->setCurrentPort(QStringLiteral("Lab"));
        QCOMPARE(mComm->currentPort(), QStringLiteral("Lab"));

        ThreadSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
        QVERIFY(mComm->sendCommand(QStringLiteral("gain"), "GAI", { 12, 3 }, false));
        QVERIFY(mComm->sendCommand(QStringLiteral("gain?"), "GAI?", {}, true));
        // Emitted in the communication thread, possibly before a wait() could start: poll.
        QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 2, 5000);
        QCOMPARE(replies.at(1).at(3).toList(), (QVariantList { 12, 3 }));
        QCOMPARE(virtualPort("Lab")->camera().receivedCommands(),
            (QList<QByteArray> { "GAI12;3", "GAI?" }));
        QVERIFY(virtualPort("Bench")->camera().receivedCommands().isEmpty());
        QVERIFY(mComm->sendCommandFirst("b", "ERR?", {}, true, true));
        QTRY_COMPARE(replies.count(), 4);
        QVERIFY(mComm->isOnline());

        mComm->setCurrentPort(QString());
        QCOMPARE(mComm->currentPort(), QString());
        QVERIFY(!mComm->isOnline());
        QVERIFY(!mComm->sendCommand("a", "ERR?", {}, true));
        QVERIFY(!mComm->sendCommandFirst("b", "ERR?", {}, true, true));
        QCOMPARE(mComm->queue()->size(), 0);
    }

    void blockingCalls_data()
    {
        // success: answered with the value 0
        columns<int, QString, bool>({ "thread", "port", "success" });
        const QString bench = QStringLiteral("Bench");
        QTest::newRow("answered") << int(OtherThread) << bench << true;
        QTest::newRow("called in the own thread") << int(OwnThread) << bench << true;
        QTest::newRow("no port selected") << int(OtherThread) << QString() << false;
        // These used to wait forever for a thread that runs no event loop.
        QTest::newRow("thread never started") << int(NeverStarted) << QString() << false;
        QTest::newRow("thread finished") << int(Finished) << bench << false;
    }

    void blockingCalls()
    {
        QFETCH(int, thread);
        QFETCH(QString, port);
        QFETCH(bool, success);

        VirtualCommunicator *bench = virtualPort("Bench");
        mComm->setCurrentPort(port);
        QThread idle;
        CommunicationThreadObject unstarted(&idle);
        unstarted.setSerialPortScanning(false);
        CommunicationThreadObject *comm = thread == NeverStarted ? &unstarted : mComm;
        if (thread == Finished) {
            mThread->quit();
            QVERIFY(mThread->wait(5000));
        }
        ThreadSignalSpy replies(comm, &CommunicationThreadObject::receivedReply);
        ThreadSignalSpy statuses(comm, &CommunicationThreadObject::statusUpdate);
        bool ok = !success;
        QVariantList retval { QStringLiteral("stale") };
        CommStatus lab = StatusAdded;
        CommStatus unknown = StatusAdded;
        // From the own thread they must run directly rather than wait for themselves.
        auto calls = [&]() {
            comm->sendCommandDirect("ERR?", {}, true, &ok, &retval);
            lab = comm->getStatus("Lab");
            unknown = comm->getStatus("COM99");
            comm->checkAllCommDevices();
        };
        if (thread == OwnThread) {
            QMetaObject::invokeMethod(comm, calls, Qt::BlockingQueuedConnection);
        } else {
            QTest::ignoreMessage(QtDebugMsg, "OOT: CheckAllCommDevices");
            calls();
        }
        QCOMPARE(ok, success);
        QCOMPARE(retval, success ? QVariantList { 0 } : QVariantList());
        const bool running = thread == OtherThread || thread == OwnThread;
        QCOMPARE(lab, running ? StatusCameraFound : StatusRemoved);
        QCOMPARE(unknown, StatusRemoved);
        QCOMPARE(bench->camera().receivedCommands().size(), running && !port.isEmpty() ? 1 : 0);
        QCoreApplication::processEvents();
        QCOMPARE(replies.count(), 0);
        QCOMPARE(statuses.count(), 0);
    }

    // The online mode follows the selected port, also one hot-plugged and removed again.
    void onlineModeAndHotPlug()
    {
        ThreadSignalSpy mode(mComm, &CommunicationThreadObject::onlineModeChanged);
        auto setOnline = [this](const char *port, bool online) {
            VirtualCommunicator *comm = virtualPort(port);
            QMetaObject::invokeMethod(
                comm, [comm, online]() { comm->setOnline(online); }, Qt::BlockingQueuedConnection);
        };
        mComm->setCurrentPort(QStringLiteral("Bench"));
        QCOMPARE(mode.count(), 0); // still offline: no change
        setOnline("Bench", true);
        QTRY_COMPARE(mode.count(), 1);

        // Only the selected port counts.
        setOnline("Lab", true);
        mComm->setCurrentPort(QStringLiteral("Lab"));
        setOnline("Bench", false);
        setOnline("Lab", false);
        QTRY_COMPARE(mode.count(), 2);

        setOnline("Lab", true);
        QTRY_COMPARE(mode.count(), 3);

        // Hot-plugged: ports of other kinds are left out, one announced twice is added once.
        ThreadSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
        const QString missing = QStringLiteral("/nonexistent/ttyMFX0");
        mComm->addSerialPort(QStringLiteral("/dev/rfcomm-Bluetooth-Incoming"));
        mComm->addSerialPort(QStringLiteral("LPT1"));
        mComm->addSerialPort(missing);
        mComm->addSerialPort(missing);
        QTRY_COMPARE(status.count(), 2);
        QCOMPARE(records(status),
            (Records { { missing, StatusAdded, "" }, { missing, StatusNoCamera, "" } }));
        QCOMPARE(mComm->portNames(), (QStringList { Link, "Bench", "Lab", missing }));
        QVERIFY(qobject_cast<ComCommunicator *>(mComm->findCommunicator(missing)));
        // A port whose device cannot be opened is offline as soon as it is selected; its failing
        // exchanges change nothing, so it must not have been taken for online.
        mComm->setCurrentPort(missing);
        QVERIFY(!mComm->isOnline());
        QTRY_COMPARE(mode.count(), 4);
        QVariantList modes;
        for (const QVariantList &args : qAsConst(mode))
            modes.append(args.first());
        QCOMPARE(modes, (QVariantList { true, false, true, false }));

        // Unplugged while selected.
        QTest::ignoreMessage(QtDebugMsg, "Device removed: /nonexistent/ttyMFX0");
        mComm->removeSerialPort(missing);
        QTRY_COMPARE(status.count(), 3);
        QCOMPARE(records(status, 2), (Records { { missing, StatusRemoved, "" } }));
    }

private:
    static Records records(const QList<QVariantList> &spy, int from = 0)
    {
        Records list;
        for (int i = from; i < spy.count(); ++i)
            list.append({ spy.at(i).at(0).toString(), spy.at(i).at(1).value<CommStatus>(),
                spy.at(i).at(2).toString() });
        return list;
    }
    VirtualCommunicator *virtualPort(const char *name) const
    {
        return qobject_cast<VirtualCommunicator *>(mComm->findCommunicator(name));
    }

    QThread *mThread = nullptr;
    CommunicationThreadObject *mComm = nullptr;
};

QTEST_GUILESS_MAIN(TestCommunicationThread)
#include "tst_communicationthread.moc"
