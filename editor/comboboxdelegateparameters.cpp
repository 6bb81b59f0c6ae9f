#include "editor/comboboxdelegateparameters.h"

#include <QAbstractItemView>
#include <QComboBox>

ComboBoxDelegateParameters::ComboBoxDelegateParameters(
    std::function<QStringList()> currentIds, QObject *parent)
    : QStyledItemDelegate(parent)
    , mCurrentIds(std::move(currentIds))
{ }

QWidget *ComboBoxDelegateParameters::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *combo = new QComboBox(parent);
    combo->setEditable(true);
    const QStringList current = mCurrentIds ? mCurrentIds() : QStringList();
    combo->addItems(current);
    if (!current.isEmpty())
        combo->insertSeparator(combo->count());
    combo->addItems(mAllIds);
    combo->view()->setMinimumWidth(200);
    return combo;
}

void ComboBoxDelegateParameters::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QComboBox *>(editor)->setEditText(index.data(Qt::EditRole).toString());
}

void ComboBoxDelegateParameters::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
}
