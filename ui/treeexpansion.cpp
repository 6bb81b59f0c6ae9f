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
    // While the view does not paint, the window is filling a new tree and expands it itself.
    if (mFilter->isSearching() || !mView->updatesEnabled())
        return;
    for (QStandardItem *group : mFilter->groups()) {
        const QModelIndex shown = mFilter->mapFromSource(group->index());
        if (!shown.isValid() || mView->isExpanded(shown))
            continue;
        const auto known = mExpanded.constFind(group->index());
        if (known == mExpanded.constEnd() ? mStartExpanded(group) : known.value())
            mView->expand(shown);
    }
}
