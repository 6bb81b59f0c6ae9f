#include "tests/ui/descriptionfixture.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

/// Runs the program itself: the start-up sequence up to the connect dialog.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void startsWithSimulatedCamera_data();
    void startsWithSimulatedCamera();
};

void TestStartup::startsWithSimulatedCamera_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("plain: no debug log") << QStringList { "V:Smoke" };
    QTest::newRow("--debug writes the log") << QStringList { "--debug", "V:Smoke" };
}

void TestStartup::startsWithSimulatedCamera()
{
    QFETCH(QStringList, arguments);
    const bool debug = arguments.contains("--debug");
    QTemporaryDir dir;
    QVERIFY(DescriptionFixture::write({ dir.filePath("XML/smoke.xml VirtualDevice Smoke 1.0.0") }));
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(MARNIFEX_BINARY), arguments);

    QByteArray output;
    const QRegularExpression loaded(QStringLiteral("Loaded\\s+1 camera description files"));
    QTRY_VERIFY_WITH_TIMEOUT((output += process.readAll(),
                                 output.contains("Communication thread started.")
                                     && loaded.match(QString::fromLatin1(output)).hasMatch()),
        15000);
    QVERIFY(output.contains("Found description file:"));
    QCOMPARE(process.state(), QProcess::Running);

    QFile log(dir.filePath("debug.log"));
    if (debug) {
        QByteArray text;
        QTRY_VERIFY_WITH_TIMEOUT(
            (log.open(QIODevice::ReadOnly) ? (text = log.readAll(), log.close(), true) : false)
                && text.contains("Communication thread started."),
            15000);
        QVERIFY(text.startsWith("---------- "));
        QVERIFY(text.contains("Started application with console."));
    }
    process.kill();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(log.exists(), debug);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
