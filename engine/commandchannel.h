#ifndef COMMANDCHANNEL_H
#define COMMANDCHANNEL_H

#include <QByteArray>
#include <QString>
#include <QVariantList>

/// The part of the communication layer that the value engine uses to reach the camera.
/// CommThreadChannel forwards to the communication thread; tests substitute recording fakes.
class CommandChannel
{
public:
    virtual ~CommandChannel() = default;

    /// Queues a request and returns at once; false when no port is selected.
    virtual bool sendCommand(
        const QString &id, const QByteArray &code, const QVariantList &args, bool expectReply)
        = 0;
    /// Runs one exchange and waits for it; true when the camera acknowledged. reply receives
    /// the decoded arguments.
    virtual bool sendCommandDirect(
        const QByteArray &code, const QVariantList &args, bool expectReply, QVariantList *reply)
        = 0;
    /// Online mode of the selected port.
    virtual bool isOnline() const = 0;
    /// Extra attempts the selected port makes for a queued request.
    virtual void setRetries(int retries) = 0;
};

#endif // COMMANDCHANNEL_H
