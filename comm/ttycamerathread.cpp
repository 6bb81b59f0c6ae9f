#include "comm/ttycamerathread.h"

#include <QMetaObject>

TtyCameraThread::TtyCameraThread(const QString &cameraName)
{
    mThread.start();
    mServer = new TtyCameraServer(cameraName);
    mServer->moveToThread(&mThread);
    const QString link = path();
    QMetaObject::invokeMethod(
        mServer, [this, link]() { mOpened = mServer->openPseudoTerminal(link); },
        Qt::BlockingQueuedConnection);
}

TtyCameraThread::~TtyCameraThread()
{
    QMetaObject::invokeMethod(
        mServer, [this]() { delete mServer; }, Qt::BlockingQueuedConnection);
    mThread.quit();
    mThread.wait();
}

QString TtyCameraThread::path() const
{
    return mDir.path() + QStringLiteral("/camera");
}

void TtyCameraThread::hangUp()
{
    QMetaObject::invokeMethod(mServer, &TtyCameraServer::hangUp, Qt::BlockingQueuedConnection);
}

bool TtyCameraThread::reopen()
{
    bool ok = false;
    QMetaObject::invokeMethod(
        mServer, [this, &ok]() { ok = mServer->reopen(); }, Qt::BlockingQueuedConnection);
    return ok;
}
