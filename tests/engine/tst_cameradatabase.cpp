// Requests, reply decoding and the cache rules of the camera database, observed through a
// recording fake of the communication layer.
#include "comm/console.h"
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"
#include "fakecommandchannel.h"

#include <QSignalSpy>
#include <QtTest>

#include <map>
#include <memory>
#include <vector>

using Request = FakeCommandChannel::Request;
using State = CameraDatabase::ValueState;

class TestCameraDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        mChannel = new FakeCommandChannel;
        mDb = new CameraDatabase(mChannel);
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

    void cleanup()
    {
        delete mDb;
        delete mChannel;
        mDescription.reset();
    }

    void requestForms_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariantMap>("cache");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<bool>("expectReply");

        const QVariantMap none;
        auto row = [](const char *name, const char *op, const char *value, const QVariantMap &cache,
                       const char *id, const char *code, const QVariantList &args, bool reply) {
            QTest::newRow(name) << op << value << cache << id << QByteArray(code) << args << reply;
        };
        row("get found through a value name", "Get", "gain", none, "Gain", "GA?", {}, true);
        row("get with an index argument", "Get", "roiY", { { "roiIndex", 3 } }, "Roi", "RO?", { 3 },
            true);
        row("set sends the whole argument list from the cache", "Set", "roiX",
            { { "roiIndex", 2 }, { "roiX", 10 }, { "roiY", "20" } }, "Roi", "RO", { 2, 10, 20, 0 },
            false);
        row("constant bytes unchanged, string from cache", "Get", "Mixed", { { "mode", "fast" } },
            "Mixed", "MX?", { QByteArray("7"), QStringLiteral("fast") }, true);
        row("CachedUpdate command sends the stored value", "Set", "Exposure", { { "expo", 1200 } },
            "Exposure", "EX", { 1200 }, false);
        row("blocking get by command Id", "GetWait", "Gain", none, "@direct", "GA?", {}, true);
        row("blocking set, int that is not a number goes out as 0", "SetWait", "roiW",
            { { "roiIndex", "abc" }, { "roiX", 4 }, { "roiY", 5 }, { "roiW", 6 } }, "@direct", "RO",
            { 0, 4, 5, 6 }, false);
        for (const char *op : { "Get", "Set", "GetWait", "SetWait" })
            row(qPrintable(QString("unknown name, ") + op), op, "nothing", none, "", "", {}, false);
    }

    void requestForms()
    {
        QFETCH(QString, operation);
        QFETCH(QString, name);
        QFETCH(QVariantMap, cache);
        QFETCH(QString, id);
        QFETCH(QByteArray, code);
        QFETCH(QVariantList, args);
        QFETCH(bool, expectReply);
        const QHash<QString, void (CameraDatabase::*)(const QString &)> functions {
            { "Get", &CameraDatabase::doGetValue },
            { "Set", &CameraDatabase::doSetValue },
            { "GetWait", &CameraDatabase::doGetValueWait },
            { "SetWait", &CameraDatabase::doSetValueWait },
        };
        const QString function = "do" + operation.left(3) + "Value" + operation.mid(3);

        for (auto it = cache.cbegin(); it != cache.cend(); ++it)
            mDb->updateCachedValue(it.key(), it.value());
        if (id.isEmpty())
            QTest::ignoreMessage(
                QtDebugMsg, qPrintable(function + "() unknown parameter: " + name));
        (mDb->*functions.value(operation))(name);

        if (id.isEmpty()) {
            QVERIFY(mChannel->requests.isEmpty());
            QCOMPARE(mDb->valueState(name), State::Absent);
            return;
        }
        // Queued requests carry the command's own Id, never the value name used to find it.
        QCOMPARE(mChannel->requests, (QList<Request> { { id, code, args, expectReply } }));
        for (int i = 0; i < args.size(); ++i)
            QCOMPARE(mChannel->requests.first().args.at(i).userType(), args.at(i).userType());
    }

    void replyDecoding_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<bool>("failure");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QVariantMap>("expected"); // name -> value; "<absent>" for no entry
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArrayList>("followUps");

        const QVariant absent = QStringLiteral("<absent>");
        const QString less = "Roi RO? Returned less parameters than expected";
        auto row = [](const char *name, const char *id, const char *code, bool failure,
                       const QVariantList &args, const QVariantMap &expected,
                       const QString &message = QString(), const QByteArrayList &followUps = {}) {
            QTest::newRow(name) << id << QByteArray(code) << failure << args << expected << message
                                << followUps;
        };
        row("get reply with every value", "Roi", "RO?", false, { 1, 2, 3 },
            { { "roiX", 1 }, { "roiY", 2 }, { "roiW", 3 } });
        row("too few arguments", "Roi", "RO?", false, { 1, 2 },
            { { "roiX", 1 }, { "roiY", 2 }, { "roiW", QVariant() } }, less);
        row("too many arguments", "Gain", "GA?", false, { 5, 6 }, { { "gain", 5 } },
            "Gain GA? Returned more parameters than expected");
        row("failure changes nothing", "Gain", "GA?", true, { 9 }, { { "gain", absent } });
        row("reply of another sender is dropped", "@direct", "GA?", false, { 9 },
            { { "gain", absent } });
        row("acknowledged set is followed by a get", "Gain", "GA", false, {},
            { { "gain", absent } }, QString(), { "GA?" });
        // The console says so, and the tree is to show what the camera holds.
        row("failed set is reported and read back", "Gain", "GA", true, {}, { { "gain", absent } },
            "Console: The camera did not take the value of gain; reading back what it holds",
            { "GA?" });
        row("set reply values stored, get follows all the same", "Temp", "TP", false, { 30 },
            { { "target", 30 }, { "actual", absent } }, QString(), { "TP?" });
        row("constant position takes one argument", "Mixed", "MX?", false, { 0, 4 },
            { { "level", 4 } });
    }

    void replyDecoding()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, code);
        QFETCH(bool, failure);
        QFETCH(QVariantList, args);
        QFETCH(QVariantMap, expected);
        QFETCH(QString, message);
        QFETCH(QByteArrayList, followUps);

        Console console(nullptr);
        RecordingSubscriber announced;
        for (const char *command : { "Gain", "Roi", "Temp", "Apply", "Mixed" })
            mDb->registerItem(command, &announced);
        if (!message.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, qPrintable(message));
        mDb->processReply(id, code,
            failure ? AbstractCommunicator::Failure : AbstractCommunicator::Success, args);

        // A decoded reply tells the subscribers of its command, with no value.
        const bool decoded = !failure && id != "@direct";
        QCOMPARE(announced.calls.size(), decoded ? 1 : 0);
        if (decoded)
            QCOMPARE(announced.calls.first(), qMakePair(id, QVariant()));

        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            const bool absent = it.value() == QVariant(QStringLiteral("<absent>"));
            QCOMPARE(mDb->valueState(it.key()), absent ? State::Absent : State::Cached);
            if (!absent)
                QCOMPARE(mDb->cachedValue(it.key()), it.value());
        }
        QCOMPARE(mChannel->codes(), followUps);
        for (const Request &r : qAsConst(mChannel->requests))
            QCOMPARE(r.id, id);
    }

    void setValue()
    {
        mDb->updateCachedValue("roiIndex", 2);
        mDb->updateCachedValue("gain", 7);
        RecordingSubscriber item;
        for (const char *name : { "roiX", "gain", "expo" })
            mDb->registerItem(name, &item);
        QSignalSpy updates(mDb, &CameraDatabase::valueUpdate);

        mDb->setValue("roiX", 50); // new value: sent, stored and told
        mDb->setValue("gain", 7); // unchanged: nothing
        mDb->setValue("expo", 1200); // CachedUpdate: stored and told, not sent
        QCOMPARE(item.calls.size(), 2);
        QCOMPARE(updates.size(), 2);
        // Read back from the cache: no get follows.
        QCOMPARE(mDb->getValue("roiX"), QVariant(50));
        QCOMPARE(mDb->getValue("gain"), QVariant(7));
        QCOMPARE(mDb->getValue("expo"), QVariant(1200));
        QCOMPARE(mChannel->codes(), QByteArrayList { "RO" });
    }

    void refreshedValueStaysStaleUntilAnswered()
    {
        RecordingSubscriber item;
        mDb->registerItem("gain", &item);
        mDb->updateCachedValue("gain", 3);
        mDb->refreshValue("gain");
        QCOMPARE(mDb->valueState("gain"), State::Stale);
        QCOMPARE(mDb->getValue("gain"), QVariant(3));
        mDb->processReply("Gain", "GA?", AbstractCommunicator::Failure, { 3 });
        QCOMPARE(mDb->valueState("gain"), State::Stale);
        // A value still stale is asked for again on the next read.
        const int sent = mChannel->requests.size();
        mDb->getValue("gain");
        QCOMPARE(mChannel->requests.size(), sent + 1);

        // The same value coming back still counts as a change, because it was stale.
        mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 3 });
        QCOMPARE(mDb->valueState("gain"), State::Cached);
        QCOMPARE(item.calls.size(), 2);
        QCOMPARE(mDb->getValue("gain"), QVariant(3));
        QCOMPARE(mChannel->requests.size(), sent + 1);
    }

    void notificationOrder_data()
    {
        // Each step: "+x" subscribes x to gain, "-x" unregisters x everywhere, "*x" subscribes x to
        // another name (so that x has subscriptions under two names). When told, an item tagged "r"
        // unregisters every item tagged "v...", as a tree rebuild would.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("subscription order")
            << QStringList { "+c", "+a", "+b" } << QStringList { "c", "a", "b" };
        QTest::newRow("unregister removes every duplicate")
            << QStringList { "+a", "+b", "+a", "-a" } << QStringList { "b" };
        QTest::newRow("unregister leaves other names' order")
            << QStringList { "*b", "+a", "+b", "+c", "-b" } << QStringList { "a", "c" };
        QTest::newRow("item removed while others are told is not called")
            << QStringList { "+r", "+v1", "+z" } << QStringList { "r", "z" };
        // Most of the list goes at once, so it is compacted while being walked.
        QTest::newRow("most items removed while others are told")
            << QStringList { "+r", "+v1", "+v2", "+v3", "+v4", "+z" } << QStringList { "r", "z" };
    }

    void notificationOrder()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);

        QStringList journal;
        std::map<QString, std::unique_ptr<RecordingSubscriber>> items;
        auto item = [&](const QString &tag) {
            auto &slot = items[tag];
            if (!slot)
                slot.reset(new RecordingSubscriber([&, tag](const QVariant &) {
                    journal << tag;
                    for (auto &victim : items) {
                        if (tag == "r" && victim.first.startsWith('v'))
                            mDb->unregisterItem(victim.second.get());
                    }
                }));
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
        mDb->updateCachedValue("gain", 7);
        QCOMPARE(journal, expected);
        QCOMPARE(mDb->subscriptionCount("gain"), expected.size());
        journal.clear();
        mDb->updateCmdExecuted("gain");
        QCOMPARE(journal, expected);
    }

    void unregisteringManyItemsScales()
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
        for (int i = 0; i < count; i += 2)
            mDb->unregisterItem(items[i].get());
        QCOMPARE(mDb->subscriptionCount("gain"), count / 2);
        QCOMPARE(mDb->subscriptionCount("cell0"), 0);
        QCOMPARE(mDb->subscriptionCount("cell1"), 1);

        for (int i = count - 1; i >= 0; --i)
            mDb->unregisterItem(items[i].get());
        QCOMPARE(mDb->subscriptionCount("gain"), 0);
    }

    void identificationFallback_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<QString>("requestId");
        QTest::addColumn<QByteArray>("code");
        QTest::newRow("no ID anywhere: fallback command")
            << "none"
            << "intrnal_cmd_ident" << QByteArray("ID?");
        QTest::newRow("command called ID") << "command"
                                           << "ID" << QByteArray("IDN?");
        QTest::newRow("parameter called ID") << "parameter"
                                             << "Ident" << QByteArray("IDENT?");
    }

    void identificationFallback()
    {
        QFETCH(QString, variant);
        QFETCH(QString, requestId);
        QFETCH(QByteArray, code);
        // The description of init() has no ID of its own.
        if (variant == "command")
            mDescription = makeDescription({ { "ID", "IDN", {}, {}, { textParam("ident") }, {} } });
        else if (variant == "parameter")
            mDescription
                = makeDescription({ { "Ident", "IDENT", {}, {}, { textParam("ID") }, {} } });
        mDb->setDescription(mDescription.get(), "m", "t");

        mDb->doGetValue("ID");
        QCOMPARE(mChannel->requests, (QList<Request> { { requestId, code, {}, true } }));
        mDb->processReply(
            requestId, code, AbstractCommunicator::Success, { QStringLiteral("Cam-1") });
        QCOMPARE(mDb->cachedValue(variant == "command" ? "ident" : "ID"), QVariant("Cam-1"));
        QCOMPARE(mDb->scriptNames().contains("ID"), variant != "command");
    }

    void replacedDescriptionDecodesOnlyKnownCommands()
    {
        RecordingSubscriber item;
        mDb->registerItem("gain", &item);
        mDb->updateCachedValue("gain", 1);
        auto next = makeDescription({ { "Gain", "GA", {}, {}, { intParam("gain2") }, {} } });
        mDb->setDescription(next.get(), "m", "t");
        // Values and subscriptions of the old description are gone.
        QCOMPARE(mDb->valueState("gain"), State::Absent);
        QCOMPARE(mDb->subscriptionCount("gain"), 0);

        mDb->processReply("Roi", "RO?", AbstractCommunicator::Success, { 1, 2, 3 });
        QCOMPARE(mDb->valueState("roiX"), State::Absent);
        mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 5 });
        QCOMPARE(mDb->cachedValue("gain2"), QVariant(5));
        mDescription = std::move(next);
        // Disconnected: no description, nothing sent.
        mDb->setDescription(nullptr, QString(), QString());
        QVERIFY(mDb->scriptNames().isEmpty());
        QTest::ignoreMessage(QtDebugMsg, "doGetValue() unknown parameter: gain2");
        mDb->doGetValue("gain2");
        QVERIFY(mChannel->requests.isEmpty());
    }

    void offlinePollRepeatsUntilOnline()
    {
        mDb->setOfflinePollInterval(20);
        mChannel->online = false;
        mDb->onOnlineModeChanged(false);
        QVERIFY(mDb->isPollingOffline());
        QTRY_VERIFY_WITH_TIMEOUT(mChannel->requests.size() >= 3, 5000);
        for (const Request &r : qAsConst(mChannel->requests))
            QCOMPARE(r, (Request { "intrnal_cmd_ident", "ID?", {}, true }));
        mChannel->online = true;
        QTRY_VERIFY_WITH_TIMEOUT(!mDb->isPollingOffline(), 5000);
    }

private:
    FakeCommandChannel *mChannel = nullptr;
    CameraDatabase *mDb = nullptr;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

QTEST_GUILESS_MAIN(TestCameraDatabase)
#include "tst_cameradatabase.moc"
