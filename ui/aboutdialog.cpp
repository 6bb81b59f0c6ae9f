#include "ui/aboutdialog.h"

#include "ui/appidentity.h"
#include "ui/uiresources.h"
#include "ui_aboutdialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QUrl>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::AboutDialog>())
{
    UiResources::init();
    mUi->setupUi(this);
    setFixedSize(size());
    mUi->lblVersion->setText(QStringLiteral("Release %1, %2 (%3 bit), Basic configuration")
                                 .arg(AppIdentity::version(), AppIdentity::buildDate())
                                 .arg(AppIdentity::wordSize()));
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::versionText() const
{
    return mUi->lblVersion->text();
}

void AboutDialog::showAbout()
{
    AboutDialog dialog;
    dialog.exec();
}

void AboutDialog::on_lblQT_linkActivated(const QString &)
{
    QApplication::aboutQt();
}

void AboutDialog::on_lblCNotice_linkActivated(const QString &link)
{
    QDesktopServices::openUrl(QUrl(link));
}
