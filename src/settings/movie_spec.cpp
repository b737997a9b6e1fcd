#include "settings/movie_spec.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "settings/parameters.h"

#include "support/folder_listing.h"
#include "support/text_match.h"
#include "support/text_table.h"

namespace zr {

namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
constexpr std::string_view kKeyFrameWildcard = "*.zmb";
constexpr std::string_view kTextureWildcard = "*.jp*g";

constexpr int kDefaultZoomEntry = 0;
constexpr int kDefaultColorBitsEntry = 0;

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

TextTable rowsOf(const std::vector<std::string>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += '\n';
        joined += lines[i];
    }
    TextTable rows;
    rows.parse(std::string_view(joined), "\t", "\n");
    return rows;
}

MovieSpecResult failure(MovieSpecErrorKind kind, std::string message, int focusControl) {
    MovieSpecResult result;
    result.error = MovieSpecError{kind, std::move(message), focusControl};
    return result;
}

// In Speed mode no row may read as the speed 0 (read as atoi reads it).
bool speedsAreValid(const SpeedTrack& speeds, TimeType timeType) {
    if (timeType != kTimeTypeSpeed)
        return true;
    for (const SpeedTrack::Row& row : speeds.rows()) {
        if (readInt(row.valueText) == 0)
            return false;
    }
    return true;
}

// A rotation speed turns the picture by at most a whole turn a frame: the angle is brought
// back by one turn a frame, so a faster one would grow without bound and lose every digit.
constexpr double kFastestRotation = 360.0;

// The first row of the rotation list whose speed is not a number of degrees a frame within
// +-360, or nullptr.
const RotateTrack::Row* rotationOutOfRange(const RotateTrack& rotations) {
    for (const RotateTrack::Row& row : rotations.rows()) {
        const RotateValue& value = row.value;
        if (!value.returnUpright &&
            !(std::isfinite(value.speed) && std::fabs(value.speed) <= kFastestRotation))
            return &row;
    }
    return nullptr;
}

}  // namespace

std::string OutputSpec::folder() const {
    return folderPart(folderPattern);
}

namespace {

// A path as given when it is absolute, else inside the key frame folder.
std::string inKeyFrameFolder(const OutputSpec& output, const std::string& path) {
    if (path.empty() || std::filesystem::path(path).is_absolute())
        return path;
    return output.folder() + path;
}

}  // namespace

std::string OutputSpec::firstMovieFile() const {
    return inKeyFrameFolder(*this, movieFile.path.empty() ? "film.avi" : movieFile.path);
}

std::string OutputSpec::soundtrackFile() const {
    return inKeyFrameFolder(*this, movieFile.soundtrack);
}

int selectionOr(const Controls& controls, int id, int fallback) {
    const int selected = controls.selection(id);
    return selected >= 0 && selected < controls.entryCount(id) ? selected : fallback;
}

double zoomFactorOf(const Controls& controls) {
    static constexpr double kListed[] = {2.0, 4.0, 8.0, 16.0};
    const int entry = selectionOr(controls, kIdZoomOutLevel, kDefaultZoomEntry);
    if (entry == kCustomZoomEntry)
        return controls.customZoomFactor();
    if (entry >= 0 && entry < 4)
        return kListed[entry];
    return kListed[kDefaultZoomEntry];
}

void convertHsbWaves(std::array<HsbWave, kWaveSlots>& waves,
                     const std::vector<std::string>& lines) {
    const TextTable rows = rowsOf(lines);
    int slot = 0;
    for (; slot < rows.rowCount() && slot < kMaxWaves; ++slot) {
        HsbWave& wave = waves[static_cast<std::size_t>(slot)];
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
    waves[static_cast<std::size_t>(slot)].endFlag = 1;
}

std::array<LongWave, kWaveSlots> convertLongWaves(const std::vector<std::string>& lines) {
    std::array<LongWave, kWaveSlots> waves{};
    const TextTable rows = rowsOf(lines);
    int slot = 0;
    for (; slot < rows.rowCount() && slot < kMaxWaves; ++slot) {
        LongWave& wave = waves[static_cast<std::size_t>(slot)];
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
    waves[static_cast<std::size_t>(slot)].endFlag = 1;
    return waves;
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

std::vector<std::string> textureFolderPictures(std::string_view textureFile) {
    std::vector<std::string> pictures =
        listMatchingFiles(folderPart(textureFile), kTextureWildcard);
    std::erase_if(pictures, [](const std::string& path) { return path.size() > kMaxPathLength; });
    // Sorted as the settings table sorts names: without regard to case, equal ones in order.
    TextTable table;
    for (const std::string& picture : pictures)
        table.appendCell(table.addRow() - 1, picture);
    table.sort(0, false, false);
    for (int row = 0; row < table.rowCount(); ++row)
        pictures[static_cast<std::size_t>(row)] = std::string(table.cell(row, 0));
    return pictures;
}

bool moviePicturesFit(int width, int height, double zoomFactor) {
    const auto bytes = [](double w, double h) { return std::trunc(w) * 3.0 * std::trunc(h); };
    return bytes(width, height) <= kLargestPictureBytes &&
           bytes(zoomFactor * width, zoomFactor * height) <= kLargestPictureBytes;
}

namespace {

// The plain settings of the movie's look: the texture, the merge, the colour method and the
// flags, each as the dialog holds it.
void readLooks(const Controls& controls, const std::string& pattern, MovieSpec& spec) {
    OutputSpec& output = spec.output;
    ZoomSpec& zoom = spec.zoom;
    ColoringSpec& coloring = spec.coloring;
    TextureSpec& texture = spec.texture;
    StartSpec& start = spec.start;
    const auto flag = [&controls](int id) { return controls.checked(id); };
    texture.textureFile = controls.text(kIdTextureFile);
    texture.textureMulti = flag(kIdTextureMulti);
    if (texture.textureMulti) {
        texture.textureFiles = textureFolderPictures(texture.textureFile);
        if (!texture.textureFiles.empty())
            texture.textureFile = texture.textureFiles.front();
    }
    coloring.waveColoring = flag(kIdWaveColoring);
    zoom.mergeCount = selectionOr(controls, kIdMergeCount, kDefaultMergeEntry) + 1;
    output.bitsPerPixel =
        selectionOr(controls, kIdColorBits, kDefaultColorBitsEntry) == 0 ? 24 : 32;
    zoom.zoomFactor = zoomFactorOf(controls);
    coloring.colorMethod = selectionOr(controls, kIdColorMethod, kStandard);
    start.startCycle = controlDouble(controls, kIdStartCycle);
    output.movieWidth = controlInt(controls, kIdMovieWidth);
    output.movieHeight = controlInt(controls, kIdMovieHeight);
    output.testOnly = flag(kIdTestOnly);
    zoom.ellipticRegion = flag(kIdEllipticRegion);
    output.skipRender = flag(kIdSkipRender);
    coloring.divideSlopes = flag(kIdDivideSlopes);
    output.folderPattern = pattern;
    spec.zoomText.showZoomText = flag(kIdShowZoomText);
    coloring.smoothColoring = flag(kIdSmoothColoring);
    coloring.fixedColorCycling = flag(kIdFixedColorCycling);
    zoom.stopOnLastFrame = flag(kIdStopOnLastFrame);
    zoom.leftScrolling = flag(kIdLeftScrolling);
    zoom.frameByFrame = flag(kIdFrameByFrame);
    zoom.subpixelZoom = flag(kIdSubpixelZoom);
    zoom.supersample = std::clamp(controlInt(controls, kIdSupersample), 1, kMaxSupersample);
    output.aspect43 = flag(kIdAspect43);
    spec.zoomText.fontFace = controls.text(kIdFontFace).substr(0, kMaxFontFaceLength);
    coloring.insideColor = controls.insideColor();
}

// The timeline's lists, the slopes and the waves; a failure for a rotation that cannot be
// turned at or a speed list that cannot zoom.
std::optional<MovieSpecResult> readTimeline(const Controls& controls, const MovieSpec& previous,
                                            MovieSpec& spec) {
    ZoomSpec& zoom = spec.zoom;
    ColoringSpec& coloring = spec.coloring;
    TimelineSpec& timeline = spec.timeline;
    StartSpec& start = spec.start;
    const auto flag = [&controls](int id) { return controls.checked(id); };
    // "Frame by frame": every key frame gets one movie frame, whatever the speed list holds.
    timeline.speedSpecs = speedTrackOf(zoom.frameByFrame ? std::vector<std::string>{"0\t1"}
                                                         : controls.lines(kIdSpeedList));
    timeline.rotateSpecs = rotateTrackOf(controls.lines(kIdRotateList));
    start.startRotation =
        readDouble(controls.text(kIdStartRotation).substr(0, kMaxStartRotationText));
    start.rotationActive = !timeline.rotateSpecs.empty() || start.startRotation != 0.0;
    if (const RotateTrack::Row* row = rotationOutOfRange(timeline.rotateSpecs)) {
        return failure(MovieSpecErrorKind::kOutOfRange,
                       "The rotation \"" + row->valueText + "\" of key frame " + row->keyText +
                           " is not a speed the picture can turn at.\nGive degrees a frame from "
                           "-360 to 360.",
                       kIdRotateList);
    }
    if (!std::isfinite(start.startRotation)) {
        return failure(MovieSpecErrorKind::kOutOfRange,
                       "The start rotation value is not a number.\nGive the angle in degrees.",
                       kIdStartRotation);
    }
    coloring.slopes = flag(kIdSlopes);
    coloring.slopePower =
        coloring.colorMethod == kDistance ? 1.0 : controlDouble(controls, kIdSlopePower);
    coloring.slopeRatio = controlDouble(controls, kIdSlopeRatio);
    timeline.cycleSpecs = cycleTrackOf(controls.lines(kIdCycleList));
    timeline.divideSpecs = divideTrackOf(controls.lines(kIdDivideList));
    timeline.colorCountSpecs = colorCountTrackOf(controls.lines(kIdColorCountList));
    coloring.hsbWaves = previous.coloring.hsbWaves;
    if (coloring.waveColoring)
        convertHsbWaves(coloring.hsbWaves, controls.lines(kIdWaveList));
    coloring.longWaves = convertLongWaves(controls.lines(kIdLongWaveList));

    const int timeType = selectionOr(controls, kIdTimeType, kTimeTypeSpeed);
    timeline.timeType = timeType == kTimeTypeTime || timeType == kTimeTypeTimeNs
                            ? static_cast<TimeType>(timeType)
                            : kTimeTypeSpeed;
    if (!speedsAreValid(timeline.speedSpecs, timeline.timeType))
        return failure(MovieSpecErrorKind::kZeroSpeed, "Speed cannot be zero", kIdSpeedList);

    return std::nullopt;
}

// The frame rate, the split into files and the texture's numbers; a failure for a rate or a
// split that cannot be, or time stamps that go back.
std::optional<MovieSpecResult> readFramesAndTexture(const Controls& controls, MovieSpec& spec) {
    OutputSpec& output = spec.output;
    TextureSpec& texture = spec.texture;
    const TimelineSpec& timeline = spec.timeline;
    const auto flag = [&controls](int id) { return controls.checked(id); };
    output.fps = controlInt(controls, kIdFps);
    if (output.fps < 1) {
        return failure(MovieSpecErrorKind::kOutOfRange,
                       "A movie of " + std::to_string(output.fps) +
                           " frames a second cannot be made.\nGive an FPS of 1 or more.",
                       kIdFps);
    }
    output.framesPerMovie = controlInt(controls, kIdFramesPerMovie);
    if (output.framesPerMovie < 0) {
        return failure(MovieSpecErrorKind::kOutOfRange,
                       "Frames per movie cannot be " + std::to_string(output.framesPerMovie) +
                           ".\nGive the frames of each movie file, or 0 for one file.",
                       kIdFramesPerMovie);
    }
    if (output.framesPerMovie == 0) {
        // An empty or 0 edit: the movie is not split (rather than a file for every frame).
        output.framesPerMovie = kUnsplitMovie;
    }
    texture.texture = flag(kIdTexture);
    texture.textureMerge = controlDouble(controls, kIdTextureMerge) / 100.0;
    texture.textureDepth = controlDouble(controls, kIdTextureDepth);
    texture.textureStrength = truncateToInt(controlDouble(controls, kIdTextureStrength));

    if (timeline.timeType != kTimeTypeSpeed && timeStampsGoBack(timeline.speedSpecs, output.fps)) {
        return failure(MovieSpecErrorKind::kTimeStampOrder, "Later timestamps can not be earlier",
                       kIdSpeedList);
    }

    return std::nullopt;
}

// The movie file, its codec and its soundtrack; a failure for a quality or offset that is no
// number in range.
std::optional<MovieSpecResult> readMovieFile(const Controls& controls, MovieFileSpec& file) {
    file.path = controls.text(kIdMovieFile);
    file.codec = controls.text(kIdVideoCodec);
    file.preset = controls.text(kIdPreset);
    file.pixelFormat = controls.text(kIdPixelFormat);
    file.soundtrack = controls.text(kIdSoundFile);
    // Unlike the dialog's other numbers these are not read leniently: a mistyped quality or
    // offset would silently give another movie.
    if (const std::string crf = controls.text(kIdCrf); !crf.empty()) {
        const Parameter& parameter = *parameterOfControl(kIdCrf);
        const std::optional<long long> value = parseInteger(crf, parameter.min, parameter.max);
        if (!value) {
            return failure(MovieSpecErrorKind::kMovieFileValue,
                           "The constant quality (CRF) \"" + crf + "\" is no whole number from " +
                               std::to_string(parameter.min) + " to " +
                               std::to_string(parameter.max) + ".",
                           kIdCrf);
        }
        file.crf = static_cast<int>(*value);
    }
    if (const std::string offset = controls.text(kIdSoundOffset); !offset.empty()) {
        const std::optional<double> value = parseDecimal(offset);
        if (!value || std::abs(*value) > kMaxSoundtrackOffset) {
            return failure(
                MovieSpecErrorKind::kMovieFileValue,
                "The sound offset \"" + offset + "\" is no number of seconds from -86400 to 86400.",
                kIdSoundOffset);
        }
        file.soundtrackOffset = *value;
    }
    return std::nullopt;
}

}  // namespace

MovieSpecResult buildMovieSpec(const Controls& controls, const MovieSpec& previous) {
    const std::string folder = controls.text(kIdDirectory);
    const std::string pattern = keyFramePattern(folder);
    if (pattern.size() > kMaxPathLength) {
        return failure(MovieSpecErrorKind::kFolderPathTooLong,
                       "The key frame folder path is too long (" + std::to_string(folder.size()) +
                           " characters; at most " +
                           std::to_string(kMaxPathLength - kKeyFrameWildcard.size() - 1) +
                           " fit).\nMove the key frames to a folder with a shorter path.",
                       kIdDirectory);
    }
    MovieSpecResult result;
    MovieSpec& spec = result.spec;
    readLooks(controls, pattern, spec);
    if (std::optional<MovieSpecResult> failed = readTimeline(controls, previous, spec)) {
        return *failed;
    }
    if (std::optional<MovieSpecResult> failed = readFramesAndTexture(controls, spec)) {
        return *failed;
    }
    StartSpec& start = spec.start;
    start.startFrame = controlInt(controls, kIdStartFrame);
    start.startIteration = readStartIteration(controls.text(kIdStartIteration));
    start.dumpImages = controls.checked(kIdDumpImages);
    if (std::optional<MovieSpecResult> failed = readMovieFile(controls, spec.output.movieFile)) {
        return *failed;
    }
    return result;
}

}  // namespace zr
