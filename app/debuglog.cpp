#include "app/debuglog.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool DebugLog::start()
{
    bool consoleAllocated = false;
#ifdef Q_OS_WIN
    if (AllocConsole()) {
        consoleAllocated = true;
        FILE *stream = nullptr;
        freopen_s(&stream, "CONOUT$", "w", stdout);
        setvbuf(stdout, nullptr, _IONBF, 0);
        freopen_s(&stream, "CONOUT$", "w", stderr);
        setvbuf(stderr, nullptr, _IONBF, 0);
    }
#else
    // The process already has a standard error stream; make it unbuffered like a console.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
#endif
    qInstallMessageHandler(debugMessageHandler);
    qDebug() << "---------- " << QDateTime::currentDateTime().toString() << "-------------";
    qDebug() << "Started application with console.";
    return consoleAllocated;
}

void DebugLog::releaseConsole()
{
#ifdef Q_OS_WIN
    FreeConsole();
#endif
}

void DebugLog::debugMessageHandler(
    QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QByteArray line = message.toLocal8Bit() + '\n';

    QFile log(QString::fromLatin1(fileName()));
    if (log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        log.write(line);
        log.close();
    }

    switch (type) {
    case QtDebugMsg:
    case QtWarningMsg:
    case QtCriticalMsg:
    case QtFatalMsg:
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
        break;
    case QtInfoMsg:
        break;
    }
}
