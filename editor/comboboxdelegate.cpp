#include "editor/comboboxdelegate.h"

#include <QAbstractItemView>
#include <QComboBox>

QWidget *ComboBoxDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *combo = new QComboBox(parent);
    combo->addItems(
        { QStringLiteral("Integer"), QStringLiteral("String"), QStringLiteral("Constant") });
    combo->view()->setMinimumWidth(150);
    return combo;
}

void ComboBoxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *combo = static_cast<QComboBox *>(editor);
    combo->setCurrentIndex(combo->findText(index.data(Qt::EditRole).toString()));
}

void ComboBoxDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
}
