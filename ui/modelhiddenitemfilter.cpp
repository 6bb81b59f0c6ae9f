#include "ui/modelhiddenitemfilter.h"

#include <QStandardItemModel>
#include <QVarLengthArray>

#include <algorithm>

// Layout: every shown item has an entry (its parent item, column, proxy row, and whether it is
// exposed, that is not hidden by a search), and every (parent, column) pair a bucket with its
// exposed children in proxy row order. Both lookups are hashes, so mapping either way costs the
// same for ten rows or ten thousand. A show that lands after the last exposed sibling (how the
// tree is built) and a hide of the last exposed sibling keep the bucket in order; anything else
// only marks the bucket dirty, and the next lookup in it sorts it once. A new search text
// refills every bucket in one pass. Proxy indexes carry the source parent item as their
// internal pointer.

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
    mSavedItems.clear();
    mRemoved.clear();
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
    Entry &entry = mEntries[item];
    entry.parent = parent;
    entry.column = item->column();
    ++mBuckets[BucketKey(parent, entry.column)].shown;
    if (isSearching())
        reconsiderRow(parent, item->row());
    else
        expose(item, entry);
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
    const auto found = mEntries.find(item);
    if (found == mEntries.end())
        return;
    QStandardItem *parent = found->parent;
    const bool exposedName = found->exposed && found->column == 0;
    --mBuckets[BucketKey(parent, found->column)].shown;
    unexpose(item, *found);
    mEntries.erase(found);
    // The row above may have lost its last match.
    if (isSearching() && exposedName && parent != rootItem())
        reconsiderRow(parentItemOf(parent), parent->row());
    layoutDone();
}

void ModelHiddenItemFilter::expose(QStandardItem *item, Entry &entry)
{
    if (entry.exposed)
        return;
    layoutAboutToChange();
    Bucket &bucket = mBuckets[BucketKey(entry.parent, entry.column)];
    entry.exposed = true;
    if (!bucket.dirty && (bucket.items.isEmpty() || bucket.items.last()->row() < item->row()))
        entry.row = bucket.items.size();
    else
        bucket.dirty = true;
    bucket.items.append(item);
    ++bucket.count;
}

void ModelHiddenItemFilter::unexpose(QStandardItem *item, Entry &entry)
{
    if (!entry.exposed)
        return;
    layoutAboutToChange();
    Bucket &bucket = mBuckets[BucketKey(entry.parent, entry.column)];
    entry.exposed = false;
    --bucket.count;
    if (!bucket.dirty && !bucket.items.isEmpty() && bucket.items.last() == item)
        bucket.items.removeLast();
    else
        bucket.dirty = true;
}

namespace {

inline char16_t folded(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
    return QChar::toCaseFolded(c);
}

/// Whether text contains needle (already case-folded), letter case ignored. Leaner than the
/// general search for the short texts of a tree, which a search runs through on every key.
bool containsFolded(QStringView text, QStringView needle)
{
    const qsizetype last = text.size() - needle.size();
    for (qsizetype i = 0; i <= last; ++i) {
        qsizetype j = 0;
        while (j < needle.size() && folded(text[i + j].unicode()) == needle[j].unicode())
            ++j;
        if (j == needle.size())
            return true;
    }
    return false;
}

} // namespace

bool ModelHiddenItemFilter::matches(const QStandardItem *nameItem) const
{
    const QVariant further = nameItem->data(SearchTextRole);
    return further.isValid()
        && (containsFolded(nameItem->text(), mFoldedSearch)
            || containsFolded(further.toString(), mFoldedSearch));
}

void ModelHiddenItemFilter::reconsiderRow(QStandardItem *parent, int row)
{
    // Changes travel upward only as far as a row's column-0 cell changes.
    while (parent) {
        QStandardItem *name = parent->child(row, 0);
        const bool pass = name && (exposedChildCount(name) > 0 || matches(name));
        bool nameChanged = false;
        for (int column = 0; column < parent->columnCount(); ++column) {
            QStandardItem *item = parent->child(row, column);
            const auto entry = item ? mEntries.find(item) : mEntries.end();
            if (entry == mEntries.end() || entry->exposed == pass)
                continue;
            if (pass)
                expose(item, *entry);
            else
                unexpose(item, *entry);
            nameChanged = nameChanged || column == 0;
        }
        if (!nameChanged || parent == rootItem())
            return;
        row = parent->row();
        parent = parentItemOf(parent);
    }
}

void ModelHiddenItemFilter::setSearchText(const QString &text)
{
    if (text == mSearch || !mModel)
        return;
    layoutAboutToChange();
    mSearch = text;
    mFoldedSearch = text.toCaseFolded();
    mBuckets.clear();
    exposeTree(rootItem());
    layoutDone();
}

void ModelHiddenItemFilter::exposeTree(QStandardItem *parent)
{
    // Children first, so that a group knows whether anything below it is exposed; then the
    // rows in order, so that every bucket is filled in proxy row order. Only flags and rows
    // change: typing a search text allocates nothing per row.
    const int rows = parent->rowCount();
    const int columns = parent->columnCount();
    for (int row = 0; row < rows; ++row) {
        QStandardItem *name = parent->child(row, 0);
        if (name && name->rowCount() > 0)
            exposeTree(name);
    }
    // Values of a hash stay where they are while other keys come and go.
    QVarLengthArray<Bucket *, 2> buckets;
    for (int column = 0; column < columns; ++column)
        buckets.append(&mBuckets[BucketKey(parent, column)]);
    QVarLengthArray<QHash<const QStandardItem *, Entry>::iterator, 2> entries(columns);
    for (int row = 0; row < rows; ++row) {
        bool shown = false;
        for (int column = 0; column < columns; ++column) {
            QStandardItem *item = parent->child(row, column);
            entries[column] = item ? mEntries.find(item) : mEntries.end();
            shown = shown || entries[column] != mEntries.end();
        }
        // Rows the model does not show need no matching.
        if (!shown)
            continue;
        QStandardItem *name = parent->child(row, 0);
        const bool pass
            = !isSearching() || (name && (exposedChildCount(name) > 0 || matches(name)));
        for (int column = 0; column < columns; ++column) {
            const auto entry = entries[column];
            if (entry == mEntries.end())
                continue;
            QStandardItem *item = parent->child(row, column);
            Bucket &bucket = *buckets[column];
            ++bucket.shown;
            entry->exposed = pass;
            if (!pass)
                continue;
            entry->row = bucket.items.size();
            bucket.items.append(item);
            ++bucket.count;
        }
    }
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
    return found == mBuckets.constEnd() ? 0 : found->shown;
}

int ModelHiddenItemFilter::exposedChildCount(const QStandardItem *parent) const
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
    // Remember the item behind every index the views hold, to move them afterwards. Items, not
    // source indexes: a view that expanded every row holds thousands of them.
    mSavedProxy = persistentIndexList();
    mSavedItems.clear();
    mSavedItems.reserve(mSavedProxy.size());
    for (const QModelIndex &proxy : qAsConst(mSavedProxy))
        mSavedItems.append(itemAt(proxy));
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
    QModelIndexList from;
    QModelIndexList to;
    for (int i = 0; i < mSavedItems.size(); ++i) {
        // A removed item is only compared, never used: its memory may be another item's by now.
        const QStandardItem *item = mSavedItems.at(i);
        const QModelIndex moved
            = item && !mRemoved.contains(item) ? indexOfItem(item) : QModelIndex();
        if (moved != mSavedProxy.at(i)) {
            from.append(mSavedProxy.at(i));
            to.append(moved);
        }
    }
    changePersistentIndexList(from, to);
    mSavedProxy.clear();
    mSavedItems.clear();
    mRemoved.clear();
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
        if (entry != mEntries.constEnd() && entry->exposed && entry->parent == key.first
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
    return itemAt(proxyParent);
}

QList<QStandardItem *> ModelHiddenItemFilter::groups() const
{
    QList<QStandardItem *> found;
    auto *source = qobject_cast<QStandardItemModel *>(sourceModel());
    if (!source)
        return found;
    QList<QStandardItem *> pending { source->invisibleRootItem() };
    while (!pending.isEmpty()) {
        QStandardItem *parent = pending.takeLast();
        for (int row = 0; row < parent->rowCount(); ++row) {
            QStandardItem *item = parent->child(row, 0);
            if (item && item->hasChildren()) {
                found.append(item);
                pending.append(item);
            }
        }
    }
    return found;
}

QStandardItem *ModelHiddenItemFilter::itemAt(const QModelIndex &proxyIndex) const
{
    if (!mModel || !proxyIndex.isValid() || proxyIndex.model() != this)
        return nullptr;
    auto *parentItem = static_cast<QStandardItem *>(proxyIndex.internalPointer());
    const Bucket *bucket = cleanBucket(BucketKey(parentItem, proxyIndex.column()));
    if (!bucket || proxyIndex.row() >= bucket->items.size())
        return nullptr;
    return bucket->items.at(proxyIndex.row());
}

int ModelHiddenItemFilter::columnCount(const QModelIndex &) const
{
    return 2;
}

int ModelHiddenItemFilter::rowCount(const QModelIndex &parent) const
{
    const QStandardItem *item = itemForProxyParent(parent);
    return item ? exposedChildCount(item) : 0;
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
    if (entry == mEntries.constEnd() || !entry->exposed)
        return QModelIndex();
    const Entry copy = *entry;
    cleanBucket(BucketKey(copy.parent, copy.column));
    return createIndex(mEntries.value(parentItem).row, copy.column, copy.parent);
}

QModelIndex ModelHiddenItemFilter::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!mModel || !sourceIndex.isValid() || sourceIndex.model() != mModel)
        return QModelIndex();
    return indexOfItem(mModel->itemFromIndex(sourceIndex));
}

QModelIndex ModelHiddenItemFilter::indexOfItem(const QStandardItem *item) const
{
    const auto entry = mEntries.constFind(item);
    if (entry == mEntries.constEnd() || !entry->exposed)
        return QModelIndex();
    const BucketKey key(entry->parent, entry->column);
    cleanBucket(key);
    return createIndex(mEntries.value(item).row, key.second, key.first);
}

QModelIndex ModelHiddenItemFilter::mapToSource(const QModelIndex &proxyIndex) const
{
    const QStandardItem *item = itemAt(proxyIndex);
    return item ? item->index() : QModelIndex();
}

// The two that views ask for every row and cell: straight to the item, without a source index.
QVariant ModelHiddenItemFilter::data(const QModelIndex &proxyIndex, int role) const
{
    const QStandardItem *item = itemAt(proxyIndex);
    return item ? item->data(role) : QVariant();
}

Qt::ItemFlags ModelHiddenItemFilter::flags(const QModelIndex &proxyIndex) const
{
    const QStandardItem *item = itemAt(proxyIndex);
    if (!item)
        return QAbstractProxyModel::flags(proxyIndex);
    // Spares the views asking rows for children, and keeping expansion for rows without any.
    return item->hasChildren() ? item->flags() : item->flags() | Qt::ItemNeverHasChildren;
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
        mRemoved.insert(item);
        Bucket &bucket = mBuckets[BucketKey(entry->parent, entry->column)];
        --bucket.shown;
        if (entry->exposed) {
            --bucket.count;
            bucket.dirty = true;
        }
        mEntries.erase(entry);
    } else if (mLayoutPending) {
        mRemoved.insert(item);
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
    // A group may have lost its last match.
    if (isSearching()) {
        mBuckets.clear();
        exposeTree(rootItem());
    }
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
