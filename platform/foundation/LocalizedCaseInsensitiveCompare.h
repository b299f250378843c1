// Ordering of user-visible texts (device and application names) the way the user's language
// sorts them: case is ignored, accents are not. Collation follows LC_ALL, LC_COLLATE or LANG
// (first one set); "C", "POSIX" or nothing set means the language-neutral root order.
// Thread-safety: callable from any thread; each thread keeps its own collator.
#pragma once

#include <compare>
#include <string>
#include <string_view>

namespace foundation {

// Texts are UTF-8; ill-formed sequences compare as U+FFFD. Equivalent means "same letters,
// same accents", not "same bytes", hence a weak ordering: sort with std::stable_sort to keep
// equivalent names in their original order.
[[nodiscard]] std::weak_ordering localizedCaseInsensitiveCompare(std::string_view lhs, std::string_view rhs);

// The same comparison in a named collation locale ("sv", "de_DE"; "" is the root order).
[[nodiscard]] std::weak_ordering localizedCaseInsensitiveCompare(std::string_view lhs, std::string_view rhs,
                                                                 std::string_view collationLocale);

// The user's collation locale as the environment gives it now: the first non-empty of
// LC_ALL, LC_COLLATE and LANG, mapped by collationLocaleName. The comparison above reads it
// once, on first use.
[[nodiscard]] std::string userCollationLocaleName();

// The collation locale for one POSIX locale value: "de_DE.UTF-8@euro" gives "de_DE";
// "", "C", "C.UTF-8" and "POSIX" give "" (root).
[[nodiscard]] std::string collationLocaleName(std::string_view posixLocale);

}  // namespace foundation
