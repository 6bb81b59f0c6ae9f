#include "engine/trackingchannel.h"

#include "comm/communicationthreadobject.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
QString key(const QString &id, const QByteArray &code)
{
    return id + QLatin1Char('\n') + QString::fromLatin1(code);
}
} // namespace

TrackingChannel::TrackingChannel(CommunicationThreadObject *comm, QObject *parent)
    : QObject(parent)
    , mComm(comm)
{
    connect(comm, &CommunicationThreadObject::receivedReply, this, &TrackingChannel::replyArrived,
        Qt::QueuedConnection);
}

bool TrackingChannel::sendCommand(
    const QString &id, const QByteArray &code, const QVariantList &args, bool expectReply)
{
    if (!mComm.sendCommand(id, code, args, expectReply)) {
        mFailures.append(QString::fromLatin1(code));
        return false;
    }
    mPending.insert(key(id, code));
    return true;
}

bool TrackingChannel::sendCommandDirect(
    const QByteArray &code, const QVariantList &args, bool expectReply, QVariantList *reply)
{
    const bool ok = mComm.sendCommandDirect(code, args, expectReply, reply);
    if (!ok)
        mFailures.append(QString::fromLatin1(code));
    return ok;
}

bool TrackingChannel::isOnline() const
{
    return mComm.isOnline();
}

void TrackingChannel::setRetries(int retries)
{
    mComm.setRetries(retries);
}

void TrackingChannel::replyArrived(
    QString id, QByteArray code, AbstractCommunicator::Result result, QVariantList args)
{
    // Requests of the program's own ids ("@Console", "@script") are the caller's business.
    if (mPending.remove(key(id, code)) && result == AbstractCommunicator::Failure)
        mFailures.append(QString::fromLatin1(code));
    emit replied(id, code, result, args);
}

bool TrackingChannel::waitForReplies(int quietMs)
{
    if (waitUntil([this]() { return mPending.isEmpty(); }, quietMs))
        return true;
    // Given up on: as good as failed.
    for (const QString &request : qAsConst(mPending))
        mFailures.append(request.section(QLatin1Char('\n'), 1));
    mPending.clear();
    return false;
}

bool TrackingChannel::waitUntil(const std::function<bool()> &done, int quietMs)
{
    QDeadlineTimer quiet(quietMs);
    // The camera counts as alive as long as it answers: each reply restarts the time limit.
    const QMetaObject::Connection heard = connect(this, &TrackingChannel::replied, this,
        [&quiet, quietMs]() { quiet.setRemainingTime(quietMs); });
    while (!done() && !quiet.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        connect(this, &TrackingChannel::replied, &loop, &QEventLoop::quit);
        loop.exec();
    }
    disconnect(heard);
    return done();
}

QStringList TrackingChannel::takeFailures()
{
    QStringList failures;
    failures.swap(mFailures);
    return failures;
}
