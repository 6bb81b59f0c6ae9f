#ifndef COMMANDQUEUE_H
#define COMMANDQUEUE_H

#include "comm/queuedcommand.h"

#include <QList>
#include <QMutex>
#include <QObject>

class AbstractCommunicator;

/// Requests waiting for the serial line. Filled from any thread, drained one entry per
/// checkNext in the communication thread. A newer request with the same id and command replaces
/// a waiting one; console commands jump to the front, followed by "ERR?".
class CommandQueue : public QObject
{
    Q_OBJECT

public:
    explicit CommandQueue(QObject *parent = nullptr);
    ~CommandQueue() override;

    void appendCommand(AbstractCommunicator *communicator, const QString &id,
        const QByteArray &command, const QVariantList &args, bool expectReply);
    void prependCommand(AbstractCommunicator *communicator, const QString &id,
        const QByteArray &command, const QVariantList &args, bool expectReply, bool withErrorCheck);

    /// Number of waiting entries.
    int size() const;
    /// Copy of the waiting entries, front first.
    QList<QueuedCommand> entries() const;

public slots:
    /// Hands the first entry to its communicator (queued), at most one per call.
    void checkNext();

private:
    void removeFirstDuplicate(const QueuedCommand &entry);
    void scheduleCheck();

    mutable QMutex mMutex;
    QList<QueuedCommand *> mCommands;
};

#endif // COMMANDQUEUE_H
