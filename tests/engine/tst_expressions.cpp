// Expression evaluation: library functions, camera values as text, errors and runaway scripts.
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"
#include "fakecommandchannel.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

/// An evaluation error writes three lines: the expression, the backtrace and the error.
void expectError(const QString &expression, const QString &error = QStringLiteral(".+"))
{
    QTest::ignoreMessage(QtDebugMsg, qPrintable("Error evaluating expression: " + expression));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(".*"));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(error));
}

} // namespace

class TestExpressions : public QObject
{
    Q_OBJECT

private slots:
    void init()
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

    void cleanup()
    {
        delete mDb;
        delete mChannel;
        mDescription.reset();
    }

    void evaluate_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<bool>("asInt");
        QTest::addColumn<int>("expected"); // bool results as 0 / 1
        QTest::addColumn<QString>("error"); // pattern of the error line; empty: no error

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

    void valuesAreReadOnceAndOnlyWhenUsed()
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

    void runawayScriptIsAborted_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<bool>("asInt");
        QTest::addColumn<QString>("error");
        const QString timedOut = "aborted after 200 ms";
        QTest::newRow("endless loop") << "while(true){}" << false << timedOut;
        QTest::newRow("endless loop reading values") << "while(Mode == 10){}" << false << timedOut;
        QTest::newRow("endless loop catching errors")
            << "for(;;){ try { while(true){} } catch (e) {} }" << false << timedOut;
        QTest::newRow("endless recursion")
            << "(function f(n){ return f(n + 1); })(0)" << true << ".+";
        QTest::newRow("endless recursion in library call")
            << "(function f(n){ return min(f(n + 1), 1); })(0)" << false << ".+";
        // Loops that only appear at run time, or behind what looks like a text.
        QTest::newRow("loop made by eval") << "eval('while(true){}')" << false << timedOut;
        QTest::newRow("loop made by a constructor")
            << "hexToDec.constructor('while(true){}')()" << true << timedOut;
        QTest::newRow("loop behind a regular expression")
            << "/'/.test(Model) || (function(){ while(true){} })() || /'/.test(Model)" << false
            << timedOut;
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

    void evaluationNestedInReplyHandler()
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
        QVERIFY(mDb->evaluateBool("var m = Mode == 10; m && Num == 255"));
        QCOMPARE(inner, (QList<bool> { true, true }));
        QCOMPARE(mChannel->codes(), (QByteArrayList { "MD?", "NI?", "MO?", "NU?" }));
    }

private:
    FakeCommandChannel *mChannel = nullptr;
    CameraDatabase *mDb = nullptr;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

QTEST_GUILESS_MAIN(TestExpressions)
#include "tst_expressions.moc"
