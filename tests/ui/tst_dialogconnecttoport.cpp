#include "tests/ui/commfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/dialogconnecttoport.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {

struct Event
{
    QString id;
    CommStatus status;
    QString model;
};

QTableWidget *tableOf(QWidget *dialog)
{
    return dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

QPushButton *okOf(QWidget *dialog)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))
        ->button(QDialogButtonBox::Ok);
}

/// "port|status|marker" per row.
QStringList rows(QTableWidget *table)
{
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row) {
        out.append(table->item(row, 0)->text() + '|' + table->item(row, 1)->text() + '|'
            + table->item(row, 0)->data(DialogConnectToPort::CameraMarkerRole).toString());
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(QList<Event>)

class TestDialogConnectToPort : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void discoveryListsCameras();
    void connectToPortReturnsIdentification_data();
    void connectToPortReturnsIdentification();
    void cancelKeepsThePort();
    void statusUpdates_data();
    void statusUpdates();
    void laterCameraDoesNotMoveSelection();
    void doubleClickWithoutCameraGivesNothing();
    void portThatLostItsCameraGivesNothing();
};

void TestDialogConnectToPort::layout()
{
    CommFixture fixture({});
    DialogConnectToPort dialog(fixture.comm.get());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Connect to Camera"));
    QCOMPARE(dialog.size(), QSize(585, 285));
    QTableWidget *table = tableOf(&dialog);
    QCOMPARE(table->columnCount(), 2);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Communication port"));
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Status"));
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(!okOf(&dialog)->isEnabled());
}

void TestDialogConnectToPort::discoveryListsCameras()
{
    CommFixture fixture({ "Cam1", "Cam2" });
    DialogConnectToPort dialog(fixture.comm.get());
    QTableWidget *table = tableOf(&dialog);
    QTRY_COMPARE_WITH_TIMEOUT(rows(table),
        QStringList({ "Cam1|Detect camera: VirtualDevice-Cam1|1",
            "Cam2|Detect camera: VirtualDevice-Cam2|1" }),
        5000);
    QVERIFY(okOf(&dialog)->isEnabled());
    QCOMPARE(table->currentRow(), 0);
}

void TestDialogConnectToPort::connectToPortReturnsIdentification_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("identification");
    QTest::addColumn<QString>("port");
    QTest::newRow("first found") << 0 << QByteArray("VirtualDevice-Cam1") << "Cam1";
    QTest::newRow("second chosen") << 1 << QByteArray("VirtualDevice-Cam2") << "Cam2";
}

void TestDialogConnectToPort::connectToPortReturnsIdentification()
{
    QFETCH(int, row);
    QFETCH(QByteArray, identification);
    QFETCH(QString, port);

    CommFixture fixture({ "Cam1", "Cam2" });
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), [row](QWidget *dialog) {
        QTableWidget *table = tableOf(dialog);
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(okOf(dialog)->isEnabled(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(
            table->item(1, 0)->data(DialogConnectToPort::CameraMarkerRole).toInt() == 1, 5000);
        table->setCurrentCell(row, 1);
        okOf(dialog)->click();
    });
    const QByteArray result = DialogConnectToPort::connectToPort(fixture.comm.get());
    QVERIFY(answer.answered());
    QCOMPARE(result, identification);
    QCOMPARE(fixture.comm->currentPort(), port);
}

void TestDialogConnectToPort::cancelKeepsThePort()
{
    CommFixture fixture({ "Cam1" });
    QTRY_VERIFY(fixture.comm->portNames().contains(QStringLiteral("Cam1")));
    fixture.comm->setCurrentPort(QStringLiteral("Cam1"));
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), [](QWidget *dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(okOf(dialog)->isEnabled(), 5000);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(DialogConnectToPort::connectToPort(fixture.comm.get()), QByteArray());
    QVERIFY(answer.answered());
    QCOMPARE(fixture.comm->currentPort(), QStringLiteral("Cam1"));
}

void TestDialogConnectToPort::statusUpdates_data()
{
    QTest::addColumn<QList<Event>>("events");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("okEnabled");

    QTest::newRow("added") << QList<Event> { { "P1", StatusAdded, "" } }
                           << QStringList { "P1|Checking..|0" } << false;
    QTest::newRow("camera found") << QList<Event> { { "P1", StatusAdded, "" },
        { "P1", StatusCameraFound, "AB-1" } }
                                  << QStringList { "P1|Detect camera: AB-1|1" } << true;
    QTest::newRow("camera lost again") << QList<Event> { { "P1", StatusAdded, "" },
        { "P1", StatusCameraFound, "AB-1" }, { "P1", StatusNoCamera, "" } }
                                       << QStringList { "P1|Checking..|0" } << false;
    QTest::newRow("one of two lost")
        << QList<Event> { { "P1", StatusCameraFound, "AB-1" }, { "P2", StatusCameraFound, "AB-2" },
               { "P1", StatusNoCamera, "" } }
        << QStringList { "P1|Checking..|0", "P2|Detect camera: AB-2|1" } << true;
    QTest::newRow("removed") << QList<Event> { { "P1", StatusAdded, "" },
        { "P1", StatusRemoved, "" } }
                             << QStringList {} << false;
    QTest::newRow("unknown removed")
        << QList<Event> { { "P9", StatusRemoved, "" } } << QStringList {} << false;
    QTest::newRow("removed camera port")
        << QList<Event> { { "P1", StatusCameraFound, "AB-1" }, { "P1", StatusRemoved, "" } }
        << QStringList {} << false;
    QTest::newRow("re-added at the end")
        << QList<Event> { { "P1", StatusAdded, "" }, { "P2", StatusAdded, "" },
               { "P1", StatusRemoved, "" }, { "P1", StatusNoCamera, "" } }
        << QStringList { "P2|Checking..|0", "P1|Checking..|0" } << false;
}

void TestDialogConnectToPort::statusUpdates()
{
    QFETCH(QList<Event>, events);
    QFETCH(QStringList, expected);
    QFETCH(bool, okEnabled);

    CommFixture fixture({});
    DialogConnectToPort dialog(fixture.comm.get());
    for (const Event &event : events)
        dialog.statusUpdate(event.id, event.status, event.model);
    QCOMPARE(rows(tableOf(&dialog)), expected);
    QCOMPARE(okOf(&dialog)->isEnabled(), okEnabled);
}

void TestDialogConnectToPort::laterCameraDoesNotMoveSelection()
{
    CommFixture fixture({});
    DialogConnectToPort dialog(fixture.comm.get());
    dialog.statusUpdate("P1", StatusAdded, QString());
    QCOMPARE(tableOf(&dialog)->currentRow(), -1);
    dialog.statusUpdate("P2", StatusCameraFound, "AB-2");
    QCOMPARE(tableOf(&dialog)->currentRow(), 1);
    dialog.statusUpdate("P1", StatusCameraFound, "AB-1");
    QCOMPARE(tableOf(&dialog)->currentRow(), 1);
}

void TestDialogConnectToPort::doubleClickWithoutCameraGivesNothing()
{
    CommFixture fixture({ "Cam1" });
    QTRY_VERIFY(fixture.comm->portNames().contains(QStringLiteral("Cam1")));
    fixture.comm->setCurrentPort(QStringLiteral("Cam1"));
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), [](QWidget *widget) {
        auto *dialog = static_cast<DialogConnectToPort *>(widget);
        dialog->statusUpdate("Ghost", StatusNoCamera, QString());
        QTableWidget *table = tableOf(dialog);
        const int row = table->findItems("Ghost", Qt::MatchExactly).first()->row();
        table->setCurrentCell(row, 0);
        emit table->cellDoubleClicked(row, 0);
    });
    QCOMPARE(DialogConnectToPort::connectToPort(fixture.comm.get()), QByteArray());
    QVERIFY(answer.answered());
    // The selection is cleared: commands go nowhere until the next connect.
    QCOMPARE(fixture.comm->currentPort(), QString());
}

void TestDialogConnectToPort::portThatLostItsCameraGivesNothing()
{
    CommFixture fixture({});
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), [](QWidget *widget) {
        auto *dialog = static_cast<DialogConnectToPort *>(widget);
        // Reported once, but the communication thread no longer knows the port.
        dialog->statusUpdate("Gone", StatusCameraFound, "AB-1");
        QVERIFY(okOf(dialog)->isEnabled());
        QCOMPARE(dialog->selectedPort(), QString());
        QCOMPARE(dialog->selectedModel(), QByteArray());
        okOf(dialog)->click();
    });
    QCOMPARE(DialogConnectToPort::connectToPort(fixture.comm.get()), QByteArray());
    QVERIFY(answer.answered());
    QCOMPARE(fixture.comm->currentPort(), QString());
}

QTEST_MAIN(TestDialogConnectToPort)
#include "tst_dialogconnecttoport.moc"
