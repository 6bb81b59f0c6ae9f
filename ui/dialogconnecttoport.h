#ifndef DIALOGCONNECTTOPORT_H
#define DIALOGCONNECTTOPORT_H

#include "comm/commstatus.h"

#include <QByteArray>
#include <QDialog>
#include <QMap>

#include <memory>

class CommunicationThreadObject;

namespace Ui {
class DialogConnectToPort;
}

/// Lets the user pick the port of a camera while the communication thread probes every port.
class DialogConnectToPort : public QDialog
{
    Q_OBJECT

public:
    /// Item data role of column 0 that marks a port with a detected camera (1) or without (0).
    static constexpr int CameraMarkerRole = Qt::UserRole + 1;

    /// Starts discovery; it runs until the dialog is destroyed.
    explicit DialogConnectToPort(CommunicationThreadObject *comm, QWidget *parent = nullptr);
    ~DialogConnectToPort() override;

    /// Runs the dialog modally. When accepted, makes the chosen port current and returns the
    /// identification text of its camera; otherwise, or when the camera has gone meanwhile,
    /// returns empty bytes. accepted, when given, tells a cancel from a port without camera.
    static QByteArray connectToPort(
        CommunicationThreadObject *comm, QWidget *parent = nullptr, bool *accepted = nullptr);

    /// The current row's port, if the communication thread confirms that its camera is still
    /// there (blocking); empty otherwise.
    QString selectedPort() const;
    /// The identification text stored for selectedPort().
    QByteArray selectedModel() const;

public slots:
    void statusUpdate(QString id, CommStatus status, QString model);
    void updateOkButtonStatus();

private:
    int rowOf(const QString &id) const;

    CommunicationThreadObject *mComm;
    std::unique_ptr<Ui::DialogConnectToPort> mUi;
    QMap<QString, QByteArray> mModels;
};

#endif // DIALOGCONNECTTOPORT_H
