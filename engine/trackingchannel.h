#ifndef TRACKINGCHANNEL_H
#define TRACKINGCHANNEL_H

#include "comm/abstractcommunicator.h"
#include "engine/commthreadchannel.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>

class CommunicationThreadObject;

/// The value engine's way to the camera for clients without a window (mfxctl): forwards to the
/// communication thread like the program's channel, and keeps account of the requests still on
/// their way and of the exchanges that failed, so that a client can wait for its replies and
/// tell whether the camera answered.
class TrackingChannel : public QObject, public CommandChannel
{
    Q_OBJECT

public:
    explicit TrackingChannel(CommunicationThreadObject *comm, QObject *parent = nullptr);

    bool sendCommand(const QString &id, const QByteArray &code, const QVariantList &args,
        bool expectReply) override;
    bool sendCommandDirect(const QByteArray &code, const QVariantList &args, bool expectReply,
        QVariantList *reply) override;
    bool isOnline() const override;
    void setRetries(int retries) override;

    /// Waits until every queued request of the engine was answered; false when the camera
    /// stayed silent for quietMs, and the requests still waiting count as failed.
    bool waitForReplies(int quietMs);
    /// Runs the event loop until done() holds; false when it does not and no reply came for
    /// quietMs.
    bool waitUntil(const std::function<bool()> &done, int quietMs);
    /// The requests (code, with "?" for a get) that failed since the last call, oldest first.
    QStringList takeFailures();

signals:
    /// Every reply of the communication thread, once the accounts are updated.
    void replied(
        QString id, QByteArray code, AbstractCommunicator::Result result, QVariantList args);

private:
    void replyArrived(
        QString id, QByteArray code, AbstractCommunicator::Result result, QVariantList args);

    CommThreadChannel mComm;
    // By command id and code: a request for the same thing while one waits is answered once.
    QSet<QString> mPending;
    QStringList mFailures;
};

#endif // TRACKINGCHANNEL_H
