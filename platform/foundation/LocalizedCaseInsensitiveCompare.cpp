#include "platform/foundation/LocalizedCaseInsensitiveCompare.h"

#include "platform/foundation/ProcessInfo.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

#include <algorithm>
#include <memory>
#include <optional>

namespace foundation {
namespace {

// ICU collators may not be shared between threads for comparing, so each thread opens its
// own and keeps it while the locale stays the same.
struct ThreadCollator {
    std::string locale;
    std::unique_ptr<icu::Collator> collator;
    bool isOpen = false;
};

icu::Collator* collatorFor(std::string_view locale) {
    thread_local ThreadCollator cached;
    if (cached.isOpen && cached.locale == locale) {
        return cached.collator.get();
    }
    cached.locale = std::string(locale);
    cached.isOpen = true;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale icuLocale = locale.empty() ? icu::Locale::getRoot() : icu::Locale(cached.locale.c_str());
    cached.collator.reset(icu::Collator::createInstance(icuLocale, status));
    if (U_FAILURE(status) || !cached.collator) {
        cached.collator.reset();
        return nullptr;
    }
    cached.collator->setStrength(icu::Collator::SECONDARY);
    return cached.collator.get();
}

std::weak_ordering asciiCaseInsensitiveCompare(std::string_view lhs, std::string_view rhs) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : static_cast<unsigned char>(c);
    };
    return std::lexicographical_compare_three_way(
        lhs.begin(), lhs.end(), rhs.begin(), rhs.end(),
        [&lower](char a, char b) -> std::weak_ordering { return lower(a) <=> lower(b); });
}

}  // namespace

std::weak_ordering localizedCaseInsensitiveCompare(std::string_view lhs, std::string_view rhs) {
    static const std::string userLocale = userCollationLocaleName();
    return localizedCaseInsensitiveCompare(lhs, rhs, userLocale);
}

std::weak_ordering localizedCaseInsensitiveCompare(std::string_view lhs, std::string_view rhs,
                                                   std::string_view collationLocale) {
    icu::Collator* collator = collatorFor(collationLocale);
    if (collator == nullptr) {
        // ICU without its data: still ignore case, so names sort sensibly.
        return asciiCaseInsensitiveCompare(lhs, rhs);
    }
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator->compareUTF8(icu::StringPiece(lhs.data(), static_cast<int32_t>(lhs.size())),
                              icu::StringPiece(rhs.data(), static_cast<int32_t>(rhs.size())), status);
    if (U_FAILURE(status)) {
        return asciiCaseInsensitiveCompare(lhs, rhs);
    }
    switch (result) {
        case UCOL_LESS:
            return std::weak_ordering::less;
        case UCOL_EQUAL:
            return std::weak_ordering::equivalent;
        case UCOL_GREATER:
            return std::weak_ordering::greater;
    }
    return std::weak_ordering::equivalent;
}

std::string userCollationLocaleName() {
    const ProcessInfo& processInfo = ProcessInfo::processInfo();
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const std::optional<std::string> value = processInfo.environmentValue(variable);
        if (value && !value->empty()) {
            return collationLocaleName(*value);
        }
    }
    return {};
}

std::string collationLocaleName(std::string_view posixLocale) {
    const std::size_t end = posixLocale.find_first_of(".@");
    const std::string_view name = posixLocale.substr(0, end);
    if (name.empty() || name == "C" || name == "POSIX") {
        return {};
    }
    return std::string(name);
}

}  // namespace foundation
