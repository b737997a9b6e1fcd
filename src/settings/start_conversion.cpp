#include "settings/start_conversion.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "settings/movie_settings.h"
#include "support/folder_listing.h"
#include "support/text_table.h"

namespace zr {

namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
constexpr std::string_view kKeyFrameWildcard = "*.zmb";
constexpr std::string_view kTextureWildcard = "*.jp*g";

// Dialog defaults of the drop-down lists, used when a list has no selection.
constexpr int kDefaultMergeEntry = 4;
constexpr int kDefaultZoomEntry = 0;
constexpr int kDefaultColorBitsEntry = 0;
constexpr int kDefaultColorMethod = kStandard;
constexpr int kDefaultTimeType = kTimeTypeSpeed;
constexpr int kCustomZoomEntry = 4;

int flag(const Controls& controls, int id) {
    return controls.checked(id) ? 1 : 0;
}

// A decimal truncated toward zero; values beyond the int range stop at its ends.
int truncateToInt(double value) {
    if (!(value == value))
        return 0;
    if (value >= 2147483647.0)
        return 2147483647;
    if (value <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(value);
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += '\n';
        joined += lines[i];
    }
    return joined;
}

double zoomFactorFor(Controls& controls, double previous) {
    static constexpr double kListed[] = {2.0, 4.0, 8.0, 16.0};
    const int entry = selectionOr(controls, kIdZoomOutLevel, kDefaultZoomEntry);
    if (entry == kCustomZoomEntry) {
        const std::optional<std::string> typed = controls.askZoomSize();
        if (!typed)
            return previous;
        const double value = readDouble(*typed);
        return value == 0.0 ? 2.0 : value;
    }
    if (entry >= 0 && entry < 4)
        return kListed[entry];
    return kListed[kDefaultZoomEntry];
}

// Rebuilds textureFiles from the texture's folder; true when pictures were found.
bool rebuildTextureFiles(MovieSettings& settings) {
    settings.textureFiles.clear();
    const std::vector<std::string> pictures = listTexturePictures(settings.textureFile);
    if (pictures.empty())
        return false;
    for (const std::string& picture : pictures) {
        const int row = settings.textureFiles.addRow() - 1;
        settings.textureFiles.appendCell(row, picture);
    }
    settings.textureFiles.sort(0, false, false);
    settings.textureFile = std::string(settings.textureFiles.cell(0, 0));
    return true;
}

bool speedsAreValid(const MovieSettings& settings, int timeType) {
    if (timeType != kTimeTypeSpeed)
        return true;
    for (int row = 0; row < settings.speedSpecs.rowCount(); ++row) {
        if (readInt(settings.speedSpecs.cell(row, 1)) == 0)
            return false;
    }
    return true;
}

}  // namespace

int selectionOr(const Controls& controls, int id, int fallback) {
    const int selected = controls.selection(id);
    return selected >= 0 && selected < controls.entryCount(id) ? selected : fallback;
}

void buildSpecTable(TextTable& table, const std::vector<std::string>& lines) {
    const std::string joined = joinLines(lines);
    table.clear();
    table.parse(std::string_view(joined), "\t", "\n");
}

void sortSpecTableByKeyFrame(TextTable& table) {
    table.sort(0, false, true);
}

void convertHsbWaves(MovieSettings& settings, const std::vector<std::string>& lines) {
    TextTable rows;
    buildSpecTable(rows, lines);
    int slot = 0;
    for (; slot < rows.rowCount() && slot < kMaxWaves; ++slot) {
        HsbWave& wave = settings.hsbWaves[static_cast<std::size_t>(slot)];
        const std::string_view letter = rows.cell(slot, 0);
        if (!letter.empty()) {
            switch (letter.front()) {
                case 'H':
                    wave.type = 0;
                    break;
                case 'S':
                    wave.type = 1;
                    break;
                case 'B':
                    wave.type = 2;
                    break;
                case 'W':
                    wave.type = 3;
                    break;
                default:
                    break;  // an unknown letter keeps the slot's type
            }
        }
        wave.period = readInt(rows.cell(slot, 1));
        wave.phase = readInt(rows.cell(slot, 2));
        wave.endFlag = 0;
    }
    settings.hsbWaves[static_cast<std::size_t>(slot)].endFlag = 1;
}

void convertLongWaves(MovieSettings& settings, const std::vector<std::string>& lines) {
    TextTable rows;
    buildSpecTable(rows, lines);
    int slot = 0;
    for (; slot < rows.rowCount() && slot < kMaxWaves; ++slot) {
        LongWave& wave = settings.longWaves[static_cast<std::size_t>(slot)];
        TextTable color;
        color.parse(rows.cell(slot, 0), ",", "");
        const auto channel = [&color](int i) {
            return static_cast<std::uint32_t>(readInt(color.cell(0, i))) & 0xFFu;
        };
        wave.color = channel(0) | channel(1) << 8 | channel(2) << 16;
        wave.period = readInt(rows.cell(slot, 1));
        wave.percent = readInt(rows.cell(slot, 2));
        wave.endFlag = 0;
    }
    settings.longWaves[static_cast<std::size_t>(slot)].endFlag = 1;
}

std::string keyFramePattern(std::string_view folder) {
    std::string pattern(folder);
    if (pattern.empty() || pattern.back() != kSeparator)
        pattern += kSeparator;
    pattern += kKeyFrameWildcard;
    return pattern;
}

std::string folderPart(std::string_view path) {
    const std::size_t last = path.rfind(kSeparator);
    return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::vector<std::string> listTexturePictures(std::string_view textureFile) {
    std::vector<std::string> pictures =
        listMatchingFiles(folderPart(textureFile), kTextureWildcard);
    std::erase_if(pictures, [](const std::string& path) { return path.size() > kMaxPathLength; });
    return pictures;
}

StartConversionResult convertControlsForStart(Controls& controls) {
    MovieSettings& s = movieSettings();
    StartConversionResult result;

    const std::string folder = controls.text(kIdDirectory);
    const std::string pattern = keyFramePattern(folder);
    if (pattern.size() > kMaxPathLength) {
        result.ok = false;
        result.message = "The key frame folder path is too long (" + std::to_string(folder.size()) +
                         " characters; at most " +
                         std::to_string(kMaxPathLength - kKeyFrameWildcard.size() - 1) +
                         " fit).\nMove the key frames to a folder with a shorter path.";
        result.focusControl = kIdDirectory;
        return result;
    }

    if (controls.checked(kIdTextureMulti)) {
        result.texturePositionReset = rebuildTextureFiles(s);
    } else {
        s.textureFiles.clear();
    }
    s.waveColoring = flag(controls, kIdWaveColoring);
    s.mergeCount = selectionOr(controls, kIdMergeCount, kDefaultMergeEntry) + 1;
    s.bitsPerPixel = selectionOr(controls, kIdColorBits, kDefaultColorBitsEntry) == 0 ? 24 : 32;
    s.colorDivision = 1.0;
    s.zoomFactor = zoomFactorFor(controls, s.zoomFactor);
    s.colorMethod = selectionOr(controls, kIdColorMethod, kDefaultColorMethod);
    s.startCycle = controlDouble(controls, kIdStartCycle);
    s.movieWidth = controlInt(controls, kIdMovieWidth);
    s.movieHeight = controlInt(controls, kIdMovieHeight);
    s.testOnly = flag(controls, kIdTestOnly);
    s.ellipticRegion = flag(controls, kIdEllipticRegion);
    s.skipRender = flag(controls, kIdSkipRender);
    s.divideSlopes = flag(controls, kIdDivideSlopes);
    s.folderPattern = pattern;
    s.showZoomText = flag(controls, kIdShowZoomText);
    s.smoothColoring = flag(controls, kIdSmoothColoring);
    s.fixedColorCycling = flag(controls, kIdFixedColorCycling);
    s.stopOnLastFrame = flag(controls, kIdStopOnLastFrame);
    s.leftScrolling = flag(controls, kIdLeftScrolling);
    s.frameByFrame = flag(controls, kIdFrameByFrame);
    s.aspect43 = flag(controls, kIdAspect43);
    s.fontFace = controls.text(kIdFontFace).substr(0, kMaxFontFaceLength);

    buildSpecTable(s.speedSpecs, controls.lines(kIdSpeedList));
    if (s.frameByFrame == 1) {
        s.speedSpecs.clear();
        const int row = s.speedSpecs.addRow() - 1;
        s.speedSpecs.appendCell(row, "0");
        s.speedSpecs.appendCell(row, "1");
    }
    s.speedSpecs.buildIndex(0);
    buildSpecTable(s.rotateSpecs, controls.lines(kIdRotateList));
    s.rotateSpecs.buildIndex(0);
    s.startRotation = readDouble(controls.text(kIdStartRotation).substr(0, kMaxStartRotationText));
    s.rotationActive = (s.rotateSpecs.rowCount() > 0 || s.startRotation != 0.0) ? 1 : 0;
    s.slopes = flag(controls, kIdSlopes);
    s.slopePower = controlDouble(controls, kIdSlopePower);
    if (s.colorMethod == kDistance)
        s.slopePower = 1.0;
    s.slopeRatio = controlDouble(controls, kIdSlopeRatio);
    buildSpecTable(s.cycleSpecs, controls.lines(kIdCycleList));
    s.cycleSpecs.buildIndex(0);
    buildSpecTable(s.divideSpecs, controls.lines(kIdDivideList));
    sortSpecTableByKeyFrame(s.divideSpecs);
    s.divideSpecs.buildIndex(0);
    buildSpecTable(s.colorCountSpecs, controls.lines(kIdColorCountList));
    sortSpecTableByKeyFrame(s.colorCountSpecs);
    s.colorCountSpecs.buildIndex(0);
    if (s.waveColoring == 1)
        convertHsbWaves(s, controls.lines(kIdWaveList));
    convertLongWaves(s, controls.lines(kIdLongWaveList));

    if (!speedsAreValid(s, selectionOr(controls, kIdTimeType, kDefaultTimeType))) {
        result.ok = false;
        result.message = "Speed cannot be zero";
        result.focusControl = kIdSpeedList;
        return result;
    }

    s.fps = controlInt(controls, kIdFps);
    s.framesPerMovie = controlInt(controls, kIdFramesPerMovie);
    s.texture = flag(controls, kIdTexture);
    s.textureMerge = controlDouble(controls, kIdTextureMerge) / 100.0;
    s.textureDepth = controlDouble(controls, kIdTextureDepth);
    s.textureStrength = truncateToInt(controlDouble(controls, kIdTextureStrength));
    return result;
}

}  // namespace zr
