#ifndef TTYCAMERASERVER_H
#define TTYCAMERASERVER_H

#include "comm/simulatedcamera.h"

#include <QObject>
#include <QString>

#include <atomic>

class QSocketNotifier;

/// Serves a simulated camera on a terminal device: either a given tty (for example one end of
/// a pseudo-terminal pair made with socat) or a pseudo-terminal of its own, whose device path
/// the other side opens. Lives in one thread; the camera may be scripted from any thread.
class TtyCameraServer : public QObject
{
    Q_OBJECT

public:
    explicit TtyCameraServer(const QString &cameraName, QObject *parent = nullptr);
    ~TtyCameraServer() override;

    SimulatedCamera &camera() { return mCamera; }

    /// Opens the given tty in raw mode.
    bool openDevice(const QString &path);
    /// Creates a pseudo-terminal; the far end is devicePath(). With linkPath, a symbolic link
    /// of that name is made to point at it (and moved along on reopening).
    bool openPseudoTerminal(const QString &linkPath = QString());
    /// The device that the other side opens (the link when one was asked for).
    QString devicePath() const;
    QString errorString() const { return mError; }
    bool isServing() const { return mFd >= 0; }
    /// Answers scheduled for later that have not been written yet (any thread may ask).
    int pendingAnswers() const { return mPending; }
    /// Bytes read from and written to the terminal so far (any thread may ask).
    quint64 bytesReceived() const { return mBytesReceived; }
    quint64 bytesSent() const { return mBytesSent; }

public slots:
    /// Hangs up: closes the terminal as an unplugged device would.
    void hangUp();
    /// After hangUp: serves again under the same device path (a new pseudo-terminal behind the
    /// link, or the given tty reopened).
    bool reopen();

signals:
    /// One or more complete commands were handled; total counts them all so far.
    void commandsHandled(int total);
    void errorOccurred(QString message);

private:
    void readAvailable();
    void writeBytes(const QByteArray &bytes);
    void closeFds();

    SimulatedCamera mCamera;
    int mFd = -1;
    int mSlaveFd = -1;
    QSocketNotifier *mNotifier = nullptr;
    QString mDevicePath;
    QString mSlavePath;
    QString mLinkPath;
    QString mError;
    bool mOwnPty = false;
    quint64 mGeneration = 0;
    std::atomic<int> mPending { 0 };
    std::atomic<quint64> mBytesReceived { 0 };
    std::atomic<quint64> mBytesSent { 0 };
};

#endif // TTYCAMERASERVER_H
