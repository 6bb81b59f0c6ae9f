#ifndef MODELHIDDENITEMFILTER_H
#define MODELHIDDENITEMFILTER_H

#include <QAbstractProxyModel>
#include <QHash>
#include <QPair>
#include <QPersistentModelIndex>
#include <QSet>
#include <QString>
#include <QVector>

class QStandardItem;
class QStandardItemModel;

/// What the parameter tree view shows: only the items of a QStandardItemModel that it has been
/// told to show, with the rows of each parent numbered without gaps.
///
/// Every show or hide is one layout change. Between beginBatch() and the matching endBatch() the
/// changes are gathered into a single layout change, which is how the tree is built and how the
/// level is switched without the view re-laying out once per row.
///
/// A search text narrows what is shown further: only rows whose column-0 item carries
/// SearchTextRole and contains the text in its own text or in that role (letter case ignored),
/// and the rows above them. Shows and hides keep working underneath; clearing the text shows
/// again what the model has shown.
class ModelHiddenItemFilter : public QAbstractProxyModel
{
    Q_OBJECT

public:
    /// Role of a column-0 item holding further text that a search looks in (a description);
    /// rows without it match only through their children.
    static constexpr int SearchTextRole = Qt::UserRole + 2;

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

    /// Shown as the model asked, whether or not a search hides it now.
    bool isShown(const QStandardItem *item) const;
    /// Number of shown column-0 children of parent (the invisible root item for top-level rows),
    /// whether or not a search hides them now.
    int shownChildCount(const QStandardItem *parent) const;
    /// Number of shown items, the invisible root item not counted, whether or not a search
    /// hides them now.
    int shownCount() const { return mEntries.size(); }

    /// The column-0 items of the source that have children (groups), shown or not.
    QList<QStandardItem *> groups() const;

    /// Shows only what matches text (empty: no search), in one layout change.
    void setSearchText(const QString &text);
    QString searchText() const { return mSearch; }
    bool isSearching() const { return !mSearch.isEmpty(); }

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
    QVariant data(const QModelIndex &proxyIndex, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &proxyIndex) const override;
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

    /// Exposed children of one parent in one column, in proxy row order once clean.
    struct Bucket
    {
        QVector<QStandardItem *> items;
        int count = 0;
        // Shown children, exposed or not.
        int shown = 0;
        bool dirty = false;
    };

    /// A shown item; exposed unless a search hides it.
    struct Entry
    {
        QStandardItem *parent = nullptr;
        int column = 0;
        int row = -1;
        bool exposed = false;
    };

    QStandardItem *rootItem() const;
    QStandardItem *parentItemOf(const QStandardItem *item) const;
    QStandardItem *itemForProxyParent(const QModelIndex &proxyParent) const;
    QStandardItem *itemAt(const QModelIndex &proxyIndex) const;
    QModelIndex indexOfItem(const QStandardItem *item) const;
    Bucket *cleanBucket(const BucketKey &key) const;
    int exposedChildCount(const QStandardItem *parent) const;
    void expose(QStandardItem *item, Entry &entry);
    void unexpose(QStandardItem *item, Entry &entry);
    bool matches(const QStandardItem *nameItem) const;
    /// Exposes or hides every shown cell of the row as the search says, and the rows above it
    /// while a row's column-0 cell changes.
    void reconsiderRow(QStandardItem *parent, int row);
    /// Recomputes what is exposed below parent, row by row in order.
    void exposeTree(QStandardItem *parent);
    void forgetSubtree(QStandardItem *item, bool *changed);
    void layoutAboutToChange();
    void layoutDone();
    void flushLayout();

    QStandardItemModel *mModel = nullptr;
    bool mRootShown = false;
    int mBatchDepth = 0;
    bool mLayoutPending = false;
    bool mRemovalPending = false;
    // Every shown item with its row among the exposed ones; per (parent, column) the exposed
    // items in row order.
    mutable QHash<BucketKey, Bucket> mBuckets;
    mutable QHash<const QStandardItem *, Entry> mEntries;
    QString mSearch;
    QString mFoldedSearch;
    QModelIndexList mSavedProxy;
    QVector<const QStandardItem *> mSavedItems;
    // Items removed from the source while a layout change is open.
    QSet<const QStandardItem *> mRemoved;
};

#endif // MODELHIDDENITEMFILTER_H
