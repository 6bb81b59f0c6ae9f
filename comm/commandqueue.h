#ifndef COMMANDQUEUE_H
#define COMMANDQUEUE_H

#include "comm/queuedcommand.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>

class AbstractCommunicator;

/// Requests waiting for the serial line. Filled from any thread, drained in the communication
/// thread one exchange at a time: an entry leaves only when the previous exchange has replied, so
/// a newer request with the same id and command can still replace a waiting one, and console
/// commands (followed by "ERR?") can still jump ahead of waiting reads.
class CommandQueue : public QObject
{
    Q_OBJECT

public:
    explicit CommandQueue(QObject *parent = nullptr);
    ~CommandQueue() override;

    void appendCommand(AbstractCommunicator *communicator, const QString &id,
        const QByteArray &command, const QVariantList &args, bool expectReply);
    /// Puts a console command in front of the ordinary entries, behind console entries that are
    /// already waiting, so that console commands go out in the order they were typed.
    void prependCommand(AbstractCommunicator *communicator, const QString &id,
        const QByteArray &command, const QVariantList &args, bool expectReply, bool withErrorCheck);

    /// Ends the dispatched exchange when the reply is its own (same communicator, id and
    /// command); called in the communication thread before checkNext.
    void finishExchange(
        AbstractCommunicator *communicator, const QString &id, const QByteArray &command);
    /// Whether a dispatched exchange has not replied yet (and its communicator still exists).
    bool isExchangeRunning() const;

    /// Number of waiting entries.
    int size() const;
    /// Copy of the waiting entries, front first.
    QList<QueuedCommand> entries() const;

public slots:
    /// Hands the first entry to its communicator (queued), at most one per call and only when
    /// no dispatched exchange is still running.
    void checkNext();

private:
    void removeFirstDuplicate(const QueuedCommand &entry);
    void scheduleCheck();

    mutable QMutex mMutex;
    QList<QueuedCommand *> mCommands;
    // The exchange handed over last. A null communicator means none is running; a destroyed
    // communicator will never reply, so the guard turning null also ends the exchange.
    QPointer<AbstractCommunicator> mRunningCommunicator;
    QString mRunningId;
    QByteArray mRunningCommand;
};

#endif // COMMANDQUEUE_H
