#include "engine/commthreadchannel.h"

#include "comm/communicationthreadobject.h"

CommThreadChannel::CommThreadChannel(CommunicationThreadObject *comm)
    : mComm(comm)
{ }

bool CommThreadChannel::sendCommand(
    const QString &id, const QByteArray &code, const QVariantList &args, bool expectReply)
{
    return mComm && mComm->sendCommand(id, code, args, expectReply);
}

bool CommThreadChannel::sendCommandDirect(
    const QByteArray &code, const QVariantList &args, bool expectReply, QVariantList *reply)
{
    if (!mComm)
        return false;
    bool success = false;
    QVariantList result;
    mComm->sendCommandDirect(code, args, expectReply, &success, &result);
    if (reply)
        *reply = result;
    return success;
}

bool CommThreadChannel::isOnline() const
{
    return mComm && mComm->isOnline();
}

void CommThreadChannel::setRetries(int retries)
{
    if (mComm)
        mComm->setRetries(retries);
}
