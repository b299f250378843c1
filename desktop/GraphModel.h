// The desktop's audio graph as the audio layer sees it: every Audio/Sink and Audio/Source
// node is a device (UID node.name, name node.description), every client with audio
// stream nodes an audio process (identified by ProcessIdentity), the "default" metadata
// the default devices. Each update compares the new view with the last and notifies what
// changed, with the same addresses the simulated server uses; identifiers come from the
// shared model and are never reused, since the server reuses its own object ids. The
// routes' own nodes are none of these: their process taps and private aggregate devices
// are kept here by PipeWireRoutes.
//
// Owned by PipeWireServer; updated on the connection's loop thread, read by any caller.
// Thread-safety: as audioserver::ObjectModel (update and lose take the mutex).
#pragma once

#include "audioserver/ObjectModel.h"
#include "desktop/PipeWireGraph.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace desktop {

// A node property that marks the nodes this program makes for its routes (any copy of it),
// with the route's UUID: they are neither devices nor streams of an audio process.
inline constexpr const char* kRouteNodeKey = "tonvale.route";

// The transport type a device node reports, from its own and its hardware device's
// properties. Network outputs report the kind the system never routes to (AirPlay).
[[nodiscard]] UInt32 transportTypeOf(const Properties& node, const Properties& device);

class GraphModel final : public audioserver::ObjectModel {
public:
    // The application identifier of the process with pid, given its client's properties.
    using IdentityLookup = std::function<std::string(std::int32_t pid, const Properties& client)>;

    explicit GraphModel(IdentityLookup identity) : identity_(std::move(identity)) {}

    // Takes the graph as it now is and notifies the changes.
    void update(const PipeWireGraph& graph);
    // The connection to the server was lost: every object goes, the service restarted, and
    // what comes back later gets new identifiers.
    void lose();

    std::vector<const audioserver::Device*> listedDevices() override;
    std::vector<const audioserver::Process*> listedProcesses() override;
    const audioserver::Device* findDevice(AudioObjectID id) override;
    const audioserver::Process* findProcess(AudioObjectID id) override;
    std::vector<AudioObjectID> processDevices(const audioserver::Process& process) override;
    std::vector<const audioserver::Tap*> listedTaps() override;

    // The server's ids of the output stream nodes of a process, in the last graph.
    [[nodiscard]] std::vector<std::uint32_t> outputStreamNodes(AudioObjectID process) const;
    // The name a process gives its application (else its application identifier).
    [[nodiscard]] std::string applicationName(AudioObjectID process) const;

    // The routes' process taps and private aggregate devices, kept by PipeWireRoutes
    // with the mutex held.
    std::vector<audioserver::Tap> taps;
    std::vector<audioserver::Device> aggregates;

private:
    struct Projection {
        std::vector<audioserver::Device> devices;
        std::vector<audioserver::Process> processes;
        std::map<AudioObjectID, std::vector<AudioObjectID>> processDevices;
        std::map<AudioObjectID, std::vector<std::uint32_t>> processStreams;
        std::map<AudioObjectID, std::string> processNames;
        std::string defaultOutputUID;
        std::string defaultInputUID;
    };

    [[nodiscard]] Projection project(const PipeWireGraph& graph);
    [[nodiscard]] AudioObjectID idFor(const std::string& key);
    // Queues the notifications that lead from the current objects to next, and takes it.
    void replaceWith(Projection next);

    IdentityLookup identity_;
    std::vector<audioserver::Device> devices_;
    std::vector<audioserver::Process> processes_;
    std::map<AudioObjectID, std::vector<AudioObjectID>> processDevices_;
    std::map<AudioObjectID, std::vector<std::uint32_t>> processStreams_;
    std::map<AudioObjectID, std::string> processNames_;
    // Identifiers by the server's object serial (and role), for the current connection.
    std::map<std::string, AudioObjectID> idsByKey_;
};

}  // namespace desktop
