// Requests, reply decoding and the cache rules of the camera database, observed through a
// recording fake of the communication layer.
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"
#include "fakecommandchannel.h"

#include <QSignalSpy>
#include <QtTest>

#include <map>
#include <memory>
#include <vector>

using Request = FakeCommandChannel::Request;

class TestCameraDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestForms_data();
    void requestForms();
    void unknownNamesSendNothing_data();
    void unknownNamesSendNothing();
    void argumentNeverReadLeavesEmptyEntry();

    void replyDecoding_data();
    void replyDecoding();
    void replyAnnouncesCommandToItsSubscribers();
    void blockingGetDecodesAtOnce();
    void blockingGetFailureChangesNothing();
    void blockingSetIsNotDecoded();

    void repeatedReadsOfNeverReadNameSendOneGet();
    void getValueOfCachedNameSendsNothing();
    void setValueSendsStoresAndNotifies();
    void setValueWithCachedValueDoesNothing();
    void setValueOnCachedUpdateCommandSendsNothing();
    void updateCachedValueEqualNotifiesNobody();
    void refreshMakesStaleUntilReplyStored();
    void failureReplyLeavesNameStale();
    void subscribedTwiceIsCalledTwice();
    void unregisteredItemIsNotCalled();
    void itemRemovedWhileNotifyingIsNotCalled_data();
    void itemRemovedWhileNotifyingIsNotCalled();
    void notificationOrder_data();
    void notificationOrder();
    void unregisteringManyItemsScales();

    void identificationFallback_data();
    void identificationFallback();
    void scriptNamesAreSortedAndUnique();
    void replacedDescriptionDecodesOnlyKnownCommands();
    void fastFailureSetsRetries();

    void offlinePollRepeatsUntilOnline();
    void onlineChangeDoesNotStartPoll();

private:
    void useStandardDescription();

    FakeCommandChannel *mChannel = nullptr;
    CameraDatabase *mDb = nullptr;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

void TestCameraDatabase::init()
{
    mChannel = new FakeCommandChannel;
    mDb = new CameraDatabase(mChannel);
    useStandardDescription();
}

void TestCameraDatabase::cleanup()
{
    delete mDb;
    delete mChannel;
    mDescription.reset();
}

void TestCameraDatabase::useStandardDescription()
{
    mDescription = makeDescription({
        { "Gain", "GA", {}, { intParam("gain") }, { intParam("gain") }, {} },
        { "Roi", "RO", { intParam("roiIndex") },
            { intParam("roiIndex"), intParam("roiX"), intParam("roiY"), intParam("roiW") },
            { intParam("roiX"), intParam("roiY"), intParam("roiW") }, {} },
        { "Name", "NM", {}, { textParam("camName") }, { textParam("camName") }, {} },
        { "Exposure", "EX", {}, { intParam("expo") }, { intParam("expo") }, {}, true },
        { "Apply", "APPLY", {}, { constParam("1") }, {}, {} },
        { "Mixed", "MX", { constParam("7"), textParam("mode") }, {},
            { constParam("x"), intParam("level") }, {} },
        { "Temp", "TP", {}, { intParam("target") }, { intParam("target"), intParam("actual") },
            { intParam("target") } },
    });
    mDb->setDescription(mDescription.get(), QStringLiteral("TestCam"), QStringLiteral("A"));
}

void TestCameraDatabase::requestForms_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariantMap>("cache");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<bool>("expectReply");

    const QVariantMap none;
    QTest::newRow("get without parameters")
        << "get"
        << "Gain" << none << "@Gain" << QByteArray("GA?") << QVariantList() << true;
    QTest::newRow("get found through a value name")
        << "get"
        << "gain" << none << "@Gain" << QByteArray("GA?") << QVariantList() << true;
    QTest::newRow("get with an index argument")
        << "get"
        << "roiY" << QVariantMap { { "roiIndex", 3 } } << "@Roi" << QByteArray("RO?")
        << QVariantList { 3 } << true;
    QTest::newRow("set sends the whole argument list from the cache")
        << "set"
        << "roiX" << QVariantMap { { "roiIndex", 2 }, { "roiX", 10 }, { "roiY", "20" } } << "@Roi"
        << QByteArray("RO") << QVariantList { 2, 10, 20, 0 } << false;
    QTest::newRow("int that is not a number goes out as 0")
        << "set"
        << "roiX"
        << QVariantMap { { "roiIndex", "abc" }, { "roiX", 1 }, { "roiY", 2 }, { "roiW", 3 } }
        << "@Roi" << QByteArray("RO") << QVariantList { 0, 1, 2, 3 } << false;
    QTest::newRow("string parameter goes out as text")
        << "set"
        << "camName" << QVariantMap { { "camName", 5 } } << "@Name" << QByteArray("NM")
        << QVariantList { QStringLiteral("5") } << false;
    QTest::newRow("string never read goes out empty")
        << "set"
        << "Name" << none << "@Name" << QByteArray("NM") << QVariantList { QString() } << false;
    QTest::newRow("constant bytes unchanged, string from cache")
        << "get"
        << "Mixed" << QVariantMap { { "mode", "fast" } } << "@Mixed" << QByteArray("MX?")
        << QVariantList { QByteArray("7"), QStringLiteral("fast") } << true;
    QTest::newRow("set of a command without return values")
        << "set"
        << "Apply" << none << "@Apply" << QByteArray("APPLY") << QVariantList { QByteArray("1") }
        << false;
    QTest::newRow("set with a set reply expected")
        << "set"
        << "target" << QVariantMap { { "target", 40 } } << "@Temp" << QByteArray("TP")
        << QVariantList { 40 } << true;
    QTest::newRow("blocking get") << "getWait"
                                  << "Gain" << none << "@direct" << QByteArray("GA?")
                                  << QVariantList() << true;
    QTest::newRow("blocking set") << "setWait"
                                  << "roiW"
                                  << QVariantMap { { "roiIndex", 1 }, { "roiX", 4 }, { "roiY", 5 },
                                         { "roiW", 6 } }
                                  << "@direct" << QByteArray("RO") << QVariantList { 1, 4, 5, 6 }
                                  << false;
}

void TestCameraDatabase::requestForms()
{
    QFETCH(QString, operation);
    QFETCH(QString, name);
    QFETCH(QVariantMap, cache);
    QFETCH(QString, id);
    QFETCH(QByteArray, code);
    QFETCH(QVariantList, args);
    QFETCH(bool, expectReply);

    for (auto it = cache.cbegin(); it != cache.cend(); ++it)
        mDb->updateCachedValue(it.key(), it.value());

    if (operation == "get")
        mDb->doGetValue(name);
    else if (operation == "set")
        mDb->doSetValue(name);
    else if (operation == "getWait")
        mDb->doGetValueWait(name);
    else
        mDb->doSetValueWait(name);

    QCOMPARE(mChannel->requests.size(), 1);
    const Request r = mChannel->requests.first();
    // Queued requests carry the command's own Id, never the value name used to find it.
    QCOMPARE(r.id, id.startsWith("@d") ? id : id.mid(1));
    QCOMPARE(r.code, code);
    QCOMPARE(r.args, args);
    for (int i = 0; i < args.size(); ++i)
        QCOMPARE(int(r.args.at(i).type()), int(args.at(i).type()));
    QCOMPARE(r.expectReply, expectReply);
}

void TestCameraDatabase::unknownNamesSendNothing_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("message");
    QTest::newRow("get") << "get"
                         << "doGetValue() unknown parameter: nothing";
    QTest::newRow("set") << "set"
                         << "doSetValue() unknown parameter: nothing";
    QTest::newRow("getWait") << "getWait"
                             << "doGetValueWait() unknown parameter: nothing";
    QTest::newRow("setWait") << "setWait"
                             << "doSetValueWait() unknown parameter: nothing";
}

void TestCameraDatabase::unknownNamesSendNothing()
{
    QFETCH(QString, operation);
    QFETCH(QString, message);
    QTest::ignoreMessage(QtDebugMsg, message.toUtf8().constData());
    const QString name = QStringLiteral("nothing");
    if (operation == "get")
        mDb->doGetValue(name);
    else if (operation == "set")
        mDb->doSetValue(name);
    else if (operation == "getWait")
        mDb->doGetValueWait(name);
    else
        mDb->doSetValueWait(name);
    QVERIFY(mChannel->requests.isEmpty());
    QCOMPARE(mDb->valueState(name), CameraDatabase::ValueState::Absent);
}

void TestCameraDatabase::argumentNeverReadLeavesEmptyEntry()
{
    QCOMPARE(mDb->valueState("roiW"), CameraDatabase::ValueState::Absent);
    mDb->doSetValue("roiX");
    QCOMPARE(mDb->valueState("roiW"), CameraDatabase::ValueState::Cached);
    QVERIFY(!mDb->cachedValue("roiW").isValid());
    // The empty entry stops a read from sending a get of its own.
    mDb->getValue("roiW");
    QCOMPARE(mChannel->requests.size(), 1);
}

void TestCameraDatabase::replyDecoding_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<bool>("failure");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QVariantMap>("expected"); // name -> value; "<absent>" for no entry
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QByteArrayList>("followUps");

    const QVariant absent = QStringLiteral("<absent>");
    QTest::newRow("get reply with every value")
        << "Roi" << QByteArray("RO?") << false << QVariantList { 1, 2, 3 }
        << QVariantMap { { "roiX", 1 }, { "roiY", 2 }, { "roiW", 3 } } << QStringList()
        << QByteArrayList();
    QTest::newRow("too few arguments")
        << "Roi" << QByteArray("RO?") << false << QVariantList { 1, 2 }
        << QVariantMap { { "roiX", 1 }, { "roiY", 2 }, { "roiW", QVariant() } }
        << QStringList { "Roi RO? Returned less parameters than expected" } << QByteArrayList();
    QTest::newRow("no argument for two values")
        << "Roi" << QByteArray("RO?") << false << QVariantList { 7 }
        << QVariantMap { { "roiX", 7 }, { "roiY", QVariant() }, { "roiW", QVariant() } }
        << QStringList { "Roi RO? Returned less parameters than expected",
               "Roi RO? Returned less parameters than expected" }
        << QByteArrayList();
    QTest::newRow("too many arguments")
        << "Gain" << QByteArray("GA?") << false << QVariantList { 5, 6 }
        << QVariantMap { { "gain", 5 } }
        << QStringList { "Gain GA? Returned more parameters than expected" } << QByteArrayList();
    QTest::newRow("string value stored as it came")
        << "Name" << QByteArray("NM?") << false << QVariantList { QStringLiteral("Cam 1") }
        << QVariantMap { { "camName", QStringLiteral("Cam 1") } } << QStringList()
        << QByteArrayList();
    QTest::newRow("failure changes nothing")
        << "Gain" << QByteArray("GA?") << true << QVariantList { 9 }
        << QVariantMap { { "gain", absent } } << QStringList() << QByteArrayList();
    QTest::newRow("reply of another sender is dropped")
        << "@direct" << QByteArray("GA?") << false << QVariantList { 9 }
        << QVariantMap { { "gain", absent } } << QStringList() << QByteArrayList();
    QTest::newRow("acknowledged set is followed by a get")
        << "Gain" << QByteArray("GA") << false << QVariantList()
        << QVariantMap { { "gain", absent } } << QStringList() << QByteArrayList { "GA?" };
    QTest::newRow("failed set has no follow-up")
        << "Gain" << QByteArray("GA") << true << QVariantList()
        << QVariantMap { { "gain", absent } } << QStringList() << QByteArrayList();
    QTest::newRow("set reply values stored, get follows all the same")
        << "Temp" << QByteArray("TP") << false << QVariantList { 30 }
        << QVariantMap { { "target", 30 }, { "actual", absent } } << QStringList()
        << QByteArrayList { "TP?" };
    QTest::newRow("set of a command without get values has no follow-up")
        << "Apply" << QByteArray("APPLY") << false << QVariantList() << QVariantMap()
        << QStringList() << QByteArrayList();
    QTest::newRow("constant position takes one argument")
        << "Mixed" << QByteArray("MX?") << false << QVariantList { 0, 4 }
        << QVariantMap { { "level", 4 } } << QStringList() << QByteArrayList();
}

void TestCameraDatabase::replyDecoding()
{
    QFETCH(QString, id);
    QFETCH(QByteArray, code);
    QFETCH(bool, failure);
    QFETCH(QVariantList, args);
    QFETCH(QVariantMap, expected);
    QFETCH(QStringList, messages);
    QFETCH(QByteArrayList, followUps);

    for (const QString &m : messages)
        QTest::ignoreMessage(QtDebugMsg, m.toUtf8().constData());
    mDb->processReply(
        id, code, failure ? AbstractCommunicator::Failure : AbstractCommunicator::Success, args);

    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (it.value() == QVariant(QStringLiteral("<absent>"))) {
            QCOMPARE(mDb->valueState(it.key()), CameraDatabase::ValueState::Absent);
        } else {
            QCOMPARE(mDb->valueState(it.key()), CameraDatabase::ValueState::Cached);
            QCOMPARE(mDb->cachedValue(it.key()), it.value());
        }
    }
    QCOMPARE(mChannel->codes(), followUps);
    for (const Request &r : qAsConst(mChannel->requests))
        QCOMPARE(r.id, id);
}

void TestCameraDatabase::replyAnnouncesCommandToItsSubscribers()
{
    RecordingSubscriber command, value;
    mDb->registerItem("Roi", &command);
    mDb->registerItem("roiY", &value);
    mDb->processReply("Roi", "RO?", AbstractCommunicator::Success, { 1, 2, 3 });
    QCOMPARE(command.calls.size(), 1);
    QCOMPARE(command.calls.first().first, QStringLiteral("Roi"));
    QVERIFY(!command.calls.first().second.isValid());
    QCOMPARE(value.calls.size(), 1);
    QCOMPARE(value.calls.first().second, QVariant(2));
}

void TestCameraDatabase::blockingGetDecodesAtOnce()
{
    mChannel->directReplies.insert("RO?", { 11, 12, 13 });
    mDb->updateCachedValue("roiIndex", 1);
    QCOMPARE(mDb->getValueWait("roiY"), QVariant(12));
    QCOMPARE(mDb->cachedValue("roiW"), QVariant(13));
    // The value came back through decoding: no further request.
    QCOMPARE(mChannel->requests.size(), 1);
    QCOMPARE(mDb->getValueWait("roiX"), QVariant(11));
    QCOMPARE(mChannel->requests.size(), 1);
}

void TestCameraDatabase::blockingGetFailureChangesNothing()
{
    mDb->updateCachedValue("gain", 3);
    mDb->refreshValue("gain");
    QCOMPARE(mDb->getValueWait("gain"), QVariant(3));
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Stale);
    QCOMPARE(mChannel->codes(), (QByteArrayList { "GA?", "GA?" }));
}

void TestCameraDatabase::blockingSetIsNotDecoded()
{
    mChannel->directReplies.insert("TP", { 99 });
    RecordingSubscriber item;
    mDb->registerItem("Temp", &item);
    mDb->doSetValueWait("target");
    QCOMPARE(mDb->valueState("target"), CameraDatabase::ValueState::Cached); // argument read
    QVERIFY(!mDb->cachedValue("target").isValid());
    QVERIFY(item.calls.isEmpty());
    QCOMPARE(mChannel->codes(), QByteArrayList { "TP" }); // no follow-up get
}

void TestCameraDatabase::repeatedReadsOfNeverReadNameSendOneGet()
{
    QVERIFY(!mDb->getValue("gain").isValid());
    QVERIFY(!mDb->getValue("gain").isValid());
    QVERIFY(!mDb->getValue("gain").isValid());
    QCOMPARE(mChannel->codes(), QByteArrayList { "GA?" });
    mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 8 });
    QCOMPARE(mDb->getValue("gain"), QVariant(8));
    QCOMPARE(mChannel->requests.size(), 1);
}

void TestCameraDatabase::getValueOfCachedNameSendsNothing()
{
    mDb->updateCachedValue("gain", 4);
    QCOMPARE(mDb->getValue("gain"), QVariant(4));
    QCOMPARE(mDb->getValueWait("gain"), QVariant(4));
    QVERIFY(mChannel->requests.isEmpty());
}

void TestCameraDatabase::setValueSendsStoresAndNotifies()
{
    RecordingSubscriber item;
    mDb->registerItem("roiX", &item);
    QSignalSpy updates(mDb, &CameraDatabase::valueUpdate);
    mDb->updateCachedValue("roiIndex", 2);
    mDb->setValue("roiX", 50);

    QCOMPARE(mChannel->requests.size(), 1);
    QCOMPARE(mChannel->requests.first().code, QByteArray("RO"));
    QCOMPARE(mChannel->requests.first().args, (QVariantList { 2, 50, 0, 0 }));
    QCOMPARE(item.calls.size(), 1);
    QCOMPARE(item.calls.first().second, QVariant(50));
    QCOMPARE(updates.size(), 2); // roiIndex, then roiX
    QCOMPARE(updates.last().at(0).toString(), QStringLiteral("roiX"));
    QCOMPARE(mDb->valueState("roiX"), CameraDatabase::ValueState::Cached);
    QCOMPARE(mDb->getValue("roiX"), QVariant(50));
    QCOMPARE(mChannel->requests.size(), 1);
}

void TestCameraDatabase::setValueWithCachedValueDoesNothing()
{
    mDb->updateCachedValue("gain", 7);
    RecordingSubscriber item;
    mDb->registerItem("gain", &item);
    QSignalSpy updates(mDb, &CameraDatabase::valueUpdate);
    mDb->setValue("gain", 7);
    QVERIFY(mChannel->requests.isEmpty());
    QVERIFY(item.calls.isEmpty());
    QCOMPARE(updates.size(), 0);
}

void TestCameraDatabase::setValueOnCachedUpdateCommandSendsNothing()
{
    RecordingSubscriber item;
    mDb->registerItem("expo", &item);
    mDb->setValue("expo", 1200);
    QVERIFY(mChannel->requests.isEmpty());
    QCOMPARE(item.calls.size(), 1);
    QCOMPARE(mDb->cachedValue("expo"), QVariant(1200));
    // The command element sends it later, with the stored value.
    mDb->doSetValue("Exposure");
    QCOMPARE(mChannel->requests.size(), 1);
    QCOMPARE(mChannel->requests.first().args, QVariantList { 1200 });
}

void TestCameraDatabase::updateCachedValueEqualNotifiesNobody()
{
    RecordingSubscriber item;
    mDb->registerItem("gain", &item);
    QSignalSpy updates(mDb, &CameraDatabase::valueUpdate);
    mDb->updateCachedValue("gain", 3);
    mDb->updateCachedValue("gain", 3);
    QCOMPARE(item.calls.size(), 1);
    QCOMPARE(updates.size(), 1);
}

void TestCameraDatabase::refreshMakesStaleUntilReplyStored()
{
    RecordingSubscriber item;
    mDb->registerItem("gain", &item);
    mDb->updateCachedValue("gain", 3);
    mDb->refreshValue("gain");
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Stale);
    QCOMPARE(mDb->cachedValue("gain"), QVariant(3));
    QCOMPARE(mDb->getValue("gain"), QVariant(3));
    QCOMPARE(mChannel->codes(), (QByteArrayList { "GA?", "GA?" }));

    // The same value coming back still counts as a change, because it was stale.
    mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 3 });
    QCOMPARE(item.calls.size(), 2);
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Cached);
    mDb->getValue("gain");
    QCOMPARE(mChannel->requests.size(), 2);
}

void TestCameraDatabase::failureReplyLeavesNameStale()
{
    mDb->updateCachedValue("gain", 3);
    mDb->refreshValue("gain");
    mDb->processReply("Gain", "GA?", AbstractCommunicator::Failure, { 9 });
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Stale);
    QCOMPARE(mDb->cachedValue("gain"), QVariant(3));
    mDb->getValue("gain");
    QCOMPARE(mChannel->requests.size(), 2);
}

void TestCameraDatabase::subscribedTwiceIsCalledTwice()
{
    RecordingSubscriber item;
    mDb->registerItem("gain", &item);
    mDb->registerItem("gain", &item);
    mDb->updateCachedValue("gain", 1);
    QCOMPARE(item.calls.size(), 2);
    mDb->updateCmdExecuted("gain");
    QCOMPARE(item.calls.size(), 4);
    QVERIFY(!item.calls.last().second.isValid());
}

void TestCameraDatabase::unregisteredItemIsNotCalled()
{
    RecordingSubscriber gone, stays;
    mDb->registerItem("gain", &gone);
    mDb->registerItem("Gain", &gone);
    mDb->registerItem("gain", &stays);
    mDb->unregisterItem(&gone);
    mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 1 });
    QVERIFY(gone.calls.isEmpty());
    QCOMPARE(stays.calls.size(), 1);
}

namespace {

// Unsubscribes and deletes other subscribers when told, as a tree rebuild would.
class RemovingSubscriber : public ValueSubscriber
{
public:
    RemovingSubscriber(CameraDatabase *db, QList<RecordingSubscriber *> victims)
        : mDb(db)
        , mVictims(std::move(victims))
    { }
    ~RemovingSubscriber() override { qDeleteAll(mVictims); }
    void valueChanged(const QString &, const QVariant &) override
    {
        for (RecordingSubscriber *victim : qAsConst(mVictims)) {
            mDb->unregisterItem(victim);
            delete victim;
        }
        mVictims.clear();
    }

private:
    CameraDatabase *mDb;
    QList<RecordingSubscriber *> mVictims;
};

} // namespace

void TestCameraDatabase::itemRemovedWhileNotifyingIsNotCalled_data()
{
    QTest::addColumn<int>("victims");
    QTest::newRow("one of three") << 1;
    // Most of the list goes at once, so it is compacted while being walked.
    QTest::newRow("four of six") << 4;
}

void TestCameraDatabase::itemRemovedWhileNotifyingIsNotCalled()
{
    QFETCH(int, victims);
    QList<RecordingSubscriber *> doomed;
    for (int i = 0; i < victims; ++i)
        doomed.append(new RecordingSubscriber);
    RemovingSubscriber remover(mDb, doomed);
    RecordingSubscriber last;
    mDb->registerItem("gain", &remover);
    for (RecordingSubscriber *victim : qAsConst(doomed))
        mDb->registerItem("gain", victim);
    mDb->registerItem("gain", &last);
    mDb->updateCachedValue("gain", 1);
    QCOMPARE(last.calls.size(), 1);
    QCOMPARE(mDb->subscriptionCount("gain"), 2);
    mDb->updateCmdExecuted("gain");
    QCOMPARE(last.calls.size(), 2);
}

void TestCameraDatabase::identificationFallback_data()
{
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("requestId");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("no ID anywhere: fallback command") << "none"
                                                      << "intrnal_cmd_ident" << QByteArray("ID?");
    QTest::newRow("command called ID") << "command"
                                       << "ID" << QByteArray("IDN?");
    QTest::newRow("parameter called ID") << "parameter"
                                         << "Ident" << QByteArray("IDENT?");
}

void TestCameraDatabase::identificationFallback()
{
    QFETCH(QString, variant);
    QFETCH(QString, requestId);
    QFETCH(QByteArray, code);
    if (variant == "none")
        mDescription = makeDescription(
            { { "Gain", "GA", {}, { intParam("gain") }, { intParam("gain") }, {} } });
    else if (variant == "command")
        mDescription = makeDescription({ { "ID", "IDN", {}, {}, { textParam("ident") }, {} } });
    else
        mDescription = makeDescription({ { "Ident", "IDENT", {}, {}, { textParam("ID") }, {} } });
    mDb->setDescription(mDescription.get(), "m", "t");

    mDb->doGetValue("ID");
    QCOMPARE(mChannel->requests.size(), 1);
    QCOMPARE(mChannel->requests.first().id, requestId);
    QCOMPARE(mChannel->requests.first().code, code);
    QVERIFY(mChannel->requests.first().args.isEmpty());
    QVERIFY(mChannel->requests.first().expectReply);

    mDb->processReply(requestId, code, AbstractCommunicator::Success, { QStringLiteral("Cam-1") });
    QCOMPARE(mDb->cachedValue(variant == "command" ? "ident" : "ID"), QVariant("Cam-1"));
    QCOMPARE(mDb->scriptNames().contains("ID"), variant != "command");
}

void TestCameraDatabase::scriptNamesAreSortedAndUnique()
{
    QCOMPARE(mDb->scriptNames(),
        (QStringList { "ID", "actual", "camName", "expo", "gain", "level", "mode", "roiIndex",
            "roiW", "roiX", "roiY", "target" }));
    mDb->setDescription(nullptr, QString(), QString());
    QVERIFY(mDb->scriptNames().isEmpty());
    QTest::ignoreMessage(QtDebugMsg, "doGetValue() unknown parameter: ID");
    mDb->doGetValue("ID");
    QVERIFY(mChannel->requests.isEmpty());
}

void TestCameraDatabase::replacedDescriptionDecodesOnlyKnownCommands()
{
    RecordingSubscriber item;
    mDb->registerItem("gain", &item);
    mDb->updateCachedValue("gain", 1);
    auto next = makeDescription({ { "Gain", "GA", {}, {}, { intParam("gain2") }, {} } });
    mDb->setDescription(next.get(), "m", "t");
    // Values and subscriptions of the old description are gone.
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Absent);

    mDb->processReply("Roi", "RO?", AbstractCommunicator::Success, { 1, 2, 3 });
    QCOMPARE(mDb->valueState("roiX"), CameraDatabase::ValueState::Absent);
    mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 5 });
    QCOMPARE(mDb->cachedValue("gain2"), QVariant(5));
    QCOMPARE(mDb->valueState("gain"), CameraDatabase::ValueState::Absent);
    QCOMPARE(item.calls.size(), 1);
    mDescription = std::move(next);
}

void TestCameraDatabase::fastFailureSetsRetries()
{
    mDb->setFastFailure(true);
    mDb->setFastFailure(false);
    QCOMPARE(mChannel->retries, (QList<int> { 0, 2 }));
}

void TestCameraDatabase::offlinePollRepeatsUntilOnline()
{
    QCOMPARE(mDb->offlinePollInterval(), 2500);
    mDb->setOfflinePollInterval(20);
    mChannel->online = false;
    mDb->onOnlineModeChanged(false);
    QVERIFY(mDb->isPollingOffline());
    QTRY_VERIFY_WITH_TIMEOUT(mChannel->requests.size() >= 3, 5000);
    for (const Request &r : qAsConst(mChannel->requests)) {
        QCOMPARE(r.code, QByteArray("ID?"));
        QCOMPARE(r.id, QStringLiteral("intrnal_cmd_ident"));
    }
    mChannel->online = true;
    QTRY_VERIFY_WITH_TIMEOUT(!mDb->isPollingOffline(), 5000);
    const int sent = mChannel->requests.size();
    mDb->checkOnline();
    QCOMPARE(mChannel->requests.size(), sent);
    QVERIFY(!mDb->isPollingOffline());
}

void TestCameraDatabase::onlineChangeDoesNotStartPoll()
{
    mDb->onOnlineModeChanged(true);
    QVERIFY(!mDb->isPollingOffline());
    QVERIFY(mChannel->requests.isEmpty());
}

QTEST_GUILESS_MAIN(TestCameraDatabase)

namespace {

// Writes its tag into a shared journal when told.
class JournalSubscriber : public ValueSubscriber
{
public:
    JournalSubscriber(QString tag, QStringList *journal)
        : mTag(std::move(tag))
        , mJournal(journal)
    { }
    void valueChanged(const QString &, const QVariant &) override { mJournal->append(mTag); }

private:
    QString mTag;
    QStringList *mJournal;
};

} // namespace

void TestCameraDatabase::notificationOrder_data()
{
    // Each step: "+x" subscribes x to gain, "-x" unregisters x everywhere, "*x" subscribes x to
    // another name (so that x has subscriptions under two names).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("count");

    QTest::newRow("subscription order")
        << QStringList { "+c", "+a", "+b" } << QStringList { "c", "a", "b" } << 3;
    QTest::newRow("duplicates keep their places")
        << QStringList { "+a", "+b", "+a" } << QStringList { "a", "b", "a" } << 3;
    QTest::newRow("unregister removes every duplicate")
        << QStringList { "+a", "+b", "+a", "-a" } << QStringList { "b" } << 1;
    QTest::newRow("unregister leaves other names' order")
        << QStringList { "*b", "+a", "+b", "+c", "-b" } << QStringList { "a", "c" } << 2;
    QTest::newRow("order survives compaction")
        << QStringList { "+a", "+b", "+c", "-a", "-b", "+d" } << QStringList { "c", "d" } << 2;
    QTest::newRow("subscribing again goes last")
        << QStringList { "+a", "+b", "-a", "+a" } << QStringList { "b", "a" } << 2;
    QTest::newRow("unregister of a stranger changes nothing")
        << QStringList { "+a", "-z", "+b" } << QStringList { "a", "b" } << 2;
    QTest::newRow("everyone gone")
        << QStringList { "+a", "*a", "+b", "-b", "-a" } << QStringList {} << 0;
}

void TestCameraDatabase::notificationOrder()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, expected);
    QFETCH(int, count);

    QStringList journal;
    std::map<QString, std::unique_ptr<JournalSubscriber>> items;
    auto item = [&](const QString &tag) {
        auto &slot = items[tag];
        if (!slot)
            slot.reset(new JournalSubscriber(tag, &journal));
        return slot.get();
    };
    for (const QString &step : qAsConst(steps)) {
        const QString tag = step.mid(1);
        if (step.startsWith('+'))
            mDb->registerItem("gain", item(tag));
        else if (step.startsWith('*'))
            mDb->registerItem("expo", item(tag));
        else
            mDb->unregisterItem(item(tag));
    }
    QCOMPARE(mDb->subscriptionCount("gain"), count);
    mDb->updateCachedValue("gain", 7);
    QCOMPARE(journal, expected);
    journal.clear();
    mDb->updateCmdExecuted("gain");
    QCOMPARE(journal, expected);
}

void TestCameraDatabase::unregisteringManyItemsScales()
{
    // A tree being torn down: every item has a name of its own and shares one with all others.
    // Unregistering must cost per item, not per item times the whole tree: with a scan of every
    // subscription per item this takes minutes instead of a fraction of a second.
    const int count = 100000;
    std::vector<std::unique_ptr<RecordingSubscriber>> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        items.emplace_back(new RecordingSubscriber);
        mDb->registerItem(QStringLiteral("cell%1").arg(i), items.back().get());
        mDb->registerItem("gain", items.back().get());
    }
    QCOMPARE(mDb->subscriptionCount("gain"), count);
    for (int i = 0; i < count; i += 2)
        mDb->unregisterItem(items[i].get());
    QCOMPARE(mDb->subscriptionCount("gain"), count / 2);
    QCOMPARE(mDb->subscriptionCount("cell0"), 0);
    QCOMPARE(mDb->subscriptionCount("cell1"), 1);

    mDb->updateCachedValue("gain", 5);
    int told = 0, wrong = 0;
    for (int i = 0; i < count; ++i) {
        told += items[i]->calls.size();
        wrong += items[i]->calls.size() != i % 2 ? 1 : 0;
    }
    QCOMPARE(told, count / 2);
    QCOMPARE(wrong, 0);

    for (int i = count - 1; i >= 0; --i)
        mDb->unregisterItem(items[i].get());
    QCOMPARE(mDb->subscriptionCount("gain"), 0);
    QCOMPARE(mDb->subscriptionCount(QStringLiteral("cell%1").arg(count - 1)), 0);
}

#include "tst_cameradatabase.moc"
