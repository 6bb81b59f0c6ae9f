#ifndef COMCOMMUNICATOR_H
#define COMCOMMUNICATOR_H

#include "comm/abstractcommunicator.h"

#include <QSerialPort>

/// A camera on a plain serial port at 57600 baud, 8N1, no flow control. The port object is
/// created on first use in the communicator's thread and is used only there.
class ComCommunicator : public AbstractCommunicator
{
    Q_OBJECT

public:
    static constexpr qint32 BaudRate = 57600;

    /// name: a device name as the serial port accepts it ("ttyUSB0", "/dev/ttyUSB0", "COM3").
    explicit ComCommunicator(const QString &name, QObject *parent = nullptr);
    ~ComCommunicator() override;

    bool open() override;
    bool close() override;
    bool isOpen() override;
    bool hasCamera() override;
    QByteArray portName() override;
    bool writeFrame(const QByteArray &frame) override;
    bool readReply(QByteArray &out, int timeoutMs, bool expectReply) override;

    /// Whether bytes complete a reply: an ACK alone when no data is expected, ACK with "@" and
    /// CR, or a NAK.
    static bool replyComplete(const QByteArray &bytes, bool expectReply);

    /// What the user is told when a device may not be opened: on Unix-like systems, that another
    /// program uses it when the user may read and write it, otherwise the group whose members
    /// may (the device's group, dialout when that is unknown or root).
    static QString permissionDeniedText(const QString &device);

protected:
    /// Opens the device; false leaves the reason in error. Tests override it to meet failures
    /// that the test machine cannot produce.
    virtual bool openDevice(QSerialPort::SerialPortError *error);

private:
    void ensurePort();
    void requestLowLatency();
    void portErrorOccurred(QSerialPort::SerialPortError error);
    bool isHangUp(QSerialPort::SerialPortError error) const;
    void hangUp();

    QString mName;
    QSerialPort *mPort = nullptr;
    bool mProbed = false;
    bool mCameraFound = false;
    /// An exchange is reading or writing: port errors are handled by the exchange itself.
    bool mInExchange = false;
    bool mHangUpPending = false;
    bool mPermissionReported = false;
    bool mLowLatencyRefused = false;
};

#endif // COMCOMMUNICATOR_H
