#ifndef PTYCAMERAFIXTURE_H
#define PTYCAMERAFIXTURE_H

#include "comm/ttycameraserver.h"

#include <QMetaObject>
#include <QTemporaryDir>
#include <QThread>

// Runs the simulated camera on a pseudo-terminal in a thread of its own, as the far side of a
// serial line. The device is reached through a link that stays valid across hang-up and return.
class PtyCameraFixture
{
public:
    explicit PtyCameraFixture(const QString &cameraName)
    {
        mThread.start();
        mServer = new TtyCameraServer(cameraName);
        mServer->moveToThread(&mThread);
        const QString link = mDir.path() + QStringLiteral("/camera");
        QMetaObject::invokeMethod(
            mServer, [this, link]() { mOpened = mServer->openPseudoTerminal(link); },
            Qt::BlockingQueuedConnection);
    }
    ~PtyCameraFixture()
    {
        QMetaObject::invokeMethod(
            mServer, [this]() { delete mServer; }, Qt::BlockingQueuedConnection);
        mThread.quit();
        mThread.wait();
    }

    bool isOpen() const { return mOpened; }
    QString path() const { return mDir.path() + QStringLiteral("/camera"); }
    TtyCameraServer *server() { return mServer; }
    SimulatedCamera &camera() { return mServer->camera(); }

    void hangUp()
    {
        QMetaObject::invokeMethod(mServer, &TtyCameraServer::hangUp, Qt::BlockingQueuedConnection);
    }
    bool reopen()
    {
        bool ok = false;
        QMetaObject::invokeMethod(
            mServer, [this, &ok]() { ok = mServer->reopen(); }, Qt::BlockingQueuedConnection);
        return ok;
    }
    /// Hangs up in the server's thread as soon as a command after those handled so far has
    /// arrived. The server may still be announcing the previous command when this is called,
    /// so the announcement is judged by its count, not by its arrival.
    void hangUpAtNextCommand()
    {
        const int handled = camera().receivedCommandCount();
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = QObject::connect(mServer, &TtyCameraServer::commandsHandled, mServer,
            [this, connection, handled](int total) {
                if (total <= handled)
                    return;
                QObject::disconnect(*connection);
                mServer->hangUp();
            });
    }

private:
    QTemporaryDir mDir;
    QThread mThread;
    TtyCameraServer *mServer = nullptr;
    bool mOpened = false;
};

#endif // PTYCAMERAFIXTURE_H
