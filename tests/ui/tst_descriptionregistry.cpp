#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptionloadprogress.h"
#include "description/descriptionregistry.h"
#include "tests/ui/descriptionfixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

class RecordingProgress : public DescriptionLoadProgress
{
public:
    void setStatus(const QString &text) override { texts.append(text); }
    QStringList texts;
};

QStringList fileNames(const QList<CameraDescriptionFile *> &files)
{
    QStringList names;
    for (CameraDescriptionFile *file : files)
        names.append(file->fileName());
    return names;
}

} // namespace

class TestDescriptionRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parseIdentification_data();
    void parseIdentification();
    void emptyReplyClearsCamera();
    void category_data();
    void category();
    void sortsNewestFirstNumerically();
    void loadsAndReportsProgress();
    void identicalContentRegisteredOnce();
    void sameFileInXmlAndSearchPathRegisteredFromXml();
    void unreadableAndInvalidFilesAreNonMatches();
    void currentKeptByFileName();
    void currentSurvivesWhenFileIsGone();
    void addTakesOwnershipOnce();

private:
    QString xmlDir() const { return mWork->path() + QStringLiteral("/XML"); }

    std::unique_ptr<QTemporaryDir> mWork;
    QString mOldCwd;
};

void TestDescriptionRegistry::init()
{
    mWork = std::make_unique<QTemporaryDir>();
    QVERIFY(mWork->isValid());
    mOldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(mWork->path()));
    AppSettings::instance().searchPaths.clear();
}

void TestDescriptionRegistry::cleanup()
{
    QDir::setCurrent(mOldCwd);
    mWork.reset();
    AppSettings::instance().searchPaths.clear();
}

void TestDescriptionRegistry::parseIdentification_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("type");

    QTest::newRow("three parts") << QByteArray("ABC-12-XY") << "ABC"
                                 << "12-XY";
    QTest::newRow("words after the first") << QByteArray("ABC-12-XY rev 3") << "ABC"
                                           << "12-XY";
    QTest::newRow("two parts") << QByteArray("ABC-12") << "ABC"
                               << "12";
    QTest::newRow("no dash") << QByteArray("ABC") << "ABC"
                             << "";
    QTest::newRow("no dash, more words") << QByteArray("ABC 12-XY") << "ABC"
                                         << "";
    QTest::newRow("empty parts kept") << QByteArray("A--B") << "A"
                                      << "-B";
    QTest::newRow("leading dash") << QByteArray("-X") << ""
                                  << "X";
    QTest::newRow("trailing dash") << QByteArray("ABC-") << "ABC"
                                   << "";
    QTest::newRow("simulated camera") << QByteArray("VirtualDevice-Demo") << "VirtualDevice"
                                      << "Demo";
}

void TestDescriptionRegistry::parseIdentification()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, model);
    QFETCH(QString, type);

    DescriptionRegistry registry;
    registry.setCamera(QStringLiteral("Old"), QStringLiteral("Type"));
    registry.setPartialMatchSuffix(QStringLiteral(" (x)"));
    QVERIFY(registry.parseIdentification(reply));
    QCOMPARE(registry.cameraModel(), model);
    QCOMPARE(registry.cameraType(), type);
    QCOMPARE(registry.partialMatchSuffix(), QString());
}

void TestDescriptionRegistry::emptyReplyClearsCamera()
{
    DescriptionRegistry registry;
    registry.setCamera(QStringLiteral("ABC"), QStringLiteral("12"));
    registry.setPartialMatchSuffix(DescriptionRegistry::partialMatchSuffixFor("a.xml"));
    QVERIFY(!registry.parseIdentification(QByteArray()));
    QVERIFY(registry.cameraModel().isEmpty());
    QVERIFY(registry.cameraType().isEmpty());
    QVERIFY(registry.partialMatchSuffix().isEmpty());
    QCOMPARE(registry.cameraText(), QStringLiteral(" "));
}

void TestDescriptionRegistry::category_data()
{
    QTest::addColumn<QString>("modelName");
    QTest::addColumn<QString>("supported"); // null: attribute absent
    QTest::addColumn<QString>("cameraModel");
    QTest::addColumn<QString>("cameraType");
    QTest::addColumn<int>("expected");

    QTest::newRow("best") << "ABC"
                          << "12-XY,13"
                          << "ABC"
                          << "13" << int(DescriptionRegistry::BestMatch);
    QTest::newRow("model case ignored") << "abc"
                                        << "12"
                                        << "ABC"
                                        << "12" << int(DescriptionRegistry::BestMatch);
    QTest::newRow("type case ignored") << "ABC"
                                       << "xy"
                                       << "ABC"
                                       << "XY" << int(DescriptionRegistry::BestMatch);
    QTest::newRow("type not listed") << "ABC"
                                     << "12"
                                     << "ABC"
                                     << "14" << int(DescriptionRegistry::Match);
    QTest::newRow("other model") << "XYZ"
                                 << "12"
                                 << "ABC"
                                 << "12" << int(DescriptionRegistry::NoMatch);
    QTest::newRow("no type, no Supported") << "ABC" << QString() << "ABC"
                                           << "" << int(DescriptionRegistry::BestMatch);
    QTest::newRow("no type, empty Supported") << "ABC"
                                              << ""
                                              << "ABC"
                                              << "" << int(DescriptionRegistry::BestMatch);
    QTest::newRow("type, no Supported") << "ABC" << QString() << "ABC"
                                        << "12" << int(DescriptionRegistry::Match);
}

void TestDescriptionRegistry::category()
{
    QFETCH(QString, modelName);
    QFETCH(QString, supported);
    QFETCH(QString, cameraModel);
    QFETCH(QString, cameraType);
    QFETCH(int, expected);

    const QString path = mWork->filePath(QStringLiteral("d.xml"));
    QVERIFY(DescriptionFixture::write(path, modelName, supported, QStringLiteral("1.0.0")));
    CameraDescriptionFile description(path);
    QCOMPARE(int(DescriptionRegistry::category(&description, cameraModel, cameraType)), expected);
}

void TestDescriptionRegistry::sortsNewestFirstNumerically()
{
    // Versions chosen so that text order and numeric order differ.
    const QStringList versions { "1.2.0", "1.10.0", "1.2.10", "1.2.9", "2.0.0", "0.99.99" };
    std::vector<std::unique_ptr<CameraDescriptionFile>> owned;
    QList<CameraDescriptionFile *> files;
    for (int i = 0; i < versions.size(); ++i) {
        const QString path = mWork->filePath(QStringLiteral("v%1.xml").arg(i));
        QVERIFY(DescriptionFixture::write(path, "ABC", i % 2 ? "12" : "99", versions.at(i)));
        owned.push_back(std::make_unique<CameraDescriptionFile>(path));
        files.append(owned.back().get());
    }
    const QString otherPath = mWork->filePath(QStringLiteral("other.xml"));
    QVERIFY(DescriptionFixture::write(otherPath, "XYZ", "12", "9.0.0"));
    owned.push_back(std::make_unique<CameraDescriptionFile>(otherPath));
    files.append(owned.back().get());

    QList<CameraDescriptionFile *> best, match, noMatch;
    DescriptionRegistry::sortDescriptions(
        files, QStringLiteral("abc"), QStringLiteral("12"), best, match, noMatch);
    // Odd indexes support type 12: 1.10.0, 1.2.9 and 0.99.99.
    QCOMPARE(fileNames(best), QStringList({ "v1.xml", "v3.xml", "v5.xml" }));
    // Even indexes: 1.2.0, 1.2.10 and 2.0.0.
    QCOMPARE(fileNames(match), QStringList({ "v4.xml", "v2.xml", "v0.xml" }));
    QCOMPARE(fileNames(noMatch), QStringList({ "other.xml" }));
}

void TestDescriptionRegistry::loadsAndReportsProgress()
{
    QVERIFY(DescriptionFixture::write(xmlDir() + "/a.xml", "ABC", "12", "1.0.0"));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/b.xml", "DEF", "1", "1.0.0"));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/notes.txt", QByteArray("not a description")));
    QVERIFY(QDir(xmlDir()).mkdir(QStringLiteral("sub.xml")));
    const QString extra = mWork->filePath(QStringLiteral("extra"));
    QVERIFY(DescriptionFixture::write(extra + "/c.xml", "GHI", "1", "1.0.0"));
    AppSettings::instance().searchPaths
        = QStringList { mWork->filePath(QStringLiteral("missing")), extra };

    DescriptionRegistry registry;
    RecordingProgress progress;
    QVERIFY(!registry.loadDescriptions(&progress));
    QCOMPARE(fileNames(registry.descriptions()), QStringList({ "a.xml", "b.xml", "c.xml" }));
    QCOMPARE(registry.digests().size(), 3);
    QCOMPARE(progress.texts,
        QStringList({ "Loading application data..", "Found 2 files.", "Loading: a.xml",
            "Loading: b.xml", "Found 1 files.", "Loading: c.xml", "Done" }));

    // Without a progress receiver the same registry results.
    DescriptionRegistry quiet;
    quiet.loadDescriptions();
    QCOMPARE(fileNames(quiet.descriptions()), fileNames(registry.descriptions()));
}

void TestDescriptionRegistry::identicalContentRegisteredOnce()
{
    QVERIFY(DescriptionFixture::write(xmlDir() + "/first.xml", "ABC", "12", "1.0.0", 4));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/second.xml", "ABC", "12", "1.0.0", 1));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/third.xml", "ABC", "12", "1.0.1", 4));

    DescriptionRegistry registry;
    registry.loadDescriptions();
    QCOMPARE(fileNames(registry.descriptions()), QStringList({ "first.xml", "third.xml" }));
    QCOMPARE(registry.digests().size(), 2);
    QVERIFY(registry.digests().at(0) != registry.digests().at(1));
}

void TestDescriptionRegistry::sameFileInXmlAndSearchPathRegisteredFromXml()
{
    QVERIFY(DescriptionFixture::write(xmlDir() + "/a.xml", "ABC", "12", "1.0.0"));
    const QString extra = mWork->filePath(QStringLiteral("extra"));
    QVERIFY(QDir().mkpath(extra));
    QVERIFY(QFile::copy(xmlDir() + "/a.xml", extra + "/a.xml"));
    // The working directory's own folder listed again as a search path changes nothing.
    AppSettings::instance().searchPaths = QStringList { extra, xmlDir() };

    DescriptionRegistry registry;
    registry.loadDescriptions();
    QCOMPARE(registry.descriptions().size(), 1);
    QCOMPARE(QFileInfo(registry.descriptions().first()->filePath()).absolutePath(),
        QFileInfo(xmlDir()).absoluteFilePath());
}

void TestDescriptionRegistry::unreadableAndInvalidFilesAreNonMatches()
{
    QVERIFY(DescriptionFixture::write(xmlDir() + "/broken.xml", QByteArray("<Camera")));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/good.xml", "ABC", "12", "1.0.0"));

    DescriptionRegistry registry;
    registry.loadDescriptions();
    QCOMPARE(fileNames(registry.descriptions()), QStringList({ "broken.xml", "good.xml" }));
    QList<CameraDescriptionFile *> best, match, noMatch;
    DescriptionRegistry::sortDescriptions(
        registry.descriptions(), "ABC", "12", best, match, noMatch);
    QCOMPARE(fileNames(noMatch), QStringList({ "broken.xml" }));
    QCOMPARE(fileNames(best), QStringList({ "good.xml" }));
}

void TestDescriptionRegistry::currentKeptByFileName()
{
    QVERIFY(DescriptionFixture::write(xmlDir() + "/cam.xml", "ABC", "12", "1.0.0"));
    DescriptionRegistry registry;
    registry.loadDescriptions();
    QCOMPARE(registry.descriptions().size(), 1);
    registry.setCurrent(registry.descriptions().first());

    // The file moves to a search path and gets a newer version: same name, new object.
    QVERIFY(QFile::remove(xmlDir() + "/cam.xml"));
    const QString extra = mWork->filePath(QStringLiteral("extra"));
    QVERIFY(DescriptionFixture::write(extra + "/cam.xml", "ABC", "12", "1.1.0"));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/other.xml", "ABC", "12", "1.0.0"));
    AppSettings::instance().searchPaths = QStringList { extra };

    QVERIFY(registry.loadDescriptions());
    QVERIFY(registry.current());
    QCOMPARE(registry.current()->filePath(), QFileInfo(extra + "/cam.xml").absoluteFilePath());
    qint32 major, minor, sub;
    registry.current()->version(major, minor, sub);
    QCOMPARE(minor, 1);
    QCOMPARE(fileNames(registry.descriptions()), QStringList({ "other.xml", "cam.xml" }));
}

void TestDescriptionRegistry::currentSurvivesWhenFileIsGone()
{
    QVERIFY(DescriptionFixture::write(xmlDir() + "/cam.xml", "ABC", "12", "1.0.0"));
    QVERIFY(DescriptionFixture::write(xmlDir() + "/other.xml", "DEF", "12", "1.0.0"));
    DescriptionRegistry registry;
    registry.loadDescriptions();
    CameraDescriptionFile *current = registry.descriptions().first();
    QCOMPARE(current->fileName(), QStringLiteral("cam.xml"));
    registry.setCurrent(current);
    const QByteArray digest = registry.digests().first();

    QVERIFY(QFile::remove(xmlDir() + "/cam.xml"));
    QVERIFY(registry.loadDescriptions());
    QCOMPARE(registry.current(), current);
    QCOMPARE(fileNames(registry.descriptions()), QStringList({ "other.xml", "cam.xml" }));
    QCOMPARE(registry.digests().last(), digest);
    // The surviving object is still fully usable.
    QCOMPARE(current->modelName(), QStringLiteral("ABC"));
}

void TestDescriptionRegistry::addTakesOwnershipOnce()
{
    const QString path = mWork->filePath(QStringLiteral("custom.xml"));
    QVERIFY(DescriptionFixture::write(path, "ABC", "12", "1.0.0"));
    DescriptionRegistry registry;
    auto *custom = new CameraDescriptionFile(path);
    registry.add(custom);
    registry.add(custom);
    registry.add(nullptr);
    QCOMPARE(registry.descriptions().size(), 1);
    QCOMPARE(registry.digests().size(), 1);
    QCOMPARE(registry.digests().first(), custom->md5Hash());
    QVERIFY(registry.contains(custom));
}

QTEST_GUILESS_MAIN(TestDescriptionRegistry)
#include "tst_descriptionregistry.moc"
