#include "comm/virtualcommunicator.h"

#include "comm/simulatedcamerastate.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <atomic>

namespace {
QMutex devicesMutex;
QStringList registeredDevices;
QHash<QString, QList<QByteArray>> registeredStates;
std::atomic<int> readDelayDivisor { 2 };
} // namespace

VirtualCommunicator::VirtualCommunicator(const QString &name, QObject *parent)
    : AbstractCommunicator(parent)
    , mName(name)
    , mCamera(name)
{
    QList<QByteArray> state;
    {
        QMutexLocker lock(&devicesMutex);
        state = registeredStates.value(name);
    }
    SimulatedCameraState::apply(state, mCamera);
}

void VirtualCommunicator::addVirtualDevice(const QString &name, const QList<QByteArray> &state)
{
    QMutexLocker lock(&devicesMutex);
    registeredDevices.append(name);
    if (state.isEmpty())
        registeredStates.remove(name);
    else
        registeredStates.insert(name, state);
}

QStringList VirtualCommunicator::virtualDevices()
{
    QMutexLocker lock(&devicesMutex);
    return registeredDevices;
}

void VirtualCommunicator::clearVirtualDevices()
{
    QMutexLocker lock(&devicesMutex);
    registeredDevices.clear();
    registeredStates.clear();
}

void VirtualCommunicator::setDelayDivisor(int divisor)
{
    readDelayDivisor = qMax(0, divisor);
}

int VirtualCommunicator::delayDivisor()
{
    return readDelayDivisor;
}

QByteArray VirtualCommunicator::portName()
{
    return mName.toLatin1();
}

bool VirtualCommunicator::writeFrame(const QByteArray &frame)
{
    // Answers wait until they are read, as on a line. Only late answers that a read has
    // already waited for in vain are dropped: they must not pass for answers to this request.
    mLate.erase(mLate.begin(), mLate.begin() + mMissedLate);
    mMissedLate = 0;
    const QList<SimulatedCamera::Chunk> chunks = mCamera.receive(frame);
    for (const SimulatedCamera::Chunk &chunk : chunks) {
        if (chunk.delayMs <= 0)
            mOutput.append(chunk.bytes);
        else
            mLate.append(chunk);
    }
    return true;
}

bool VirtualCommunicator::readReply(QByteArray &out, int timeoutMs, bool expectReply)
{
    Q_UNUSED(expectReply)
    // Answers scripted to arrive later count when they are due within the time limit of the
    // line (measured in unscaled line time, so that tests with a short wait behave the same).
    for (int i = 0; i < mLate.size();) {
        if (mLate.at(i).delayMs < timeoutMs) {
            mOutput.append(mLate.takeAt(i).bytes);
        } else {
            mLate[i].delayMs -= timeoutMs;
            ++i;
        }
    }
    mMissedLate = mLate.size();
    out = mOutput;
    mOutput.clear();
    const int divisor = readDelayDivisor;
    if (timeoutMs >= 1 && divisor > 0) {
        // In short steps, so that stopping the thread does not wait for the line.
        QDeadlineTimer line(timeoutMs / divisor);
        while (!line.hasExpired() && !stopRequested())
            QThread::msleep(static_cast<unsigned long>(qMin<qint64>(line.remainingTime(), 10)));
    }
    return true;
}
