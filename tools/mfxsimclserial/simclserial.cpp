// A Camera Link serial library without a frame grabber: each port is a simulated camera, so the
// Camera Link transport (and the relay program behind it) can be tried and measured without
// hardware. Answers arrive as on a line: scripted delays are kept, and a read blocks until
// its bytes have arrived or its time limit has passed.
//
// Configuration, read when the library is first used:
//   MARNIFEX_SIMCL_CAMERAS      camera names, comma-separated, one port each (default Link0,Link1)
//   MARNIFEX_SIMCL_BROKEN_INFO  index of a port whose clGetPortInfo fails
//   MARNIFEX_SIMCL_STATE        state file every camera starts from (SimulatedCameraState)

#include "comm/clseriallibrary.h"
#include "comm/simulatedcamera.h"
#include "comm/simulatedcamerastate.h"
#include "tools/mfxsimclserial/simclcontrol.h"

#include <QByteArray>
#include <QDebug>
#include <QLoggingCategory>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#define SIMCL_EXPORT extern "C" Q_DECL_EXPORT

namespace {
// Its category is one that the tools show to users: the state file is theirs.
Q_LOGGING_CATEGORY(simcl, "marnifex.simcl")

using Clock = std::chrono::steady_clock;

constexpr int32_t Ok = 0;
constexpr int32_t ErrorPortInUse = -1;
constexpr int32_t ErrorNoSuchPort = -2;
constexpr int32_t ErrorInvalidHandle = -3;
constexpr int32_t ErrorTimeout = -4;
constexpr int32_t ErrorPortLost = -5;
constexpr int32_t ErrorBufferTooSmall = -6;

const char Manufacturer[] = "MfxSimLink";

struct Arrival
{
    Clock::time_point due;
    QByteArray bytes;
};

struct Port
{
    explicit Port(const QString &name)
        : camera(name)
    { }
    SimulatedCamera camera;
    QByteArray input; // arrived, not yet read
    std::deque<Arrival> inFlight;
    bool open = false;
    bool unplugged = false;
    bool throwNext = false;

    // Opened or closed with nothing on the line either way.
    void reset(bool opened)
    {
        open = opened;
        input.clear();
        inFlight.clear();
    }
};

class Library
{
public:
    Library()
    {
        QByteArray names = qgetenv("MARNIFEX_SIMCL_CAMERAS");
        if (names.isEmpty())
            names = "Link0,Link1";
        const QStringList list
            = QString::fromLocal8Bit(names).split(QLatin1Char(','), Qt::SkipEmptyParts);
        QList<QByteArray> state;
        const QString stateFile = qEnvironmentVariable("MARNIFEX_SIMCL_STATE");
        QString error;
        if (!stateFile.isEmpty() && !SimulatedCameraState::read(stateFile, &state, &error))
            qCWarning(simcl).noquote()
                << "Simulated Camera Link cameras start without values:" << error;
        for (const QString &name : list) {
            if (name.trimmed().isEmpty())
                continue; // a camera without a name would answer "VirtualDevice-"
            ports.push_back(std::make_unique<Port>(name.trimmed()));
            SimulatedCameraState::apply(state, ports.back()->camera);
        }
        bool ok = false;
        const int broken = qEnvironmentVariableIntValue("MARNIFEX_SIMCL_BROKEN_INFO", &ok);
        brokenInfo = ok ? broken : -1;
    }

    Port *port(uint32_t index) { return index < ports.size() ? ports[index].get() : nullptr; }
    Port *open(void *handle)
    {
        for (const auto &port : ports) {
            if (port.get() == handle && port->open)
                return port.get();
        }
        return nullptr;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Port>> ports;
    int brokenInfo = -1;
};

Library &library()
{
    static Library instance;
    return instance;
}

// Moves the bytes whose time has come into the port's input.
void arrive(Port &port)
{
    const Clock::time_point now = Clock::now();
    for (auto it = port.inFlight.begin(); it != port.inFlight.end();) {
        if (it->due <= now) {
            port.input.append(it->bytes);
            it = port.inFlight.erase(it);
        } else {
            ++it;
        }
    }
}

void throwIfAsked(Port &port)
{
    if (port.throwNext) {
        port.throwNext = false;
        throw std::runtime_error("simulated library failure");
    }
}

bool copyText(const QByteArray &text, char *buffer, uint32_t *bytes)
{
    const uint32_t needed = static_cast<uint32_t>(text.size()) + 1;
    const bool fits = *bytes >= needed;
    if (fits)
        std::memcpy(buffer, text.constData(), needed);
    *bytes = needed;
    return fits;
}

using Lock = std::unique_lock<std::mutex>;

// The library locked for one call, and the port of an index (null when there is none).
struct IndexedPort
{
    explicit IndexedPort(uint32_t index)
        : lock(library().mutex)
        , port(library().port(index))
    { }
    Lock lock;
    Port *const port;
};

// A call on an open port, with the library locked: an unknown or closed handle is refused, and
// a failure asked for is thrown, before use runs.
template<typename Use> int32_t onOpenPort(void *handle, Use &&use)
{
    Library &lib = library();
    Lock lock(lib.mutex);
    Port *port = lib.open(handle);
    if (!port)
        return ErrorInvalidHandle;
    throwIfAsked(*port);
    return use(lib, *port, lock);
}
} // namespace

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clGetNumPorts(uint32_t *count)
{
    Library &lib = library();
    std::lock_guard<std::mutex> lock(lib.mutex);
    *count = static_cast<uint32_t>(lib.ports.size());
    return Ok;
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clGetPortInfo(uint32_t index, char *manufacturer,
    uint32_t *manufacturerBytes, char *portId, uint32_t *portIdBytes, uint32_t *version)
{
    IndexedPort at(index);
    if (!at.port || library().brokenInfo == static_cast<int>(index))
        return ErrorNoSuchPort;
    const QByteArray id = "port" + QByteArray::number(index);
    if (!copyText(Manufacturer, manufacturer, manufacturerBytes)
        || !copyText(id, portId, portIdBytes))
        return ErrorBufferTooSmall;
    *version = 1;
    return Ok;
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clSerialInit(uint32_t index, void **handle)
{
    IndexedPort at(index);
    if (!at.port)
        return ErrorNoSuchPort;
    throwIfAsked(*at.port);
    if (at.port->unplugged)
        return ErrorPortLost;
    if (at.port->open)
        return ErrorPortInUse;
    at.port->reset(true);
    *handle = at.port;
    return Ok;
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clSetBaudRate(void *handle, uint32_t)
{
    return onOpenPort(handle, [](Library &, Port &, Lock &) { return Ok; });
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clSerialWrite(
    void *handle, char *bytes, uint32_t *count, uint32_t)
{
    return onOpenPort(handle, [&](Library &lib, Port &port, Lock &) {
        const Clock::time_point now = Clock::now();
        const QList<SimulatedCamera::Chunk> chunks
            = port.camera.receive(QByteArray(bytes, static_cast<int>(*count)));
        for (const SimulatedCamera::Chunk &chunk : chunks)
            port.inFlight.push_back(
                { now + std::chrono::milliseconds(chunk.delayMs), chunk.bytes });
        lib.changed.notify_all();
        return Ok;
    });
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clSerialRead(
    void *handle, char *bytes, uint32_t *count, uint32_t timeoutMs)
{
    return onOpenPort(handle, [&](Library &lib, Port &port, Lock &lock) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const int wanted = static_cast<int>(*count);
        for (;;) {
            if (!lib.open(handle))
                return ErrorPortLost;
            arrive(port);
            if (port.input.size() >= wanted) {
                std::memcpy(bytes, port.input.constData(), static_cast<size_t>(wanted));
                port.input.remove(0, wanted);
                return Ok;
            }
            if (Clock::now() >= deadline) {
                *count = 0;
                return ErrorTimeout;
            }
            Clock::time_point wakeUp = deadline;
            for (const Arrival &arrival : port.inFlight)
                wakeUp = std::min(wakeUp, arrival.due);
            lib.changed.wait_until(lock, wakeUp);
        }
    });
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clGetNumBytesAvail(void *handle, uint32_t *count)
{
    return onOpenPort(handle, [count](Library &, Port &port, Lock &) {
        arrive(port);
        *count = static_cast<uint32_t>(port.input.size());
        return Ok;
    });
}

SIMCL_EXPORT int32_t MFX_CLSERIAL_CALL clFlushPort(void *handle)
{
    return onOpenPort(handle, [](Library &, Port &port, Lock &) {
        // Only what has arrived is discarded; bytes still on the line come later.
        arrive(port);
        port.input.clear();
        return Ok;
    });
}

SIMCL_EXPORT void MFX_CLSERIAL_CALL clSerialClose(void *handle)
{
    Library &lib = library();
    std::lock_guard<std::mutex> lock(lib.mutex);
    if (Port *port = lib.open(handle)) {
        port->reset(false);
        lib.changed.notify_all();
    }
}

SIMCL_EXPORT SimulatedCamera *mfxSimClCamera(uint32_t index)
{
    IndexedPort at(index);
    return at.port ? &at.port->camera : nullptr;
}

SIMCL_EXPORT int mfxSimClPendingAnswers(uint32_t index)
{
    IndexedPort at(index);
    if (!at.port)
        return 0;
    arrive(*at.port);
    return static_cast<int>(at.port->inFlight.size());
}

SIMCL_EXPORT void mfxSimClSetUnplugged(uint32_t index, bool unplugged)
{
    IndexedPort at(index);
    if (!at.port)
        return;
    at.port->unplugged = unplugged;
    if (unplugged)
        at.port->reset(false); // handles held by a reader are dead now
    library().changed.notify_all();
}

SIMCL_EXPORT void mfxSimClThrowOnNextCall(uint32_t index)
{
    IndexedPort at(index);
    if (at.port)
        at.port->throwNext = true;
}
