#include "comm/comcommunicator.h"

#include "comm/console.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QThread>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
// Messages for the user about reaching a port, for clients without a console (mfxctl).
Q_LOGGING_CATEGORY(portAccess, "marnifex.comm.access")

struct ExchangeGuard
{
    explicit ExchangeGuard(bool &flag)
        : mFlag(flag)
    {
        mFlag = true;
    }
    ~ExchangeGuard() { mFlag = false; }
    bool &mFlag;
};
} // namespace

ComCommunicator::ComCommunicator(const QString &name, QObject *parent)
    : AbstractCommunicator(parent)
    , mName(name)
{ }

ComCommunicator::~ComCommunicator()
{
    // The port normally dies with its thread's shutdown; a port left open here is closed by
    // its own destructor.
    delete mPort;
}

void ComCommunicator::ensurePort()
{
    if (mPort)
        return;
    // Created on first use, i.e. in the communication thread, so that its notifiers live there.
    mPort = new QSerialPort(mName, this);
    mPort->setBaudRate(BaudRate);
    mPort->setDataBits(QSerialPort::Data8);
    mPort->setParity(QSerialPort::NoParity);
    mPort->setStopBits(QSerialPort::OneStop);
    mPort->setFlowControl(QSerialPort::NoFlowControl);
    connect(mPort, &QSerialPort::errorOccurred, this, &ComCommunicator::portErrorOccurred);
}

bool ComCommunicator::open()
{
    mProbed = false;
    mCameraFound = false;
    ensurePort();
    if (mPort->isOpen())
        return true;
    mPort->clearError();
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    if (!openDevice(&error)) {
        // Once per port: discovery and the offline poll try again every few seconds.
        if (error == QSerialPort::PermissionError && !mPermissionReported) {
            mPermissionReported = true;
            const QString text = permissionDeniedText(mName);
            // The console also writes the line to the debug log.
            if (Console *console = Console::instance())
                console->normalLog(text);
            else
                qCWarning(portAccess).noquote() << text;
        }
        return false;
    }
    // Whatever the device buffered while the port was closed answers no request of ours.
    mPort->clear(QSerialPort::AllDirections);
    requestLowLatency();
    return true;
}

bool ComCommunicator::openDevice(QSerialPort::SerialPortError *error)
{
    if (mPort->open(QIODevice::ReadWrite))
        return true;
    *error = mPort->error();
    return false;
}

QString ComCommunicator::permissionDeniedText(const QString &device)
{
#ifdef Q_OS_WIN
    return QStringLiteral("No permission to open %1: another program may be using it.").arg(device);
#else
    const QFileInfo file(
        device.contains(QLatin1Char('/')) ? device : QStringLiteral("/dev/") + device);
    // The serial port reports a device that another program holds (its lock file, or the device
    // busy) as a permission error too; a group would not help there.
    if (file.exists() && ::access(QFile::encodeName(file.filePath()).constData(), R_OK | W_OK) == 0)
        return QStringLiteral("Cannot open %1: another program is using it.").arg(device);
    QString group = file.group();
    if (group.isEmpty() || group == QLatin1String("root"))
        group = QStringLiteral("dialout");
    return QStringLiteral("No permission to open %1: add your user to the group %2 (sudo usermod "
                          "-aG %2 $USER) and log in again.")
        .arg(device, group);
#endif
}

void ComCommunicator::requestLowLatency()
{
#ifdef Q_OS_LINUX
    // USB serial adapters hold received bytes for up to 16 ms unless asked not to, which can
    // cost more than the line itself on every exchange. Ports that refuse (pseudo-terminals,
    // plain UARTs without the setting) work as before.
    const int fd = static_cast<int>(mPort->handle());
    serial_struct serial {};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        if (::ioctl(fd, TIOCSSERIAL, &serial) == 0)
            return;
    }
    if (!mLowLatencyRefused)
        qDebug().noquote() << QStringLiteral("Low-latency mode not available on ") + mName;
    mLowLatencyRefused = true;
#else
    // Windows sets the adapter's latency timer in its driver settings; nothing to ask here.
#endif
}

bool ComCommunicator::close()
{
    if (mPort && mPort->isOpen())
        mPort->close();
    mProbed = false;
    mCameraFound = false;
    return true;
}

bool ComCommunicator::isOpen()
{
    return mPort && mPort->isOpen();
}

QByteArray ComCommunicator::portName()
{
    return mName.toLatin1();
}

bool ComCommunicator::isHangUp(QSerialPort::SerialPortError error) const
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError;
}

void ComCommunicator::portErrorOccurred(QSerialPort::SerialPortError error)
{
    // A device that went away between exchanges keeps its descriptor readable forever; left
    // open, the event loop would spin on read notifications and errors. The port is closed
    // from the event loop rather than inside the port's own notification.
    if (mInExchange || !isHangUp(error) || mHangUpPending)
        return;
    mHangUpPending = true;
    QMetaObject::invokeMethod(
        this,
        [this]() {
            mHangUpPending = false;
            if (isOpen() && isHangUp(mPort->error()))
                hangUp();
        },
        Qt::QueuedConnection);
}

void ComCommunicator::hangUp()
{
    close();
    setOnline(false);
}

bool ComCommunicator::writeFrame(const QByteArray &frame)
{
    if (!isOpen())
        open();
    if (!isOpen())
        return false;
    ExchangeGuard guard(mInExchange);
    // Bytes that arrived after the previous exchange ended belong to no request.
    mPort->readAll();
    mPort->clear(QSerialPort::Input);
    if (mPort->write(frame) <= 0)
        return false;
    if (!mPort->waitForBytesWritten(1000) && mPort->bytesToWrite() > 0) {
        if (isHangUp(mPort->error()))
            hangUp();
        return false;
    }
    return isOpen();
}

bool ComCommunicator::replyComplete(const QByteArray &bytes, bool expectReply)
{
    const bool ack = bytes.contains(Ack);
    if (!expectReply && ack)
        return true;
    if (ack && bytes.contains(Start) && bytes.contains(End))
        return true;
    return bytes.contains(Nak);
}

bool ComCommunicator::readReply(QByteArray &out, int timeoutMs, bool expectReply)
{
    out.clear();
    if (isOpen()) {
        ExchangeGuard guard(mInExchange);
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            out.append(mPort->readAll());
            if (replyComplete(out, expectReply))
                return true;
            const qint64 remaining = deadline.remainingTime();
            if (remaining <= 0 || stopRequested())
                break;
            // In short steps, so that stopping the thread does not wait for the time limit.
            if (!mPort->waitForReadyRead(static_cast<int>(qMin<qint64>(remaining, 50)))) {
                const QSerialPort::SerialPortError error = mPort->error();
                if (isHangUp(error) || !mPort->isOpen()) {
                    // The far side hung up: no reply can come any more.
                    if (mPort->isOpen())
                        hangUp();
                    break;
                }
                if (error == QSerialPort::TimeoutError)
                    mPort->clearError();
            }
        }
        if (isOpen())
            out.append(mPort->readAll());
    }

    if (out.contains(Ack))
        return true;
    if (!out.isEmpty()) {
        qDebug().noquote() << QStringLiteral("Failed to read all but received: ")
                + QString::fromLatin1(out) + QStringLiteral(" (%1)").arg(out.size());
        QString values;
        for (const char byte : qAsConst(out))
            values += QLatin1Char(' ') + QString::number(static_cast<signed char>(byte));
        qDebug().noquote() << values;
    }
    return false;
}

bool ComCommunicator::hasCamera()
{
    if (mProbed)
        return mCameraFound;
    if (!isOpen())
        open();
    const QByteArray id = cameraId();
    qDebug().noquote() << QString::fromLatin1(portName()) << "found:" << QString::fromLatin1(id);
    mCameraFound = QString::fromLatin1(id).size() > 4;
    mProbed = true;
    return mCameraFound;
}
