// The camera database against the real communication thread and the simulated camera: values,
// and list and region transfers as the camera sees them.
#include "comm/console.h"
#include "comm/simulatedcamera.h"
#include "commthreadfixture.h"
#include "engine/cameradatabase.h"
#include "enginetestsupport.h"
#include "faketransferprogress.h"
#include "tests/common/datatable.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <limits>

class TestEngineComm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { CommThreadFixture::registerDevice("Engine"); }

    void init()
    {
        QVERIFY(mFixture.start("Engine"));
        mComm = mFixture.comm();
        mCamera = &mFixture.camera();

        mDb = new CameraDatabase(mComm);
        const QList<CommandParameter> region { intParam("rx"), intParam("ry"), intParam("rw"),
            intParam("rh") };
        mDescription = makeDescription({
            { "Gain", "GA", {}, { intParam("gain") }, { intParam("gain") }, {} },
            { "Area", "AR", {}, {}, { intParam("ax"), intParam("ay"), intParam("aw") }, {} },
            { "Alpha", "AL", {}, {}, { intParam("A") }, {} },
            { "Beta", "BE", {}, {}, { intParam("B") }, {} },
            { "Lut", "LUT", { intParam("lutIndex") },
                { intParam("lutIndex"), intParam("lutValue") }, { intParam("lutValue") }, {} },
            { "LutStart", "LS", {}, {}, {}, {} },
            { "LutEnd", "LE", {}, { constParam("1") }, {}, {} },
            { "RoiRead", "RR", { intParam("roiIndex") }, {}, region, {} },
            { "RoiWrite", "RW", {}, region, {}, {} },
            { "RoiStart", "RS", {}, {}, {}, {} },
            { "RoiEnd", "RE", {}, {}, {}, {} },
            // Loaded last, so the region values belong to this command.
            { "Roi", "ROI", { intParam("roiIndex") }, region, region, {} },
        });
        mDb->setDescription(mDescription.get(), "m", "t");
        mProgress = FakeTransferProgress();
        mDb->setTransferProgress(&mProgress);
        mCamera->clearReceivedCommands();
    }

    void cleanup()
    {
        mFixture.stop();
        delete mDb;
        mDescription.reset();
    }

    // Values read in the background, and blocking ones a script waits for.
    void valuesFromTheCamera()
    {
        mCamera->setValue("AR", "1;2;3");
        mCamera->setValue("AL", "1");
        mCamera->setValue("BE", "2");
        QSignalSpy updates(mDb, &CameraDatabase::valueUpdate);
        // Repeated reads of a value never read send one get; every value of the reply is stored.
        QVERIFY(!mDb->getValue("ax").isValid());
        QVERIFY(!mDb->getValue("ax").isValid());
        QTRY_COMPARE(mDb->getValue("ax"), QVariant(1));
        QCOMPARE(mDb->getValue("ay"), QVariant(2));
        QCOMPARE(mDb->getValue("aw"), QVariant(3));
        QCOMPARE(updates.value(0).value(0).toString(), QStringLiteral("ax"));

        // Blocking reads through the thread, each now waiting 2500 / 5 = 500 ms on the simulated
        // line, do not count against the script's time limit.
        VirtualCommunicator::setDelayDivisor(5);
        mDb->setScriptTimeLimit(300);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(mDb->evaluateBool("var a = A == 1; a && B == 2"));
        QVERIFY(clock.elapsed() >= 900);
        QCOMPARE(received(), (QByteArrayList { "AR?", "AL?", "BE?" }));
    }

    void listTransfer_data()
    {
        // refused: NAKs for the first commands
        columns<bool, int, int>({ "save", "cancelAt", "refused" });
        QTest::newRow("save 256 entries between Start and End") << true << -1 << 0;
        QTest::newRow("save cancelled at entry 10, End still sent") << true << 10 << 0;
        QTest::newRow("save goes on past refused entries and says so") << true << -1 << 3;
        QTest::newRow("load 16 entries") << false << -1 << 0;
        QTest::newRow("load cancelled at entry 3 keeps three") << false << 3 << 0;
    }

    void listTransfer()
    {
        QFETCH(bool, save);
        QFETCH(int, cancelAt);
        QFETCH(int, refused);
        Console console(nullptr);
        for (int i = 0; i < refused; ++i)
            mCamera->queueFault({ SimulatedCamera::NakAnswer });
        if (refused)
            QTest::ignoreMessage(QtDebugMsg,
                qPrintable(QStringLiteral("Console: Saving list to camera: the camera did not "
                                          "take %1 of the commands sent")
                               .arg(refused)));
        const int count = save ? 256 : 16;
        const int entries = cancelAt < 0 ? count : cancelAt;
        mProgress.cancelAt = cancelAt;
        mCamera->setValue("LUT", "42");
        QStringList list { "stale" };
        QByteArrayList expected;
        for (int i = 0; i < entries; ++i) {
            const QByteArray index = QByteArray::number(i);
            expected << (save ? "LUT" + index + ';' + QByteArray::number(i * 3) : "LUT?" + index);
        }
        if (save) {
            list.clear();
            for (int i = 0; i < count; ++i)
                list << QString::number(i * 3);
            QCOMPARE(
                mDb->saveList(list, "lutIndex", "LutStart", "LutEnd", "lutValue"), cancelAt < 0);
            QCOMPARE(received(), QByteArrayList { "LS" } + expected + QByteArrayList { "LE1" });
            // The cache holds the last entry written.
            QCOMPARE(mDb->cachedValue("lutIndex"), QVariant(entries - 1));
        } else {
            QCOMPARE(mDb->loadList(list, count, "lutValue", "lutIndex"), cancelAt < 0);
            QCOMPARE(received(), expected);
            QCOMPARE(list.size(), entries);
            QCOMPARE(list.count("42"), entries);
        }
        checkProgress(save ? QStringLiteral("Saving list to camera")
                           : QStringLiteral("Loading list from camera"),
            count, cancelAt < 0 ? count : cancelAt + 1);
    }

    void transfersWithoutProgressDialog()
    {
        mDb->setTransferProgress(nullptr);
        mCamera->setValue("LUT", "4");
        QStringList out;
        QVERIFY(mDb->loadList(out, 2, "lutValue", "lutIndex"));
        QCOMPARE(out, (QStringList { "4", "4" }));
        QVERIFY(mDb->saveList({ "1", "2" }, "lutIndex", QString(), QString(), "lutValue"));
        QCOMPARE(received(), (QByteArrayList { "LUT?0", "LUT?1", "LUT0;1", "LUT1;2" }));
    }

    void saveRoi()
    {
        // The last region's width does not fit an int; it is refused without arithmetic on it.
        const QList<QRect> regions { QRect(10, 20, 30, 40), QRect(1, 2, 3, 4),
            QRect(QPoint(0, 0), QPoint(std::numeric_limits<int>::max(), 0)) };
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Region 2 is no region"));
        // A count beyond the regions sends empty ones.
        QVERIFY(mDb->saveRoi(regions, 4, "rx", "ry", "rw", "rh", "RoiStart", "RoiEnd", "RoiWrite"));
        // An empty SetCommand writes through the command of X.
        QVERIFY(mDb->saveRoi(regions, 2, "rx", "ry", "rw", "rh", QString(), "RoiEnd", QString()));
        QCOMPARE(received(),
            (QByteArrayList { "RS", "RW10;20;30;40", "RW1;2;3;4", "RW0;0;0;0", "RE",
                "ROI10;20;30;40", "ROI1;2;3;4", "RE" }));
        const QString title = QStringLiteral("Saving regions to camera");
        QCOMPARE(mProgress.titles, (QStringList { title, title }));
    }

    void loadRoi_data()
    {
        columns<QString, QByteArray, int, QList<QRect>>(
            { "getCommand", "cameraHolds", "cancelAt", "expected" });
        const QRect region(5, 6, 7, 8);
        auto row = [](const char *name, const char *getCommand, const char *cameraHolds,
                       int cancelAt, const QList<QRect> &expected) {
            QTest::newRow(name) << getCommand << QByteArray(cameraHolds) << cancelAt << expected;
        };
        row("through GetCommand", "RoiRead", "5;6;7;8", -1, { region, region });
        row("empty GetCommand reads through the command of X", "", "5;6;7;8", -1,
            { region, region });
        row("right edge beyond the int range is an empty region", "RoiRead", "2147483647;0;2;1", -1,
            { QRect(), QRect() });
        row("cancel before the second region", "RoiRead", "5;6;7;8", 1, { region });
    }

    void loadRoi()
    {
        QFETCH(QString, getCommand);
        QFETCH(QByteArray, cameraHolds);
        QFETCH(int, cancelAt);
        QFETCH(QList<QRect>, expected);
        const QByteArray name = getCommand.isEmpty() ? "ROI" : "RR";
        mCamera->setValue(QString::fromLatin1(name), cameraHolds);
        mProgress.cancelAt = cancelAt;
        for (int i = expected.count(QRect()); i > 0; --i)
            QTest::ignoreMessage(
                QtDebugMsg, QRegularExpression("read from the camera is no region"));
        QList<QRect> out { QRect(1, 1, 1, 1) };
        QCOMPARE(
            mDb->loadRoi(out, 2, "roiIndex", "rx", "ry", "rw", "rh", getCommand), cancelAt < 0);
        QCOMPARE(out, expected);
        QByteArrayList asked;
        for (int i = 0; i < expected.size(); ++i)
            asked << name + "?" + QByteArray::number(i);
        QCOMPARE(received(), asked);
        checkProgress("Loading regions from camera", 2, cancelAt < 0 ? 2 : cancelAt + 1);
    }

private:
    // The dialog is polled before each entry, with the entry's number, and closed once.
    void checkProgress(const QString &title, int maximum, int polled)
    {
        QCOMPARE(mProgress.titles, QStringList { title });
        QCOMPARE(mProgress.maximums, QList<int> { maximum });
        QCOMPARE(mProgress.values.size(), polled);
        for (int i = 0; i < polled; ++i) {
            QCOMPARE(mProgress.values.at(i), i);
            QCOMPARE(mProgress.labels.at(i),
                QStringLiteral("%1 (%2/%3)").arg(title).arg(i).arg(maximum));
        }
        QCOMPARE(mProgress.ended, 1);
    }
    QList<QByteArray> received() const { return mCamera->receivedCommands(); }

    CommThreadFixture mFixture;
    CommunicationThreadObject *mComm = nullptr;
    SimulatedCamera *mCamera = nullptr;
    CameraDatabase *mDb = nullptr;
    FakeTransferProgress mProgress;
    std::unique_ptr<CameraDescriptionFile> mDescription;
};

QTEST_GUILESS_MAIN(TestEngineComm)
#include "tst_enginecomm.moc"
