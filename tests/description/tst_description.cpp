#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptionchecker.h"
#include "description/descriptionreader.h"
#include "description/descriptiontext.h"
#include "description/integerelement.h"
#include "description/stringelement.h"
#include "tests/common/datatable.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include "tests/common/filesizelimit.h"
#endif

namespace {

QString sourcePath(const QString &path)
{
    return qEnvironmentVariable("MARNIFEX_SOURCE_DIR", QStringLiteral(".")) + path;
}

QString demoPath(const QString &name)
{
    return sourcePath("/XML/" + name);
}

// Every kind with every field set and every parameter type, in canonical layout; its elements
// are in an order that sorting would change.
QString goldenPath()
{
    return sourcePath("/tests/description/data/description.xml");
}

// The text without the first block that begins with `from` and runs through the next `to`.
QByteArray without(QByteArray text, const QByteArray &from, const QByteArray &to)
{
    const int start = text.indexOf(from);
    return start < 0 ? QByteArray()
                     : text.remove(start, text.indexOf(to, start) + to.size() - start);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray serialise(CameraDescriptionFile &file, bool includeDeveloper = true)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    file.write(&buffer, includeDeveloper);
    return bytes;
}

// Reads a document from memory with the reader that lazy loading uses; much faster than going
// through a file for the thousands of variants below.
void readBytes(CameraDescriptionFile &file, const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    DescriptionReader::readAll(&buffer, file);
}

QByteArray readAndSerialise(const QByteArray &bytes)
{
    CameraDescriptionFile file;
    readBytes(file, bytes);
    return serialise(file);
}

const QByteArray kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

QByteArray wrap(const QByteArray &body)
{
    return kHead + "<CameraDescription ModelName=\"M\" Supported=\"T\">" + body
        + "</CameraDescription>";
}

QByteArray element(const QByteArray &inner)
{
    return "<Display><DisplayElements><DisplayElement>" + inner
        + "</DisplayElement></DisplayElements></Display>";
}

// Names of the groups written, in written order.
QStringList writtenGroups(const QByteArray &bytes)
{
    QStringList names;
    auto it = QRegularExpression("<Group>\\s*<Name>([^<]*)<").globalMatch(QString::fromUtf8(bytes));
    while (it.hasNext())
        names.append(it.next().captured(1));
    return names;
}

// Collects the debug lines written while it exists, and lets them through for that time (the
// damaged documents elsewhere write them by the thousand).
QStringList captured;
class MessageCapture
{
public:
    MessageCapture()
    {
        captured.clear();
        QLoggingCategory::setFilterRules("default.debug=true");
        mPrevious = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &,
                                               const QString &line) { captured.append(line); });
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(mPrevious);
        QLoggingCategory::setFilterRules("default.debug=false");
    }
    QStringList lines() const { return captured; }

private:
    QtMessageHandler mPrevious;
};

const char *const kSortLine = "applyGroupTree: Not all elements where correctly sorted";

DisplayElement *element(const QString &name, const QString &group)
{
    auto *e = new IntegerElement;
    e->name = name;
    e->group = group;
    return e;
}

// "name:group" entries, appended in the given order: replaceDisplayElement does not re-sort.
void fill(CameraDescriptionFile &file, const QStringList &entries)
{
    for (const QString &entry : entries)
        file.replaceDisplayElement(
            nullptr, element(entry.section(':', 0, 0), entry.section(':', 1)));
}

QStringList names(CameraDescriptionFile &file)
{
    QStringList result;
    for (const DisplayElement *e : file.displayElements())
        result.append(e->name);
    return result;
}

Command command(const QString &id, const QByteArray &code)
{
    Command c;
    c.id = id;
    c.code = code;
    return c;
}

} // namespace

class TestDescription : public QObject
{
    Q_OBJECT

private slots:
    // Damaged documents produce debug lines of unknown texts by the thousand.
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }

    void writerLayout()
    {
        // The golden round trip below pins the reader's fields and the writer's layout.
        const QByteArray expected = readAll(goldenPath());
        CameraDescriptionFile file;
        readBytes(file, expected);
        // Layout does not count: without the white space between tags the digest stays.
        CameraDescriptionFile flat;
        readBytes(
            flat, QString::fromUtf8(expected).replace(QRegularExpression(">\\s+<"), "><").toUtf8());
        QCOMPARE(flat.md5Hash(), file.md5Hash());
        // The digest follows later changes of the model.
        file.setGroupExpanded("C", false);
        QCOMPARE(
            file.md5Hash(), QCryptographicHash::hash(serialise(file), QCryptographicHash::Md5));

        // Text holding carriage returns is written so that it reads back unchanged.
        CameraDescriptionFile withCr;
        readBytes(withCr,
            wrap("<CommandSet><Command><Id>a&#13;b&#13;&#10;c&#13;</Id></Command></CommandSet>"));
        QCOMPARE(withCr.commands().value(0).id, QString("a\rb\r\nc\r"));
        const QByteArray written = serialise(withCr);
        QCOMPARE(readAndSerialise(written), written);
    }

    void groupsWritten_data()
    {
        columns<QStringList, QStringList, QStringList>({ "elementGroups", "states", "written" });

        auto row = [](const char *name, const QStringList &elementGroups, const QStringList &states,
                       const QStringList &written) {
            QTest::newRow(name) << elementGroups << states << written;
        };
        row("unused dropped, ancestor of a used one kept", { "A/B" }, { "C", "A", "A/B" },
            { "A", "A/B" });
        row("prefix without slash is not an ancestor", { "AB" }, { "A", "AB" }, { "AB" });
        row("ascending order", { "b", "B", "a" }, { "b", "a", "B" }, { "B", "a", "b" });
        row("empty path as ancestor of a leading slash", { "/x" }, { "", "/x" }, { "", "/x" });
    }

    void groupsWritten()
    {
        QFETCH(QStringList, elementGroups);
        QFETCH(QStringList, states);
        QFETCH(QStringList, written);

        CameraDescriptionFile file;
        for (const QString &group : elementGroups) {
            auto *e = new BoolElement;
            e->group = group;
            file.replaceDisplayElement(nullptr, e);
        }
        for (const QString &state : states)
            file.setGroupExpanded(state, false);
        QCOMPARE(writtenGroups(serialise(file)), written);
    }

    void reader_data()
    {
        // Each damaged or unusual document must give the same model as its plain counterpart,
        // whose reading the golden file pins.
        columns<QByteArray, QByteArray>({ "xml", "plain" });
        auto row = [](const char *name, const QByteArray &body, const QByteArray &plain) {
            QTest::newRow(name) << wrap(body) << wrap(plain);
        };

        QTest::newRow("header attributes")
            << QByteArray("<CameraDescription MajorVersion=\"2\" MinorVersion=\"x\" "
                          "SubMinorVersion=\"-7\" ModelName=\"Cam\" VendorName=\"V\" "
                          "Supported=\"a, b,,c\" SchemaMajorVersion=\"9\"/>")
            << QByteArray("<CameraDescription MajorVersion=\"2\" SubMinorVersion=\"-7\" "
                          "ModelName=\"Cam\" VendorName=\"V\" Supported=\"a, b,,c\"/>");
        row("command fields in any order, unknown skipped",
            "<CommandSet><Command><Unknown><Id>no</Id></Unknown><Code>GA I</Code>"
            "<ReturnValueGet><Int><Id>g</Id><Value>9</Value></Int></ReturnValueGet>"
            "<CachedUpdate>True</CachedUpdate><Id>first</Id><Id>Gain</Id>"
            "<DeveloperOnly>True</DeveloperOnly><ParamsGet><Const><Id>i</Id>"
            "<Value>K1</Value></Const><Float><Id>f</Id></Float><String><Id>s</Id>"
            "</String></ParamsGet><ParamsGet><Int><Id>n</Id></Int></ParamsGet>"
            "</Command><Other><Id>x</Id></Other></CommandSet>",
            "<CommandSet><Command><Id>Gain</Id><Code>GA I</Code><CachedUpdate>True</CachedUpdate>"
            "<DeveloperOnly>True</DeveloperOnly><ParamsGet><Const><Value>K1</Value></Const>"
            "<String><Id>s</Id></String><Int><Id>n</Id></Int></ParamsGet>"
            "<ReturnValueGet><Int><Id>g</Id></Int></ReturnValueGet></Command></CommandSet>");
        row("element with only common fields is dropped", element("<Name>x</Name><Group>G</Group>"),
            "");
        row("common fields after the kind",
            element(
                "<String><MaximumLength>8</MaximumLength></String><Persistent>False</Persistent>"
                "<Name>s</Name><Visibility>Guru</Visibility><AccessMode>WO</AccessMode>"
                "<Cacheable>False</Cacheable><InvalidatedBy>a,b</InvalidatedBy>"
                "<ToolTip>t</ToolTip><Description>d</Description>"
                "<IsAvailable>x &lt; 1</IsAvailable><Group>A/B</Group>"),
            element("<Name>s</Name><Description>d</Description><ToolTip>t</ToolTip>"
                    "<Group>A/B</Group><Visibility>Guru</Visibility><AccessMode>WO</AccessMode>"
                    "<Cacheable>False</Cacheable><InvalidatedBy>a,b</InvalidatedBy>"
                    "<IsAvailable>x &lt; 1</IsAvailable><Persistent>False</Persistent>"
                    "<String><MaximumLength>8</MaximumLength></String>"));
        row("numbers that are not numbers read as 0",
            element("<Name>x</Name><Integer><MinimumValue>abc</MinimumValue>"
                    "<MaximumValue>99999999999</MaximumValue><Increment> 5</Increment></Integer>"),
            element("<Name>x</Name><Integer><MinimumValue>0</MinimumValue>"
                    "<MaximumValue>0</MaximumValue><Increment>5</Increment></Integer>"));
        row("double notations and Convert",
            element(
                "<Name>x</Name><Double><MinimumValue>1e3</MinimumValue>"
                "<MaximumValue>-.5</MaximumValue><Increment>1,5</Increment>"
                "<Multiply>7</Multiply><Convert><Multiply>2.5E-1</Multiply><Add>3</Add><Other/>"
                "</Convert><Suffix>s</Suffix><Prefix>p</Prefix><Reference>r</Reference></Double>"),
            element("<Name>x</Name><Double><MinimumValue>1000</MinimumValue>"
                    "<MaximumValue>-0.5</MaximumValue><Increment>0</Increment><Suffix>s</Suffix>"
                    "<Prefix>p</Prefix><Reference>r</Reference>"
                    "<Convert><Multiply>0.25</Multiply><Add>3</Add></Convert></Double>"));
        row("enumeration items in order",
            element("<Name>e</Name><Enumeration><Reference>r</Reference><Items>"
                    "<Item><Name>a</Name><Value>2</Value></Item><Junk/>"
                    "<Item><Visibility>Developer</Visibility><Value>x</Value>"
                    "<IsAvailable>q</IsAvailable><Description>d</Description></Item>"
                    "</Items><Items><Item><Value>9</Value></Item></Items></Enumeration>"),
            element("<Name>e</Name><Enumeration><Items><Item><Value>2</Value><Name>a</Name></Item>"
                    "<Item><Value>0</Value><Description>d</Description>"
                    "<Visibility>Developer</Visibility><IsAvailable>q</IsAvailable></Item>"
                    "<Item><Value>9</Value></Item></Items><Reference>r</Reference></Enumeration>"));
        row("groups",
            "<Display><Groups><Group><Collapsed>True</Collapsed><Name>A</Name></Group>"
            "<Group><Name>B</Name></Group><Group><Collapsed>True</Collapsed></Group>"
            "<Group><Name>C</Name><Collapsed>False</Collapsed></Group><Junk/></Groups></Display>",
            "<Display><Groups><Group><Name></Name><Collapsed>True</Collapsed></Group>"
            "<Group><Name>A</Name><Collapsed>True</Collapsed></Group>"
            "<Group><Name>B</Name><Collapsed>False</Collapsed></Group>"
            "<Group><Name>C</Name><Collapsed>False</Collapsed></Group></Groups></Display>");
        row("broken inside a command keeps it",
            "<CommandSet><Command><Id>a</Id></Command><Command><Id>b</Id><Code>BB</Code>"
            "<ParamsSet><Int><Id>p</Id></Int><Int><Id>q</I",
            "<CommandSet><Command><Id>a</Id></Command><Command><Id>b</Id><Code>BB</Code>"
            "<ParamsSet><Int><Id>p</Id></Int><Int><Id>q</Id></Int></ParamsSet></Command>"
            "</CommandSet>");
        row("broken inside an element keeps it",
            "<Display><DisplayElements><DisplayElement><Name>n</Name><Integer>"
            "<MinimumValue>3</MinimumValue><Bad attr=></Integer>",
            element("<Name>n</Name><Integer><MinimumValue>3</MinimumValue></Integer>"));
        row("mismatched tag stops reading",
            "<CommandSet><Command><Id>a</Id></Commmand><Command><Id>b</Id></Command></CommandSet>",
            "<CommandSet><Command><Id>a</Id></Command></CommandSet>");
    }

    void reader()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QByteArray, plain);
        CameraDescriptionFile file;
        readBytes(file, xml);
        CameraDescriptionFile expected;
        readBytes(expected, plain);
        QCOMPARE(QString::fromUtf8(serialise(file)), QString::fromUtf8(serialise(expected)));
        QCOMPARE(file.groupStates(), expected.groupStates());
    }

    void lazyLoading()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("lazy.xml");
        CameraDescriptionFile file(path);
        QVERIFY(!file.isValid());

        // A failed open is tried again; only the header is read for header questions.
        QVERIFY(writeFile(path, readAll(demoPath("MX-2000.xml"))));
        QCOMPARE(file.modelName(), QString("MX"));
        QVERIFY(file.isHeaderLoaded());
        QVERIFY(!file.isFullyLoaded());

        // The header stays as read until the body is needed; group states set meanwhile add up
        // with those of the file, the file's winning. Elements added meanwhile are dropped by the
        // loading but stay readable (checked under ASan).
        QVERIFY(writeFile(path,
            wrap("<Display><Groups><Group><Name>A</Name><Collapsed>True</Collapsed></Group>"
                 "</Groups></Display>"
                + element("<Name>x</Name><Bool/>"))));
        file.setGroupExpanded("A", true);
        file.setGroupExpanded("Mine", false);
        // A collapsed group neither collapses its sub-groups nor names that merely begin alike.
        QVERIFY(file.isGroupExpanded("Mine/Sub"));
        QVERIFY(file.isGroupExpanded("Mine/"));
        auto *early = new BoolElement;
        early->name = "early";
        file.addDisplayElement(early);
        QCOMPARE(file.modelName(), QString("MX"));
        QCOMPARE(file.displayElements().size(), 1);
        QVERIFY(file.isFullyLoaded());
        QCOMPARE(file.modelName(), QString("M"));
        QVERIFY(!file.isGroupExpanded("A"));
        QVERIFY(!file.isGroupExpanded("Mine"));
        QCOMPARE(early->name, QString("early"));

        // Once loaded, nothing is read again.
        QVERIFY(QFile::remove(path));
        QCOMPARE(file.displayElements().size(), 1);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("virtual device") << demoPath("VirtualDevice.xml");
        QTest::newRow("MX-2000") << demoPath("MX-2000.xml");
        QTest::newRow("golden") << goldenPath();
    }

    void roundTrip()
    {
        QFETCH(QString, source);
        QTemporaryDir dir;
        const QString path = dir.filePath("saved.xml");
        CameraDescriptionFile original(source);
        const QByteArray digest = original.md5Hash();
        QCOMPARE(digest, QCryptographicHash::hash(readAll(source), QCryptographicHash::Md5));
        original.setFilePath(path);
        // A longer file already there is replaced whole.
        QVERIFY(writeFile(path, QByteArray(200000, 'x')));
        QVERIFY(original.save());
        QCOMPARE(original.md5Hash(), digest);

        CameraDescriptionFile reread(path);
        QCOMPARE(reread.md5Hash(), digest);
        QCOMPARE(readAll(path), readAll(source));
        QCOMPARE(
            QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { "saved.xml" });
    }

    void exportDropsDeveloperItems()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("export.xml");
        CameraDescriptionFile file(goldenPath());
        file.loadFully();
        QVERIFY(file.exportTo(target));
        QCOMPARE(file.filePath(), goldenPath());

        // Expected: the golden file with its developer command, element and item cut out by hand.
        // The state of group D, used only by the left-out element, is still written.
        QByteArray expected = readAll(goldenPath());
        expected = without(expected, "        <Command>\n            <Id>Secret", "</Command>\n");
        expected
            = without(expected, "            <DisplayElement>\n                <Name>Hidden dev",
                "</DisplayElement>\n");
        expected = without(expected,
            "                        <Item>\n                            <Value>7", "</Item>\n");
        QCOMPARE(QString::fromUtf8(readAll(target)), QString::fromUtf8(expected));
    }

    void saveFailureLeavesEverythingAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("target is a directory") << "directory";
        QTest::newRow("missing folder") << "missingFolder";
        QTest::newRow("empty path") << "empty";
        QTest::newRow("unwritable system file") << "proc";
        QTest::newRow("write fails halfway") << "sizeLimit";
    }

    void saveFailureLeavesEverythingAlone()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path;
        if (kind == "directory") {
            path = dir.filePath("d.xml");
            QVERIFY(QDir().mkpath(path + "/inside"));
        } else if (kind == "missingFolder") {
            path = dir.filePath("no/such/d.xml");
        } else if (kind == "proc") {
            // Tests may run as root, where permission bits do not stop writing; /proc refuses
            // new files to everybody, so the existing file there can never be replaced.
            path = "/proc/version";
            if (!QFile::exists(path))
                QSKIP("no /proc");
        } else if (kind == "sizeLimit") {
            path = dir.filePath("d.xml");
            QVERIFY(writeFile(path, QByteArray(1000, 'o')));
        }
        const QByteArray before = readAll(path);

        CameraDescriptionFile file(path);
        readBytes(file, readAll(goldenPath()));
        QVERIFY(serialise(file).size() > 4000);
        {
#ifdef Q_OS_UNIX
            // Writes stop at 2000 bytes: a plain overwrite would leave a truncated file behind.
            std::unique_ptr<FileSizeLimit> limit;
            if (kind == "sizeLimit") {
                limit.reset(new FileSizeLimit(2000));
                QVERIFY(limit->isActive());
            }
#else
            if (kind == "sizeLimit")
                QSKIP("no file size limits here");
#endif
            QVERIFY(!file.save());
            QVERIFY(!file.exportTo(path));
        }
        QVERIFY(!file.isHeaderLoaded());
        QVERIFY(!file.isFullyLoaded());
        QCOMPARE(file.filePath(), path);
        QCOMPARE(readAll(path), before);
        if (kind == "directory")
            QVERIFY(QFileInfo(path + "/inside").isDir());
        if (kind == "missingFolder")
            QVERIFY(!QFileInfo::exists(dir.filePath("no")));
        // Nothing was left behind next to the target.
        if (kind != "proc") {
            const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            QCOMPARE(left, kind == "sizeLimit" ? QStringList { "d.xml" } : QStringList());
        }
    }

    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("kind");
        // Permission bits do not stop root, so unreadable paths are made from links and files.
        for (const char *kind : { "empty file", "directory", "dangling link", "declaration" })
            QTest::newRow(kind) << kind;
    }

    void unreadableFiles()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("d.xml");
        QVERIFY(kind == "directory"       ? QDir().mkpath(path)
                : kind == "dangling link" ? QFile::link(dir.filePath("gone.xml"), path)
                                          : writeFile(path, kind == "declaration" ? kHead : ""));
        CameraDescriptionFile file(path);
        QVERIFY(!file.isValid());
        QVERIFY(file.modelName().isEmpty());
        QCOMPARE(file.md5Hash().size(), 16);
        QCOMPARE(file.isFullyLoaded(), kind == "empty file" || kind == "declaration");
    }

    void everyTruncation_data()
    {
        columns<QString, int>({ "source", "step" });
        QTest::newRow("every prefix of MX-2000") << demoPath("MX-2000.xml") << 1;
        QTest::newRow("dense sample of the virtual device") << demoPath("VirtualDevice.xml") << 11;
    }

    void everyTruncation()
    {
        QFETCH(QString, source);
        QFETCH(int, step);
        CameraDescriptionFile complete(source);
        const QByteArray full = readAll(source);
        QVERIFY(full.size() > 1000);
        int lastCommands = 0;
        int lastElements = 0;
        for (int length = 0; length < full.size() + step; length += step) {
            CameraDescriptionFile file;
            readBytes(file, full.left(length));
            serialise(file); // what was read can always be written
            // A longer prefix never yields less.
            const int commands = file.commands().size();
            const int elements = file.displayElements().size();
            QVERIFY2(commands >= lastCommands && elements >= lastElements,
                qPrintable(QString::number(length)));
            lastCommands = commands;
            lastElements = elements;
        }
        QCOMPARE(lastCommands, complete.commands().size());
        QCOMPARE(lastElements, complete.displayElements().size());
    }

    void randomByteFlips()
    {
        const QByteArray original = readAll(demoPath("VirtualDevice.xml"));
        QVERIFY(!original.isEmpty());
        QRandomGenerator random(20261206);
        for (int round = 0; round < 1000; ++round) {
            QByteArray bytes = original;
            const int flips = 1 + random.bounded(8);
            for (int i = 0; i < flips; ++i)
                bytes[random.bounded(bytes.size())] = char(random.bounded(256));
            // Whatever was read is written and read back unchanged.
            const QByteArray written = readAndSerialise(bytes);
            QVERIFY2(
                readAndSerialise(written) == written, qPrintable(QString("round %1").arg(round)));
        }
    }

    void deepNesting_data()
    {
        // after: empty: the nesting is never closed
        columns<QByteArray, QByteArray, int>({ "before", "after", "commands" });

        const QByteArray head = "<CameraDescription ModelName=\"Deep\"><CommandSet>";
        const QByteArray tail
            = "<Command><Id>after</Id></Command></CommandSet></CameraDescription>";
        QTest::newRow("skipped unknown element") << head << tail << 1;
        QTest::newRow("inside a command") << head + "<Command><Id>c</Id>"
                                          << "</Command>" + tail << 2;
        QTest::newRow("inside a text field") << head + "<Command><Id>c"
                                             << "</Id></Command>" + tail << 2;
        QTest::newRow("never closed") << head + "<Command><Id>c</Id>" << QByteArray() << 1;
    }

    void deepNesting()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(int, commands);
        const bool closed = !after.isEmpty();

        const int depth = 100000;
        QByteArray bytes = before;
        bytes.reserve(before.size() + depth * 8 + after.size());
        for (int i = 0; i < depth; ++i)
            bytes += "<a>";
        if (closed) {
            for (int i = 0; i < depth; ++i)
                bytes += "</a>";
        }
        bytes += after;

        QElapsedTimer timer;
        timer.start();
        CameraDescriptionFile file;
        readBytes(file, bytes);
        QCOMPARE(file.modelName(), QString("Deep"));
        QCOMPARE(file.commands().size(), commands);
        if (closed)
            QCOMPARE(file.commands().last().id, QString("after"));
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }

    void entityExpansionBomb()
    {
        QByteArray dtd = "<?xml version=\"1.0\"?>\n<!DOCTYPE CameraDescription [\n"
                         "<!ENTITY e0 \"lollollollollollollollollollol\">\n";
        for (int i = 1; i < 12; ++i)
            dtd += QString("<!ENTITY e%1 \"&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;\">\n")
                       .arg(i)
                       .arg(i - 1)
                       .toLatin1();
        dtd += "]>\n";
        const QByteArray body
            = "<CameraDescription ModelName=\"M\"><CommandSet><Command><Id>ok</Id>"
              "</Command><Command><Id>&e11;</Id></Command></CommandSet>"
              "</CameraDescription>";
        QElapsedTimer timer;
        timer.start();
        CameraDescriptionFile file;
        readBytes(file, dtd + body);
        const QList<Command> commands = file.commands();
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(!commands.isEmpty());
        QCOMPARE(commands.first().id, QString("ok"));
        // Whatever part of the expansion was accepted stays far below the bomb's size.
        for (const Command &c : commands)
            QVERIFY(c.id.size() < 1000000);

        // The same bomb in an attribute.
        CameraDescriptionFile attribute;
        readBytes(attribute, dtd + "<CameraDescription ModelName=\"&e11;\"/>");
        QVERIFY(attribute.modelName().size() < 1000000);
    }

    // Every field of every kind, changed alone, makes exactly its element differ from a clone.
    void cloneAndEquals()
    {
        const QByteArray golden = readAll(goldenPath());
        CameraDescriptionFile original;
        readBytes(original, golden);
        const QList<DisplayElement *> elements = original.displayElements();
        QDomDocument document;
        QVERIFY(document.setContent(golden));
        QList<QDomElement> leaves;
        QList<QDomElement> pending {
            document.elementsByTagName("DisplayElements").at(0).toElement()
        };
        while (!pending.isEmpty()) {
            const QDomElement node = pending.takeLast();
            for (QDomElement child = node.firstChildElement(); !child.isNull();
                 child = child.nextSiblingElement())
                (child.firstChildElement().isNull() ? leaves : pending).append(child);
        }
        QVERIFY(leaves.size() > 60);
        const QHash<QString, QString> swapped { { "True", "False" }, { "False", "True" },
            { "RW", "WO" }, { "RO", "RW" }, { "WO", "RW" }, { "Beginner", "Guru" },
            { "Expert", "Beginner" }, { "Guru", "Beginner" }, { "Developer", "Beginner" },
            { "Hidden", "Beginner" } };
        for (QDomElement &leaf : leaves) {
            const QString was = leaf.text();
            const QString other = swapped.value(was,
                QRegularExpression("^-?[0-9.]+$").match(was).hasMatch() ? was + "1" : was + "x");
            leaf.firstChild().isNull() ? void(leaf.appendChild(document.createTextNode(other)))
                                       : leaf.firstChild().setNodeValue(other);
            CameraDescriptionFile changed;
            readBytes(changed, document.toByteArray());
            leaf.firstChild().setNodeValue(was);
            int differing = 0;
            for (int e = 0; e < elements.size(); ++e) {
                const std::unique_ptr<DisplayElement> copy(elements.at(e)->clone());
                QVERIFY(copy->equals(*elements.at(e)));
                differing += !copy->equals(*changed.displayElements().at(e));
            }
            QVERIFY2(differing == 1, qPrintable(leaf.tagName() + ": " + was));
        }
    }

    void checker_data()
    {
        // from: replaced once in the base description
        // finding: empty: none
        columns<QByteArray, QByteArray, QString>({ "from", "to", "finding" });
        const auto row
            = [](const char *name, const char *from, const char *to, const char *finding) {
                  QTest::newRow(name) << QByteArray(from) << QByteArray(to) << QString(finding);
              };
        row("clean", "", "", "");
        row("comments, strings, regular expressions and properties are no names", "v == 1",
            "/w+/.test(s) &amp;&amp; s.length > 0 &amp;&amp; 'u' != Math.abs(ID) // w", "");
        row("duplicate command Id", "<CommandSet>", "<CommandSet><Command><Id>Go</Id></Command>",
            "command \"Go\": another command has the same Id");
        row("line end in a code", "<Id>Go</Id>", "<Id>Go</Id><Code>GO&#13;@X</Code>",
            "command \"Go\": Code holds a line end");
        row("line end in a constant", "<ParamsSet>",
            "<ParamsSet><Const><Value>A&#10;B</Value></Const>",
            "command \"Go\": constant \"A B\" holds a line end");
        row("duplicate element name", "<Name>bool", "<Name>cmd",
            "element \"cmd\": another element has the same name");
        row("empty group part", "<Group>G</Group>", "<Group>G//H</Group>",
            "element \"cmd\": group \"G//H\" has an empty part");
        row("command reference", "<Reference>Go<", "<Reference>No<",
            "element \"cmd\": Reference \"No\" names no command or camera value");
        row("value reference naming a command", "<Bool><Reference>v", "<Bool><Reference>Go",
            "element \"bool\": Reference \"Go\" names no camera value");
        row("empty reference", "<Reference>s<", "<Reference><",
            "element \"str\": Reference is empty");
        row("invalidated by nothing", "<InvalidatedBy>", "<InvalidatedBy>Go,,v,zz",
            "element \"cmd\": InvalidatedBy entry \"zz\" names no command or camera value");
        row("incomplete expression", "v == 1", "v ==",
            "element \"cmd\": IsAvailable has a syntax error: Expected more script to follow");
        row("unknown name", "v == 1", "v == w",
            "element \"cmd\": IsAvailable uses the unknown name \"w\"");
        row("unknown function", "max(v, 480)", "maxi(v, 480)",
            "element \"roi\": ScreenHeight uses the unknown name \"maxi\"");
        row("names the expression declares", "v == 1",
            "[1].some(function (x) { var a = x, b = v; try { return a == b; } catch (e) { return "
            "e == w; } })",
            "element \"cmd\": IsAvailable uses the unknown name \"w\"");
        row("empty region count", "<Count>1<", "<Count><", "element \"roi\": Count is empty");
        row("region start", "<ROI>", "<ROI><Start>No</Start>",
            "element \"roi\": Start \"No\" names no command or camera value");
        row("list get", "<Get>v", "<Get>q", "element \"list\": Get \"q\" names no camera value");
        row("minimum above maximum", "<MaximumValue>",
            "<MinimumValue>10</MinimumValue><MaximumValue>",
            "element \"int\": MinimumValue 10 is above MaximumValue 9");
        row("zero increment", "<Integer>", "<Integer><Increment>0</Increment>",
            "element \"int\": Increment 0 is not above 0");
        row("zero multiplier", "<Double>", "<Double><Convert><Multiply>0</Multiply></Convert>",
            "element \"dbl\": ConvertMultiply is 0");
        row("two items of one value", "<Value>1", "<Value>0",
            "element \"enum\": items \"a\" and \"b\" have the same Value 0");
        row("item expression", "<Name>b</Name>", "<Name>b</Name><IsAvailable>(</IsAvailable>",
            "element \"enum\": IsAvailable of item \"b\" has a syntax error: Expected more script "
            "to follow");
    }

    void checker()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, finding);
        QByteArray body
            = "<CommandSet><Command><Id>Go</Id><ParamsSet><Int><Id>v</Id></Int><String><Id>"
              "s</Id></String></ParamsSet></Command></CommandSet><Display><DisplayElements>";
        const auto add = [&body](const char *name, const QByteArray &inner) {
            body += "<DisplayElement><Name>" + QByteArray(name) + "</Name>" + inner
                + "</DisplayElement>";
        };
        add("cmd",
            "<Group>G</Group><InvalidatedBy></InvalidatedBy><IsAvailable>v == 1</IsAvailable>"
            "<Command><Reference>Go</Reference></Command>");
        add("bool", "<Bool><Reference>v</Reference></Bool>");
        add("int", "<Integer><MaximumValue>9</MaximumValue><Reference>v</Reference></Integer>");
        add("dbl", "<Double><Reference>v</Reference></Double>");
        add("str", "<String><Reference>s</Reference></String>");
        add("enum",
            "<Enumeration><Items><Item><Value>0</Value><Name>a</Name></Item><Item><Value>1"
            "</Value><Name>b</Name></Item></Items><Reference>v</Reference></Enumeration>");
        add("list",
            "<List><Start>Go</Start><End>v</End><Count>4</Count><Get>v</Get><Set>v</Set>"
            "<Index>v</Index></List>");
        add("roi",
            "<ROI><ScreenWidth>640</ScreenWidth><ScreenHeight>max(v, 480)</ScreenHeight><X>v"
            "</X><Y>v</Y><Width>v</Width><Height>v</Height><Count>1</Count><GetCommand>Go"
            "</GetCommand><SetCommand>v</SetCommand></ROI>");
        body += "</DisplayElements></Display>";
        QVERIFY(from.isEmpty() || body.count(from) == 1);
        CameraDescriptionFile file;
        readBytes(file, wrap(body.replace(from, to)));
        QCOMPARE(file.displayElements().size(), 8); // the document stayed well-formed
        QStringList texts;
        for (const DescriptionChecker::Finding &each : DescriptionChecker::check(file))
            texts.append(each.text());
        QCOMPARE(texts, finding.isEmpty() ? QStringList() : QStringList { finding });
    }

    void tool_data()
    {
        // arguments: "@name" is a file in a scratch folder
        columns<QStringList, int, QString, QString>({ "arguments", "exitCode", "out", "err" });

        const QString demo = demoPath("VirtualDevice.xml");
        CameraDescriptionFile virtualDevice(demo);
        const QString summary = QStringList {
            "VirtualDevice.xml",
            "  model:     VirtualDevice",
            "  supported: Demo,Bench",
            "  version:   1.0.0",
            "  commands:  17",
            "  elements:  17",
            "  groups:    " + virtualDevice.groupNames().join(", "),
            "  md5:       " + QString::fromLatin1(virtualDevice.md5Hash().toHex()),
        }.join('\n');
        const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                             const QString &out, const QString &err = QString()) {
            QTest::newRow(name) << arguments << exitCode << out << err;
        };
        row("summary of the virtual device", { demoPath(QString()) }, 0, summary);
        row("summary of a missing folder", { "/no/such/folder" }, 1, QString(),
            "no such file or folder: /no/such/folder");
        row("summary of something else", { "@plain" }, 1, "  (not a valid description");
        row("export", { "--export", demo, "@out.xml" }, 0, QString());
        row("export to an unwritable target", { "--export", demo, "@plain/out.xml" }, 1, QString(),
            "cannot write");
        row("export of something else", { "--export", "@plain", "@out.xml" }, 1, QString(),
            "not a valid description");
        row("check of the demo descriptions", { "--check", demoPath(QString()) }, 0, QString());
        row("check finds", { "--check", goldenPath() }, 1,
            goldenPath() + ": element \"Dbl\": Reference \"Temp\" names no camera value");
    }

    void tool()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);

        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("plain"), "not xml"));
        for (QString &argument : arguments) {
            if (argument.startsWith('@'))
                argument = dir.filePath(argument.mid(1));
        }
        QProcess process;
        process.start(QStringLiteral(MFXDESCRIBE_PATH), arguments);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        const QString written = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(written.startsWith(out) || written.contains('\n' + out), qPrintable(written));
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(errors.contains(err), qPrintable(errors));
        if (arguments.first() != "--export")
            return;
        const QString output = arguments.last();
        if (exitCode != 0) {
            QVERIFY(!QFile::exists(output));
            return;
        }
        CameraDescriptionFile source(arguments.at(1));
        source.loadFully();
        QVERIFY(source.exportTo(dir.filePath("expected.xml")));
        QCOMPARE(readAll(output), readAll(dir.filePath("expected.xml")));
    }

    void textConversions_data()
    {
        // text: null: only the way back from the value is checked
        columns<QString, QString, int, QString, QStringList>(
            { "kind", "text", "value", "back", "lines" });
        auto row = [](const char *name, const QString &text, int value, const QString &back,
                       const QStringList &lines = {}) {
            QTest::newRow(name) << QString(name).section(' ', 0, 0) << text << value << back
                                << lines;
        };

        row("visibility Guru", "Guru", 2, "Guru");
        row("visibility lower case", "hidden", 4, "Hidden",
            { "Unknown visibility string: hidden" });
        row("visibility empty", "", 4, "Hidden", { "Unknown visibility string: " });
        row("visibility out of range", QString(), 5, "Beginner");
        row("access lower case", "rw", 0, "RO", { "Unknown access mode string: rw" });
        row("access out of range", QString(), -1, "RW");
        row("bool empty is quietly false", "", 0, "False");
        row("bool lower case", "true", 0, "False", { "Unknown bool string: true" });
    }

    void textConversions()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(QString, back);
        QFETCH(QStringList, lines);

        MessageCapture capture;
        if (kind == "visibility") {
            if (!text.isNull())
                QCOMPARE(DescriptionText::toVisibility(text), static_cast<Visibility>(value));
            QCOMPARE(DescriptionText::fromVisibility(static_cast<Visibility>(value)), back);
        } else if (kind == "access") {
            if (!text.isNull())
                QCOMPARE(DescriptionText::toAccessMode(text), static_cast<AccessMode>(value));
            QCOMPARE(DescriptionText::fromAccessMode(static_cast<AccessMode>(value)), back);
        } else {
            QCOMPARE(DescriptionText::toBool(text), value != 0);
            QCOMPARE(DescriptionText::fromBool(value != 0), back);
        }
        QCOMPARE(capture.lines(), lines);
    }

    void commandEditing()
    {
        CameraDescriptionFile file;
        Command gain = command("Gain", "GAI");
        gain.paramsSet.append({ CommandParameterType::Int, "Gain", {} });
        file.addCommand(gain);
        file.addCommand(command("Exposure", "EXP"));
        file.addCommand(command("Gain", "SECOND"));
        QCOMPARE(file.command("gain"), Command());
        QCOMPARE(file.command("Gain"), gain);

        // Replacing works on the first command of an id, in place; unknown ids change nothing.
        Command replacement = command("Amplification", "AMP");
        replacement.cachedUpdate = true;
        file.replaceCommand("Gain", replacement);
        file.removeCommand("Exposure");
        file.removeCommand("Unknown");
        QCOMPARE(file.commands(), (QList<Command> { replacement, command("Gain", "SECOND") }));

        MessageCapture capture;
        file.replaceCommand("B", command("C", "CCC"));
        QCOMPARE(capture.lines(), QStringList { "Failed to find command to replace: B" });
        QCOMPARE(file.commands().size(), 2);
    }

    void sortElements_data()
    {
        columns<QStringList, QStringList, QStringList, bool>(
            { "elements", "expected", "groups", "unsortedLine" });
        auto row = [](const char *name, const QStringList &elements, const QStringList &expected,
                       const QStringList &groups, bool unsortedLine = false) {
            QTest::newRow(name) << elements << expected << groups << unsortedLine;
        };

        row("sub-group after parent's own elements", { "ab1:A/B", "b1:B", "a1:A", "ab2:A/B" },
            { "a1", "ab1", "ab2", "b1" }, { "A", "A/B", "B" });
        row("first appearance fixes order", { "b1:B", "a1:A", "b2:B", "c1:C" },
            { "b1", "b2", "a1", "c1" }, { "A", "B", "C" });
        row("empty group goes last", { "e1:", "a1:A", "e2:", "b1:B" }, { "a1", "b1", "e1", "e2" },
            { "", "A", "B" }, true);
        row("A and A/ are different groups", { "slash:A/", "plain:A", "sub:A/B" },
            { "plain", "slash", "sub" }, { "A", "A/", "A/B" });
        row("leading slash is never placed", { "lead:/B", "b:B" }, { "b", "lead" }, { "/B", "B" },
            true);
        row("stable within group, names in code order", { "3:g", "1:H", "2:g", "0:g" },
            { "3", "2", "0", "1" }, { "H", "g" });
    }

    void sortElements()
    {
        QFETCH(QStringList, elements);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, groups);
        QFETCH(bool, unsortedLine);

        CameraDescriptionFile file;
        fill(file, elements);
        QCOMPARE(file.groupNames(), groups);
        MessageCapture capture;
        file.sortElements();
        QCOMPARE(names(file), expected);
        QCOMPARE(capture.lines(), unsortedLine ? QStringList { kSortLine } : QStringList());

        // Adding one by one re-sorts each time and ends in the same order.
        CameraDescriptionFile added;
        for (const QString &entry : elements)
            added.addDisplayElement(element(entry.section(':', 0, 0), entry.section(':', 1)));
        QCOMPARE(names(added), expected);
    }

    void moves_data()
    {
        // move: "<operation> <element or group>"
        columns<QStringList, QString, QStringList>({ "elements", "move", "expected" });
        auto row = [](const char *name, const QStringList &elements, const QString &move,
                       const QStringList &expected) {
            QTest::newRow(name) << elements << move << expected;
        };

        const QStringList mixed { "x1:A", "y:B", "x2:A" };
        const QStringList abc { "a:A", "b:B", "c:C" };
        row("element up over another group", mixed, "elementUp x2", { "x2", "x1", "y" });
        row("last of group down", { "e1:G", "e2:G" }, "elementDown e2", { "e1", "e2" });
        row("first of group up", mixed, "elementUp x1", { "x1", "y", "x2" });
        row("group up", abc, "groupUp B", { "b", "a", "c" });
        row("group down", abc, "groupDown B", { "a", "c", "b" });
        row("unknown group still re-sorts", { "b1:B", "a:A", "b2:B" }, "groupUp Q",
            { "b1", "b2", "a" });
        row("sub-group up", { "x:A/X", "y:A/Y", "a:A", "b:B" }, "groupUp A/Y",
            { "a", "y", "x", "b" });
        row("sub-group moves with parent", { "a:A", "x:A/X", "b:B" }, "groupUp B",
            { "b", "a", "x" });
    }

    void moves()
    {
        QFETCH(QStringList, elements);
        QFETCH(QString, move);
        QFETCH(QStringList, expected);

        CameraDescriptionFile file;
        fill(file, elements);
        const QHash<QString, void (CameraDescriptionFile::*)(const QString &)> operations {
            { "elementUp", &CameraDescriptionFile::moveElementUp },
            { "elementDown", &CameraDescriptionFile::moveElementDown },
            { "groupUp", &CameraDescriptionFile::moveGroupUp },
            { "groupDown", &CameraDescriptionFile::moveGroupDown }
        };
        (file.*operations.value(move.section(' ', 0, 0)))(move.section(' ', 1));
        QCOMPARE(names(file), expected);
    }

    void elementLookupAndLifetime()
    {
        CameraDescriptionFile file;
        fill(file, { "same:A", "b:B", "same:C" });
        QVERIFY(!file.displayElement("nobody"));
        DisplayElement *removed = file.displayElement("same");
        QCOMPARE(removed->group, QString("A"));
        file.removeDisplayElement("same");
        file.removeDisplayElement("nobody");
        QCOMPARE(file.displayElement("same")->group, QString("C"));
        // What the file handed out stays readable (checked under ASan).
        QCOMPARE(removed->group, QString("A"));

        DisplayElement *old = file.displayElement("b");
        auto *replacement = new BoolElement;
        replacement->copyCommonFrom(*old);
        replacement->name = "b2";
        file.replaceDisplayElement(old, replacement);
        // No re-sort: the replacement takes the old place even though C would come later.
        QCOMPARE(names(file), (QStringList { "b2", "same" }));
        QCOMPARE(old->name, QString("b"));

        // An unknown old element appends; handing over an element the file already holds changes
        // nothing (and frees nothing twice).
        auto *orphan = new StringElement;
        orphan->name = "orphan";
        IntegerElement notInList;
        file.replaceDisplayElement(&notInList, orphan);
        file.addDisplayElement(orphan);
        file.replaceDisplayElement(replacement, orphan);
        file.replaceDisplayElement(orphan, orphan);
        QCOMPARE(names(file), (QStringList { "b2", "same", "orphan" }));

        // What left the list may come back, as the editor does it, and is still freed only once.
        file.addDisplayElement(removed);
        file.replaceDisplayElement(replacement, old);
        file.replaceDisplayElement(old, replacement);
        file.replaceDisplayElement(replacement, old);
        QCOMPARE(names(file), (QStringList { "b", "same", "same", "orphan" }));
        QCOMPARE(file.displayElements().at(2), removed);
    }
};

QTEST_GUILESS_MAIN(TestDescription)
#include "tst_description.moc"
