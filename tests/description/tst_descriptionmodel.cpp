#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/descriptiontext.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(QSharedPointer<DisplayElement>)

namespace {

// Collects the debug lines written while it exists.
class MessageCapture
{
public:
    MessageCapture()
    {
        sLines.clear();
        mPrevious = qInstallMessageHandler(&MessageCapture::handler);
    }
    ~MessageCapture() { qInstallMessageHandler(mPrevious); }
    QStringList lines() const { return sLines; }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        sLines.append(message);
    }
    static QStringList sLines;
    QtMessageHandler mPrevious;
};
QStringList MessageCapture::sLines;

const char *const kSortLine = "applyGroupTree: Not all elements where correctly sorted";

DisplayElement *element(const QString &name, const QString &group)
{
    auto *e = new IntegerElement;
    e->name = name;
    e->group = group;
    return e;
}

// "name:group" entries; the file is fresh, so nothing is read from disk.
void fill(CameraDescriptionFile &file, const QStringList &entries)
{
    QList<DisplayElement *> elements;
    for (const QString &entry : entries) {
        const int colon = entry.indexOf(QLatin1Char(':'));
        auto *e = element(entry.left(colon), entry.mid(colon + 1));
        // replaceDisplayElement appends without re-sorting, which keeps the given order.
        file.replaceDisplayElement(nullptr, e);
    }
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

class TestDescriptionModel : public QObject
{
    Q_OBJECT

private slots:
    void visibilityFromText_data();
    void visibilityFromText();
    void accessModeFromText_data();
    void accessModeFromText();
    void boolFromText_data();
    void boolFromText();
    void enumerationsToText();

    void freshObjectIsEmptyAndTouchesNoFile();
    void commandLookupAndEditing();
    void replaceUnknownCommandWritesLineAndChangesNothing();

    void sortElements_data();
    void sortElements();
    void addDisplayElementResorts();
    void moveElement_data();
    void moveElement();
    void moveGroup_data();
    void moveGroup();
    void groupNames_data();
    void groupNames();
    void groupStates();

    void displayElementLookup();
    void replacedAndRemovedElementsStayValid();
    void elementsDroppedByLoadStayValid();
    void cloneCopiesEveryField_data();
    void cloneCopiesEveryField();
};

void TestDescriptionModel::visibilityFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Visibility>("expected");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("Beginner") << "Beginner" << Visibility::Beginner << QStringList();
    QTest::newRow("Expert") << "Expert" << Visibility::Expert << QStringList();
    QTest::newRow("Guru") << "Guru" << Visibility::Guru << QStringList();
    QTest::newRow("Developer") << "Developer" << Visibility::Developer << QStringList();
    QTest::newRow("Hidden") << "Hidden" << Visibility::Hidden << QStringList();
    QTest::newRow("lower case") << "hidden" << Visibility::Hidden
                                << QStringList { "Unknown visibility string: hidden" };
    QTest::newRow("upper case") << "BEGINNER" << Visibility::Hidden
                                << QStringList { "Unknown visibility string: BEGINNER" };
    QTest::newRow("empty") << "" << Visibility::Hidden
                           << QStringList { "Unknown visibility string: " };
    QTest::newRow("number") << "0" << Visibility::Hidden
                            << QStringList { "Unknown visibility string: 0" };
}

void TestDescriptionModel::visibilityFromText()
{
    QFETCH(QString, text);
    QFETCH(Visibility, expected);
    QFETCH(QStringList, lines);
    MessageCapture capture;
    QCOMPARE(DescriptionText::toVisibility(text), expected);
    QCOMPARE(capture.lines(), lines);
}

void TestDescriptionModel::accessModeFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<AccessMode>("expected");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("RO") << "RO" << AccessMode::RO << QStringList();
    QTest::newRow("RW") << "RW" << AccessMode::RW << QStringList();
    QTest::newRow("WO") << "WO" << AccessMode::WO << QStringList();
    QTest::newRow("lower case") << "rw" << AccessMode::RO
                                << QStringList { "Unknown access mode string: rw" };
    QTest::newRow("empty") << "" << AccessMode::RO
                           << QStringList { "Unknown access mode string: " };
}

void TestDescriptionModel::accessModeFromText()
{
    QFETCH(QString, text);
    QFETCH(AccessMode, expected);
    QFETCH(QStringList, lines);
    MessageCapture capture;
    QCOMPARE(DescriptionText::toAccessMode(text), expected);
    QCOMPARE(capture.lines(), lines);
}

void TestDescriptionModel::boolFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("True") << "True" << true << QStringList();
    QTest::newRow("False") << "False" << false << QStringList();
    QTest::newRow("empty") << "" << false << QStringList();
    QTest::newRow("false") << "false" << false << QStringList { "Unknown bool string: false" };
    QTest::newRow("true") << "true" << false << QStringList { "Unknown bool string: true" };
    QTest::newRow("1") << "1" << false << QStringList { "Unknown bool string: 1" };
}

void TestDescriptionModel::boolFromText()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QFETCH(QStringList, lines);
    MessageCapture capture;
    QCOMPARE(DescriptionText::toBool(text), expected);
    QCOMPARE(capture.lines(), lines);
}

void TestDescriptionModel::enumerationsToText()
{
    const QStringList visibilities { "Beginner", "Expert", "Guru", "Developer", "Hidden" };
    for (int i = 0; i < visibilities.size(); ++i)
        QCOMPARE(DescriptionText::fromVisibility(static_cast<Visibility>(i)), visibilities.at(i));
    QCOMPARE(DescriptionText::fromVisibility(static_cast<Visibility>(5)), QString("Beginner"));
    QCOMPARE(DescriptionText::fromVisibility(static_cast<Visibility>(-1)), QString("Beginner"));

    QCOMPARE(DescriptionText::fromAccessMode(AccessMode::RO), QString("RO"));
    QCOMPARE(DescriptionText::fromAccessMode(AccessMode::RW), QString("RW"));
    QCOMPARE(DescriptionText::fromAccessMode(AccessMode::WO), QString("WO"));
    QCOMPARE(DescriptionText::fromAccessMode(static_cast<AccessMode>(3)), QString("RW"));
    QCOMPARE(DescriptionText::fromAccessMode(static_cast<AccessMode>(-1)), QString("RW"));

    QCOMPARE(DescriptionText::fromBool(true), QString("True"));
    QCOMPARE(DescriptionText::fromBool(false), QString("False"));
}

void TestDescriptionModel::freshObjectIsEmptyAndTouchesNoFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sub/never.xml");
    CameraDescriptionFile file(path);
    QCOMPARE(file.filePath(), path);
    QCOMPARE(file.fileName(), QString("never.xml"));
    QVERIFY(!file.isHeaderLoaded());
    QVERIFY(!file.isFullyLoaded());
    QVERIFY(!file.isValid());
    qint32 major = -1, minor = -1, subMinor = -1;
    file.version(major, minor, subMinor);
    QCOMPARE(major, 0);
    QCOMPARE(minor, 0);
    QCOMPARE(subMinor, 0);
    QVERIFY(file.supportedModels().isEmpty());
    QVERIFY(file.commands().isEmpty());
    QVERIFY(file.displayElements().isEmpty());
    QVERIFY(!file.isHeaderLoaded());
    QVERIFY(!file.isFullyLoaded());
    QVERIFY(!QFile::exists(path));

    const Command unknown = file.command("nothing");
    QVERIFY(unknown.id.isEmpty());
    QVERIFY(unknown.code.isEmpty());
    QVERIFY(unknown.paramsSet.isEmpty() && unknown.paramsGet.isEmpty());
    QVERIFY(unknown.returnValueSet.isEmpty() && unknown.returnValueGet.isEmpty());
    QVERIFY(file.isGroupExpanded("never mentioned"));

    file.setFilePath("/elsewhere/other.xml");
    QCOMPARE(file.fileName(), QString("other.xml"));
    file.setModelName("M");
    QVERIFY(file.isValid());
}

void TestDescriptionModel::commandLookupAndEditing()
{
    CameraDescriptionFile file;
    Command gain = command("Gain", "GAI");
    gain.paramsSet.append({ CommandParameterType::Int, "Gain", {} });
    file.addCommand(gain);
    file.addCommand(command("Exposure", "EXP"));
    file.addCommand(command("Gain", "SECOND"));

    QVERIFY(file.hasCommand("Gain"));
    QVERIFY(!file.hasCommand("gain"));
    QCOMPARE(file.command("Gain"), gain);

    Command replacement = command("Amplification", "AMP");
    replacement.cachedUpdate = true;
    replacement.returnValueGet.append({ CommandParameterType::Const, {}, "1" });
    file.replaceCommand("Gain", replacement);
    QStringList ids;
    for (const Command &c : file.commands())
        ids.append(c.id);
    QCOMPARE(ids, (QStringList { "Amplification", "Exposure", "Gain" }));
    QCOMPARE(file.command("Amplification"), replacement);
    QCOMPARE(file.command("Gain").code, QByteArray("SECOND"));

    file.removeCommand("Exposure");
    file.removeCommand("Unknown");
    QCOMPARE(file.commands().size(), 2);
    file.removeCommand("Amplification");
    QCOMPARE(file.commands().size(), 1);
    QCOMPARE(file.commands().first().code, QByteArray("SECOND"));
}

void TestDescriptionModel::replaceUnknownCommandWritesLineAndChangesNothing()
{
    CameraDescriptionFile file;
    file.addCommand(command("A", "AAA"));
    MessageCapture capture;
    file.replaceCommand("B", command("C", "CCC"));
    QCOMPARE(capture.lines(), QStringList { "Failed to find command to replace: B" });
    QCOMPARE(file.commands().size(), 1);
    QCOMPARE(file.commands().first(), command("A", "AAA"));
}

void TestDescriptionModel::sortElements_data()
{
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("unsortedLine");

    QTest::newRow("sub-group after parent's own elements")
        << QStringList { "ab1:A/B", "b1:B", "a1:A", "ab2:A/B" }
        << QStringList { "a1", "ab1", "ab2", "b1" } << false;
    QTest::newRow("first appearance fixes order")
        << QStringList { "b1:B", "a1:A", "b2:B", "c1:C" } << QStringList { "b1", "b2", "a1", "c1" }
        << false;
    QTest::newRow("empty group goes last") << QStringList { "e1:", "a1:A", "e2:", "b1:B" }
                                           << QStringList { "a1", "b1", "e1", "e2" } << true;
    QTest::newRow("A and A/ are different groups")
        << QStringList { "slash:A/", "plain:A", "sub:A/B" }
        << QStringList { "plain", "slash", "sub" } << false;
    QTest::newRow("empty part in the middle")
        << QStringList { "x:A//B", "y:A", "z:A/B" } << QStringList { "y", "x", "z" } << false;
    QTest::newRow("leading slash is never placed")
        << QStringList { "lead:/B", "b:B" } << QStringList { "b", "lead" } << true;
    QTest::newRow("deep path") << QStringList { "d:A/B/C/D", "a:A", "c:A/B/C" }
                               << QStringList { "a", "c", "d" } << false;
    QTest::newRow("stable within group") << QStringList { "3:G", "1:H", "2:G", "0:G" }
                                         << QStringList { "3", "2", "0", "1" } << false;
    QTest::newRow("no elements") << QStringList() << QStringList() << false;
}

void TestDescriptionModel::sortElements()
{
    QFETCH(QStringList, elements);
    QFETCH(QStringList, expected);
    QFETCH(bool, unsortedLine);

    CameraDescriptionFile file;
    fill(file, elements);
    MessageCapture capture;
    file.sortElements();
    QCOMPARE(names(file), expected);
    QCOMPARE(capture.lines(), unsortedLine ? QStringList { kSortLine } : QStringList());
}

void TestDescriptionModel::addDisplayElementResorts()
{
    CameraDescriptionFile file;
    file.addDisplayElement(element("a1", "A"));
    file.addDisplayElement(element("b1", "B"));
    file.addDisplayElement(element("a2", "A"));
    QCOMPARE(names(file), (QStringList { "a1", "a2", "b1" }));

    MessageCapture capture;
    file.addDisplayElement(element("none", ""));
    file.addDisplayElement(element("b2", "B"));
    QCOMPARE(names(file), (QStringList { "a1", "a2", "b1", "b2", "none" }));
    QCOMPARE(capture.lines(), (QStringList { kSortLine, kSortLine }));
}

void TestDescriptionModel::moveElement_data()
{
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");

    const QStringList mixed { "x1:A", "y:B", "x2:A" };
    const QStringList three { "e1:G", "e2:G", "e3:G" };
    QTest::newRow("up over another group")
        << mixed << true << "x2" << QStringList { "x2", "x1", "y" };
    QTest::newRow("down over another group")
        << mixed << false << "x1" << QStringList { "y", "x2", "x1" };
    QTest::newRow("first down") << three << false << "e1" << QStringList { "e2", "e1", "e3" };
    QTest::newRow("last up") << three << true << "e3" << QStringList { "e1", "e3", "e2" };
    QTest::newRow("last of group down")
        << three << false << "e3" << QStringList { "e1", "e2", "e3" };
    QTest::newRow("first of group up") << mixed << true << "x1" << QStringList { "x1", "y", "x2" };
    QTest::newRow("only one in group") << mixed << false << "y" << QStringList { "x1", "y", "x2" };
    QTest::newRow("unknown name") << mixed << true << "nobody" << QStringList { "x1", "y", "x2" };
}

void TestDescriptionModel::moveElement()
{
    QFETCH(QStringList, elements);
    QFETCH(bool, up);
    QFETCH(QString, name);
    QFETCH(QStringList, expected);

    CameraDescriptionFile file;
    fill(file, elements);
    if (up)
        file.moveElementUp(name);
    else
        file.moveElementDown(name);
    QCOMPARE(names(file), expected);
}

void TestDescriptionModel::moveGroup_data()
{
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QStringList>("expected");

    const QStringList abc { "a:A", "b:B", "c:C" };
    QTest::newRow("middle up") << abc << true << "B" << QStringList { "b", "a", "c" };
    QTest::newRow("middle down") << abc << false << "B" << QStringList { "a", "c", "b" };
    QTest::newRow("first up") << abc << true << "A" << QStringList { "a", "b", "c" };
    QTest::newRow("last down") << abc << false << "C" << QStringList { "a", "b", "c" };
    QTest::newRow("unknown group still re-sorts")
        << QStringList { "b1:B", "a:A", "b2:B" } << true << "Q" << QStringList { "b1", "b2", "a" };
    QTest::newRow("first up still re-sorts")
        << QStringList { "b1:B", "a:A", "b2:B" } << true << "B" << QStringList { "b1", "b2", "a" };
    QTest::newRow("sub-group up") << QStringList { "x:A/X", "y:A/Y", "a:A", "b:B" } << true << "A/Y"
                                  << QStringList { "a", "y", "x", "b" };
    QTest::newRow("sub-group moves with parent")
        << QStringList { "a:A", "x:A/X", "b:B" } << true << "B" << QStringList { "b", "a", "x" };
    QTest::newRow("unknown parent")
        << QStringList { "x:A/X", "y:A/Y" } << true << "Q/Y" << QStringList { "x", "y" };
    QTest::newRow("sub-group down past the end") << QStringList { "x:A/X", "y:A/Y", "b:B" } << false
                                                 << "A/Y" << QStringList { "x", "y", "b" };
}

void TestDescriptionModel::moveGroup()
{
    QFETCH(QStringList, elements);
    QFETCH(bool, up);
    QFETCH(QString, group);
    QFETCH(QStringList, expected);

    CameraDescriptionFile file;
    fill(file, elements);
    if (up)
        file.moveGroupUp(group);
    else
        file.moveGroupDown(group);
    QCOMPARE(names(file), expected);
}

void TestDescriptionModel::groupNames_data()
{
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("distinct and sorted") << QStringList { "1:B", "2:A/B", "3:A", "4:B", "5:a" }
                                         << QStringList { "A", "A/B", "B", "a" };
    QTest::newRow("empty group included") << QStringList { "1:", "2:Z" } << QStringList { "", "Z" };
    QTest::newRow("parents only through elements")
        << QStringList { "1:A/B/C" } << QStringList { "A/B/C" };
    QTest::newRow("none") << QStringList() << QStringList();
}

void TestDescriptionModel::groupNames()
{
    QFETCH(QStringList, elements);
    QFETCH(QStringList, expected);
    CameraDescriptionFile file;
    fill(file, elements);
    QCOMPARE(file.groupNames(), expected);
}

void TestDescriptionModel::groupStates()
{
    CameraDescriptionFile file;
    QVERIFY(file.isGroupExpanded("A"));
    file.setGroupExpanded("A", false);
    file.setGroupExpanded("A/B", true);
    QVERIFY(!file.isGroupExpanded("A"));
    QVERIFY(file.isGroupExpanded("A/B"));
    QVERIFY(file.isGroupExpanded("A/"));
    file.setGroupExpanded("A", true);
    QVERIFY(file.isGroupExpanded("A"));
    QCOMPARE(file.groupStates().size(), 2);
}

void TestDescriptionModel::displayElementLookup()
{
    CameraDescriptionFile file;
    fill(file, { "same:A", "other:B", "same:C" });
    QVERIFY(!file.displayElement("nobody"));
    QCOMPARE(file.displayElement("same")->group, QString("A"));
    QCOMPARE(file.displayElement("other")->group, QString("B"));
    file.removeDisplayElement("same");
    QCOMPARE(file.displayElement("same")->group, QString("C"));
    file.removeDisplayElement("nobody");
    QCOMPARE(names(file), (QStringList { "other", "same" }));
}

void TestDescriptionModel::replacedAndRemovedElementsStayValid()
{
    CameraDescriptionFile file;
    fill(file, { "a:A", "b:B", "c:A" });
    DisplayElement *old = file.displayElement("b");
    auto *replacement = new BoolElement;
    replacement->copyCommonFrom(*old);
    replacement->name = "b2";
    file.replaceDisplayElement(old, replacement);
    // No re-sort: the replacement takes the old place even though A would come first.
    QCOMPARE(names(file), (QStringList { "a", "b2", "c" }));
    QVERIFY(file.displayElements().at(1) == replacement);
    // The replaced element is still owned by the file and readable (checked under ASan).
    QCOMPARE(old->name, QString("b"));
    QCOMPARE(old->type(), DisplayElementType::Integer);

    DisplayElement *removed = file.displayElement("c");
    file.removeDisplayElement("c");
    QCOMPARE(removed->group, QString("A"));

    auto *orphan = new StringElement;
    orphan->name = "orphan";
    IntegerElement notInList;
    file.replaceDisplayElement(&notInList, orphan);
    QCOMPARE(names(file), (QStringList { "a", "b2", "orphan" }));

    // Handing over an element the file already holds changes nothing (and frees nothing twice).
    file.addDisplayElement(orphan);
    file.replaceDisplayElement(replacement, orphan);
    file.replaceDisplayElement(orphan, orphan);
    QCOMPARE(names(file), (QStringList { "a", "b2", "orphan" }));
}

void TestDescriptionModel::elementsDroppedByLoadStayValid()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("d.xml");
    CameraDescriptionFile file(path);
    file.addDisplayElement(element("early", "G"));
    DisplayElement *early = file.displayElements().first();

    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("<CameraDescription ModelName=\"M\"><Display><DisplayElements><DisplayElement>"
              "<Name>fromFile</Name><Bool/></DisplayElement></DisplayElements></Display>"
              "</CameraDescription>");
    out.close();

    file.loadFully();
    QCOMPARE(names(file), QStringList { "fromFile" });
    QCOMPARE(early->name, QString("early"));
}

void TestDescriptionModel::cloneCopiesEveryField_data()
{
    QTest::addColumn<QSharedPointer<DisplayElement>>("element");
    QTest::addColumn<DisplayElementType>("type");

    auto common = [](DisplayElement *e) {
        e->name = "n";
        e->description = "d";
        e->toolTip = "t";
        e->group = "g/h";
        e->visibility = Visibility::Guru;
        e->accessMode = AccessMode::WO;
        e->cacheable = false;
        e->invalidatedBy = QStringList { "x", "y" };
        e->isAvailable = "a == 1";
        e->persistent = false;
        return QSharedPointer<DisplayElement>(e);
    };
    auto *c = new CommandElement;
    c->buttonText = "Go";
    c->reference = "Cmd";
    QTest::newRow("Command") << common(c) << DisplayElementType::Command;
    auto *b = new BoolElement;
    b->reference = "r";
    b->trueValue = "1";
    b->falseValue = "0";
    QTest::newRow("Bool") << common(b) << DisplayElementType::Bool;
    auto *i = new IntegerElement;
    i->minimumValue = -5;
    i->maximumValue = 7;
    i->increment = 2;
    i->prefix = "p";
    i->suffix = "s";
    i->reference = "r";
    QTest::newRow("Integer") << common(i) << DisplayElementType::Integer;
    auto *d = new DoubleElement;
    d->minimumValue = -1.5;
    d->maximumValue = 2.5;
    d->increment = 0.25;
    d->convertMultiply = 0.1;
    d->convertAdd = 3;
    d->reference = "r";
    QTest::newRow("Double") << common(d) << DisplayElementType::Double;
    auto *s = new StringElement;
    s->minimumLength = 1;
    s->maximumLength = 9;
    s->reference = "r";
    QTest::newRow("String") << common(s) << DisplayElementType::String;
    auto *e = new EnumerationElement;
    e->items.append({ 3, "three", "third", Visibility::Developer, "x" });
    e->reference = "r";
    QTest::newRow("Enumeration") << common(e) << DisplayElementType::Enumeration;
    auto *l = new ListElement;
    l->start = "s";
    l->end = "e";
    l->count = "256";
    l->get = "g";
    l->set = "t";
    l->index = "i";
    QTest::newRow("List") << common(l) << DisplayElementType::List;
    auto *r = new RoiElement;
    r->screenWidth = "1280";
    r->x = "X";
    r->setCommand = "S";
    QTest::newRow("ROI") << common(r) << DisplayElementType::ROI;
}

void TestDescriptionModel::cloneCopiesEveryField()
{
    QFETCH(QSharedPointer<DisplayElement>, element);
    QFETCH(DisplayElementType, type);
    QCOMPARE(element->type(), type);
    QScopedPointer<DisplayElement> copy(element->clone());
    QCOMPARE(copy->type(), type);
    QVERIFY(copy->equals(*element));
    copy->invalidatedBy.append("z");
    QVERIFY(!copy->equals(*element));

    // A different kind with the same common fields is never equal.
    CommandElement other;
    other.copyCommonFrom(*element);
    if (type != DisplayElementType::Command) {
        QVERIFY(!other.equals(*element));
        QVERIFY(!element->equals(other));
    }
}

QTEST_GUILESS_MAIN(TestDescriptionModel)
#include "tst_descriptionmodel.moc"
