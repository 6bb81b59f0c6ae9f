#include "comm/clcommunicator.h"

#include "comm/clseriallibrary.h"
#include "comm/comcommunicator.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>

namespace {
constexpr uint32_t TextBufferBytes = 1024;
constexpr uint32_t WriteTimeoutMs = 1000;

QByteArray textUpToZero(const char *buffer, uint32_t bytes)
{
    const QByteArray text(buffer, static_cast<int>(qMin(bytes, TextBufferBytes)));
    const int zero = text.indexOf('\0');
    return zero < 0 ? text : text.left(zero);
}
} // namespace

CLCommunicator::CLCommunicator(const QString &name, QObject *parent)
    : AbstractCommunicator(parent)
    , mName(name)
{ }

CLCommunicator::~CLCommunicator()
{
    close();
}

unsigned CLCommunicator::portCount()
{
    CLSerialLibrary &library = CLSerialLibrary::shared();
    if (!library.isLoaded())
        return 0;
    uint32_t count = 0;
    try {
        return library.getNumPorts(&count) == 0 ? count : 0;
    } catch (...) {
        return 0;
    }
}

void CLCommunicator::portInfo(
    unsigned index, QByteArray &manufacturer, QByteArray &displayName, unsigned &version)
{
    manufacturer.clear();
    displayName.clear();
    version = 0;
    CLSerialLibrary &library = CLSerialLibrary::shared();
    if (!library.isLoaded())
        return;
    char maker[TextBufferBytes] = {};
    char portId[TextBufferBytes] = {};
    uint32_t makerBytes = TextBufferBytes;
    uint32_t portIdBytes = TextBufferBytes;
    uint32_t libraryVersion = 0;
    try {
        const int32_t code
            = library.getPortInfo(index, maker, &makerBytes, portId, &portIdBytes, &libraryVersion);
        if (code != 0) {
            qDebug().noquote() << QStringLiteral("getConnectorInfo failed: ")
                    + QString::number(code);
            return;
        }
    } catch (...) {
        qDebug().noquote() << QStringLiteral("clGetPortInfo threw an exception");
        return;
    }
    manufacturer = textUpToZero(maker, makerBytes);
    displayName = manufacturer + " - " + textUpToZero(portId, portIdBytes);
    version = libraryVersion;
}

int CLCommunicator::findPortIndex() const
{
    const QByteArray wanted = mName.toLatin1();
    const unsigned count = portCount();
    for (unsigned index = 0; index < count; ++index) {
        QByteArray manufacturer;
        QByteArray displayName;
        unsigned version = 0;
        portInfo(index, manufacturer, displayName, version);
        if (displayName == wanted)
            return static_cast<int>(index);
    }
    return -1;
}

bool CLCommunicator::open()
{
    mProbed = false;
    mCameraFound = false;
    if (mHandle)
        return false;
    CLSerialLibrary &library = CLSerialLibrary::shared();
    if (!library.isLoaded())
        return false;
    const int index = findPortIndex();
    qDebug().noquote() << QStringLiteral("Open: %1(%2)").arg(index).arg(mName);
    try {
        const int32_t code = library.serialInit(static_cast<uint32_t>(index), &mHandle);
        if (code != 0) {
            qDebug().noquote() << QStringLiteral("Failed to open camera link:") << code;
            mHandle = nullptr;
            return false;
        }
        // The handle stays: the port still works at the library's current rate.
        if (library.setBaudRate(mHandle, CLSerialLibrary::Baud57600) != 0) {
            qDebug().noquote() << QStringLiteral("Failed to set boud rate");
            return false;
        }
    } catch (...) {
        qDebug().noquote() << QStringLiteral("clSerialInit or clSetBaudRate threw an exception");
        return false;
    }
    return true;
}

bool CLCommunicator::close()
{
    if (mHandle) {
        try {
            CLSerialLibrary::shared().serialClose(mHandle);
        } catch (...) {
            qDebug().noquote() << QStringLiteral("clSerialClose threw an exception");
        }
        mHandle = nullptr;
    }
    mProbed = false;
    mCameraFound = false;
    return true;
}

bool CLCommunicator::isOpen()
{
    return mHandle != nullptr;
}

QByteArray CLCommunicator::portName()
{
    return mName.toLatin1();
}

bool CLCommunicator::hasCamera()
{
    if (mProbed)
        return mCameraFound;
    if (!isOpen())
        open();
    const QByteArray id = cameraId();
    qDebug().noquote() << mName << "found:" << QString::fromLatin1(id);
    mCameraFound = QString::fromLatin1(id).size() > 4;
    mProbed = true;
    return mCameraFound;
}

bool CLCommunicator::writeFrame(const QByteArray &frame)
{
    if (!mHandle)
        return false;
    qDebug().noquote() << QStringLiteral("Writing: ") + QString::fromLatin1(frame) << "to" << mName;
    CLSerialLibrary &library = CLSerialLibrary::shared();
    try {
        // Stale input is discarded before the request goes out: flushed afterwards, a reply
        // that comes back quickly would be thrown away with it.
        library.flushPort(mHandle);
        QByteArray bytes = frame;
        uint32_t count = static_cast<uint32_t>(bytes.size());
        if (library.serialWrite(mHandle, bytes.data(), &count, WriteTimeoutMs) != 0) {
            qDebug().noquote() << QStringLiteral("Failed to write.");
            return false;
        }
    } catch (...) {
        qDebug().noquote() << QStringLiteral("clSerialWrite or clFlushPort threw an exception.");
        return false;
    }
    return true;
}

bool CLCommunicator::readReply(QByteArray &out, int timeoutMs, bool expectReply)
{
    if (!mHandle)
        return false;
    CLSerialLibrary &library = CLSerialLibrary::shared();
    const QDeadlineTimer deadline(timeoutMs);
    try {
        for (;;) {
            uint32_t available = 0;
            if (library.getNumBytesAvail(mHandle, &available) != 0) {
                qDebug().noquote() << QStringLiteral("Error getting number of bytes.");
                return false;
            }
            if (available > 0) {
                qDebug().noquote() << QStringLiteral("Bytes available: ") << available;
                QByteArray chunk(static_cast<int>(available), '\0');
                uint32_t count = available;
                const qint64 remaining = qMax<qint64>(0, deadline.remainingTime());
                if (library.serialRead(mHandle, chunk.data(), &count, uint32_t(remaining)) != 0) {
                    qDebug().noquote() << QStringLiteral("Faile to read.");
                    break;
                }
                out.append(chunk.constData(), static_cast<int>(qMin(count, available)));
                if (ComCommunicator::replyComplete(out, expectReply))
                    return true;
                continue;
            }
            const qint64 remaining = deadline.remainingTime();
            if (remaining <= 0 || stopRequested())
                break;
            // Nothing waiting: block in the library for the next byte instead of polling it.
            // The slice bounds how late a stop request is noticed.
            const uint32_t slice = static_cast<uint32_t>(qMin<qint64>(remaining, WaitSliceMs));
            char byte = 0;
            uint32_t one = 1;
            QElapsedTimer waited;
            waited.start();
            if (library.serialRead(mHandle, &byte, &one, slice) == 0 && one == 1) {
                out.append(byte);
                if (ComCommunicator::replyComplete(out, expectReply))
                    return true;
            } else if (waited.elapsed() < slice / 2) {
                // A time-out takes its time; a read that fails at once has lost the port.
                qDebug().noquote() << QStringLiteral("Faile to read.");
                break;
            }
        }
    } catch (...) {
        qDebug().noquote() << QStringLiteral(
            "clSerialRead / clGetNumBytesAvail threw an exception");
        out.clear();
        return false;
    }
    return !out.isEmpty() && out.contains(Ack);
}
