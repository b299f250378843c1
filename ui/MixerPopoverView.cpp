#include "ui/MixerPopoverView.h"

#include <algorithm>

#include "state/AppStateController.h"

namespace tonvale {

namespace {

using appkit::Color;

bool isBluetooth(const AudioDeviceInfo& device) {
    return device.transportType == kAudioDeviceTransportTypeBluetooth ||
           device.transportType == kAudioDeviceTransportTypeBluetoothLE;
}

std::optional<Label> bannerOf(const AppStateController& model) {
    if (model.lastError()) {
        return Label{*model.lastError(), "exclamationmark.triangle.fill", Color::systemRed};
    }
    if (model.noticeMessage()) {
        return Label{*model.noticeMessage(), "checkmark.circle", Color::secondaryLabelColor};
    }
    return std::nullopt;
}

}  // namespace

MixerPopoverView::MixerPopoverView(const AppStateController& model)
    : outputName_(model.defaultOutputName()), selectedInput_(model.defaultInputID()), banner_(bannerOf(model)) {
    const std::vector<AudioDeviceInfo> outputDevices = model.outputDevices();
    for (AppRowState& row : model.rows()) {
        isRoutingBadgeShown_ =
            isRoutingBadgeShown_ || (row.routeStatus && row.routeStatus->phase == RouteLifecyclePhase::active);
        rows_.emplace_back(std::move(row), outputDevices);
    }
    for (const AudioDeviceInfo& device : model.inputDevices()) {
        inputChoices_.push_back({device.name, device.objectID});
        isBluetoothInput_ = isBluetoothInput_ || (device.objectID == selectedInput_ && isBluetooth(device));
    }
}

Label MixerPopoverView::routingBadge() { return {"Routing", "checkmark.circle.fill", Color::systemGreen}; }

Label MixerPopoverView::supportButton() {
    return {"Support Us", "heart.fill", Color::systemPink, "Support Tonvale on Ko-fi"};
}

Label MixerPopoverView::outputTitle() { return {"Output", "hifispeaker", Color::secondaryLabelColor}; }

Label MixerPopoverView::inputTitle() { return {"Input", "mic", Color::secondaryLabelColor}; }

std::optional<Label> MixerPopoverView::bluetoothWarning() const {
    if (!isBluetoothInput_) {
        return std::nullopt;
    }
    return Label{"A Bluetooth microphone can reduce that device's output quality.", "exclamationmark.triangle",
                 Color::systemOrange};
}

void MixerPopoverView::selectInput(AppStateController& model, AudioObjectID deviceID) {
    model.selectDefaultInput(deviceID);
}

void MixerPopoverView::closeBanner(AppStateController& model) {
    model.setLastError(std::nullopt);
    model.setNoticeMessage(std::nullopt);
}

void MixerPopoverView::openSupportPage(AppStateController& model, const ProductLinks& links) {
    model.openURL(links.supportURL);
}

}  // namespace tonvale
