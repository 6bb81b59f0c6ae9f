#ifndef ABSTRACTCOMMUNICATOR_H
#define ABSTRACTCOMMUNICATOR_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariantList>

#include <atomic>

/// Base of every camera transport: the line protocol (framing and reply decoding), the blocking
/// exchange with its time limits, the retry policy, the cached identification and the online flag.
/// Subclasses supply only the raw port operations.
class AbstractCommunicator : public QObject
{
    Q_OBJECT

public:
    enum Result { Success = 0, Failure = 1 };
    Q_ENUM(Result)

    static constexpr char Ack = 0x06;
    static constexpr char Nak = 0x15;
    static constexpr char Start = '@';
    static constexpr char End = '\r';

    /// Time limits of sendCommandEvent: first attempt, each retry.
    static constexpr int FirstAttemptTimeoutMs = 750;
    static constexpr int RetryTimeoutMs = 1500;
    /// Time limit of the identification probe and how long its answer stays fresh.
    static constexpr int IdTimeoutMs = 250;
    static constexpr int IdCacheMs = 500;

    explicit AbstractCommunicator(QObject *parent = nullptr);
    ~AbstractCommunicator() override;

    /// "@", the command text, the arguments (integers and numeric constants followed by ";",
    /// strings after a double quote, other constants as they are), the ";" after a last number
    /// removed, then CR.
    static QByteArray buildFrame(const QByteArray &cmd, const QVariantList &args);
    /// Decodes a reply: Failure without an ACK byte (args untouched); otherwise args receives
    /// the arguments of the data part (empty when there is none).
    static Result parseReply(const QByteArray &reply, QVariantList &args);
    /// False when a line end (CR or LF) in the command or an argument would split the frame:
    /// such a request is never sent.
    static bool isOneFrame(const QByteArray &cmd, const QVariantList &args);
    /// Says that cmd was not sent because of a line end: in the console when there is one,
    /// otherwise as a warning for the user.
    static void reportNotSent(const QByteArray &cmd);

    int retries() const { return mRetries; }
    void setRetries(int retries) { mRetries = retries; }
    bool isOnline() const { return mOnline; }

    // Raw port operations of a transport.
    virtual bool open() = 0;
    virtual bool close() = 0;
    virtual bool isOpen() = 0;
    /// Probes whether a camera answers on the port.
    virtual bool hasCamera() = 0;
    /// The port's display and lookup name.
    virtual QByteArray portName() = 0;
    virtual bool writeFrame(const QByteArray &frame) = 0;
    /// Collects reply bytes into out within timeoutMs; false when no acceptable reply came.
    virtual bool readReply(QByteArray &out, int timeoutMs, bool expectReply) = 0;

    /// One blocking exchange on the calling thread (which must be the communicator's own).
    virtual Result sendCommand(const QString &id, const QByteArray &cmd, const QVariantList &args,
        QVariantList &reply, int timeoutMs, bool expectReply);
    /// The camera's identification text; cached for IdCacheMs.
    virtual QByteArray cameraId();
    /// Sets the online flag; emits onlineStateChanged only on a change.
    virtual void setOnline(bool online);

    /// Whether the thread running this call is being stopped (QThread::requestInterruption):
    /// waits for the line end early and no further exchange starts.
    static bool stopRequested();

public slots:
    /// One exchange with the retry policy, run in the communicator's thread; always ends in
    /// exactly one receivedReply.
    virtual void sendCommandEvent(
        QString id, QByteArray cmd, QVariantList args, bool expectReply = true);
    /// Like sendCommandEvent, but always posted behind the events already waiting.
    virtual void sendCommandEventQueued(
        QString id, QByteArray cmd, QVariantList args, bool expectReply = true);

signals:
    void receivedReply(
        QString id, QByteArray orgCommand, AbstractCommunicator::Result result, QVariantList args);
    void onlineStateChanged(AbstractCommunicator *comm, bool online);

protected:
    QElapsedTimer mIdTimer;
    QByteArray mCameraId;
    // Written by the exchanges; also read when another thread selects this port.
    std::atomic<bool> mOnline { false };
    int mRetries = 2;
};

#endif // ABSTRACTCOMMUNICATOR_H
