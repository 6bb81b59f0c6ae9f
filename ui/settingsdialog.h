#ifndef SETTINGSDIALOG_H
#define SETTINGSDIALOG_H

#include <QDialog>

#include <memory>

class AppSettings;

namespace Ui {
class SettingsDialog;
}

/// The preferences dialog of File > Settings: confirmation on exit, the period of the automatic
/// refresh and the extra folders searched for camera descriptions.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    /// Shows the preferences held in AppSettings.
    explicit SettingsDialog(QWidget *parent = nullptr);
    ~SettingsDialog() override;

    /// Copies the dialog's values into settings (the period from seconds to milliseconds).
    void store(AppSettings &settings) const;

    /// Runs the dialog modally; when it is accepted, stores its values in AppSettings and saves
    /// them. True when accepted.
    static bool run();

private slots:
    void on_pbXMLAdd_clicked();
    void on_pbXMLEdit_clicked();
    void on_pbXMLRemove_clicked();

private:
    std::unique_ptr<Ui::SettingsDialog> mUi;
};

#endif // SETTINGSDIALOG_H
