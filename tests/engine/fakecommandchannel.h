#ifndef FAKECOMMANDCHANNEL_H
#define FAKECOMMANDCHANNEL_H

#include "engine/commandchannel.h"

#include <QHash>
#include <QList>

/// Test double of the communication layer: records every request and answers blocking ones
/// from a table (code -> reply arguments); codes without an entry fail.
class FakeCommandChannel : public CommandChannel
{
public:
    struct Request
    {
        QString id; // "@direct" for blocking requests
        QByteArray code;
        QVariantList args;
        bool expectReply = false;

        bool operator==(const Request &o) const
        {
            return id == o.id && code == o.code && args == o.args && expectReply == o.expectReply;
        }
    };

    bool sendCommand(const QString &id, const QByteArray &code, const QVariantList &args,
        bool expectReply) override
    {
        requests.append({ id, code, args, expectReply });
        return true;
    }

    bool sendCommandDirect(const QByteArray &code, const QVariantList &args, bool expectReply,
        QVariantList *reply) override
    {
        requests.append({ QStringLiteral("@direct"), code, args, expectReply });
        if (!directReplies.contains(code))
            return false;
        if (reply)
            *reply = directReplies.value(code);
        return true;
    }

    bool isOnline() const override { return online; }
    void setRetries(int) override { }

    QByteArrayList codes() const
    {
        QByteArrayList result;
        for (const Request &r : requests)
            result.append(r.code);
        return result;
    }

    QList<Request> requests;
    QHash<QByteArray, QVariantList> directReplies;
    bool online = true;
};

#endif // FAKECOMMANDCHANNEL_H
