#include "comm/simulatedcamera.h"

#include <QMutexLocker>

namespace {
const char Ack = 0x06;
const char Nak = 0x15;
} // namespace

SimulatedCamera::SimulatedCamera(const QString &name)
    : mName(name)
{ }

QString SimulatedCamera::name() const
{
    QMutexLocker lock(&mMutex);
    return mName;
}

QList<SimulatedCamera::Chunk> SimulatedCamera::receive(const QByteArray &bytes)
{
    QMutexLocker lock(&mMutex);
    QList<Chunk> chunks;
    mInput.append(bytes);
    while (!mInput.isEmpty()) {
        if (mInput.at(0) != '@') {
            mInput.remove(0, 1);
            continue;
        }
        const int end = mInput.indexOf('\r');
        if (end < 0)
            break;
        const QByteArray command = mInput.mid(1, end - 1);
        mInput.remove(0, end); // the CR goes with the next pass
        mReceived.append(command);

        const Fault fault = mFaults.isEmpty() ? Fault() : mFaults.takeFirst();
        const QByteArray regular = answerLocked(command);
        switch (fault.kind) {
        case NoFault:
            chunks.append({ 0, regular });
            break;
        case NoAnswer:
            break;
        case NakAnswer:
            chunks.append({ 0, QByteArray(1, Nak) });
            break;
        case Truncated:
            // Only the ACK of a data answer; a bare ACK is cut to nothing.
            chunks.append({ 0, regular.size() > 1 ? regular.left(1) : QByteArray() });
            break;
        case Garbage:
            chunks.append({ 0, QByteArrayLiteral("\x7f#garbage\xfe") });
            break;
        case Delayed:
            chunks.append({ fault.delayMs, regular });
            break;
        case LateTail:
            chunks.append({ 0, regular.left(1) });
            if (regular.size() > 1)
                chunks.append({ fault.delayMs, regular.mid(1) });
            break;
        }
    }
    return chunks;
}

QByteArray SimulatedCamera::answer(const QByteArray &command)
{
    QMutexLocker lock(&mMutex);
    return answerLocked(command);
}

QByteArray SimulatedCamera::answerLocked(const QByteArray &command)
{
    QByteArray out(1, Ack);
    int nameEnd = 0;
    while (nameEnd < command.size()) {
        const char c = command.at(nameEnd);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '?'))
            break;
        ++nameEnd;
    }
    QString name = QString::fromLatin1(command.left(nameEnd));
    const QByteArray argument = command.mid(nameEnd);

    if (!name.endsWith(QLatin1Char('?'))) {
        mValues.insert(name, argument);
        const int split = argument.indexOf(';');
        if (split > 0)
            mRows[name].insert(argument.left(split), argument);
        return out;
    }
    name.chop(1);
    const auto rows = mRows.constFind(name);
    if (!argument.isEmpty() && rows != mRows.constEnd() && rows->contains(argument))
        return out + '@' + rows->value(argument) + '\r';
    if (name == QLatin1String("ID"))
        out += "@\""
            + (mIdentification.isEmpty() ? "VirtualDevice-" + mName.toLatin1() : mIdentification)
            + '\r';
    else if (name == QLatin1String("ERR"))
        out += "@0\r";
    else if (mValues.contains(name))
        out += '@' + mValues.value(name) + '\r';
    else
        out += "@\r";
    return out;
}

void SimulatedCamera::queueFault(const Fault &fault)
{
    QMutexLocker lock(&mMutex);
    mFaults.append(fault);
}

void SimulatedCamera::queueFault(FaultKind kind, int delayMs)
{
    queueFault(Fault { kind, delayMs });
}

void SimulatedCamera::clearFaults()
{
    QMutexLocker lock(&mMutex);
    mFaults.clear();
}

int SimulatedCamera::pendingFaults() const
{
    QMutexLocker lock(&mMutex);
    return mFaults.size();
}

QList<QByteArray> SimulatedCamera::receivedCommands() const
{
    QMutexLocker lock(&mMutex);
    return mReceived;
}

int SimulatedCamera::receivedCommandCount() const
{
    QMutexLocker lock(&mMutex);
    return mReceived.size();
}

void SimulatedCamera::clearReceivedCommands()
{
    QMutexLocker lock(&mMutex);
    mReceived.clear();
}

QByteArray SimulatedCamera::value(const QString &parameter) const
{
    QMutexLocker lock(&mMutex);
    return mValues.value(parameter);
}

void SimulatedCamera::setValue(const QString &parameter, const QByteArray &text)
{
    QMutexLocker lock(&mMutex);
    mValues.insert(parameter, text);
}

void SimulatedCamera::setIdentification(const QByteArray &text)
{
    QMutexLocker lock(&mMutex);
    mIdentification = text;
}
