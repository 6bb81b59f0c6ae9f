#ifndef COMMTHREADCHANNEL_H
#define COMMTHREADCHANNEL_H

#include "engine/commandchannel.h"

class CommunicationThreadObject;

/// Sends the value engine's requests through the communication thread object.
class CommThreadChannel : public CommandChannel
{
public:
    explicit CommThreadChannel(CommunicationThreadObject *comm);

    bool sendCommand(const QString &id, const QByteArray &code, const QVariantList &args,
        bool expectReply) override;
    bool sendCommandDirect(const QByteArray &code, const QVariantList &args, bool expectReply,
        QVariantList *reply) override;
    bool isOnline() const override;
    void setRetries(int retries) override;

private:
    CommunicationThreadObject *mComm;
};

#endif // COMMTHREADCHANNEL_H
