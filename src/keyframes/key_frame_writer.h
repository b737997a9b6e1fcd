#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/setting_types.h"

namespace zr {

// What goes into a .zmb key frame file. The tables are row-major (index y * width + x, top row
// first) as in KeyFrame; the writer stores them column by column as the file wants them.
//
//   auto data = KeyFrameFileData::uniform(4, 3, 100);  // 4 x 3 pixels, all count 100
//   data.setPixel(1, 2, 250, 0.5f);
//   writeKeyFrameFile(dir + "/00001_1e3.zmb", data, nullptr);
struct KeyFrameFileData {
    int width = 0;
    int height = 0;
    std::vector<std::int32_t> counts;  // width * height entries, or empty for all zero
    std::vector<float> fractions;      // width * height entries, or empty for all zero
    std::int32_t iterationDivision = 1;
    std::vector<Bgr> keyColors = {Bgr{0, 0, 0}, Bgr{255, 255, 255}};
    std::int32_t maxIteration = 1000;
    bool writeMaxIteration = true;  // false: the file ends after the key colours...
    bool writeFractions = true;     // ...or before the fractions (all readers tolerate both)

    // A width x height key frame whose pixels all hold `count` and `fraction`.
    static KeyFrameFileData uniform(int width, int height, std::int32_t count = 0,
                                    float fraction = 0.0f);

    // Sets one pixel; the tables must have been sized (uniform() does that).
    void setPixel(int x, int y, std::int32_t count, float fraction = 0.0f);
};

// Writes `data` as a key frame file at `path`. The key colours are written as given (up to the
// 1024 a reader accepts), so a test can also write a file that readers must refuse. Returns
// false, with the reason in *error when error is not null, if the sizes do not agree or the file
// cannot be written.
bool writeKeyFrameFile(const std::string& path, const KeyFrameFileData& data, std::string* error);

}  // namespace zr
