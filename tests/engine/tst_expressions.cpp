// Expression evaluation: library functions, camera values as text, errors and runaway scripts.
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"
#include "fakecommandchannel.h"

#include <QRegularExpression>
#include <QtTest>

#include <functional>

class TestExpressions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void evaluate_data();
    void evaluate();
    void emptyExpressionTouchesNothing();
    void valuesAreReadOnceAndOnlyWhenUsed();
    void failedReadIsEmptyText();
    void errorsWriteThreeLines();
    void runawayScriptIsAborted_data();
    void runawayScriptIsAborted();
    void engineStaysUsableAfterAbort();
    void defaultTimeLimitIsAboutOneSecond();
    void noDescriptionMeansError();
    void newDescriptionBuildsFreshEngine();
    void evaluationNestedInReplyHandler();
    void descriptionReplacedDuringEvaluation();

private:
    FakeCommandChannel *mChannel = nullptr;
    CameraDatabase *mDb = nullptr;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

void TestExpressions::init()
{
    mChannel = new FakeCommandChannel;
    mDb = new CameraDatabase(mChannel);
    mDescription = makeDescription({
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
    mDb->setDescription(mDescription.get(), "m", "t");
    mDb->setScriptTimeLimit(200);
}

void TestExpressions::cleanup()
{
    delete mDb;
    delete mChannel;
    mDescription.reset();
}

void TestExpressions::evaluate_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("asInt");
    QTest::addColumn<int>("expected"); // bool results as 0 / 1
    QTest::addColumn<bool>("error");

    auto b = [](const char *name, const QString &e, bool v) {
        QTest::newRow(name) << e << false << int(v) << false;
    };
    auto i = [](const char *name, const QString &e, int v) {
        QTest::newRow(name) << e << true << v << false;
    };
    b("literal true", "true", true);
    b("literal false", "false", false);
    b("comparison", "1 + 1 == 2", true);
    i("min", "min(3, 5)", 3);
    i("max", "max(3, 5)", 5);
    b("contains two strings", "contains('abcdef', 'cd')", true);
    b("contains missing part", "contains('abcdef', 'x')", false);
    b("contains on a camera value", "contains(Model, '2000')", true);
    b("contains on a number", "contains(5, '5')", false);
    b("contains on null", "contains(null, 'x')", false);
    b("startsWith strings", "startsWith('abc', 'ab')", true);
    b("startsWith not at start", "startsWith('abc', 'b')", false);
    b("startsWith camera value", "startsWith(Model, 'MX')", true);
    b("startsWith on null", "startsWith(null, 'x')", false);
    b("endsWith on undefined", "endsWith(undefined, 'x')", false);
    b("endsWith strings", "endsWith('abc', 'bc')", true);
    b("endsWith part longer than text", "endsWith('bc', 'abc')", false);
    b("endsWith part elsewhere only", "endsWith('abcab', 'bc')", false);
    b("endsWith camera value", "endsWith(Model, 'Pro')", true);
    i("hexToDec of text", "hexToDec('ff')", 255);
    i("hexToDec of camera value", "hexToDec(Hex)", 26);
    i("hexToDec of the value itself", "Hex.hexToDec()", 26);
    i("hexToDec of non-hex value", "Model.hexToDec()", 0);
    b("decToHex of number", "decToHex(255) === 'ff'", true);
    b("decToHex of camera value", "decToHex(Num) === 'ff'", true);
    b("decToHex of the value itself", "Num.decToHex() === 'ff'", true);
    b("value equals number", "Mode == 10", true);
    b("value equals text", "Mode == '10'", true);
    b("values compare as text", "Mode < Nine", true);
    b("plus concatenates", "Mode + 1 == '101'", true);
    b("typeof is object", "typeof Mode == 'object'", true);
    b("String() gives the text", "String(Model) === 'MX-2000 Pro'", true);
    b("equals", "Model.equals('MX-2000 Pro')", true);
    b("equals is case-sensitive", "Model.equals('mx-2000 pro')", false);
    b("equals another value", "Mode.equals(Mode)", true);
    b("contains method", "Model.contains('2000')", true);
    b("startsWith method", "Model.startsWith('MX')", true);
    b("endsWith method", "Model.endsWith('pro')", false);
    b("substr", "Model.substr(3, 4) === '2000'", true);
    b("isEmpty of a value", "Model.isEmpty()", false);
    b("non-empty value alone is true", "Model", true);
    b("value 0 alone is true (non-empty text)", "Zero", true);
    i("value as integer", "Mode", 10);
    i("value in arithmetic", "Mode * 2", 20);
    i("fraction truncated", "7.9", 7);
    i("negative fraction toward zero", "-7.9", -7);
    i("fraction text value", "Fraction", 7);
    i("not a number is 0", "'abc'", 0);
    QTest::newRow("syntax error") << "Mode ==" << false << 0 << true;
    QTest::newRow("syntax error as int") << "(" << true << 0 << true;
    QTest::newRow("unknown name") << "NoSuchValue == 1" << false << 0 << true;
    QTest::newRow("thrown value") << "(function(){ throw 5; })()" << false << 0 << true;
    QTest::newRow("infinite result") << "1 / 0" << true << 0 << true;
    QTest::newRow("result beyond int") << "3e10" << true << 0 << true;
}

void TestExpressions::evaluate()
{
    QFETCH(QString, expression);
    QFETCH(bool, asInt);
    QFETCH(int, expected);
    QFETCH(bool, error);

    if (error) {
        QTest::ignoreMessage(
            QtDebugMsg, ("Error evaluating expression: " + expression).toUtf8().constData());
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".+"));
    }
    if (asInt)
        QCOMPARE(mDb->evaluateInt(expression), expected);
    else
        QCOMPARE(mDb->evaluateBool(expression), bool(expected));
}

void TestExpressions::emptyExpressionTouchesNothing()
{
    QVERIFY(mDb->evaluateBool(QString()));
    QCOMPARE(mDb->evaluateInt(QString()), 0);
    mDb->setDescription(nullptr, QString(), QString());
    QVERIFY(mDb->evaluateBool(QString()));
    QVERIFY(mChannel->requests.isEmpty());
}

void TestExpressions::valuesAreReadOnceAndOnlyWhenUsed()
{
    QVERIFY(mDb->evaluateBool("Mode == 10 && Mode != 11"));
    QVERIFY(mDb->evaluateBool("Mode == 10"));
    QCOMPARE(mChannel->codes(), QByteArrayList { "MD?" });
    QCOMPARE(mChannel->requests.first().id, QStringLiteral("@direct"));
    // A stale value is read again before the script goes on.
    mDb->refreshValue("Mode");
    mChannel->directReplies["MD?"] = { 12 };
    QCOMPARE(mDb->evaluateInt("Mode"), 12);
    QCOMPARE(mChannel->codes(), (QByteArrayList { "MD?", "MD?", "MD?" }));
}

void TestExpressions::failedReadIsEmptyText()
{
    QVERIFY(mDb->evaluateBool("Empty.isEmpty()"));
    QVERIFY(mDb->evaluateBool("Empty == ''"));
    QVERIFY(!mDb->evaluateBool("Empty"));
    QCOMPARE(mDb->evaluateInt("Empty"), 0);
}

void TestExpressions::errorsWriteThreeLines()
{
    QTest::ignoreMessage(QtDebugMsg, "Error evaluating expression: Mode ==");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^SyntaxError"));
    QVERIFY(!mDb->evaluateBool("Mode =="));
    // The same broken expression a second time reports again.
    QTest::ignoreMessage(QtDebugMsg, "Error evaluating expression: Mode ==");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^SyntaxError"));
    QVERIFY(!mDb->evaluateBool("Mode =="));
    QVERIFY(mDb->evaluateBool("Mode == 10"));
}

void TestExpressions::runawayScriptIsAborted_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("asInt");
    QTest::newRow("endless loop") << "while(true){}" << false;
    QTest::newRow("endless loop as count") << "while(true){} 5" << true;
    QTest::newRow("endless for with a body") << "var n = 0; for(;;){ n++; } n > 0" << false;
    QTest::newRow("endless loop reading values") << "while(Mode == 10){}" << false;
    QTest::newRow("endless loop catching errors")
        << "for(;;){ try { while(true){} } catch (e) {} }" << false;
    QTest::newRow("endless recursion") << "(function f(n){ return f(n + 1); })(0)" << true;
    QTest::newRow("endless recursion in library call")
        << "(function f(n){ return min(f(n + 1), 1); })(0)" << false;
}

void TestExpressions::runawayScriptIsAborted()
{
    QFETCH(QString, expression);
    QFETCH(bool, asInt);
    QTest::ignoreMessage(
        QtDebugMsg, ("Error evaluating expression: " + expression).toUtf8().constData());
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".+"));
    QElapsedTimer clock;
    clock.start();
    if (asInt)
        QCOMPARE(mDb->evaluateInt(expression), 0);
    else
        QCOMPARE(mDb->evaluateBool(expression), false);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
}

void TestExpressions::engineStaysUsableAfterAbort()
{
    QTest::ignoreMessage(QtDebugMsg, "Error evaluating expression: while(true){}");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("aborted after 200 ms"));
    QVERIFY(!mDb->evaluateBool("while(true){}"));
    QVERIFY(mDb->evaluateBool("contains(Model, 'MX')"));
    QCOMPARE(mDb->evaluateInt("max(Mode, 3)"), 10);
}

void TestExpressions::defaultTimeLimitIsAboutOneSecond()
{
    CameraDatabase db(mChannel);
    QCOMPARE(db.scriptTimeLimit(), 1000);
    db.setDescription(mDescription.get(), "m", "t");
    QTest::ignoreMessage(QtDebugMsg, "Error evaluating expression: for(;;){}");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("aborted after 1000 ms"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!db.evaluateBool("for(;;){}"));
    QVERIFY(clock.elapsed() >= 1000);
    QVERIFY(clock.elapsed() < 5000);
}

void TestExpressions::noDescriptionMeansError()
{
    CameraDatabase db(mChannel);
    QVERIFY(!db.hasScriptEngine());
    QTest::ignoreMessage(QtDebugMsg, "Error evaluating expression: 1 == 1");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".+"));
    QVERIFY(!db.evaluateBool("1 == 1"));
}

void TestExpressions::newDescriptionBuildsFreshEngine()
{
    QVERIFY(mDb->evaluateBool("var leftOver = 1; true"));
    QVERIFY(mDb->evaluateBool("typeof leftOver == 'number'"));
    auto other = makeDescription({ { "Other", "OT", {}, {}, { intParam("Other") }, {} } });
    mDb->setDescription(other.get(), "m", "t");
    QVERIFY(mDb->evaluateBool("typeof leftOver == 'undefined'"));
    QVERIFY(mDb->evaluateBool("typeof Mode == 'undefined'"));
    QVERIFY(mDb->evaluateBool("typeof Other == 'object' && typeof ID == 'object'"));
    QVERIFY(mDb->evaluateBool("typeof hexToDec == 'function'"));
    mDescription = std::move(other);
}

namespace {

// Runs a callback when told that a value changed (what a tree item does on InvalidatedBy).
class CallbackSubscriber : public ValueSubscriber
{
public:
    explicit CallbackSubscriber(std::function<void()> callback)
        : mCallback(std::move(callback))
    { }
    // Only stored values count, not the announcement of the command's reply.
    void valueChanged(const QString &, const QVariant &value) override
    {
        if (mCallback && value.isValid())
            mCallback();
    }

private:
    std::function<void()> mCallback;
};

} // namespace

void TestExpressions::evaluationNestedInReplyHandler()
{
    QList<bool> inner;
    CallbackSubscriber item([&] {
        inner.append(mDb->evaluateBool("Nine == 9 && contains(Model, 'MX')"));
        inner.append(mDb->evaluateInt("while(true){} 1") == 0);
    });
    mDb->registerItem("Mode", &item);
    QTest::ignoreMessage(QtDebugMsg, "Error evaluating expression: while(true){} 1");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("aborted after"));
    // Reading Mode stores it, which tells the item, which evaluates while the outer script waits.
    QVERIFY(mDb->evaluateBool("Mode == 10 && Num == 255"));
    QCOMPARE(inner, (QList<bool> { true, true }));
    QCOMPARE(mChannel->codes(), (QByteArrayList { "MD?", "NI?", "MO?", "NU?" }));
}

void TestExpressions::descriptionReplacedDuringEvaluation()
{
    auto other = makeDescription({ { "Other", "OT", {}, {}, { intParam("Other") }, {} } });
    CallbackSubscriber item([&] { mDb->setDescription(other.get(), "m", "t"); });
    mDb->registerItem("Mode", &item);
    // The running script finishes on the engine it started with (the value it read went with
    // the old description's cache).
    QVERIFY(mDb->evaluateBool("Mode == '' && hexToDec('ff') == 255 && typeof Nine == 'object'"));
    QVERIFY(mDb->evaluateBool("typeof Other == 'object' && typeof Mode == 'undefined'"));
    mDescription = std::move(other);
}

QTEST_GUILESS_MAIN(TestExpressions)
#include "tst_expressions.moc"
