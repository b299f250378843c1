#include "hal/AudioDeviceInfo.h"

#include "hal/FourCharCode.h"

namespace tonvale {

std::string AudioDeviceInfo::transportTypeName() const {
    switch (transportType) {
        case kAudioDeviceTransportTypeBuiltIn:
            return "Built-in";
        case kAudioDeviceTransportTypeUSB:
            return "USB";
        case kAudioDeviceTransportTypeBluetooth:
            return "Bluetooth";
        case kAudioDeviceTransportTypeBluetoothLE:
            return "Bluetooth LE";
        case kAudioDeviceTransportTypeHDMI:
            return "HDMI";
        case kAudioDeviceTransportTypeDisplayPort:
            return "DisplayPort";
        case kAudioDeviceTransportTypeAirPlay:
            return "AirPlay";
        case kAudioDeviceTransportTypeThunderbolt:
            return "Thunderbolt";
        case kAudioDeviceTransportTypeVirtual:
            return "Virtual";
        case kAudioDeviceTransportTypeAggregate:
            return "Aggregate";
        default:
            return fourCharCodeText(transportType);
    }
}

}  // namespace tonvale
