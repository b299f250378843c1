#include "ui/ProductLinks.h"

#include "platform/appkit/Workspace.h"
#include "platform/foundation/Bundle.h"
#include "state/AppStateController.h"

namespace tonvale {

ProductLinks ProductLinks::standard() {
    const auto bundle = foundation::Bundle::main();
    const std::string pages = bundle ? bundle->bundleURL() + "Contents/Resources/" : std::string(kWebsiteURL);
    return {pages + kHelpPage, pages + kPrivacyPage, kWebsiteURL, kSupportURL};
}

std::string ProductLinks::websiteHost() const {
    const std::size_t schemeEnd = websiteURL.find("://");
    const std::size_t hostStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    return websiteURL.substr(hostStart, websiteURL.find('/', hostStart) - hostStart);
}

void ProductLinks::open(AppStateController& model, const std::string& url) {
    if (!appkit::Workspace::sharedWorkspace().openURL(url)) {
        model.setLastError(kNotOpenedPrefix + url);
    }
}

}  // namespace tonvale
