#include "app/appsettings.h"
#include "app/commandline.h"
#include "app/debuglog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void flags_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("developerMode");
        QTest::addColumn<bool>("debugMode");
        QTest::addColumn<bool>("editorMode");
        QTest::addColumn<QStringList>("devices");

        // The program name comes first, as in argv.
        auto row = [](const char *name, const QStringList &arguments, bool developer, bool debug,
                       bool editor, const QStringList &devices = {}) {
            QTest::newRow(name) << QStringList { "marnifex" } + arguments << developer << debug
                                << editor << devices;
        };
        row("nothing", {}, false, false, false);
        row("any order, devices in order", { "V:B", "--debug", "--developer", "V:A" }, true, true,
            false, { "B", "A" });
        row("editor implies developer", { "--editor" }, true, false, true);
        row("editor drops debug mode", { "--debug", "--editor" }, true, false, true);
        row("case matters", { "--Debug", "--DEVELOPER", "--Editor", "v:Demo" }, false, false,
            false);
        row("no prefix match", { "--debugger", "--developers", "xV:Demo" }, false, false, false);
        row("colon kept in device name", { "V:a:b" }, false, false, false, { "a:b" });
        // Listed as name=state below.
        row("state file after the first =", { "V:Demo=XML/a=b.state", "V:B" }, false, false, false,
            { "Demo=XML/a=b.state", "B" });
        QTest::newRow("program started from drive V:") << QStringList { "V:\\tools\\marnifex.exe",
            "V:Demo" } << false << false << false << QStringList { "Demo" };
    }

    void flags()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, developerMode);
        QFETCH(bool, debugMode);
        QFETCH(bool, editorMode);
        QFETCH(QStringList, devices);

        const CommandLine commandLine(arguments);
        AppSettings settings;
        commandLine.applyTo(settings);
        QCOMPARE(settings.developerMode, developerMode);
        QCOMPARE(settings.debugMode, debugMode);
        QCOMPARE(commandLine.editorMode(), editorMode);
        QStringList named = commandLine.virtualDevices();
        for (int i = 0; i < named.size(); ++i) {
            if (!commandLine.virtualDeviceStates().at(i).isEmpty())
                named[i] += '=' + commandLine.virtualDeviceStates().at(i);
        }
        QCOMPARE(named, devices);
    }

    void rawDebugScan_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<bool>("debug");

        QTest::newRow("absent") << QList<QByteArray> { "marnifex", "V:Demo" } << false;
        QTest::newRow("present") << QList<QByteArray> { "marnifex", "V:Demo", "--debug" } << true;
        QTest::newRow("program path counts") << QList<QByteArray> { "--debug" } << true;
    }

    void rawDebugScan()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(bool, debug);
        std::vector<const char *> argv;
        for (const QByteArray &a : arguments)
            argv.push_back(a.constData());
        QCOMPARE(CommandLine::rawArgumentsAskForDebug(int(argv.size()), argv.data()), debug);
    }

    void debugLogAppendsEachMessageOnce()
    {
        QTemporaryDir dir;
        const QString previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));

        const QtMessageHandler testHandler = qInstallMessageHandler(nullptr);
        for (int run = 0; run < 2; ++run) {
            DebugLog::start();
            qDebug("first line");
            qWarning("multi\nline");
            qCritical() << "streamed" << 42;
        }
        qInstallMessageHandler(testHandler);
        QDir::setCurrent(previousDir);

        QFile log(dir.filePath(DebugLog::fileName()));
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
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
