#ifndef COMBOBOXDELEGATEPARAMETERS_H
#define COMBOBOXDELEGATEPARAMETERS_H

#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>

/// Edits the "Value" cell of a command parameter table: free text, with the ids of the
/// current command offered first and then every id of the description.
class ComboBoxDelegateParameters : public QStyledItemDelegate
{
    Q_OBJECT

public:
    /// currentIds is asked each time an editor opens, so it sees the tables as they are then.
    ComboBoxDelegateParameters(std::function<QStringList()> currentIds, QObject *parent = nullptr);

    /// Every id used in any command of the description, sorted and unique.
    void setAllIds(const QStringList &ids) { mAllIds = ids; }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

private:
    std::function<QStringList()> mCurrentIds;
    QStringList mAllIds;
};

#endif // COMBOBOXDELEGATEPARAMETERS_H
