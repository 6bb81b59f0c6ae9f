#include "ui/progressdialogtransferprogress.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

// The progress dialog of list transfers: how it looks, what it reports and when it goes.
class TestProgressDialogTransferProgress : public QObject
{
    Q_OBJECT

private slots:
    void dialogOverTheActiveWindow_data();
    void dialogOverTheActiveWindow();
    void updateShowsEntryAndReportsCancel();
    void dialogLivesForOneTransfer();
};

void TestProgressDialogTransferProgress::dialogOverTheActiveWindow_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<bool>("withWindow");

    QTest::newRow("loading") << "Loading list from camera" << 256 << true;
    QTest::newRow("no active window") << "Saving list to camera" << 0 << false;
}

void TestProgressDialogTransferProgress::dialogOverTheActiveWindow()
{
    QFETCH(QString, title);
    QFETCH(int, maximum);
    QFETCH(bool, withWindow);
    QWidget window;
    if (withWindow) {
        window.show();
        QApplication::setActiveWindow(&window);
        QTRY_COMPARE(QApplication::activeWindow(), &window);
    }

    ProgressDialogTransferProgress progress;
    progress.begin(title, maximum);

    QProgressDialog *dialog = progress.dialog();
    QCOMPARE(dialog->parentWidget(), withWindow ? &window : nullptr);
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->maximum(), maximum);
    QCOMPARE(dialog->minimumDuration(), 0);
    QCOMPARE(dialog->size(), QSize(350, 150));
    QVERIFY(dialog->isModal());
    const QList<QPushButton *> buttons = dialog->findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.first()->text(), QString("Cancel"));
}

void TestProgressDialogTransferProgress::updateShowsEntryAndReportsCancel()
{
    ProgressDialogTransferProgress progress;
    progress.begin("Loading list from camera", 4);
    QProgressDialog *dialog = progress.dialog();

    QVERIFY(!progress.update(0, "Loading list from camera (0/4)"));
    QVERIFY(!progress.update(1, "Loading list from camera (1/4)"));
    QCOMPARE(dialog->value(), 1);
    QCOMPARE(dialog->labelText(), QString("Loading list from camera (1/4)"));
    QTRY_VERIFY(dialog->isVisible());

    QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
    QVERIFY(progress.update(2, "Loading list from camera (2/4)"));
}

void TestProgressDialogTransferProgress::dialogLivesForOneTransfer()
{
    QPointer<QProgressDialog> dialog;
    {
        ProgressDialogTransferProgress progress;
        // Without a transfer there is nothing to cancel.
        QVERIFY(!progress.update(0, "Loading list from camera (0/1)"));
        QVERIFY(!progress.dialog());

        progress.begin("Saving list to camera", 2);
        dialog = progress.dialog();
        progress.end();
        QVERIFY(dialog.isNull());
        QVERIFY(!progress.dialog());
        progress.end();

        // A new transfer replaces an old dialog.
        progress.begin("Saving list to camera", 2);
        dialog = progress.dialog();
        progress.begin("Loading list from camera", 3);
        QVERIFY(dialog.isNull());
        QCOMPARE(progress.dialog()->windowTitle(), QString("Loading list from camera"));
        dialog = progress.dialog();
    }
    // Going away mid-transfer takes the dialog along.
    QVERIFY(dialog.isNull());
}

QTEST_MAIN(TestProgressDialogTransferProgress)
#include "tst_progressdialogtransferprogress.moc"
