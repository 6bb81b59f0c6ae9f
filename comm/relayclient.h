#ifndef RELAYCLIENT_H
#define RELAYCLIENT_H

#include "comm/relaylinebuffer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class AbstractCommunicator;
class QLocalSocket;

/// The relay program's side of the relay: connects to the program's RelayServer and answers
/// every request line with one reply line, running the port operation on one of its own
/// communicators. Its ports carry the prefix "relay:" so that they never clash with the
/// program's own.
class RelayClient : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxLineBytes = 64 * 1024;
    static constexpr const char *PortPrefix = "relay:";

    explicit RelayClient(QObject *parent = nullptr);
    ~RelayClient() override;

    /// Serves comm (taken over) as PortPrefix followed by its port name.
    void addPort(AbstractCommunicator *comm, const QByteArray &manufacturer, unsigned version = 1);
    QStringList portNames() const;
    /// Writes every request and its reply to the debug log.
    void setTracing(bool tracing) { mTracing = tracing; }

    bool connectToServer(const QString &serverName, int timeoutMs = 5000);
    /// The reply line to one request line (both with their line feed).
    QByteArray answer(const QByteArray &request);

signals:
    void disconnected();

private:
    struct Port
    {
        QByteArray name;
        QByteArray manufacturer;
        unsigned version = 0;
        AbstractCommunicator *comm = nullptr;
    };
    AbstractCommunicator *find(const QByteArray &name) const;
    QByteArray answerText(const QByteArray &cmd, const QByteArray &args);
    void readRequests();

    QList<Port> mPorts;
    QLocalSocket *mSocket;
    RelayLineBuffer mLines { MaxLineBytes };
    bool mTracing = false;
};

#endif // RELAYCLIENT_H
