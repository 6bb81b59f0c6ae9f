// The camera database against the real communication thread and the simulated camera.
#include "commthreadfixture.h"
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"

#include <QSignalSpy>
#include <QtTest>

class TestEngineComm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void asynchronousGetIsDecoded_data();
    void asynchronousGetIsDecoded();
    void setIsFollowedByGetUnlessRejected_data();
    void setIsFollowedByGetUnlessRejected();
    void replyArgumentCount_data();
    void replyArgumentCount();
    void blockingGetReturnsCameraAnswer();
    void cameraReadsDoNotCountAgainstScriptLimit();

private:
    bool waitForReplies(int count);
    QList<QByteArray> received() const { return mFixture.camera().receivedCommands(); }

    CommThreadFixture mFixture;
    CameraDatabase *mDb = nullptr;
    QSignalSpy *mReplies = nullptr;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

void TestEngineComm::initTestCase()
{
    CommThreadFixture::registerDevice(QStringLiteral("Engine"));
}

void TestEngineComm::init()
{
    QVERIFY(mFixture.start(QStringLiteral("Engine")));
    mDb = new CameraDatabase(mFixture.comm());
    mReplies = new QSignalSpy(mFixture.comm(), &CommunicationThreadObject::receivedReply);
    mDescription = makeDescription({
        { "Gain", "GA", {}, { intParam("gain") }, { intParam("gain") }, {} },
        { "Roi", "RO", {}, {}, { intParam("rx"), intParam("ry"), intParam("rw") }, {} },
        { "Alpha", "AL", {}, {}, { intParam("A") }, {} },
        { "Beta", "BE", {}, {}, { intParam("B") }, {} },
    });
    mDb->setDescription(mDescription.get(), "m", "t");
}

void TestEngineComm::cleanup()
{
    // The thread goes first: a reply may still be on its way to the spy.
    mFixture.stop();
    delete mReplies;
    delete mDb;
    mDb = nullptr;
    mDescription.reset();
    VirtualCommunicator::setDelayDivisor(250);
}

bool TestEngineComm::waitForReplies(int count)
{
    while (mReplies->count() < count) {
        if (!mReplies->wait(5000))
            return false;
    }
    // The database's own queued slot runs after the spy's direct one.
    QCoreApplication::processEvents();
    return true;
}

void TestEngineComm::asynchronousGetIsDecoded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QVariant>("value");
    QTest::newRow("value of a command") << "gain" << QByteArray("GA") << QVariant(12);
    QTest::newRow("identification through the fallback command")
        << "ID" << QByteArray("ID") << QVariant("VirtualDevice-Engine");
}

void TestEngineComm::asynchronousGetIsDecoded()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, code);
    QFETCH(QVariant, value);
    if (value.type() == QVariant::Int)
        mFixture.camera().setValue(code, value.toByteArray());
    QSignalSpy updates(mDb, &CameraDatabase::valueUpdate);
    QVERIFY(!mDb->getValue(name).isValid());
    QVERIFY(!mDb->getValue(name).isValid());
    QVERIFY(updates.wait(5000));
    QCOMPARE(updates.first().at(0).toString(), name);
    QCOMPARE(mDb->getValue(name), value);
    QCOMPARE(received(), QByteArrayList { code + '?' });
}

void TestEngineComm::setIsFollowedByGetUnlessRejected_data()
{
    QTest::addColumn<bool>("rejected");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("accepted") << false << QByteArrayList { "GA9", "GA?" };
    QTest::newRow("rejected keeps the user's value") << true << QByteArrayList { "GA9" };
}

void TestEngineComm::setIsFollowedByGetUnlessRejected()
{
    QFETCH(bool, rejected);
    QFETCH(QByteArrayList, expected);
    if (rejected)
        mFixture.camera().queueFault(SimulatedCamera::NakAnswer);
    mDb->updateCachedValue("gain", 1);
    mDb->setValue("gain", 9);
    QVERIFY(waitForReplies(expected.size()));
    QCOMPARE(mReplies->first().at(2).value<AbstractCommunicator::Result>(),
        rejected ? AbstractCommunicator::Failure : AbstractCommunicator::Success);
    QCOMPARE(mDb->cachedValue("gain"), QVariant(9));
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Cached);
    // Nothing else is on its way: a later get is the next thing the camera sees.
    mDb->refreshValue("gain");
    QVERIFY(waitForReplies(expected.size() + 1));
    QCOMPARE(received(), expected + QByteArrayList { "GA?" });
}

void TestEngineComm::replyArgumentCount_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<int>("missing");
    QTest::addColumn<bool>("extra");
    QTest::newRow("exact") << QByteArray("1;2;3") << QVariantList { 1, 2, 3 } << 0 << false;
    QTest::newRow("one missing") << QByteArray("1;2") << QVariantList { 1, 2, QVariant() } << 1
                                 << false;
    QTest::newRow("data part without arguments")
        << QByteArray() << QVariantList { QVariant(), QVariant(), QVariant() } << 3 << false;
    QTest::newRow("one too many") << QByteArray("1;2;3;4") << QVariantList { 1, 2, 3 } << 0 << true;
}

void TestEngineComm::replyArgumentCount()
{
    QFETCH(QByteArray, stored);
    QFETCH(QVariantList, values);
    QFETCH(int, missing);
    QFETCH(bool, extra);
    if (!stored.isNull())
        mFixture.camera().setValue("RO", stored);
    for (int i = 0; i < missing; ++i)
        QTest::ignoreMessage(QtDebugMsg, "Roi RO? Returned less parameters than expected");
    if (extra)
        QTest::ignoreMessage(QtDebugMsg, "Roi RO? Returned more parameters than expected");
    mDb->doGetValue("rx");
    QVERIFY(waitForReplies(1));
    QCOMPARE(mDb->cachedValue("rx"), values.at(0));
    QCOMPARE(mDb->cachedValue("ry"), values.at(1));
    QCOMPARE(mDb->cachedValue("rw"), values.at(2));
    QCOMPARE(mDb->valueState("rw"), CameraDatabase::ValueState::Cached);
}

void TestEngineComm::blockingGetReturnsCameraAnswer()
{
    mFixture.camera().setValue("GA", "33");
    QCOMPARE(mDb->getValueWait("gain"), QVariant(33));
    mFixture.camera().setValue("GA", "34");
    QCOMPARE(mDb->getValueWait("gain"), QVariant(33)); // cached now
    mDb->refreshValue("gain");
    QCOMPARE(mDb->getValueWait("gain"), QVariant(34));
}

void TestEngineComm::cameraReadsDoNotCountAgainstScriptLimit()
{
    // Each blocking read now waits 2500 / 5 = 500 ms on the simulated line.
    VirtualCommunicator::setDelayDivisor(5);
    mFixture.camera().setValue("AL", "1");
    mFixture.camera().setValue("BE", "2");
    mDb->setScriptTimeLimit(300);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(mDb->evaluateBool("A == 1 && B == 2"));
    QVERIFY(clock.elapsed() >= 900);
    QCOMPARE(received(), (QByteArrayList { "AL?", "BE?" }));
}

QTEST_GUILESS_MAIN(TestEngineComm)
#include "tst_enginecomm.moc"
