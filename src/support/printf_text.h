#pragma once

#include <cstdio>
#include <string>

namespace zr {

// The text printf would print for `pattern` and `args`, of any length; empty when the pattern
// gives nothing.
template <typename... Args>
std::string printfText(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, args...);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

}  // namespace zr
