#ifndef COMMTHREADFIXTURE_H
#define COMMTHREADFIXTURE_H

#include "comm/communicationthreadobject.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "tests/comm/threadsignalspy.h"

#include <QThread>
#include <QtTest>

/// The real communication thread with one simulated camera selected as the current port.
class CommThreadFixture
{
public:
    static void registerDevice(const QString &name)
    {
        MetaTypes::registerAll();
        VirtualCommunicator::clearVirtualDevices();
        VirtualCommunicator::addVirtualDevice(name);
    }

    ~CommThreadFixture() { stop(); }

    /// Starts the thread; false when the simulated port did not come up.
    bool start(const QString &name)
    {
        // Reads wait 2500 / 250 = 10 ms at most instead of 1250 ms.
        VirtualCommunicator::setDelayDivisor(250);
        mThread = new QThread;
        mComm = new CommunicationThreadObject(mThread);
        mComm->setSerialPortScanning(false);
        QObject::connect(
            mThread, &QThread::started, mComm, &CommunicationThreadObject::startCommunication);
        ThreadSignalSpy listed(mComm, &CommunicationThreadObject::statusUpdate);
        mThread->start();
        while (listed.count() < 2 && listed.wait()) { }
        auto *virtualPort = qobject_cast<VirtualCommunicator *>(mComm->findCommunicator(name));
        if (!virtualPort)
            return false;
        mCamera = &virtualPort->camera();
        mComm->setCurrentPort(name);
        return mComm->currentPort() == name;
    }

    void stop()
    {
        if (!mThread)
            return;
        mThread->quit();
        mThread->wait(5000);
        delete mComm;
        delete mThread;
        mComm = nullptr;
        mThread = nullptr;
        mCamera = nullptr;
    }

    CommunicationThreadObject *comm() const { return mComm; }
    SimulatedCamera &camera() const { return *mCamera; }

private:
    QThread *mThread = nullptr;
    CommunicationThreadObject *mComm = nullptr;
    SimulatedCamera *mCamera = nullptr;
};

#endif // COMMTHREADFIXTURE_H
