#include "fuzz/fuzzentry.h"

#include <QtTest>

/// Replays the fuzzers' seeds and every input that once broke a parser.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

namespace {

QDir corpus()
{
    return QDir(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + QStringLiteral("/tests/fuzz/corpus"));
}

} // namespace

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
        // A target without its corpus would replay nothing.
        if (files.isEmpty())
            QTest::newRow(qPrintable(name + QStringLiteral(": no corpus"))) << name << QString();
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
