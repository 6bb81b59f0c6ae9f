#ifndef RELAYSERVER_H
#define RELAYSERVER_H

#include "comm/relaylinebuffer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;
class QProcess;

/// The program's end of the relay: starts the relay program, listens for it on a private local
/// socket, and turns each port operation into one request line ("@CMD|args\n") answered by one
/// reply line ("@text\n"). Only the relay process this server started is accepted. Lives in the
/// communication thread; the first one created is the process-wide instance().
class RelayServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReplyTimeoutMs = 1500;
    static constexpr int WaitSliceMs = 100;
    /// Longest reply line accepted; a longer one is dropped up to its line feed.
    static constexpr int MaxLineBytes = 64 * 1024;

    explicit RelayServer(QObject *parent = nullptr);
    ~RelayServer() override;

    static RelayServer *instance();
    /// relay/MfxRelay32 beside the executable.
    static QString defaultProgram();

    /// The relay program to start; arguments go before the server name (and "debug").
    void setProgram(const QString &program, const QStringList &arguments = QStringList());
    /// The name the relay program is given to connect to (empty until listening).
    QString serverName() const;
    bool isConnected() const;
    /// Process id of the started relay program while it runs, else 0.
    qint64 relayProcessId() const;

    /// Starts the relay program unless it is connected or one that was started has not yet
    /// connected or ended. Safe from any thread (runs in the server's own).
    Q_INVOKABLE void start();
    /// Drops the connection and ends the relay process.
    void stop();

    unsigned portCount();
    void portInfo(unsigned index, QByteArray &manufacturer, QByteArray &name, unsigned &version);
    bool openPort(const QByteArray &name);
    bool closePort(const QByteArray &name);
    bool isPortOpen(const QByteArray &name);
    bool detectCamera(const QByteArray &name);
    bool writePort(const QByteArray &name, const QByteArray &bytes);
    /// The bytes the relay read within timeoutMs; false when it read none.
    bool readPort(const QByteArray &name, QByteArray &out, int timeoutMs, bool expectReply);

signals:
    void relayConnected();
    void relayDisconnected();

public slots:
    void localNewConnection();
    void localClientDisconnect();
    void localClientError();
    void sendClient(QString cmd, QString args);
    /// The text of the next reply line, or empty when none came in time.
    QString waitForReply(int timeoutMs = ReplyTimeoutMs);

private:
    bool listen();
    bool isOwnRelay(QLocalSocket *socket) const;
    QString request(const QString &cmd, const QString &args, int timeoutMs = ReplyTimeoutMs);
    bool requestBool(const QString &cmd, const QByteArray &name);
    void readInput();
    /// The next line that answers a request still waited for.
    RelayLineBuffer::Taken takeLine(QByteArray &line);
    void dropUnansweredInput();
    void trace(const QString &log, const QString &console) const;

    QLocalServer *mServer;
    QLocalSocket *mClientSocket = nullptr;
    QProcess *mProcess;
    QString mProgram;
    QStringList mArguments;
    RelayLineBuffer mLines { MaxLineBytes };
    /// Requests whose replies were given up; their lines are skipped when they come.
    int mUnanswered = 0;
};

#endif // RELAYSERVER_H
