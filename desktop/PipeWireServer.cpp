#include "desktop/PipeWireServer.h"

#include "audioserver/DefaultDeviceWrite.h"
#include "audioserver/PropertyAccess.h"
#include "desktop/GraphModel.h"
#include "desktop/PipeWireConnection.h"
#include "desktop/PipeWireRoutes.h"
#include "desktop/ProcessIdentity.h"

#include <utility>

namespace desktop {

PipeWireServer::PipeWireServer(std::shared_ptr<ProcessIdentity> identity)
    : identity_(std::move(identity)),
      model_(std::make_shared<GraphModel>([identity = identity_](std::int32_t pid, const Properties& client) {
          return identity ? identity->identify(pid, client).identifier : std::string();
      })),
      properties_(std::make_unique<audioserver::PropertyAccess>(model_)),
      routes_(std::make_shared<PipeWireRoutes>(model_)) {}

PipeWireServer::Connection PipeWireServer::connect(std::shared_ptr<ProcessIdentity> identity, double timeoutSeconds) {
    std::shared_ptr<PipeWireServer> server(new PipeWireServer(std::move(identity)));
    // The connection's callbacks reach the model and the routes only, which outlive it.
    const std::weak_ptr<GraphModel> model = server->model_;
    const std::weak_ptr<PipeWireRoutes> routes = server->routes_;
    PipeWireConnection::Callbacks callbacks{[model, routes](const PipeWireConnection::Session& session) {
                                                if (const auto alive = model.lock()) {
                                                    alive->update(session.graph);
                                                }
                                                if (const auto alive = routes.lock()) {
                                                    alive->graphChanged(session);
                                                }
                                            },
                                            [model, routes](const PipeWireConnection::Session& session) {
                                                if (const auto alive = routes.lock()) {
                                                    alive->lose(session);
                                                }
                                                if (const auto alive = model.lock()) {
                                                    alive->lose();
                                                }
                                            }};
    server->connection_ = std::make_unique<PipeWireConnection>(std::move(callbacks));
    server->routes_->setConnection(server->connection_.get());
    if (std::optional<std::string> error = server->connection_->start(timeoutSeconds)) {
        return std::move(*error);
    }
    AudioHardwareInstallService(server);
    return server;
}

PipeWireServer::~PipeWireServer() {
    // Whatever a route left is taken down while the server can still be told.
    routes_->releaseAll();
    connection_.reset();
    routes_->setConnection(nullptr);
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

OSStatus PipeWireServer::createProcessTap(const CATapDescription& description, AudioObjectID& outTapID) {
    return routes_->createTap(description, outTapID);
}

OSStatus PipeWireServer::destroyProcessTap(AudioObjectID tapID) { return routes_->destroyTap(tapID); }

OSStatus PipeWireServer::createAggregateDevice(CFDictionaryRef description, AudioObjectID& outDeviceID) {
    return routes_->createAggregate(description, outDeviceID);
}

OSStatus PipeWireServer::destroyAggregateDevice(AudioObjectID deviceID) { return routes_->destroyAggregate(deviceID); }

OSStatus PipeWireServer::createIOProcID(AudioObjectID device, AudioDeviceIOProc proc, void* clientData,
                                        AudioDeviceIOProcID& outProcID) {
    return routes_->createProcedure(device, proc, clientData, outProcID);
}

OSStatus PipeWireServer::destroyIOProcID(AudioObjectID device, AudioDeviceIOProcID procID) {
    return routes_->destroyProcedure(device, procID);
}

OSStatus PipeWireServer::startDevice(AudioObjectID device, AudioDeviceIOProcID procID) {
    return routes_->setStarted(device, procID, true);
}

OSStatus PipeWireServer::stopDevice(AudioObjectID device, AudioDeviceIOProcID procID) {
    return routes_->setStarted(device, procID, false);
}

}  // namespace desktop
