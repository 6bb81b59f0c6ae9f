#include "ui/treeexpansion.h"

#include "ui/modelhiddenitemfilter.h"

#include <QStandardItemModel>
#include <QTreeView>

TreeExpansion::TreeExpansion(QTreeView *view, ModelHiddenItemFilter *filter,
    std::function<bool(QStandardItem *)> startExpanded)
    : QObject(view)
    , mView(view)
    , mFilter(filter)
    , mStartExpanded(std::move(startExpanded))
{
    connect(mView, &QTreeView::expanded, this,
        [this](const QModelIndex &shown) { remember(shown, true); });
    connect(mView, &QTreeView::collapsed, this,
        [this](const QModelIndex &shown) { remember(shown, false); });
    // After the view's own handling, so that the view has taken the new layout in.
    connect(mFilter, &QAbstractItemModel::layoutChanged, this, &TreeExpansion::onLayoutChanged);
    connect(mFilter, &QAbstractItemModel::modelReset, this, [this] { mExpanded.clear(); });
}

void TreeExpansion::remember(const QModelIndex &shown, bool expanded)
{
    if (!mFilter->isSearching())
        mExpanded.insert(mFilter->mapToSource(shown), expanded);
}

void TreeExpansion::onLayoutChanged()
{
    if (mFilter->isSearching())
        return;
    auto *source = qobject_cast<QStandardItemModel *>(mFilter->sourceModel());
    if (!source)
        return;
    QList<QStandardItem *> pending { source->invisibleRootItem() };
    while (!pending.isEmpty()) {
        QStandardItem *parent = pending.takeLast();
        for (int row = 0; row < parent->rowCount(); ++row) {
            QStandardItem *item = parent->child(row, 0);
            if (!item || !item->hasChildren())
                continue;
            pending.append(item);
            const QModelIndex shown = mFilter->mapFromSource(item->index());
            if (!shown.isValid() || mView->isExpanded(shown))
                continue;
            const auto known = mExpanded.constFind(item->index());
            if (known == mExpanded.constEnd() ? mStartExpanded(item) : known.value())
                mView->expand(shown);
        }
    }
}
