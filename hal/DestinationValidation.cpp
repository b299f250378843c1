#include "hal/DestinationValidation.h"

#include <algorithm>
#include <cmath>

#include "hal/AudioDeviceCatalogue.h"
#include "hal/AudioPropertyReaders.h"
#include "hal/PropertyListValues.h"

namespace tonvale {

namespace {

ValidatedDestination plainLayout(const std::string& uid) {
    return ValidatedDestination{{RouteSubdeviceConfiguration{uid}}, uid, std::nullopt, std::nullopt};
}

bool isDictionary(const void* value) { return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID(); }

// The composition's sub-device list when it is a list of maps; nullptr otherwise.
CFArrayRef subdeviceList(CFDictionaryRef composition) {
    if (composition == nullptr || CFGetTypeID(composition) != CFDictionaryGetTypeID() ||
        CFDictionaryGetCount(composition) == 0) {
        return nullptr;
    }
    const CFTypeRef list = CFDictionaryGetValueForUTF8Key(composition, kAudioAggregateDeviceSubDeviceListKey);
    if (list == nullptr || CFGetTypeID(list) != CFArrayGetTypeID()) {
        return nullptr;
    }
    const auto array = static_cast<CFArrayRef>(list);
    for (CFIndex index = 0; index < CFArrayGetCount(array); ++index) {
        if (!isDictionary(CFArrayGetValueAtIndex(array, index))) {
            return nullptr;
        }
    }
    return array;
}

}  // namespace

HALResult<ValidatedDestination> validateDestination(const std::string& uid) {
    HALResult<std::vector<AudioDeviceInfo>> devices = enumerateDevices();
    if (!devices) {
        return devices.error();
    }
    const auto found = std::find_if(devices.value().begin(), devices.value().end(),
                                    [&uid](const AudioDeviceInfo& device) { return device.uid == uid; });
    if (found == devices.value().end()) {
        return AudioHALError::invalidSelection("The selected output is no longer available.");
    }
    if (!found->isAlive || !found->hasOutput || found->transportType == kAudioDeviceTransportTypeAirPlay) {
        return AudioHALError::invalidSelection("The selected destination is not an available output.");
    }
    if (found->transportType != kAudioDeviceTransportTypeAggregate) {
        return plainLayout(uid);
    }
    HALResult<CFReference<CFDictionaryRef>> composition =
        readDictionary(found->objectID, kAudioAggregateDevicePropertyComposition);
    if (!composition) {
        return composition.error();
    }
    return readAggregateComposition(uid, kAudioDeviceTransportTypeAggregate, composition.value().get());
}

HALResult<ValidatedDestination> readAggregateComposition(const std::string& uid, UInt32 transportType,
                                                         CFDictionaryRef composition) {
    if (transportType != kAudioDeviceTransportTypeAggregate) {
        return plainLayout(uid);
    }
    const CFArrayRef list = subdeviceList(composition);
    if (list == nullptr) {
        return AudioHALError::missingValue("Read selected aggregate output composition");
    }
    ValidatedDestination destination;
    for (CFIndex index = 0; index < CFArrayGetCount(list); ++index) {
        if (std::optional<RouteSubdeviceConfiguration> configuration =
                parseSubdevice(static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(list, index)))) {
            destination.subdevices.push_back(std::move(*configuration));
        }
    }
    if (destination.subdevices.empty()) {
        return AudioHALError::invalidSelection("The selected aggregate device has no configured output subdevices.");
    }
    const std::optional<std::string> mainUID =
        propertyListText(CFDictionaryGetValueForUTF8Key(composition, kAudioAggregateDeviceMainSubDeviceKey));
    const bool isMainKept = mainUID && std::any_of(destination.subdevices.begin(), destination.subdevices.end(),
                                                   [&mainUID](const RouteSubdeviceConfiguration& subdevice) {
                                                       return subdevice.uid == *mainUID;
                                                   });
    destination.mainSubdeviceUID = isMainKept ? *mainUID : destination.subdevices.front().uid;
    destination.clockDeviceUID =
        propertyListText(CFDictionaryGetValueForUTF8Key(composition, kAudioAggregateDeviceClockDeviceKey));
    const std::optional<double> stacked =
        propertyListReal(CFDictionaryGetValueForUTF8Key(composition, kAudioAggregateDeviceIsStackedKey));
    if (stacked && !std::isnan(*stacked)) {
        destination.isStacked = *stacked != 0;
    }
    return destination;
}

}  // namespace tonvale
