#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"
#include "settings/setting_types.h"
#include "settings/timeline_tracks.h"

namespace zr {

// The description of one movie, built from the dialog's controls when Start is pressed and not
// changed afterwards. Field names are those of the settings they come from.

// Frames per movie file of a movie that is not split ("Frames per movie" empty or 0).
inline constexpr int kUnsplitMovie = 2147483647;

// The movie files of a run, their codec and the soundtrack they carry.
struct MovieFileSpec {
    // The first movie file; the next ones add _01, _02, ... to its name before the extension,
    // which chooses the container. Empty: "film.avi"; a relative path lies in the key frame
    // folder.
    std::string path;
    // The video codec by name ("h264"), for AVI a compressor's four-character code. Empty: the
    // container's own (for AVI Motion JPEG, "MJPG").
    std::string codec;
    // An AVI compressor's quality on 0 ... 100 and the distance between its key frames, the
    // same for every file of the movie (the compressor dialog and --quality, --keyframe-every).
    int aviQuality = 85;
    int aviKeyFrameEvery = 1;
    int crf = -1;             // -1: the codec's default
    std::string preset;       // empty: the codec's default
    std::string pixelFormat;  // empty: the codec's default
    // A sound file played with the movie; empty: none. A relative path lies in the key frame
    // folder.
    std::string soundtrack;
    double soundtrackOffset = 0.0;  // seconds into the movie at which the soundtrack begins

    bool operator==(const MovieFileSpec&) const = default;
};

// Where and how the movie files are written.
struct OutputSpec {
    std::string folderPattern;  // the key frame folder, a separator, then "*.zmb"
    int fps = 30;
    int framesPerMovie = 2000;
    int movieWidth = 960;
    int movieHeight = 540;
    int bitsPerPixel = 24;
    bool testOnly = false;    // no movie file, the preview only
    bool skipRender = false;  // no picture at all, the key frame times only
    bool aspect43 = false;    // the middle 4:3 part goes into the movie file
    MovieFileSpec movieFile;

    // The key frame folder with its trailing separator.
    std::string folder() const;
    // The path of the first movie file and of the soundtrack (empty: none), relative ones taken
    // inside the key frame folder.
    std::string firstMovieFile() const;
    std::string soundtrackFile() const;
    bool operator==(const OutputSpec&) const = default;
};

// How the movie zooms from one key frame to the next.
struct ZoomSpec {
    double zoomFactor = 2.0;  // each key frame is this many times wider than the next
    int mergeCount = 6;       // key frames merged into one movie frame, 1 ... 16
    bool frameByFrame = false;
    bool stopOnLastFrame = false;
    bool ellipticRegion = false;
    bool leftScrolling = false;
    // Views, placements and scrolling at exact sub-pixel positions instead of whole pixels.
    bool subpixelZoom = false;
    int supersample = 1;  // with sub-pixel zoom: N x N samples per movie pixel, 1 ... 4
    bool operator==(const ZoomSpec&) const = default;
};

// How key frames are coloured.
struct ColoringSpec {
    int colorMethod = kStandard;
    bool smoothColoring = true;
    bool fixedColorCycling = false;
    std::uint32_t insideColor = 0;  // 0x00BBGGRR
    bool waveColoring = false;
    std::array<HsbWave, kWaveSlots> hsbWaves = emptyHsbWaves();
    std::array<LongWave, kWaveSlots> longWaves{};
    bool slopes = false;
    double slopePower = 50.0;
    double slopeRatio = 50.0;
    bool divideSlopes = false;

    static std::array<HsbWave, kWaveSlots> emptyHsbWaves() {
        std::array<HsbWave, kWaveSlots> waves{};
        waves[0].endFlag = 1;
        return waves;
    }
    bool operator==(const ColoringSpec&) const = default;
};

// The picture blended into the colours.
struct TextureSpec {
    bool texture = true;  // the check box starts unchecked; a Start reads it
    double textureDepth = 200.0;
    int textureStrength = 100;
    double textureMerge = 1.0;  // 0 ... 1
    std::string textureFile;
    bool textureMulti = false;
    std::vector<std::string> textureFiles;  // with "Multi": the folder's pictures, by name
    bool operator==(const TextureSpec&) const = default;
};

// The zoom level drawn on every frame.
struct ZoomTextSpec {
    bool showZoomText = true;
    std::string fontFace = "Courier New";
    bool operator==(const ZoomTextSpec&) const = default;
};

// The five lists that change the movie key frame by key frame.
struct TimelineSpec {
    TimeType timeType = kTimeTypeSpeed;  // how the speed list reads
    SpeedTrack speedSpecs;
    RotateTrack rotateSpecs;
    CycleTrack cycleSpecs;
    DivideTrack divideSpecs;
    ColorCountTrack colorCountSpecs;
    bool operator==(const TimelineSpec&) const = default;
};

// Where a run starts and what it starts from.
struct StartSpec {
    int startFrame = 0;                // the first key frame shown
    double startCycle = 0.0;           // colour cycle offset of the first frame
    double startRotation = 0.0;        // rotation of the first frame, degrees
    bool rotationActive = false;       // the rotation list has rows or the start rotation is not 0
    std::uint32_t startIteration = 0;  // "Start iter value"; 0: not set
    bool dumpImages = false;           // "Dump imag" when the run starts
    bool operator==(const StartSpec&) const = default;
};

struct MovieSpec {
    OutputSpec output;
    ZoomSpec zoom;
    ColoringSpec coloring;
    TextureSpec texture;
    ZoomTextSpec zoomText;
    TimelineSpec timeline;
    StartSpec start;
    bool operator==(const MovieSpec&) const = default;
};

// Why the controls give no movie.
enum class MovieSpecErrorKind {
    kNone,
    kFolderPathTooLong,  // the search pattern would not fit its 255 characters
    kZeroSpeed,          // "Speed cannot be zero"
    kTimeStampOrder,     // "Later timestamps can not be earlier"
    kOutOfRange,         // a value no movie can be made with (an FPS of 0, a rotation of 1e308)
    kMovieFileValue,     // a movie file setting that is no number where one is wanted
};

struct MovieSpecError {
    MovieSpecErrorKind kind = MovieSpecErrorKind::kNone;
    std::string message;   // shown in a box titled "Error"
    int focusControl = 0;  // the control that gets the focus
};

struct MovieSpecResult {
    MovieSpec spec;
    MovieSpecError error;
    bool ok() const { return error.kind == MovieSpecErrorKind::kNone; }
};

// The movie the controls describe, read in the order Start reads them, or the first error.
// "Custom..." zoom takes the confirmed value the controls hold (Controls::customZoomFactor).
// A list without a selection counts as its default entry. `previous` is the last movie built:
// with "Wave coloring" off the wave list is not read and its waves stay as they were, and a
// wave line with an unknown type letter keeps the type its slot had. With "Multi" the texture
// file is the first picture of its folder (the controls are expected to show it already, see
// prepareStart).
MovieSpecResult buildMovieSpec(const Controls& controls, const MovieSpec& previous = MovieSpec{});

// Single readings, shared with Test and the settings file.

// The wave list into `waves`: at most 60 waves, then the end slot.
void convertHsbWaves(std::array<HsbWave, kWaveSlots>& waves, const std::vector<std::string>& lines);
// The long wave list ("R,G,B<TAB>period<TAB>percent").
std::array<LongWave, kWaveSlots> convertLongWaves(const std::vector<std::string>& lines);
// The search pattern of the key frames in `folder`: the folder, a separator unless it already
// ends in one, then "*.zmb".
std::string keyFramePattern(std::string_view folder);
// The folder part of a search pattern or path: everything up to and including the last
// separator ("" when there is none).
std::string folderPart(std::string_view path);
// The JPEG pictures ("*.jp*g", any letter case) in the folder of `textureFile`, each as that
// folder part followed by the file name, sorted by name without regard to letter case. Paths
// that would not fit a 255-character path field are left out.
std::vector<std::string> textureFolderPictures(std::string_view textureFile);
// The selected entry of a list, or `fallback` when it has none or one out of range.
int selectionOr(const Controls& controls, int id, int fallback);
// The zoom factor of the "Zoom out level" list: 2, 4, 8, 16, or the custom value.
double zoomFactorOf(const Controls& controls);

// The largest picture a run makes, the movie frame or the picture composed at `zoomFactor` times
// its size: 1 GiB.
inline constexpr double kLargestPictureBytes = 1024.0 * 1024.0 * 1024.0;
// Whether a movie of width x height and the picture composed for it at `zoomFactor` fit within
// kLargestPictureBytes (3 bytes a pixel, sizes truncated as the run truncates them).
bool moviePicturesFit(int width, int height, double zoomFactor);

// The soundtrack may begin at most a day before or after the movie.
inline constexpr double kMaxSoundtrackOffset = 86400.0;

// The largest supersampling factor of sub-pixel zoom (16 samples a movie pixel).
inline constexpr int kMaxSupersample = 4;

// Dialog defaults of the drop-down lists, used when a list has no selection.
inline constexpr int kDefaultMergeEntry = 4;
inline constexpr int kCustomZoomEntry = 4;

}  // namespace zr
