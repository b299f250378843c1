#include "platform/coreaudio/CATapDescription.h"

#include "platform/foundation/UUID.h"

#include <utility>

CATapDescription::CATapDescription() : uuid(foundation::UUID::random().uuidString()) {}

CATapDescription CATapDescription::initStereoMixdownOfProcesses(std::vector<AudioObjectID> processes) {
    CATapDescription description;
    description.processes = std::move(processes);
    return description;
}

CATapDescription CATapDescription::initStereoGlobalTapButExcludeProcesses(std::vector<AudioObjectID> processes) {
    CATapDescription description;
    description.processes = std::move(processes);
    description.isExclusive = true;
    return description;
}
