#include "comm/communicationthreadobject.h"

#include "comm/clcommunicator.h"
#include "comm/comcommunicator.h"
#include "comm/commandqueue.h"
#include "comm/console.h"
#include "comm/relaycommunicator.h"
#include "comm/relayserver.h"
#include "comm/virtualcommunicator.h"

#include <QAtomicInt>
#include <QDebug>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutexLocker>
#include <QSemaphore>
#include <QSerialPortInfo>
#include <QThread>
#include <QTimer>

#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

CommunicationThreadObject::CommunicationThreadObject(QThread *thread, QObject *parent)
    : QObject(parent)
{
    MetaTypes::registerAll();
    // A child, so that it moves into the communication thread with this object.
    mRelayServer = new RelayServer(this);
    connect(mRelayServer, &RelayServer::relayConnected, this,
        &CommunicationThreadObject::relayConnected, Qt::QueuedConnection);
    connect(mRelayServer, &RelayServer::relayDisconnected, this,
        &CommunicationThreadObject::relayDisconnected, Qt::QueuedConnection);
    if (thread && !parent)
        moveToThread(thread);
}

CommunicationThreadObject::~CommunicationThreadObject()
{
    delete mDiscoveryTimer;
    mDiscoveryTimer = nullptr;
    QList<AbstractCommunicator *> list;
    {
        QMutexLocker lock(&mStateMutex);
        list.swap(mCommunicators);
        mRelayCommunicators.clear();
    }
    for (AbstractCommunicator *comm : qAsConst(list)) {
        comm->close();
        delete comm;
    }
    delete mQueue;
}

void CommunicationThreadObject::setSerialPortScanning(bool enabled)
{
    mScanSerialPorts = enabled;
}

bool CommunicationThreadObject::isCommunicationThread() const
{
    return QThread::currentThread() == thread();
}

bool CommunicationThreadObject::runInCommunicationThread(const std::function<void()> &job)
{
    if (isCommunicationThread()) {
        job();
        return true;
    }
    // A blocking queued call would wait forever for a thread that never started or has ended
    // (the call just stays queued), so wait on a semaphore and watch the thread meanwhile. The
    // job claims its turn before running: once we gave up, a call still queued (it would run if
    // the thread were started again) does nothing.
    QThread *own = thread();
    if (!own || !own->isRunning())
        return false;
    enum { Pending, Claimed, Abandoned };
    struct Handshake
    {
        QAtomicInt state { Pending };
        QSemaphore done;
    };
    auto handshake = std::make_shared<Handshake>();
    QMetaObject::invokeMethod(
        this,
        [job, handshake]() {
            if (!handshake->state.testAndSetOrdered(Pending, Claimed))
                return;
            job();
            handshake->done.release();
        },
        Qt::QueuedConnection);
    const int pollMs = 20;
    while (!handshake->done.tryAcquire(1, pollMs)) {
        own = thread();
        if ((!own || !own->isRunning()) && handshake->state.testAndSetOrdered(Pending, Abandoned))
            return false;
    }
    return true;
}

QList<AbstractCommunicator *> CommunicationThreadObject::communicators() const
{
    QMutexLocker lock(&mStateMutex);
    return mCommunicators;
}

QStringList CommunicationThreadObject::portNames() const
{
    const QList<AbstractCommunicator *> list = communicators();
    QStringList names;
    for (AbstractCommunicator *comm : list)
        names.append(QString::fromLatin1(comm->portName()));
    return names;
}

AbstractCommunicator *CommunicationThreadObject::findCommunicator(const QString &name) const
{
    const QByteArray wanted = name.toLatin1();
    const QList<AbstractCommunicator *> list = communicators();
    for (AbstractCommunicator *comm : list) {
        if (comm->portName() == wanted)
            return comm;
    }
    // The port may be one the relay serves once it runs; asked at most every 1.5 s.
    bool poke = false;
    {
        QMutexLocker lock(&mStateMutex);
        poke = !mRelayPoke.isValid() || mRelayPoke.elapsed() > RelayPokeIntervalMs;
        if (poke)
            mRelayPoke.start();
    }
    if (poke)
        RelayCommunicator::startServer();
    return nullptr;
}

void CommunicationThreadObject::startCommunication()
{
    if (queue())
        return;
    {
        QMutexLocker lock(&mStateMutex);
        mQueue = new CommandQueue(this);
    }
    mDiscoveryTimer = new QTimer(this);
    mDiscoveryTimer->setInterval(DiscoveryIntervalMs);
    connect(
        mDiscoveryTimer, &QTimer::timeout, this, &CommunicationThreadObject::checkAllCommDevices);
    if (QThread *own = thread())
        connect(own, &QThread::finished, this, &CommunicationThreadObject::shutDown,
            Qt::DirectConnection);

    const unsigned linkPorts = CLCommunicator::portCount();
    for (unsigned index = 0; index < linkPorts; ++index) {
        QByteArray manufacturer;
        QByteArray name;
        unsigned version = 0;
        CLCommunicator::portInfo(index, manufacturer, name, version);
        if (!manufacturer.isEmpty())
            addCommunicator(new CLCommunicator(QString::fromLatin1(name)));
    }

    const QStringList virtualNames = VirtualCommunicator::virtualDevices();
    for (const QString &name : virtualNames)
        addCommunicator(new VirtualCommunicator(name));

    if (mScanSerialPorts)
        scanSerialPorts();

    mDiscoveryTimer->start();
    qDebug().noquote() << QStringLiteral("Communication thread started.");
}

void CommunicationThreadObject::scanSerialPorts()
{
#ifdef Q_OS_WIN
    for (int n = 1; n <= 24; ++n) {
        QString name = QStringLiteral("COM%1").arg(n);
        if (n >= 10)
            name.prepend(QStringLiteral("\\\\.\\"));
        qDebug().noquote() << QStringLiteral("Check port: ") + name;
        HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(name.utf16()),
            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            qDebug().noquote() << QStringLiteral("Found com on: ") + QString::number(n);
            CloseHandle(handle);
            if (!findCommunicator(name)) {
                qDebug().noquote() << QStringLiteral("Was not in the list...");
                addCommunicator(new ComCommunicator(name));
            }
        }
    }
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        mSerialListing.append(info.portName());
#else
    // Listing reads the system's device tables only; no device is opened here.
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        const QString name = info.systemLocation();
        mSerialListing.append(name);
        qDebug().noquote() << QStringLiteral("Check port: ") + name;
        if (!findCommunicator(name)) {
            qDebug().noquote() << QStringLiteral("Was not in the list...");
            addCommunicator(new ComCommunicator(name));
        }
    }
#endif
}

void CommunicationThreadObject::addCommunicator(AbstractCommunicator *comm)
{
    connect(comm, &AbstractCommunicator::receivedReply, this,
        &CommunicationThreadObject::commReceivedMessage, Qt::DirectConnection);
    {
        QMutexLocker lock(&mStateMutex);
        mCommunicators.append(comm);
    }
    const QString name = QString::fromLatin1(comm->portName());
    emit statusUpdate(name, StatusAdded, QString());
    emit statusUpdate(name, StatusNoCamera, QString());
}

void CommunicationThreadObject::startDiscovery()
{
    const QList<AbstractCommunicator *> list = communicators();
    for (AbstractCommunicator *comm : list)
        emit statusUpdate(QString::fromLatin1(comm->portName()), StatusNoCamera, QString());
    {
        QMutexLocker lock(&mStateMutex);
        mDiscovering = true;
    }
    QTimer::singleShot(10, this, &CommunicationThreadObject::checkAllCommDevices);
    RelayCommunicator::startServer();
}

void CommunicationThreadObject::stopDiscovery()
{
    if (!isCommunicationThread())
        qDebug().noquote() << QStringLiteral("OOT StopDiscovery");
    QMutexLocker lock(&mStateMutex);
    mDiscovering = false;
}

void CommunicationThreadObject::checkAllCommDevices()
{
    if (!isCommunicationThread()) {
        qDebug().noquote() << QStringLiteral("OOT: CheckAllCommDevices");
        runInCommunicationThread([this]() { checkAllCommDevices(); });
        return;
    }

#ifndef Q_OS_WIN
    // Hot-plug: compare the system's listing with the previous one.
    if (mScanSerialPorts) {
        QStringList now;
        const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : infos) {
            now.append(info.systemLocation());
            if (!mSerialListing.contains(info.systemLocation()))
                commDeviceDiscovered(info);
        }
        for (const QString &name : qAsConst(mSerialListing)) {
            if (!now.contains(name))
                removeSerialPort(name);
        }
        mSerialListing = now;
    }
#endif

    {
        QMutexLocker lock(&mStateMutex);
        if (!mDiscovering)
            return;
    }
    const QList<AbstractCommunicator *> list = communicators();
    for (AbstractCommunicator *comm : list) {
        const QString name = QString::fromLatin1(comm->portName());
        comm->open();
        if (comm->isOpen()) {
            if (comm->hasCamera())
                emit statusUpdate(name, StatusCameraFound, QString::fromLatin1(comm->cameraId()));
            else
                emit statusUpdate(name, StatusNoCamera, QString());
            comm->close();
        } else {
            emit statusUpdate(name, StatusNoCamera, QString());
        }
        QMutexLocker lock(&mStateMutex);
        if (!mDiscovering)
            break;
    }
}

void CommunicationThreadObject::commDeviceDiscovered(QextPortInfo info)
{
#ifdef Q_OS_WIN
    const QString name = info.portName();
#else
    const QString name = info.systemLocation();
#endif
    qDebug().noquote() << QStringLiteral("Device discovered: \"%1\"").arg(name);
    addSerialPort(name);
}

void CommunicationThreadObject::commDeviceRemoved(QextPortInfo info)
{
#ifdef Q_OS_WIN
    removeSerialPort(info.portName());
#else
    removeSerialPort(info.systemLocation());
#endif
}

void CommunicationThreadObject::addSerialPort(const QString &name)
{
    if (!isCommunicationThread()) {
        QMetaObject::invokeMethod(
            this, [this, name]() { addSerialPort(name); }, Qt::QueuedConnection);
        return;
    }
    if (name.contains(QLatin1String("Bluetooth")) || name.contains(QLatin1String("LPT")))
        return;
    if (!findCommunicator(name))
        addCommunicator(new ComCommunicator(name, this));
}

void CommunicationThreadObject::removeSerialPort(const QString &name)
{
    if (!isCommunicationThread()) {
        QMetaObject::invokeMethod(
            this, [this, name]() { removeSerialPort(name); }, Qt::QueuedConnection);
        return;
    }
    qDebug().noquote() << QStringLiteral("Device removed: ") + name;
    if (AbstractCommunicator *comm = findCommunicator(name)) {
        // The device is gone: release the descriptor so that its return opens afresh.
        comm->close();
        emit statusUpdate(name, StatusRemoved, QString());
    }
}

void CommunicationThreadObject::relayConnected()
{
    {
        QMutexLocker lock(&mStateMutex);
        mRelayCommunicators.clear();
    }
    const QString current = currentPort();
    const unsigned count = RelayCommunicator::portCount();
    for (unsigned index = 0; index < count; ++index) {
        QByteArray manufacturer;
        QByteArray name;
        unsigned version = 0;
        RelayCommunicator::portInfo(index, manufacturer, name, version);
        if (name.isEmpty() || manufacturer.isEmpty())
            continue;
        auto *comm = new RelayCommunicator(QString::fromLatin1(name), this);
        {
            QMutexLocker lock(&mStateMutex);
            mRelayCommunicators.append(comm);
        }
        addCommunicator(comm);
        if (comm->portName() == current.toLatin1()) {
            // The selected port is back: it serves commands again.
            connect(comm, &AbstractCommunicator::onlineStateChanged, this,
                &CommunicationThreadObject::commOnlineStateChanged, Qt::UniqueConnection);
            comm->setOnline(true);
        }
    }
}

void CommunicationThreadObject::relayDisconnected()
{
    QList<AbstractCommunicator *> relays;
    const QString current = currentPort();
    {
        QMutexLocker lock(&mStateMutex);
        relays.swap(mRelayCommunicators);
    }
    for (AbstractCommunicator *comm : qAsConst(relays)) {
        const QString name = QString::fromLatin1(comm->portName());
        if (name == current)
            comm->setOnline(false);
        emit statusUpdate(name, StatusRemoved, QString());
        {
            QMutexLocker lock(&mStateMutex);
            mCommunicators.removeAll(comm);
        }
        comm->deleteLater();
    }
}

void CommunicationThreadObject::commOnlineStateChanged(AbstractCommunicator *comm, bool online)
{
    {
        QMutexLocker lock(&mStateMutex);
        // A port deselected meanwhile may still report once; the selection has taken over.
        if (!comm || comm->portName() != mCurrentPort.toLatin1())
            return;
        mOnline = online;
    }
    emit onlineModeChanged(online);
}

void CommunicationThreadObject::commReceivedMessage(
    QString id, QByteArray cmd, AbstractCommunicator::Result result, QVariantList args)
{
    if (CommandQueue *commands = queue()) {
        commands->finishExchange(qobject_cast<AbstractCommunicator *>(sender()), id, cmd);
        commands->checkNext();
    }
    emit receivedReply(id, cmd, result, args);
}

bool CommunicationThreadObject::sendCommand(
    const QString &id, const QByteArray &cmd, const QVariantList &args, bool expectReply)
{
    AbstractCommunicator *comm = findCommunicator(currentPort());
    CommandQueue *commands = queue();
    if (!comm || !commands)
        return false;
    commands->appendCommand(comm, id, cmd, args, expectReply);
    return true;
}

bool CommunicationThreadObject::sendCommandFirst(const QString &id, const QByteArray &cmd,
    const QVariantList &args, bool expectReply, bool withErrorCheck)
{
    AbstractCommunicator *comm = findCommunicator(currentPort());
    CommandQueue *commands = queue();
    if (!comm || !commands)
        return false;
    commands->prependCommand(comm, id, cmd, args, expectReply, withErrorCheck);
    return true;
}

void CommunicationThreadObject::setCurrentPort(const QString &name)
{
    AbstractCommunicator *next = findCommunicator(name);
    if (!next && !name.isEmpty())
        return;
    // Listening first: a change of the port's flag after it is read below is then reported.
    if (next)
        connect(next, &AbstractCommunicator::onlineStateChanged, this,
            &CommunicationThreadObject::commOnlineStateChanged, Qt::UniqueConnection);
    bool changed = false;
    bool online = false;
    {
        QMutexLocker lock(&mStateMutex);
        if (!mCurrentPort.isEmpty() && mCurrentPort != name) {
            for (AbstractCommunicator *comm : qAsConst(mCommunicators)) {
                if (comm->portName() == mCurrentPort.toLatin1())
                    disconnect(comm, &AbstractCommunicator::onlineStateChanged, this,
                        &CommunicationThreadObject::commOnlineStateChanged);
            }
        }
        mCurrentPort = name;
        // The mode is what the port's last exchange found. Taking a port that cannot be opened
        // for online would stick: its failing exchanges change nothing, so nobody would hear.
        online = next && next->isOnline();
        changed = online != mOnline;
        mOnline = online;
    }
    if (changed)
        emit onlineModeChanged(online);
    if (Console *console = Console::instance())
        console->logSwitchedToPort(name);
}

QString CommunicationThreadObject::currentPort() const
{
    QMutexLocker lock(&mStateMutex);
    return mCurrentPort;
}

bool CommunicationThreadObject::isOnline() const
{
    QMutexLocker lock(&mStateMutex);
    return mOnline;
}

void CommunicationThreadObject::setRetries(int retries)
{
    if (AbstractCommunicator *comm = findCommunicator(currentPort())) {
        // mRetries is read by the exchange in the communication thread.
        QMetaObject::invokeMethod(
            comm, [comm, retries]() { comm->setRetries(retries); },
            isCommunicationThread() ? Qt::DirectConnection : Qt::QueuedConnection);
    }
}

void CommunicationThreadObject::sendCommandDirect(
    QByteArray cmd, QVariantList args, bool expectReply, bool *success, QVariantList *retval)
{
    if (!isCommunicationThread()) {
        // The job writes into shared storage, never into the caller's variables, which are gone
        // if it runs after we gave up waiting.
        struct Outcome
        {
            bool ok = false;
            QVariantList reply;
        };
        auto outcome = std::make_shared<Outcome>();
        const bool ran = runInCommunicationThread([this, cmd, args, expectReply, outcome]() {
            sendCommandDirect(cmd, args, expectReply, &outcome->ok, &outcome->reply);
        });
        if (success)
            *success = ran && outcome->ok;
        if (retval)
            *retval = ran ? outcome->reply : QVariantList();
        return;
    }
    AbstractCommunicator *comm = findCommunicator(currentPort());
    QVariantList reply;
    const bool ok = comm
        && comm->sendCommand(
               QStringLiteral("@direct"), cmd, args, reply, DirectTimeoutMs, expectReply)
            == AbstractCommunicator::Success;
    if (success)
        *success = ok;
    if (retval)
        *retval = reply;
}

CommStatus CommunicationThreadObject::getStatus(const QString &portName)
{
    auto status = std::make_shared<CommStatus>(StatusRemoved);
    const bool ran = runInCommunicationThread([this, portName, status]() {
        executeGetStatus(portName);
        QMutexLocker lock(&mStateMutex);
        *status = mLastStatus;
    });
    return ran ? *status : StatusRemoved;
}

void CommunicationThreadObject::executeGetStatus(QString portName)
{
    AbstractCommunicator *comm = findCommunicator(portName);
    const CommStatus status
        = !comm ? StatusRemoved : (comm->hasCamera() ? StatusCameraFound : StatusNoCamera);
    QMutexLocker lock(&mStateMutex);
    mLastStatus = status;
}

void CommunicationThreadObject::shutDown()
{
    // Runs in the communication thread as it ends, so that ports and their notifiers are
    // released in the thread that created them.
    if (mDiscoveryTimer)
        mDiscoveryTimer->stop();
    // The relay goes first: it closes its own ports when its connection ends, and relay ports
    // asked to close one by one would each wait for it.
    mRelayServer->stop();
    const QList<AbstractCommunicator *> list = communicators();
    for (AbstractCommunicator *comm : list)
        comm->close();
}

CommandQueue *CommunicationThreadObject::queue() const
{
    QMutexLocker lock(&mStateMutex);
    return mQueue;
}
