#ifndef COMMFIXTURE_H
#define COMMFIXTURE_H

#include "comm/communicationthreadobject.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"

#include <QThread>

#include <memory>

/// A running communication thread with the given simulated cameras and no serial ports;
/// the simulated line answers without delay.
class CommFixture
{
public:
    explicit CommFixture(const QStringList &cameras)
    {
        MetaTypes::registerAll();
        VirtualCommunicator::clearVirtualDevices();
        for (const QString &name : cameras)
            VirtualCommunicator::addVirtualDevice(name);
        VirtualCommunicator::setDelayDivisor(0);
        comm = std::make_unique<CommunicationThreadObject>(&thread);
        comm->setSerialPortScanning(false);
        QObject::connect(&thread, &QThread::started, comm.get(),
            &CommunicationThreadObject::startCommunication, Qt::QueuedConnection);
        thread.start();
    }

    ~CommFixture()
    {
        thread.quit();
        thread.wait();
        comm.reset();
        VirtualCommunicator::clearVirtualDevices();
    }

    QThread thread;
    std::unique_ptr<CommunicationThreadObject> comm;
};

#endif // COMMFIXTURE_H
