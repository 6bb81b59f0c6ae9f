#ifndef TREEEXPANSION_H
#define TREEEXPANSION_H

#include <QHash>
#include <QObject>
#include <QPersistentModelIndex>

#include <functional>

class ModelHiddenItemFilter;
class QStandardItem;
class QTreeView;

/// Keeps each group's expansion while the filter hides the group (a lower level, an element
/// that is not available): a view forgets the expansion of rows that leave it, so a group would
/// come back collapsed. A group the view has never shown comes back as startExpanded says.
/// Searching is left to the search line, which expands what it shows and restores afterwards;
/// a tree being filled while the view does not paint, to whoever fills it.
class TreeExpansion : public QObject
{
    Q_OBJECT

public:
    /// view shows filter; none of them is owned.
    TreeExpansion(QTreeView *view, ModelHiddenItemFilter *filter,
        std::function<bool(QStandardItem *)> startExpanded);

private:
    void remember(const QModelIndex &shown, bool expanded);
    void onLayoutChanged();

    QTreeView *mView;
    ModelHiddenItemFilter *mFilter;
    std::function<bool(QStandardItem *)> mStartExpanded;
    // Source indexes of groups the view has shown, with whether they were expanded.
    QHash<QPersistentModelIndex, bool> mExpanded;
};

#endif // TREEEXPANSION_H
