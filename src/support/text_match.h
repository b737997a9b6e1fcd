#pragma once

#include <string_view>

namespace zr {

// Letters A to Z folded to a to z; every other byte stays as it is. Paths, keys and codes are
// compared this way, whatever the locale.
constexpr char foldAsciiCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// <0, 0 or >0 as `a` sorts before, with or after `b`, letters compared without regard to case
// and bytes as unsigned values.
int compareIgnoringCase(std::string_view a, std::string_view b);

inline bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && compareIgnoringCase(a, b) == 0;
}

// Whether `name` matches the wildcard `pattern` ("*" any run of characters, "?" one character),
// letters compared without regard to case.
bool wildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace zr
