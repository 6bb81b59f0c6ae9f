#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "tests/comm/fakecommunicator.h"
#include "tests/comm/threadsignalspy.h"

#include <QtTest>

using Faults = QList<int>;

class TestCommunicator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        VirtualCommunicator::setDelayDivisor(0);
    }

    void retryPolicy_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("retries");
        QTest::addColumn<Faults>("faults");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("result");
        QTest::addColumn<QVariantList>("args");

        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        using C = SimulatedCamera;
        QTest::newRow("offline, no answer: one attempt")
            << false << 2 << Faults { C::NoAnswer } << 1 << fail << QVariantList();
        QTest::newRow("online, never answered: 1 + retries")
            << true << 2 << Faults { C::NoAnswer, C::NoAnswer, C::NoAnswer } << 3 << fail
            << QVariantList();
        QTest::newRow("online, NAK then answer")
            << true << 2 << Faults { C::NakAnswer } << 2 << ok << QVariantList { 123 };
        QTest::newRow("online, ACK without data counts as unsuccessful")
            << true << 1 << Faults { C::Truncated, C::Truncated } << 2 << ok << QVariantList();
    }

    void retryPolicy()
    {
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
        comm.sendCommandEvent(QStringLiteral("id-7"), "GAI?", {}, true);
        QCOMPARE(replies.count(), 1);
        QCOMPARE(replies.first().at(0).toString(), QStringLiteral("id-7"));
        QCOMPARE(replies.first().at(1).toByteArray(), QByteArray("GAI?"));
        QCOMPARE(int(replies.first().at(2).value<AbstractCommunicator::Result>()), result);
        QCOMPARE(replies.first().at(3).toList(), args);
        QCOMPARE(comm.camera().receivedCommands(), QVector<QByteArray>(attempts, "GAI?").toList());
    }

    void portFailures_data()
    {
        QTest::addColumn<int>("failing");
        QTest::addColumn<QByteArray>("replyBytes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("openAfter");

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

    void queuedEventRunsLater()
    {
        VirtualCommunicator comm(QStringLiteral("Queued"));
        QSignalSpy replies(&comm, &AbstractCommunicator::receivedReply);
        comm.sendCommandEventQueued(QStringLiteral("q"), "ERR?", {});
        QCOMPARE(replies.count(), 0);
        QTRY_COMPARE(replies.count(), 1);
        QCOMPARE(replies.first().at(3).toList(), QVariantList { 0 });
    }

    void eventFromOtherThreadRunsInOwnThread()
    {
        QThread worker;
        worker.start();
        auto *comm = new VirtualCommunicator(QStringLiteral("Far"));
        comm->moveToThread(&worker);
        QThread *exchangeThread = nullptr;
        connect(
            comm, &AbstractCommunicator::receivedReply, comm,
            [&exchangeThread]() { exchangeThread = QThread::currentThread(); },
            Qt::DirectConnection);
        ThreadSignalSpy replies(comm, &AbstractCommunicator::receivedReply);
        comm->sendCommandEvent(QStringLiteral("far"), "ERR?", {});
        // Emitted in the worker thread, possibly before a wait() could start: poll the count.
        QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 1, 5000);
        QCOMPARE(exchangeThread, &worker);
        QMetaObject::invokeMethod(comm, &QObject::deleteLater);
        worker.quit();
        worker.wait();
    }
};

QTEST_GUILESS_MAIN(TestCommunicator)
#include "tst_communicator.moc"
