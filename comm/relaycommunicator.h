#ifndef RELAYCOMMUNICATOR_H
#define RELAYCOMMUNICATOR_H

#include "comm/abstractcommunicator.h"

/// A port served by the relay program: every port operation is one request to the process-wide
/// RelayServer. Without a server (or while the relay is not connected) every operation fails.
class RelayCommunicator : public AbstractCommunicator
{
    Q_OBJECT

public:
    explicit RelayCommunicator(const QString &name, QObject *parent = nullptr);

    static unsigned portCount();
    static void portInfo(
        unsigned index, QByteArray &manufacturer, QByteArray &name, unsigned &version);
    /// Asks the relay server, if there is one, to start the relay program.
    static void startServer();

    bool open() override;
    bool close() override;
    bool isOpen() override;
    bool hasCamera() override;
    QByteArray portName() override;
    bool writeFrame(const QByteArray &frame) override;
    bool readReply(QByteArray &out, int timeoutMs, bool expectReply) override;

private:
    QByteArray mName;
    bool mOpened = false;
};

#endif // RELAYCOMMUNICATOR_H
