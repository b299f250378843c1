// Why a route could not be started: an audio-layer error (tap, destination, aggregate,
// stream wait) or the renderer's refusal, and the answer a route start gives. Made on a
// route controller's control queue and handed to the main queue.
// Thread-safety: values; copies may move freely between threads.
#pragma once

#include <optional>
#include <string>
#include <variant>

#include "engine/AudioRouteRendererError.h"
#include "hal/AudioHALError.h"

namespace tonvale {

class RouteError {
public:
    RouteError(AudioHALError error) : error_(std::move(error)) {}            // NOLINT: implicit by design
    RouteError(AudioRouteRendererError error) : error_(std::move(error)) {}  // NOLINT: implicit by design

    // What the user sees in the route status and on the command line.
    [[nodiscard]] std::string description() const;

    [[nodiscard]] const AudioHALError* halError() const { return std::get_if<AudioHALError>(&error_); }

    bool operator==(const RouteError&) const = default;

private:
    std::variant<AudioHALError, AudioRouteRendererError> error_;
};

// Success, or the error that stopped the start after the partial route was torn down.
class [[nodiscard]] RouteStartResult {
public:
    [[nodiscard]] static RouteStartResult success() { return RouteStartResult(std::nullopt); }
    [[nodiscard]] static RouteStartResult failure(RouteError error) { return RouteStartResult(std::move(error)); }

    [[nodiscard]] bool isSuccess() const { return !error_.has_value(); }
    // Only for a failure.
    [[nodiscard]] const RouteError& error() const { return *error_; }

    bool operator==(const RouteStartResult&) const = default;

private:
    explicit RouteStartResult(std::optional<RouteError> error) : error_(std::move(error)) {}

    std::optional<RouteError> error_;
};

}  // namespace tonvale
