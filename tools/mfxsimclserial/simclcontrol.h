#ifndef SIMCLCONTROL_H
#define SIMCLCONTROL_H

#include <cstdint>

class SimulatedCamera;

/// Extra functions of the simulated Camera Link serial library, beside the library's standard
/// ones, for whoever loads it to script its ports. Resolve them by these names.
namespace SimClControl {
/// SimulatedCamera *mfxSimClCamera(uint32_t port): the camera behind a port (null if none).
using Camera = SimulatedCamera *(*)(uint32_t port);
/// int mfxSimClPendingAnswers(uint32_t port): answers scheduled for later, not yet arrived.
using PendingAnswers = int (*)(uint32_t port);
/// void mfxSimClSetUnplugged(uint32_t port, bool unplugged): the grabber loses the port
/// (opening fails, open handles report errors) or gets it back.
using SetUnplugged = void (*)(uint32_t port, bool unplugged);
/// void mfxSimClThrowOnNextCall(uint32_t port): the next call that opens or uses the
/// port throws.
using ThrowOnNextCall = void (*)(uint32_t port);
} // namespace SimClControl

#endif // SIMCLCONTROL_H
