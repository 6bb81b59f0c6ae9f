#include "ui/splashscreen.h"

#include "ui/appidentity.h"
#include "ui/uiresources.h"
#include "ui_splashscreen.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

SplashScreen::SplashScreen(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , mUi(std::make_unique<Ui::SplashScreen>())
{
    UiResources::init();
    mUi->setupUi(this);
    setFixedSize(size());
    mUi->lblVersion->setText(QStringLiteral("Version: %1 (%2 bit)")
                                 .arg(AppIdentity::version())
                                 .arg(AppIdentity::wordSize()));
}

SplashScreen::~SplashScreen() = default;

void SplashScreen::setStatus(const QString &text)
{
    mUi->lblStatus->setText(text);
    // Loading runs in this thread: give the label two chances to repaint.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QString SplashScreen::status() const
{
    return mUi->lblStatus->text();
}

QString SplashScreen::versionText() const
{
    return mUi->lblVersion->text();
}

void SplashScreen::finishAfter(int ms)
{
    if (mShown.isValid()) {
        // The user interface stays responsive while the minimum time runs out.
        while (mShown.elapsed() < ms) {
            QEventLoop loop;
            QTimer::singleShot(qMin<qint64>(50, ms - mShown.elapsed()), &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    close();
}

qint64 SplashScreen::elapsed() const
{
    return mShown.isValid() ? mShown.elapsed() : -1;
}

void SplashScreen::showEvent(QShowEvent *event)
{
    mShown.start();
    QWidget::showEvent(event);
}
