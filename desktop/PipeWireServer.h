// The desktop's audio, seen through PipeWire: the audio hardware service that answers the
// audio layer's functions from the graph the server announces (GraphModel on a
// PipeWireConnection). Devices, defaults and audio processes are read and listened to as
// on the simulated server; the default input is written as the user's configured default
// source. Process taps, private aggregate devices and their IO procedures are the routes'
// own nodes on the server (PipeWireRoutes).
//
// Made by connect(), held in a std::shared_ptr and installed as the audio hardware
// service while it lives. Listener blocks run on their queues; the connection on its thread.
// Thread-safety: every public operation may be called from any thread.
#pragma once

#include "platform/coreaudio/AudioHardwareService.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace audioserver {
class PropertyAccess;
}

namespace desktop {

class GraphModel;
class PipeWireConnection;
class PipeWireRoutes;
class ProcessIdentity;

class PipeWireServer final : public AudioHardwareService {
public:
    // A connected server, installed; or why the PipeWire server could not be reached.
    using Connection = std::variant<std::shared_ptr<PipeWireServer>, std::string>;

    // Connects, waits at most timeoutSeconds for the server's first full view and installs
    // the service. Application identities are resolved by identity.
    [[nodiscard]] static Connection connect(std::shared_ptr<ProcessIdentity> identity, double timeoutSeconds);

    ~PipeWireServer() override;
    PipeWireServer(const PipeWireServer&) = delete;
    PipeWireServer& operator=(const PipeWireServer&) = delete;

    Boolean hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) override;
    OSStatus getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                 UInt32& outDataSize) override;
    OSStatus getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32& ioDataSize,
                             void* outData) override;
    OSStatus setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address, UInt32 dataSize,
                             const void* data) override;
    OSStatus addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                      dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) override;
    OSStatus removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         dispatch::QueuePtr queue,
                                         const AudioObjectPropertyListenerBlock& listener) override;
    OSStatus createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) override;
    OSStatus destroyProcessTap(AudioObjectID tapID) override;
    OSStatus createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) override;
    OSStatus destroyAggregateDevice(AudioObjectID deviceID) override;
    OSStatus createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                            AudioDeviceIOProcID& outProcID) override;
    OSStatus destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) override;
    OSStatus startDevice(AudioObjectID device, AudioDeviceIOProcID procID) override;
    OSStatus stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) override;

private:
    explicit PipeWireServer(std::shared_ptr<ProcessIdentity> identity);

    const std::shared_ptr<ProcessIdentity> identity_;
    const std::shared_ptr<GraphModel> model_;
    const std::unique_ptr<audioserver::PropertyAccess> properties_;
    const std::shared_ptr<PipeWireRoutes> routes_;
    std::unique_ptr<PipeWireConnection> connection_;
};

}  // namespace desktop
