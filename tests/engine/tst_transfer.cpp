// List and region transfers as the simulated camera sees them, through the real communication
// thread.
#include "commthreadfixture.h"
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"
#include "faketransferprogress.h"

#include <QtTest>

class TestTransfer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveList_data();
    void saveList();
    void saveListWithoutProgress();
    void loadList_data();
    void loadList();
    void loadListFailedEntryRepeatsPrevious();
    void saveRoi_data();
    void saveRoi();
    void loadRoi_data();
    void loadRoi();
    void unknownNamesSendNothing();

private:
    QList<QByteArray> received() const { return mFixture.camera().receivedCommands(); }

    CommThreadFixture mFixture;
    CameraDatabase *mDb = nullptr;
    FakeTransferProgress mProgress;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

void TestTransfer::initTestCase()
{
    CommThreadFixture::registerDevice(QStringLiteral("Transfer"));
}

void TestTransfer::init()
{
    QVERIFY(mFixture.start(QStringLiteral("Transfer")));
    mDb = new CameraDatabase(mFixture.comm());
    mDescription = makeDescription({
        { "Lut", "LUT", { intParam("lutIndex") }, { intParam("lutIndex"), intParam("lutValue") },
            { intParam("lutValue") }, {} },
        { "LutStart", "LS", {}, {}, {}, {} },
        { "LutEnd", "LE", {}, { constParam("1") }, {}, {} },
        { "RoiRead", "RR", { intParam("roiIndex") }, {},
            { intParam("rx"), intParam("ry"), intParam("rw"), intParam("rh") }, {} },
        { "RoiWrite", "RW", {}, { intParam("rx"), intParam("ry"), intParam("rw"), intParam("rh") },
            {}, {} },
        { "RoiStart", "RS", {}, {}, {}, {} },
        { "RoiEnd", "RE", {}, {}, {}, {} },
        // Loaded last, so the region values belong to this command.
        { "Roi", "ROI", { intParam("roiIndex") },
            { intParam("rx"), intParam("ry"), intParam("rw"), intParam("rh") },
            { intParam("rx"), intParam("ry"), intParam("rw"), intParam("rh") }, {} },
    });
    mDb->setDescription(mDescription.get(), "m", "t");
    mProgress = FakeTransferProgress();
    mDb->setTransferProgress(&mProgress);
    mFixture.camera().clearReceivedCommands();
}

void TestTransfer::cleanup()
{
    mFixture.stop();
    delete mDb;
    mDb = nullptr;
    mDescription.reset();
}

void TestTransfer::saveList_data()
{
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<QString>("startId");
    QTest::addColumn<QString>("endId");
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<QByteArrayList>("expected");

    QStringList lut;
    QByteArrayList frames;
    for (int i = 0; i < 256; ++i) {
        lut << QString::number(i * 3);
        frames << "LUT" + QByteArray::number(i) + ';' + QByteArray::number(i * 3);
    }
    QTest::newRow("256 entries between Start and End")
        << lut << "LutStart"
        << "LutEnd" << -1 << QByteArrayList { "LS" } + frames + QByteArrayList { "LE1" };
    QTest::newRow("cancel at entry 10, End still sent")
        << lut << "LutStart"
        << "LutEnd" << 10 << QByteArrayList { "LS" } + frames.mid(0, 10) + QByteArrayList { "LE1" };
    QTest::newRow("cancel before the first entry")
        << lut << "LutStart"
        << "LutEnd" << 0 << QByteArrayList { "LS", "LE1" };
    QTest::newRow("cancel without End")
        << lut << "LutStart" << QString() << 10 << QByteArrayList { "LS" } + frames.mid(0, 10);
    QTest::newRow("no Start, no End") << QStringList { "5", "6" } << QString() << QString() << -1
                                      << QByteArrayList { "LUT0;5", "LUT1;6" };
    QTest::newRow("entries that are not numbers go out as 0")
        << QStringList { "abc", "12", "", "0x10", "-4" } << QString() << "LutEnd" << -1
        << QByteArrayList { "LUT0;0", "LUT1;12", "LUT2;0", "LUT3;0", "LUT4;-4", "LE1" };
    QTest::newRow("empty list still sends Start and End")
        << QStringList() << "LutStart"
        << "LutEnd" << -1 << QByteArrayList { "LS", "LE1" };
}

void TestTransfer::saveList()
{
    QFETCH(QStringList, list);
    QFETCH(QString, startId);
    QFETCH(QString, endId);
    QFETCH(int, cancelAt);
    QFETCH(QByteArrayList, expected);
    mProgress.cancelAt = cancelAt;

    QCOMPARE(mDb->saveList(list, "lutIndex", startId, endId, "lutValue"), cancelAt < 0);
    QCOMPARE(received(), expected);
    QCOMPARE(mProgress.titles, QStringList { "Saving list to camera" });
    QCOMPARE(mProgress.maximums, QList<int> { list.size() });
    // Polled before each entry.
    const int written = cancelAt < 0 ? list.size() : cancelAt;
    QCOMPARE(mProgress.values.size(), cancelAt < 0 ? list.size() : cancelAt + 1);
    if (!mProgress.labels.isEmpty()) {
        QCOMPARE(mProgress.labels.first(),
            QStringLiteral("Saving list to camera (0/%1)").arg(list.size()));
        QCOMPARE(mProgress.labels.last(),
            QStringLiteral("Saving list to camera (%1/%2)")
                .arg(mProgress.values.size() - 1)
                .arg(list.size()));
    }
    // The cache holds the last entry written.
    if (written > 0)
        QCOMPARE(mDb->cachedValue("lutIndex"), QVariant(written - 1));
    QCOMPARE(mProgress.ended, 1);
}

void TestTransfer::saveListWithoutProgress()
{
    mDb->setTransferProgress(nullptr);
    QVERIFY(mDb->saveList({ "1", "2", "3" }, "lutIndex", QString(), QString(), "lutValue"));
    QCOMPARE(received(), (QByteArrayList { "LUT0;1", "LUT1;2", "LUT2;3" }));
    // The simulated camera answers the last set ("2;3"): one argument too many per read.
    QTest::ignoreMessage(QtDebugMsg, "Lut LUT? Returned more parameters than expected");
    QTest::ignoreMessage(QtDebugMsg, "Lut LUT? Returned more parameters than expected");
    QStringList out;
    QVERIFY(mDb->loadList(out, 2, "lutValue", "lutIndex"));
    QCOMPARE(out, (QStringList { "2", "2" }));
}

void TestTransfer::loadList_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("cancelAt");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("entries");
    QTest::newRow("count 0 reads nothing") << 0 << -1 << true << 0;
    QTest::newRow("16 entries") << 16 << -1 << true << 16;
    QTest::newRow("cancel at entry 3 keeps three") << 16 << 3 << false << 3;
}

void TestTransfer::loadList()
{
    QFETCH(int, count);
    QFETCH(int, cancelAt);
    QFETCH(bool, result);
    QFETCH(int, entries);
    mFixture.camera().setValue("LUT", "42");
    mProgress.cancelAt = cancelAt;

    QStringList out { "stale" };
    QCOMPARE(mDb->loadList(out, count, "lutValue", "lutIndex"), result);
    QStringList expectedOut;
    for (int i = 0; i < entries; ++i)
        expectedOut << QStringLiteral("42");
    QCOMPARE(out, expectedOut);
    QByteArrayList expected;
    for (int i = 0; i < entries; ++i)
        expected << "LUT?" + QByteArray::number(i);
    QCOMPARE(received(), expected);
    QCOMPARE(mProgress.titles, QStringList { "Loading list from camera" });
    QCOMPARE(mProgress.maximums, QList<int> { count });
    if (count > 0)
        QCOMPARE(
            mProgress.labels.first(), QStringLiteral("Loading list from camera (0/%1)").arg(count));
    QCOMPARE(mProgress.ended, 1);
}

void TestTransfer::loadListFailedEntryRepeatsPrevious()
{
    mFixture.camera().setValue("LUT", "7");
    mFixture.camera().queueFault(SimulatedCamera::NoFault);
    mFixture.camera().queueFault(SimulatedCamera::NakAnswer);
    QStringList out;
    QVERIFY(mDb->loadList(out, 3, "lutValue", "lutIndex"));
    QCOMPARE(out, (QStringList { "7", "7", "7" }));
    QCOMPARE(received().size(), 3);

    // The first entry after a description change has nothing to repeat.
    mDb->setDescription(mDescription.get(), "m", "t");
    mFixture.camera().queueFault(SimulatedCamera::NakAnswer);
    QVERIFY(mDb->loadList(out, 2, "lutValue", "lutIndex"));
    QCOMPARE(out, (QStringList { QString(), "7" }));
}

void TestTransfer::saveRoi_data()
{
    QTest::addColumn<QString>("setCommand");
    QTest::addColumn<QString>("startId");
    QTest::addColumn<QString>("endId");
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("two regions with count 4")
        << "RoiWrite"
        << "RoiStart"
        << "RoiEnd" << 4
        << QByteArrayList { "RS", "RW10;20;30;40", "RW1;2;3;4", "RW0;0;0;0", "RW0;0;0;0", "RE" };
    QTest::newRow("count below the number of regions")
        << "RoiWrite" << QString() << QString() << 1 << QByteArrayList { "RW10;20;30;40" };
    QTest::newRow("empty SetCommand writes through the command of X")
        << QString() << QString() << "RoiEnd" << 2
        << QByteArrayList { "ROI10;20;30;40", "ROI1;2;3;4", "RE" };
}

void TestTransfer::saveRoi()
{
    QFETCH(QString, setCommand);
    QFETCH(QString, startId);
    QFETCH(QString, endId);
    QFETCH(int, count);
    QFETCH(QByteArrayList, expected);
    const QList<QRect> regions { QRect(10, 20, 30, 40), QRect(1, 2, 3, 4) };
    QVERIFY(mDb->saveRoi(regions, count, "rx", "ry", "rw", "rh", startId, endId, setCommand));
    QCOMPARE(received(), expected);
    QVERIFY(mProgress.titles.isEmpty()); // regions are written without a dialog
}

void TestTransfer::loadRoi_data()
{
    QTest::addColumn<QString>("getCommand");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("indexId");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::newRow("through GetCommand with index")
        << "RoiRead" << QByteArray("RR") << "roiIndex" << QByteArrayList { "RR?0", "RR?1" };
    QTest::newRow("empty GetCommand reads through the command of X")
        << QString() << QByteArray("ROI") << "roiIndex" << QByteArrayList { "ROI?0", "ROI?1" };
    QTest::newRow("no index parameter")
        << "RoiRead" << QByteArray("RR") << QString() << QByteArrayList { "RR?0", "RR?0" };
}

void TestTransfer::loadRoi()
{
    QFETCH(QString, getCommand);
    QFETCH(QByteArray, name);
    QFETCH(QString, indexId);
    QFETCH(QByteArrayList, expected);
    mFixture.camera().setValue(QString::fromLatin1(name), "5;6;7;8");
    QList<QRect> out { QRect(1, 1, 1, 1) };
    QVERIFY(mDb->loadRoi(out, 2, indexId, "rx", "ry", "rw", "rh", getCommand));
    QCOMPARE(out, (QList<QRect> { QRect(5, 6, 7, 8), QRect(5, 6, 7, 8) }));
    QCOMPARE(received(), expected);
}

void TestTransfer::unknownNamesSendNothing()
{
    QTest::ignoreMessage(QtDebugMsg, "doSetValueWait() unknown parameter: nope");
    QTest::ignoreMessage(QtDebugMsg, "doSetValueWait() unknown parameter: nope");
    QVERIFY(mDb->saveList({ "1", "2" }, QString(), QString(), QString(), "nope"));
    QTest::ignoreMessage(QtDebugMsg, "doGetValueWait() unknown parameter: nope");
    QStringList out;
    QVERIFY(mDb->loadList(out, 1, "nope", QString()));
    // The entry stored for the failed write is what the cache holds.
    QCOMPARE(out, QStringList { "2" });
    QVERIFY(received().isEmpty());
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
