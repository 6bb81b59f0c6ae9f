#ifndef TREESEARCH_H
#define TREESEARCH_H

#include <QList>
#include <QObject>
#include <QPersistentModelIndex>

class ModelHiddenItemFilter;
class QLineEdit;
class QTreeView;

/// The search line of the parameter tree: what is typed narrows the tree to the rows whose name
/// or description contains it, with their groups expanded; clearing the line (Escape) brings
/// back the rows and the expansion the user had. Ctrl+F anywhere in the line's window puts the
/// focus on the line. A new tree ends the search.
class TreeSearch : public QObject
{
    Q_OBJECT

public:
    /// view shows filter; none of them is owned. Lives as long as line.
    TreeSearch(QLineEdit *line, QTreeView *view, ModelHiddenItemFilter *filter);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onTextChanged(const QString &text);
    void onLayoutChanged();
    void onModelReset();
    void rememberExpansion();
    void restoreExpansion();

    QLineEdit *mLine;
    QTreeView *mView;
    ModelHiddenItemFilter *mFilter;
    // Groups (source indexes) expanded when the search began.
    QList<QPersistentModelIndex> mExpanded;
};

#endif // TREESEARCH_H
