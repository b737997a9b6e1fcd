#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"
#include "support/text_match.h"

namespace zr {

class TextTable;
struct MovieSettings;

// What Start's conversion of the dialog into the settings record gives: ok, or the message to
// show and the control to give the focus. Nothing is started either way.
struct StartConversionResult {
    bool ok = true;
    std::string message;  // shown in a box titled "Error" when not ok
    int focusControl = 0;
    // The "Multi" texture list was rebuilt: the texture starts again with its first picture.
    bool texturePositionReset = false;
};

// Copies the controls into movieSettings() and builds its tables, in the order Start does,
// then checks the speeds and copies the output rate and the texture values. A "Custom..."
// zoom asks controls.askZoomSize(). A list without a selection counts as its default entry.
// On a refused speed the fields already copied keep their new values; a folder path too long
// for the search pattern is refused before anything is copied.
StartConversionResult convertControlsForStart(Controls& controls);

// Single steps of the conversion, shared with Test and the movie length estimate.

// Parses list box lines joined with "\n" into `table` (cells at TAB), after clearing it.
void buildSpecTable(TextTable& table, const std::vector<std::string>& lines);
// Key frame numbers ascending, equal numbers in list order (DIVIDE, NOC).
void sortSpecTableByKeyFrame(TextTable& table);
// The wave list into hsbWaves, at most 60 waves, then the end slot.
void convertHsbWaves(MovieSettings& settings, const std::vector<std::string>& lines);
// The long wave list ("R,G,B<TAB>period<TAB>percent") into longWaves.
void convertLongWaves(MovieSettings& settings, const std::vector<std::string>& lines);
// The search pattern of the key frames in `folder`: the folder, a separator unless it already
// ends in one, then "*.zmb".
std::string keyFramePattern(std::string_view folder);
// The folder part of a search pattern or path: everything up to and including the last
// separator ("" when there is none).
std::string folderPart(std::string_view path);

// The JPEG pictures ("*.jp*g", any letter case) in the folder of `textureFile`, each as that
// folder part followed by the file name, in file-system order. Paths that would not fit a
// 255-character path field are left out.
std::vector<std::string> listTexturePictures(std::string_view textureFile);

// The selected entry of a list, or `fallback` when it has none or one out of range.
int selectionOr(const Controls& controls, int id, int fallback);

}  // namespace zr
