#ifndef FAKECOMMUNICATOR_H
#define FAKECOMMUNICATOR_H

#include "comm/abstractcommunicator.h"
#include "comm/commandqueue.h"

/// A transport whose port operations fail or succeed as the test says, and which only records
/// the exchanges a command queue dispatches to it.
class FakeCommunicator : public AbstractCommunicator
{
public:
    enum Step { Nothing, Open, Write, Read };
    Step failing = Nothing;
    QByteArray replyBytes;
    bool portOpen = false;
    QList<QueuedCommand> calls;

    bool open() override { return portOpen = failing != Open; }
    bool close() override
    {
        portOpen = false;
        return true;
    }
    bool isOpen() override { return portOpen; }
    bool hasCamera() override { return true; }
    QByteArray portName() override { return "FAKE1"; }
    bool writeFrame(const QByteArray &) override { return failing != Write; }
    bool readReply(QByteArray &out, int, bool) override
    {
        out = replyBytes;
        return failing != Read;
    }
    void sendCommandEventQueued(
        QString id, QByteArray cmd, QVariantList args, bool expectReply) override
    {
        calls.append({ this, id, cmd, args, expectReply });
    }
};

#endif // FAKECOMMUNICATOR_H
