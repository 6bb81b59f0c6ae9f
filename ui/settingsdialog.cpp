#include "ui/settingsdialog.h"

#include "app/appsettings.h"
#include "ui_settingsdialog.h"

#include <QFileDialog>

namespace {

QString chooseDirectory(QWidget *parent, const QString &start)
{
    return QFileDialog::getExistingDirectory(
        parent, QStringLiteral("Select directory"), start, QFileDialog::ShowDirsOnly);
}

} // namespace

SettingsDialog::SettingsDialog(QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::SettingsDialog>())
{
    mUi->setupUi(this);
    const AppSettings &settings = AppSettings::instance();
    mUi->cbExitConfirmation->setChecked(settings.askExitWindows);
    if (settings.runtimeAlwaysEditMode)
        mUi->rbEditAlways->setChecked(true);
    else
        mUi->rbEditSelection->setChecked(true);
    mUi->sbUpdateTime->setValue(settings.updateDelay / 1000);
    mUi->lwXMLPaths->addItems(settings.searchPaths);
    mUi->tabWidget->setCurrentIndex(0);
    // The edit mode is kept but not offered here.
    mUi->lblEditMode->hide();
    mUi->rbEditSelection->hide();
    mUi->rbEditAlways->hide();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::store(AppSettings &settings) const
{
    settings.askExitWindows = mUi->cbExitConfirmation->isChecked();
    settings.runtimeAlwaysEditMode = mUi->rbEditAlways->isChecked();
    settings.updateDelay = mUi->sbUpdateTime->value() * 1000;
    settings.searchPaths.clear();
    for (int row = 0; row < mUi->lwXMLPaths->count(); ++row)
        settings.searchPaths.append(mUi->lwXMLPaths->item(row)->text());
}

bool SettingsDialog::run()
{
    SettingsDialog dialog;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    AppSettings &settings = AppSettings::instance();
    dialog.store(settings);
    settings.save();
    return true;
}

void SettingsDialog::on_pbXMLAdd_clicked()
{
    const QString path = chooseDirectory(this, QString());
    if (path.isEmpty()
        || !mUi->lwXMLPaths->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty())
        return;
    mUi->lwXMLPaths->addItem(path);
}

void SettingsDialog::on_pbXMLEdit_clicked()
{
    QListWidgetItem *item = mUi->lwXMLPaths->currentItem();
    if (!item)
        return;
    const QString path = chooseDirectory(this, item->text());
    if (!path.isEmpty())
        item->setText(path);
}

void SettingsDialog::on_pbXMLRemove_clicked()
{
    delete mUi->lwXMLPaths->currentItem();
}
