#ifndef SPLASHSCREEN_H
#define SPLASHSCREEN_H

#include "description/descriptionloadprogress.h"

#include <QElapsedTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class SplashScreen;
}

/// The start-up picture with a status line; stays up a minimum time so that it can be read.
class SplashScreen : public QWidget, public DescriptionLoadProgress
{
    Q_OBJECT

public:
    explicit SplashScreen(QWidget *parent = nullptr);
    ~SplashScreen() override;

    /// Shows text in the status line and lets it paint while the caller keeps working.
    void setStatus(const QString &text) override;
    QString status() const;
    QString versionText() const;

    /// Closes once ms milliseconds have passed since the splash screen was shown, processing
    /// events while it waits.
    void finishAfter(int ms);
    /// Milliseconds since the last show; -1 before the first.
    qint64 elapsed() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::SplashScreen> mUi;
    QElapsedTimer mShown;
};

#endif // SPLASHSCREEN_H
