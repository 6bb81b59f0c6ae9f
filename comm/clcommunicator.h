#ifndef CLCOMMUNICATOR_H
#define CLCOMMUNICATOR_H

#include "comm/abstractcommunicator.h"

/// A camera on the serial channel of a Camera Link frame grabber, reached through the Camera
/// Link serial library (see CLSerialLibrary). Ports are named "<manufacturer> - <port id>".
class CLCommunicator : public AbstractCommunicator
{
    Q_OBJECT

public:
    /// Longest a read waits inside the library before it looks for a stop request.
    static constexpr int WaitSliceMs = 50;

    explicit CLCommunicator(const QString &name, QObject *parent = nullptr);
    ~CLCommunicator() override;

    /// Number of ports the library reports; 0 without a library or on an error.
    static unsigned portCount();
    /// Manufacturer and display name ("<manufacturer> - <port id>") of a port; both empty and
    /// version 0 when the library fails.
    static void portInfo(
        unsigned index, QByteArray &manufacturer, QByteArray &displayName, unsigned &version);

    bool open() override;
    bool close() override;
    bool isOpen() override;
    bool hasCamera() override;
    QByteArray portName() override;
    bool writeFrame(const QByteArray &frame) override;
    bool readReply(QByteArray &out, int timeoutMs, bool expectReply) override;

private:
    int findPortIndex() const;

    QString mName;
    void *mHandle = nullptr;
    bool mProbed = false;
    bool mCameraFound = false;
};

#endif // CLCOMMUNICATOR_H
