#pragma once

#include <string_view>

namespace zr {

// Calls `use` with each piece of `text` between the separators; a separator at the very end
// leaves no empty piece after it, and an empty text has no piece at all.
template <typename Use>
void forEachPiece(std::string_view text, char separator, Use use) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            use(text.substr(start));
            return;
        }
        use(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace zr
