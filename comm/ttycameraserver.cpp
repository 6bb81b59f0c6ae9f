#include "comm/ttycameraserver.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#endif

TtyCameraServer::TtyCameraServer(const QString &cameraName, QObject *parent)
    : QObject(parent)
    , mCamera(cameraName)
{ }

TtyCameraServer::~TtyCameraServer()
{
    closeFds();
    // Only the link this server made, and only while it still points at this server's terminal.
    if (!mLinkPath.isEmpty() && QFileInfo(mLinkPath).symLinkTarget() == mSlavePath)
        QFile::remove(mLinkPath);
}

QString TtyCameraServer::devicePath() const
{
    return mLinkPath.isEmpty() ? mSlavePath : mLinkPath;
}

#ifdef Q_OS_UNIX
static void makeRaw(termios &tio)
{
    cfmakeraw(&tio);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1; // with O_NONBLOCK an empty read gives EAGAIN, and 0 means hang-up
    tio.c_cc[VTIME] = 0;
}
#endif

bool TtyCameraServer::openDevice(const QString &path)
{
#ifdef Q_OS_UNIX
    closeFds();
    mOwnPty = false;
    mDevicePath = path;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        mError = QStringLiteral("Cannot open %1: %2")
                     .arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    termios tio {};
    if (tcgetattr(fd, &tio) == 0) {
        makeRaw(tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    mFd = fd;
    mSlavePath = path;
    mNotifier = new QSocketNotifier(mFd, QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &TtyCameraServer::readAvailable);
    return true;
#else
    Q_UNUSED(path)
    mError = QStringLiteral("Terminal devices are not supported on this system");
    return false;
#endif
}

bool TtyCameraServer::openPseudoTerminal(const QString &linkPath)
{
#ifdef Q_OS_UNIX
    closeFds();
    mOwnPty = true;
    termios tio {};
    makeRaw(tio);
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, &tio, nullptr) != 0) {
        mError = QStringLiteral("Cannot create a pseudo-terminal: %1")
                     .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    mFd = master;
    // Keeping the far end open as well keeps the master readable while the other side closes
    // and reopens the port (without any opener the master reports an error on every read).
    mSlaveFd = slave;
    mSlavePath = QString::fromLocal8Bit(name);
    if (!linkPath.isEmpty()) {
        // A link left by an earlier run is replaced; anything else there is not ours to delete.
        const QFileInfo existing(linkPath);
        if (existing.isSymLink())
            QFile::remove(linkPath);
        if (!QFile::link(mSlavePath, linkPath)) {
            mError = existing.exists() && !existing.isSymLink()
                ? QStringLiteral("Cannot create the link %1: a file that is no link is in the way")
                      .arg(linkPath)
                : QStringLiteral("Cannot create the link %1").arg(linkPath);
            mLinkPath.clear(); // linkPath may be this very string
            closeFds();
            return false;
        }
        mLinkPath = linkPath;
    }
    mNotifier = new QSocketNotifier(mFd, QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &TtyCameraServer::readAvailable);
    return true;
#else
    Q_UNUSED(linkPath)
    mError = QStringLiteral("Pseudo-terminals are not supported on this system");
    return false;
#endif
}

void TtyCameraServer::hangUp()
{
    closeFds();
}

bool TtyCameraServer::reopen()
{
    if (mOwnPty)
        return openPseudoTerminal(mLinkPath);
    return openDevice(mDevicePath);
}

void TtyCameraServer::closeFds()
{
    ++mGeneration; // answers still scheduled belong to the closed terminal
    delete mNotifier;
    mNotifier = nullptr;
#ifdef Q_OS_UNIX
    if (mFd >= 0)
        ::close(mFd);
    if (mSlaveFd >= 0)
        ::close(mSlaveFd);
#endif
    mFd = -1;
    mSlaveFd = -1;
}

void TtyCameraServer::readAvailable()
{
#ifdef Q_OS_UNIX
    QByteArray input;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(mFd, buffer, sizeof buffer);
        if (n > 0) {
            input.append(buffer, static_cast<int>(n));
            mBytesReceived += quint64(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        // End of file or a hard error: the terminal is gone.
        const QString message = n == 0 ? QStringLiteral("The terminal was closed")
                                       : QString::fromLocal8Bit(strerror(errno));
        closeFds();
        emit errorOccurred(message);
        break;
    }
    if (input.isEmpty())
        return;
    const int before = mCamera.receivedCommandCount();
    const QList<SimulatedCamera::Chunk> chunks = mCamera.receive(input);
    for (const SimulatedCamera::Chunk &chunk : chunks) {
        if (chunk.delayMs <= 0) {
            writeBytes(chunk.bytes);
        } else {
            const quint64 generation = mGeneration;
            const QByteArray bytes = chunk.bytes;
            ++mPending;
            QTimer::singleShot(chunk.delayMs, this, [this, generation, bytes]() {
                if (generation == mGeneration)
                    writeBytes(bytes);
                --mPending;
            });
        }
    }
    // A frame may arrive in pieces; only a completed command counts as handled.
    const int total = mCamera.receivedCommandCount();
    if (total != before)
        emit commandsHandled(total);
#endif
}

void TtyCameraServer::writeBytes(const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    int done = 0;
    while (mFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(mFd, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<int>(n);
            mBytesSent += quint64(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // a full line: the answer is lost, as on a real line
        }
    }
#else
    Q_UNUSED(bytes)
#endif
}
