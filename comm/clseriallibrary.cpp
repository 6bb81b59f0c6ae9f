#include "comm/clseriallibrary.h"

#include <QDebug>
#include <QDir>

#include <type_traits>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

CLSerialLibrary &CLSerialLibrary::shared()
{
    static CLSerialLibrary library(location(qgetenv(PathVariable)));
    return library;
}

QString CLSerialLibrary::location(const QByteArray &pathVariable)
{
    if (pathVariable.isEmpty())
        return QStringLiteral("clallserial");
    const QString path = QString::fromLocal8Bit(pathVariable);
    if (QDir::isAbsolutePath(path))
        return path;
    qDebug().noquote() << QStringLiteral("%1 must be an absolute path, ignored: %2")
                              .arg(QLatin1String(PathVariable), path);
    return QString();
}

CLSerialLibrary::CLSerialLibrary(const QString &location)
{
    if (location.isEmpty())
        return;
#ifdef Q_OS_WIN
    // Takes the working directory out of the system's search for the bare library name.
    SetDllDirectoryW(L"");
#else
        // A bare name goes to the dynamic loader's search (LD_LIBRARY_PATH, the system folders),
        // which does not include the working directory.
#endif
    const bool chosen = QDir::isAbsolutePath(location);
    mLibrary.setFileName(location);
    if (!mLibrary.load()) {
        if (chosen)
            qDebug().noquote() << QStringLiteral("Cannot load the Camera Link serial library: ")
                    + mLibrary.errorString();
        return;
    }
    auto resolve = [this](auto &function, const char *name) {
        function
            = reinterpret_cast<std::remove_reference_t<decltype(function)>>(mLibrary.resolve(name));
        return function != nullptr;
    };
    mLoaded = resolve(getNumPorts, "clGetNumPorts") && resolve(getPortInfo, "clGetPortInfo")
        && resolve(serialInit, "clSerialInit") && resolve(setBaudRate, "clSetBaudRate")
        && resolve(serialWrite, "clSerialWrite") && resolve(serialRead, "clSerialRead")
        && resolve(getNumBytesAvail, "clGetNumBytesAvail") && resolve(flushPort, "clFlushPort")
        && resolve(serialClose, "clSerialClose");
    if (!mLoaded)
        qDebug().noquote() << QStringLiteral("The Camera Link serial library lacks a function: ")
                + mLibrary.fileName();
}
