#include "ui/ProductLinks.h"

#include "platform/foundation/Bundle.h"

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

}  // namespace tonvale
