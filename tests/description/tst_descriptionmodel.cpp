#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptiontext.h"
#include "description/integerelement.h"
#include "description/stringelement.h"

#include <QtTest>

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
    void textConversions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text"); // null: only the way back from the value is checked
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("back");
        QTest::addColumn<QStringList>("lines");
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
        QTest::addColumn<QStringList>("elements");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<bool>("unsortedLine");
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
        QTest::addColumn<QStringList>("elements");
        QTest::addColumn<QString>("move"); // "<operation> <element or group>"
        QTest::addColumn<QStringList>("expected");
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
        const QString operation = move.section(' ', 0, 0);
        const QString name = move.section(' ', 1);
        if (operation == "elementUp")
            file.moveElementUp(name);
        else if (operation == "elementDown")
            file.moveElementDown(name);
        else if (operation == "groupUp")
            file.moveGroupUp(name);
        else
            file.moveGroupDown(name);
        QCOMPARE(names(file), expected);
    }

    void groupStates()
    {
        // A collapsed group neither collapses its sub-groups nor names that merely begin alike.
        CameraDescriptionFile file;
        file.setGroupExpanded("A", false);
        file.setGroupExpanded("A/B", true);
        QVERIFY(file.isGroupExpanded("A/B"));
        QVERIFY(file.isGroupExpanded("A/"));
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

QTEST_GUILESS_MAIN(TestDescriptionModel)
#include "tst_descriptionmodel.moc"
