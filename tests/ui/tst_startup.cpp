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
    void startsWithSimulatedCameraAndDescriptions();
    void debugOptionWritesTheLog();

private:
    /// Starts the program in dir with a private settings store.
    void launch(QProcess &process, const QString &dir, const QStringList &arguments);
};

void TestStartup::launch(QProcess &process, const QString &dir, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", dir);
    env.insert("XDG_CONFIG_HOME", dir + "/config");
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(MARNIFEX_BINARY), arguments);
    QVERIFY(process.waitForStarted(5000));
}

void TestStartup::startsWithSimulatedCameraAndDescriptions()
{
    QTemporaryDir dir;
    QVERIFY(DescriptionFixture::write(
        dir.filePath("XML/smoke.xml"), "VirtualDevice", "Smoke", "1.0.0"));
    QProcess process;
    launch(process, dir.path(), { "V:Smoke" });
    QByteArray output;
    const QRegularExpression loaded(QStringLiteral("Loaded\\s+1 camera description files"));
    QTRY_VERIFY_WITH_TIMEOUT((output += process.readAll(),
                                 output.contains("Communication thread started.")
                                     && loaded.match(QString::fromLatin1(output)).hasMatch()),
        15000);
    QVERIFY(output.contains("Found description file:"));
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    QVERIFY(process.waitForFinished(5000));
    // No debug log without "--debug".
    QVERIFY(!QFile::exists(dir.filePath("debug.log")));
}

void TestStartup::debugOptionWritesTheLog()
{
    QTemporaryDir dir;
    QProcess process;
    launch(process, dir.path(), { "--debug", "V:Smoke" });
    QFile log(dir.filePath("debug.log"));
    QByteArray text;
    QTRY_VERIFY_WITH_TIMEOUT(
        (log.open(QIODevice::ReadOnly) ? (text = log.readAll(), log.close(), true) : false)
            && text.contains("Communication thread started."),
        15000);
    QVERIFY(text.startsWith("---------- "));
    QVERIFY(text.contains("Started application with console."));
    process.kill();
    QVERIFY(process.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
