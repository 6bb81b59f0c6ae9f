#include "description/descriptionregistry.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/aboutdialog.h"
#include "ui/splashscreen.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestSplashAbout : public QObject
{
    Q_OBJECT

private slots:
    void splashShowsVersionImageAndLoading();
    void splashMinimumTime_data();
    void splashMinimumTime();
    void aboutShowsReleaseLineAndClosesWithOk();
};

void TestSplashAbout::splashShowsVersionImageAndLoading()
{
    QTemporaryDir work;
    QVERIFY(DescriptionFixture::write(work.filePath("XML/a.xml"), "ABC", "12", "1.0.0"));
    const QString oldCwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));

    SplashScreen splash;
    QCOMPARE(splash.elapsed(), qint64(-1));
    QCOMPARE(
        splash.versionText(), QStringLiteral("Version: 1.0.8 (%1 bit)").arg(QT_POINTER_SIZE * 8));
    QVERIFY(!splash.findChild<QLabel *>("lblSplash")->pixmap(Qt::ReturnByValue).isNull());
    splash.show();
    DescriptionRegistry registry;
    registry.loadDescriptions(&splash);
    QDir::setCurrent(oldCwd);
    QCOMPARE(registry.descriptions().size(), 1);
    QCOMPARE(splash.findChild<QLabel *>("lblStatus")->text(), QStringLiteral("Done"));
}

void TestSplashAbout::splashMinimumTime_data()
{
    QTest::addColumn<int>("shownBefore"); // ms the splash was up before finishAfter()
    QTest::addColumn<int>("minimum");
    QTest::newRow("waits out the minimum") << 0 << 300;
    QTest::newRow("closes at once when the time is over") << 60 << 50;
}

void TestSplashAbout::splashMinimumTime()
{
    QFETCH(int, shownBefore);
    QFETCH(int, minimum);
    SplashScreen splash;
    splash.show();
    QTRY_VERIFY(splash.elapsed() >= shownBefore);
    bool timerRan = false;
    QTimer::singleShot(30, [&timerRan] { timerRan = true; });
    QElapsedTimer call;
    call.start();
    splash.finishAfter(minimum);
    QVERIFY(splash.elapsed() >= minimum);
    QVERIFY(!splash.isVisible());
    if (shownBefore < minimum)
        QVERIFY2(timerRan, "events were not processed while waiting");
    else
        QVERIFY(call.elapsed() < 40);
}

void TestSplashAbout::aboutShowsReleaseLineAndClosesWithOk()
{
    const QRegularExpression line(
        QStringLiteral("^Release 1\\.0\\.8, (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                       "[ 1-3][0-9] [0-9]{4} \\(%1 bit\\), Basic configuration$")
            .arg(QT_POINTER_SIZE * 8));
    QString version;
    ModalAnswer answer(ModalAnswer::ofType<AboutDialog>(), [&version](QWidget *w) {
        version = static_cast<AboutDialog *>(w)->versionText();
        w->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    });
    AboutDialog::showAbout();
    QVERIFY(answer.answered());
    QVERIFY2(line.match(version).hasMatch(), qPrintable(version));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestSplashAbout)
#include "tst_splashabout.moc"
