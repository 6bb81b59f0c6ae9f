#include "app/appsettings.h"
#include "tests/tree/treetestrig.h"

#include <QAbstractItemModelTester>
#include <QTreeView>
#include <QtTest>

using TreeXml::Element;

/// Stands in for the value editor of a row: records what the tree tells it.
class FakeValueEditor : public QWidget
{
    Q_OBJECT

public:
    QVariantList values;
    int reloads = 0;

public slots:
    void updateValue(const QVariant &value) { values.append(value); }
    void reloadEnumItems() { ++reloads; }
};

// The tree's rows, levels, groups, availability, timer and cell behaviour, on a description
// file and the real database (values put into its cache where a test needs them).
class TestStandardItemModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void groupPathsShareRows_data();
    void groupPathsShareRows();
    void rowLayoutOfGroupsAndElements();
    void levelDecidesWhatIsShown_data();
    void levelDecidesWhatIsShown();
    void nestedGroupHidesWithItsRowsTopLevelGroupStays();
    void elementsWithoutGroupShowAndHide();
    void availabilityFromExpressions_data();
    void availabilityFromExpressions();
    void descriptionTextOfRows();
    void writeOnlyIntegerShowsLastEditedValue();
    void boolCellFollowsCameraAndWritesClicks_data();
    void boolCellFollowsCameraAndWritesClicks();
    void displayTextFollowsTheCache_data();
    void displayTextFollowsTheCache();
    void openEditorReceivesValues();
    void refreshTimerFollowsUpdateDelay_data();
    void refreshTimerFollowsUpdateDelay();
    void offlineDisablesEveryCell();
    void reloadReplacesEveryRow();
    void viewSurvivesLevelChangesAndReloads();

private:
    QString standardDocument(const QList<Element> &elements) const;
    bool load(const QList<Element> &elements) { return mRig->load(standardDocument(elements)); }

    std::unique_ptr<TreeTestRig> mRig;
    std::unique_ptr<QAbstractItemModelTester> mFilterTester;
    std::unique_ptr<QAbstractItemModelTester> mModelTester;
};

void TestStandardItemModel::initTestCase()
{
    TreeTestRig::setUpProcess();
}

void TestStandardItemModel::init()
{
    AppSettings::instance().updateDelay = 5000;
    mRig.reset(new TreeTestRig);
    // Both testers watch every build, show, hide and level change below.
    mFilterTester.reset(new QAbstractItemModelTester(
        mRig->filter.get(), QAbstractItemModelTester::FailureReportingMode::QtTest));
    mModelTester.reset(new QAbstractItemModelTester(
        mRig->model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest));
}

void TestStandardItemModel::cleanup()
{
    mFilterTester.reset();
    mModelTester.reset();
    mRig.reset();
}

QString TestStandardItemModel::standardDocument(const QList<Element> &elements) const
{
    return TreeXml::document({ TreeXml::valueCommand("Gain", "GAI", "Gain"),
                                 TreeXml::valueCommand("Mode", "MOD", "Mode"),
                                 TreeXml::valueCommand("Flip", "FLH", "Flip"),
                                 TreeXml::valueCommand("Label", "LBL", "Label", "String"),
                                 TreeXml::actionCommand("Apply", "APL") },
        elements);
}

void TestStandardItemModel::groupPathsShareRows_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    QTest::newRow("same path") << "A/B"
                               << "A/B";
    QTest::newRow("double slash") << "A/B"
                                  << "A//B";
    QTest::newRow("leading and trailing slash") << "/A/B/"
                                                << "A/B";
}

void TestStandardItemModel::groupPathsShareRows()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QVERIFY(load({ { "one", first, TreeXml::integer("Gain") },
        { "two", second, TreeXml::integer("Mode") } }));

    StandardItemModel *model = mRig->model.get();
    QCOMPARE(model->rowCount(), 1);
    QStandardItem *a = model->item(0, 0);
    QCOMPARE(a->text(), QString("A"));
    QCOMPARE(a->rowCount(), 1);
    QStandardItem *b = a->child(0, 0);
    QCOMPARE(b->text(), QString("B"));
    QCOMPARE(b->rowCount(), 2);
    QCOMPARE(b->child(0, 0)->text(), QString("one"));
    QCOMPARE(b->child(1, 0)->text(), QString("two"));
    QCOMPARE(model->findOrCreateGroup("A//B/"), b);

    // The filter shows the same tree.
    ModelHiddenItemFilter *filter = mRig->filter.get();
    const QModelIndex proxyB = filter->index(0, 0, filter->index(0, 0));
    QCOMPARE(proxyB.data().toString(), QString("B"));
    QCOMPARE(filter->rowCount(proxyB), 2);
}

void TestStandardItemModel::rowLayoutOfGroupsAndElements()
{
    QVERIFY(load({ { "Gain", "Top/Sub", TreeXml::integer("Gain"), "Beginner", "RW", "", "", "True",
                       "Analog gain" },
        { "Flip", "Top/Sub", TreeXml::boolean("Flip", "1", "0") } }));
    StandardItemModel *model = mRig->model.get();
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QString("Value"));
    // Group rows can be neither edited nor ticked.
    QCOMPARE(model->item(0, 1)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);

    QStandardItem *sub = model->item(0, 0)->child(0, 0);
    auto *cell = dynamic_cast<PellixItem *>(sub->child(0, 1));
    QVERIFY(cell);
    QCOMPARE(cell->type(), int(PellixItem::IntegerType));
    QCOMPARE(sub->child(0, 0)->flags(), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(cell->flags(), Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
    QCOMPARE(sub->child(0, 0)->toolTip(), QString("Analog gain"));
    QCOMPARE(cell->toolTip(), QString("Analog gain"));

    auto *flip = dynamic_cast<PellixItem *>(sub->child(1, 1));
    QVERIFY(flip);
    QCOMPARE(flip->type(), int(PellixItem::BoolType));
    QVERIFY(flip->flags() & Qt::ItemIsUserCheckable);
    QCOMPARE(model->items(), (QList<PellixItem *> { cell, flip }));
}

void TestStandardItemModel::levelDecidesWhatIsShown_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("beginner") << 0 << QStringList { "b" };
    QTest::newRow("expert") << 1 << QStringList { "b", "e" };
    QTest::newRow("guru") << 2 << QStringList { "b", "e", "g" };
    QTest::newRow("developer") << 3 << QStringList { "b", "e", "g", "d" };
}

void TestStandardItemModel::levelDecidesWhatIsShown()
{
    QFETCH(int, level);
    QFETCH(QStringList, shown);
    QVERIFY(load({ { "b", "G", TreeXml::integer("Gain"), "Beginner" },
        { "e", "G", TreeXml::integer("Gain"), "Expert" },
        { "g", "G", TreeXml::integer("Gain"), "Guru" },
        { "d", "G", TreeXml::integer("Gain"), "Developer" },
        { "h", "G", TreeXml::integer("Gain"), "Hidden" } }));

    mRig->model->setLevel(level);

    QCOMPARE(mRig->model->level(), level);
    const QModelIndex group = mRig->filter->index(0, 0);
    QCOMPARE(mRig->filter->rowCount(group), shown.size());
    for (int row = 0; row < shown.size(); ++row)
        QCOMPARE(mRig->filter->index(row, 0, group).data().toString(), shown.at(row));
    QVERIFY(!mRig->isShown("h"));

    // The same level again does nothing: a row hidden behind the model's back stays hidden.
    mRig->model->setItemVisible(mRig->cell("b"), false);
    QSignalSpy changed(mRig->filter.get(), &QAbstractItemModel::layoutChanged);
    mRig->model->setLevel(level);
    QVERIFY(!mRig->isShown("b"));
    QCOMPARE(changed.count(), 0);
    // A real change is one layout change, however many rows it touches; going down hides again.
    mRig->model->setLevel(level == 0 ? 3 : 0);
    QCOMPARE(changed.count(), 1);
    QVERIFY(mRig->isShown("b"));
    mRig->model->setLevel(0);
    QCOMPARE(mRig->filter->rowCount(group), 1);
}

void TestStandardItemModel::nestedGroupHidesWithItsRowsTopLevelGroupStays()
{
    QVERIFY(mRig->load(
        standardDocument({ { "deep", "Top/Nested/Deeper", TreeXml::integer("Gain"), "Expert" },
            { "shallow", "Top/Other", TreeXml::integer("Gain"), "Guru" } })));
    ModelHiddenItemFilter *filter = mRig->filter.get();
    QStandardItem *top = mRig->model->item(0, 0);
    QStandardItem *nested = top->child(0, 0);
    QStandardItem *deeper = nested->child(0, 0);
    QStandardItem *other = top->child(1, 0);

    QCOMPARE(filter->rowCount(), 1);
    QVERIFY(filter->isShown(top));
    QCOMPARE(filter->rowCount(filter->index(0, 0)), 0);
    QVERIFY(!filter->isShown(nested));
    QVERIFY(!filter->isShown(deeper));
    QVERIFY(!filter->isShown(other));

    mRig->model->setLevel(1);
    QVERIFY(filter->isShown(nested));
    QVERIFY(filter->isShown(deeper));
    QVERIFY(!filter->isShown(other));
    QCOMPARE(filter->mapFromSource(nested->index()).row(), 0);

    mRig->model->setLevel(2);
    QCOMPARE(filter->mapFromSource(other->index()).row(), 1);

    // Hiding the last shown row of a nested chain hides the whole chain up to the top level.
    mRig->model->setItemVisible(mRig->cell("deep"), false);
    QVERIFY(!filter->isShown(deeper));
    QVERIFY(!filter->isShown(nested));
    QCOMPARE(filter->mapFromSource(other->index()).row(), 0);
    QVERIFY(filter->isShown(top));
}

void TestStandardItemModel::elementsWithoutGroupShowAndHide()
{
    QVERIFY(load({ { "grouped", "G", TreeXml::integer("Gain") },
        { "loose", "", TreeXml::integer("Gain"), "Expert" },
        { "free", "/", TreeXml::integer("Mode") } }));
    StandardItemModel *model = mRig->model.get();
    ModelHiddenItemFilter *filter = mRig->filter.get();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->item(0, 0)->text(), QString("G"));

    // At Beginner "loose" is hidden and the rows after it move up.
    QCOMPARE(filter->rowCount(), 2);
    QCOMPARE(filter->index(0, 0).data().toString(), QString("G"));
    QCOMPARE(filter->index(1, 0).data().toString(), QString("free"));
    QCOMPARE(model->descriptionText(filter->index(1, 1)), QString("<B>free</B>:<BR>"));

    model->setLevel(1);
    QCOMPARE(filter->rowCount(), 3);
    QCOMPARE(filter->index(1, 0).data().toString(), QString("loose"));
    QCOMPARE(filter->index(2, 1).data(Qt::DisplayRole), mRig->cell("free")->displayText());

    mRig->cell("loose")->refresh();
    model->setItemVisible(mRig->cell("free"), false);
    QCOMPARE(filter->rowCount(), 2);
    QVERIFY(filter->isShown(model->item(0, 0)));
}

void TestStandardItemModel::availabilityFromExpressions_data()
{
    QTest::addColumn<QString>("expression");
    QTest::addColumn<bool>("available");

    QTest::newRow("empty") << "" << true;
    QTest::newRow("true") << "1 == 1" << true;
    QTest::newRow("false") << "2 < 1" << false;
    QTest::newRow("syntax error") << "1 == (" << false;
}

void TestStandardItemModel::availabilityFromExpressions()
{
    QFETCH(QString, expression);
    QFETCH(bool, available);
    if (expression == "1 == (")
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Error evaluating expression: "));
    QVERIFY(load({ { "x", "G", TreeXml::integer("Gain"), "Beginner", "RW", "", expression } }));

    PellixItem *cell = mRig->cell("x");
    QCOMPARE(cell->isAvailable(), available);
    QCOMPARE(mRig->isShown("x"), available);
    QCOMPARE(cell->isVisible(), available);
    // An unavailable element shows no value at all.
    if (!available) {
        QVERIFY(!cell->data(Qt::DisplayRole).isValid());
        QVERIFY(!cell->data(Qt::EditRole).isValid());
        QVERIFY(!cell->isSaveable());
    }
}

void TestStandardItemModel::descriptionTextOfRows()
{
    QVERIFY(load({ { "Gain", "G", TreeXml::integer("Gain"), "Beginner", "RW", "", "", "True", "",
        "Amplifies & brightens" } }));
    ModelHiddenItemFilter *filter = mRig->filter.get();
    const QModelIndex group = filter->index(0, 0);
    const QString expected("<B>Gain</B>:<BR>Amplifies & brightens");
    QCOMPARE(mRig->model->descriptionText(filter->index(0, 0, group)), expected);
    QCOMPARE(mRig->model->descriptionText(filter->index(0, 1, group)), expected);
    QCOMPARE(mRig->cell("Gain")->descriptionText(), expected);
    QCOMPARE(mRig->model->descriptionText(group), QString());
    QCOMPARE(mRig->model->descriptionText(filter->index(0, 1)), QString());
    QCOMPARE(mRig->model->descriptionText(QModelIndex()), QString());
    // An index of the model itself is not an index of the filter.
    QCOMPARE(mRig->model->descriptionText(mRig->cell("Gain")->index()), QString());
}

void TestStandardItemModel::writeOnlyIntegerShowsLastEditedValue()
{
    QVERIFY(mRig->load(
        standardDocument({ { "w", "G", TreeXml::integer("Gain", "x", "dB"), "Beginner", "WO" } })));
    PellixItem *cell = mRig->cell("w");
    QVERIFY(!cell->displayText().isValid());

    cell->setValue(42);
    QCOMPARE(cell->displayText(), QVariant(42));
    QCOMPARE(cell->editValue(), QVariant(42));
    QCOMPARE(mRig->database->cachedValue("Gain"), QVariant(42));

    // A value from the camera does not replace what the user wrote.
    mRig->database->updateCachedValue("Gain", 7);
    QCOMPARE(cell->data(Qt::DisplayRole), QVariant(42));
    QVERIFY(!cell->value().isValid());
    QVERIFY(!cell->isSaveable());
}

void TestStandardItemModel::boolCellFollowsCameraAndWritesClicks_data()
{
    QTest::addColumn<QVariant>("cameraValue");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QVariant>("sameState"); // another camera value showing the clicked state

    QTest::newRow("tick") << QVariant(0) << int(Qt::Checked) << "on" << QVariant("yes");
    QTest::newRow("untick") << QVariant("1") << int(Qt::Unchecked) << "off" << QVariant("false");
}

void TestStandardItemModel::boolCellFollowsCameraAndWritesClicks()
{
    QFETCH(QVariant, cameraValue);
    QFETCH(int, clicked);
    QFETCH(QString, written);
    QFETCH(QVariant, sameState);
    QVERIFY(load({ { "Flip", "G", TreeXml::boolean("Flip", "on", "off") } }));
    PellixItem *cell = mRig->cell("Flip");
    const QModelIndex proxy = mRig->filter->mapFromSource(cell->index());
    const int opposite = clicked == Qt::Checked ? Qt::Unchecked : Qt::Checked;
    cell->QStandardItem::setData(clicked, Qt::CheckStateRole);
    QSignalSpy changed(mRig->filter.get(), &QAbstractItemModel::dataChanged);

    mRig->database->updateCachedValue("Flip", cameraValue);
    QCOMPARE(proxy.data(Qt::CheckStateRole).toInt(), opposite);
    QVERIFY(changed.count() >= 1);
    // Only the camera's value changed: nothing was written back.
    QCOMPARE(mRig->database->cachedValue("Flip"), cameraValue);
    QVERIFY(!cell->lastEditedValue().isValid());
    QCOMPARE(proxy.data(Qt::DisplayRole).toString(), QString());

    QVERIFY(mRig->filter->setData(proxy, clicked, Qt::CheckStateRole));
    QCOMPARE(mRig->database->cachedValue("Flip"), QVariant(written));
    QCOMPARE(cell->lastEditedValue(), QVariant(clicked == Qt::Checked));
    QCOMPARE(proxy.data(Qt::CheckStateRole).toInt(), clicked);

    // Clicking the state it already has writes nothing.
    mRig->database->updateCachedValue("Flip", sameState);
    QCOMPARE(proxy.data(Qt::CheckStateRole).toInt(), clicked);
    mRig->filter->setData(proxy, clicked, Qt::CheckStateRole);
    QCOMPARE(mRig->database->cachedValue("Flip"), sameState);
}

void TestStandardItemModel::displayTextFollowsTheCache_data()
{
    QTest::addColumn<QString>("kindXml");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("display");
    QTest::addColumn<QVariant>("edit");

    QTest::newRow("integer with prefix and suffix")
        << TreeXml::integer("Gain", "x", "dB") << "Gain" << QVariant(12) << QVariant("x 12 dB")
        << QVariant(12);
    QTest::newRow("enumeration") << TreeXml::enumeration("Mode") << "Mode" << QVariant(1)
                                 << QVariant("On") << QVariant(1);
    QTest::newRow("enumeration without match")
        << TreeXml::enumeration("Mode") << "Mode" << QVariant(5) << QVariant("No value selected")
        << QVariant(5);
    QTest::newRow("string") << "<String><MinimumLength>0</MinimumLength><MaximumLength>9"
                               "</MaximumLength><Reference>Label</Reference></String>"
                            << "Label" << QVariant("cam 1") << QVariant("cam 1")
                            << QVariant("cam 1");
    QTest::newRow("double") << "<Double><MinimumValue>0</MinimumValue><MaximumValue>100"
                               "</MaximumValue><Increment>0.5</Increment><Prefix></Prefix>"
                               "<Suffix>ms</Suffix><Convert><Multiply>0.5</Multiply><Add>10"
                               "</Add></Convert><Reference>Gain</Reference></Double>"
                            << "Gain" << QVariant(7) << QVariant("13.5 ms") << QVariant(7.0);
    QTest::newRow("command") << TreeXml::command("Apply", "Go") << "" << QVariant()
                             << QVariant("<Command>") << QVariant("Go");
}

void TestStandardItemModel::displayTextFollowsTheCache()
{
    QFETCH(QString, kindXml);
    QFETCH(QString, reference);
    QFETCH(QVariant, value);
    QFETCH(QVariant, display);
    QFETCH(QVariant, edit);
    QVERIFY(load({ { "x", "G", kindXml } }));
    PellixItem *cell = mRig->cell("x");
    if (!reference.isEmpty())
        mRig->database->updateCachedValue(reference, value);

    const QModelIndex proxy = mRig->filter->mapFromSource(cell->index());
    QCOMPARE(proxy.data(Qt::DisplayRole), display);
    QCOMPARE(proxy.data(Qt::EditRole), edit);

    // Edits through the view's roles store nothing.
    QVERIFY(mRig->filter->setData(proxy, "typed", Qt::EditRole));
    QCOMPARE(proxy.data(Qt::DisplayRole), display);
}

void TestStandardItemModel::openEditorReceivesValues()
{
    QVERIFY(load(
        { { "Gain", "G", TreeXml::integer("Gain") }, { "Mode", "G", TreeXml::enumeration("Mode") },
            { "Shown", "G", TreeXml::integer("Label"), "Beginner", "RO" } }));
    PellixItem *gain = mRig->cell("Gain");
    auto editor = std::make_unique<FakeValueEditor>();
    gain->setEditor(true, editor.get());
    QCOMPARE(gain->editor(), editor.get());

    mRig->database->updateCachedValue("Gain", 17);
    QCOMPARE(editor->values, QVariantList { 17 });
    // While the editor is open it shows the value; the cell stays empty.
    QVERIFY(!gain->displayText().isValid());
    QVERIFY(!gain->editValue().isValid());

    // A read-only cell keeps showing its value with an editor open.
    PellixItem *shown = mRig->cell("Shown");
    shown->setEditor(true, editor.get());
    mRig->database->updateCachedValue("Label", 3);
    QCOMPARE(shown->displayText(), QVariant("3"));

    // Evaluating an enumeration's visibility lets its editor reload the items.
    PellixItem *mode = mRig->cell("Mode");
    FakeValueEditor modeEditor;
    mode->setEditor(true, &modeEditor);
    QVERIFY(mode->isVisible());
    QCOMPARE(modeEditor.reloads, 1);
    QVERIFY(gain->isVisible());
    QCOMPARE(editor->reloads, 0);

    // Closing the editor, or deleting it, leaves the cell alone.
    gain->setEditor(false, editor.get());
    QVERIFY(!gain->editor());
    mRig->database->updateCachedValue("Gain", 18);
    QCOMPARE(editor->values, (QVariantList { 17, 3 }));
    gain->setEditor(true, editor.get());
    editor.reset();
    QVERIFY(!gain->editor());
    mRig->database->updateCachedValue("Gain", 19);
    mode->setEditor(false, nullptr);
}

void TestStandardItemModel::refreshTimerFollowsUpdateDelay_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("runs");

    QTest::newRow("zero") << 0 << false;
    QTest::newRow("negative") << -5 << false;
    QTest::newRow("default") << 5000 << true;
}

void TestStandardItemModel::refreshTimerFollowsUpdateDelay()
{
    QFETCH(int, delay);
    QFETCH(bool, runs);
    AppSettings::instance().updateDelay = delay;
    ModelHiddenItemFilter filter;
    StandardItemModel model(&filter);

    QCOMPARE(model.isRefreshTimerActive(), runs);
    if (runs)
        QCOMPARE(model.refreshInterval(), delay);
    model.stopTimer();
    QVERIFY(!model.isRefreshTimerActive());
    model.restartTimer();
    QCOMPARE(model.isRefreshTimerActive(), runs);
    model.onOnlineModeChanged(false);
    QVERIFY(!model.isRefreshTimerActive());
    model.onOnlineModeChanged(true);
    QCOMPARE(model.isRefreshTimerActive(), runs);
}

void TestStandardItemModel::offlineDisablesEveryCell()
{
    QVERIFY(load({ { "Gain", "G", TreeXml::integer("Gain") },
        { "Flip", "G/H", TreeXml::boolean("Flip", "1", "0") },
        { "Hidden", "G", TreeXml::integer("Mode"), "Guru" } }));
    StandardItemModel *model = mRig->model.get();
    QVERIFY(model->isRefreshTimerActive());

    model->onOnlineModeChanged(false);
    QVERIFY(!model->isRefreshTimerActive());
    for (PellixItem *cell : model->items()) {
        QVERIFY2(!cell->isEnabled(), qPrintable(cell->name()));
        const QModelIndex proxy = mRig->filter->mapFromSource(cell->index());
        if (proxy.isValid())
            QVERIFY(!(proxy.flags() & Qt::ItemIsEnabled));
    }

    model->onOnlineModeChanged(true);
    QVERIFY(model->isRefreshTimerActive());
    for (PellixItem *cell : model->items())
        QVERIFY(cell->isEnabled());

    model->setItemsEnabled(false);
    QVERIFY(!mRig->cell("Hidden")->isEnabled());
}

void TestStandardItemModel::reloadReplacesEveryRow()
{
    QVERIFY(load({ { "Gain", "A", TreeXml::integer("Gain") },
        { "Mode", "B/C", TreeXml::integer("Mode") } }));
    QPersistentModelIndex oldProxy = mRig->filter->mapFromSource(mRig->cell("Mode")->index());
    QVERIFY(oldProxy.isValid());

    QVERIFY(load({ { "Flip", "Z", TreeXml::integer("Flip") } }));
    QVERIFY(!oldProxy.isValid());
    QCOMPARE(mRig->model->items().size(), 1);
    QCOMPARE(mRig->filter->rowCount(), 1);
    QCOMPARE(mRig->filter->index(0, 0).data().toString(), QString("Z"));
    // The old cells no longer listen to the database.
    mRig->database->updateCachedValue("Gain", 3);

    mRig->model->loadDescription(mRig->database.get(), nullptr);
    QCOMPARE(mRig->model->rowCount(), 0);
    QCOMPARE(mRig->filter->rowCount(), 0);
    QVERIFY(mRig->model->items().isEmpty());
}

void TestStandardItemModel::viewSurvivesLevelChangesAndReloads()
{
    const QString document = standardDocument({ { "Gain", "A/B", TreeXml::integer("Gain") },
        { "Mode", "A/C", TreeXml::enumeration("Mode"), "Expert" },
        { "Flip", "D", TreeXml::boolean("Flip", "1", "0"), "Guru" },
        { "Loose", "", TreeXml::integer("Gain") } });
    QVERIFY(mRig->load(document));
    QTreeView view;
    view.setModel(mRig->filter.get());
    view.expandAll();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    mRig->model->setLevel(2);
    view.expandAll();
    const QModelIndex flip = mRig->filter->mapFromSource(mRig->cell("Flip")->index());
    view.setCurrentIndex(flip);
    QCOMPARE(view.currentIndex(), flip);
    QCoreApplication::processEvents();

    // Rows before the current one disappear: the view's current index follows its row.
    mRig->model->setLevel(0);
    QCOMPARE(view.currentIndex().data().toString(), QString());
    QVERIFY(!view.currentIndex().isValid());
    mRig->model->setLevel(2);
    view.setCurrentIndex(mRig->filter->mapFromSource(mRig->cell("Flip")->index()));
    mRig->model->setItemVisible(mRig->cell("Gain"), false);
    QCOMPARE(mRig->filter->mapToSource(view.currentIndex()), mRig->cell("Flip")->index());
    QCoreApplication::processEvents();

    QVERIFY(mRig->load(document));
    view.expandAll();
    QCoreApplication::processEvents();
    QCOMPARE(view.model()->rowCount(), 3);
    mRig->model->loadDescription(mRig->database.get(), nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(view.model()->rowCount(), 0);
}

QTEST_MAIN(TestStandardItemModel)
#include "tst_standarditemmodel.moc"
