#include "model/OutputPreference.h"

namespace tonvale {
namespace {

constexpr std::string_view kSystemDefaultRawValue = "systemDefault";
constexpr std::string_view kDeviceRawValue = "device";

}  // namespace

OutputPreference::Kind OutputPreference::kind() const noexcept {
    return selectedDevice() == nullptr ? Kind::systemDefault : Kind::device;
}

std::string_view OutputPreference::rawValue(Kind kind) noexcept {
    switch (kind) {
        case Kind::systemDefault:
            return kSystemDefaultRawValue;
        case Kind::device:
            return kDeviceRawValue;
    }
    return kSystemDefaultRawValue;
}

std::optional<OutputPreference::Kind> OutputPreference::kindFromRawValue(std::string_view rawValue) noexcept {
    if (rawValue == kSystemDefaultRawValue) {
        return Kind::systemDefault;
    }
    if (rawValue == kDeviceRawValue) {
        return Kind::device;
    }
    return std::nullopt;
}

}  // namespace tonvale
