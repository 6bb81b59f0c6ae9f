#include "comm/commandqueue.h"

#include "comm/abstractcommunicator.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

#include <memory>

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
    auto *entry = new QueuedCommand { communicator, id, command, args, expectReply, true };
    QMutexLocker lock(&mMutex);
    removeFirstDuplicate(*entry);
    // A console command typed earlier must reach the camera first ("GAI 120" before "GAI?").
    int at = 0;
    while (at < mCommands.size() && mCommands.at(at)->urgent)
        ++at;
    mCommands.insert(at, entry);
    if (withErrorCheck)
        mCommands.insert(at + 1,
            new QueuedCommand {
                communicator, id, QByteArrayLiteral("ERR?"), QVariantList(), true, true });
    scheduleCheck();
}

void CommandQueue::finishExchange(
    AbstractCommunicator *communicator, const QString &id, const QByteArray &command)
{
    QMutexLocker lock(&mMutex);
    if (communicator && mRunningCommunicator == communicator && mRunningId == id
        && mRunningCommand == command)
        mRunningCommunicator.clear();
}

bool CommandQueue::isExchangeRunning() const
{
    QMutexLocker lock(&mMutex);
    return !mRunningCommunicator.isNull();
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
    // Entries stay here until the line is free; handed over early, they could neither be
    // replaced by newer duplicates nor overtaken by console commands.
    if (!mRunningCommunicator.isNull())
        return;
    // An entry whose communicator is gone (a relay port that disconnected) is dropped; the
    // next one is dispatched instead so that the queue does not stall.
    while (!mCommands.isEmpty()) {
        std::unique_ptr<QueuedCommand> entry(mCommands.takeFirst());
        AbstractCommunicator *communicator = entry->communicator.data();
        if (!communicator)
            continue;
        mRunningCommunicator = communicator;
        mRunningId = entry->id;
        mRunningCommand = entry->command;
        // Destroyed before it replies, the communicator never will: carry on with the rest.
        connect(communicator, &QObject::destroyed, this, &CommandQueue::checkNext,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        communicator->sendCommandEventQueued(
            entry->id, entry->command, entry->args, entry->expectReply);
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
