#include "app/appsettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstRunGivesDefaults();
    void roundTripKeepsEveryField();
    void alwaysEditModeIsForcedOffAfterLoad();
    void refreshDelayIsKeptAsStored_data();
    void refreshDelayIsKeptAsStored();
    void wrongTypesConvertLikeVariants();
    void processFlagsAreNeverStored();
    void userStoreIsTheIniFileOfVorlexMarnifex();

private:
    QSettings *store();
    QTemporaryDir mDir;
    QScopedPointer<QSettings> mStore;
};

QSettings *TestAppSettings::store()
{
    mStore.reset(new QSettings(mDir.filePath("store.ini"), QSettings::IniFormat));
    return mStore.data();
}

void TestAppSettings::init()
{
    QVERIFY(mDir.isValid());
    QFile::remove(mDir.filePath("store.ini"));
}

void TestAppSettings::firstRunGivesDefaults()
{
    AppSettings settings;
    settings.askExitWindows = false;
    settings.updateDelay = 1;
    settings.load(*store());

    QCOMPARE(settings.askExitWindows, true);
    QCOMPARE(settings.updateDelay, 5000);
    QCOMPARE(settings.runtimeShowConsole, false);
    QCOMPARE(settings.runtimeAlwaysEditMode, false);
    QCOMPARE(settings.consoleLogDebug, false);
    QCOMPARE(settings.consoleLogTimed, false);
    QCOMPARE(settings.runtimeSizeOfSettings, 0);
    QCOMPARE(settings.modeView, 0);
    QCOMPARE(settings.modeDescription, 0);
    QVERIFY(settings.runtimeWindowsGeometry.isEmpty());
    QVERIFY(settings.searchPaths.isEmpty());
    QCOMPARE(settings.developerMode, false);
    QCOMPARE(settings.debugMode, false);
}

void TestAppSettings::roundTripKeepsEveryField()
{
    AppSettings written;
    written.askExitWindows = false;
    written.runtimeWindowsGeometry = QByteArray("\x01\x02\x00geometry", 11);
    written.runtimeSizeOfSettings = 321;
    written.runtimeShowConsole = true;
    written.updateDelay = 2500;
    written.modeView = 2;
    written.modeDescription = 1;
    written.consoleLogDebug = true;
    written.consoleLogTimed = true;
    written.searchPaths = QStringList { "/opt/cams", "/home/u/My Cams" };
    written.save(*store());

    AppSettings read;
    read.load(*store());
    QCOMPARE(read.askExitWindows, false);
    QCOMPARE(read.runtimeWindowsGeometry, written.runtimeWindowsGeometry);
    QCOMPARE(read.runtimeSizeOfSettings, 321);
    QCOMPARE(read.runtimeShowConsole, true);
    QCOMPARE(read.updateDelay, 2500);
    QCOMPARE(read.modeView, 2);
    QCOMPARE(read.modeDescription, 1);
    QCOMPARE(read.consoleLogDebug, true);
    QCOMPARE(read.consoleLogTimed, true);
    QCOMPARE(read.searchPaths, written.searchPaths);

    // Keys are stored at the top level under exactly these names.
    QStringList keys = store()->allKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList { "askExitWindows", "consoleLogDebug", "consoleLogTimed",
                                  "modeDescription", "modeView", "runtimeAlwaysEditMode",
                                  "runtimeShowConsole", "runtimeSizeOfSettings",
                                  "runtimeWindowsGeometry", "searchPaths", "updateDelay" }));
}

void TestAppSettings::alwaysEditModeIsForcedOffAfterLoad()
{
    store()->setValue("runtimeAlwaysEditMode", true);
    mStore->sync();

    AppSettings settings;
    settings.load(*store());
    QCOMPARE(settings.runtimeAlwaysEditMode, false);
    QCOMPARE(store()->value("runtimeAlwaysEditMode").toBool(), true);
}

void TestAppSettings::refreshDelayIsKeptAsStored_data()
{
    QTest::addColumn<int>("delay");
    QTest::newRow("off") << 0;
    QTest::newRow("negative") << -3000;
    QTest::newRow("two seconds") << 2000;
}

void TestAppSettings::refreshDelayIsKeptAsStored()
{
    QFETCH(int, delay);
    store()->setValue("updateDelay", delay);
    mStore->sync();

    AppSettings settings;
    settings.load(*store());
    QCOMPARE(settings.updateDelay, delay);
    settings.save(*store());
    QCOMPARE(store()->value("updateDelay").toInt(), delay);
}

void TestAppSettings::wrongTypesConvertLikeVariants()
{
    store()->setValue("modeView", "expert");
    store()->setValue("searchPaths", "/single/path");
    mStore->sync();

    AppSettings settings;
    settings.load(*store());
    QCOMPARE(settings.modeView, 0);
    QCOMPARE(settings.searchPaths, QStringList { "/single/path" });
}

void TestAppSettings::processFlagsAreNeverStored()
{
    AppSettings settings;
    settings.developerMode = true;
    settings.debugMode = true;
    settings.save(*store());
    for (const QString &key : store()->allKeys())
        QVERIFY2(!key.contains("developer", Qt::CaseInsensitive)
                         && !key.contains("debugMode", Qt::CaseInsensitive),
                 qPrintable(key));

    AppSettings reloaded;
    reloaded.load(*store());
    QCOMPARE(reloaded.developerMode, false);
    QCOMPARE(reloaded.debugMode, false);
}

void TestAppSettings::userStoreIsTheIniFileOfVorlexMarnifex()
{
    // CTest points XDG_CONFIG_HOME at a folder of this test, never at the user's own.
    const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!configHome.isEmpty());
    const QString path = configHome + "/Vorlex/Marnifex.conf";
    QFile::remove(path);

    AppSettings settings;
    settings.modeView = 1;
    settings.searchPaths = QStringList { "/data/descriptions" };
    settings.save();
    QVERIFY(QFile::exists(path));

    AppSettings reloaded;
    reloaded.load();
    QCOMPARE(reloaded.modeView, 1);
    QCOMPARE(reloaded.searchPaths, settings.searchPaths);
}

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
