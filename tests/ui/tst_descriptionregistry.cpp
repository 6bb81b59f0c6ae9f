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

/// Paths of the files relative to the working directory.
QStringList paths(const QList<CameraDescriptionFile *> &files)
{
    QStringList out;
    for (CameraDescriptionFile *file : files)
        out.append(
            QDir::current().relativeFilePath(QFileInfo(file->filePath()).absoluteFilePath()));
    return out;
}

} // namespace

class TestDescriptionRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        mWork = std::make_unique<QTemporaryDir>();
        QVERIFY(mWork->isValid());
        mOldCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(mWork->path()));
        AppSettings::instance().searchPaths.clear();
    }

    void cleanup()
    {
        QDir::setCurrent(mOldCwd);
        mWork.reset();
        AppSettings::instance().searchPaths.clear();
    }

    void parseIdentification_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("type");

        const auto row
            = [](const char *name, const char *reply, const char *model, const char *type) {
                  QTest::newRow(name) << QByteArray(reply) << true << model << type;
              };
        row("words after the first", "ABC-12-XY rev 3", "ABC", "12-XY");
        row("no dash, more words", "ABC 12-XY", "ABC", "");
        row("empty parts kept", "A--B", "A", "-B");
        QTest::newRow("empty reply clears") << QByteArray() << false << QString() << QString();
    }

    void parseIdentification()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QFETCH(QString, model);
        QFETCH(QString, type);

        DescriptionRegistry registry;
        registry.setCamera(QStringLiteral("Old"), QStringLiteral("Type"));
        registry.setPartialMatchSuffix(DescriptionRegistry::partialMatchSuffixFor("a.xml"));
        QCOMPARE(registry.parseIdentification(reply), ok);
        QCOMPARE(registry.cameraModel(), model);
        QCOMPARE(registry.cameraType(), type);
        QCOMPARE(registry.cameraText(), model + ' ' + type);
    }

    void category_data()
    {
        QTest::addColumn<QString>("file"); // as for DescriptionFixture::write()
        QTest::addColumn<QString>("cameraType");
        QTest::addColumn<int>("expected");

        const auto row = [](const char *name, const char *file, const char *type, int expected) {
            QTest::newRow(name) << file << type << expected;
        };
        row("best", "d.xml ABC 12-XY,13 1.0.0", "13", DescriptionRegistry::BestMatch);
        row("case ignored", "d.xml abc xy 1.0.0", "XY", DescriptionRegistry::BestMatch);
        row("other model", "d.xml XYZ 12 1.0.0", "12", DescriptionRegistry::NoMatch);
        row("type, no Supported", "d.xml ABC - 1.0.0", "12", DescriptionRegistry::Match);
        row("invalid file", "d.xml =<Camera", "12", DescriptionRegistry::NoMatch);
    }

    void category()
    {
        QFETCH(QString, file);
        QFETCH(QString, cameraType);
        QFETCH(int, expected);

        QVERIFY(DescriptionFixture::write({ file }));
        CameraDescriptionFile description(QStringLiteral("d.xml"));
        QCOMPARE(int(DescriptionRegistry::category(&description, "ABC", cameraType)), expected);
    }

    void sortsNewestFirstNumerically()
    {
        // Versions chosen so that text order and numeric order differ.
        QVERIFY(DescriptionFixture::write({ "XML/a.xml ABC 99 1.2.0", "XML/b.xml ABC 12 1.2.9",
            "XML/c.xml ABC 99 1.2.10", "XML/d.xml ABC 12 0.99.99", "XML/e.xml ABC 99 2.0.0",
            "XML/f.xml ABC 12 1.10.0", "XML/g.xml XYZ 12 9.0.0" }));
        DescriptionRegistry registry;
        registry.loadDescriptions();
        QList<CameraDescriptionFile *> best, match, noMatch;
        DescriptionRegistry::sortDescriptions(
            registry.descriptions(), "abc", "12", best, match, noMatch);
        QCOMPARE(paths(best), QStringList({ "XML/f.xml", "XML/b.xml", "XML/d.xml" }));
        QCOMPARE(paths(match), QStringList({ "XML/e.xml", "XML/c.xml", "XML/a.xml" }));
        QCOMPARE(paths(noMatch), QStringList({ "XML/g.xml" }));
    }

    // Started from a menu: after the described folders, the installed one and the data folders.
    void searchOrder()
    {
        qputenv("XDG_DATA_HOME", "/home/u/data");
        qputenv("XDG_DATA_DIRS", "/opt/a:/opt/b/");
        AppSettings::instance().searchPaths = QStringList { "/configured" };
        const QString installed = QCoreApplication::applicationDirPath() + "/../share/marnifex/XML";
        QCOMPARE(DescriptionRegistry::searchDirectories(),
            (QStringList { QDir::current().filePath("XML"), "/configured",
                QDir::cleanPath(installed), "/home/u/data/marnifex/XML", "/opt/a/marnifex/XML",
                "/opt/b/marnifex/XML" }));
    }

    void loadDescriptions_data()
    {
        QTest::addColumn<QStringList>("files"); // as for DescriptionFixture::write()
        QTest::addColumn<QStringList>("searchPaths");
        QTest::addColumn<QStringList>("registered");
        QTest::addColumn<QStringList>("progress"); // empty: not checked

        QTest::newRow("XML folder, then search paths; other files skipped")
            << QStringList { "XML/a.xml ABC 12 1.0.0", "XML/b.xml DEF 1 1.0.0",
                   "XML/notes.txt =text", "XML/sub.xml/x.xml GHI 1 1.0.0",
                   "extra/c.xml GHI 1 1.0.0" }
            << QStringList { "missing", "extra" }
            << QStringList { "XML/a.xml", "XML/b.xml", "extra/c.xml" }
            << QStringList { "Loading application data..", "Found 2 files.", "Loading: a.xml",
                   "Loading: b.xml", "Found 1 files.", "Loading: c.xml", "Done" };
        QTest::newRow("identical content registered once")
            << QStringList { "XML/first.xml ABC 12 1.0.0 4", "XML/second.xml ABC 12 1.0.0 1",
                   "XML/third.xml ABC 12 1.0.1 4" }
            << QStringList() << QStringList { "XML/first.xml", "XML/third.xml" } << QStringList();
        QTest::newRow("invalid file listed")
            << QStringList { "XML/broken.xml =<Camera", "XML/good.xml ABC 12 1.0.0" }
            << QStringList() << QStringList { "XML/broken.xml", "XML/good.xml" } << QStringList();
    }

    void loadDescriptions()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, searchPaths);
        QFETCH(QStringList, registered);
        QFETCH(QStringList, progress);

        QVERIFY(DescriptionFixture::write(files));
        for (const QString &path : searchPaths)
            AppSettings::instance().searchPaths.append(mWork->filePath(path));
        DescriptionRegistry registry;
        RecordingProgress recorder;
        QVERIFY(!registry.loadDescriptions(&recorder));
        QCOMPARE(paths(registry.descriptions()), registered);
        if (!progress.isEmpty())
            QCOMPARE(recorder.texts, progress);
    }

    void currentKeptOnReload_data()
    {
        QTest::addColumn<QStringList>("later"); // written after cam.xml was removed from XML
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("sameObject");

        QTest::newRow("file gone: the object survives") << QStringList() << "XML/cam.xml" << true;
        QTest::newRow("newer file of the same name replaces it")
            << QStringList { "extra/cam.xml ABC 12 1.1.0" } << "extra/cam.xml" << false;
        QTest::newRow("renamed copy takes over, listed once")
            << QStringList { "XML/renamed.xml ABC 12 1.0.0" } << "XML/renamed.xml" << false;
    }

    void currentKeptOnReload()
    {
        QFETCH(QStringList, later);
        QFETCH(QString, current);
        QFETCH(bool, sameObject);

        QVERIFY(DescriptionFixture::write(
            { "XML/cam.xml ABC 12 1.0.0", "XML/other.xml DEF 12 1.0.0" }));
        DescriptionRegistry registry;
        registry.loadDescriptions();
        CameraDescriptionFile *before = registry.descriptions().first();
        registry.setCurrent(before);

        QVERIFY(QFile::remove("XML/cam.xml"));
        QVERIFY(DescriptionFixture::write(later));
        AppSettings::instance().searchPaths = QStringList { mWork->filePath("extra") };
        QVERIFY(registry.loadDescriptions());
        QCOMPARE(paths(registry.descriptions()), QStringList({ "XML/other.xml", current }));
        QCOMPARE(paths({ registry.current() }), QStringList { current });
        QCOMPARE(registry.current() == before, sameObject);
        QCOMPARE(registry.digests().last(), registry.current()->md5Hash());
    }

    void addTakesOwnershipOnce()
    {
        QVERIFY(DescriptionFixture::write({ "custom.xml ABC 12 1.0.0" }));
        DescriptionRegistry registry;
        auto *custom = new CameraDescriptionFile("custom.xml");
        registry.add(custom);
        registry.add(custom);
        registry.add(nullptr);
        // The same content under another name gives way to the registered entry.
        QVERIFY(QFile::copy("custom.xml", "copy.xml"));
        QCOMPARE(registry.add(new CameraDescriptionFile("copy.xml")), custom);
        QCOMPARE(registry.descriptions().size(), 1);
        QCOMPARE(registry.digests(), QList<QByteArray>({ custom->md5Hash() }));
        QVERIFY(registry.contains(custom));
    }

private:
    std::unique_ptr<QTemporaryDir> mWork;
    QString mOldCwd;
};

QTEST_GUILESS_MAIN(TestDescriptionRegistry)
#include "tst_descriptionregistry.moc"
