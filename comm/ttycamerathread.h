#ifndef TTYCAMERATHREAD_H
#define TTYCAMERATHREAD_H

#include "comm/simulatedcamera.h"
#include "comm/ttycameraserver.h"

#include <QString>
#include <QTemporaryDir>
#include <QThread>

/// The far side of a serial line inside the process: the simulated camera served on a
/// pseudo-terminal of its own from a thread of its own, reached through a link that stays valid
/// across hang-up and return. Both end with the object.
class TtyCameraThread
{
public:
    explicit TtyCameraThread(const QString &cameraName);
    ~TtyCameraThread();
    TtyCameraThread(const TtyCameraThread &) = delete;
    TtyCameraThread &operator=(const TtyCameraThread &) = delete;

    bool isOpen() const { return mOpened; }
    /// The link to the terminal, for the side that opens it as a port.
    QString path() const;
    /// Lives in the serving thread: call it there (QMetaObject::invokeMethod).
    TtyCameraServer *server() { return mServer; }
    /// May be scripted from any thread.
    SimulatedCamera &camera() { return mServer->camera(); }

    /// Closes the terminal as an unplugged device would; returns once it is closed.
    void hangUp();
    /// After hangUp: serves again behind the same link.
    bool reopen();

private:
    QTemporaryDir mDir;
    QThread mThread;
    TtyCameraServer *mServer = nullptr;
    bool mOpened = false;
};

#endif // TTYCAMERATHREAD_H
