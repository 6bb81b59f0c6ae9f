#ifndef SELECTREFERENCESDIALOG_H
#define SELECTREFERENCESDIALOG_H

#include <QDialog>

#include <memory>

namespace Ui {
class SelectReferencesDialog;
}

/// Lets the user tick the commands and camera values that a comma-separated reference list
/// (an element's InvalidatedBy) should hold.
class SelectReferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SelectReferencesDialog(QWidget *parent = nullptr);
    ~SelectReferencesDialog() override;

    /// Offers the names with those of line ticked; on OK replaces line with the ticked names
    /// in list order, joined with "," (entries that are not offered are dropped). Returns
    /// whether the dialog was accepted.
    static bool select(const QStringList &offered, QString &line, QWidget *parent = nullptr);

private:
    std::unique_ptr<Ui::SelectReferencesDialog> mUi;
};

#endif // SELECTREFERENCESDIALOG_H
