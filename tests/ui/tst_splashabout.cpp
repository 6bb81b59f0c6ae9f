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
    void splashShowsVersionAndImage();
    void splashStaysForTheMinimumTimeAndKeepsProcessingEvents();
    void splashClosesAtOnceWhenTheTimeIsOver();
    void splashShowsDescriptionLoading();
    void aboutShowsReleaseLine();
    void aboutRunsModallyAndClosesWithOk();
};

void TestSplashAbout::splashShowsVersionAndImage()
{
    SplashScreen splash;
    QCOMPARE(splash.size(), QSize(575, 300));
    QCOMPARE(splash.minimumSize(), splash.maximumSize());
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(
        splash.versionText(), QStringLiteral("Version: 1.0.8 (%1 bit)").arg(QT_POINTER_SIZE * 8));
    const auto *image = splash.findChild<QLabel *>(QStringLiteral("lblSplash"));
    QVERIFY(image);
    QVERIFY(!image->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(splash.findChild<QLabel *>(QStringLiteral("lblAppName"))->text(),
        QStringLiteral("Marnifex"));
    QCOMPARE(splash.elapsed(), qint64(-1));
}

void TestSplashAbout::splashStaysForTheMinimumTimeAndKeepsProcessingEvents()
{
    SplashScreen splash;
    splash.show();
    QVERIFY(splash.isVisible());
    bool timerRan = false;
    QTimer::singleShot(30, [&timerRan] { timerRan = true; });

    splash.finishAfter(300);
    QVERIFY(splash.elapsed() >= 300);
    QVERIFY(!splash.isVisible());
    QVERIFY(timerRan);
}

void TestSplashAbout::splashClosesAtOnceWhenTheTimeIsOver()
{
    SplashScreen splash;
    splash.show();
    QTRY_VERIFY(splash.elapsed() >= 60);
    QElapsedTimer call;
    call.start();
    splash.finishAfter(50);
    QVERIFY(call.elapsed() < 40);
    QVERIFY(!splash.isVisible());
}

void TestSplashAbout::splashShowsDescriptionLoading()
{
    QTemporaryDir work;
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(work.path());
    QVERIFY(DescriptionFixture::write(work.filePath("XML/a.xml"), "ABC", "12", "1.0.0"));

    SplashScreen splash;
    splash.show();
    QStringList seen;
    QLabel *status = splash.findChild<QLabel *>(QStringLiteral("lblStatus"));
    DescriptionRegistry registry;
    struct Spy : DescriptionLoadProgress
    {
        SplashScreen *splash;
        QStringList *seen;
        void setStatus(const QString &text) override
        {
            splash->setStatus(text);
            seen->append(splash->status());
        }
    } spy;
    spy.splash = &splash;
    spy.seen = &seen;
    registry.loadDescriptions(&spy);
    QDir::setCurrent(oldCwd);

    QCOMPARE(seen,
        QStringList({ "Loading application data..", "Found 1 files.", "Loading: a.xml", "Done" }));
    QCOMPARE(status->text(), QStringLiteral("Done"));
}

void TestSplashAbout::aboutShowsReleaseLine()
{
    AboutDialog about;
    QCOMPARE(about.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(about.size(), QSize(575, 300));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    const QRegularExpression line(
        QStringLiteral("^Release 1\\.0\\.8, (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                       "[ 1-3][0-9] [0-9]{4} \\((32|64) bit\\), Basic configuration$"));
    QVERIFY2(line.match(about.versionText()).hasMatch(), qPrintable(about.versionText()));
    QVERIFY(about.versionText().contains(QStringLiteral("(%1 bit)").arg(QT_POINTER_SIZE * 8)));
    QCOMPARE(about.findChild<QLabel *>(QStringLiteral("lblQT"))->text(),
        QStringLiteral("<A HREF=\"#\" Style=\"color:white\">This software uses the Qt "
                       "Software library</A>"));
}

void TestSplashAbout::aboutRunsModallyAndClosesWithOk()
{
    ModalAnswer answer(ModalAnswer::ofType<AboutDialog>(),
        [](QWidget *w) { w->findChild<QPushButton *>(QStringLiteral("pushButton"))->click(); });
    AboutDialog::showAbout();
    QVERIFY(answer.answered());
    QCOMPARE(answer.title(), QStringLiteral("Dialog"));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestSplashAbout)
#include "tst_splashabout.moc"
