// The product's addresses, in one place: the website and the donation page on the web, and
// the help and privacy pages shipped in the bundle's resources, so that they open offline.
// The mixer takes one set when it is built and opens them through the app state controller
// (AppStateController::openURL), which shows an address the desktop cannot open in its banner.
// Thread-safety: a value; standard() reads the main bundle, which any thread may do.
#pragma once

#include <string>

namespace tonvale {

struct ProductLinks {
    static constexpr const char* kWebsiteURL = "https://tonvale.zelkor.com/";
    static constexpr const char* kSupportURL = "https://ko-fi.com/zelkor";
    static constexpr const char* kHelpPage = "help.html";
    static constexpr const char* kPrivacyPage = "privacy.html";

    std::string helpURL;
    std::string privacyURL;
    std::string websiteURL;
    std::string supportURL;

    // The pages in the main bundle's Contents/Resources; outside a bundle, the website's
    // copies of them.
    [[nodiscard]] static ProductLinks standard();

    // The website's host name ("tonvale.zelkor.com"), as the about panel's credits show it.
    [[nodiscard]] std::string websiteHost() const;

    bool operator==(const ProductLinks&) const = default;
};

}  // namespace tonvale
