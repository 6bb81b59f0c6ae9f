#include "fuzz/fuzzentry.h"

#include <QtTest>

/// Replays the fuzzers' seeds and every input that once broke a parser.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTargetHasACorpus();
    void replay_data();
    void replay();
};

namespace {

QtMessageHandler previousHandler = nullptr;

// The parsers' debug lines about odd input are expected here by the thousand.
void dropDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg)
        previousHandler(type, context, message);
}

QDir corpus()
{
    return QDir(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + QStringLiteral("/tests/fuzz/corpus"));
}

} // namespace

void TestFuzzCorpus::initTestCase()
{
    previousHandler = qInstallMessageHandler(dropDebugLines);
}

void TestFuzzCorpus::everyTargetHasACorpus()
{
    QStringList names;
    for (const FuzzEntry::Target &target : FuzzEntry::targets()) {
        names.append(QString::fromLatin1(target.name));
        QVERIFY2(!QDir(corpus().filePath(names.last())).isEmpty(QDir::Files), target.name);
    }
    names.sort();
    QCOMPARE(corpus().entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name), names);
}

void TestFuzzCorpus::replay_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("path");
    for (const FuzzEntry::Target &target : FuzzEntry::targets()) {
        const QString name = QString::fromLatin1(target.name);
        const QFileInfoList files
            = QDir(corpus().filePath(name)).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &file : files)
            QTest::newRow(qPrintable(name + QLatin1Char('/') + file.fileName()))
                << name << file.absoluteFilePath();
    }
}

void TestFuzzCorpus::replay()
{
    QFETCH(QString, target);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString failure = FuzzEntry::find(target)(file.readAll());
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
