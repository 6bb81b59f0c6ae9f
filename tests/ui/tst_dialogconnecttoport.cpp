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

QPushButton *buttonOf(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(which);
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
    void discoveryListsCameras();
    void connectToPort_data();
    void connectToPort();
    void statusUpdates_data();
    void statusUpdates();
};

void TestDialogConnectToPort::discoveryListsCameras()
{
    CommFixture fixture({ "Cam1", "Cam2" });
    DialogConnectToPort dialog(fixture.comm.get());
    QVERIFY(!buttonOf(&dialog, QDialogButtonBox::Ok)->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(rows(tableOf(&dialog)),
        QStringList({ "Cam1|Detect camera: VirtualDevice-Cam1|1",
            "Cam2|Detect camera: VirtualDevice-Cam2|1" }),
        5000);
    QVERIFY(buttonOf(&dialog, QDialogButtonBox::Ok)->isEnabled());
    QCOMPARE(tableOf(&dialog)->currentRow(), 0);
}

void TestDialogConnectToPort::connectToPort_data()
{
    QTest::addColumn<QString>("how"); // ok, cancel, ghost (double-click on a port without
                                      // camera), gone (a camera its thread no longer knows)
    QTest::addColumn<int>("row");
    QTest::addColumn<QByteArray>("identification");
    QTest::addColumn<QString>("port"); // current afterwards; Cam1 was current before

    QTest::newRow("first found") << "ok" << 0 << QByteArray("VirtualDevice-Cam1") << "Cam1";
    QTest::newRow("second chosen") << "ok" << 1 << QByteArray("VirtualDevice-Cam2") << "Cam2";
    QTest::newRow("cancel keeps the port") << "cancel" << 0 << QByteArray() << "Cam1";
    QTest::newRow("double-click on port without camera")
        << "ghost" << 2 << QByteArray() << QString();
    QTest::newRow("camera checked again on accept") << "gone" << 2 << QByteArray() << QString();
}

void TestDialogConnectToPort::connectToPort()
{
    QFETCH(QString, how);
    QFETCH(int, row);
    QFETCH(QByteArray, identification);
    QFETCH(QString, port);

    CommFixture fixture({ "Cam1", "Cam2" });
    QTRY_VERIFY(fixture.comm->portNames().contains(QStringLiteral("Cam1")));
    fixture.comm->setCurrentPort(QStringLiteral("Cam1"));
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), [how, row](QWidget *w) {
        auto *dialog = static_cast<DialogConnectToPort *>(w);
        QTableWidget *table = tableOf(dialog);
        QTRY_COMPARE_WITH_TIMEOUT(rows(table).join(',').count("|1"), 2, 5000);
        if (how == "ghost")
            dialog->statusUpdate("Ghost", StatusNoCamera, QString());
        if (how == "gone")
            dialog->statusUpdate("Gone", StatusCameraFound, "AB-1");
        table->setCurrentCell(row, 0);
        if (how == "ghost") {
            emit table->cellDoubleClicked(row, 0);
            return;
        }
        buttonOf(dialog, how == "cancel" ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)
            ->click();
    });
    QCOMPARE(DialogConnectToPort::connectToPort(fixture.comm.get()), identification);
    QVERIFY(answer.answered());
    QCOMPARE(fixture.comm->currentPort(), port);
}

void TestDialogConnectToPort::statusUpdates_data()
{
    QTest::addColumn<QList<Event>>("events");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<int>("selected"); // current row; -2: not checked

    const Event added1 { "P1", StatusAdded, "" }, found1 { "P1", StatusCameraFound, "AB-1" },
        found2 { "P2", StatusCameraFound, "AB-2" }, lost1 { "P1", StatusNoCamera, "" },
        removed1 { "P1", StatusRemoved, "" };
    QTest::newRow("added") << QList<Event> { added1 } << QStringList { "P1|Checking..|0" } << false
                           << -1;
    QTest::newRow("camera found") << QList<Event> { added1, found1 }
                                  << QStringList { "P1|Detect camera: AB-1|1" } << true << 0;
    QTest::newRow("camera lost again") << QList<Event> { added1, found1, lost1 }
                                       << QStringList { "P1|Checking..|0" } << false << -2;
    QTest::newRow("one of two lost")
        << QList<Event> { found1, found2, lost1 }
        << QStringList { "P1|Checking..|0", "P2|Detect camera: AB-2|1" } << true << -2;
    QTest::newRow("later camera keeps the selection")
        << QList<Event> { added1, found2, found1 }
        << QStringList { "P1|Detect camera: AB-1|1", "P2|Detect camera: AB-2|1" } << true << 1;
    QTest::newRow("removed") << QList<Event> { added1, removed1 } << QStringList {} << false << -1;
    QTest::newRow("unknown removed")
        << QList<Event> { { "P9", StatusRemoved, "" } } << QStringList {} << false << -1;
    QTest::newRow("removed camera port")
        << QList<Event> { found1, removed1 } << QStringList {} << false << -1;
    QTest::newRow("re-added at the end")
        << QList<Event> { added1, { "P2", StatusAdded, "" }, removed1, lost1 }
        << QStringList { "P2|Checking..|0", "P1|Checking..|0" } << false << -2;
}

void TestDialogConnectToPort::statusUpdates()
{
    QFETCH(QList<Event>, events);
    QFETCH(QStringList, expected);
    QFETCH(bool, okEnabled);
    QFETCH(int, selected);

    CommFixture fixture({});
    DialogConnectToPort dialog(fixture.comm.get());
    for (const Event &event : events)
        dialog.statusUpdate(event.id, event.status, event.model);
    QCOMPARE(rows(tableOf(&dialog)), expected);
    QCOMPARE(buttonOf(&dialog, QDialogButtonBox::Ok)->isEnabled(), okEnabled);
    if (selected != -2)
        QCOMPARE(tableOf(&dialog)->currentRow(), selected);
}

QTEST_MAIN(TestDialogConnectToPort)
#include "tst_dialogconnecttoport.moc"
