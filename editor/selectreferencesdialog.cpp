#include "editor/selectreferencesdialog.h"

#include "ui_selectreferencesdialog.h"

SelectReferencesDialog::SelectReferencesDialog(QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::SelectReferencesDialog>())
{
    mUi->setupUi(this);
}

SelectReferencesDialog::~SelectReferencesDialog() = default;

bool SelectReferencesDialog::select(const QStringList &offered, QString &line, QWidget *parent)
{
    SelectReferencesDialog dialog(parent);
    const QStringList current = line.split(QLatin1Char(','));
    QListWidget *list = dialog.mUi->listWidget;
    for (const QString &name : offered) {
        auto *row = new QListWidgetItem(name, list);
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(current.contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    QStringList ticked;
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked)
            ticked.append(list->item(i)->text());
    }
    line = ticked.join(QLatin1Char(','));
    return true;
}
