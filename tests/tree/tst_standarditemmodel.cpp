#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "tests/common/datatable.h"
#include "tests/common/filesizelimit.h"
#include "tests/engine/commthreadfixture.h"
#include "tests/engine/faketransferprogress.h"
#include "tests/ui/modalanswer.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/progressdialogtransferprogress.h"
#include "ui/standarditemmodel.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <functional>
#include <memory>

// Pieces of description files for the tree tests.
namespace TreeXml {

/// Parameters of one kind, as a command's ParamsSet, ParamsGet or ReturnValueGet holds them.
inline QString params(const QStringList &ids, const QString &kind = QStringLiteral("Int"))
{
    QString xml;
    for (const QString &id : ids)
        xml += QStringLiteral("<%1><Id>%2</Id></%1>").arg(kind, id);
    return xml;
}

inline QString cameraCommand(const QString &id, const QString &code, const QString &set = QString(),
    const QString &get = QString(), const QString &returned = QString())
{
    return QStringLiteral("<Command><Id>%1</Id><Code>%2</Code><ParamsSet>%3</ParamsSet>"
                          "<ParamsGet>%4</ParamsGet><ReturnValueGet>%5</ReturnValueGet></Command>")
        .arg(id, code, set, get, returned);
}

/// A command whose get returns paramId and whose set carries it.
inline QString valueCommand(const QString &id, const QString &code, const QString &paramId,
    const QString &kind = QStringLiteral("Int"))
{
    return cameraCommand(id, code, params({ paramId }, kind), QString(), params({ paramId }, kind));
}

/// One display element; common fields left out keep the reader's defaults.
struct Element
{
    QString name;
    QString group;
    QString kindXml; // e.g. integer("Gain")
    QString visibility = QStringLiteral("Beginner");
    QString more = QString(); // further common fields, e.g. "<Cacheable>False</Cacheable>"
};

inline QString integer(
    const QString &ref, const QString &prefix = QString(), const QString &suffix = QString())
{
    return QStringLiteral("<Integer><MinimumValue>0</MinimumValue><MaximumValue>1000</MaximumValue>"
                          "<Increment>1</Increment><Prefix>%2</Prefix><Suffix>%3</Suffix>"
                          "<Reference>%1</Reference></Integer>")
        .arg(ref, prefix, suffix);
}

inline QString boolean(const QString &ref, const QString &trueValue, const QString &falseValue)
{
    return QStringLiteral("<Bool><Reference>%1</Reference><TrueValue>%2</TrueValue>"
                          "<FalseValue>%3</FalseValue></Bool>")
        .arg(ref, trueValue, falseValue);
}

inline QString enumeration(const QString &ref)
{
    return QStringLiteral("<Enumeration><Items><Item><Value>0</Value><Name>Off</Name></Item>"
                          "<Item><Value>1</Value><Name>On</Name></Item></Items>"
                          "<Reference>%1</Reference></Enumeration>")
        .arg(ref);
}

inline QString command(const QString &ref, const QString &buttonText)
{
    return QStringLiteral("<Command><ButtonText>%2</ButtonText><Reference>%1</Reference></Command>")
        .arg(ref, buttonText);
}

/// A camera with the values Gain, Mode, Flip, Label (text) and the command Apply, plus
/// extraCommands.
inline QString document(const QList<Element> &elements, const QStringList &extraCommands = {})
{
    const QStringList commands = QStringList { valueCommand("Gain", "GAI", "Gain"),
        valueCommand("Mode", "MOD", "Mode"), valueCommand("Flip", "FLH", "Flip"),
        valueCommand("Label", "LBL", "Label", "String"), cameraCommand("Apply", "APL") }
        + extraCommands;
    QString body;
    for (const Element &e : elements) {
        body += QStringLiteral("<DisplayElement><Name>%1</Name><Group>%2</Group><Visibility>%3"
                               "</Visibility>%4%5</DisplayElement>")
                    .arg(e.name, e.group, e.visibility, e.more, e.kindXml);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<CameraDescription MajorVersion=\"1\" MinorVersion=\"0\" "
                          "SubMinorVersion=\"0\" ModelName=\"TreeCam\" Supported=\"\" "
                          "VendorName=\"Test\"><CommandSet>%1</CommandSet><Display><Groups/>"
                          "<DisplayElements>%2</DisplayElements></Display></CameraDescription>\n")
        .arg(commands.join(QString()), body);
}

} // namespace TreeXml

/// A real communication thread with one simulated camera port ("Tree") selected, a camera
/// database on it, and the parameter tree with its filter, both watched by model testers
/// through every build, show, hide and level change; descriptions come from files.
class TreeTestRig
{
    // Declared first, so that it goes last: everything below works through its thread.
    CommThreadFixture mFixture;

public:
    /// Once per test program, before the first rig.
    static void setUpProcess()
    {
        CommThreadFixture::registerDevice(QStringLiteral("Tree"));
        qRegisterMetaType<QList<QPersistentModelIndex>>();
        qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
    }

    /// False when the simulated port did not come up.
    bool start()
    {
        if (!mFixture.start(QStringLiteral("Tree")))
            return false;
        database.reset(new CameraDatabase(mFixture.comm()));
        filter.reset(new ModelHiddenItemFilter);
        model.reset(new StandardItemModel(filter.get()));
        model->reset();
        filter->setSourceModel(model.get());
        const auto mode = QAbstractItemModelTester::FailureReportingMode::QtTest;
        filterTester.reset(new QAbstractItemModelTester(filter.get(), mode));
        modelTester.reset(new QAbstractItemModelTester(model.get(), mode));
        return true;
    }

    CommunicationThreadObject *comm() const { return mFixture.comm(); }
    SimulatedCamera &camera() const { return mFixture.camera(); }

    /// Writes the document to a file, reads it and builds the tree from it.
    bool load(const QString &xml)
    {
        QFile file(mDir.filePath(QStringLiteral("tree%1.xml").arg(++mFiles)));
        if (!file.open(QIODevice::WriteOnly) || file.write(xml.toUtf8()) < 0)
            return false;
        file.close();
        // The old description stays alive until no cell points into it.
        std::unique_ptr<CameraDescriptionFile> next(new CameraDescriptionFile(file.fileName()));
        if (!next->isValid())
            return false;
        database->setDescription(next.get(), QStringLiteral("TreeCam"), QString());
        model->loadDescription(database.get(), next.get());
        description = std::move(next);
        return true;
    }

    bool load(const QList<TreeXml::Element> &elements, const QStringList &extraCommands = {})
    {
        return load(TreeXml::document(elements, extraCommands));
    }

    /// The value cell of the element called name.
    PellixItem *cell(const QString &name) const
    {
        for (PellixItem *item : model->items()) {
            if (item->name() == name)
                return item;
        }
        return nullptr;
    }

    /// The cell's index in the filter; invalid while its row is hidden.
    QModelIndex shown(const QString &name) const
    {
        PellixItem *item = cell(name);
        return item ? filter->mapFromSource(item->index()) : QModelIndex();
    }

    bool isShown(const QString &name) const { return shown(name).isValid(); }

    // Destroyed bottom-up: the model (a child of the filter) first, the description its cells
    // point into last.
    std::unique_ptr<CameraDescriptionFile> description;
    std::unique_ptr<CameraDatabase> database;
    std::unique_ptr<ModelHiddenItemFilter> filter;
    std::unique_ptr<StandardItemModel> model;
    std::unique_ptr<QAbstractItemModelTester> filterTester;
    std::unique_ptr<QAbstractItemModelTester> modelTester;

private:
    QTemporaryDir mDir;
    int mFiles = 0;
};

using TreeXml::Element;
using TreeXml::integer;

/// Stands in for the value editor of a row: records what the tree tells it.
class FakeValueEditor : public QWidget
{
    Q_OBJECT

public:
    QVariantList values;

public slots:
    void updateValue(const QVariant &value) { values.append(value); }
};

// The filter of the tree (row numbering, mapping both ways, layout signals, following its source);
// the tree's rows, levels, groups, timer and cell behaviour on a description file and the real
// database (values put into its cache where a test needs them); then against the simulated
// camera behind the real communication thread: values read and written on the wire,
// invalidation, refresh, transfers and settings files.
class TestStandardItemModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TreeTestRig::setUpProcess(); }

    void init()
    {
        AppSettings::instance().updateDelay = 5000;
        mRig.reset(new TreeTestRig);
        QVERIFY(mRig->start());
        // Empty answers are repeated by the port's retries; a value keeps each exchange single.
        mRig->camera().setValue("MOD", "0");
        mRig->camera().setValue("LBL", "\"x");
        // The filter alone, on a plain QStandardItemModel.
        mSource = new QStandardItemModel(this);
        mSource->setHorizontalHeaderLabels({ "Name", "Value" });
        mFilter = new ModelHiddenItemFilter(this);
        mFilter->setSourceModel(mSource);
        mTester = new QAbstractItemModelTester(
            mFilter, QAbstractItemModelTester::FailureReportingMode::QtTest, this);
    }

    void cleanup()
    {
        mRig.reset();
        delete mTester;
        delete mFilter;
        delete mSource;
    }

    void eachChangeIsOneLayoutChange()
    {
        // Single cells are shown here, which leaves half rows: not for the model tester.
        delete mTester;
        mTester = nullptr;
        QStandardItem *item = addRow("item");
        QStandardItem loose("loose");
        QStandardItemModel other;
        other.appendRow(new QStandardItem("elsewhere"));
        QSignalSpy about(mFilter, &QAbstractItemModel::layoutAboutToBeChanged);
        QSignalSpy changed(mFilter, &QAbstractItemModel::layoutChanged);

        mFilter->showItem(item);
        mFilter->showItem(item);
        QCOMPARE(changed.count(), 1);
        mFilter->hideItem(item);
        QCOMPARE(changed.count(), 2);
        // Items of no or another model are ignored.
        mFilter->showItem(&loose);
        mFilter->showItem(other.item(0));
        mFilter->showItem(nullptr);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(mFilter->rowCount(), 0);
        QVERIFY(!mFilter->mapFromSource(other.index(0, 0)).isValid());
        mFilter->showItem(item);
        mFilter->clear();
        QCOMPARE(changed.count(), 4);
        QCOMPARE(about.count(), 4);
    }

    void indexesAndDataChangesFollowTheirItems()
    {
        for (int i = 0; i < 5; ++i)
            setRowShown(addRow(QString("e%1").arg(i)), true);
        const QPersistentModelIndex third(mFilter->index(3, 1));
        const QPersistentModelIndex last(mFilter->index(4, 0));
        QSignalSpy spy(mFilter, &QAbstractItemModel::dataChanged);

        setRowShown(mSource->item(1), false);
        QCOMPARE(third.row(), 2);
        QCOMPARE(third.data().toString(), QString("e3=v"));
        QCOMPARE(last.row(), 3);

        mSource->item(4, 1)->setText("new");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toModelIndex(), mFilter->index(3, 1));
        QCOMPARE(mFilter->index(3, 1).data().toString(), QString("new"));
        // A range with a hidden corner reports only its shown cells.
        emit mSource->dataChanged(mSource->index(0, 0), mSource->index(1, 1));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toModelIndex(), mFilter->index(0, 0));
        QCOMPARE(spy.at(1).at(1).toModelIndex(), mFilter->index(0, 1));

        setRowShown(mSource->item(3), false);
        QVERIFY(!third.isValid());
        QCOMPARE(last.row(), 2);
        QCOMPARE(last.data().toString(), QString("e4"));
    }

    void removedAndResetSourceRowsLeaveTheFilter()
    {
        QStandardItem *group = addRow("group");
        QStandardItem *sub = addRow(group, "sub");
        QStandardItem *keep = addRow(group, "keep");
        QStandardItem *leaf = addRow(sub, "leaf");
        for (QStandardItem *item : { group, sub, keep, leaf })
            setRowShown(item, true);
        const QPersistentModelIndex proxyLeaf(mFilter->mapFromSource(leaf->index()));
        QVERIFY(proxyLeaf.isValid());
        QSignalSpy changed(mFilter, &QAbstractItemModel::layoutChanged);

        group->removeRow(sub->row()); // deletes sub and leaf

        QCOMPARE(changed.count(), 1);
        QVERIFY(!proxyLeaf.isValid());
        QCOMPARE(mFilter->shownCount(), 4);
        QCOMPARE(shownTree(mFilter), QString("group[keep]"));

        // A reset of the source resets the filter, which then works on the rebuilt source.
        mFilter->showItem(mSource->invisibleRootItem());
        QSignalSpy reset(mFilter, &QAbstractItemModel::modelReset);
        mSource->clear();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(mFilter->rowCount(), 0);
        QCOMPARE(mFilter->shownCount(), 0);
        QVERIFY(!mFilter->isShown(mSource->invisibleRootItem()));
        setRowShown(addRow("again"), true);
        QCOMPARE(mFilter->index(0, 0).data().toString(), QString("again"));
    }

    void randomShowsAndHidesMatchTheRebuiltMapping_data()
    {
        // searches: texts set at steps 0, 200 and 400
        columns<quint32, bool, QStringList>({ "seed", "batched", "searches" });
        QTest::newRow("seed 1") << 1u << false << QStringList();
        QTest::newRow("seed 2 batched") << 2u << true << QStringList();
        // Element rows match on their name or on "even"/"odd", groups only through them.
        QTest::newRow("seed 3 searching") << 3u << false << QStringList { "E29", "", "VEN" };
    }

    void randomShowsAndHidesMatchTheRebuiltMapping()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, batched);
        QFETCH(QStringList, searches);
        // Without the tester: this case is about many small steps.
        delete mTester;
        mTester = nullptr;

        QRandomGenerator random(seed);
        QList<QStandardItem *> all;
        for (int g = 0; g < 4; ++g) {
            QStandardItem *group = addRow(QString("g%1").arg(g));
            all << group;
            for (int e = 0; e < 30; ++e) {
                all << addRow(group, QString("g%1e%2").arg(g).arg(e));
                all.last()->setData(e % 2 ? "odd" : "even", ModelHiddenItemFilter::SearchTextRole);
            }
        }
        // Everything shown at first, so that the search has rows to take away.
        QSet<QStandardItem *> shown;
        for (QStandardItem *item : qAsConst(all)) {
            setRowShown(item, true);
            shown.insert(item);
        }
        // Shown as the model asked, and matching the search or holding a row that does.
        const std::function<bool(QStandardItem *)> exposed = [&](QStandardItem *item) {
            const QString search = mFilter->searchText().toLower();
            bool found = search.isEmpty()
                || (item->data(ModelHiddenItemFilter::SearchTextRole).isValid()
                    && (item->text() + item->data(ModelHiddenItemFilter::SearchTextRole).toString())
                           .contains(search));
            for (int row = 0; row < item->rowCount() && !found; ++row)
                found = exposed(item->child(row));
            return found && shown.contains(item);
        };
        for (int step = 0; step < 600; ++step) {
            if (step % 200 == 0 && step / 200 < searches.size())
                mFilter->setSearchText(searches.at(step / 200));
            if (batched && step % 50 == 0)
                mFilter->beginBatch();
            QStandardItem *item = all.at(random.bounded(all.size()));
            const bool show = random.bounded(2);
            setRowShown(item, show);
            if (show)
                shown.insert(item);
            else
                shown.remove(item);
            if (batched && step % 50 == 49)
                mFilter->endBatch();
            if (step % 40 != 39)
                continue;
            // The rebuilt mapping: proxy row = shown siblings before the item.
            for (QStandardItem *candidate : qAsConst(all)) {
                QStandardItem *parent
                    = candidate->parent() ? candidate->parent() : mSource->invisibleRootItem();
                int before = 0;
                for (int row = 0; row < candidate->row(); ++row)
                    before += exposed(parent->child(row, 0)) ? 1 : 0;
                const QModelIndex proxy = mFilter->mapFromSource(candidate->index());
                QCOMPARE(mFilter->isShown(candidate), shown.contains(candidate));
                if (!exposed(candidate)) {
                    QVERIFY(!proxy.isValid());
                    continue;
                }
                QCOMPARE(proxy.row(), before);
                QCOMPARE(mFilter->mapToSource(proxy), candidate->index());
                const QModelIndex value
                    = mFilter->mapFromSource(candidate->index().siblingAtColumn(1));
                QCOMPARE(value.row(), before);
            }
        }
    }

    void buildsGroupAndElementRows_data()
    {
        columns<QString, QString>({ "first", "second" });

        QTest::newRow("double slash") << QString("A/B") << QString("A//B");
        QTest::newRow("leading and trailing slash") << QString("/A/B/") << QString("A/B");
    }

    void buildsGroupAndElementRows()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QVERIFY(mRig->load({ { "Gain", first, integer("Gain"), "Beginner",
                                 "<ToolTip>Analog gain</ToolTip>"
                                 "<Description>Amplifies &amp; brightens</Description>" },
            { "Flip", second, TreeXml::boolean("Flip", "1", "0") } }));
        StandardItemModel *model = mRig->model.get();
        QCOMPARE(model->rowCount(), 1);
        QStandardItem *b = model->item(0, 0)->child(0, 0);
        QCOMPARE(model->findOrCreateGroup("A//B/"), b);
        PellixItem *gain = mRig->cell("Gain");
        PellixItem *flip = mRig->cell("Flip");
        QCOMPARE(b->child(1, 1), flip);

        // Group rows and names can be neither edited nor ticked.
        const Qt::ItemFlags plain = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        QCOMPARE(model->item(0, 1)->flags(), plain);
        QCOMPARE(b->child(0, 0)->flags(), plain);
        QCOMPARE(gain->flags(), plain | Qt::ItemIsEditable);
        QVERIFY(flip->flags() & Qt::ItemIsUserCheckable);
        QCOMPARE(gain->toolTip(), QString("Analog gain"));

        // The filter shows the same tree; the description box text comes from either cell of an
        // element row, never from a group row or an index of the model itself.
        const QModelIndex value = mRig->shown("Gain");
        QCOMPARE(value.parent().data().toString(), QString("B"));
        const QString text("<B>Gain</B>:<BR>Amplifies & brightens");
        QCOMPARE(model->descriptionText(value.siblingAtColumn(0)), text);
        QCOMPARE(model->descriptionText(value), text);
        QCOMPARE(model->descriptionText(value.parent().siblingAtColumn(1)), QString());
    }

    void cellShowsCachedAndWrittenValues_data()
    {
        // The conversions themselves are the engine's; these rows show that the cell uses them.
        // displayAfter: after 13 was written
        columns<QString, QVariant, QVariant, QVariant>(
            { "access", "display", "edit", "displayAfter" });
        QTest::newRow("integer") << "RW" << QVariant("x 1 dB") << QVariant(1)
                                 << QVariant("x 13 dB");
        // Shows what the user wrote, never a value from the camera.
        QTest::newRow("write-only integer") << "WO" << QVariant() << QVariant() << QVariant(13);
    }

    void cellShowsCachedAndWrittenValues()
    {
        QFETCH(QString, access);
        QFETCH(QVariant, display);
        QFETCH(QVariant, edit);
        QFETCH(QVariant, displayAfter);
        QVERIFY(mRig->load({ { "x", "G", integer("Gain", "x", "dB"), "Beginner",
            "<AccessMode>" + access + "</AccessMode>" } }));
        mRig->database->updateCachedValue("Gain", 1);
        const QVariant written(13);

        const QModelIndex proxy = mRig->shown("x");
        QCOMPARE(proxy.data(Qt::DisplayRole), display);
        QCOMPARE(proxy.data(Qt::EditRole), edit);
        // Edits through the view's roles store nothing.
        QVERIFY(mRig->filter->setData(proxy, "typed", Qt::EditRole));
        QCOMPARE(proxy.data(Qt::DisplayRole), display);

        mRig->cell("x")->setValue(written);
        QCOMPARE(proxy.data(Qt::DisplayRole), displayAfter);
        if (access == "WO") {
            QCOMPARE(mRig->database->cachedValue("Gain"), written);
            mRig->database->updateCachedValue("Gain", 7);
            QCOMPARE(proxy.data(Qt::EditRole), written);
            QVERIFY(!mRig->cell("x")->value().isValid());
            QVERIFY(!mRig->cell("x")->isSaveable());
        }
    }

    void editorAndProgressDialogLifetimes()
    {
        QVERIFY(mRig->load({ { "Gain", "G", integer("Gain") } }));
        QVERIFY(dynamic_cast<ProgressDialogTransferProgress *>(mRig->database->transferProgress()));
        PellixItem *gain = mRig->cell("Gain");
        auto editor = std::make_unique<FakeValueEditor>();
        gain->setEditor(true, editor.get());

        mRig->database->updateCachedValue("Gain", 17);
        QCOMPARE(editor->values, QVariantList { 17 });
        // While the editor is open it shows the value; the cell stays empty.
        QVERIFY(!gain->displayText().isValid());

        // Closing the editor, or deleting it, leaves the cell alone.
        gain->setEditor(false, editor.get());
        QVERIFY(!gain->editor());
        mRig->database->updateCachedValue("Gain", 18);
        QCOMPARE(editor->values, QVariantList { 17 });
        gain->setEditor(true, editor.get());
        editor.reset();
        QVERIFY(!gain->editor());
        QCOMPARE(gain->displayText().toString(), QStringLiteral("18"));
        mRig->database->updateCachedValue("Gain", 19);

        // The tree takes its dialog back when it goes.
        mRig->filterTester.reset();
        mRig->modelTester.reset();
        mRig->model.reset();
        QVERIFY(!mRig->database->transferProgress());
    }

    void groupsFollowTheirRowsInAView()
    {
        QVERIFY(mRig->load({ { "deep", "Top/Nested/Deeper", integer("Gain"), "Expert" },
            { "shallow", "Top/Other", integer("Gain"), "Guru" },
            { "loose", "", integer("Gain"), "Expert" }, { "free", "/", integer("Mode") },
            { "dev", "Top/Other", integer("Gain"), "Developer" },
            { "never", "Top/Other", integer("Gain"), "Hidden" } }));
        ModelHiddenItemFilter *filter = mRig->filter.get();
        const auto tree = [filter] { return shownTree(filter); };
        QTreeView view;
        view.setModel(filter);
        view.expandAll();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        // At Beginner the top-level group stays, empty; "loose" is hidden and "free" moves up.
        QCOMPARE(tree(), QString("Top free"));
        mRig->model->setLevel(1);
        view.expandAll();
        QCOMPARE(tree(), QString("Top[Nested[Deeper[deep]]] loose free"));
        mRig->model->setLevel(2);
        const QString all("Top[Nested[Deeper[deep]] Other[shallow]] loose free");
        QCOMPARE(tree(), all);
        mRig->model->setLevel(3);
        QCOMPARE(tree(), QString("Top[Nested[Deeper[deep]] Other[shallow dev]] loose free"));
        // Going down hides again.
        mRig->model->setLevel(0);
        QCOMPARE(tree(), QString("Top free"));
        mRig->model->setLevel(2);
        view.expandAll();
        QCOMPARE(tree(), all);
        QCoreApplication::processEvents();

        // A search keeps the rows whose name matches and the groups above them, top-level ones too;
        // rows shown and hidden meanwhile obey both, and clearing it gives the rows back.
        const QPersistentModelIndex free = mRig->shown("free");
        filter->setSearchText("EE");
        QCOMPARE(tree(), QString("Top[Nested[Deeper[deep]]] free"));
        QCOMPARE(free.row(), 1);
        mRig->model->setItemVisible(mRig->cell("deep"), false);
        QCOMPARE(tree(), QString("free"));
        QVERIFY(filter->isShown(mRig->model->item(0, 0)));
        mRig->model->setItemVisible(mRig->cell("deep"), true);
        filter->setSearchText(QString());
        QCOMPARE(tree(), all);
        QCOMPARE(free.row(), 2);

        // Hiding the last shown row of a nested chain hides the whole chain up to the top level;
        // rows without a group show and hide on their own.
        mRig->model->setItemVisible(mRig->cell("deep"), false);
        QCOMPARE(tree(), QString("Top[Other[shallow]] loose free"));
        mRig->model->setItemVisible(mRig->cell("free"), false);
        QCOMPARE(tree(), QString("Top[Other[shallow]] loose"));
        QCoreApplication::processEvents();

        // A reload replaces every row and cell.
        const QPersistentModelIndex oldLoose = mRig->shown("loose");
        QVERIFY(mRig->load({ { "Label", "Z", integer("Label") } }));
        view.expandAll();
        QCoreApplication::processEvents();
        QVERIFY(!oldLoose.isValid());
        QCOMPARE(tree(), QString("Z[Label]"));
        // The old cells no longer listen to the database.
        mRig->database->updateCachedValue("Gain", 1);

        mRig->model->loadDescription(mRig->database.get(), nullptr);
        QCoreApplication::processEvents();
        QCOMPARE(tree(), QString());
        QVERIFY(mRig->model->items().isEmpty());
    }

    // The progress dialog of list transfers: what it reports and when it goes.
    void dialogShowsEntriesAndReportsCancel()
    {
        const QString title("Loading list from camera");
        QWidget window;
        window.show();
        QApplication::setActiveWindow(&window);
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QPointer<QProgressDialog> dialog;
        {
            ProgressDialogTransferProgress progress;
            // Without a transfer there is nothing to cancel.
            QVERIFY(!progress.update(0, title + " (0/1)"));
            QVERIFY(!progress.dialog());
            progress.begin(title, 256);
            dialog = progress.dialog();
            QCOMPARE(dialog->parentWidget(), &window);
            QCOMPARE(dialog->windowTitle(), title);
            QCOMPARE(dialog->maximum(), 256);
            QVERIFY(dialog->isModal());

            QVERIFY(!progress.update(1, title + " (1/256)"));
            QCOMPARE(dialog->value(), 1);
            QCOMPARE(dialog->labelText(), title + " (1/256)");
            QTRY_VERIFY(dialog->isVisible());
            QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
            QVERIFY(progress.update(2, title + " (2/256)"));
            // The dialog lives for one transfer.
            progress.end();
            QVERIFY(dialog.isNull());
            progress.end();
            QVERIFY(!progress.update(0, title + " (0/1)"));

            // A new transfer replaces an old dialog.
            progress.begin("Saving list to camera", 2);
            dialog = progress.dialog();
            progress.begin(title, 3);
            QVERIFY(dialog.isNull());
            dialog = progress.dialog();
        }
        // Going away mid-transfer takes the dialog along.
        QVERIFY(dialog.isNull());
    }

    void valuesComeFromTheCameraAndTicksGoToIt_data()
    {
        columns<QString, QByteArray, QByteArray, int, QByteArray>(
            { "flip", "code", "cameraHolds", "clicked", "sent" });

        const QString flip = TreeXml::boolean("Flip", "1", "0");
        QTest::newRow("untick") << flip << QByteArray("FLH") << QByteArray("1")
                                << int(Qt::Unchecked) << QByteArray("0");
        // The box shows whether the camera holds TrueValue, whatever else it holds.
        QTest::newRow("false value 2") << TreeXml::boolean("Flip", "1", "2") << QByteArray("FLH")
                                       << QByteArray("2") << int(Qt::Checked) << QByteArray("1");
        QTest::newRow("text values")
            << TreeXml::boolean("Label", "ON", "OFF") << QByteArray("LBL") << QByteArray("\"OFF")
            << int(Qt::Checked) << QByteArray("\"ON");
    }

    void valuesComeFromTheCameraAndTicksGoToIt()
    {
        QFETCH(QString, flip);
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, cameraHolds);
        QFETCH(int, clicked);
        QFETCH(QByteArray, sent);
        mRig->camera().setValue(QString::fromLatin1(code), cameraHolds);
        mRig->camera().setValue("GAI", "12");
        QVERIFY(mRig->load({ { "Flip", "G", flip }, { "Gain", "G", integer("Gain", "", "dB") } }));
        const QModelIndex proxy = mRig->shown("Flip");
        const QModelIndex gain = mRig->shown("Gain");
        QSignalSpy changed(mRig->filter.get(), &QAbstractItemModel::dataChanged);

        // The first paint asks the camera; the answer arrives later and the view is told.
        QCOMPARE(gain.data().toString(), QString());
        proxy.data();
        QTRY_COMPARE(gain.data().toString(), QString("12 dB"));
        QVERIFY(!changed.isEmpty());
        const int shown = clicked == Qt::Checked ? Qt::Unchecked : Qt::Checked;
        QTRY_COMPARE(proxy.data(Qt::CheckStateRole).toInt(), shown);
        // The camera's value is only shown, never written back.
        QVERIFY(drainQueue());
        QCOMPARE(countReceived(code + cameraHolds), 0);

        QVERIFY(mRig->filter->setData(proxy, clicked, Qt::CheckStateRole));
        QTRY_COMPARE(mRig->camera().value(QString::fromLatin1(code)), sent);
        QCOMPARE(countReceived(code + sent), 1);
        QCOMPARE(proxy.data(Qt::CheckStateRole).toInt(), clicked);
    }

    void invalidationReevaluatesAndRereads()
    {
        mRig->camera().setValue("GAI", "4");
        mRig->camera().setValue("FLH", "0");
        // The element names its own value too: its arrival must not start an endless get loop.
        QVERIFY(mRig->load({ { "Switch", "G", TreeXml::enumeration("Flip") },
            { "Pattern", "G", integer("Gain"), "Beginner",
                "<InvalidatedBy>Flip,Gain,Apply</InvalidatedBy><IsAvailable>Flip == "
                "1</IsAvailable>" },
            { "Apply", "G", TreeXml::command("Apply", "Apply now") } }));
        QVERIFY(!mRig->isShown("Pattern"));
        // One read while building, although the reply names the element's InvalidatedBy.
        QCOMPARE(countReceived("FLH?"), 1);
        QCOMPARE(countReceived("GAI?"), 0);

        // A changed value re-evaluates the element; shown again, it reads its value anew.
        mRig->cell("Switch")->setValue(1);
        QVERIFY(mRig->isShown("Pattern"));
        QTRY_COMPARE(mRig->database->cachedValue("Gain"), QVariant(4));
        QCOMPARE(mRig->camera().value("FLH"), QByteArray("1"));
        QCOMPARE(mRig->cell("Pattern")->displayText().toString(), QString("4"));
        QVERIFY(drainQueue());
        const int reads = countReceived("GAI?");
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("GAI?"), reads);

        // The camera changes the gain when the command runs; the tree learns it from the re-read,
        // and the row and its open editor show it although the element names its own value.
        FakeValueEditor editor;
        mRig->cell("Pattern")->setEditor(true, &editor);
        QSignalSpy changed(mRig->filter.get(), &QAbstractItemModel::dataChanged);
        mRig->camera().setValue("GAI", "9");
        mRig->cell("Apply")->setValue(1);
        QTRY_COMPARE(mRig->database->cachedValue("Gain"), QVariant(9));
        QVERIFY(!editor.values.isEmpty());
        QCOMPARE(editor.values.last(), QVariant(9));
        QVERIFY(!changed.isEmpty());
        QCOMPARE(changed.last().at(0).toModelIndex(), mRig->shown("Pattern"));
        mRig->cell("Pattern")->setEditor(false, nullptr);
        QCOMPARE(countReceived("APL"), 1);
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("GAI?"), reads + 1);

        // Unavailable again, the element shows no value at all and is not saved.
        mRig->cell("Switch")->setValue(0);
        QVERIFY(!mRig->isShown("Pattern"));
        QVERIFY(!mRig->cell("Pattern")->displayText().isValid());
        QVERIFY(!mRig->cell("Pattern")->data(Qt::EditRole).isValid());
        QVERIFY(!mRig->cell("Pattern")->isSaveable());
    }

    void refreshRereadsWhatMayHaveChanged()
    {
        mRig->camera().setValue("GAI", "1");
        mRig->camera().setValue("FLH", "1");
        const QString uncached("<Cacheable>False</Cacheable>");
        QVERIFY(mRig->load({ { "Label", "G", "<String><Reference>Label</Reference></String>",
                                 "Beginner", uncached },
                               { "Gain", "G", integer("Gain") },
                               { "Flip", "G", TreeXml::boolean("Flip", "1", "0") },
                               { "Apply", "G", TreeXml::command("Apply", "Go") },
                               { "Hidden", "G", integer("Temp"), "Guru", uncached },
                               { "Gone", "G", integer("Temp"), "Beginner",
                                   uncached + "<IsAvailable>1 == 2</IsAvailable>" } },
            { TreeXml::valueCommand("Temp", "TMP", "Temp") }));

        // The periodic refresh reads the shown, available values that are not cacheable.
        mRig->model->updateNonPersistent();
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("LBL?"), 1);
        QCOMPARE(countReceived("GAI?"), 0);
        QCOMPARE(countReceived("TMP?"), 0);

        // Offline, the timer stops and every cell is disabled, hidden ones too.
        mRig->model->onOnlineModeChanged(false);
        QVERIFY(!mRig->model->isRefreshTimerActive());
        for (PellixItem *cell : mRig->model->items())
            QVERIFY2(!cell->isEnabled(), qPrintable(cell->name()));
        // Going online again re-reads every shown value and runs no command.
        mRig->model->onOnlineModeChanged(true);
        QVERIFY(mRig->model->isRefreshTimerActive());
        for (PellixItem *cell : mRig->model->items())
            QVERIFY2(cell->isEnabled(), qPrintable(cell->name()));
        QVERIFY(drainQueue());
        QCOMPARE(countReceived("LBL?"), 2);
        QCOMPARE(countReceived("GAI?"), 1);
        QCOMPARE(countReceived("TMP?"), 0);
        QCOMPARE(countReceived("APL"), 0);
    }

    void listTransferPausesTheRefresh_data()
    {
        columns<int, int, QStringList, QList<QByteArray>>(
            { "cancelAt", "count", "entries", "written" });

        QTest::newRow("whole list")
            << -1 << 3 << QStringList { "7", "7", "7" }
            << QList<QByteArray> { "LTS", "LTV0;4", "LTV1;0", "LTV2;6", "LTE" };
        QTest::newRow("cancelled")
            << 1 << -1 << QStringList { "7" } << QList<QByteArray> { "LTS", "LTV0;4", "LTE" };
    }

    void listTransferPausesTheRefresh()
    {
        QFETCH(int, cancelAt);
        QFETCH(int, count);
        QFETCH(QStringList, entries);
        QFETCH(QList<QByteArray>, written);
        const QStringList transferCommands { TreeXml::cameraCommand("LutStart", "LTS"),
            TreeXml::cameraCommand("LutEnd", "LTE"),
            TreeXml::cameraCommand("Lut", "LTV", TreeXml::params({ "LutIndex", "LutValue" }),
                TreeXml::params({ "LutIndex" }), TreeXml::params({ "LutValue" })) };
        const Element list { "LUT", "G",
            "<List><Start>LutStart</Start><End>LutEnd</End><Count>1 + 2</Count><Get>LutValue</Get>"
            "<Set>LutValue</Set><Index>LutIndex</Index></List>" };
        FakeTransferProgress progress;
        progress.cancelAt = cancelAt;
        bool timerRan = false;
        progress.onCall = [&] { timerRan |= mRig->model->isRefreshTimerActive(); };
        mRig->database->setTransferProgress(&progress);
        mRig->camera().setValue("LTV", "7");
        QVERIFY(mRig->load({ list }, transferCommands));
        PellixItem *lut = mRig->cell("LUT");
        QVERIFY(mRig->model->isRefreshTimerActive());

        QStringList out;
        int counted = 0;
        lut->loadList(out, counted);
        QCOMPARE(counted, count);
        QCOMPARE(out, entries);

        mRig->camera().clearReceivedCommands();
        lut->saveList({ "4", "x", "6" });
        QCOMPARE(mRig->camera().receivedCommands(), written);
        QVERIFY(!timerRan);
        QVERIFY(mRig->model->isRefreshTimerActive());
        mRig->database->setTransferProgress(nullptr);
    }

    // Saved from one camera, loaded into another that holds other values; then loaded again,
    // damaged, refused, and saved again where the write fails.
    void settingsFileMovesACamera()
    {
        SimulatedCamera &camera = mRig->camera();
        const auto holds = [&camera](const QByteArrayList &sets) {
            for (const QByteArray &set : sets)
                camera.answer(set);
        };
        const auto state = [&camera] {
            QByteArrayList out;
            for (const char *query : { "GAI?", "EXP?", "MOD?", "FLG?", "LBL?", "TMP?", "LUT?0",
                     "LUT?2", "ROI?", "SEC?" })
                out.append(camera.answer(query).mid(2).chopped(1));
            return out;
        };
        holds({ "GAI12", "EXP7", "MOD2", "FLG\"On", "LBL\"Line 3", "TMP30", "LUT0;5", "LUT1;6",
            "LUT2;7", "ROI8;16;320;240", "SEC3" });
        const QByteArrayList saved = state();
        QFile xml(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/tests/engine/data/settings.xml");
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QString description = QString::fromUtf8(xml.readAll());
        QVERIFY(mRig->load(description));
        QTemporaryDir dir;
        const QString path = dir.filePath("camera.cdt");
        QVERIFY(mRig->model->saveSettings(path, "Cam", "T-1", "Cam-T-1"));

        holds({ "GAI1", "EXP1", "MOD0", "FLG\"Off", "LBL\"x", "TMP1", "LUT0;0", "LUT2;0",
            "ROI0;0;1;1", "SEC4" });
        QVERIFY(mRig->load(description));
        QVERIFY(mRig->model->loadSettings(path, "Cam", "T-1", "Cam-T-1"));
        QTRY_COMPARE(state(), saved.mid(0, 9) + QByteArrayList { "4" });
        QVERIFY(drainQueue());

        // Unchanged values are not sent again; a damaged list is skipped and the rest goes on.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray damaged = file.readAll().replace("\"list\">", "\"list\">@");
        QVERIFY(file.resize(0) && file.write(damaged) == damaged.size());
        file.close();
        camera.clearReceivedCommands();
        QVERIFY(mRig->model->loadSettings(path, "Cam", "T-1", "Cam-T-1"));
        QVERIFY(drainQueue());
        QByteArrayList sets;
        for (const QByteArray &command : camera.receivedCommands())
            if (!command.contains('?'))
                sets.append(command);
        QCOMPARE(sets, QByteArrayList { "ROI8;16;320;240" });

        // Files for another model or type, or without items, are refused and nothing is sent.
        const QString empty = dir.filePath("empty.cdt");
        QVERIFY(CameraSettingsFile("Cam", "T-1", "Cam-T-1").save(empty));
        const QList<QStringList> refused { { path, "Cam", "T-2", "another camera type: T-1" },
            { path, "cam", "T-1", "another camera model: Cam" },
            { empty, "Cam", "T-1",
                "This seems to be an invalid/corrupt save file, please try another "
                "file" } };
        camera.clearReceivedCommands();
        for (const QStringList &load : refused) {
            ModalAnswer box(
                ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
            QVERIFY(!mRig->model->loadSettings(load[0], load[1], load[2], QString()));
            QCOMPARE(box.title(), QString("Failed to load settings"));
            QVERIFY2(box.text().endsWith(load[3]), qPrintable(box.text()));
        }
        QVERIFY(drainQueue());
        QCOMPARE(camera.receivedCommands(), QByteArrayList { "MOD?" });

        // A write that fails half-way, as on a full disk, leaves the previous file as it was.
        ModalAnswer box(
            ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
        {
            FileSizeLimit limit(256);
            QVERIFY(limit.isActive());
            QVERIFY(!mRig->model->saveSettings(path, "Cam", "T-1", "Cam-T-1"));
        }
        QCOMPARE(box.title(), QString("Failed to save settings"));
        QVERIFY2(box.text().startsWith("The camera settings could not be saved to " + path + ":\n"),
            qPrintable(box.text()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), damaged);
    }

private:
    // The rows a view would show, first column only: "group[row row] row".
    static QString shownTree(const QAbstractItemModel *model, const QModelIndex &parent = {})
    {
        QStringList rows;
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            const QString children = shownTree(model, index);
            rows.append(index.data().toString() + (children.isEmpty() ? "" : "[" + children + "]"));
        }
        return rows.join(' ');
    }

    QStandardItem *addRow(QStandardItem *parent, const QString &name)
    {
        auto *nameItem = new QStandardItem(name);
        parent->appendRow({ nameItem, new QStandardItem(name + "=v") });
        return nameItem;
    }
    QStandardItem *addRow(const QString &name)
    {
        return addRow(mSource->invisibleRootItem(), name);
    }

    void setRowShown(QStandardItem *item, bool shown)
    {
        QStandardItem *parent = item->parent() ? item->parent() : mSource->invisibleRootItem();
        // Both cells in one change: a row with one cell shown is not a valid model state.
        const auto change
            = shown ? &ModelHiddenItemFilter::showItem : &ModelHiddenItemFilter::hideItem;
        mFilter->beginBatch();
        for (int column = 0; column < 2; ++column)
            (mFilter->*change)(parent->child(item->row(), column));
        mFilter->endBatch();
    }

    QStandardItemModel *mSource = nullptr;
    ModelHiddenItemFilter *mFilter = nullptr;
    QAbstractItemModelTester *mTester = nullptr;

    /// Queues a get of Mode and waits until the camera has handled it, so that every request
    /// queued before has been handled too.
    bool drainQueue()
    {
        const int before = countReceived("MOD?");
        mRig->database->doGetValue("Mode");
        QElapsedTimer waited;
        waited.start();
        ThreadSignalSpy replies(mRig->comm(), &CommunicationThreadObject::receivedReply);
        while (countReceived("MOD?") == before && waited.elapsed() < 5000)
            replies.wait(100);
        return countReceived("MOD?") > before;
    }
    int countReceived(const QByteArray &command)
    {
        return mRig->camera().receivedCommands().count(command);
    }

    std::unique_ptr<TreeTestRig> mRig;
};

QTEST_MAIN(TestStandardItemModel)
#include "tst_standarditemmodel.moc"
