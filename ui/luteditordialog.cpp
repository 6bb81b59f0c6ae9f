#include "ui/luteditordialog.h"

#include "engine/luttextfile.h"
#include "ui_luteditordialog.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QSaveFile>

LUTEditorDialog::LUTEditorDialog(QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::LUTEditorDialog>())
{
    mUi->setupUi(this);
}

LUTEditorDialog::~LUTEditorDialog() = default;

bool LUTEditorDialog::edit(QStringList &values, int count, QWidget *parent)
{
    QPointer<LUTEditorDialog> dialog = new LUTEditorDialog(parent);
    dialog->setValues(count, values);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return false;
    if (accepted)
        dialog->getValues(values);
    delete dialog;
    return accepted;
}

void LUTEditorDialog::setValues(int count, const QStringList &values)
{
    QTableWidget *table = mUi->tableWidget;
    const int rows = qMax(count, 0);
    table->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        table->setItem(row, 0, new QTableWidgetItem(values.value(row)));
        table->setVerticalHeaderItem(row, new QTableWidgetItem(QString::number(row)));
    }
}

void LUTEditorDialog::getValues(QStringList &values) const
{
    values.clear();
    const QTableWidget *table = mUi->tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *cell = table->item(row, 0);
        values.append(cell ? cell->text() : QString());
    }
}

void LUTEditorDialog::on_tableWidget_cellChanged(int row, int column)
{
    QTableWidgetItem *cell = mUi->tableWidget->item(row, column);
    if (!cell)
        return;
    cell->setText(LutTextFile::cellValue(cell->text()));
}

void LUTEditorDialog::on_pbLoadFromFile_clicked()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Load text file"), QString(), QStringLiteral("*.txt"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, QStringLiteral("Load text file"),
            QStringLiteral("The lookup table could not be loaded from %1:\n%2")
                .arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    const int rows = mUi->tableWidget->rowCount();
    setValues(rows, LutTextFile::read(&file, rows));
}

void LUTEditorDialog::on_pbSaveToFile_clicked()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save text file"), QString(), QStringLiteral("*.txt"));
    if (path.isEmpty())
        return;
    QStringList values;
    getValues(values);
    // Written beside the target and moved over it at the end: a failed save keeps the old file.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(LutTextFile::toText(values));
        if (file.commit())
            return;
    }
    QMessageBox::warning(this, QStringLiteral("Save text file"),
        QStringLiteral("The lookup table could not be saved to %1:\n%2")
            .arg(QDir::toNativeSeparators(path), file.errorString()));
}
