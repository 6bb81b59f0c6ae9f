#include "comm/commandqueue.h"

#include "comm/abstractcommunicator.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

CommandQueue::CommandQueue(QObject *parent)
    : QObject(parent)
{ }

CommandQueue::~CommandQueue()
{
    QMutexLocker lock(&mMutex);
    qDeleteAll(mCommands);
    mCommands.clear();
}

void CommandQueue::appendCommand(AbstractCommunicator *communicator, const QString &id,
    const QByteArray &command, const QVariantList &args, bool expectReply)
{
    auto *entry = new QueuedCommand { communicator, id, command, args, expectReply };
    QMutexLocker lock(&mMutex);
    removeFirstDuplicate(*entry);
    mCommands.append(entry);
    scheduleCheck();
}

void CommandQueue::prependCommand(AbstractCommunicator *communicator, const QString &id,
    const QByteArray &command, const QVariantList &args, bool expectReply, bool withErrorCheck)
{
    auto *entry = new QueuedCommand { communicator, id, command, args, expectReply };
    QMutexLocker lock(&mMutex);
    removeFirstDuplicate(*entry);
    if (withErrorCheck)
        mCommands.prepend(new QueuedCommand {
            communicator, id, QByteArrayLiteral("ERR?"), QVariantList(), true });
    mCommands.prepend(entry);
    scheduleCheck();
}

int CommandQueue::size() const
{
    QMutexLocker lock(&mMutex);
    return mCommands.size();
}

QList<QueuedCommand> CommandQueue::entries() const
{
    QMutexLocker lock(&mMutex);
    QList<QueuedCommand> copy;
    copy.reserve(mCommands.size());
    for (const QueuedCommand *entry : mCommands)
        copy.append(*entry);
    return copy;
}

void CommandQueue::checkNext()
{
    if (QThread::currentThread() != thread()) {
        scheduleCheck();
        return;
    }
    QMutexLocker lock(&mMutex);
    // An entry whose communicator is gone (a relay port that disconnected) is dropped; the
    // next one is dispatched instead so that the chain of replies does not stall.
    while (!mCommands.isEmpty()) {
        QueuedCommand *entry = mCommands.takeFirst();
        AbstractCommunicator *communicator = entry->communicator.data();
        if (communicator)
            communicator->sendCommandEventQueued(
                entry->id, entry->command, entry->args, entry->expectReply);
        delete entry;
        if (communicator)
            return;
    }
}

void CommandQueue::removeFirstDuplicate(const QueuedCommand &entry)
{
    for (int i = 0; i < mCommands.size(); ++i) {
        if (mCommands.at(i)->isDuplicateOf(entry)) {
            delete mCommands.takeAt(i);
            return;
        }
    }
}

void CommandQueue::scheduleCheck()
{
    QMetaObject::invokeMethod(this, &CommandQueue::checkNext, Qt::QueuedConnection);
}
