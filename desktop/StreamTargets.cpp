#include "desktop/StreamTargets.h"

#include "desktop/CaptureNode.h"

#include <pipewire/extensions/metadata.h>

#include <algorithm>
#include <charconv>

namespace desktop {

namespace {

constexpr const char* kTargetKey = "target.object";

bool isNodeNamed(const PipeWireGraph& graph, const std::string& name) {
    return std::any_of(graph.nodes.begin(), graph.nodes.end(),
                       [&name](const auto& entry) { return propertyOf(entry.second.properties, "node.name") == name; });
}

bool isCaptureName(const std::string& value) { return value.starts_with(kCaptureNamePrefix); }

// Writes (or, without a value, removes) the target of a stream; a serial is an id, a name text.
void write(const PipeWireConnection::Session& session, std::uint32_t stream, const std::optional<std::string>& value) {
    if (session.metadata == nullptr) {
        return;
    }
    if (!value) {
        pw_metadata_set_property(session.metadata, stream, kTargetKey, nullptr, nullptr);
        return;
    }
    std::uint64_t serial = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), serial);
    const bool isSerial = error == std::errc() && end == value->data() + value->size();
    pw_metadata_set_property(session.metadata, stream, kTargetKey, isSerial ? "Spa:Id" : "Spa:String", value->c_str());
}

}  // namespace

void StreamTargets::take(const PipeWireConnection::Session& session, std::uint32_t stream, const std::string& capture) {
    const auto current = session.graph.streamTargets.find(stream);
    std::optional<std::string> previous;
    if (current != session.graph.streamTargets.end()) {
        previous = current->second;
    }
    taken_[stream] = Taken{capture, std::move(previous), false};
    write(session, stream, capture);
}

void StreamTargets::giveBack(const PipeWireConnection::Session& session, std::uint32_t stream) {
    const auto found = taken_.find(stream);
    if (found == taken_.end()) {
        return;
    }
    const Taken taken = std::move(found->second);
    taken_.erase(found);
    const auto current = session.graph.streamTargets.find(stream);
    const bool isOurs = current != session.graph.streamTargets.end() && current->second == taken.capture;
    if (taken.isConfirmed && !isOurs) {
        return;
    }
    // The stream goes back to its own output, not to another capture it was in before.
    const bool wasCaptured = taken.previous && isCaptureName(*taken.previous);
    write(session, stream, wasCaptured ? std::nullopt : taken.previous);
}

std::vector<std::uint32_t> StreamTargets::takenInto(const std::string& capture) const {
    std::vector<std::uint32_t> streams;
    for (const auto& [stream, taken] : taken_) {
        if (taken.capture == capture) {
            streams.push_back(stream);
        }
    }
    return streams;
}

std::vector<std::string> StreamTargets::forgetMovedAway(const PipeWireGraph& graph) {
    std::vector<std::string> losers;
    for (auto entry = taken_.begin(); entry != taken_.end();) {
        auto& [stream, taken] = *entry;
        const auto current = graph.streamTargets.find(stream);
        const bool isOurs = current != graph.streamTargets.end() && current->second == taken.capture;
        taken.isConfirmed = taken.isConfirmed || isOurs;
        const bool isGone = !graph.nodes.contains(stream);
        if (isGone || (taken.isConfirmed && !isOurs)) {
            if (!isGone) {
                losers.push_back(taken.capture);
            }
            entry = taken_.erase(entry);
            continue;
        }
        ++entry;
    }
    return losers;
}

void StreamTargets::removeStale(const PipeWireConnection::Session& session) {
    for (const auto& [stream, target] : session.graph.streamTargets) {
        if (isCaptureName(target) && !isNodeNamed(session.graph, target)) {
            write(session, stream, std::nullopt);
        }
    }
}

}  // namespace desktop
