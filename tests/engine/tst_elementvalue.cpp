// Conversions between cached camera values and what display elements show, edit, write and save,
// and camera settings files of those values without a tree: the bytes written, the tolerant
// reader, and applying one item, damaged blocks included.
#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/roielement.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "engine/elementvalue.h"
#include "enginetestsupport.h"
#include "fakecommandchannel.h"

#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

using Item = CameraSettingsFile::Item;
using Outcome = CameraSettingsFile::Outcome;
Q_DECLARE_METATYPE(Outcome)

namespace {

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
        EnumerationItem a, b;
        a.value = 1;
        a.name = "Fast";
        b.value = 2;
        b.name = "Slow";
        e->items = { a, b };
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

class TestElementValue : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        mChannel = FakeCommandChannel();
        mChannel.directReplies = { { "GAI?", { 12 } }, { "EXP?", { 7 } }, { "MOD?", { 2 } },
            { "FLG?", { "On" } }, { "LBL?", { QString("a<b & \"c\" \u00e9") } },
            { "LUT?", { 0, 200 } }, { "ROI?", { 8, 16, 320, 240 } } };
        mDescription.reset(new CameraDescriptionFile(dataPath("settings.xml")));
        QVERIFY(mDescription->isValid());
        mDatabase.reset(new CameraDatabase(&mChannel));
        mDatabase->setDescription(mDescription.get(), "Cam", "T-1");
    }

    void fromCache_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QVariant>("editor");
        QTest::addColumn<QVariant>("saved");
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
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("edited");
        QTest::addColumn<QVariant>("expected"); // invalid: no value is written
        QTest::addColumn<QString>("message");
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
        FakeCommandChannel channel;
        CameraDatabase db(&channel);
        auto description = makeDescription({
            { "Flag", "FL", {}, { textParam("flag") }, {}, {} },
            { "Gain", "GA", {}, { intParam("gain") }, {}, {} },
            { "Expo", "EX", {}, { intParam("expo") }, {}, {} },
            { "Mode", "MD", {}, { intParam("mode") }, {}, {} },
            { "Apply", "AP", {}, { constParam("1") }, {}, {} },
        });
        db.setDescription(description.get(), "m", "t");
        db.updateCachedValue("expo", 4);
        // Once for the conversion, once more for the write.
        for (int i = 0; i < 2 && !message.isEmpty(); ++i)
            QTest::ignoreMessage(
                QtDebugMsg, QRegularExpression("^" + QRegularExpression::escape(message)));

        compareTyped(ElementValue::cameraValue(e.get(), edited), expected);
        if (kind == "bool")
            QCOMPARE(ElementValue::checkState(edited) == Qt::Checked, expected == QVariant("On"));

        const bool command = kind == "command";
        QCOMPARE(ElementValue::write(&db, e.get(), edited), expected.isValid() || command);
        if (!expected.isValid() && !command) {
            QVERIFY(channel.requests.isEmpty());
            QCOMPARE(db.cachedValue("expo"), QVariant(4));
            return;
        }
        QCOMPARE(channel.requests.size(), 1);
        QCOMPARE(channel.requests.first().args,
            QVariantList { command ? QVariant(QByteArray("1")) : expected });
        if (command)
            QCOMPARE(db.valueState("Apply"), CameraDatabase::ValueState::Absent);
        else
            QCOMPARE(db.cachedValue(ElementValue::reference(e.get())), expected);
    }

    void typedBackAsShown_data()
    {
        QTest::addColumn<double>("multiply");
        QTest::addColumn<double>("add");
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
        const QList<DisplayElement *> elements = mDescription->displayElements();
        for (const DisplayElement *element : elements) {
            if (CameraSettingsFile::isSaveable(element)
                && mDatabase->evaluateBool(element->isAvailable))
                file.addItem(CameraSettingsFile::read(mDatabase.get(), element));
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
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QByteArrayList>("sent");

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

        const Item item { element, type, text };
        QCOMPARE(
            CameraSettingsFile::apply(mDatabase.get(), mDescription->displayElement(element), item),
            outcome);
        QCOMPARE(mChannel.codes(), sent);
    }

private:
    FakeCommandChannel mChannel;
    std::unique_ptr<CameraDescriptionFile> mDescription;
    std::unique_ptr<CameraDatabase> mDatabase;
};

QTEST_GUILESS_MAIN(TestElementValue)
#include "tst_elementvalue.moc"
