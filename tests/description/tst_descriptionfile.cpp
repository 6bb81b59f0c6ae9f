#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/descriptionreader.h"
#include "description/descriptiontext.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

QString demoPath(const QString &name)
{
    const QString dir = qEnvironmentVariable("MARNIFEX_SOURCE_DIR", QStringLiteral("."));
    return dir + QStringLiteral("/XML/") + name;
}

QByteArray readAll(const QString &path)
{
    if (path.isEmpty())
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString params(const QList<CommandParameter> &list)
{
    QStringList parts;
    for (const CommandParameter &p : list)
        parts.append(p.type == CommandParameterType::Const
                ? "C:" + QString::fromLatin1(p.value)
                : QString("?IS").mid(int(p.type), 1) + ":" + p.id);
    return "[" + parts.join(',') + "]";
}

// Numbers at full precision, so that any change of a double shows.
QString num(double v)
{
    return QString::number(v, 'g', 17);
}

QString kindFields(const DisplayElement *e)
{
    switch (e->type()) {
    case DisplayElementType::Command: {
        auto c = static_cast<const CommandElement *>(e);
        return QString("Command ref=%1 button=%2").arg(c->reference, c->buttonText);
    }
    case DisplayElementType::Bool: {
        auto b = static_cast<const BoolElement *>(e);
        return QString("Bool ref=%1 true=%2 false=%3")
            .arg(b->reference, b->trueValue, b->falseValue);
    }
    case DisplayElementType::Integer: {
        auto i = static_cast<const IntegerElement *>(e);
        return QString("Integer %1..%2 step=%3 pre=%4 suf=%5 ref=%6")
            .arg(num(i->minimumValue), num(i->maximumValue), num(i->increment), i->prefix,
                i->suffix, i->reference);
    }
    case DisplayElementType::Double: {
        auto d = static_cast<const DoubleElement *>(e);
        return QString("Double %1..%2 step=%3 pre=%4 suf=%5 mul=%6 add=%7 ref=%8")
            .arg(num(d->minimumValue), num(d->maximumValue), num(d->increment), d->prefix,
                d->suffix, num(d->convertMultiply), num(d->convertAdd), d->reference);
    }
    case DisplayElementType::String: {
        auto s = static_cast<const StringElement *>(e);
        return QString("String %1..%2 ref=%3")
            .arg(num(s->minimumLength), num(s->maximumLength), s->reference);
    }
    case DisplayElementType::Enumeration: {
        auto n = static_cast<const EnumerationElement *>(e);
        QStringList items;
        for (const EnumerationItem &item : n->items)
            items.append(
                QString("%1=%2/%3/%4/%5")
                    .arg(num(item.value), item.name, item.description,
                        DescriptionText::fromVisibility(item.visibility), item.isAvailable));
        return QString("Enumeration [%1] ref=%2").arg(items.join(','), n->reference);
    }
    case DisplayElementType::List: {
        auto l = static_cast<const ListElement *>(e);
        return QString("List %1 %2 %3 %4 %5 %6")
            .arg(l->start, l->end, l->count, l->get, l->set, l->index);
    }
    case DisplayElementType::ROI: {
        auto r = static_cast<const RoiElement *>(e);
        return QString("ROI %1 %2 %3 %4 %5 %6 %7 %8 %9")
                   .arg(r->start, r->end, r->screenWidth, r->screenHeight, r->x, r->y, r->width,
                       r->height, r->count)
            + QString(" %1 %2 %3").arg(r->index, r->getCommand, r->setCommand);
    }
    }
    return QString();
}

// Size first: an empty list and a list of one empty entry are different things here.
QString listText(const QStringList &list)
{
    return QString::number(list.size()) + "[" + list.join('|') + "]";
}

// One line per fact of the model, so that whole models compare readably.
QStringList summary(CameraDescriptionFile &file)
{
    QStringList lines;
    qint32 major, minor, subMinor;
    file.version(major, minor, subMinor);
    lines.append(QString("header %1.%2.%3 model=%4 vendor=%5 supported=%6")
                     .arg(num(major), num(minor), num(subMinor), file.modelName(),
                         file.vendorName(), listText(file.supportedModels())));
    for (const Command &c : file.commands())
        lines.append(QString("command %1 code=%2 cached=%3 dev=%4 set=%5 get=%6 rset=%7 rget=%8")
                         .arg(c.id, QString::fromLatin1(c.code), num(c.cachedUpdate),
                             num(c.developerOnly), params(c.paramsSet), params(c.paramsGet),
                             params(c.returnValueSet), params(c.returnValueGet)));
    const QMap<QString, bool> states = file.groupStates();
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        lines.append(QString("group %1 expanded=%2").arg(it.key(), num(it.value())));
    for (const DisplayElement *e : file.displayElements())
        lines.append(QString("element %1 desc=%2 tip=%3 group=%4 %5 %6 cache=%7 inv=%8 avail=%9 ")
                         .arg(e->name, e->description, e->toolTip, e->group,
                             DescriptionText::fromVisibility(e->visibility),
                             DescriptionText::fromAccessMode(e->accessMode), num(e->cacheable),
                             listText(e->invalidatedBy), e->isAvailable)
            + QString("persist=%1 %2").arg(num(e->persistent), kindFields(e)));
    return lines;
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

#ifdef Q_OS_UNIX
// Makes every write beyond the given file size fail, as a full disk would, while it exists.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        mPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &mPrevious);
        rlimit limit = mPrevious;
        limit.rlim_cur = bytes;
        mActive = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &mPrevious);
        std::signal(SIGXFSZ, mPreviousHandler);
    }
    bool isActive() const { return mActive; }

private:
    rlimit mPrevious {};
    void (*mPreviousHandler)(int) = nullptr;
    bool mActive = false;
};
#endif

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

const QString kHeader = "header 0.0.0 model=M vendor= supported=1[T]";
const QString kPlain = "desc= tip= group= Beginner RW cache=1 inv=0[] avail= persist=1 ";

// A model using every kind, parameter type and flag, built in memory.
void buildRichModel(CameraDescriptionFile &file)
{
    file.setVersion(3, 14, 15);
    file.setModelName("Rich & <Model>");
    file.setVendorName("Vendor \"quoted\"");
    file.setSupportedModels({ "A", "", "B C" });
    Command c;
    c.id = "Gain";
    c.code = "GAI";
    c.cachedUpdate = true;
    c.paramsSet
        = { { CommandParameterType::Int, "Gain", {} }, { CommandParameterType::Const, {}, "x;1" } };
    c.paramsGet = { { CommandParameterType::String, "Sel", {} } };
    c.returnValueGet = { { CommandParameterType::Int, "Gain", {} } };
    file.addCommand(c);
    Command dev;
    dev.id = "Secret";
    dev.code = "SEC";
    dev.developerOnly = true;
    file.addCommand(dev);

    auto add = [&file](auto *e, const QString &name, const QString &group) {
        e->name = name;
        e->group = group;
        file.addDisplayElement(e);
        return e;
    };
    auto *i = add(new IntegerElement, "Int", "A");
    i->minimumValue = -2147483647 - 1;
    i->maximumValue = 2147483647;
    i->invalidatedBy = QStringList { "Gain", "Sel" };
    i->reference = "Gain";
    auto *d = add(new DoubleElement, "Dbl", "A/B");
    d->minimumValue = 0.123456789;
    d->maximumValue = 1234567;
    d->increment = 0.000012345;
    d->convertMultiply = 0.1;
    d->convertAdd = -273.15;
    d->suffix = " \u00b0C";
    auto *e = add(new EnumerationElement, "Enum", "C");
    e->visibility = Visibility::Expert;
    e->items = { { 0, "Off", "off", Visibility::Beginner, "" },
        { 7, "Dev", "dev", Visibility::Developer, "x == 1" } };
    add(new BoolElement, "Hidden dev", "D/E")->visibility = Visibility::Developer;
    auto *s = add(new StringElement, "Str", "C");
    s->accessMode = AccessMode::RO;
    s->cacheable = false;
    s->persistent = false;
    s->maximumLength = 16;
    s->toolTip = "line1\nline2";
    auto *l = add(new ListElement, "Lut", "C");
    l->count = "256";
    l->isAvailable = "a < b && c > d";
    auto *r = add(new RoiElement, "Roi", "C");
    r->visibility = Visibility::Guru;
    r->x = "X";
    auto *b = add(new CommandElement, "Button", "C");
    b->visibility = Visibility::Hidden;
    b->accessMode = AccessMode::WO;
    b->reference = "Gain";
    b->buttonText = "Apply";
    file.setGroupExpanded("A", false);
    file.setGroupExpanded("D", false);
    file.setGroupExpanded("Unused", false);
}

// The summary a model built by buildRichModel has once written and read back: doubles are
// rounded to 6 digits, the unused group state is dropped and an empty InvalidatedBy, written as
// empty text, reads as one empty entry.
QStringList reloadedSummary(CameraDescriptionFile &model)
{
    QStringList lines = summary(model);
    lines.replaceInStrings("0.123456789..1234567", "0.123457..1234570");
    lines.removeAll("group Unused expanded=0");
    lines.replaceInStrings("inv=0[]", "inv=1[]");
    return lines;
}

// Names of the groups written, in written order.
QStringList writtenGroups(const QByteArray &bytes)
{
    QXmlStreamReader xml(bytes);
    QStringList names;
    bool inGroup = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.name() == QLatin1String("Group"))
            inGroup = xml.isStartElement();
        else if (inGroup && xml.isStartElement() && xml.name() == QLatin1String("Name"))
            names.append(xml.readElementText());
    }
    return names;
}

} // namespace

class TestDescriptionFile : public QObject
{
    Q_OBJECT

private slots:
    // Damaged documents produce debug lines of unknown texts by the thousand.
    void initTestCase() { QLoggingCategory::setFilterRules("default.debug=false"); }

    void writerLayout();
    void doubleText_data();
    void doubleText();
    void groupsWritten_data();
    void groupsWritten();

    void reader_data();
    void reader();
    void lazyLoading();

    void roundTrip_data();
    void roundTrip();
    void digestIgnoresLayout();
    void exportDropsDeveloperItems();

    void saveFailureLeavesEverythingAlone_data();
    void saveFailureLeavesEverythingAlone();

    void unreadableFiles_data();
    void unreadableFiles();
    void everyTruncation_data();
    void everyTruncation();
    void randomByteFlips();
    void deepNesting_data();
    void deepNesting();
    void entityExpansionBomb();

    void tool_data();
    void tool();
};

void TestDescriptionFile::writerLayout()
{
    const QByteArray expected = R"(<?xml version="1.0" encoding="UTF-8"?>
<CameraDescription MajorVersion="1" MinorVersion="2" SubMinorVersion="3" ModelName="Cam" Supported="A,B" SchemaMajorVersion="1" SchemaMinorVersion="0" SchemaSubMinorVersion="0" VendorName="V">
    <CommandSet>
        <Command>
            <Id>Gain</Id>
            <Code>GAI</Code>
            <CachedUpdate>False</CachedUpdate>
            <DeveloperOnly>False</DeveloperOnly>
            <ParamsSet>
                <Int>
                    <Id>Gain</Id>
                </Int>
            </ParamsSet>
            <ParamsGet/>
            <ReturnValueSet/>
            <ReturnValueGet>
                <String>
                    <Id>S</Id>
                </String>
                <Const>
                    <Value>K</Value>
                </Const>
            </ReturnValueGet>
        </Command>
    </CommandSet>
    <Display>
        <Groups>
            <Group>
                <Name>Top</Name>
                <Collapsed>True</Collapsed>
            </Group>
            <Group>
                <Name>Top/Sub</Name>
                <Collapsed>False</Collapsed>
            </Group>
        </Groups>
        <DisplayElements>
            <DisplayElement>
                <Name>G</Name>
                <Description></Description>
                <ToolTip></ToolTip>
                <Group>Top/Sub</Group>
                <Visibility>Beginner</Visibility>
                <AccessMode>RW</AccessMode>
                <Cacheable>True</Cacheable>
                <InvalidatedBy>a,b</InvalidatedBy>
                <IsAvailable></IsAvailable>
                <Persistent>True</Persistent>
                <Double>
                    <MinimumValue>0.5</MinimumValue>
                    <MaximumValue>1.23457e+06</MaximumValue>
                    <Increment>1</Increment>
                    <Suffix>s</Suffix>
                    <Prefix>p</Prefix>
                    <Reference>Gain</Reference>
                    <Convert>
                        <Multiply>1</Multiply>
                        <Add>0</Add>
                    </Convert>
                </Double>
            </DisplayElement>
        </DisplayElements>
    </Display>
</CameraDescription>
)";
    // The reader rows pin every field read here, so writing back pins the writer.
    CameraDescriptionFile file;
    readBytes(file, expected);
    QCOMPARE(QString::fromUtf8(serialise(file)), QString::fromUtf8(expected));
    QCOMPARE(file.md5Hash(), QCryptographicHash::hash(expected, QCryptographicHash::Md5));
    // The digest follows later changes of the model.
    file.setGroupExpanded("Top/Sub", false);
    QCOMPARE(file.md5Hash(), QCryptographicHash::hash(serialise(file), QCryptographicHash::Md5));
}

void TestDescriptionFile::doubleText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("six significant digits") << 0.123456789 << "0.123457";
    QTest::newRow("exponent 5 plain") << 123456.0 << "123456";
    QTest::newRow("exponent -4 plain") << -0.0001 << "-0.0001";
    QTest::newRow("exponent -5") << 0.000012345 << "1.2345e-05";
    QTest::newRow("three digit exponent") << 1.5e123 << "1.5e+123";
}

void TestDescriptionFile::doubleText()
{
    QFETCH(double, value);
    QFETCH(QString, text);

    CameraDescriptionFile file;
    auto *d = new DoubleElement;
    d->minimumValue = value;
    file.addDisplayElement(d);
    const QByteArray written = serialise(file);
    QVERIFY2(written.contains("<MinimumValue>" + text.toUtf8() + "</MinimumValue>"),
        written.constData());
    // The text reads back to a value that is written the same way.
    QCOMPARE(readAndSerialise(written), written);
}

void TestDescriptionFile::groupsWritten_data()
{
    QTest::addColumn<QStringList>("elementGroups");
    QTest::addColumn<QStringList>("states");
    QTest::addColumn<QStringList>("written");

    auto row = [](const char *name, const QStringList &elementGroups, const QStringList &states,
                   const QStringList &written) {
        QTest::newRow(name) << elementGroups << states << written;
    };
    row("ancestor of a used group", { "A/B" }, { "A", "A/B" }, { "A", "A/B" });
    row("unused dropped", { "A" }, { "B", "A", "A/B" }, { "A" });
    row("prefix without slash is not an ancestor", { "AB" }, { "A", "AB" }, { "AB" });
    row("ascending order", { "b", "B", "a" }, { "b", "a", "B" }, { "B", "a", "b" });
    row("empty path used by empty group", { "" }, { "" }, { "" });
    row("empty path as ancestor of a leading slash", { "/x" }, { "", "/x" }, { "", "/x" });
    row("trailing slash group", { "A//B" }, { "A", "A/", "A//B" }, { "A", "A/", "A//B" });
}

void TestDescriptionFile::groupsWritten()
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

void TestDescriptionFile::reader_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("expected");
    // Rows inside the root of wrap(), whose header line comes first.
    auto row = [](const char *name, const QByteArray &body, const QStringList &lines) {
        QTest::newRow(name) << wrap(body) << QStringList { kHeader } + lines;
    };
    const QString bare = " code= cached=0 dev=0 set=[] get=[] rset=[] rget=[]";
    auto boolIn = [](const QString &name, const QString &group) {
        return "element " + name + " desc= tip= group=" + group
            + " Beginner RW cache=1 inv=0[] avail= persist=1 Bool ref= true= false=";
    };

    QTest::newRow("header attributes")
        << QByteArray("<CameraDescription MajorVersion=\"2\" MinorVersion=\"x\" "
                      "SubMinorVersion=\"-7\" ModelName=\"Cam\" VendorName=\"V\" "
                      "Supported=\"a, b,,c\" SchemaMajorVersion=\"9\"/>")
        << QStringList { "header 2.0.-7 model=Cam vendor=V supported=4[a| b||c]" };
    QTest::newRow("empty supported is one empty entry")
        << QByteArray("<CameraDescription ModelName=\"M\" Supported=\"\"/>")
        << QStringList { "header 0.0.0 model=M vendor= supported=1[]" };
    QTest::newRow("other root") << QByteArray("<Camera ModelName=\"M\"><CommandSet><Command><Id>"
                                              "x</Id></Command></CommandSet></Camera>")
                                << QStringList { "header 0.0.0 model= vendor= supported=0[]" };
    row("command fields in any order, unknown skipped",
        "<CommandSet><Command><Unknown><Id>no</Id></Unknown><Code>GA I</Code>"
        "<ReturnValueGet><Int><Id>g</Id><Value>9</Value></Int></ReturnValueGet>"
        "<CachedUpdate>True</CachedUpdate><Id>first</Id><Id>Gain</Id>"
        "<DeveloperOnly>True</DeveloperOnly><ParamsGet><Const><Id>i</Id>"
        "<Value>K1</Value></Const><Float><Id>f</Id></Float><String><Id>s</Id>"
        "</String></ParamsGet><ParamsGet><Int><Id>n</Id></Int></ParamsGet>"
        "</Command><Other><Id>x</Id></Other></CommandSet>",
        { "command Gain code=GA I cached=1 dev=1 set=[] get=[C:K1,S:s,I:n] rset=[] rget=[I:g]" });
    row("entries without their child",
        "<CommandSet><Command><ParamsSet><Const/><Int/><String></String></ParamsSet></Command>"
        "</CommandSet>",
        { "command  code= cached=0 dev=0 set=[C:,I:,S:] get=[] rset=[] rget=[]" });
    row("several command sets add up",
        "<CommandSet><Command><Id>a</Id></Command></CommandSet><Junk/>"
        "<CommandSet><Command><Id>b</Id></Command></CommandSet>",
        { "command a" + bare, "command b" + bare });
    row("element with only common fields is dropped", element("<Name>x</Name><Group>G</Group>"),
        {});
    row("last kind wins",
        element("<Integer><Reference>i</Reference></Integer><Name>x</Name>"
                "<Bool><TrueValue>on</TrueValue></Bool>"),
        { "element x " + kPlain + "Bool ref= true=on false=" });
    row("common fields after the kind",
        element("<String><MaximumLength>8</MaximumLength></String><Persistent>False</Persistent>"
                "<Name>s</Name><Visibility>Guru</Visibility><AccessMode>WO</AccessMode>"
                "<Cacheable>False</Cacheable><InvalidatedBy>a,b</InvalidatedBy>"
                "<ToolTip>t</ToolTip><Description>d</Description>"
                "<IsAvailable>x &lt; 1</IsAvailable><Group>A/B</Group>"),
        { "element s desc=d tip=t group=A/B Guru WO cache=0 inv=2[a|b] avail=x < 1 persist=0 "
          "String 0..8 ref=" });
    row("numbers that are not numbers read as 0",
        element("<Name>x</Name><Integer><MinimumValue>abc</MinimumValue>"
                "<MaximumValue>99999999999</MaximumValue><Increment> 5</Increment></Integer>"),
        { "element x " + kPlain + "Integer 0..0 step=5 pre= suf= ref=" });
    row("double notations and Convert",
        element("<Name>x</Name><Double><MinimumValue>1e3</MinimumValue>"
                "<MaximumValue>-.5</MaximumValue><Increment>1,5</Increment>"
                "<Multiply>7</Multiply><Convert><Multiply>2.5E-1</Multiply><Add>3</Add><Other/>"
                "</Convert><Suffix>s</Suffix><Prefix>p</Prefix><Reference>r</Reference></Double>"),
        { "element x " + kPlain + "Double 1000..-0.5 step=0 pre=p suf=s mul=0.25 add=3 ref=r" });
    row("enumeration items in order",
        element("<Name>e</Name><Enumeration><Reference>r</Reference><Items>"
                "<Item><Name>a</Name><Value>2</Value></Item><Junk/>"
                "<Item><Visibility>Developer</Visibility><Value>x</Value>"
                "<IsAvailable>q</IsAvailable><Description>d</Description></Item>"
                "</Items><Items><Item><Value>9</Value></Item></Items></Enumeration>"),
        { "element e " + kPlain
            + "Enumeration [2=a//Beginner/,0=/d/Developer/q,9=//Beginner/] ref=r" });
    row("file order kept at load",
        element("<Name>1</Name><Group>B</Group><Bool/>") + "<Display><DisplayElements>"
            + "<DisplayElement><Name>2</Name><Group>A</Group><Bool/></DisplayElement>"
            + "<DisplayElement><Name>3</Name><Group>B</Group><Bool/></DisplayElement>"
            + "</DisplayElements></Display>",
        { boolIn("1", "B"), boolIn("2", "A"), boolIn("3", "B") });
    row("groups",
        "<Display><Groups><Group><Collapsed>True</Collapsed><Name>A</Name></Group>"
        "<Group><Name>B</Name></Group><Group><Collapsed>True</Collapsed></Group>"
        "<Group><Name>C</Name><Collapsed>False</Collapsed></Group><Junk/></Groups></Display>",
        { "group  expanded=0", "group A expanded=0", "group B expanded=1", "group C expanded=1" });
    row("broken inside a command keeps it",
        "<CommandSet><Command><Id>a</Id></Command><Command><Id>b</Id><Code>BB</Code>"
        "<ParamsSet><Int><Id>p</Id></Int><Int><Id>q</I",
        { "command a" + bare,
            "command b code=BB cached=0 dev=0 set=[I:p,I:q] get=[] rset=[] rget=[]" });
    row("broken inside an element keeps it",
        "<Display><DisplayElements><DisplayElement><Name>n</Name><Integer>"
        "<MinimumValue>3</MinimumValue><Bad attr=></Integer>",
        { "element n " + kPlain + "Integer 3..0 step=1 pre= suf= ref=" });
    row("mismatched tag stops reading",
        "<CommandSet><Command><Id>a</Id></Commmand><Command><Id>b</Id></Command></CommandSet>",
        { "command a" + bare });
    row("comments and text are ignored",
        "text<!-- c --><?pi x?><CommandSet> <Command><Id><!--c-->a</Id></Command></CommandSet>",
        { "command a" + bare });
    row("child element inside a text field is skipped",
        "<CommandSet><Command><Id>a<b>zz</b>c</Id></Command></CommandSet>",
        { "command ac" + bare });
}

void TestDescriptionFile::reader()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, expected);
    CameraDescriptionFile file;
    readBytes(file, xml);
    QCOMPARE(summary(file), expected);
}

void TestDescriptionFile::lazyLoading()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("lazy.xml");
    CameraDescriptionFile file(path);
    QVERIFY(!file.isValid());
    QVERIFY(!file.isHeaderLoaded() && !file.isFullyLoaded());
    QVERIFY(!QFile::exists(path));

    // A failed open is tried again; only the header is read for header questions.
    QVERIFY(writeFile(path, readAll(demoPath("MX-2000.xml"))));
    QCOMPARE(file.modelName(), QString("MX"));
    QVERIFY(file.isHeaderLoaded());
    QVERIFY(!file.isFullyLoaded());
    QCOMPARE(file.supportedModels(), (QStringList { "2000", "2000C" }));
    qint32 major, minor, subMinor;
    file.version(major, minor, subMinor);
    QCOMPARE(QList<int>({ major, minor, subMinor }), QList<int>({ 2, 1, 3 }));

    // The header stays as read until the body is needed; group states set meanwhile add up
    // with those of the file, the file's winning. Elements added meanwhile are dropped by the
    // loading but stay readable (checked under ASan).
    QVERIFY(writeFile(path,
        wrap("<Display><Groups><Group><Name>A</Name><Collapsed>True</Collapsed></Group>"
             "</Groups></Display>"
            + element("<Name>x</Name><Bool/>"))));
    file.setGroupExpanded("A", true);
    file.setGroupExpanded("Mine", false);
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

void TestDescriptionFile::roundTrip_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("virtual device") << demoPath("VirtualDevice.xml");
    QTest::newRow("MX-2000") << demoPath("MX-2000.xml");
    QTest::newRow("rich model") << QString();
}

void TestDescriptionFile::roundTrip()
{
    QFETCH(QString, source);
    QTemporaryDir dir;
    const QString path = dir.filePath("saved.xml");
    CameraDescriptionFile original(source.isEmpty() ? path : source);
    if (source.isEmpty())
        buildRichModel(original);
    const QByteArray digest = original.md5Hash();
    original.setFilePath(path);
    // A longer file already there is replaced whole.
    if (!source.isEmpty())
        QVERIFY(writeFile(path, QByteArray(200000, 'x')));
    QVERIFY(original.save());
    QVERIFY(original.isHeaderLoaded() && original.isFullyLoaded());
    QCOMPARE(original.md5Hash(), digest);

    CameraDescriptionFile reread(path);
    QCOMPARE(reread.md5Hash(), digest);
    QCOMPARE(summary(reread), source.isEmpty() ? reloadedSummary(original) : summary(original));
    QCOMPARE(readAll(path), serialise(reread));
    if (!source.isEmpty())
        QCOMPARE(readAll(path), readAll(source));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { "saved.xml" });
}

void TestDescriptionFile::digestIgnoresLayout()
{
    const QByteArray canonical = readAll(demoPath("VirtualDevice.xml"));
    QVERIFY(!canonical.isEmpty());
    QByteArray flat = canonical;
    flat.replace(QByteArray("\n"), QByteArray());
    flat = QString::fromUtf8(flat).replace(QRegularExpression(">\\s+<"), "><").toUtf8();
    QByteArray tabs = canonical;
    tabs.replace("    ", "\t");
    tabs.replace("<Command>", "<Command   >");
    tabs.replace("\"", "'");
    tabs.replace("<ParamsSet/>", "<ParamsSet></ParamsSet>");
    QVERIFY(flat != canonical && tabs != canonical);

    QTemporaryDir dir;
    for (const QByteArray &bytes : { canonical, flat, tabs }) {
        const QString path = dir.filePath(QString("v%1.xml").arg(bytes.size()));
        QVERIFY(writeFile(path, bytes));
        CameraDescriptionFile file(path);
        QCOMPARE(file.md5Hash(), QCryptographicHash::hash(canonical, QCryptographicHash::Md5));
    }
}

void TestDescriptionFile::exportDropsDeveloperItems()
{
    QTemporaryDir dir;
    const QString own = dir.filePath("own.xml");
    const QString target = dir.filePath("export.xml");
    CameraDescriptionFile file(own);
    buildRichModel(file);
    QVERIFY(file.exportTo(target));
    QCOMPARE(file.filePath(), own);
    QVERIFY(!file.isHeaderLoaded());
    QVERIFY(!file.isFullyLoaded());
    QVERIFY(!QFile::exists(own));

    // Expected: the same model with the developer items taken out by hand.
    CameraDescriptionFile expected;
    buildRichModel(expected);
    expected.removeCommand("Secret");
    expected.removeDisplayElement("Hidden dev");
    static_cast<EnumerationElement *>(expected.displayElement("Enum"))->items.removeLast();
    // The state of group D, used only by the left-out developer element, is still written.
    CameraDescriptionFile exported(target);
    QCOMPARE(summary(exported), reloadedSummary(expected));
}

void TestDescriptionFile::saveFailureLeavesEverythingAlone_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("target is a directory") << "directory";
    QTest::newRow("missing folder") << "missingFolder";
    QTest::newRow("empty path") << "empty";
    QTest::newRow("unwritable system file") << "proc";
    QTest::newRow("write fails halfway") << "sizeLimit";
}

void TestDescriptionFile::saveFailureLeavesEverythingAlone()
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
    buildRichModel(file);
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

void TestDescriptionFile::unreadableFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty file") << "empty";
    QTest::newRow("directory named xml") << "directory";
    // Permission bits do not stop root, so unreadable paths are made from links and files.
    QTest::newRow("dangling symbolic link") << "dangling";
    QTest::newRow("only a declaration") << "declaration";
}

void TestDescriptionFile::unreadableFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath("d.xml");
    if (kind == "empty") {
        QVERIFY(writeFile(path, QByteArray()));
    } else if (kind == "directory") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(dir.filePath("gone.xml"), path));
    } else if (kind == "declaration") {
        QVERIFY(writeFile(path, kHead));
    }
    CameraDescriptionFile file(path);
    QVERIFY(!file.isValid());
    QVERIFY(file.modelName().isEmpty());
    QVERIFY(file.commands().isEmpty());
    QVERIFY(file.displayElements().isEmpty());
    QCOMPARE(file.md5Hash().size(), 16);
    const bool opens = kind == "empty" || kind == "declaration";
    QCOMPARE(file.isFullyLoaded(), opens);
}

void TestDescriptionFile::everyTruncation_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("step");
    QTest::newRow("every prefix of MX-2000") << demoPath("MX-2000.xml") << 1;
    QTest::newRow("dense sample of the virtual device") << demoPath("VirtualDevice.xml") << 11;
}

void TestDescriptionFile::everyTruncation()
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

    // Prefixes through the file path as well, sampled.
    QTemporaryDir dir;
    for (int length = 0; length <= full.size(); length += 997) {
        const QString path = dir.filePath(QString("t%1.xml").arg(length));
        QVERIFY(writeFile(path, full.left(length)));
        CameraDescriptionFile file(path);
        QCOMPARE(file.md5Hash(),
            QCryptographicHash::hash(readAndSerialise(full.left(length)), QCryptographicHash::Md5));
    }
}

void TestDescriptionFile::randomByteFlips()
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
        QVERIFY2(readAndSerialise(written) == written, qPrintable(QString("round %1").arg(round)));
    }
}

void TestDescriptionFile::deepNesting_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("commands");

    const QByteArray head = "<CameraDescription ModelName=\"Deep\"><CommandSet>";
    const QByteArray tail = "<Command><Id>after</Id></Command></CommandSet></CameraDescription>";
    QTest::newRow("skipped unknown element") << head << tail << true << 1;
    QTest::newRow("inside a command") << head + "<Command><Id>c</Id>"
                                      << "</Command>" + tail << true << 2;
    QTest::newRow("inside a text field") << head + "<Command><Id>c"
                                         << "</Id></Command>" + tail << true << 2;
    QTest::newRow("never closed") << head + "<Command><Id>c</Id>" << QByteArray() << false << 1;
}

void TestDescriptionFile::deepNesting()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, closed);
    QFETCH(int, commands);

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

void TestDescriptionFile::entityExpansionBomb()
{
    QByteArray dtd = "<?xml version=\"1.0\"?>\n<!DOCTYPE CameraDescription [\n"
                     "<!ENTITY e0 \"lollollollollollollollollollol\">\n";
    for (int i = 1; i < 12; ++i)
        dtd += QString("<!ENTITY e%1 \"&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;&e%2;\">\n")
                   .arg(i)
                   .arg(i - 1)
                   .toLatin1();
    dtd += "]>\n";
    const QByteArray body = "<CameraDescription ModelName=\"M\"><CommandSet><Command><Id>ok</Id>"
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

void TestDescriptionFile::tool_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@name" is a file in a scratch folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

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
    QTest::newRow("summary of a folder, sorted by name")
        << QStringList { demoPath(QString()) } << 0 << "MX-2000.xml\n  model:     MX\n"
        << QString();
    QTest::newRow("summary of the virtual device")
        << QStringList { demoPath(QString()) } << 0 << summary << QString();
    QTest::newRow("summary of a missing folder")
        << QStringList { "/no/such/folder" } << 1 << QString()
        << "no such file or folder: /no/such/folder";
    QTest::newRow("export") << QStringList { "--export", demo, "@out.xml" } << 0 << QString()
                            << QString();
    QTest::newRow("export to an unwritable target")
        << QStringList { "--export", demo, "@plain/out.xml" } << 1 << QString() << "cannot write";
    QTest::newRow("export of a missing input") << QStringList { "--export", "@missing.xml",
        "@out.xml" } << 1 << QString() << "cannot read";
    QTest::newRow("export of something else") << QStringList { "--export", "@plain", "@out.xml" }
                                              << 1 << QString() << "not a valid description";
}

void TestDescriptionFile::tool()
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

QTEST_GUILESS_MAIN(TestDescriptionFile)
#include "tst_descriptionfile.moc"
