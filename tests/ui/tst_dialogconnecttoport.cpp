#include "comm/communicationthreadobject.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "tests/ui/modalanswer.h"
#include "ui/dialogconnecttoport.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {

/// A running communication thread with simulated cameras that answer at once, no serial ports.
struct CommFixture
{
    explicit CommFixture(const QStringList &cameras)
    {
        MetaTypes::registerAll();
        VirtualCommunicator::clearVirtualDevices();
        for (const QString &name : cameras)
            VirtualCommunicator::addVirtualDevice(name);
        VirtualCommunicator::setDelayDivisor(0);
        comm.setSerialPortScanning(false);
        QObject::connect(&thread, &QThread::started, &comm,
            &CommunicationThreadObject::startCommunication, Qt::QueuedConnection);
        thread.start();
    }
    ~CommFixture()
    {
        thread.quit();
        thread.wait();
    }

    QThread thread;
    CommunicationThreadObject comm { &thread };
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

class TestDialogConnectToPort : public QObject
{
    Q_OBJECT

private slots:
    void connectToPort_data();
    void connectToPort();
    void statusUpdates_data();
    void statusUpdates();
};

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
    QTRY_VERIFY(fixture.comm.portNames().contains(QStringLiteral("Cam1")));
    fixture.comm.setCurrentPort(QStringLiteral("Cam1"));
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), [how, row](QWidget *w) {
        auto *dialog = static_cast<DialogConnectToPort *>(w);
        QTableWidget *table = tableOf(dialog);
        QTRY_COMPARE_WITH_TIMEOUT(rows(table),
            QStringList({ "Cam1|Detect camera: VirtualDevice-Cam1|1",
                "Cam2|Detect camera: VirtualDevice-Cam2|1" }),
            5000);
        QCOMPARE(table->currentRow(), 0);
        QVERIFY(buttonOf(dialog, QDialogButtonBox::Ok)->isEnabled());
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
    QCOMPARE(DialogConnectToPort::connectToPort(&fixture.comm), identification);
    QVERIFY(answer.answered());
    QCOMPARE(fixture.comm.currentPort(), port);
}

void TestDialogConnectToPort::statusUpdates_data()
{
    // Events as "port" followed by + (added), - (removed), ? (no camera) or =model (found).
    QTest::addColumn<QString>("events");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("okEnabled");
    QTest::addColumn<int>("selected"); // current row; -2: not checked

    const auto row
        = [](const char *name, const char *events, const QStringList &expected, bool okEnabled,
              int selected) { QTest::newRow(name) << events << expected << okEnabled << selected; };
    const QString found1 = "P1|Detect camera: AB-1|1", found2 = "P2|Detect camera: AB-2|1";
    row("added", "P1+", { "P1|Checking..|0" }, false, -1);
    row("camera found", "P1+ P1=AB-1", { found1 }, true, 0);
    row("camera lost again", "P1+ P1=AB-1 P1?", { "P1|Checking..|0" }, false, -2);
    row("one of two lost", "P1=AB-1 P2=AB-2 P1?", { "P1|Checking..|0", found2 }, true, -2);
    row("later camera keeps the selection", "P1+ P2=AB-2 P1=AB-1", { found1, found2 }, true, 1);
    row("unknown removed", "P9-", {}, false, -1);
    row("removed camera port", "P1=AB-1 P1-", {}, false, -1);
    row("re-added at the end", "P1+ P2+ P1- P1?", { "P2|Checking..|0", "P1|Checking..|0" }, false,
        -2);
}

void TestDialogConnectToPort::statusUpdates()
{
    QFETCH(QString, events);
    QFETCH(QStringList, expected);
    QFETCH(bool, okEnabled);
    QFETCH(int, selected);

    CommFixture fixture({});
    DialogConnectToPort dialog(&fixture.comm);
    const QRegularExpression kind(QStringLiteral("[-+?=]"));
    for (const QString &event : events.split(' ')) {
        const int at = event.indexOf(kind);
        // The marks are in the order of the CommStatus values.
        dialog.statusUpdate(
            event.left(at), CommStatus(QString("+-?=").indexOf(event.at(at))), event.mid(at + 1));
    }
    QCOMPARE(rows(tableOf(&dialog)), expected);
    QCOMPARE(buttonOf(&dialog, QDialogButtonBox::Ok)->isEnabled(), okEnabled);
    if (selected != -2)
        QCOMPARE(tableOf(&dialog)->currentRow(), selected);
}

QTEST_MAIN(TestDialogConnectToPort)
#include "tst_dialogconnecttoport.moc"
