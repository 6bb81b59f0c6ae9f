#ifndef VIRTUALCOMMUNICATOR_H
#define VIRTUALCOMMUNICATOR_H

#include "comm/abstractcommunicator.h"
#include "comm/simulatedcamera.h"

#include <QList>
#include <QStringList>

/// A port without hardware: a simulated camera named on the command line ("V:<name>").
/// It always opens and always has a camera; each read simulates the line by waiting half the
/// time limit.
class VirtualCommunicator : public AbstractCommunicator
{
    Q_OBJECT

public:
    explicit VirtualCommunicator(const QString &name, QObject *parent = nullptr);

    /// Class-wide list of simulated devices, filled before the communication thread starts.
    /// state: set commands whose values the camera holds from the start (SimulatedCameraState);
    /// a later registration of the same name replaces its state.
    static void addVirtualDevice(const QString &name, const QList<QByteArray> &state = {});
    static QStringList virtualDevices();
    static void clearVirtualDevices();

    /// Each read waits timeoutMs / divisor (2 by default, as the program runs). Tests raise the
    /// divisor to run fast; 0 switches the wait off.
    static void setDelayDivisor(int divisor);
    static int delayDivisor();

    /// The camera behind this port (for scripting faults and checking requests).
    SimulatedCamera &camera() { return mCamera; }

    bool open() override { return true; }
    bool close() override { return true; }
    bool isOpen() override { return true; }
    bool hasCamera() override { return true; }
    QByteArray portName() override;
    bool writeFrame(const QByteArray &frame) override;
    bool readReply(QByteArray &out, int timeoutMs, bool expectReply) override;

private:
    QString mName;
    SimulatedCamera mCamera;
    QByteArray mOutput;
    /// Answers scripted to come later; those not due within a read are dropped by the next write.
    QList<SimulatedCamera::Chunk> mLate;
    /// How many of the first entries of mLate a read has already waited for.
    int mMissedLate = 0;
};

#endif // VIRTUALCOMMUNICATOR_H
