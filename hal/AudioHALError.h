// The one error of the audio hardware layer: a failed Core Audio call, a call that gave
// no usable value, or a request that cannot be served. Its description is what the user
// sees in a route status, the diagnostics report and on the command line.
// Thread-safety: a value; copies may move freely between threads.
#pragma once

#include <cstdint>
#include <string>

namespace tonvale {

class AudioHALError {
public:
    enum class Kind {
        osStatus,          // a hardware-layer call returned a non-zero status
        missingValue,      // a call succeeded but delivered no usable value
        invalidSelection,  // a request that cannot be served, whatever the status
    };

    [[nodiscard]] static AudioHALError osStatus(std::string operation, std::int32_t status);
    [[nodiscard]] static AudioHALError missingValue(std::string operation);
    [[nodiscard]] static AudioHALError invalidSelection(std::string message);

    [[nodiscard]] Kind kind() const { return kind_; }
    // The operation text of osStatus and missingValue; the whole message of invalidSelection.
    [[nodiscard]] const std::string& text() const { return text_; }
    // The status of osStatus; 0 for the other kinds.
    [[nodiscard]] std::int32_t status() const { return status_; }

    // "<operation> failed: <code> (<status>)", "<operation> returned no value", or the message.
    [[nodiscard]] std::string description() const;

    bool operator==(const AudioHALError&) const = default;

private:
    AudioHALError(Kind kind, std::string text, std::int32_t status);

    Kind kind_;
    std::string text_;
    std::int32_t status_;
};

}  // namespace tonvale
