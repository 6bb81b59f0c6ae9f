#ifndef LUTEDITORDIALOG_H
#define LUTEDITORDIALOG_H

#include <QDialog>
#include <QStringList>

#include <memory>

namespace Ui {
class LUTEditorDialog;
}

/// Edits the entries of a camera list (typically a lookup table) as one column of whole
/// numbers, and loads them from or saves them to text files of one value per line.
class LUTEditorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit LUTEditorDialog(QWidget *parent = nullptr);
    ~LUTEditorDialog() override;

    /// Runs the dialog modally with count rows filled from values; when it is accepted, values
    /// receives the table. Returns whether it was accepted.
    static bool edit(QStringList &values, int count, QWidget *parent = nullptr);

    /// count rows, row i showing values[i] (0 where values is shorter).
    void setValues(int count, const QStringList &values);
    void getValues(QStringList &values) const;

private slots:
    void on_tableWidget_cellChanged(int row, int column);
    void on_pbLoadFromFile_clicked();
    void on_pbSaveToFile_clicked();

private:
    std::unique_ptr<Ui::LUTEditorDialog> mUi;
};

#endif // LUTEDITORDIALOG_H
