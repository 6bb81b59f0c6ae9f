// Conversions between cached camera values and what display elements show, edit, write and save.
#include "description/boolelement.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"
#include "engine/cameradatabase.h"
#include "engine/elementvalue.h"
#include "enginetestsupport.h"
#include "fakecommandchannel.h"

#include <QRegularExpression>
#include <QtTest>

#include <limits>

namespace {

std::shared_ptr<DisplayElement> element(const QString &kind)
{
    if (kind == "command") {
        auto e = std::make_shared<CommandElement>();
        e->buttonText = "Go";
        e->reference = "Apply";
        return e;
    }
    if (kind == "bool") {
        auto e = std::make_shared<BoolElement>();
        e->reference = "flag";
        e->trueValue = "On";
        e->falseValue = "Off";
        return e;
    }
    if (kind == "int" || kind == "intPlain") {
        auto e = std::make_shared<IntegerElement>();
        e->reference = "gain";
        if (kind == "int") {
            e->prefix = "x";
            e->suffix = "dB";
        }
        return e;
    }
    if (kind.startsWith("double")) {
        auto e = std::make_shared<DoubleElement>();
        e->name = "Exposure";
        e->reference = "expo";
        e->convertMultiply = 0.5;
        e->convertAdd = 10;
        if (kind == "doubleZero")
            e->convertMultiply = 0;
        if (kind == "doubleTiny")
            e->convertMultiply = 1e-300;
        if (kind == "doubleUnits") {
            e->prefix = "t =";
            e->suffix = "ms";
        }
        return e;
    }
    if (kind == "string") {
        auto e = std::make_shared<StringElement>();
        e->reference = "camName";
        return e;
    }
    if (kind == "enum") {
        auto e = std::make_shared<EnumerationElement>();
        e->reference = "mode";
        EnumerationItem a, b;
        a.value = 1;
        a.name = "Fast";
        b.value = 2;
        b.name = "Slow";
        e->items = { a, b };
        return e;
    }
    if (kind == "list")
        return std::make_shared<ListElement>();
    return std::make_shared<RoiElement>();
}

} // namespace

class TestElementValue : public QObject
{
    Q_OBJECT

private slots:
    void displayText_data();
    void displayText();
    void checkState_data();
    void checkState();
    void editorValue_data();
    void editorValue();
    void cameraValue_data();
    void cameraValue();
    void savedValue_data();
    void savedValue();
    void write_data();
    void write();
    void readForSavingReadsTheCamera();
};

void TestElementValue::displayText_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("command") << "command" << QVariant(5) << "<Command>";
    QTest::newRow("bool shows no text") << "bool" << QVariant("On") << "";
    QTest::newRow("integer with prefix and suffix") << "int" << QVariant(42) << "x 42 dB";
    QTest::newRow("integer from text") << "intPlain" << QVariant("-7") << "-7";
    QTest::newRow("integer never read") << "int" << QVariant() << "";
    QTest::newRow("double converted") << "double" << QVariant(7) << "13.5";
    QTest::newRow("double six digits") << "double" << QVariant(1234567) << "617294";
    QTest::newRow("double large uses exponent") << "double" << QVariant(123456789) << "6.17284e+07";
    QTest::newRow("double with units") << "doubleUnits" << QVariant(0) << "t = 10 ms";
    QTest::newRow("double never read") << "double" << QVariant() << "";
    QTest::newRow("string") << "string" << QVariant("Cam 1") << "Cam 1";
    QTest::newRow("enumeration item") << "enum" << QVariant(2) << "Slow";
    QTest::newRow("enumeration without match") << "enum" << QVariant(3) << "No value selected";
    QTest::newRow("list") << "list" << QVariant() << "<list>";
    QTest::newRow("roi") << "roi" << QVariant() << "<ROI>";
}

void TestElementValue::displayText()
{
    QFETCH(QString, kind);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(ElementValue::displayText(element(kind).get(), value), text);
}

void TestElementValue::checkState_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("checked");
    QTest::newRow("non-zero number") << QVariant(3) << true;
    QTest::newRow("zero") << QVariant(0) << false;
    QTest::newRow("text") << QVariant("On") << true;
    QTest::newRow("text 0") << QVariant("0") << false;
    QTest::newRow("text false") << QVariant("false") << false;
    QTest::newRow("empty text") << QVariant("") << false;
    QTest::newRow("never read") << QVariant() << false;
}

void TestElementValue::checkState()
{
    QFETCH(QVariant, value);
    QFETCH(bool, checked);
    QCOMPARE(ElementValue::checkState(value), checked ? Qt::Checked : Qt::Unchecked);
}

void TestElementValue::editorValue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("command gives its button text") << "command" << QVariant() << QVariant("Go");
    QTest::newRow("bool true value") << "bool" << QVariant("On") << QVariant(true);
    QTest::newRow("bool other text") << "bool" << QVariant("on") << QVariant(false);
    QTest::newRow("integer unchanged") << "int" << QVariant(9) << QVariant(9);
    QTest::newRow("double without conversion") << "double" << QVariant(7) << QVariant(7.0);
    QTest::newRow("string as text") << "string" << QVariant(5) << QVariant("5");
    QTest::newRow("enumeration as integer") << "enum" << QVariant("2") << QVariant(2);
    QTest::newRow("list") << "list" << QVariant() << QVariant("<list>");
}

void TestElementValue::editorValue()
{
    QFETCH(QString, kind);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    const QVariant result = ElementValue::editorValue(element(kind).get(), value);
    QCOMPARE(result, expected);
    QCOMPARE(result.userType(), expected.userType());
}

void TestElementValue::cameraValue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariant>("edited");
    QTest::addColumn<QVariant>("expected"); // invalid: nothing is written
    QTest::addColumn<QString>("message");
    QTest::newRow("bool true") << "bool" << QVariant(true) << QVariant("On") << QString();
    QTest::newRow("bool false") << "bool" << QVariant(false) << QVariant("Off") << QString();
    QTest::newRow("bool text from a settings file")
        << "bool" << QVariant("true") << QVariant("On") << QString();
    QTest::newRow("bool text 0") << "bool" << QVariant("0") << QVariant("Off") << QString();
    QTest::newRow("integer unchanged") << "int" << QVariant(12) << QVariant(12) << QString();
    QTest::newRow("double truncated, not rounded")
        << "double" << QVariant(13.9) << QVariant(7) << QString();
    QTest::newRow("double negative truncated toward zero")
        << "double" << QVariant(9.1) << QVariant(-1) << QString();
    QTest::newRow("double from settings text")
        << "double" << QVariant("13.5") << QVariant(7) << QString();
    QTest::newRow("ConvertMultiply 0 writes nothing")
        << "doubleZero" << QVariant(13.9) << QVariant()
        << "Double element Exposure: ConvertMultiply is 0, value 13.9 not written";
    QTest::newRow("result beyond int range")
        << "doubleTiny" << QVariant(11.0) << QVariant()
        << "Double element Exposure: value 11 gives no camera integer";
    QTest::newRow("infinite input")
        << "double" << QVariant(std::numeric_limits<double>::infinity()) << QVariant()
        << "Double element Exposure: value inf gives no camera integer";
    QTest::newRow("not-a-number input")
        << "double" << QVariant(std::numeric_limits<double>::quiet_NaN()) << QVariant()
        << "Double element Exposure: value nan gives no camera integer";
    QTest::newRow("text that is no number")
        << "double" << QVariant("abc") << QVariant()
        << "Double element Exposure: abc is not a number, not written";
    QTest::newRow("command writes no value") << "command" << QVariant(1) << QVariant() << QString();
    QTest::newRow("list writes no value") << "list" << QVariant(1) << QVariant() << QString();
}

void TestElementValue::cameraValue()
{
    QFETCH(QString, kind);
    QFETCH(QVariant, edited);
    QFETCH(QVariant, expected);
    QFETCH(QString, message);
    if (!message.isEmpty())
        QTest::ignoreMessage(
            QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(message)));
    const QVariant result = ElementValue::cameraValue(element(kind).get(), edited);
    QCOMPARE(result, expected);
    QCOMPARE(result.userType(), expected.userType());
}

void TestElementValue::savedValue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("bool true value") << "bool" << QVariant("On") << QVariant(true);
    QTest::newRow("bool false value") << "bool" << QVariant("Off") << QVariant(false);
    QTest::newRow("integer unchanged") << "int" << QVariant(5) << QVariant(5);
    QTest::newRow("double converted") << "double" << QVariant(7) << QVariant(13.5);
    QTest::newRow("string") << "string" << QVariant(3) << QVariant("3");
    QTest::newRow("enumeration") << "enum" << QVariant("2") << QVariant(2);
    QTest::newRow("command") << "command" << QVariant(1) << QVariant();
    QTest::newRow("list") << "list" << QVariant(1) << QVariant();
    QTest::newRow("value that could not be read") << "bool" << QVariant() << QVariant();
}

void TestElementValue::savedValue()
{
    QFETCH(QString, kind);
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    if (kind == "double")
        QTest::ignoreMessage(
            QtDebugMsg, "Double value read: 7 ConvertMultiply: 0.5 ConvertAdd: 10");
    const QVariant result = ElementValue::savedValue(element(kind).get(), value);
    QCOMPARE(result, expected);
    QCOMPARE(result.userType(), expected.userType());

    auto writeOnly = element(kind);
    writeOnly->accessMode = AccessMode::WO;
    QVERIFY(!ElementValue::savedValue(writeOnly.get(), value).isValid());
}

void TestElementValue::write_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QVariant>("edited");
    QTest::addColumn<QByteArray>("code"); // empty: nothing is sent
    QTest::addColumn<QVariant>("sent");
    QTest::newRow("double converted")
        << "double" << QVariant(13.9) << QByteArray("EX") << QVariant(7);
    QTest::newRow("bool true value")
        << "bool" << QVariant(true) << QByteArray("FL") << QVariant("On");
    // The command element stores nothing.
    QTest::newRow("command") << "command" << QVariant(1) << QByteArray("AP")
                             << QVariant(QByteArray("1"));
    QTest::newRow("list") << "list" << QVariant(1) << QByteArray() << QVariant();
    QTest::newRow("ConvertMultiply 0")
        << "doubleZero" << QVariant(5.0) << QByteArray() << QVariant();
    QTest::newRow("beyond int") << "double" << QVariant(1e12) << QByteArray() << QVariant();
    QTest::newRow("not a number") << "double" << QVariant("x") << QByteArray() << QVariant();
}

void TestElementValue::write()
{
    QFETCH(QString, kind);
    QFETCH(QVariant, edited);
    QFETCH(QByteArray, code);
    QFETCH(QVariant, sent);
    FakeCommandChannel channel;
    CameraDatabase db(&channel);
    auto description = makeDescription({
        { "Expo", "EX", {}, { intParam("expo") }, {}, {} },
        { "Flag", "FL", {}, { textParam("flag") }, {}, {} },
        { "Apply", "AP", {}, { constParam("1") }, {}, {} },
    });
    db.setDescription(description.get(), "m", "t");
    db.updateCachedValue("expo", 4);
    if (kind.startsWith("double") && code.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Double element Exposure: "));

    QCOMPARE(ElementValue::write(&db, element(kind).get(), edited), !code.isEmpty());
    if (code.isEmpty()) {
        QVERIFY(channel.requests.isEmpty());
        QCOMPARE(db.cachedValue("expo"), QVariant(4));
        return;
    }
    QCOMPARE(channel.codes(), QByteArrayList { code });
    QCOMPARE(channel.requests.first().args, QVariantList { sent });
    QCOMPARE(db.valueState("Apply"), CameraDatabase::ValueState::Absent);
    if (kind == "double")
        QCOMPARE(db.cachedValue("expo"), sent);
}

void TestElementValue::readForSavingReadsTheCamera()
{
    FakeCommandChannel channel;
    CameraDatabase db(&channel);
    auto description = makeDescription({ { "Expo", "EX", {}, {}, { intParam("expo") }, {} },
        { "Gain", "GA", {}, {}, { intParam("gain") }, {} } });
    db.setDescription(description.get(), "m", "t");
    channel.directReplies.insert("EX?", { 7 });
    QTest::ignoreMessage(QtDebugMsg, "Double value read: 7 ConvertMultiply: 0.5 ConvertAdd: 10");
    QCOMPARE(ElementValue::readForSaving(&db, element("double").get()), QVariant(13.5));
    QCOMPARE(channel.codes(), QByteArrayList { "EX?" });
    QCOMPARE(channel.requests.first().id, QStringLiteral("@direct"));

    // A value that cannot be read is saved as nothing.
    auto other = element("int");
    QVERIFY(!ElementValue::readForSaving(&db, other.get()).isValid());
    auto writeOnly = element("double");
    writeOnly->accessMode = AccessMode::WO;
    QVERIFY(!ElementValue::readForSaving(&db, writeOnly.get()).isValid());
    QCOMPARE(channel.requests.size(), 2);
}

QTEST_GUILESS_MAIN(TestElementValue)
#include "tst_elementvalue.moc"
