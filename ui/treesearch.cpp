#include "ui/treesearch.h"

#include "ui/modelhiddenitemfilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTreeView>

TreeSearch::TreeSearch(QLineEdit *line, QTreeView *view, ModelHiddenItemFilter *filter)
    : QObject(line)
    , mLine(line)
    , mView(view)
    , mFilter(filter)
{
    mLine->setPlaceholderText(QStringLiteral("Search (Ctrl+F)"));
    mLine->setClearButtonEnabled(true);
    mLine->installEventFilter(this);
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL + Qt::Key_F), mLine->window());
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] {
        mLine->setFocus(Qt::ShortcutFocusReason);
        mLine->selectAll();
    });
    connect(mLine, &QLineEdit::textChanged, this, &TreeSearch::onTextChanged);
    // After the view's own handling, so that the view has taken the new layout in.
    connect(mFilter, &QAbstractItemModel::layoutChanged, this, &TreeSearch::onLayoutChanged);
    connect(mFilter, &QAbstractItemModel::modelReset, this, &TreeSearch::onModelReset);
}

bool TreeSearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == mLine && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && !mLine->text().isEmpty()) {
        mLine->clear();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TreeSearch::onTextChanged(const QString &text)
{
    const QString search = text.trimmed();
    if (search == mFilter->searchText())
        return;
    const bool starting = !mFilter->isSearching();
    if (starting)
        rememberExpansion();
    mFilter->setSearchText(search);
    if (!mFilter->isSearching())
        restoreExpansion();
}

void TreeSearch::onLayoutChanged()
{
    // Every group left in a search holds a match. Expanded here, while the view's relayout is
    // still pending, the groups cost the view no layout of their own.
    if (!mFilter->isSearching())
        return;
    for (QStandardItem *group : mFilter->groups()) {
        const QModelIndex shown = mFilter->mapFromSource(group->index());
        if (shown.isValid())
            mView->expand(shown);
    }
}

void TreeSearch::onModelReset()
{
    mExpanded.clear();
    if (mFilter->isSearching())
        mLine->clear();
}

void TreeSearch::rememberExpansion()
{
    mExpanded.clear();
    for (QStandardItem *group : mFilter->groups()) {
        // Hidden rows keep no expansion in the view.
        if (mView->isExpanded(mFilter->mapFromSource(group->index())))
            mExpanded.append(group->index());
    }
}

void TreeSearch::restoreExpansion()
{
    const bool animated = mView->isAnimated();
    mView->setAnimated(false);
    mView->collapseAll();
    for (const QPersistentModelIndex &index : qAsConst(mExpanded)) {
        const QModelIndex shown = mFilter->mapFromSource(index);
        if (shown.isValid())
            mView->expand(shown);
    }
    mView->setAnimated(animated);
    mExpanded.clear();
}
