#include "app/appsettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestAppSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(mDir.isValid());
        QFile::remove(mDir.filePath("store.ini"));
    }

    void firstRunGivesDefaults()
    {
        AppSettings settings;
        settings.askExitWindows = false;
        settings.updateDelay = 1;
        settings.searchPaths = QStringList { "/old" };
        settings.load(*store());
        QCOMPARE(settings.askExitWindows, true);
        QCOMPARE(settings.updateDelay, 5000);
        QVERIFY(settings.searchPaths.isEmpty());
    }

    void roundTripKeepsEveryField()
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
        // Process flags are never stored.
        written.developerMode = written.debugMode = true;
        written.save(*store());

        AppSettings read;
        read.load(*store());
        const auto fields = [](const AppSettings &s) {
            return QVariantList { s.askExitWindows, s.runtimeWindowsGeometry,
                s.runtimeSizeOfSettings, s.runtimeShowConsole, s.updateDelay, s.modeView,
                s.modeDescription, s.consoleLogDebug, s.consoleLogTimed, s.searchPaths };
        };
        QCOMPARE(fields(read), fields(written));
        QVERIFY(!read.developerMode && !read.debugMode);

        // Keys are stored at the top level under exactly these names.
        QStringList keys = store()->allKeys();
        keys.sort();
        QCOMPARE(keys,
            (QStringList { "askExitWindows", "consoleLogDebug", "consoleLogTimed",
                "modeDescription", "modeView", "runtimeAlwaysEditMode", "runtimeShowConsole",
                "runtimeSizeOfSettings", "runtimeWindowsGeometry", "searchPaths", "updateDelay" }));
    }

    void storedValues_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("loaded");

        QTest::newRow("refresh off kept") << "updateDelay" << QVariant(0) << QVariant(0);
        QTest::newRow("always-edit mode forced off")
            << "runtimeAlwaysEditMode" << QVariant(true) << QVariant(false);
        QTest::newRow("single path becomes a list") << "searchPaths" << QVariant("/single/path")
                                                    << QVariant(QStringList { "/single/path" });
    }

    void storedValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, loaded);
        store()->setValue(key, stored);
        mStore->sync();

        AppSettings settings;
        settings.load(*store());
        const QVariant value = key == "updateDelay" ? QVariant(settings.updateDelay)
            : key == "runtimeAlwaysEditMode"        ? QVariant(settings.runtimeAlwaysEditMode)
                                                    : QVariant(settings.searchPaths);
        QCOMPARE(value, loaded);
        // Loading never writes back.
        QCOMPARE(store()->value(key).toString(), stored.toString());
    }

    void userStoreIsTheIniFileOfVorlexMarnifex()
    {
        // CTest points XDG_CONFIG_HOME at a folder of this test, never at the user's own.
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!configHome.isEmpty());
        const QString path = configHome + "/Vorlex/Marnifex.conf";
        QFile::remove(path);

        AppSettings settings;
        settings.searchPaths = QStringList { "/data/descriptions" };
        settings.save();
        QVERIFY(QFile::exists(path));
        AppSettings reloaded;
        reloaded.load();
        QCOMPARE(reloaded.searchPaths, settings.searchPaths);
    }

private:
    QSettings *store()
    {
        mStore.reset(new QSettings(mDir.filePath("store.ini"), QSettings::IniFormat));
        return mStore.data();
    }

    QTemporaryDir mDir;
    QScopedPointer<QSettings> mStore;
};

QTEST_GUILESS_MAIN(TestAppSettings)
#include "tst_appsettings.moc"
