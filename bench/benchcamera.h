#ifndef BENCHCAMERA_H
#define BENCHCAMERA_H

#include "comm/communicationthreadobject.h"
#include "comm/ttycamerathread.h"

#include <QMetaObject>
#include <QString>
#include <QTextStream>
#include <QThread>

/// The benchmarks' serial line: the simulated camera of the tty tool on a pseudo-terminal,
/// served from a thread of its own, and on request the program's communication
/// thread with that terminal as its current port. Both threads end with it.
class BenchCamera : public TtyCameraThread
{
public:
    explicit BenchCamera(const QString &cameraName)
        : TtyCameraThread(cameraName)
    { }
    ~BenchCamera()
    {
        mCommThread.quit();
        mCommThread.wait();
        delete mComm;
    }

    /// Starts the communication thread (real serial devices neither listed nor probed) with the
    /// terminal as the current port; null, with the reason on the standard error stream, when
    /// the terminal could not be opened or was not listed.
    CommunicationThreadObject *startCommunication()
    {
        if (!isOpen()) {
            QTextStream(stderr) << server()->errorString() << '\n';
            return nullptr;
        }
        mComm = new CommunicationThreadObject(&mCommThread);
        mComm->setSerialPortScanning(false);
        mCommThread.start();
        const QString link = path();
        QMetaObject::invokeMethod(
            mComm,
            [this, link]() {
                mComm->startCommunication();
                mComm->addSerialPort(link);
            },
            Qt::BlockingQueuedConnection);
        mComm->setCurrentPort(link);
        if (mComm->currentPort() == link)
            return mComm;
        QTextStream(stderr) << "The pseudo-terminal was not listed as a port\n";
        return nullptr;
    }

private:
    QThread mCommThread;
    CommunicationThreadObject *mComm = nullptr;
};

#endif // BENCHCAMERA_H
