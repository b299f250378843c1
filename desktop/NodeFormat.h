// The sample format of the routes' streams on the desktop's audio server: interleaved
// Float32 at a rate with a number of channels; how it is offered to the server and read
// back from what the server settled on.
// Thread-safety: plain functions of their arguments.
#pragma once

#include <cstdint>
#include <optional>

struct spa_pod;
struct spa_pod_builder;

namespace desktop {

struct NodeFormat {
    std::uint32_t channels = 2;
    std::uint32_t rate = 48000;
    bool operator==(const NodeFormat&) const = default;
};

// The EnumFormat parameter that offers format, built with builder.
[[nodiscard]] const spa_pod* offeredFormat(spa_pod_builder& builder, const NodeFormat& format);
// The format a Format parameter settled on; none unless it is interleaved Float32 audio.
[[nodiscard]] std::optional<NodeFormat> settledFormat(const spa_pod* parameter);

}  // namespace desktop
