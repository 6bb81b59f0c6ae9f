#include "comm/comcommunicator.h"
#include "comm/commandqueue.h"
#include "comm/communicationthreadobject.h"
#include "comm/virtualcommunicator.h"

#include <QSerialPortInfo>
#include <QtTest>

#include <atomic>

using StatusRecord = QPair<QString, int>;

class TestCommunicationThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startListsVirtualDevicesInOrder();
    void discoveryFindsVirtualCameras();
    void stopDiscoveryEndsCycleAfterCurrentPort();
    void replyReturnsToCallersThread();
    void consoleCommandsOvertakeWaitingReads();
    void commandsNeedSelectedPort_data();
    void commandsNeedSelectedPort();
    void setCurrentPortRules();
    void onlineModeFollowsSelectedPort();
    void directCommandBlocks_data();
    void directCommandBlocks();
    void getStatus_data();
    void getStatus();
    void blockingCallsFailWithoutRunningThread_data();
    void blockingCallsFailWithoutRunningThread();
    void blockingCallsFromOwnThreadRunDirectly();
    void hotPlug();
    void setRetriesReachesCurrentPort();
    void startListsSerialPortsAfterVirtualDevices();

private:
    static QList<StatusRecord> records(const QSignalSpy &spy, int from = 0);

    QThread *mThread = nullptr;
    CommunicationThreadObject *mComm = nullptr;
};

void TestCommunicationThread::initTestCase()
{
    MetaTypes::registerAll();
    // Reads wait 750 / 50 = 15 ms instead of 375 ms.
    VirtualCommunicator::setDelayDivisor(50);
    VirtualCommunicator::clearVirtualDevices();
    VirtualCommunicator::addVirtualDevice(QStringLiteral("Bench"));
    VirtualCommunicator::addVirtualDevice(QStringLiteral("Lab"));
}

void TestCommunicationThread::init()
{
    mThread = new QThread;
    mComm = new CommunicationThreadObject(mThread);
    mComm->setSerialPortScanning(false);
    connect(mThread, &QThread::started, mComm, &CommunicationThreadObject::startCommunication);
    QSignalSpy added(mComm, &CommunicationThreadObject::statusUpdate);
    QTest::ignoreMessage(QtDebugMsg, "Communication thread started.");
    mThread->start();
    QTRY_COMPARE(added.count(), 4);
    QCOMPARE(records(added),
        (QList<StatusRecord> { { "Bench", StatusAdded }, { "Bench", StatusNoCamera },
            { "Lab", StatusAdded }, { "Lab", StatusNoCamera } }));
}

void TestCommunicationThread::cleanup()
{
    mThread->quit();
    QVERIFY(mThread->wait(5000));
    delete mComm;
    delete mThread;
}

QList<StatusRecord> TestCommunicationThread::records(const QSignalSpy &spy, int from)
{
    QList<StatusRecord> list;
    for (int i = from; i < spy.count(); ++i)
        list.append({ spy.at(i).at(0).toString(), spy.at(i).at(1).value<CommStatus>() });
    return list;
}

void TestCommunicationThread::startListsVirtualDevicesInOrder()
{
    QCOMPARE(mComm->portNames(), (QStringList { "Bench", "Lab" }));
    QVERIFY(mComm->findCommunicator(QStringLiteral("Lab")));
    QVERIFY(!mComm->findCommunicator(QStringLiteral("lab")));
    QVERIFY(mComm->queue());
}

void TestCommunicationThread::discoveryFindsVirtualCameras()
{
    QSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
    mComm->startDiscovery();
    // startDiscovery reports every port as without camera first, from the caller's thread.
    QCOMPARE(records(status),
        (QList<StatusRecord> { { "Bench", StatusNoCamera }, { "Lab", StatusNoCamera } }));
    QTRY_COMPARE(status.count(), 4);
    QCOMPARE(records(status, 2),
        (QList<StatusRecord> { { "Bench", StatusCameraFound }, { "Lab", StatusCameraFound } }));
    QCOMPARE(status.at(2).at(2).toString(), QStringLiteral("VirtualDevice-Bench"));
    QCOMPARE(status.at(3).at(2).toString(), QStringLiteral("VirtualDevice-Lab"));
    mComm->stopDiscovery();

    // Blocking call from this thread runs the cycle in the communication thread; with discovery
    // off nothing is probed.
    status.clear();
    QTest::ignoreMessage(QtDebugMsg, "OOT: CheckAllCommDevices");
    mComm->checkAllCommDevices();
    QCOMPARE(status.count(), 0);
}

void TestCommunicationThread::stopDiscoveryEndsCycleAfterCurrentPort()
{
    auto *bench = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Bench"));
    QVERIFY(bench);
    QSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
    // Stop discovery from inside the cycle, while the first port reports.
    connect(
        mComm, &CommunicationThreadObject::statusUpdate, mComm,
        [this](const QString &, CommStatus s) {
            if (s == StatusCameraFound)
                mComm->stopDiscovery();
        },
        Qt::DirectConnection);
    mComm->startDiscovery();
    QTRY_COMPARE(status.count(), 3);
    QCOMPARE(records(status, 2), (QList<StatusRecord> { { "Bench", StatusCameraFound } }));
    // A further cycle (as the timer runs one) reports nothing while discovery is off.
    QTest::ignoreMessage(QtDebugMsg, "OOT: CheckAllCommDevices");
    mComm->checkAllCommDevices();
    QCOMPARE(status.count(), 3);
}

void TestCommunicationThread::replyReturnsToCallersThread()
{
    mComm->setCurrentPort(QStringLiteral("Lab"));
    QThread *receivedIn = nullptr;
    connect(mComm, &CommunicationThreadObject::receivedReply, this,
        [&receivedIn]() { receivedIn = QThread::currentThread(); });
    QSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
    QVERIFY(mComm->sendCommand(QStringLiteral("gain"), "GAI", { 12, 3 }, false));
    QVERIFY(mComm->sendCommand(QStringLiteral("gain?"), "GAI?", {}, true));
    // Emitted in the communication thread, possibly before a wait() could start: poll.
    QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 2, 5000);
    QTRY_COMPARE(receivedIn, QThread::currentThread());
    QCOMPARE(replies.at(0).at(0).toString(), QStringLiteral("gain"));
    QCOMPARE(
        replies.at(0).at(2).value<AbstractCommunicator::Result>(), AbstractCommunicator::Success);
    QCOMPARE(replies.at(1).at(0).toString(), QStringLiteral("gain?"));
    QCOMPARE(replies.at(1).at(1).toByteArray(), QByteArray("GAI?"));
    QCOMPARE(replies.at(1).at(3).toList(), (QVariantList { 12, 3 }));

    auto *lab = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Lab"));
    QCOMPARE(lab->camera().receivedCommands(), (QList<QByteArray> { "GAI12;3", "GAI?" }));
    auto *bench = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Bench"));
    QVERIFY(bench->camera().receivedCommands().isEmpty());
}

void TestCommunicationThread::consoleCommandsOvertakeWaitingReads()
{
    // Reads of 75 ms: the ten reads keep the line busy long after the console commands come.
    VirtualCommunicator::setDelayDivisor(10);
    auto restore = qScopeGuard([]() { VirtualCommunicator::setDelayDivisor(50); });
    mComm->setCurrentPort(QStringLiteral("Lab"));
    auto *lab = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Lab"));
    QVERIFY(lab);
    // Answered reads need no retry, so the camera sees each command once.
    lab->camera().setValue(QStringLiteral("GAI"), "7");
    // The spy records in the communication thread before the counter below is raised.
    QSignalSpy spy(mComm, &CommunicationThreadObject::receivedReply);
    std::atomic<int> replies { 0 };
    connect(
        mComm, &CommunicationThreadObject::receivedReply, mComm, [&replies]() { ++replies; },
        Qt::DirectConnection);

    const int readCount = 10;
    for (int i = 0; i < readCount; ++i)
        QVERIFY(mComm->sendCommand(QStringLiteral("r%1").arg(i), "GAI?", {}, true));
    // The console is used while the reads are under way, as when the tree has just asked for
    // every value.
    QTRY_VERIFY(replies >= 1);
    QVERIFY(mComm->sendCommandFirst(QStringLiteral("@Console"), "GAI 120", {}, false, true));
    QVERIFY(mComm->sendCommandFirst(QStringLiteral("@Console"), "GAI?", {}, true, true));
    // At most one read per reply so far (and the one running) can be ahead of them.
    const int readsAhead = replies + 1;
    QTRY_COMPARE_WITH_TIMEOUT(int(replies), readCount + 4, 10000);

    const QList<QByteArray> received = lab->camera().receivedCommands();
    const QList<QByteArray> console { "GAI 120", "ERR?", "GAI?", "ERR?" };
    const int at = received.indexOf("GAI 120");
    QVERIFY2(at >= 0 && at <= readsAhead,
        qPrintable(QStringLiteral("console command after %1 reads").arg(at)));
    QVERIFY(at < readCount);
    QCOMPARE(received.mid(at, console.size()), console);
    QList<QByteArray> readsOnly = received;
    for (int i = 0; i < console.size(); ++i)
        readsOnly.removeAt(at);
    QCOMPARE(readsOnly.size(), readCount);
    QCOMPARE(readsOnly.count("GAI?"), readCount);
    // "GAI?" typed after "GAI 120" reads the new value.
    QVariantList consoleRead;
    for (const QList<QVariant> &r : qAsConst(spy)) {
        if (r.at(0).toString() == QLatin1String("@Console") && r.at(1).toByteArray() == "GAI?")
            consoleRead = r.at(3).toList();
    }
    QCOMPARE(consoleRead, QVariantList { 120 });
}

void TestCommunicationThread::commandsNeedSelectedPort_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("none selected") << QString() << false;
    QTest::newRow("unknown port") << QStringLiteral("Gone") << false;
    QTest::newRow("known port") << QStringLiteral("Bench") << true;
}

void TestCommunicationThread::commandsNeedSelectedPort()
{
    QFETCH(QString, port);
    QFETCH(bool, accepted);
    mComm->setCurrentPort(port);
    QSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
    QCOMPARE(mComm->sendCommand("a", "ERR?", {}, true), accepted);
    QCOMPARE(mComm->sendCommandFirst("b", "ERR?", {}, true, true), accepted);
    if (accepted)
        QTRY_COMPARE(replies.count(), 3);
    else
        QCOMPARE(mComm->queue()->size(), 0);
}

void TestCommunicationThread::setCurrentPortRules()
{
    QCOMPARE(mComm->currentPort(), QString());
    QVERIFY(!mComm->isOnline());
    mComm->setCurrentPort(QStringLiteral("Bench"));
    QCOMPARE(mComm->currentPort(), QStringLiteral("Bench"));
    QVERIFY(mComm->isOnline());
    mComm->setCurrentPort(QStringLiteral("Unlisted"));
    QCOMPARE(mComm->currentPort(), QStringLiteral("Bench"));
    QVERIFY(mComm->isOnline());
    mComm->setCurrentPort(QString());
    QCOMPARE(mComm->currentPort(), QString());
    QVERIFY(!mComm->isOnline());
}

void TestCommunicationThread::onlineModeFollowsSelectedPort()
{
    QSignalSpy mode(mComm, &CommunicationThreadObject::onlineModeChanged);
    auto *bench = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Bench"));
    auto *lab = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Lab"));
    mComm->setCurrentPort(QStringLiteral("Bench"));
    QCOMPARE(mode.count(), 0); // selecting emits nothing by itself
    QMetaObject::invokeMethod(
        bench, [bench]() { bench->setOnline(true); }, Qt::BlockingQueuedConnection);
    QTRY_COMPARE(mode.count(), 1);
    QCOMPARE(mode.first().first().toBool(), true);

    // Only the selected port counts.
    mComm->setCurrentPort(QStringLiteral("Lab"));
    QMetaObject::invokeMethod(
        bench, [bench]() { bench->setOnline(false); }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(
        lab, [lab]() { lab->setOnline(true); }, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(
        lab, [lab]() { lab->setOnline(false); }, Qt::BlockingQueuedConnection);
    QTRY_COMPARE(mode.count(), 3);
    QCOMPARE(mode.at(1).first().toBool(), true);
    QCOMPARE(mode.at(2).first().toBool(), false);
    QVERIFY(!mComm->isOnline());
}

void TestCommunicationThread::directCommandBlocks_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QVariantList>("values");
    QTest::newRow("answered") << "Bench" << int(SimulatedCamera::NoFault) << true
                              << QVariantList { 0 };
    QTest::newRow("NAK, no retry")
        << "Bench" << int(SimulatedCamera::NakAnswer) << false << QVariantList();
    QTest::newRow("no port selected")
        << QString() << int(SimulatedCamera::NoFault) << false << QVariantList();
}

void TestCommunicationThread::directCommandBlocks()
{
    QFETCH(QString, port);
    QFETCH(int, fault);
    QFETCH(bool, success);
    QFETCH(QVariantList, values);

    auto *bench = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Bench"));
    bench->camera().clearReceivedCommands();
    if (fault != SimulatedCamera::NoFault)
        bench->camera().queueFault(SimulatedCamera::FaultKind(fault));
    mComm->setCurrentPort(port);
    QSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
    bool ok = !success;
    QVariantList retval { QStringLiteral("stale") };
    mComm->sendCommandDirect("ERR?", {}, true, &ok, &retval);
    QCOMPARE(ok, success);
    QCOMPARE(retval, values);
    QCOMPARE(bench->camera().receivedCommands().size(), port.isEmpty() ? 0 : 1);
    QCoreApplication::processEvents();
    QCOMPARE(replies.count(), 0);
}

void TestCommunicationThread::getStatus_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("status");
    QTest::newRow("virtual camera") << "Lab" << int(StatusCameraFound);
    QTest::newRow("unknown") << "COM99" << int(StatusRemoved);
}

void TestCommunicationThread::getStatus()
{
    QFETCH(QString, port);
    QFETCH(int, status);
    QCOMPARE(int(mComm->getStatus(port)), status);
}

void TestCommunicationThread::hotPlug()
{
    QSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
    const QString missing = QStringLiteral("/nonexistent/ttyMFX0");
    mComm->addSerialPort(QStringLiteral("/dev/rfcomm-Bluetooth-Incoming"));
    mComm->addSerialPort(QStringLiteral("LPT1"));
    mComm->addSerialPort(missing);
    mComm->addSerialPort(missing);
    QTRY_COMPARE(mComm->portNames().size(), 3);
    QTRY_COMPARE(status.count(), 2);
    QCOMPARE(records(status),
        (QList<StatusRecord> { { missing, StatusAdded }, { missing, StatusNoCamera } }));
    QVERIFY(qobject_cast<ComCommunicator *>(mComm->findCommunicator(missing)));

    QTest::ignoreMessage(QtDebugMsg, "Device removed: /nonexistent/ttyMFX0");
    mComm->removeSerialPort(missing);
    QTRY_COMPARE(status.count(), 3);
    QCOMPARE(records(status, 2), (QList<StatusRecord> { { missing, StatusRemoved } }));
    QCOMPARE(mComm->portNames().size(), 3);
    QCOMPARE(int(mComm->getStatus(missing)), int(StatusNoCamera));

    // The next discovery cycle lists it again (its communicator stayed).
    status.clear();
    mComm->startDiscovery();
    QTRY_COMPARE(status.count(), 6);
    QTest::ignoreMessage(QtDebugMsg, "OOT StopDiscovery");
    mComm->stopDiscovery();
    QCOMPARE(records(status, 3),
        (QList<StatusRecord> { { "Bench", StatusCameraFound }, { "Lab", StatusCameraFound },
            { missing, StatusNoCamera } }));
}

void TestCommunicationThread::setRetriesReachesCurrentPort()
{
    mComm->setCurrentPort(QStringLiteral("Lab"));
    mComm->setRetries(0);
    AbstractCommunicator *lab = mComm->findCommunicator("Lab");
    QTRY_COMPARE(lab->retries(), 0);
    QCOMPARE(mComm->findCommunicator("Bench")->retries(), 2);
}

void TestCommunicationThread::startListsSerialPortsAfterVirtualDevices()
{
    // Listing the machine's serial ports opens none of them, so it is quick and harmless.
    QThread thread;
    CommunicationThreadObject comm(&thread);
    connect(&thread, &QThread::started, &comm, &CommunicationThreadObject::startCommunication);
    QSignalSpy status(&comm, &CommunicationThreadObject::statusUpdate);
    QElapsedTimer clock;
    clock.start();
    thread.start();
    QStringList expected { QStringLiteral("Bench"), QStringLiteral("Lab") };
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        expected.append(info.systemLocation());
    QTRY_COMPARE(status.count(), 2 * expected.size());
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(comm.portNames(), expected);
    thread.quit();
    QVERIFY(thread.wait(5000));
}

QTEST_GUILESS_MAIN(TestCommunicationThread)
void TestCommunicationThread::blockingCallsFailWithoutRunningThread_data()
{
    QTest::addColumn<bool>("everStarted");
    QTest::newRow("thread never started") << false;
    QTest::newRow("thread finished") << true;
}

void TestCommunicationThread::blockingCallsFailWithoutRunningThread()
{
    QFETCH(bool, everStarted);

    QThread idle;
    CommunicationThreadObject unstarted(&idle);
    unstarted.setSerialPortScanning(false);
    CommunicationThreadObject *comm = &unstarted;
    if (everStarted) {
        mComm->setCurrentPort("Bench");
        mThread->quit();
        QVERIFY(mThread->wait(5000));
        comm = mComm;
        qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Bench"))
            ->camera()
            .clearReceivedCommands();
    }
    QSignalSpy statuses(comm, &CommunicationThreadObject::statusUpdate);

    // Each of these used to wait forever for a thread that runs no event loop.
    bool ok = true;
    QVariantList retval { QStringLiteral("stale") };
    comm->sendCommandDirect("ERR?", {}, true, &ok, &retval);
    QVERIFY(!ok);
    QVERIFY(retval.isEmpty());
    QCOMPARE(comm->getStatus("Lab"), StatusRemoved);
    QTest::ignoreMessage(QtDebugMsg, "OOT: CheckAllCommDevices");
    comm->checkAllCommDevices();
    QCoreApplication::processEvents();
    QCOMPARE(statuses.count(), 0);
    if (everStarted) {
        auto *bench = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator("Bench"));
        QVERIFY(bench->camera().receivedCommands().isEmpty());
    }
}

void TestCommunicationThread::blockingCallsFromOwnThreadRunDirectly()
{
    mComm->setCurrentPort("Bench");
    bool ok = false;
    QVariantList retval;
    CommStatus status = StatusRemoved;
    QMetaObject::invokeMethod(
        mComm,
        [&]() {
            mComm->sendCommandDirect("ERR?", {}, true, &ok, &retval);
            status = mComm->getStatus("Lab");
            mComm->checkAllCommDevices();
        },
        Qt::BlockingQueuedConnection);
    QVERIFY(ok);
    QCOMPARE(retval.size(), 1);
    QCOMPARE(status, StatusCameraFound);
}

#include "tst_communicationthread.moc"
