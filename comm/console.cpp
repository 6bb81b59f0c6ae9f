#include "comm/console.h"

#include "comm/communicationthreadobject.h"
#include "comm/scriptlines.h"

#include <QDebug>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>

namespace {
// Guards the instance pointer against a console destroyed in its own thread while the
// communication thread hands it a frame.
QMutex consoleMutex;
Console *consoleInstance = nullptr;
} // namespace

Console::Console(CommunicationThreadObject *communication, QObject *parent)
    : QObject(parent)
    , mCommunication(communication)
{
    QMutexLocker lock(&consoleMutex);
    consoleInstance = this;
}

Console::~Console()
{
    QMutexLocker lock(&consoleMutex);
    if (consoleInstance == this)
        consoleInstance = nullptr;
}

Console *Console::instance()
{
    QMutexLocker lock(&consoleMutex);
    return consoleInstance;
}

void Console::logSentData(const QString &id, const QString &text)
{
    QMutexLocker lock(&consoleMutex);
    if (consoleInstance)
        consoleInstance->sendData(id, text);
}

void Console::logReceivedData(const QString &id, const QString &text)
{
    QMutexLocker lock(&consoleMutex);
    if (consoleInstance)
        consoleInstance->receivedData(id, text);
}

void Console::logNotice(const QString &line)
{
    QMutexLocker lock(&consoleMutex);
    Console *console = consoleInstance;
    if (!console)
        return;
    if (console->thread() != QThread::currentThread()) {
        console->normalLog(line); // only posts
        return;
    }
    // In its own thread the console cannot go away meanwhile, and whoever listens to its lines
    // may use the console again.
    lock.unlock();
    console->normalLog(line);
}

QString Console::visibleControlBytes(QString text)
{
    text.replace(QLatin1Char('@'), QStringLiteral("[STX]"));
    text.replace(QLatin1Char('\r'), QStringLiteral("[ETX]"));
    text.replace(QChar(0x06), QStringLiteral("[ACK]"));
    text.replace(QChar(0x15), QStringLiteral("[NAK]"));
    return text;
}

QString Console::escapedControls(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        const ushort code = c.unicode();
        if (c.category() != QChar::Other_Control)
            escaped += c;
        else if (code == '\r')
            escaped += QStringLiteral("[ETX]");
        else if (code == '\n')
            escaped += QStringLiteral("[LF]");
        else if (code == 0x06)
            escaped += QStringLiteral("[ACK]");
        else if (code == 0x15)
            escaped += QStringLiteral("[NAK]");
        else
            escaped += QStringLiteral("[%1]").arg(code, 2, 16, QLatin1Char('0')).toUpper();
    }
    return escaped;
}

void Console::setShowDebug(bool showAll)
{
    mShowAllTraffic = showAll;
}

bool Console::showDebug() const
{
    return mShowAllTraffic;
}

QString Console::commandText(QString line, bool *query)
{
    int letters = 0;
    for (; letters < line.size(); ++letters) {
        const QChar c = line.at(letters);
        const bool isLetter = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
        if (!isLetter)
            break;
        line[letters] = c.toUpper();
    }
    if (query)
        *query = letters < line.size() && line.at(letters) == QLatin1Char('?');
    return line;
}

Console::Request Console::typedRequest(QString line)
{
    Request request;
    line = commandText(line, &request.query);
    // A carriage return would end the frame early and make the camera see a second command.
    line.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    request.text = line.toLatin1();
    return request;
}

bool Console::isSendable(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() <= 0xff; });
}

QList<Console::Request> Console::scriptRequests(const QByteArray &script)
{
    QList<Request> requests;
    const QList<ScriptLines::Line> lines = ScriptLines::split(script);
    for (const ScriptLines::Line &line : lines)
        requests.append(Request { line.text, line.text.contains('?'), line.number });
    return requests;
}

void Console::sendCommand(QString line)
{
    if (line.isEmpty())
        return;
    if (!isSendable(line)) {
        // Latin-1 would turn them into "?", which the camera reads as a query.
        normalLog(QStringLiteral("# %1").arg(line));
        normalLog(QStringLiteral("Error: Characters outside Latin-1 cannot be sent"));
        return;
    }
    const Request request = typedRequest(line);
    normalLog(QStringLiteral("# %1").arg(QString::fromLatin1(request.text)));
    if (!mCommunication || mCommunication->currentPort().isEmpty()) {
        normalLog(QStringLiteral("Error: No camera connected"));
        return;
    }
    mCommunication->sendCommandFirst(
        QStringLiteral("@Console"), request.text, QVariantList(), request.query, true);
}

void Console::sendData(QString id, QString logLine)
{
    logTraffic(id, logLine, QStringLiteral("> %1"));
}

void Console::receivedData(QString id, QString logLine)
{
    logTraffic(id, logLine, QStringLiteral("< %1"));
}

void Console::logTraffic(const QString &id, const QString &text, const QString &format)
{
    if (!mShowAllTraffic && id != QLatin1String("@Console"))
        return;
    normalLog(format.arg(visibleControlBytes(text)));
}

void Console::normalLog(QString logLine)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, logLine]() { normalLog(logLine); }, Qt::QueuedConnection);
        return;
    }
    logLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    emit lineLogged(logLine);
    qDebug().noquote() << QStringLiteral("Console: ") + logLine;
}

void Console::logSwitchedToPort(QString portName)
{
    normalLog(QStringLiteral("Current port set to: %1").arg(portName));
}
