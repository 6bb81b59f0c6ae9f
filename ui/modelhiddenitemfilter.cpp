#include "ui/modelhiddenitemfilter.h"

#include <QStandardItemModel>

#include <algorithm>

// Layout: every shown item has an entry (its parent item, column and proxy row), and every
// (parent, column) pair a bucket with its shown children in proxy row order. Both lookups are
// hashes, so mapping either way costs the same for ten rows or ten thousand. A show that lands
// after the last shown sibling (how the tree is built) and a hide of the last shown sibling keep
// the bucket in order; anything else only marks the bucket dirty, and the next lookup in it
// sorts it once. Proxy indexes carry the source parent item as their internal pointer.

ModelHiddenItemFilter::ModelHiddenItemFilter(QObject *parent)
    : QAbstractProxyModel(parent)
{ }

void ModelHiddenItemFilter::setSourceModel(QAbstractItemModel *model)
{
    if (model == sourceModel())
        return;
    beginResetModel();
    if (sourceModel())
        disconnect(sourceModel(), nullptr, this, nullptr);
    mEntries.clear();
    mBuckets.clear();
    mRootShown = false;
    mSavedProxy.clear();
    mSavedSource.clear();
    mModel = qobject_cast<QStandardItemModel *>(model);
    if (model) {
        connect(
            model, &QAbstractItemModel::dataChanged, this, &ModelHiddenItemFilter::someDataChanged);
        // The view must never keep indexes whose items the source has deleted.
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this,
            &ModelHiddenItemFilter::onSourceAboutToBeReset);
        connect(
            model, &QAbstractItemModel::modelReset, this, &ModelHiddenItemFilter::onSourceReset);
        connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            &ModelHiddenItemFilter::onSourceRowsAboutToBeRemoved);
        connect(model, &QAbstractItemModel::rowsRemoved, this,
            &ModelHiddenItemFilter::onSourceRowsRemoved);
        connect(model, &QAbstractItemModel::layoutAboutToBeChanged, this,
            &ModelHiddenItemFilter::onSourceLayoutAboutToBeChanged);
        connect(model, &QAbstractItemModel::layoutChanged, this,
            &ModelHiddenItemFilter::onSourceLayoutChanged);
        connect(model, &QAbstractItemModel::headerDataChanged, this,
            &ModelHiddenItemFilter::onSourceHeaderDataChanged);
    }
    QAbstractProxyModel::setSourceModel(model);
    endResetModel();
}

QStandardItem *ModelHiddenItemFilter::rootItem() const
{
    return mModel ? mModel->invisibleRootItem() : nullptr;
}

QStandardItem *ModelHiddenItemFilter::parentItemOf(const QStandardItem *item) const
{
    if (!mModel || !item || item->model() != mModel || item == rootItem())
        return nullptr;
    QStandardItem *parent = item->parent();
    return parent ? parent : rootItem();
}

void ModelHiddenItemFilter::showItem(QStandardItem *item)
{
    if (!item || !mModel)
        return;
    if (item == rootItem()) {
        // The root has no index of its own; showing it changes no row.
        mRootShown = true;
        return;
    }
    QStandardItem *parent = parentItemOf(item);
    if (!parent || mEntries.contains(item))
        return;

    layoutAboutToChange();
    const BucketKey key(parent, item->column());
    Bucket &bucket = mBuckets[key];
    Entry entry;
    entry.parent = parent;
    entry.column = key.second;
    if (!bucket.dirty && (bucket.items.isEmpty() || bucket.items.last()->row() < item->row())) {
        entry.row = bucket.items.size();
    } else {
        bucket.dirty = true;
    }
    bucket.items.append(item);
    ++bucket.count;
    mEntries.insert(item, entry);
    layoutDone();
}

void ModelHiddenItemFilter::hideItem(QStandardItem *item)
{
    if (!item || !mModel)
        return;
    if (item == rootItem()) {
        mRootShown = false;
        return;
    }
    const auto found = mEntries.constFind(item);
    if (found == mEntries.constEnd())
        return;

    layoutAboutToChange();
    const BucketKey key(found->parent, found->column);
    mEntries.erase(found);
    Bucket &bucket = mBuckets[key];
    --bucket.count;
    if (!bucket.dirty && !bucket.items.isEmpty() && bucket.items.last() == item)
        bucket.items.removeLast();
    else
        bucket.dirty = true;
    layoutDone();
}

void ModelHiddenItemFilter::clear()
{
    layoutAboutToChange();
    mEntries.clear();
    mBuckets.clear();
    mRootShown = false;
    layoutDone();
}

void ModelHiddenItemFilter::reserve(int items)
{
    mEntries.reserve(items);
}

bool ModelHiddenItemFilter::isShown(const QStandardItem *item) const
{
    if (!item)
        return false;
    if (item == rootItem())
        return mRootShown;
    return mEntries.contains(item);
}

int ModelHiddenItemFilter::shownChildCount(const QStandardItem *parent) const
{
    const auto found = mBuckets.constFind(BucketKey(const_cast<QStandardItem *>(parent), 0));
    return found == mBuckets.constEnd() ? 0 : found->count;
}

void ModelHiddenItemFilter::beginBatch()
{
    ++mBatchDepth;
}

void ModelHiddenItemFilter::endBatch()
{
    if (mBatchDepth > 0 && --mBatchDepth == 0)
        flushLayout();
}

void ModelHiddenItemFilter::layoutAboutToChange()
{
    if (mLayoutPending)
        return;
    mLayoutPending = true;
    emit layoutAboutToBeChanged();
    // Remember where every index the views hold points in the source, to move them afterwards.
    mSavedProxy = persistentIndexList();
    mSavedSource.clear();
    mSavedSource.reserve(mSavedProxy.size());
    for (const QModelIndex &proxy : qAsConst(mSavedProxy))
        mSavedSource.append(QPersistentModelIndex(mapToSource(proxy)));
}

void ModelHiddenItemFilter::layoutDone()
{
    if (mBatchDepth == 0)
        flushLayout();
}

void ModelHiddenItemFilter::flushLayout()
{
    if (!mLayoutPending)
        return;
    QModelIndexList moved;
    moved.reserve(mSavedSource.size());
    for (const QPersistentModelIndex &source : qAsConst(mSavedSource))
        moved.append(mapFromSource(source));
    changePersistentIndexList(mSavedProxy, moved);
    mSavedProxy.clear();
    mSavedSource.clear();
    mLayoutPending = false;
    emit layoutChanged();
}

ModelHiddenItemFilter::Bucket *ModelHiddenItemFilter::cleanBucket(const BucketKey &key) const
{
    const auto found = mBuckets.find(key);
    if (found == mBuckets.end())
        return nullptr;
    Bucket &bucket = *found;
    if (!bucket.dirty)
        return &bucket;

    // Only pointers that still have a matching entry are dereferenced: a hidden item may have
    // been deleted since it left this bucket.
    QVector<QPair<int, QStandardItem *>> live;
    live.reserve(bucket.count);
    for (QStandardItem *item : qAsConst(bucket.items)) {
        const auto entry = mEntries.constFind(item);
        if (entry != mEntries.constEnd() && entry->parent == key.first
            && entry->column == key.second)
            live.append(qMakePair(item->row(), item));
    }
    std::sort(live.begin(), live.end());
    live.erase(std::unique(live.begin(), live.end()), live.end());

    bucket.items.resize(live.size());
    for (int row = 0; row < live.size(); ++row) {
        bucket.items[row] = live.at(row).second;
        mEntries[live.at(row).second].row = row;
    }
    bucket.count = live.size();
    bucket.dirty = false;
    return &bucket;
}

void ModelHiddenItemFilter::visualUpdateMapping()
{
    layoutAboutToChange();
    updateMapping();
    layoutDone();
}

void ModelHiddenItemFilter::updateMapping()
{
    for (Bucket &bucket : mBuckets)
        bucket.dirty = true;
}

void ModelHiddenItemFilter::someDataChanged(
    const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles)
{
    // While a layout change is open the views repaint everything when it ends.
    if (mLayoutPending || !topLeft.isValid() || !bottomRight.isValid())
        return;
    const QModelIndex first = mapFromSource(topLeft);
    const QModelIndex last = mapFromSource(bottomRight);
    if (first.isValid() && last.isValid()) {
        emit dataChanged(first, last, roles);
        return;
    }
    // A corner is hidden: report the shown cells of the range.
    const QModelIndex sourceParent = topLeft.parent();
    int top = -1, bottom = -1, left = -1, right = -1;
    QModelIndex parent;
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
            const QModelIndex proxy = mapFromSource(mModel->index(row, column, sourceParent));
            if (!proxy.isValid())
                continue;
            parent = proxy.parent();
            top = top < 0 ? proxy.row() : qMin(top, proxy.row());
            bottom = qMax(bottom, proxy.row());
            left = left < 0 ? proxy.column() : qMin(left, proxy.column());
            right = qMax(right, proxy.column());
        }
    }
    if (top >= 0)
        emit dataChanged(index(top, left, parent), index(bottom, right, parent), roles);
}

QStandardItem *ModelHiddenItemFilter::itemForProxyParent(const QModelIndex &proxyParent) const
{
    if (!mModel)
        return nullptr;
    if (!proxyParent.isValid())
        return rootItem();
    const QModelIndex source = mapToSource(proxyParent);
    return source.isValid() ? mModel->itemFromIndex(source) : nullptr;
}

int ModelHiddenItemFilter::columnCount(const QModelIndex &) const
{
    return 2;
}

int ModelHiddenItemFilter::rowCount(const QModelIndex &parent) const
{
    const QStandardItem *item = itemForProxyParent(parent);
    return item ? shownChildCount(item) : 0;
}

bool ModelHiddenItemFilter::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0;
}

QModelIndex ModelHiddenItemFilter::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= columnCount())
        return QModelIndex();
    QStandardItem *parentItem = itemForProxyParent(parent);
    if (!parentItem)
        return QModelIndex();
    const Bucket *bucket = cleanBucket(BucketKey(parentItem, column));
    if (!bucket || row >= bucket->items.size())
        return QModelIndex();
    return createIndex(row, column, parentItem);
}

QModelIndex ModelHiddenItemFilter::parent(const QModelIndex &child) const
{
    if (!mModel || !child.isValid() || child.model() != this)
        return QModelIndex();
    const auto *parentItem = static_cast<const QStandardItem *>(child.internalPointer());
    if (parentItem == rootItem())
        return QModelIndex();
    const auto entry = mEntries.constFind(parentItem);
    if (entry == mEntries.constEnd())
        return QModelIndex();
    const Entry copy = *entry;
    cleanBucket(BucketKey(copy.parent, copy.column));
    return createIndex(mEntries.value(parentItem).row, copy.column, copy.parent);
}

QModelIndex ModelHiddenItemFilter::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!mModel || !sourceIndex.isValid() || sourceIndex.model() != mModel)
        return QModelIndex();
    const QStandardItem *item = mModel->itemFromIndex(sourceIndex);
    const auto entry = mEntries.constFind(item);
    if (entry == mEntries.constEnd())
        return QModelIndex();
    const BucketKey key(entry->parent, entry->column);
    cleanBucket(key);
    return createIndex(mEntries.value(item).row, sourceIndex.column(), key.first);
}

QModelIndex ModelHiddenItemFilter::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!mModel || !proxyIndex.isValid() || proxyIndex.model() != this)
        return QModelIndex();
    auto *parentItem = static_cast<QStandardItem *>(proxyIndex.internalPointer());
    const Bucket *bucket = cleanBucket(BucketKey(parentItem, proxyIndex.column()));
    if (!bucket || proxyIndex.row() >= bucket->items.size())
        return QModelIndex();
    return bucket->items.at(proxyIndex.row())->index();
}

QVariant ModelHiddenItemFilter::headerData(int section, Qt::Orientation orientation, int role) const
{
    // Columns are never filtered, so the column headers need no mapping.
    if (orientation == Qt::Horizontal && sourceModel())
        return sourceModel()->headerData(section, orientation, role);
    return QAbstractProxyModel::headerData(section, orientation, role);
}

void ModelHiddenItemFilter::onSourceAboutToBeReset()
{
    flushLayout();
    beginResetModel();
    mEntries.clear();
    mBuckets.clear();
    mRootShown = false;
}

void ModelHiddenItemFilter::onSourceReset()
{
    endResetModel();
}

void ModelHiddenItemFilter::forgetSubtree(QStandardItem *item, bool *changed)
{
    if (!item)
        return;
    for (int row = 0; row < item->rowCount(); ++row) {
        for (int column = 0; column < item->columnCount(); ++column)
            forgetSubtree(item->child(row, column), changed);
    }
    const auto entry = mEntries.constFind(item);
    if (entry != mEntries.constEnd()) {
        if (!*changed)
            layoutAboutToChange();
        *changed = true;
        Bucket &bucket = mBuckets[BucketKey(entry->parent, entry->column)];
        --bucket.count;
        bucket.dirty = true;
        mEntries.erase(entry);
    }
    for (int column = 0; column < qMax(item->columnCount(), columnCount()); ++column)
        mBuckets.remove(BucketKey(item, column));
}

void ModelHiddenItemFilter::onSourceRowsAboutToBeRemoved(
    const QModelIndex &parent, int first, int last)
{
    if (!mModel)
        return;
    QStandardItem *parentItem = parent.isValid() ? mModel->itemFromIndex(parent) : rootItem();
    if (!parentItem)
        return;
    bool changed = false;
    for (int row = first; row <= last; ++row) {
        for (int column = 0; column < parentItem->columnCount(); ++column)
            forgetSubtree(parentItem->child(row, column), &changed);
    }
    if (changed)
        mRemovalPending = true;
}

void ModelHiddenItemFilter::onSourceRowsRemoved()
{
    if (!mRemovalPending)
        return;
    mRemovalPending = false;
    layoutDone();
}

void ModelHiddenItemFilter::onSourceLayoutAboutToBeChanged()
{
    layoutAboutToChange();
}

void ModelHiddenItemFilter::onSourceLayoutChanged()
{
    updateMapping();
    layoutDone();
}

void ModelHiddenItemFilter::onSourceHeaderDataChanged(
    Qt::Orientation orientation, int first, int last)
{
    if (orientation == Qt::Horizontal)
        emit headerDataChanged(orientation, first, last);
}
