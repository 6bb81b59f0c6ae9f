#include "comm/relayclient.h"

#include "comm/abstractcommunicator.h"

#include <QDebug>
#include <QLocalSocket>

namespace {
QByteArray flag(bool value)
{
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}
} // namespace

RelayClient::RelayClient(QObject *parent)
    : QObject(parent)
    , mSocket(new QLocalSocket(this))
{
    connect(mSocket, &QLocalSocket::readyRead, this, &RelayClient::readRequests);
    connect(mSocket, &QLocalSocket::disconnected, this, &RelayClient::disconnected);
}

RelayClient::~RelayClient()
{
    for (const Port &port : qAsConst(mPorts)) {
        port.comm->close();
        delete port.comm;
    }
}

void RelayClient::addPort(
    AbstractCommunicator *comm, const QByteArray &manufacturer, unsigned version)
{
    mPorts.append({ PortPrefix + comm->portName(), manufacturer, version, comm });
}

QStringList RelayClient::portNames() const
{
    QStringList names;
    for (const Port &port : mPorts)
        names.append(QString::fromLatin1(port.name));
    return names;
}

bool RelayClient::connectToServer(const QString &serverName, int timeoutMs)
{
    mSocket->connectToServer(serverName);
    return mSocket->waitForConnected(timeoutMs);
}

AbstractCommunicator *RelayClient::find(const QByteArray &name) const
{
    for (const Port &port : mPorts) {
        if (port.name == name)
            return port.comm;
    }
    return nullptr;
}

QByteArray RelayClient::answer(const QByteArray &request)
{
    QByteArray line = request;
    if (line.endsWith('\n'))
        line.chop(1);
    QByteArray text;
    if (line.size() >= 5 && line.at(0) == '@' && line.at(4) == '|')
        text = answerText(line.mid(1, 3), line.mid(5));
    const QByteArray reply = '@' + text + '\n';
    if (mTracing)
        qDebug().noquote() << QStringLiteral("relay: %1 -> %2")
                                  .arg(QString::fromLatin1(line), QString::fromLatin1(text));
    return reply;
}

QByteArray RelayClient::answerText(const QByteArray &cmd, const QByteArray &args)
{
    if (cmd == "NOC")
        return QByteArray::number(mPorts.size());
    if (cmd == "NFO") {
        bool ok = false;
        const int index = args.toInt(&ok);
        if (!ok || index < 0 || index >= mPorts.size())
            return QByteArray();
        const Port &port = mPorts.at(index);
        return port.manufacturer + '|' + port.name + '|' + QByteArray::number(port.version);
    }
    if (cmd == "WRT") {
        // The frame comes last; a port name may itself hold "|".
        const int split = args.lastIndexOf('|');
        AbstractCommunicator *comm = split < 0 ? nullptr : find(args.left(split));
        const auto frame = QByteArray::fromBase64Encoding(
            args.mid(split + 1), QByteArray::AbortOnBase64DecodingErrors);
        return flag(comm && frame && comm->writeFrame(*frame));
    }
    if (cmd == "RED") {
        const int flagAt = args.lastIndexOf('|');
        const int timeAt = flagAt < 0 ? -1 : args.lastIndexOf('|', flagAt - 1);
        AbstractCommunicator *comm = timeAt < 0 ? nullptr : find(args.left(timeAt));
        bool ok = false;
        const int timeoutMs = args.mid(timeAt + 1, flagAt - timeAt - 1).toInt(&ok);
        QByteArray out;
        if (!comm || !ok || !comm->readReply(out, timeoutMs, args.mid(flagAt + 1) == "true"))
            return QByteArray();
        return out.toBase64();
    }
    AbstractCommunicator *comm = find(args);
    if (!comm)
        return flag(false);
    if (cmd == "OPN")
        return flag(comm->open());
    if (cmd == "CLS")
        return flag(comm->close());
    if (cmd == "ISO")
        return flag(comm->isOpen());
    if (cmd == "DTC")
        return flag(comm->hasCamera());
    return QByteArray();
}

void RelayClient::readRequests()
{
    while (mSocket->bytesAvailable() > 0) {
        mLines.append(mSocket->read(MaxLineBytes));
        QByteArray line;
        RelayLineBuffer::Taken taken;
        // A line too long is still answered, so that requests and replies stay in step.
        while ((taken = mLines.take(line)) != RelayLineBuffer::Nothing)
            mSocket->write(taken == RelayLineBuffer::Line ? answer(line) : QByteArray("@\n"));
        mSocket->flush();
    }
}
