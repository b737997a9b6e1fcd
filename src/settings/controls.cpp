#include "settings/controls.h"

#include <cstdlib>
#include <string>

namespace zr {

int readInt(std::string_view text) {
    const std::string copy(text);  // atoi wants a terminated text
    return std::atoi(copy.c_str());
}

double readDouble(std::string_view text) {
    const std::string copy(text);
    return std::atof(copy.c_str());
}

}  // namespace zr
