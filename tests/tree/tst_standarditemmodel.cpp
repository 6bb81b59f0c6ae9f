#include "app/appsettings.h"
#include "tests/tree/treetestrig.h"
#include "ui/progressdialogtransferprogress.h"

#include <QPushButton>
#include <QTreeView>
#include <QtTest>

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

// The tree's rows, levels, groups, timer and cell behaviour, on a description
// file and the real database (values put into its cache where a test needs them).
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
    }
    void cleanup() { mRig.reset(); }

    void buildsGroupAndElementRows_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");

        QTest::newRow("double slash") << "A/B"
                                      << "A//B";
        QTest::newRow("leading and trailing slash") << "/A/B/"
                                                    << "A/B";
    }

    void buildsGroupAndElementRows()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QVERIFY(mRig->load({ { "Gain", first, integer("Gain"), "Beginner", "RW", "", "", "True",
                                 "Analog gain", "Amplifies & brightens" },
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

    void levelDecidesWhatIsShown_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("beginner") << 0 << QStringList { "b" };
        QTest::newRow("guru") << 2 << QStringList { "b", "e", "g" };
        QTest::newRow("developer") << 3 << QStringList { "b", "e", "g", "d" };
    }

    void levelDecidesWhatIsShown()
    {
        QFETCH(int, level);
        QFETCH(QStringList, shown);
        QVERIFY(mRig->load({ { "b", "G", integer("Gain"), "Beginner" },
            { "e", "G", integer("Gain"), "Expert" }, { "g", "G", integer("Gain"), "Guru" },
            { "d", "G", integer("Gain"), "Developer" }, { "h", "G", integer("Gain"), "Hidden" } }));

        mRig->model->setLevel(level);

        const QModelIndex group = mRig->filter->index(0, 0);
        QCOMPARE(mRig->filter->rowCount(group), shown.size());
        for (int row = 0; row < shown.size(); ++row)
            QCOMPARE(mRig->filter->index(row, 0, group).data().toString(), shown.at(row));
        QVERIFY(!mRig->isShown("h"));
        // Going down hides again.
        mRig->model->setLevel(level == 0 ? 3 : 0);
        mRig->model->setLevel(0);
        QCOMPARE(mRig->filter->rowCount(group), 1);
    }

    void cellShowsCachedAndWrittenValues_data()
    {
        // The conversions themselves are the engine's; these rows show that the cell uses them.
        QTest::addColumn<QString>("access");
        QTest::addColumn<QVariant>("display");
        QTest::addColumn<QVariant>("edit");
        QTest::addColumn<QVariant>("displayAfter"); // after 13 was written
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
        QVERIFY(mRig->load({ { "x", "G", integer("Gain", "x", "dB"), "Beginner", access } }));
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

    void openEditorReceivesValues()
    {
        QVERIFY(mRig->load({ { "Gain", "G", integer("Gain") } }));
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
    }

    void groupsFollowTheirRowsInAView()
    {
        QVERIFY(mRig->load({ { "deep", "Top/Nested/Deeper", integer("Gain"), "Expert" },
            { "shallow", "Top/Other", integer("Gain"), "Guru" },
            { "loose", "", integer("Gain"), "Expert" }, { "free", "/", integer("Mode") } }));
        ModelHiddenItemFilter *filter = mRig->filter.get();
        QStandardItem *top = mRig->model->item(0, 0);
        QStandardItem *nested = top->child(0, 0);
        QStandardItem *other = top->child(1, 0);
        QTreeView view;
        view.setModel(filter);
        view.expandAll();
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        // At Beginner the top-level group stays, empty; "loose" is hidden and "free" moves up.
        QCOMPARE(filter->rowCount(), 2);
        QCOMPARE(filter->rowCount(filter->index(0, 0)), 0);
        QVERIFY(!filter->isShown(nested->child(0, 0)));
        QCOMPARE(mRig->shown("free").row(), 1);

        mRig->model->setLevel(1);
        view.expandAll();
        QCOMPARE(mRig->shown("deep").parent().parent(), filter->mapFromSource(nested->index()));
        QVERIFY(!filter->isShown(other));
        QCOMPARE(mRig->shown("loose").row(), 1);
        QCOMPARE(mRig->shown("free").row(), 2);
        mRig->model->setLevel(2);
        QCOMPARE(filter->mapFromSource(other->index()).row(), 1);
        QCoreApplication::processEvents();

        // A search keeps the rows whose name matches and the groups above them, top-level ones too;
        // rows shown and hidden meanwhile obey both, and clearing it gives the rows back.
        const QPersistentModelIndex free = mRig->shown("free");
        filter->setSearchText("EE");
        QCOMPARE(free.row(), 1);
        QVERIFY(mRig->isShown("deep"));
        QVERIFY(!filter->mapFromSource(other->index()).isValid());
        mRig->model->setItemVisible(mRig->cell("deep"), false);
        QCOMPARE(filter->rowCount(), 1);
        QVERIFY(filter->isShown(top));
        mRig->model->setItemVisible(mRig->cell("deep"), true);
        filter->setSearchText(QString());
        QCOMPARE(free.row(), 2);
        QCOMPARE(filter->mapFromSource(other->index()).row(), 1);

        // Hiding the last shown row of a nested chain hides the whole chain up to the top level.
        mRig->model->setItemVisible(mRig->cell("deep"), false);
        QVERIFY(!filter->isShown(nested->child(0, 0)));
        QVERIFY(!filter->isShown(nested));
        QCOMPARE(filter->mapFromSource(other->index()).row(), 0);
        QVERIFY(filter->isShown(top));
        // Rows without a group show and hide on their own.
        mRig->model->setItemVisible(mRig->cell("free"), false);
        QCOMPARE(filter->rowCount(), 2);
        QVERIFY(mRig->isShown("loose"));
        QCoreApplication::processEvents();

        // A reload replaces every row and cell.
        const QPersistentModelIndex oldLoose = mRig->shown("loose");
        QVERIFY(mRig->load({ { "Label", "Z", integer("Label") } }));
        view.expandAll();
        QCoreApplication::processEvents();
        QVERIFY(!oldLoose.isValid());
        QCOMPARE(view.model()->index(0, 0).data().toString(), QString("Z"));
        // The old cells no longer listen to the database.
        mRig->database->updateCachedValue("Gain", 1);

        mRig->model->loadDescription(mRig->database.get(), nullptr);
        QCoreApplication::processEvents();
        QCOMPARE(view.model()->rowCount(), 0);
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

        ProgressDialogTransferProgress progress;
        progress.begin(title, 256);

        QProgressDialog *dialog = progress.dialog();
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
    }

    void dialogLivesForOneTransfer()
    {
        QPointer<QProgressDialog> dialog;
        {
            ProgressDialogTransferProgress progress;
            // Without a transfer there is nothing to cancel.
            QVERIFY(!progress.update(0, "Loading list from camera (0/1)"));
            QVERIFY(!progress.dialog());

            progress.begin("Saving list to camera", 2);
            dialog = progress.dialog();
            progress.end();
            QVERIFY(dialog.isNull());
            progress.end();

            // A new transfer replaces an old dialog.
            progress.begin("Saving list to camera", 2);
            dialog = progress.dialog();
            progress.begin("Loading list from camera", 3);
            QVERIFY(dialog.isNull());
            dialog = progress.dialog();
        }
        // Going away mid-transfer takes the dialog along.
        QVERIFY(dialog.isNull());
    }

private:
    std::unique_ptr<TreeTestRig> mRig;
};

QTEST_MAIN(TestStandardItemModel)
#include "tst_standarditemmodel.moc"
