// Settings files of any bytes, loaded into the controls and read by Start into a movie
// description: every list parsed and checked, every value bounded, or a message saying why not.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/memory_controls.h"
#include "settings/settings_file.h"
#include "settings/start_conversion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zr::MemoryControls controls;
    zr::applySettingsText(controls, std::string_view(reinterpret_cast<const char*>(data), size));
    const zr::StartConversionResult start = zr::convertControlsForStart(controls);
    if (start.ok != start.message.empty()) {
        __builtin_trap();  // a refusal always says why, and only a refusal does
    }
    return 0;
}
