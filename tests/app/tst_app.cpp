#include "app/appsettings.h"
#include "app/commandline.h"
#include "app/debuglog.h"
#include "tests/common/datatable.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(mDir.isValid());
        QFile::remove(mDir.filePath("store.ini"));
    }

    // The user's store is the INI file of Vorlex/Marnifex.
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
        // CTest points XDG_CONFIG_HOME at a folder of this test, never at the user's own.
        const QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!configHome.isEmpty());
        const QString path = configHome + "/Vorlex/Marnifex.conf";
        QFile::remove(path);
        written.save();

        AppSettings read;
        read.load();
        const auto fields = [](const AppSettings &s) {
            return QVariantList { s.askExitWindows, s.runtimeWindowsGeometry,
                s.runtimeSizeOfSettings, s.runtimeShowConsole, s.updateDelay, s.modeView,
                s.modeDescription, s.consoleLogDebug, s.consoleLogTimed, s.searchPaths };
        };
        QCOMPARE(fields(read), fields(written));
        QVERIFY(!read.developerMode && !read.debugMode);

        // Keys are stored at the top level under exactly these names.
        QStringList keys = QSettings(path, QSettings::IniFormat).allKeys();
        keys.sort();
        QCOMPARE(keys,
            (QStringList { "askExitWindows", "consoleLogDebug", "consoleLogTimed",
                "modeDescription", "modeView", "runtimeAlwaysEditMode", "runtimeShowConsole",
                "runtimeSizeOfSettings", "runtimeWindowsGeometry", "searchPaths", "updateDelay" }));
    }

    void storedValues_data()
    {
        // stored invalid: the key is missing (first run)
        columns<QString, QVariant, QVariant>({ "key", "stored", "loaded" });

        auto row = [](const char *name, const char *key, const QVariant &stored,
                       const QVariant &loaded) { QTest::newRow(name) << key << stored << loaded; };
        row("refresh off kept", "updateDelay", 0, 0);
        row("always-edit mode forced off", "runtimeAlwaysEditMode", true, false);
        row("single path becomes a list", "searchPaths", "/single/path",
            QStringList { "/single/path" });
        row("first run: refresh", "updateDelay", {}, 5000);
        row("first run: exit question", "askExitWindows", {}, true);
        row("first run: no paths", "searchPaths", {}, QStringList());
    }

    void storedValues()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, loaded);
        if (stored.isValid())
            store()->setValue(key, stored);
        store()->sync();

        // Values from before the load never survive it.
        AppSettings settings;
        settings.askExitWindows = false;
        settings.updateDelay = 1;
        settings.searchPaths = QStringList { "/old" };
        settings.load(*store());
        const QVariantMap fields { { "updateDelay", settings.updateDelay },
            { "askExitWindows", settings.askExitWindows },
            { "runtimeAlwaysEditMode", settings.runtimeAlwaysEditMode },
            { "searchPaths", settings.searchPaths } };
        QCOMPARE(fields.value(key), loaded);
        // Loading never writes back.
        QCOMPARE(store()->value(key), stored);
    }

    void commandLine_data()
    {
        // modes "raw": the scan before start-up finds --debug
        columns<QStringList, QString, QStringList>({ "arguments", "modes", "devices" });

        // The program name comes first, as in argv.
        auto row = [](const char *name, const QStringList &arguments, const char *modes,
                       const QStringList &devices = {}) {
            QTest::newRow(name) << QStringList { "marnifex" } + arguments << modes << devices;
        };
        row("nothing", {}, "");
        row("any order, devices in order", { "V:B", "--debug", "--developer", "V:A" },
            "developer debug raw", { "B", "A" });
        row("editor implies developer", { "--editor" }, "developer editor");
        row("editor drops debug mode", { "--debug", "--editor" }, "developer editor raw");
        row("case matters", { "--Debug", "--DEVELOPER", "--Editor", "v:Demo" }, "");
        row("no prefix match", { "--debugger", "--developers", "xV:Demo" }, "");
        row("colon kept in device name", { "V:a:b" }, "", { "a:b" });
        // Listed as name=state below.
        row("state file after the first =", { "V:Demo=XML/a=b.state", "V:B" }, "",
            { "Demo=XML/a=b.state", "B" });
        QTest::newRow("program started from drive V:")
            << QStringList { "V:\\tools\\marnifex.exe", "V:Demo" } << "" << QStringList { "Demo" };
        QTest::newRow("program path --debug")
            << QStringList { "--debug" } << "debug raw" << QStringList();
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, modes);
        QFETCH(QStringList, devices);

        const CommandLine commandLine(arguments);
        AppSettings settings;
        commandLine.applyTo(settings);
        // A moved QByteArray keeps its data, so the pointers stay valid as raw grows.
        std::vector<QByteArray> raw;
        std::vector<const char *> argv;
        for (const QString &argument : arguments)
            argv.push_back(raw.emplace_back(argument.toUtf8()).constData());
        QStringList found;
        const bool set[] = { settings.developerMode, settings.debugMode, commandLine.editorMode(),
            CommandLine::rawArgumentsAskForDebug(int(argv.size()), argv.data()) };
        for (int i = 0; i < 4; ++i)
            if (set[i])
                found.append(QStringList { "developer", "debug", "editor", "raw" }.at(i));
        QCOMPARE(found.join(' '), modes);
        QStringList named = commandLine.virtualDevices();
        for (int i = 0; i < named.size(); ++i)
            if (!commandLine.virtualDeviceStates().at(i).isEmpty())
                named[i] += '=' + commandLine.virtualDeviceStates().at(i);
        QCOMPARE(named, devices);
    }

    void debugLogAppendsEachMessageOnce()
    {
        const QString previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(mDir.path()));
        QFile::remove(DebugLog::fileName());

        const QtMessageHandler testHandler = qInstallMessageHandler(nullptr);
        for (int run = 0; run < 2; ++run) {
            DebugLog::start();
            qDebug("first line");
            qWarning("multi\nline");
            qCritical() << "streamed" << 42;
        }
        qInstallMessageHandler(testHandler);
        QDir::setCurrent(previousDir);

        QFile log(mDir.filePath(DebugLog::fileName()));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.endsWith('\n'));
        const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
        QCOMPARE(lines.size(), 12);
        for (int at = 0; at < lines.size(); at += 6) {
            QVERIFY2(
                lines[at].startsWith("----------  \"") && lines[at].endsWith("\" -------------"),
                lines[at].constData());
            QCOMPARE(lines.mid(at + 1, 5),
                (QList<QByteArray> { "Started application with console.", "first line", "multi",
                    "line", "streamed 42" }));
        }
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

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
