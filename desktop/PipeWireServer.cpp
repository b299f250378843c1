#include "desktop/PipeWireServer.h"

#include "audioserver/DefaultDeviceWrite.h"
#include "audioserver/PropertyAccess.h"
#include "desktop/GraphModel.h"
#include "desktop/PipeWireConnection.h"
#include "desktop/ProcessIdentity.h"

#include <utility>

namespace desktop {

PipeWireServer::PipeWireServer(std::shared_ptr<ProcessIdentity> identity)
    : identity_(std::move(identity)),
      model_(std::make_shared<GraphModel>([identity = identity_](std::int32_t pid, const Properties& client) {
          return identity ? identity->identify(pid, client).identifier : std::string();
      })),
      properties_(std::make_unique<audioserver::PropertyAccess>(model_)) {}

PipeWireServer::Connection PipeWireServer::connect(std::shared_ptr<ProcessIdentity> identity, double timeoutSeconds) {
    std::shared_ptr<PipeWireServer> server(new PipeWireServer(std::move(identity)));
    // The connection's callbacks reach the model only, which outlives the connection.
    const std::weak_ptr<GraphModel> model = server->model_;
    server->connection_ =
        std::make_unique<PipeWireConnection>(PipeWireConnection::Callbacks{[model](const PipeWireGraph& graph) {
                                                                               if (const auto alive = model.lock()) {
                                                                                   alive->update(graph);
                                                                               }
                                                                           },
                                                                           [model] {
                                                                               if (const auto alive = model.lock()) {
                                                                                   alive->lose();
                                                                               }
                                                                           }});
    if (std::optional<std::string> error = server->connection_->start(timeoutSeconds)) {
        return std::move(*error);
    }
    AudioHardwareInstallService(server);
    return server;
}

PipeWireServer::~PipeWireServer() {
    connection_.reset();
    std::lock_guard lock(model_->mutex);
    model_->listeners.silenceAll();
}

Boolean PipeWireServer::hasProperty(AudioObjectID object, const AudioObjectPropertyAddress& address) {
    return properties_->has(object, address);
}

OSStatus PipeWireServer::getPropertyDataSize(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                             UInt32& outDataSize) {
    return properties_->size(object, address, outDataSize);
}

OSStatus PipeWireServer::getPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         UInt32& ioDataSize, void* outData) {
    return properties_->get(object, address, ioDataSize, outData);
}

OSStatus PipeWireServer::setPropertyData(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                         UInt32 dataSize, const void* data) {
    audioserver::DefaultDeviceWrite write;
    {
        std::lock_guard lock(model_->mutex);
        write = audioserver::DefaultDeviceWrite::check(*model_, object, address, dataSize, data);
    }
    if (write.status != kAudioHardwareNoError) {
        return write.status;
    }
    // The system output is the user's to choose; only the default input is written.
    if (write.isOutput) {
        return kAudioHardwareIllegalOperationError;
    }
    return connection_->setConfiguredDefaultSource(write.uid) ? kAudioHardwareNoError : kAudioHardwareNotRunningError;
}

OSStatus PipeWireServer::addPropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                  dispatch::QueuePtr queue, AudioObjectPropertyListenerBlock listener) {
    return properties_->addListener(object, address, std::move(queue), std::move(listener));
}

OSStatus PipeWireServer::removePropertyListenerBlock(AudioObjectID object, const AudioObjectPropertyAddress& address,
                                                     dispatch::QueuePtr,
                                                     const AudioObjectPropertyListenerBlock& listener) {
    return properties_->removeListener(object, address, listener);
}

OSStatus PipeWireServer::createProcessTap(const CATapDescription&, AudioObjectID&) {
    return kAudioHardwareUnsupportedOperationError;
}

OSStatus PipeWireServer::destroyProcessTap(AudioObjectID) { return kAudioHardwareBadObjectError; }

OSStatus PipeWireServer::createAggregateDevice(CFDictionaryRef, AudioObjectID&) {
    return kAudioHardwareUnsupportedOperationError;
}

OSStatus PipeWireServer::destroyAggregateDevice(AudioObjectID) { return kAudioHardwareBadObjectError; }

OSStatus PipeWireServer::createIOProcID(AudioObjectID, AudioDeviceIOProc, void*, AudioDeviceIOProcID&) {
    return kAudioHardwareUnsupportedOperationError;
}

OSStatus PipeWireServer::destroyIOProcID(AudioObjectID, AudioDeviceIOProcID) { return kAudioHardwareBadObjectError; }

OSStatus PipeWireServer::startDevice(AudioObjectID, AudioDeviceIOProcID) {
    return kAudioHardwareUnsupportedOperationError;
}

OSStatus PipeWireServer::stopDevice(AudioObjectID, AudioDeviceIOProcID) { return kAudioHardwareBadObjectError; }

}  // namespace desktop
