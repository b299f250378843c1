// Why a route renderer refused to start: an error of the renderer's own domain with a
// code and the message the user sees. Made on the route controller's control queue.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <string>

namespace tonvale {

inline constexpr const char* kAudioRouteRendererErrorDomain = "com.zelkor.tonvale.AudioRouteRenderer";

struct AudioRouteRendererError {
    // Shape and format refusals use these codes; a failed IO call uses its status as code.
    static constexpr std::int64_t kStreamLayoutCode = 1;
    static constexpr std::int64_t kSampleFormatCode = 2;
    static constexpr std::int64_t kChannelLayoutCode = 3;

    std::string domain = kAudioRouteRendererErrorDomain;
    std::int64_t code = 0;
    std::string localizedDescription;

    bool operator==(const AudioRouteRendererError&) const = default;
};

}  // namespace tonvale
