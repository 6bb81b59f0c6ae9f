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

class TestDescriptionModel : public QObject
{
    Q_OBJECT

private slots:
    void textConversions_data();
    void textConversions();

    void commandEditing();

    void sortElements_data();
    void sortElements();
    void moves_data();
    void moves();
    void groupStates();

    void elementLookupAndLifetime();
    void elementsDroppedByLoadStayValid();
    void cloneAndEquals_data();
    void cloneAndEquals();
};

void TestDescriptionModel::textConversions_data()
{
    // A null text only checks the way back from the value.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("back");
    QTest::addColumn<QStringList>("lines");

    const QStringList none;
    const QStringList levels { "Beginner", "Expert", "Guru", "Developer", "Hidden" };
    for (int i = 0; i < levels.size(); ++i)
        QTest::addRow("visibility %s", qPrintable(levels.at(i)))
            << "visibility" << levels.at(i) << i << levels.at(i) << none;
    QTest::newRow("visibility lower case")
        << "visibility"
        << "hidden" << 4 << "Hidden" << QStringList { "Unknown visibility string: hidden" };
    QTest::newRow("visibility empty")
        << "visibility"
        << "" << 4 << "Hidden" << QStringList { "Unknown visibility string: " };
    QTest::newRow("visibility out of range")
        << "visibility" << QString() << 5 << "Beginner" << none;
    QTest::newRow("access RO") << "access"
                               << "RO" << 0 << "RO" << none;
    QTest::newRow("access RW") << "access"
                               << "RW" << 1 << "RW" << none;
    QTest::newRow("access WO") << "access"
                               << "WO" << 2 << "WO" << none;
    QTest::newRow("access lower case")
        << "access"
        << "rw" << 0 << "RO" << QStringList { "Unknown access mode string: rw" };
    QTest::newRow("access out of range") << "access" << QString() << -1 << "RW" << none;
    QTest::newRow("bool True") << "bool"
                               << "True" << 1 << "True" << none;
    QTest::newRow("bool False") << "bool"
                                << "False" << 0 << "False" << none;
    QTest::newRow("bool empty is quietly false") << "bool"
                                                 << "" << 0 << "False" << none;
    QTest::newRow("bool lower case")
        << "bool"
        << "true" << 0 << "False" << QStringList { "Unknown bool string: true" };
}

void TestDescriptionModel::textConversions()
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

void TestDescriptionModel::commandEditing()
{
    CameraDescriptionFile file;
    Command gain = command("Gain", "GAI");
    gain.paramsSet.append({ CommandParameterType::Int, "Gain", {} });
    file.addCommand(gain);
    file.addCommand(command("Exposure", "EXP"));
    file.addCommand(command("Gain", "SECOND"));
    QVERIFY(!file.hasCommand("gain"));
    QCOMPARE(file.command("gain"), Command());
    QCOMPARE(file.command("Gain"), gain);

    // Replacing and removing work on the first command of an id, in place.
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

void TestDescriptionModel::sortElements_data()
{
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("unsortedLine");
    QTest::addColumn<QStringList>("groups");

    QTest::newRow("sub-group after parent's own elements")
        << QStringList { "ab1:A/B", "b1:B", "a1:A", "ab2:A/B" }
        << QStringList { "a1", "ab1", "ab2", "b1" } << false << QStringList { "A", "A/B", "B" };
    QTest::newRow("first appearance fixes order")
        << QStringList { "b1:B", "a1:A", "b2:B", "c1:C" } << QStringList { "b1", "b2", "a1", "c1" }
        << false << QStringList { "A", "B", "C" };
    QTest::newRow("empty group goes last")
        << QStringList { "e1:", "a1:A", "e2:", "b1:B" } << QStringList { "a1", "b1", "e1", "e2" }
        << true << QStringList { "", "A", "B" };
    QTest::newRow("A and A/ are different groups")
        << QStringList { "slash:A/", "plain:A", "sub:A/B" }
        << QStringList { "plain", "slash", "sub" } << false << QStringList { "A", "A/", "A/B" };
    QTest::newRow("empty part in the middle")
        << QStringList { "x:A//B", "y:A", "z:A/B" } << QStringList { "y", "x", "z" } << false
        << QStringList { "A", "A//B", "A/B" };
    QTest::newRow("leading slash is never placed")
        << QStringList { "lead:/B", "b:B" } << QStringList { "b", "lead" } << true
        << QStringList { "/B", "B" };
    QTest::newRow("deep path, parents only through elements")
        << QStringList { "d:A/B/C/D", "a:A", "c:A/B/C" } << QStringList { "a", "c", "d" } << false
        << QStringList { "A", "A/B/C", "A/B/C/D" };
    QTest::newRow("stable within group, names in code order") << QStringList { "3:g", "1:H", "2:g",
        "0:g" } << QStringList { "3", "2", "0", "1" } << false << QStringList { "H", "g" };
    QTest::newRow("no elements") << QStringList() << QStringList() << false << QStringList();
}

void TestDescriptionModel::sortElements()
{
    QFETCH(QStringList, elements);
    QFETCH(QStringList, expected);
    QFETCH(bool, unsortedLine);
    QFETCH(QStringList, groups);

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

void TestDescriptionModel::moves_data()
{
    QTest::addColumn<QStringList>("elements");
    QTest::addColumn<QString>("move");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");

    const QStringList mixed { "x1:A", "y:B", "x2:A" };
    const QStringList abc { "a:A", "b:B", "c:C" };
    QTest::newRow("element up over another group") << mixed << "elementUp"
                                                   << "x2" << QStringList { "x2", "x1", "y" };
    QTest::newRow("element down over another group") << mixed << "elementDown"
                                                     << "x1" << QStringList { "y", "x2", "x1" };
    QTest::newRow("last of group down") << QStringList { "e1:G", "e2:G" } << "elementDown"
                                        << "e2" << QStringList { "e1", "e2" };
    QTest::newRow("first of group up") << mixed << "elementUp"
                                       << "x1" << QStringList { "x1", "y", "x2" };
    QTest::newRow("unknown element") << mixed << "elementUp"
                                     << "nobody" << QStringList { "x1", "y", "x2" };
    QTest::newRow("group up") << abc << "groupUp"
                              << "B" << QStringList { "b", "a", "c" };
    QTest::newRow("group down") << abc << "groupDown"
                                << "B" << QStringList { "a", "c", "b" };
    QTest::newRow("first group up") << abc << "groupUp"
                                    << "A" << QStringList { "a", "b", "c" };
    QTest::newRow("unknown group still re-sorts")
        << QStringList { "b1:B", "a:A", "b2:B" } << "groupUp"
        << "Q" << QStringList { "b1", "b2", "a" };
    QTest::newRow("sub-group up") << QStringList { "x:A/X", "y:A/Y", "a:A", "b:B" } << "groupUp"
                                  << "A/Y" << QStringList { "a", "y", "x", "b" };
    QTest::newRow("sub-group moves with parent")
        << QStringList { "a:A", "x:A/X", "b:B" } << "groupUp"
        << "B" << QStringList { "b", "a", "x" };
    QTest::newRow("unknown parent") << QStringList { "x:A/X", "y:A/Y" } << "groupUp"
                                    << "Q/Y" << QStringList { "x", "y" };
    QTest::newRow("sub-group down past the end")
        << QStringList { "x:A/X", "y:A/Y", "b:B" } << "groupDown"
        << "A/Y" << QStringList { "x", "y", "b" };
}

void TestDescriptionModel::moves()
{
    QFETCH(QStringList, elements);
    QFETCH(QString, move);
    QFETCH(QString, name);
    QFETCH(QStringList, expected);

    CameraDescriptionFile file;
    fill(file, elements);
    if (move == "elementUp")
        file.moveElementUp(name);
    else if (move == "elementDown")
        file.moveElementDown(name);
    else if (move == "groupUp")
        file.moveGroupUp(name);
    else
        file.moveGroupDown(name);
    QCOMPARE(names(file), expected);
}

void TestDescriptionModel::groupStates()
{
    CameraDescriptionFile file;
    QVERIFY(file.isGroupExpanded("never mentioned"));
    file.setGroupExpanded("A", false);
    file.setGroupExpanded("A/B", true);
    QVERIFY(!file.isGroupExpanded("A"));
    QVERIFY(file.isGroupExpanded("A/B"));
    QVERIFY(file.isGroupExpanded("A/"));
    QCOMPARE(file.groupStates().size(), 2);
}

void TestDescriptionModel::elementLookupAndLifetime()
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
    QCOMPARE(old->type(), DisplayElementType::Integer);

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

void TestDescriptionModel::cloneAndEquals_data()
{
    // Each element differs from a fresh one of its kind in a field of that kind only.
    QTest::addColumn<QSharedPointer<DisplayElement>>("element");
    QTest::addColumn<QSharedPointer<DisplayElement>>("fresh");

    auto row = [](const char *name, DisplayElement *e, DisplayElement *fresh) {
        e->name = fresh->name = "n";
        e->group = fresh->group = "g/h";
        e->visibility = fresh->visibility = Visibility::Guru;
        e->invalidatedBy = fresh->invalidatedBy = QStringList { "x", "y" };
        QTest::newRow(name) << QSharedPointer<DisplayElement>(e)
                            << QSharedPointer<DisplayElement>(fresh);
    };
    auto *c = new CommandElement;
    c->buttonText = "Go";
    row("Command", c, new CommandElement);
    auto *b = new BoolElement;
    b->falseValue = "0";
    row("Bool", b, new BoolElement);
    auto *i = new IntegerElement;
    i->increment = 2;
    row("Integer", i, new IntegerElement);
    auto *d = new DoubleElement;
    d->convertAdd = 3;
    row("Double", d, new DoubleElement);
    auto *s = new StringElement;
    s->maximumLength = 9;
    row("String", s, new StringElement);
    auto *e = new EnumerationElement;
    e->items.append({ 3, "three", "third", Visibility::Developer, "x" });
    row("Enumeration", e, new EnumerationElement);
    auto *l = new ListElement;
    l->index = "i";
    row("List", l, new ListElement);
    auto *r = new RoiElement;
    r->setCommand = "S";
    row("ROI", r, new RoiElement);
}

void TestDescriptionModel::cloneAndEquals()
{
    QFETCH(QSharedPointer<DisplayElement>, element);
    QFETCH(QSharedPointer<DisplayElement>, fresh);
    QScopedPointer<DisplayElement> copy(element->clone());
    QCOMPARE(copy->type(), element->type());
    QVERIFY(copy->equals(*element));
    QVERIFY(!fresh->equals(*element));
    copy->invalidatedBy.append("z");
    QVERIFY(!copy->equals(*element));

    // A different kind with the same common fields is never equal.
    CommandElement other;
    other.copyCommonFrom(*element);
    if (element->type() != DisplayElementType::Command)
        QVERIFY(!other.equals(*element) && !element->equals(other));
}

QTEST_GUILESS_MAIN(TestDescriptionModel)
#include "tst_descriptionmodel.moc"
