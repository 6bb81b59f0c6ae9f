#ifndef ABOUTDIALOG_H
#define ABOUTDIALOG_H

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

/// The modal about box with the release line and the maker's notice.
class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    QString versionText() const;

    /// Creates the box without parent and runs it modally.
    static void showAbout();

private slots:
    void on_lblQT_linkActivated(const QString &link);
    void on_lblCNotice_linkActivated(const QString &link);

private:
    std::unique_ptr<Ui::AboutDialog> mUi;
};

#endif // ABOUTDIALOG_H
