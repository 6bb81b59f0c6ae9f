// Requests, reply decoding, the cache rules and expression evaluation (library functions, camera
// values as text, errors and runaway scripts) of the camera database, observed through a
// recording fake of the communication layer; conversions between cached values and what display
// elements show, edit, write and save; and camera settings files without a tree: the bytes
// written, the tolerant reader, and applying one item, damaged blocks included.
#include "comm/console.h"
#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/roielement.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "engine/commandchannel.h"
#include "engine/elementvalue.h"
#include "enginetestsupport.h"
#include "tests/common/datatable.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <vector>

// Test double of the communication layer: records every request and answers blocking ones
// from a table (code -> reply arguments); codes without an entry fail.
class FakeCommandChannel : public CommandChannel
{
public:
    struct Request
    {
        QString id; // "@direct" for blocking requests
        QByteArray code;
        QVariantList args;
        bool expectReply = false;

        bool operator==(const Request &o) const
        {
            return id == o.id && code == o.code && args == o.args && expectReply == o.expectReply;
        }
    };

    bool sendCommand(const QString &id, const QByteArray &code, const QVariantList &args,
        bool expectReply) override
    {
        requests.append({ id, code, args, expectReply });
        return true;
    }

    bool sendCommandDirect(const QByteArray &code, const QVariantList &args, bool expectReply,
        QVariantList *reply) override
    {
        requests.append({ QStringLiteral("@direct"), code, args, expectReply });
        if (!directReplies.contains(code))
            return false;
        if (reply)
            *reply = directReplies.value(code);
        return true;
    }

    bool isOnline() const override { return online; }
    void setRetries(int) override { }

    QByteArrayList codes() const
    {
        QByteArrayList result;
        for (const Request &r : requests)
            result.append(r.code);
        return result;
    }

    QList<Request> requests;
    QHash<QByteArray, QVariantList> directReplies;
    bool online = true;
};

using Request = FakeCommandChannel::Request;
Q_DECLARE_METATYPE(Request)
using State = CameraDatabase::ValueState;
using Item = CameraSettingsFile::Item;
using Outcome = CameraSettingsFile::Outcome;
Q_DECLARE_METATYPE(Outcome)

namespace {

/// An evaluation error writes three lines: the expression, the backtrace and the error.
void expectError(const QString &expression, const QString &error = QStringLiteral(".+"))
{
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Error evaluating expression: " + expression));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(error));
}

template<class T> std::shared_ptr<T> make(const QString &reference)
{
    auto e = std::make_shared<T>();
    e->reference = reference;
    return e;
}

std::shared_ptr<DisplayElement> element(const QString &kind)
{
    if (kind == "command") {
        auto e = make<CommandElement>("Apply");
        e->buttonText = "Go";
        return e;
    }
    if (kind == "bool") {
        auto e = make<BoolElement>("flag");
        e->trueValue = "On";
        e->falseValue = "Off";
        return e;
    }
    if (kind == "int") {
        auto e = make<IntegerElement>("gain");
        e->prefix = "x";
        e->suffix = "dB";
        return e;
    }
    if (kind.startsWith("double")) {
        auto e = make<DoubleElement>("expo");
        e->name = "Exposure";
        e->convertMultiply = kind == "doubleZero" ? 0 : kind == "doubleTiny" ? 1e-300 : 0.5;
        e->convertAdd = 10;
        if (kind == "doubleUnits") {
            e->prefix = "t =";
            e->suffix = "ms";
        }
        return e;
    }
    if (kind == "enum") {
        auto e = make<EnumerationElement>("mode");
        e->items = { { 1, "Fast", {}, {}, {} }, { 2, "Slow", {}, {}, {} } };
        return e;
    }
    return std::make_shared<RoiElement>();
}

void compareTyped(const QVariant &actual, const QVariant &expected)
{
    QCOMPARE(actual, expected);
    QCOMPARE(actual.userType(), expected.userType());
}

QString dataPath(const QString &name)
{
    return qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/tests/engine/data/" + name;
}

/// Base64 of a block written by hand, for blocks the writer would never produce.
QString block(const std::function<void(QDataStream &)> &write)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    write(stream);
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

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
            // Camera values for the expressions.
            { "Mode", "MD", {}, { intParam("Mode") }, { intParam("Mode") }, {} },
            { "Nine", "NI", {}, {}, { intParam("Nine") }, {} },
            { "Model", "MO", {}, {}, { textParam("Model") }, {} },
            { "Hex", "HX", {}, {}, { textParam("Hex") }, {} },
            { "Num", "NU", {}, {}, { intParam("Num") }, {} },
            { "Fraction", "FR", {}, {}, { textParam("Fraction") }, {} },
            { "Empty", "EM", {}, {}, { textParam("Empty") }, {} },
            { "Zero", "ZE", {}, {}, { textParam("Zero") }, {} },
        });
        mChannel->directReplies = {
            { "MD?", { 10 } }, { "NI?", { 9 } }, { "MO?", { QStringLiteral("MX-2000 Pro") } },
            { "HX?", { QStringLiteral("1A") } }, { "NU?", { 255 } },
            { "FR?", { QStringLiteral("7.9") } }, { "ZE?", { QStringLiteral("0") } },
            // "EM?" is not answered: the read fails.
        };
        mDb->setDescription(mDescription.get(), QStringLiteral("TestCam"), QStringLiteral("A"));
        mDb->setScriptTimeLimit(200);
    }

    void cleanup()
    {
        delete mDb;
        delete mChannel;
        mDescription.reset();
    }

    void requestForms_data()
    {
        // sent: no code: nothing is sent
        columns<QString, QString, QVariantMap, Request>({ "operation", "name", "cache", "sent" });

        const QVariantMap none;
        auto row
            = [](const char *name, const char *op, const char *value, const QVariantMap &cache,
                  const Request &sent) { QTest::newRow(name) << op << value << cache << sent; };
        row("get found through a value name", "Get", "gain", none, { "Gain", "GA?", {}, true });
        row("get with an index argument", "Get", "roiY", { { "roiIndex", 3 } },
            { "Roi", "RO?", { 3 }, true });
        row("set sends the whole argument list from the cache", "Set", "roiX",
            { { "roiIndex", 2 }, { "roiX", 10 }, { "roiY", "20" } },
            { "Roi", "RO", { 2, 10, 20, 0 } });
        row("constant bytes unchanged, string from cache", "Get", "Mixed", { { "mode", "fast" } },
            { "Mixed", "MX?", { QByteArray("7"), QStringLiteral("fast") }, true });
        row("CachedUpdate command sends the stored value", "Set", "Exposure", { { "expo", 1200 } },
            { "Exposure", "EX", { 1200 } });
        row("blocking get by command Id", "GetWait", "Gain", none, { "@direct", "GA?", {}, true });
        row("blocking set, int that is not a number goes out as 0", "SetWait", "roiW",
            { { "roiIndex", "abc" }, { "roiX", 4 }, { "roiY", 5 }, { "roiW", 6 } },
            { "@direct", "RO", { 0, 4, 5, 6 } });
        for (const char *op : { "Get", "Set", "GetWait", "SetWait" })
            row(qPrintable(QString("unknown name, ") + op), op, "nothing", none, {});
    }

    void requestForms()
    {
        QFETCH(QString, operation);
        QFETCH(QString, name);
        QFETCH(QVariantMap, cache);
        QFETCH(Request, sent);
        const QHash<QString, void (CameraDatabase::*)(const QString &)> functions {
            { "Get", &CameraDatabase::doGetValue },
            { "Set", &CameraDatabase::doSetValue },
            { "GetWait", &CameraDatabase::doGetValueWait },
            { "SetWait", &CameraDatabase::doSetValueWait },
        };
        for (auto it = cache.cbegin(); it != cache.cend(); ++it)
            mDb->updateCachedValue(it.key(), it.value());
        if (sent.code.isEmpty())
            QTest::ignoreMessage(QtDebugMsg,
                qPrintable("do" + operation.left(3) + "Value" + operation.mid(3)
                    + "() unknown parameter: " + name));
        (mDb->*functions.value(operation))(name);

        if (sent.code.isEmpty()) {
            QVERIFY(mChannel->requests.isEmpty());
            QCOMPARE(mDb->valueState(name), State::Absent);
            return;
        }
        // Queued requests carry the command's own Id, never the value name used to find it.
        QCOMPARE(mChannel->requests, QList<Request> { sent });
        for (int i = 0; i < sent.args.size(); ++i)
            QCOMPARE(mChannel->requests.first().args.at(i).userType(), sent.args.at(i).userType());
    }

    void replyDecoding_data()
    {
        // expected: name -> value; "<absent>" for no entry
        columns<QString, QByteArray, bool, QVariantList, QVariantMap, QString, QByteArrayList>(
            { "id", "code", "failure", "args", "expected", "message", "followUps" });

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

    void cacheRules()
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

        // A refreshed value stays stale, still shown, until a get of it succeeds.
        mDb->refreshValue("gain");
        QCOMPARE(mDb->valueState("gain"), State::Stale);
        QCOMPARE(mDb->getValue("gain"), QVariant(7));
        mDb->processReply("Gain", "GA?", AbstractCommunicator::Failure, { 7 });
        QCOMPARE(mDb->valueState("gain"), State::Stale);
        // A value still stale is asked for again on the next read.
        const int sent = mChannel->requests.size();
        mDb->getValue("gain");
        QCOMPARE(mChannel->requests.size(), sent + 1);

        // The same value coming back still counts as a change, because it was stale.
        mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 7 });
        QCOMPARE(mDb->valueState("gain"), State::Cached);
        QCOMPARE(item.calls.size(), 3);
        QCOMPARE(mDb->getValue("gain"), QVariant(7));
        QCOMPARE(mChannel->requests.size(), sent + 1);
    }

    void notificationOrder_data()
    {
        // Each step: "+x" subscribes x to gain, "-x" unregisters x everywhere, "*x" subscribes x to
        // another name (so that x has subscriptions under two names). When told, an item tagged "r"
        // unregisters every item tagged "v...", as a tree rebuild would.
        columns<QStringList, QStringList>({ "steps", "expected" });

        const auto row
            = [](const char *name, const QStringList &steps, const QStringList &expected) {
                  QTest::newRow(name) << steps << expected;
              };
        row("subscription order", { "+c", "+a", "+b" }, { "c", "a", "b" });
        row("unregister removes every duplicate", { "+a", "+b", "+a", "-a" }, { "b" });
        row("unregister leaves other names' order", { "*b", "+a", "+b", "+c", "-b" }, { "a", "c" });
        row("item removed while others are told is not called", { "+r", "+v1", "+z" },
            { "r", "z" });
        // Most of the list goes at once, so it is compacted while being walked.
        row("most items removed while others are told", { "+r", "+v1", "+v2", "+v3", "+v4", "+z" },
            { "r", "z" });
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
        columns<QString, QString, QByteArray>({ "variant", "requestId", "code" });
        const auto row
            = [](const char *name, const char *variant, const char *id, const char *code) {
                  QTest::newRow(name) << QString(variant) << QString(id) << QByteArray(code);
              };
        row("no ID anywhere: fallback command", "none", "intrnal_cmd_ident", "ID?");
        row("command called ID", "command", "ID", "IDN?");
        row("parameter called ID", "parameter", "Ident", "IDENT?");
    }

    void identificationFallback()
    {
        QFETCH(QString, variant);
        QFETCH(QString, requestId);
        QFETCH(QByteArray, code);
        // The description of init() has no ID of its own.
        if (variant == "command")
            use(makeDescription({ { "ID", "IDN", {}, {}, { textParam("ident") }, {} } }));
        else if (variant == "parameter")
            use(makeDescription({ { "Ident", "IDENT", {}, {}, { textParam("ID") }, {} } }));

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
        use(makeDescription({ { "Gain", "GA", {}, {}, { intParam("gain2") }, {} } }));
        // Values and subscriptions of the old description are gone.
        QCOMPARE(mDb->valueState("gain"), State::Absent);
        QCOMPARE(mDb->subscriptionCount("gain"), 0);

        mDb->processReply("Roi", "RO?", AbstractCommunicator::Success, { 1, 2, 3 });
        QCOMPARE(mDb->valueState("roiX"), State::Absent);
        mDb->processReply("Gain", "GA?", AbstractCommunicator::Success, { 5 });
        QCOMPARE(mDb->cachedValue("gain2"), QVariant(5));
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

    void evaluate_data()
    {
        // expected: bool results as 0 / 1
        // error: pattern of the error line; empty: no error
        columns<QString, bool, int, QString>({ "expression", "asInt", "expected", "error" });

        auto b = [](const char *name, const QString &e, bool v) {
            QTest::newRow(name) << e << false << int(v) << QString();
        };
        auto i = [](const char *name, const QString &e, int v) {
            QTest::newRow(name) << e << true << v << QString();
        };
        auto error
            = [](const char *name, const QString &e, bool asInt, const char *pattern = ".+") {
                  QTest::newRow(name) << e << asInt << 0 << QString(pattern);
              };
        b("empty expression is true", "", true);
        i("min", "min(3, 5)", 3);
        b("contains on a camera value", "contains(Model, '2000')", true);
        b("endsWith on undefined", "endsWith(undefined, 'x')", false);
        b("endsWith part longer than text", "endsWith('bc', 'abc')", false);
        i("hexToDec of the value itself", "Hex.hexToDec()", 26);
        b("decToHex of the value itself", "Num.decToHex() === 'ff'", true);
        b("decToHex of a fraction drops the fraction", "Fraction.decToHex() === '7'", true);
        b("value equals number", "Mode == 10", true);
        b("values compare as text", "Mode < Nine", true);
        b("plus concatenates", "Mode + 1 == '101'", true);
        b("equals is case-sensitive", "Model.equals('mx-2000 pro')", false);
        b("value 0 alone is true (non-empty text)", "Zero", true);
        b("failed read is empty text", "Empty.isEmpty() && Empty == ''", true);
        b("failed read alone is false", "Empty", false);
        i("negative fraction toward zero", "-7.9", -7);
        i("fraction text value", "Fraction", 7);
        i("not a number is 0", "'abc'", 0);
        error("syntax error", "Mode ==", false, "^SyntaxError");
        error("unbalanced parentheses", "Mode) || (1", false, "^SyntaxError");
        error("unknown name", "NoSuchValue == 1", false);
        error("infinite result", "1 / 0", true);
        error("result beyond int", "3e10", true);
    }

    void evaluate()
    {
        QFETCH(QString, expression);
        QFETCH(bool, asInt);
        QFETCH(int, expected);
        QFETCH(QString, error);

        // Twice: the compiled expression is reused, and an error is reported every time. Then in
        // the script thread, where a statement ("var") sends any expression.
        for (int round = 0; round < 3; ++round) {
            const QString e
                = round < 2 || expression.isEmpty() ? expression : "var r; " + expression;
            if (!error.isEmpty())
                expectError(e, error);
            if (asInt)
                QCOMPARE(mDb->evaluateInt(e), expected);
            else
                QCOMPARE(mDb->evaluateBool(e), bool(expected));
        }
        if (expression.isEmpty())
            QVERIFY(mChannel->requests.isEmpty());
    }

    void runawayScriptIsAborted_data()
    {
        columns<QString, bool, QString>({ "expression", "asInt", "error" });
        const auto row = [](const char *name, const char *expression, bool asInt = false,
                             const char *error = "aborted after 200 ms") {
            QTest::newRow(name) << QString(expression) << asInt << QString(error);
        };
        row("endless loop", "while(true){}");
        row("endless loop reading values", "while(Mode == 10){}");
        row("endless loop catching errors", "for(;;){ try { while(true){} } catch (e) {} }");
        row("endless recursion", "(function f(n){ return f(n + 1); })(0)", true, ".+");
        row("endless recursion in library call", "(function f(n){ return min(f(n + 1), 1); })(0)",
            false, ".+");
        // Loops that only appear at run time, or behind what looks like a text.
        row("loop made by eval", "eval('while(true){}')");
        row("loop made by a constructor", "hexToDec.constructor('while(true){}')()", true);
        row("loop behind a regular expression",
            "/'/.test(Model) || (function(){ while(true){} })() || /'/.test(Model)");
    }

    void runawayScriptIsAborted()
    {
        QFETCH(QString, expression);
        QFETCH(bool, asInt);
        QFETCH(QString, error);
        expectError(expression, error);
        // Stopping it never runs this thread's event loop.
        bool eventLoopRan = false;
        QTimer::singleShot(0, [&eventLoopRan] { eventLoopRan = true; });
        QElapsedTimer clock;
        clock.start();
        if (asInt)
            QCOMPARE(mDb->evaluateInt(expression), 0);
        else
            QCOMPARE(mDb->evaluateBool(expression), false);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!eventLoopRan);
        // The engine stays usable.
        QVERIFY(mDb->evaluateBool("contains(Model, 'MX')"));
        QCOMPARE(mDb->evaluateInt("max(Mode, 3)"), 10);
    }

    void freshDatabase()
    {
        // Without a description only empty expressions succeed.
        CameraDatabase db(mChannel);
        QVERIFY(db.evaluateBool(QString()));
        expectError("1 == 1");
        QVERIFY(!db.evaluateBool("1 == 1"));
        QVERIFY(mChannel->requests.isEmpty());

        // The default time limit is about a second.
        db.setDescription(mDescription.get(), "m", "t");
        expectError("for(;;){}", "aborted after 1000 ms");
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!db.evaluateBool("for(;;){}"));
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY(clock.elapsed() < 5000);
    }

    void newDescriptionBuildsFreshEngine()
    {
        QVERIFY(mDb->evaluateBool("var leftOver = 1; true"));
        QVERIFY(mDb->evaluateBool("typeof leftOver == 'number'"));
        auto other = makeDescription({ { "Other", "OT", {}, {}, { intParam("Other") }, {} } });
        // Replaced while a script runs, as a tree rebuild on a value change would.
        RecordingSubscriber item([&](const QVariant &value) {
            if (value.isValid())
                mDb->setDescription(other.get(), "m", "t");
        });
        mDb->registerItem("Mode", &item);
        // The running script finishes on the engine it started with (the value it read went with
        // the old description's cache).
        QVERIFY(
            mDb->evaluateBool("Mode == '' && hexToDec('ff') == 255 && typeof Nine == 'object'"));
        QVERIFY(mDb->evaluateBool("typeof leftOver == 'undefined' && typeof Mode == 'undefined'"));
        QVERIFY(mDb->evaluateBool("typeof Other == 'object' && typeof ID == 'object'"));
        QVERIFY(mDb->evaluateBool("typeof hexToDec == 'function'"));
        mDescription = std::move(other);
    }

    void valuesAreReadOnceAndOnlyWhenUsed()
    {
        QList<bool> inner;
        // What a tree item does on InvalidatedBy; only stored values count, not the announcement.
        RecordingSubscriber item([&](const QVariant &value) {
            if (!value.isValid())
                return;
            inner.append(mDb->evaluateBool("Nine == 9 && contains(Model, 'MX')"));
            inner.append(mDb->evaluateInt("while(true){} 1") == 0);
        });
        mDb->registerItem("Mode", &item);
        expectError("while(true){} 1", "aborted after");
        // Reading Mode stores it, which tells the item, which evaluates while the outer script
        // waits in the script thread.
        QVERIFY(mDb->evaluateBool("var m = Mode == 10 && Mode != 11; m && Num == 255"));
        QCOMPARE(inner, (QList<bool> { true, true }));
        QVERIFY(mDb->evaluateBool("Mode == 10 && Nine == 9"));
        QCOMPARE(mChannel->codes(), (QByteArrayList { "MD?", "NI?", "MO?", "NU?" }));
        QCOMPARE(mChannel->requests.first().id, QStringLiteral("@direct"));

        // A stale value is read again before the script goes on.
        mDb->unregisterItem(&item);
        mDb->refreshValue("Mode");
        mChannel->directReplies["MD?"] = { 12 };
        QCOMPARE(mDb->evaluateInt("Mode"), 12);
        QCOMPARE(mChannel->codes().mid(4), (QByteArrayList { "MD?", "MD?" }));
    }

    void fromCache_data()
    {
        columns<QString, QVariant, QString, QVariant, QVariant>(
            { "kind", "value", "display", "editor", "saved" });
        auto row = [](const char *name, const char *kind, const QVariant &value,
                       const char *display, const QVariant &editor, const QVariant &saved) {
            QTest::newRow(name) << kind << value << display << editor << saved;
        };
        const QVariant none;
        row("command", "command", 5, "<Command>", "Go", none);
        row("bool true value", "bool", "On", "", true, true);
        row("bool never read", "bool", none, "", false, none);
        row("integer with prefix and suffix", "int", 42, "x 42 dB", 42, 42);
        row("double converted", "double", 7, "13.5", 7.0, 13.5);
        row("double large uses exponent", "double", 123456789, "6.17284e+07", 123456789.0,
            61728404.5);
        row("double with units", "doubleUnits", 0, "t = 10 ms", 0.0, 10.0);
        row("double never read", "double", none, "", 0.0, none);
        row("enumeration item", "enum", "2", "Slow", 2, 2);
        row("enumeration without match", "enum", 3, "No value selected", 3, 3);
        row("roi", "roi", 1, "<ROI>", "<ROI>", none);
    }

    void fromCache()
    {
        QFETCH(QString, kind);
        QFETCH(QVariant, value);
        QFETCH(QString, display);
        QFETCH(QVariant, editor);
        QFETCH(QVariant, saved);
        auto e = element(kind);
        QCOMPARE(ElementValue::displayText(e.get(), value), display);
        compareTyped(ElementValue::editorValue(e.get(), value), editor);
        if (saved.isValid() && kind.startsWith("double"))
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Double value read: "));
        compareTyped(ElementValue::savedValue(e.get(), value), saved);

        e->accessMode = AccessMode::WO;
        QVERIFY(!ElementValue::savedValue(e.get(), value).isValid());
    }

    void toCamera_data()
    {
        // expected: invalid: no value is written
        columns<QString, QVariant, QVariant, QString>({ "kind", "edited", "expected", "message" });
        auto row = [](const char *name, const char *kind, const QVariant &edited,
                       const QVariant &expected, const QString &message = QString()) {
            QTest::newRow(name) << kind << edited << expected << message;
        };
        const QVariant none;
        // Bool rows also give the check state: checked exactly when "On" is written.
        row("bool true", "bool", true, "On");
        row("bool false", "bool", false, "Off");
        row("bool non-zero number", "bool", 3, "On");
        row("bool text 0", "bool", "0", "Off");
        row("bool never read", "bool", none, "Off");
        row("enumeration unchanged", "enum", 2, 2);
        // Sent as an Int argument, it would reach the camera as 0.
        row("integer text that is no number", "int", "13.5", none,
            "Element : 13.5 is not an integer, not written");
        row("double truncated, not rounded", "double", 13.9, 7);
        row("double negative truncated toward zero", "double", 9.1, -1);
        row("ConvertMultiply 0 writes nothing", "doubleZero", 13.9, none,
            "Double element Exposure: ConvertMultiply is 0, value 13.9 not written");
        row("result beyond int range", "doubleTiny", 11.0, none,
            "Double element Exposure: value 11 gives no camera integer");
        row("infinite input", "double", std::numeric_limits<double>::infinity(), none,
            "Double element Exposure: value inf gives no camera integer");
        row("not-a-number input", "double", std::numeric_limits<double>::quiet_NaN(), none,
            "Double element Exposure: value nan gives no camera integer");
        row("text that is no number", "double", "abc", none,
            "Double element Exposure: abc is not a number, not written");
        // The command element sends its command but stores no value.
        row("command", "command", 1, none);
    }

    void toCamera()
    {
        QFETCH(QString, kind);
        QFETCH(QVariant, edited);
        QFETCH(QVariant, expected);
        QFETCH(QString, message);
        auto e = element(kind);
        use(makeDescription({
            { "Flag", "FL", {}, { textParam("flag") }, {}, {} },
            { "Gain", "GA", {}, { intParam("gain") }, {}, {} },
            { "Expo", "EX", {}, { intParam("expo") }, {}, {} },
            { "Mode", "MD", {}, { intParam("mode") }, {}, {} },
            { "Apply", "AP", {}, { constParam("1") }, {}, {} },
        }));
        mDb->updateCachedValue("expo", 4);
        // Once for the conversion, once more for the write.
        for (int i = 0; i < 2 && !message.isEmpty(); ++i)
            QTest::ignoreMessage(
                QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(message)));

        compareTyped(ElementValue::cameraValue(e.get(), edited), expected);
        if (kind == "bool")
            QCOMPARE(ElementValue::checkState(edited) == Qt::Checked, expected == QVariant("On"));

        const bool command = kind == "command";
        QCOMPARE(ElementValue::write(mDb, e.get(), edited), expected.isValid() || command);
        if (!expected.isValid() && !command) {
            QVERIFY(mChannel->requests.isEmpty());
            QCOMPARE(mDb->cachedValue("expo"), QVariant(4));
            return;
        }
        QCOMPARE(mChannel->requests.size(), 1);
        QCOMPARE(mChannel->requests.first().args,
            QVariantList { command ? QVariant(QByteArray("1")) : expected });
        if (command)
            QCOMPARE(mDb->valueState("Apply"), CameraDatabase::ValueState::Absent);
        else
            QCOMPARE(mDb->cachedValue(ElementValue::reference(e.get())), expected);
    }

    void typedBackAsShown_data()
    {
        columns<double, double>({ "multiply", "add" });
        for (double multiply : { 0.1, 0.01, 0.05, 2.5, 1.0 / 3 })
            QTest::addRow("x %g", multiply) << multiply << 0.0;
        QTest::newRow("x 0.1 + -40.5") << 0.1 << -40.5;
    }

    void typedBackAsShown()
    {
        QFETCH(double, multiply);
        QFETCH(double, add);
        DoubleElement e;
        e.convertMultiply = multiply;
        e.convertAdd = add;
        for (int raw = -1000; raw <= 1000; ++raw) {
            // As the tree shows it and as a spin box with 3 decimals shows it.
            const double shown = ElementValue::shownDouble(&e, raw);
            for (const QString &typed :
                { ElementValue::displayText(&e, raw), QString::number(shown, 'f', 3) })
                QCOMPARE(ElementValue::cameraValue(&e, typed), QVariant(raw));
            // Halfway to the next step is truncated toward zero.
            const QString between
                = QString::number(ElementValue::shownDouble(&e, raw + 0.5), 'g', 6);
            QCOMPARE(ElementValue::cameraValue(&e, between), QVariant(int(std::trunc(raw + 0.5))));
        }
    }

    // Walks the elements as a tool without a tree does. The temperature cannot be read; commands,
    // read-only, write-only, non-persistent and unavailable elements are left out.
    void goldenFile()
    {
        CameraSettingsFile file("Cam \"Q\"", "T-1", "Cam \"Q\"-T-1");
        useSettingsDescription();
        const QList<DisplayElement *> elements = mDescription->displayElements();
        for (const DisplayElement *element : elements) {
            if (CameraSettingsFile::isSaveable(element) && mDb->evaluateBool(element->isAvailable))
                file.addItem(CameraSettingsFile::read(mDb, element));
        }
        QFile golden(dataPath("settings.cdt"));
        QVERIFY(golden.open(QIODevice::ReadOnly));
        const QByteArray bytes = golden.readAll();
        QCOMPARE(file.toXml(), bytes);

        const CameraSettingsFile back = CameraSettingsFile::fromXml(bytes);
        QCOMPARE(back.items(), file.items());
        QCOMPARE(back.id(), file.id());
        QCOMPARE(back.check("Cam \"Q\"", "T-1"), CameraSettingsFile::Validity::Valid);

        // Unknown elements are skipped; a break keeps the items completed before it.
        QByteArray damaged = bytes;
        damaged.insert(damaged.indexOf("<item"), "<x><item id=\"Gain\" type=\"item\">9</item></x>");
        damaged.chop(40);
        QCOMPARE(CameraSettingsFile::fromXml(damaged).items(), file.items().mid(0, 7));
    }

    void applyItem_data()
    {
        columns<QString, QString, QString, Outcome, QByteArrayList>(
            { "element", "type", "text", "outcome", "sent" });

        const auto row
            = [](const char *name, const QString &element, const QString &type, const QString &text,
                  Outcome outcome, const QByteArrayList &sent = {}) {
                  QTest::newRow(name) << element << type << text << outcome << sent;
              };
        const QRect region(8, 16, 320, 240);
        row("value for a command runs nothing", "Apply", "item", "1", Outcome::Skipped);
        row("list over two lines", "LUT", "list",
            CameraSettingsFile::listBlock({ "4", "x", "6" }).insert(8, "\n  "), Outcome::Applied,
            { "LTS", "LUT", "LUT", "LUT", "LTE" });
        row("list count beyond its strings", "LUT", "list",
            block([](QDataStream &s) { s << qint32(0x7fffffff) << QString("1"); }),
            Outcome::Damaged);
        row("string longer than the block", "LUT", "list",
            block([](QDataStream &s) { s << qint32(1) << quint32(0x7ffffffe) << qint32(0); }),
            Outcome::Damaged);
        row("count beyond the regions", "Region", "roi",
            CameraSettingsFile::roiBlock(2, { region }), Outcome::Damaged);
        row("count below the regions", "Region", "roi",
            CameraSettingsFile::roiBlock(1, { region, region }), Outcome::Applied, { "ROI" });
        row("region cut short", "Region", "roi",
            block([](QDataStream &s) { s << qint32(1) << qint32(1) << qint32(8); }),
            Outcome::Damaged);
    }

    void applyItem()
    {
        QFETCH(QString, element);
        QFETCH(QString, type);
        QFETCH(QString, text);
        QFETCH(Outcome, outcome);
        QFETCH(QByteArrayList, sent);

        useSettingsDescription();
        const Item item { element, type, text };
        QCOMPARE(
            CameraSettingsFile::apply(mDb, mDescription->displayElement(element), item), outcome);
        QCOMPARE(mChannel->codes(), sent);
    }

private:
    // The database works on the description until the next one replaces it.
    void use(std::unique_ptr<CameraDescriptionFile> description)
    {
        mDb->setDescription(description.get(), "m", "t");
        mDescription = std::move(description);
    }

    // The description the settings files are made for, with the camera's answers.
    void useSettingsDescription()
    {
        auto file = std::make_unique<CameraDescriptionFile>(dataPath("settings.xml"));
        QVERIFY(file->isValid());
        mDb->setDescription(file.get(), "Cam", "T-1");
        mDescription = std::move(file);
        mChannel->directReplies = { { "GAI?", { 12 } }, { "EXP?", { 7 } }, { "MOD?", { 2 } },
            { "FLG?", { "On" } }, { "LBL?", { QString("a<b & \"c\" \u00e9") } },
            { "LUT?", { 0, 200 } }, { "ROI?", { 8, 16, 320, 240 } } };
    }

    FakeCommandChannel *mChannel = nullptr;
    CameraDatabase *mDb = nullptr;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

QTEST_GUILESS_MAIN(TestCameraDatabase)
#include "tst_cameradatabase.moc"
