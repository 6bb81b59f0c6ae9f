#include "app/appsettings.h"
#include "engine/camerasettingsfile.h"
#include "tests/engine/faketransferprogress.h"
#include "tests/tree/treetestrig.h"
#include "tests/ui/modalanswer.h"
#include "ui/progressdialogtransferprogress.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using TreeXml::Element;
using TreeXml::integer;

namespace {

const QStringList kTransferCommands { TreeXml::cameraCommand("LutStart", "LTS"),
    TreeXml::cameraCommand("LutEnd", "LTE"),
    TreeXml::cameraCommand("Lut", "LTV", TreeXml::params({ "LutIndex", "LutValue" }),
        TreeXml::params({ "LutIndex" }), TreeXml::params({ "LutValue" })) };

const Element kList { "LUT", "G",
    "<List><Start>LutStart</Start><End>LutEnd</End><Count>1 + 2</Count><Get>LutValue</Get>"
    "<Set>LutValue</Set><Index>LutIndex</Index></List>" };

} // namespace

// The tree against a simulated camera behind the real communication thread: values read and
// written on the wire, availability read from the camera, invalidation, refresh and transfers.
class TestTreeCamera : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TreeTestRig::setUpProcess(); }

    void init()
    {
        AppSettings::instance().updateDelay = 5000;
        mRig.reset(new TreeTestRig);
        QVERIFY(mRig->start());
        // Empty answers are repeated by the port's retries; a value keeps each exchange single.
        mRig->camera().setValue("MOD", "0");
        mRig->camera().setValue("LBL", "\"x");
    }
    void cleanup() { mRig.reset(); }

    void valuesComeFromTheCameraAndTicksGoToIt_data()
    {
        QTest::addColumn<QString>("flip");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("cameraHolds");
        QTest::addColumn<int>("clicked");
        QTest::addColumn<QByteArray>("sent");

        const QString flip = TreeXml::boolean("Flip", "1", "0");
        QTest::newRow("untick") << flip << QByteArray("FLH") << QByteArray("1")
                                << int(Qt::Unchecked) << QByteArray("0");
        // The box shows whether the camera holds TrueValue, whatever else it holds.
        QTest::newRow("false value 2") << TreeXml::boolean("Flip", "1", "2") << QByteArray("FLH")
                                       << QByteArray("2") << int(Qt::Checked) << QByteArray("1");
        QTest::newRow("text values")
            << TreeXml::boolean("Label", "ON", "OFF") << QByteArray("LBL") << QByteArray("\"OFF")
            << int(Qt::Checked) << QByteArray("\"ON");
    }

    void valuesComeFromTheCameraAndTicksGoToIt()
    {
        QFETCH(QString, flip);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, cameraHolds);
        QFETCH(int, clicked);
        QFETCH(QByteArray, sent);
        mRig->camera().setValue(QString::fromLatin1(code), cameraHolds);
        mRig->camera().setValue("GAI", "12");
        QVERIFY(mRig->load({ { "Flip", "G", flip }, { "Gain", "G", integer("Gain", "", "dB") } }));
        const QModelIndex proxy = mRig->shown("Flip");
        const QModelIndex gain = mRig->shown("Gain");
        QSignalSpy changed(mRig->filter.get(), &QAbstractItemModel::dataChanged);

        // The first paint asks the camera; the answer arrives later and the view is told.
        QCOMPARE(gain.data().toString(), QString());
        proxy.data();
        QTRY_COMPARE(gain.data().toString(), QString("12 dB"));
        QVERIFY(!changed.isEmpty());
        const int shown = clicked == Qt::Checked ? Qt::Unchecked : Qt::Checked;
        QTRY_COMPARE(proxy.data(Qt::CheckStateRole).toInt(), shown);
        // The camera's value is only shown, never written back.
        QVERIFY(drainQueue());
        QCOMPARE(countReceived(code + cameraHolds), 0);

        QVERIFY(mRig->filter->setData(proxy, clicked, Qt::CheckStateRole));
        QTRY_COMPARE(mRig->camera().value(QString::fromLatin1(code)), sent);
        QCOMPARE(countReceived(code + sent), 1);
        QCOMPARE(proxy.data(Qt::CheckStateRole).toInt(), clicked);
    }

    void invalidationReevaluatesAndRereads()
    {
        mRig->camera().setValue("GAI", "4");
        mRig->camera().setValue("FLH", "0");
        // The element names its own value too: its arrival must not start an endless get loop.
        QVERIFY(mRig->load({ { "Switch", "G", TreeXml::enumeration("Flip") },
            { "Pattern", "G", integer("Gain"), "Beginner", "RW", "Flip,Gain,Apply", "Flip == 1" },
            { "Apply", "G", TreeXml::command("Apply", "Apply now") } }));
        QVERIFY(!mRig->isShown("Pattern"));
        // One read while building, although the reply names the element's InvalidatedBy.
        QCOMPARE(countReceived("FLH?"), 1);
        QCOMPARE(countReceived("GAI?"), 0);

        // A changed value re-evaluates the element; shown again, it reads its value anew.
        mRig->cell("Switch")->setValue(1);
        QVERIFY(mRig->isShown("Pattern"));
        QTRY_COMPARE(mRig->database->cachedValue("Gain"), QVariant(4));
        QCOMPARE(mRig->camera().value("FLH"), QByteArray("1"));
        QCOMPARE(mRig->cell("Pattern")->displayText().toString(), QString("4"));
        QVERIFY(drainQueue());
        const int reads = countReceived("GAI?");
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("GAI?"), reads);

        // The camera changes the gain when the command runs; the tree learns it from the re-read.
        mRig->camera().setValue("GAI", "9");
        mRig->cell("Apply")->setValue(1);
        QTRY_COMPARE(mRig->database->cachedValue("Gain"), QVariant(9));
        QCOMPARE(countReceived("APL"), 1);
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("GAI?"), reads + 1);

        // Unavailable again, the element shows no value at all and is not saved.
        mRig->cell("Switch")->setValue(0);
        QVERIFY(!mRig->isShown("Pattern"));
        QVERIFY(!mRig->cell("Pattern")->displayText().isValid());
        QVERIFY(!mRig->cell("Pattern")->data(Qt::EditRole).isValid());
        QVERIFY(!mRig->cell("Pattern")->isSaveable());
    }

    void refreshRereadsWhatMayHaveChanged()
    {
        mRig->camera().setValue("GAI", "1");
        mRig->camera().setValue("FLH", "1");
        QVERIFY(mRig->load(
            { { "Label", "G", "<String><Reference>Label</Reference></String>", "Beginner", "RW", "",
                  "", "False" },
                { "Gain", "G", integer("Gain") },
                { "Flip", "G", TreeXml::boolean("Flip", "1", "0") },
                { "Apply", "G", TreeXml::command("Apply", "Go") },
                { "Hidden", "G", integer("Temp"), "Guru", "RW", "", "", "False" },
                { "Gone", "G", integer("Temp"), "Beginner", "RW", "", "1 == 2", "False" } },
            { TreeXml::valueCommand("Temp", "TMP", "Temp") }));

        // The periodic refresh reads the shown, available values that are not cacheable.
        mRig->model->updateNonPersistent();
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("LBL?"), 1);
        QCOMPARE(countReceived("GAI?"), 0);
        QCOMPARE(countReceived("TMP?"), 0);

        // Offline, the timer stops and every cell is disabled, hidden ones too.
        mRig->model->onOnlineModeChanged(false);
        QVERIFY(!mRig->model->isRefreshTimerActive());
        for (PellixItem *cell : mRig->model->items())
            QVERIFY2(!cell->isEnabled(), qPrintable(cell->name()));
        // Going online again re-reads every shown value and runs no command.
        mRig->model->onOnlineModeChanged(true);
        QVERIFY(mRig->model->isRefreshTimerActive());
        for (PellixItem *cell : mRig->model->items())
            QVERIFY2(cell->isEnabled(), qPrintable(cell->name()));
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("LBL?"), 2);
        QCOMPARE(countReceived("GAI?"), 1);
        QCOMPARE(countReceived("TMP?"), 0);
        QCOMPARE(countReceived("APL"), 0);
    }

    void listTransferPausesTheRefresh_data()
    {
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QList<QByteArray>>("written");

        QTest::newRow("whole list")
            << -1 << 3 << QStringList { "7", "7", "7" }
            << QList<QByteArray> { "LTS", "LTV0;4", "LTV1;0", "LTV2;6", "LTE" };
        QTest::newRow("cancelled")
            << 1 << -1 << QStringList { "7" } << QList<QByteArray> { "LTS", "LTV0;4", "LTE" };
    }

    void listTransferPausesTheRefresh()
    {
        QFETCH(int, cancelAt);
        QFETCH(int, count);
        QFETCH(QStringList, entries);
        QFETCH(QList<QByteArray>, written);
        FakeTransferProgress progress;
        progress.cancelAt = cancelAt;
        bool timerRan = false;
        progress.onCall = [&] { timerRan |= mRig->model->isRefreshTimerActive(); };
        mRig->database->setTransferProgress(&progress);
        mRig->camera().setValue("LTV", "7");
        QVERIFY(mRig->load({ kList }, kTransferCommands));
        PellixItem *lut = mRig->cell("LUT");
        QVERIFY(mRig->model->isRefreshTimerActive());

        QStringList out;
        int counted = 0;
        lut->loadList(out, counted);
        QCOMPARE(counted, count);
        QCOMPARE(out, entries);

        mRig->camera().clearReceivedCommands();
        lut->saveList({ "4", "x", "6" });
        QCOMPARE(mRig->camera().receivedCommands(), written);
        QVERIFY(!timerRan);
        QVERIFY(mRig->model->isRefreshTimerActive());
        mRig->database->setTransferProgress(nullptr);
    }

    void treeInstallsTheProgressDialog()
    {
        QVERIFY(mRig->load({ { "Gain", "G", integer("Gain") } }));
        QVERIFY(dynamic_cast<ProgressDialogTransferProgress *>(mRig->database->transferProgress()));

        // The tree takes its dialog back when it goes.
        mRig->filterTester.reset();
        mRig->modelTester.reset();
        mRig->model.reset();
        QVERIFY(!mRig->database->transferProgress());
    }

    // Saved from one camera, loaded into another that holds other values; then loaded again,
    // damaged, refused, and saved again where the write fails.
    void settingsFileMovesACamera()
    {
        SimulatedCamera &camera = mRig->camera();
        const auto holds = [&camera](const QByteArrayList &sets) {
            for (const QByteArray &set : sets)
                camera.answer(set);
        };
        const auto state = [&camera] {
            QByteArrayList out;
            for (const char *query : { "GAI?", "EXP?", "MOD?", "FLG?", "LBL?", "TMP?", "LUT?0",
                     "LUT?2", "ROI?", "SEC?" })
                out.append(camera.answer(query).mid(2).chopped(1));
            return out;
        };
        holds({ "GAI12", "EXP7", "MOD2", "FLG\"On", "LBL\"Line 3", "TMP30", "LUT0;5", "LUT1;6",
            "LUT2;7", "ROI8;16;320;240", "SEC3" });
        const QByteArrayList saved = state();
        QFile xml(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/tests/engine/data/settings.xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QString description = QString::fromUtf8(xml.readAll());
        QVERIFY(mRig->load(description));
        QTemporaryDir dir;
        const QString path = dir.filePath("camera.cdt");
        QVERIFY(mRig->model->saveSettings(path, "Cam", "T-1", "Cam-T-1"));

        holds({ "GAI1", "EXP1", "MOD0", "FLG\"Off", "LBL\"x", "TMP1", "LUT0;0", "LUT2;0",
            "ROI0;0;1;1", "SEC4" });
        QVERIFY(mRig->load(description));
        QVERIFY(mRig->model->loadSettings(path, "Cam", "T-1", "Cam-T-1"));
        QTRY_COMPARE(state(), saved.mid(0, 9) + QByteArrayList { "4" });
        QVERIFY(drainQueue());

        // Unchanged values are not sent again; a damaged list is skipped and the rest goes on.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray damaged = file.readAll().replace("\"list\">", "\"list\">@");
        QVERIFY(file.resize(0) && file.write(damaged) == damaged.size());
        file.close();
        camera.clearReceivedCommands();
        QVERIFY(mRig->model->loadSettings(path, "Cam", "T-1", "Cam-T-1"));
        QVERIFY(drainQueue());
        QByteArrayList sets;
        for (const QByteArray &command : camera.receivedCommands())
            if (!command.contains('?'))
                sets.append(command);
        QCOMPARE(sets, QByteArrayList { "ROI8;16;320;240" });

        // Files for another model or type, or without items, are refused and nothing is sent.
        const QString empty = dir.filePath("empty.cdt");
        QVERIFY(CameraSettingsFile("Cam", "T-1", "Cam-T-1").save(empty));
        const QList<QStringList> refused { { path, "Cam", "T-2", "another camera type: T-1" },
            { path, "cam", "T-1", "another camera model: Cam" },
            { empty, "Cam", "T-1",
                "This seems to be an invalid/corrupt save file, please try another "
                "file" } };
        camera.clearReceivedCommands();
        for (const QStringList &load : refused) {
            ModalAnswer box(
                ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
            QVERIFY(!mRig->model->loadSettings(load[0], load[1], load[2], QString()));
            QCOMPARE(box.title(), QString("Failed to load settings"));
            QVERIFY2(box.text().endsWith(load[3]), qPrintable(box.text()));
        }
        QVERIFY(drainQueue());
        QCOMPARE(camera.receivedCommands(), QByteArrayList { "MOD?" });

        // A write that fails half-way, as on a full disk, leaves the previous file as it was.
        rlimit limit {};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const rlimit small { 256, limit.rlim_max };
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        ModalAnswer box(
            ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
        const bool written = mRig->model->saveSettings(path, "Cam", "T-1", "Cam-T-1");
        setrlimit(RLIMIT_FSIZE, &limit);
        QVERIFY(!written);
        QCOMPARE(box.title(), QString("Failed to save settings"));
        QVERIFY2(box.text().startsWith("The camera settings could not be saved to " + path + ":\n"),
            qPrintable(box.text()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), damaged);
    }

private:
    /// Queues a get of Mode and waits until the camera has handled it, so that every request
    /// queued before has been handled too.
    bool drainQueue()
    {
        const int before = countReceived("MOD?");
        mRig->database->doGetValue("Mode");
        QElapsedTimer waited;
        waited.start();
        ThreadSignalSpy replies(mRig->comm(), &CommunicationThreadObject::receivedReply);
        while (countReceived("MOD?") == before && waited.elapsed() < 5000)
            replies.wait(100);
        return countReceived("MOD?") > before;
    }
    int countReceived(const QByteArray &command)
    {
        return mRig->camera().receivedCommands().count(command);
    }

    std::unique_ptr<TreeTestRig> mRig;
};

QTEST_MAIN(TestTreeCamera)
#include "tst_treecamera.moc"
