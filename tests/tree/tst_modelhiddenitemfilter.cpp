#include "ui/modelhiddenitemfilter.h"

#include <QAbstractItemModelTester>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <functional>

// The filter on a plain QStandardItemModel: row numbering, mapping both ways, the layout
// signals and how it follows changes of the source.
class TestModelHiddenItemFilter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<QPersistentModelIndex>>();
        qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
    }

    void init()
    {
        mSource = new QStandardItemModel(this);
        mSource->setHorizontalHeaderLabels({ "Name", "Value" });
        mFilter = new ModelHiddenItemFilter(this);
        mFilter->setSourceModel(mSource);
        mTester = new QAbstractItemModelTester(
            mFilter, QAbstractItemModelTester::FailureReportingMode::QtTest, this);
    }

    void cleanup()
    {
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
        const QModelIndex proxyGroup = mFilter->index(0, 0);
        QCOMPARE(mFilter->rowCount(proxyGroup), 1);
        QCOMPARE(mFilter->index(0, 0, proxyGroup).data().toString(), QString("keep"));

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
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("batched");
        // Search texts set at steps 0, 200 and 400.
        QTest::addColumn<QStringList>("searches");
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

private:
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
};

QTEST_MAIN(TestModelHiddenItemFilter)
#include "tst_modelhiddenitemfilter.moc"
