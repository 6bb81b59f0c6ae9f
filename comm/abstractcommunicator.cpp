#include "comm/abstractcommunicator.h"

#include "comm/console.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThread>

namespace {
Q_LOGGING_CATEGORY(framing, "marnifex.comm.frame")

bool holdsLineEnd(const QByteArray &bytes)
{
    return bytes.contains(AbstractCommunicator::End) || bytes.contains('\n');
}
} // namespace

AbstractCommunicator::AbstractCommunicator(QObject *parent)
    : QObject(parent)
{
    mIdTimer.start();
}

AbstractCommunicator::~AbstractCommunicator() = default;

// A line end in a command's text or an argument (a description's code or constant, a value)
// would end the frame early, and the camera would take what follows for a command of its own.
bool AbstractCommunicator::isOneFrame(const QByteArray &cmd, const QVariantList &args)
{
    if (holdsLineEnd(cmd))
        return false;
    for (const QVariant &arg : args) {
        if (arg.userType() == QMetaType::QString
                ? holdsLineEnd(arg.toString().toLatin1())
                : arg.userType() == QMetaType::QByteArray && holdsLineEnd(arg.toByteArray()))
            return false;
    }
    return true;
}

// Said where the user sees it, since the camera never will.
void AbstractCommunicator::reportNotSent(const QByteArray &cmd)
{
    const QString text
        = QStringLiteral("Not sent: a line end in the command %1 or its arguments would reach "
                         "the camera as a command of its own")
              .arg(
                  Console::escapedControls(Console::visibleControlBytes(QString::fromLatin1(cmd))));
    if (Console::instance())
        Console::logNotice(text);
    else
        qCWarning(framing).noquote() << text;
}

QByteArray AbstractCommunicator::buildFrame(const QByteArray &cmd, const QVariantList &args)
{
    QByteArray frame;
    frame.reserve(cmd.size() + 2 + args.size() * 6);
    frame.append(Start);
    frame.append(cmd);
    // Only a separator after a number may go: a ";" inside text (a typed line such as uid"a;,
    // a string value, a text constant) belongs to what the camera must receive.
    const char beforeLast = cmd.size() > 1 ? cmd.at(cmd.size() - 2) : '\0';
    bool endsWithSeparator
        = cmd.endsWith(';') && beforeLast >= '0' && beforeLast <= '9' && !cmd.contains('"');
    for (const QVariant &arg : args) {
        endsWithSeparator = false;
        if (arg.userType() == QMetaType::QString) {
            frame.append('"');
            frame.append(arg.toString().toLatin1());
            continue;
        }
        bool isNumber = true;
        qlonglong number = 0;
        if (arg.userType() == QMetaType::QByteArray) {
            // Constants of a description: numbers go out as numbers, anything else as it is.
            number = arg.toByteArray().toLongLong(&isNumber);
            if (!isNumber) {
                frame.append(arg.toByteArray());
                continue;
            }
        } else {
            number = arg.toLongLong();
        }
        frame.append(QByteArray::number(number));
        frame.append(';');
        endsWithSeparator = true;
    }
    if (endsWithSeparator)
        frame.chop(1);
    frame.append(End);
    return frame;
}

static bool isNumberChar(char c)
{
    return c == '+' || c == '-' || (c >= '0' && c <= '9');
}

AbstractCommunicator::Result AbstractCommunicator::parseReply(
    const QByteArray &reply, QVariantList &args)
{
    if (!reply.contains(Ack))
        return Failure;
    args.clear();
    const int start = reply.indexOf(Start);
    if (start < 0)
        return Success;
    const int end = reply.indexOf(End, start + 1);
    if (end < 0)
        return Success;

    const QByteArray payload = reply.mid(start + 1, end - start - 1);
    int pos = 0;
    const int size = payload.size();
    while (pos < size) {
        while (pos < size && (payload.at(pos) == ' ' || payload.at(pos) == ';'))
            ++pos;
        // Separators at the very end end the payload without a further argument: callers map
        // arguments by position, and a phantom 0 would shift nothing but add noise.
        if (pos >= size)
            break;
        if (payload.at(pos) == '"') {
            args.append(QString::fromLatin1(payload.mid(pos + 1)));
            break;
        }
        int run = pos;
        while (run < size && isNumberChar(payload.at(run)))
            ++run;
        bool ok = false;
        const int value = payload.mid(pos, run - pos).toInt(&ok, 10);
        args.append(ok ? value : 0);
        pos = run + 1; // the run and the one separator after it
    }
    return Success;
}

AbstractCommunicator::Result AbstractCommunicator::sendCommand(const QString &id,
    const QByteArray &cmd, const QVariantList &args, QVariantList &reply, int timeoutMs,
    bool expectReply)
{
    if (stopRequested())
        return Failure;
    if (!isOneFrame(cmd, args)) {
        reportNotSent(cmd);
        return Failure;
    }
    // Asked once when open: on the relay every question is a round trip.
    if (!isOpen()) {
        open();
        if (!isOpen()) {
            setOnline(false);
            return Failure;
        }
    }

    const QByteArray frame = buildFrame(cmd, args);
    Console::logSentData(id, QString::fromLatin1(frame));

    if (!writeFrame(frame)) {
        qDebug().noquote() << QStringLiteral("Failed to write to port: ")
                + QString::fromLatin1(portName());
        close();
        setOnline(false);
        return Failure;
    }

    QByteArray buffer;
    if (!readReply(buffer, timeoutMs, expectReply)) {
        qDebug().noquote() << QStringLiteral("Failed to read from port: ")
                + QString::fromLatin1(portName());
        close();
        setOnline(false);
        return Failure;
    }

    Console::logReceivedData(id, QString::fromLatin1(buffer));
    setOnline(true);
    return parseReply(buffer, reply);
}

QByteArray AbstractCommunicator::cameraId()
{
    if (mIdTimer.elapsed() < IdCacheMs && !mCameraId.isEmpty())
        return mCameraId;

    QVariantList reply;
    if (sendCommand(QStringLiteral("@internal"), QByteArrayLiteral("ID?"), QVariantList(), reply,
            IdTimeoutMs, true)
        == Failure) {
        mCameraId.clear();
        return QByteArray();
    }
    if (!reply.isEmpty()) {
        const QVariant &first = reply.first();
        mCameraId = first.userType() == QMetaType::QString ? first.toString().toLatin1()
                                                           : first.toByteArray();
        mIdTimer.start();
    }
    return mCameraId;
}

bool AbstractCommunicator::stopRequested()
{
    return QThread::currentThread()->isInterruptionRequested();
}

void AbstractCommunicator::setOnline(bool online)
{
    if (mOnline == online)
        return;
    mOnline = online;
    emit onlineStateChanged(this, online);
}

void AbstractCommunicator::sendCommandEvent(
    QString id, QByteArray cmd, QVariantList args, bool expectReply)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [=]() { sendCommandEvent(id, cmd, args, expectReply); }, Qt::QueuedConnection);
        return;
    }

    QVariantList reply;
    // Refused before any attempt: retrying would only reopen the port.
    if (!isOneFrame(cmd, args)) {
        reportNotSent(cmd);
        emit receivedReply(id, cmd, Failure, reply);
        return;
    }
    const bool wasOnline = mOnline;
    Result result = sendCommand(id, cmd, args, reply, FirstAttemptTimeoutMs, expectReply);
    auto succeeded = [&]() { return result != Failure && (!expectReply || !reply.isEmpty()); };

    int retries = 0;
    while (!succeeded() && wasOnline && retries < mRetries && !stopRequested()) {
        ++retries;
        close();
        open();
        reply.clear();
        result = sendCommand(id, cmd, args, reply, RetryTimeoutMs, expectReply);
    }
    emit receivedReply(id, cmd, result, reply);
}

void AbstractCommunicator::sendCommandEventQueued(
    QString id, QByteArray cmd, QVariantList args, bool expectReply)
{
    QMetaObject::invokeMethod(
        this, [=]() { sendCommandEvent(id, cmd, args, expectReply); }, Qt::QueuedConnection);
}
