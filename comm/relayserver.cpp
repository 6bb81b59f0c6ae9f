#include "comm/relayserver.h"

#include "app/appsettings.h"
#include "comm/console.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <atomic>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
std::atomic<RelayServer *> serverInstance { nullptr };

const char SimClStateVariable[] = "MARNIFEX_SIMCL_STATE";

#ifdef Q_OS_WIN
const char RelayPath[] = "relay/MfxRelay32.exe";
#else
const char RelayPath[] = "relay/MfxRelay32";
#endif

bool debugMode()
{
    return AppSettings::instance().debugMode;
}
} // namespace

RelayServer::RelayServer(QObject *parent)
    : QObject(parent)
    , mServer(new QLocalServer(this))
    , mProcess(new QProcess(this))
{
    RelayServer *none = nullptr;
    serverInstance.compare_exchange_strong(none, this);
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(mServer, &QLocalServer::newConnection, this, &RelayServer::localNewConnection);
    mProcess->setProcessChannelMode(QProcess::ForwardedChannels);
}

RelayServer::~RelayServer()
{
    stop();
    RelayServer *self = this;
    serverInstance.compare_exchange_strong(self, nullptr);
}

RelayServer *RelayServer::instance()
{
    return serverInstance;
}

QString RelayServer::defaultProgram()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(RelayPath);
}

void RelayServer::setProgram(const QString &program, const QStringList &arguments)
{
    mProgram = program;
    mArguments = arguments;
}

QString RelayServer::serverName() const
{
    return mServer->isListening() ? mServer->fullServerName() : QString();
}

bool RelayServer::isConnected() const
{
    return mClientSocket && mClientSocket->state() == QLocalSocket::ConnectedState;
}

qint64 RelayServer::relayProcessId() const
{
    return mProcess->state() == QProcess::NotRunning ? 0 : mProcess->processId();
}

void RelayServer::trace(const QString &log, const QString &console) const
{
    if (!log.isEmpty())
        qDebug().noquote() << log;
    if (debugMode() && !console.isEmpty()) {
        if (Console *out = Console::instance())
            out->normalLog(console);
    }
}

void RelayServer::start()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &RelayServer::start, Qt::QueuedConnection);
        return;
    }
    // One relay at a time: a second process would only be refused when it connects.
    if (isConnected() || mProcess->state() != QProcess::NotRunning)
        return;
    const QFileInfo program(mProgram.isEmpty() ? defaultProgram() : mProgram);
    if (!program.isFile()) {
        trace(QStringLiteral("Failed to find 32bit relay application."),
            QStringLiteral("@RelayServer: Failed to find ") + QLatin1String(RelayPath));
        return;
    }
    if (!mServer->isListening() && !listen())
        return;
    QStringList arguments = mArguments;
    arguments << mServer->fullServerName();
    if (debugMode())
        arguments << QStringLiteral("debug");
    // Started by its absolute path in a directory of its own; the program's working directory
    // (where XML/ and debug.log are found) stays as it is.
    mProcess->setProgram(program.absoluteFilePath());
    mProcess->setArguments(arguments);
    mProcess->setWorkingDirectory(program.absolutePath());
    // There, a start state for the simulated Camera Link cameras named relative to the program's
    // working directory would not be found: it is handed on by its absolute path.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString state = environment.value(QLatin1String(SimClStateVariable));
    if (!state.isEmpty() && QDir::isRelativePath(state))
        environment.insert(
            QLatin1String(SimClStateVariable), QDir::current().absoluteFilePath(state));
    mProcess->setProcessEnvironment(environment);
    mProcess->start();
    if (debugMode()) {
        trace(QString(), QStringLiteral("@RelayServer: Started ") + QLatin1String(RelayPath));
        trace(QString(), QStringLiteral("@RalayServer: Wait for client login"));
    }
}

bool RelayServer::listen()
{
    const QString base
        = QStringLiteral("MfxRelayServer_%1").arg(QCoreApplication::applicationPid());
#ifdef Q_OS_WIN
    // A named pipe; UserAccessOption restricts it to this user.
    const QString name = base;
    const bool privateFolder = true;
#else
    // A socket in a folder that only this user can enter, so that nobody else can connect to it
    // or put a socket of their own in its place.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QFileInfo info(folder);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    const bool privateFolder = !folder.isEmpty() && info.isDir() && !info.isSymLink()
        && info.ownerId() == ::getuid() && !(info.permissions() & others);
    const QString name = folder + QLatin1Char('/') + base;
    // A socket of this name left behind by a crashed run would make listening fail.
    if (privateFolder)
        QLocalServer::removeServer(name);
#endif
    if (!privateFolder || !mServer->listen(name)) {
        trace(QStringLiteral("Failed to listen on localSocket"),
            QStringLiteral("@RelayServer: Failed to listen to socket"));
        return false;
    }
    trace(QStringLiteral("Listening on: ") + mServer->fullServerName(),
        QStringLiteral("@RelayServer: Listening on: ") + mServer->fullServerName());
    return true;
}

bool RelayServer::isOwnRelay(QLocalSocket *socket) const
{
    const qint64 expected = relayProcessId();
    if (expected <= 0)
        return false;
#if defined(Q_OS_WIN)
    ULONG pid = 0;
    return GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(socket->socketDescriptor()), &pid)
        && pid == static_cast<ULONG>(expected);
#elif defined(Q_OS_LINUX)
    ucred peer {};
    socklen_t size = sizeof peer;
    if (::getsockopt(
            static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size)
        != 0)
        return false;
    return peer.pid == expected && peer.uid == ::getuid();
#else
    Q_UNUSED(socket)
    return false; // no way to tell who is calling
#endif
}

void RelayServer::localNewConnection()
{
    while (QLocalSocket *socket = mServer->nextPendingConnection()) {
        if (mClientSocket || !isOwnRelay(socket)) {
            qDebug().noquote() << QStringLiteral(
                "rServer: refused a connection that is not our relay");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        mClientSocket = socket;
        mLines.clear();
        mUnanswered = 0;
        connect(socket, &QLocalSocket::disconnected, this, &RelayServer::localClientDisconnect);
        connect(socket, &QLocalSocket::errorOccurred, this, &RelayServer::localClientError);
        trace(QStringLiteral("rServer: relay connected"),
            QStringLiteral("@RelayServer: client login"));
        emit relayConnected();
    }
}

void RelayServer::localClientDisconnect()
{
    if (!mClientSocket)
        return;
    QLocalSocket *socket = mClientSocket;
    mClientSocket = nullptr;
    socket->disconnect(this);
    socket->deleteLater();
    trace(QStringLiteral("rServer: relay disconnected"),
        QStringLiteral("@RelayServer: client disconnected"));
    // A relay without its connection serves nobody; it must not hold back the next one.
    if (mProcess->state() != QProcess::NotRunning) {
        mProcess->kill();
        mProcess->waitForFinished(1000);
    }
    emit relayDisconnected();
}

void RelayServer::localClientError()
{
    // Each wait slice that passes without data reports a time-out; that is no fault.
    if (mClientSocket && mClientSocket->error() != QLocalSocket::SocketTimeoutError) {
        qDebug().noquote() << QStringLiteral("rServer: socket error: ")
                + mClientSocket->errorString();
        if (mClientSocket->state() == QLocalSocket::UnconnectedState)
            localClientDisconnect();
    }
}

void RelayServer::stop()
{
    if (mClientSocket) {
        QLocalSocket *socket = mClientSocket;
        mClientSocket = nullptr;
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
    if (mProcess->state() != QProcess::NotRunning) {
        // Without its connection the relay program ends by itself; it gets a moment for that.
        if (!mProcess->waitForFinished(300)) {
            mProcess->kill();
            mProcess->waitForFinished(1000);
        }
    }
    mServer->close();
}

void RelayServer::sendClient(QString cmd, QString args)
{
    const QString line = QStringLiteral("@%1|%2\n").arg(cmd, args);
    trace(QStringLiteral("rServer send: ") + line,
        QStringLiteral("@RelayServer: send to client: ") + line);
    if (!isConnected())
        return;
    dropUnansweredInput();
    mClientSocket->write(line.toLatin1());
    mClientSocket->flush();
    if (mClientSocket && mClientSocket->bytesToWrite() > 0)
        mClientSocket->waitForBytesWritten(WaitSliceMs);
}

// Lines are matched to requests only by their order. Whatever waits before a request is sent
// is either a late reply to a request given up on (skipped by count) or answers nothing.
void RelayServer::dropUnansweredInput()
{
    for (int chunks = 0; chunks < 16 && mClientSocket && mClientSocket->bytesAvailable() > 0;
         ++chunks)
        readInput();
    QByteArray line;
    while (takeLine(line) != RelayLineBuffer::Nothing)
        qDebug().noquote() << QStringLiteral("rServer: dropped a line that answers no request: ")
                + QString::fromLatin1(line.left(80));
    if (mUnanswered == 0)
        mLines.dropUnfinished();
}

void RelayServer::readInput()
{
    if (mClientSocket && mClientSocket->bytesAvailable() > 0)
        mLines.append(mClientSocket->read(MaxLineBytes));
}

RelayLineBuffer::Taken RelayServer::takeLine(QByteArray &line)
{
    RelayLineBuffer::Taken taken;
    while ((taken = mLines.take(line)) != RelayLineBuffer::Nothing) {
        if (mUnanswered == 0)
            return taken;
        --mUnanswered;
    }
    return taken;
}

QString RelayServer::waitForReply(int timeoutMs)
{
    if (!isConnected()) {
        qDebug().noquote() << QStringLiteral("rServer: waitforReply no mClientSocket?");
        return QString();
    }
    const QDeadlineTimer deadline(timeoutMs);
    QByteArray line;
    RelayLineBuffer::Taken taken = RelayLineBuffer::Nothing;
    for (;;) {
        readInput();
        taken = takeLine(line);
        if (taken != RelayLineBuffer::Nothing || !isConnected() || deadline.hasExpired()
            || QThread::currentThread()->isInterruptionRequested())
            break;
        if (mClientSocket->bytesAvailable() == 0)
            mClientSocket->waitForReadyRead(
                static_cast<int>(qMin<qint64>(deadline.remainingTime(), WaitSliceMs)));
    }
    if (taken != RelayLineBuffer::Line) {
        if (taken == RelayLineBuffer::TooLong)
            qDebug().noquote() << QStringLiteral("rServer: reply too long, dropped");
        else // its reply may still come; it must not be taken for the reply to the next request
            ++mUnanswered;
        trace(QStringLiteral("rServer: no response"),
            QStringLiteral("@RelayServer: no response from client"));
        return QString();
    }
    const QString text = QString::fromLatin1(line);
    trace(QStringLiteral("rServer received: ") + text,
        QStringLiteral("@RelayServer: received from client: ") + text);
    const int at = line.indexOf('@');
    const QString prepared = at < 0 ? text : QString::fromLatin1(line.mid(at + 1).chopped(1));
    qDebug().noquote() << QStringLiteral("rServer prepared: ") + prepared;
    return prepared;
}

QString RelayServer::request(const QString &cmd, const QString &args, int timeoutMs)
{
    sendClient(cmd, args);
    return waitForReply(timeoutMs);
}

bool RelayServer::requestBool(const QString &cmd, const QByteArray &name)
{
    return request(cmd, QString::fromLatin1(name)) == QLatin1String("true");
}

unsigned RelayServer::portCount()
{
    bool ok = false;
    const unsigned count = request(QStringLiteral("NOC"), QString()).toUInt(&ok);
    return ok ? count : 0;
}

void RelayServer::portInfo(
    unsigned index, QByteArray &manufacturer, QByteArray &name, unsigned &version)
{
    const QStringList fields
        = request(QStringLiteral("NFO"), QString::number(index)).split(QLatin1Char('|'));
    manufacturer = fields.value(0).toLatin1();
    // A port name may itself hold "|" (a simulated camera's name, a library's port id): it is
    // all between the manufacturer and the version.
    const int nameFields = qMax(1, fields.size() - 2);
    name = fields.mid(1, nameFields).join(QLatin1Char('|')).toLatin1();
    version = fields.size() > 2 ? fields.last().toUInt() : 0;
}

bool RelayServer::openPort(const QByteArray &name)
{
    return requestBool(QStringLiteral("OPN"), name);
}

bool RelayServer::closePort(const QByteArray &name)
{
    return requestBool(QStringLiteral("CLS"), name);
}

bool RelayServer::isPortOpen(const QByteArray &name)
{
    return requestBool(QStringLiteral("ISO"), name);
}

bool RelayServer::detectCamera(const QByteArray &name)
{
    return requestBool(QStringLiteral("DTC"), name);
}

bool RelayServer::writePort(const QByteArray &name, const QByteArray &bytes)
{
    return request(QStringLiteral("WRT"), QString::fromLatin1(name + '|' + bytes.toBase64()))
        == QLatin1String("true");
}

bool RelayServer::readPort(const QByteArray &name, QByteArray &out, int timeoutMs, bool expectReply)
{
    const QString args = QStringLiteral("%1|%2|%3")
                             .arg(QString::fromLatin1(name))
                             .arg(timeoutMs)
                             .arg(expectReply ? QStringLiteral("true") : QStringLiteral("false"));
    // The relay itself waits up to timeoutMs for the camera before it answers.
    const QString text = request(QStringLiteral("RED"), args, timeoutMs + ReplyTimeoutMs);
    if (text.isEmpty())
        return false;
    const QByteArray::FromBase64Result decoded
        = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        qDebug().noquote() << QStringLiteral("rServer: read reply is no Base64");
        return false;
    }
    out = *decoded;
    return !out.isEmpty();
}
