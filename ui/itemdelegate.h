#ifndef ITEMDELEGATE_H
#define ITEMDELEGATE_H

#include <QStyledItemDelegate>

class PellixItem;

/// Makes the value editors of the parameter tree's value column (ItemWidget) and ends their
/// edits on Return and Escape. The editors send their values themselves; the delegate never
/// writes model data.
class ItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ItemDelegate(QObject *parent = nullptr);

    /// The value cell behind an index of the tree's view (through its proxy models), or null.
    static PellixItem *itemOf(const QModelIndex &index);

    /// An ItemWidget for value cells; none for Bool cells, whose check box is their editor.
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;

signals:
    /// The mouse moved over the editor of the row at index.
    void editorHovered(const QModelIndex &index);

protected:
    bool eventFilter(QObject *object, QEvent *event) override;
};

#endif // ITEMDELEGATE_H
