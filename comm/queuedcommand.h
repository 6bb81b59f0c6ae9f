#ifndef QUEUEDCOMMAND_H
#define QUEUEDCOMMAND_H

#include "comm/abstractcommunicator.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QVariantList>

/// One request waiting in the command queue. The communicator is not owned; the guard turns
/// null when it is destroyed so that the entry is dropped instead of dispatched.
struct QueuedCommand
{
    QPointer<AbstractCommunicator> communicator;
    QString id;
    QByteArray command;
    QVariantList args;
    bool expectReply = true;
    /// Put to the front by the console (the command or its error check); later console
    /// entries line up behind it instead of overtaking it.
    bool urgent = false;

    /// Same id text and same command bytes; communicator and arguments do not count.
    bool isDuplicateOf(const QueuedCommand &other) const
    {
        return id == other.id && command == other.command;
    }
};

#endif // QUEUEDCOMMAND_H
