#ifndef COMMUNICATIONTHREADOBJECT_H
#define COMMUNICATIONTHREADOBJECT_H

#include "comm/abstractcommunicator.h"
#include "comm/commstatus.h"
#include "comm/metatypes.h"

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>

class CommandQueue;
class RelayServer;
class QThread;
class QTimer;

/// The worker of the communication thread: owns every port's communicator and the command
/// queue, keeps the port list current, probes ports for cameras while discovery runs, and
/// reports replies, port status and the online mode through queued signals.
///
/// Thread safety: mCurrentPort, the communicator list and the online flag are read from the
/// user-interface thread (sendCommand, setCurrentPort, startDiscovery, isOnline, ...) and
/// written in the communication thread. All of them are guarded by mStateMutex, which is held
/// only for reading or writing those members and never during an exchange.
class CommunicationThreadObject : public QObject
{
    Q_OBJECT

public:
    /// Discovery timer interval.
    static constexpr int DiscoveryIntervalMs = 2500;
    /// Time limit of sendCommandDirect.
    static constexpr int DirectTimeoutMs = 2500;
    /// Failed port lookups start the relay program at most this often.
    static constexpr int RelayPokeIntervalMs = 1500;

    /// Moves itself into thread; the owner connects thread's started() to startCommunication().
    explicit CommunicationThreadObject(QThread *thread, QObject *parent = nullptr);
    ~CommunicationThreadObject() override;

    /// Whether startCommunication lists the machine's serial ports (on by default). Tests turn
    /// it off before the thread starts so that real devices are neither listed nor probed.
    void setSerialPortScanning(bool enabled);

    /// Queues a request for the current port; false when no known port is selected.
    bool sendCommand(const QString &id, const QByteArray &cmd, const QVariantList &args,
        bool expectReply = true);
    /// Like sendCommand, but to the front of the queue (console commands).
    bool sendCommandFirst(const QString &id, const QByteArray &cmd, const QVariantList &args,
        bool expectReply, bool withErrorCheck);

    /// Selects the port that commands go to; an unknown non-empty name changes nothing, an
    /// empty name clears the selection. The online mode becomes what the port's last exchange
    /// found (offline without a port); a change is reported through onlineModeChanged.
    void setCurrentPort(const QString &name);
    QString currentPort() const;
    /// Blocking status query of one port; StatusRemoved when the communication thread is not
    /// running.
    CommStatus getStatus(const QString &portName);
    /// Retries of the current port's communicator (the value engine passes 0 or 2).
    void setRetries(int retries);
    bool isOnline() const;
    AbstractCommunicator *findCommunicator(const QString &name) const;
    /// Names of all listed ports, in creation order.
    QStringList portNames() const;
    /// The command queue (created by startCommunication).
    CommandQueue *queue() const;
    /// The relay server (lives in the communication thread).
    RelayServer *relayServer() const { return mRelayServer; }

signals:
    void statusUpdate(QString id, CommStatus status, QString model);
    void receivedReply(
        QString commandId, QByteArray cmd, AbstractCommunicator::Result result, QVariantList args);
    void onlineModeChanged(bool online);

public slots:
    void startCommunication();
    void startDiscovery();
    void stopDiscovery();
    /// Probes the ports; from another thread, waits for it (does nothing when the communication
    /// thread is not running).
    void checkAllCommDevices();
    void commOnlineStateChanged(AbstractCommunicator *comm, bool online);
    /// One blocking exchange on the current port; from another thread, *success is false when
    /// the communication thread is not running or stops before the exchange.
    void sendCommandDirect(
        QByteArray cmd, QVariantList args, bool expectReply, bool *success, QVariantList *retval);
    void relayConnected();
    void relayDisconnected();
    void commDeviceDiscovered(QextPortInfo info);
    void commDeviceRemoved(QextPortInfo info);
    /// Lists a serial device by its device name unless it is known already (hot-plug path).
    void addSerialPort(const QString &name);
    /// Reports a serial device as gone; its communicator stays listed.
    void removeSerialPort(const QString &name);
    void commReceivedMessage(
        QString id, QByteArray cmd, AbstractCommunicator::Result result, QVariantList args);
    void executeGetStatus(QString portName);

private slots:
    void shutDown();

private:
    void addCommunicator(AbstractCommunicator *comm);
    void scanSerialPorts();
    QList<AbstractCommunicator *> communicators() const;
    bool isCommunicationThread() const;
    /// Runs job in the communication thread and waits for it; false (job not run, or run later
    /// with nobody waiting) when that thread is not running or stops first.
    bool runInCommunicationThread(const std::function<void()> &job);

    bool mDiscovering = false;
    CommStatus mLastStatus = StatusRemoved;
    QTimer *mDiscoveryTimer = nullptr;
    QString mCurrentPort;
    QList<AbstractCommunicator *> mRelayCommunicators;
    QList<AbstractCommunicator *> mCommunicators;
    CommandQueue *mQueue = nullptr;
    bool mOnline = false;

    RelayServer *mRelayServer = nullptr;
    /// Limits how often failed port lookups start the relay program.
    mutable QElapsedTimer mRelayPoke;

    bool mScanSerialPorts = true;
    QStringList mSerialListing;
    mutable QMutex mStateMutex;
};

#endif // COMMUNICATIONTHREADOBJECT_H
