// What the desktop's audio server shows of itself, as its registry and metadata tell it:
// nodes (devices and application streams) with their state, clients (the processes
// behind the streams), the links between nodes, the hardware devices behind nodes, the
// default sink and source, and the target each stream was given. Plain records, kept by PipeWireConnection on its loop
// thread and read by GraphModel.
// Thread-safety: a value.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

namespace desktop {

using Properties = std::map<std::string, std::string, std::less<>>;

// The value of key in properties, or empty when it is absent.
[[nodiscard]] std::string propertyOf(const Properties& properties, std::string_view key);

struct GraphNode {
    std::uint32_t id = 0;
    std::uint64_t serial = 0;
    Properties properties;
    // The server's state name: "creating", "suspended", "idle", "running" or "error".
    std::string state;
    std::uint32_t inputPorts = 0;
    std::uint32_t outputPorts = 0;
    bool operator==(const GraphNode&) const = default;
};

struct GraphClient {
    std::uint32_t id = 0;
    std::uint64_t serial = 0;
    Properties properties;
    bool operator==(const GraphClient&) const = default;
};

struct GraphLink {
    std::uint32_t outputNode = 0;
    std::uint32_t inputNode = 0;
    bool operator==(const GraphLink&) const = default;
};

struct PipeWireGraph {
    // By the server's object id.
    std::map<std::uint32_t, GraphNode> nodes;
    std::map<std::uint32_t, GraphClient> clients;
    std::map<std::uint32_t, GraphLink> links;
    std::map<std::uint32_t, Properties> devices;
    // node.name of the sink and source in use ("default" metadata).
    std::string defaultSinkName;
    std::string defaultSourceName;
    // The "default" metadata's target.object of a node (a node's name or serial), by node id.
    std::map<std::uint32_t, std::string> streamTargets;
    // The graph's clock rate, for nodes that name none of their own.
    double clockRate = 48000.0;
    bool operator==(const PipeWireGraph&) const = default;
};

}  // namespace desktop
