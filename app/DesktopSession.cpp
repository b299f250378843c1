#include "app/DesktopSession.h"

#include <QApplication>

#include <cstdlib>
#include <vector>

#include "app/PopoverPicture.h"
#include "platform/appkit/Pasteboard.h"
#include "platform/appkit/Workspace.h"
#include "platform/appkit/qt/DesktopClipboardStore.h"
#include "platform/appkit/qt/DesktopURLOpener.h"
#include "platform/appkit/qt/QtEventLoop.h"
#include "platform/foundation/ProcessInfo.h"

namespace tonvale {

namespace {

constexpr const char* kQtPlatformVariable = "QT_QPA_PLATFORM";
constexpr const char* kOffscreenPlatform = "offscreen";

bool isSet(const EnvironmentLookup& environment, const char* name) {
    const auto value = environment ? environment(name) : std::nullopt;
    return value && !value->empty();
}

class QtDesktopSession final : public DesktopSession {
public:
    QtDesktopSession(appkit::Application& application, const std::optional<std::string>& qtPlatform)
        : application_(application), arguments_(foundation::ProcessInfo::processInfo().arguments()) {
        if (qtPlatform) {
            ::setenv(kQtPlatformVariable, qtPlatform->c_str(), 1);
        }
        for (std::string& argument : arguments_) {
            argv_.push_back(argument.data());
        }
        argv_.push_back(nullptr);
        argc_ = static_cast<int>(arguments_.size());
        qtApplication_ = std::make_unique<QApplication>(argc_, argv_.data());
        QApplication::setApplicationDisplayName(QStringLiteral("Tonvale"));
        eventLoop_ = std::make_unique<appkit::QtEventLoop>();
        application_.setEventLoop(eventLoop_.get());
        appkit::Pasteboard::generalPasteboard().setStore(std::make_shared<appkit::DesktopClipboardStore>());
        appkit::Workspace::sharedWorkspace().setURLOpener(std::make_shared<appkit::DesktopURLOpener>());
    }

    ~QtDesktopSession() override {
        appkit::Workspace::sharedWorkspace().setURLOpener(nullptr);
        appkit::Pasteboard::generalPasteboard().setStore(nullptr);
        application_.setEventLoop(nullptr);
        eventLoop_.reset();
        qtApplication_.reset();
    }

private:
    appkit::Application& application_;
    std::vector<std::string> arguments_;
    std::vector<char*> argv_;
    int argc_ = 0;
    std::unique_ptr<QApplication> qtApplication_;
    std::unique_ptr<appkit::QtEventLoop> eventLoop_;
};

}  // namespace

bool needsDesktopSession(LaunchMode mode) {
    return mode == LaunchMode::interactive || mode == LaunchMode::idleBenchmark;
}

DesktopPlatform chooseDesktopPlatform(LaunchMode mode, const EnvironmentLookup& environment) {
    if (mode == LaunchMode::interactive && isSet(environment, kPopoverPictureEnvironmentKey)) {
        return {kOffscreenPlatform, true};
    }
    if (isSet(environment, kQtPlatformVariable) || isSet(environment, "DISPLAY") ||
        isSet(environment, "WAYLAND_DISPLAY")) {
        return {std::nullopt, true};
    }
    if (mode == LaunchMode::idleBenchmark) {
        return {kOffscreenPlatform, true};
    }
    return {std::nullopt, false};
}

std::unique_ptr<DesktopSession> makeQtDesktopSession(appkit::Application& application, LaunchMode mode,
                                                     const EnvironmentLookup& environment, ConsoleOutput& console) {
    const DesktopPlatform platform = chooseDesktopPlatform(mode, environment);
    if (!platform.hasDisplay) {
        console.error.write(
            "Tonvale needs a desktop: no display is available (DISPLAY and WAYLAND_DISPLAY are unset)\n");
        console.error.flush();
        return nullptr;
    }
    return std::make_unique<QtDesktopSession>(application, platform.qtPlatform);
}

}  // namespace tonvale
