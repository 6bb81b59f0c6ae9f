#ifndef MODELHIDDENITEMFILTER_H
#define MODELHIDDENITEMFILTER_H

#include <QAbstractProxyModel>
#include <QHash>
#include <QPair>
#include <QPersistentModelIndex>
#include <QVector>

class QStandardItem;
class QStandardItemModel;

/// What the parameter tree view shows: only the items of a QStandardItemModel that it has been
/// told to show, with the rows of each parent numbered without gaps.
///
/// Every show or hide is one layout change. Between beginBatch() and the matching endBatch() the
/// changes are gathered into a single layout change, which is how the tree is built and how the
/// level is switched without the view re-laying out once per row.
class ModelHiddenItemFilter : public QAbstractProxyModel
{
    Q_OBJECT

public:
    explicit ModelHiddenItemFilter(QObject *parent = nullptr);

    /// The source must be a QStandardItemModel; any other model leaves the filter empty.
    void setSourceModel(QAbstractItemModel *model) override;

    void showItem(QStandardItem *item);
    void hideItem(QStandardItem *item);
    /// Hides everything.
    void clear();
    /// Makes room for items shown items, so that building a large tree does not grow the
    /// lookups step by step.
    void reserve(int items);

    bool isShown(const QStandardItem *item) const;
    /// Number of shown column-0 children of parent (the invisible root item for top-level rows).
    int shownChildCount(const QStandardItem *parent) const;
    /// Number of shown items, the invisible root item not counted.
    int shownCount() const { return mEntries.size(); }

    /// Gathers every show and hide until the matching endBatch() into one layout change; only
    /// emitted when something actually changed. Batches nest.
    void beginBatch();
    void endBatch();

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex index(
        int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex mapFromSource(const QModelIndex &sourceIndex) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

public slots:
    /// Renumbers everything inside a layout change.
    void visualUpdateMapping();
    /// Renumbers everything without telling the views.
    void updateMapping();
    void someDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
        const QVector<int> &roles = QVector<int>());

private slots:
    void onSourceAboutToBeReset();
    void onSourceReset();
    void onSourceRowsAboutToBeRemoved(const QModelIndex &parent, int first, int last);
    void onSourceRowsRemoved();
    void onSourceLayoutAboutToBeChanged();
    void onSourceLayoutChanged();
    void onSourceHeaderDataChanged(Qt::Orientation orientation, int first, int last);

private:
    using BucketKey = QPair<QStandardItem *, int>; // parent item, column

    /// Shown children of one parent in one column, in proxy row order once clean.
    struct Bucket
    {
        QVector<QStandardItem *> items;
        int count = 0;
        bool dirty = false;
    };

    struct Entry
    {
        QStandardItem *parent = nullptr;
        int column = 0;
        int row = -1;
    };

    QStandardItem *rootItem() const;
    QStandardItem *parentItemOf(const QStandardItem *item) const;
    QStandardItem *itemForProxyParent(const QModelIndex &proxyParent) const;
    Bucket *cleanBucket(const BucketKey &key) const;
    void forgetSubtree(QStandardItem *item, bool *changed);
    void layoutAboutToChange();
    void layoutDone();
    void flushLayout();

    QStandardItemModel *mModel = nullptr;
    bool mRootShown = false;
    int mBatchDepth = 0;
    bool mLayoutPending = false;
    bool mRemovalPending = false;
    mutable QHash<BucketKey, Bucket> mBuckets;
    mutable QHash<const QStandardItem *, Entry> mEntries;
    QModelIndexList mSavedProxy;
    QList<QPersistentModelIndex> mSavedSource;
};

#endif // MODELHIDDENITEMFILTER_H
