#ifndef CLSERIALLIBRARY_H
#define CLSERIALLIBRARY_H

#include <QByteArray>
#include <QLibrary>
#include <QString>

#include <cstdint>

#ifdef Q_OS_WIN
#define MFX_CLSERIAL_CALL __stdcall
#else
#define MFX_CLSERIAL_CALL
#endif

/// Run-time binding to a Camera Link serial library. Every function returns 0 on success; the
/// handle is the library's opaque reference of an open port. Where the library is looked for is
/// the user's choice (MARNIFEX_CLSERIAL) or the system's library search, never the working
/// directory.
class CLSerialLibrary
{
public:
    using GetNumPorts = int32_t(MFX_CLSERIAL_CALL *)(uint32_t *count);
    using GetPortInfo = int32_t(MFX_CLSERIAL_CALL *)(uint32_t index, char *manufacturer,
        uint32_t *manufacturerBytes, char *portId, uint32_t *portIdBytes, uint32_t *version);
    using SerialInit = int32_t(MFX_CLSERIAL_CALL *)(uint32_t index, void **handle);
    using SetBaudRate = int32_t(MFX_CLSERIAL_CALL *)(void *handle, uint32_t rate);
    using SerialWrite = int32_t(MFX_CLSERIAL_CALL *)(
        void *handle, char *bytes, uint32_t *count, uint32_t timeoutMs);
    using SerialRead = int32_t(MFX_CLSERIAL_CALL *)(
        void *handle, char *bytes, uint32_t *count, uint32_t timeoutMs);
    using GetNumBytesAvail = int32_t(MFX_CLSERIAL_CALL *)(void *handle, uint32_t *count);
    using FlushPort = int32_t(MFX_CLSERIAL_CALL *)(void *handle);
    using SerialClose = void(MFX_CLSERIAL_CALL *)(void *handle);

    /// The library's code for 57600 baud.
    static constexpr uint32_t Baud57600 = 8;
    static constexpr const char *PathVariable = "MARNIFEX_CLSERIAL";

    /// The process-wide binding, looked up on first use.
    static CLSerialLibrary &shared();

    /// What to load for a value of MARNIFEX_CLSERIAL: the value when it is an absolute path,
    /// the system-searched library name when it is unset or empty, and nothing (empty) when it
    /// is a relative path, which would be resolved against the working directory.
    static QString location(const QByteArray &pathVariable);

    /// Loads from location (see above); silent when the system has no such library.
    explicit CLSerialLibrary(const QString &location);

    bool isLoaded() const { return mLoaded; }
    QString fileName() const { return mLibrary.fileName(); }

    GetNumPorts getNumPorts = nullptr;
    GetPortInfo getPortInfo = nullptr;
    SerialInit serialInit = nullptr;
    SetBaudRate setBaudRate = nullptr;
    SerialWrite serialWrite = nullptr;
    SerialRead serialRead = nullptr;
    GetNumBytesAvail getNumBytesAvail = nullptr;
    FlushPort flushPort = nullptr;
    SerialClose serialClose = nullptr;

private:
    QLibrary mLibrary;
    bool mLoaded = false;
};

#endif // CLSERIALLIBRARY_H
