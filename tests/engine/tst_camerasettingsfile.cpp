// Camera settings files without a tree: the bytes written, the tolerant reader, and applying one
// item, damaged blocks included.
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "fakecommandchannel.h"

#include <QtTest>

#include <functional>

using Item = CameraSettingsFile::Item;
using Outcome = CameraSettingsFile::Outcome;
Q_DECLARE_METATYPE(Outcome)

namespace {

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

class TestCameraSettingsFile : public QObject
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

QTEST_GUILESS_MAIN(TestCameraSettingsFile)
#include "tst_camerasettingsfile.moc"
