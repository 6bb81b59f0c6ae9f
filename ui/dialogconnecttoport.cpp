#include "ui/dialogconnecttoport.h"

#include "comm/communicationthreadobject.h"
#include "ui_dialogconnecttoport.h"

#include <QPushButton>

DialogConnectToPort::DialogConnectToPort(CommunicationThreadObject *comm, QWidget *parent)
    : QDialog(parent)
    , mComm(comm)
    , mUi(std::make_unique<Ui::DialogConnectToPort>())
{
    mUi->setupUi(this);
    connect(mUi->tableWidget, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    connect(mUi->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(mUi->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Queued from the communication thread, direct when startDiscovery reports from here.
    connect(
        mComm, &CommunicationThreadObject::statusUpdate, this, &DialogConnectToPort::statusUpdate);
    mComm->startDiscovery();
    updateOkButtonStatus();
}

DialogConnectToPort::~DialogConnectToPort()
{
    mComm->stopDiscovery();
}

QByteArray DialogConnectToPort::connectToPort(
    CommunicationThreadObject *comm, QWidget *parent, bool *accepted)
{
    DialogConnectToPort dialog(comm, parent);
    const bool ok = dialog.exec() == QDialog::Accepted;
    if (accepted)
        *accepted = ok;
    if (!ok)
        return QByteArray();
    const QString port = dialog.selectedPort();
    comm->setCurrentPort(port);
    return port.isEmpty() ? QByteArray() : dialog.mModels.value(port);
}

QString DialogConnectToPort::selectedPort() const
{
    const int row = mUi->tableWidget->currentRow();
    const QTableWidgetItem *item = row < 0 ? nullptr : mUi->tableWidget->item(row, 0);
    if (!item)
        return QString();
    const QString port = item->text();
    return mComm->getStatus(port) == StatusCameraFound ? port : QString();
}

QByteArray DialogConnectToPort::selectedModel() const
{
    const QString port = selectedPort();
    return port.isEmpty() ? QByteArray() : mModels.value(port);
}

int DialogConnectToPort::rowOf(const QString &id) const
{
    for (int row = 0; row < mUi->tableWidget->rowCount(); ++row) {
        const QTableWidgetItem *item = mUi->tableWidget->item(row, 0);
        if (item && item->text() == id)
            return row;
    }
    return -1;
}

void DialogConnectToPort::statusUpdate(QString id, CommStatus status, QString model)
{
    QTableWidget *table = mUi->tableWidget;
    int row = rowOf(id);
    if (row < 0) {
        if (status == StatusRemoved)
            return;
        row = table->rowCount();
        table->insertRow(row);
        table->setItem(row, 0, new QTableWidgetItem(id));
        table->setItem(row, 1, new QTableWidgetItem(QStringLiteral("Idle")));
    }

    switch (status) {
    case StatusRemoved:
        table->removeRow(row);
        break;
    case StatusAdded:
    case StatusNoCamera:
        table->item(row, 1)->setText(QStringLiteral("Checking.."));
        table->item(row, 0)->setData(CameraMarkerRole, 0);
        break;
    case StatusCameraFound:
        table->item(row, 1)->setText(QStringLiteral("Detect camera: %1").arg(model));
        mModels.insert(id, model.toLatin1());
        if (table->currentRow() < 0)
            table->setCurrentCell(row, 0);
        table->item(row, 0)->setData(CameraMarkerRole, 1);
        break;
    }

    table->resizeColumnsToContents();
    updateOkButtonStatus();
}

void DialogConnectToPort::updateOkButtonStatus()
{
    bool cameraSeen = false;
    for (int row = 0; row < mUi->tableWidget->rowCount() && !cameraSeen; ++row) {
        const QTableWidgetItem *item = mUi->tableWidget->item(row, 0);
        cameraSeen = item && item->data(CameraMarkerRole).toInt() == 1;
    }
    mUi->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(cameraSeen);
}
