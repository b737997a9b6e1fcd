// Settings files of any bytes: loading one into the controls, saving the controls and loading
// what was saved.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/memory_controls.h"
#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zr::MemoryControls controls;
    zr::applySettingsText(controls, std::string_view(reinterpret_cast<const char*>(data), size));
    zr::MemoryControls again;
    zr::applySettingsText(again, zr::settingsText(controls));
    return 0;
}
