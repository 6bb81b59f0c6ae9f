#ifndef COMMANDREQUEST_H
#define COMMANDREQUEST_H

#include "description/command.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantList>

/// Values carried by a reply, mapped onto the names of the command's return value list.
struct ReplyValues
{
    /// One (name, value) per expected return value, in reply order.
    QList<QPair<QString, QVariant>> values;
    /// Expected values the reply did not carry; they are empty.
    int missing = 0;
    /// Reply arguments beyond the expected values; they are dropped.
    int extra = 0;
};

/// One get or set request of a command, with every argument taken from the value cache, and the
/// mapping of a reply back onto named values.
struct CommandRequest
{
    /// Id of the command (not the value name used to find it); travels with the reply.
    QString id;
    /// Command code, followed by "?" for a get.
    QByteArray code;
    QVariantList args;
    /// The command has return values for this form.
    bool expectReply = false;

    /// A request can be built only for a command with an id and a code.
    static bool canBuild(const Command &command);
    /// The get request; reading the cache inserts an empty entry for a name never seen.
    static CommandRequest forGet(const Command &command, QMap<QString, QVariant> &cache);
    /// The set request; reading the cache inserts an empty entry for a name never seen.
    static CommandRequest forSet(const Command &command, QMap<QString, QVariant> &cache);
    /// One argument: Const as its bytes, Int as int (0 when unset or not a number), anything
    /// else as text.
    static QVariant argument(const CommandParameter &parameter, QMap<QString, QVariant> &cache);

    /// True when code is the code of a get request.
    static bool isGet(const QByteArray &code) { return code.endsWith('?'); }
    /// Maps reply arguments onto the return values of the get (isGet) or set form.
    static ReplyValues decode(const Command &command, bool isGet, const QVariantList &args);
};

#endif // COMMANDREQUEST_H
