#include "ui/progressdialogtransferprogress.h"

#include <QApplication>
#include <QPushButton>
#include <QtTest>

// The progress dialog of list transfers: how it looks, what it reports and when it goes.
class TestProgressDialogTransferProgress : public QObject
{
    Q_OBJECT

private slots:
    void dialogShowsEntriesAndReportsCancel();
    void dialogLivesForOneTransfer();
};

void TestProgressDialogTransferProgress::dialogShowsEntriesAndReportsCancel()
{
    const QString title("Loading list from camera");
    QWidget window;
    window.show();
    QApplication::setActiveWindow(&window);
    QTRY_COMPARE(QApplication::activeWindow(), &window);

    ProgressDialogTransferProgress progress;
    progress.begin(title, 256);

    QProgressDialog *dialog = progress.dialog();
    QCOMPARE(dialog->parentWidget(), &window);
    QCOMPARE(dialog->windowTitle(), title);
    QCOMPARE(dialog->maximum(), 256);
    QVERIFY(dialog->isModal());

    QVERIFY(!progress.update(1, title + " (1/256)"));
    QCOMPARE(dialog->value(), 1);
    QCOMPARE(dialog->labelText(), title + " (1/256)");
    QTRY_VERIFY(dialog->isVisible());
    QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
    QVERIFY(progress.update(2, title + " (2/256)"));
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
        progress.end();

        // A new transfer replaces an old dialog.
        progress.begin("Saving list to camera", 2);
        dialog = progress.dialog();
        progress.begin("Loading list from camera", 3);
        QVERIFY(dialog.isNull());
        dialog = progress.dialog();
    }
    // Going away mid-transfer takes the dialog along.
    QVERIFY(dialog.isNull());
}

QTEST_MAIN(TestProgressDialogTransferProgress)
#include "tst_progressdialogtransferprogress.moc"
