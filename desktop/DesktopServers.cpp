#include "desktop/DesktopServers.h"

#include "desktop/DesktopWorkspace.h"
#include "desktop/PipeWireServer.h"
#include "desktop/ProcessIdentity.h"

#include <cstdlib>
#include <memory>
#include <variant>

namespace desktop {

namespace {

// How long the server may take to show its graph: generous, since it answers in
// milliseconds even on a loaded machine.
constexpr double kConnectTimeoutSeconds = 5.0;

struct Shared {
    std::shared_ptr<PipeWireServer> audio;
    std::shared_ptr<DesktopWorkspace> workspace;
};

Shared& shared() {
    static Shared servers;
    return servers;
}

}  // namespace

std::optional<std::string> DesktopServers::startShared() {
    auto identity = std::make_shared<ProcessIdentity>(DesktopEntries(DesktopEntries::standardDataFolders()));
    PipeWireServer::Connection connection = PipeWireServer::connect(identity, kConnectTimeoutSeconds);
    if (auto* error = std::get_if<std::string>(&connection)) {
        return *error;
    }
    shared().audio = std::get<std::shared_ptr<PipeWireServer>>(std::move(connection));
    shared().workspace = std::make_shared<DesktopWorkspace>(identity);
    appkit::WorkspaceInstallService(shared().workspace);
    static const bool isRegistered = [] {
        std::atexit(&DesktopServers::stopShared);
        return true;
    }();
    (void)isRegistered;
    return std::nullopt;
}

void DesktopServers::stopShared() {
    Shared servers = std::move(shared());
    servers.audio.reset();
    servers.workspace.reset();
}

}  // namespace desktop
