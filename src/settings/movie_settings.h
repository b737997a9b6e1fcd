#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "support/text_table.h"

namespace zr {

// One slot of the HSB wave list; a slot with endFlag 1 ends the list.
struct HsbWave {
    int type = 0;  // 0 hue, 1 saturation, 2 brightness, 3 RGB wave (letters H, S, B, W)
    int period = 0;
    int phase = 0;  // added to the colour index before the wave is evaluated
    int endFlag = 0;
    int reserved1 = 0;
    int reserved2 = 0;
    bool operator==(const HsbWave&) const = default;
};

// One slot of the long colour wave list; a slot with endFlag 1 ends the list.
struct LongWave {
    int period = 0;
    int reserved1 = 0;
    int endFlag = 0;
    std::uint32_t color = 0;  // 0x00BBGGRR
    int percent = 0;
    int reserved2 = 0;
    bool operator==(const LongWave&) const = default;
};

inline constexpr int kWaveSlots = 61;  // at most 60 waves and the end slot
inline constexpr int kMaxWaves = 60;
inline constexpr int kPaletteSize = 1024;

// A colour in pixel byte order.
struct Bgr {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    bool operator==(const Bgr&) const = default;
};

// Colour methods of the colouring.
enum ColorMethod : int {
    kStandard = 0,
    kSquareRoot = 1,
    kCubicRoot = 2,
    kLogarithm = 3,
    kStretched = 4,
    kDistance = 5,
};

// How the values of the speed list read (the selection of list 1018).
enum TimeType : int { kTimeTypeSpeed = 0, kTimeTypeTime = 1, kTimeTypeTimeNs = 2 };

// Lengths of the texts that the user can see limited.
inline constexpr std::size_t kMaxPathLength = 255;     // folder pattern, texture file
inline constexpr std::size_t kMaxFontFaceLength = 99;  // font face
inline constexpr std::size_t kMaxStartRotationText = 19;

// The one process-wide record of all settings, the timeline tables, the wave arrays and the
// run flags, plus the working values that a run advances in place.
struct MovieSettings {
    MovieSettings();

    // Output and timeline.
    std::string folderPattern;  // folder, a separator, then "*.zmb"
    int keyFrameCount = 1;
    int fps = 30;
    int framesPerMovie = 2000;
    int movieWidth = 960;
    int movieHeight = 540;
    int bitsPerPixel = 24;
    double zoomFactor = 2.0;
    int mergeCount = 6;
    double startCycle = 0.0;     // the current colour cycle offset during a run
    double startRotation = 0.0;  // the current rotation in degrees during a run
    int rotationActive = 0;
    int stopOnLastFrame = 0;
    int frameByFrame = 0;
    int testOnly = 0;
    int skipRender = 0;
    int ellipticRegion = 0;
    int leftScrolling = 0;
    int aspect43 = 0;

    // Colouring.
    int colorMethod = kStandard;
    int smoothColoring = 1;
    int fixedColorCycling = 0;
    std::uint32_t insideColor = 0;  // 0x00BBGGRR
    int waveColoring = 0;
    int slopes = 0;
    double slopePower = 50.0;
    double slopeRatio = 50.0;
    int divideSlopes = 0;
    int texture = 1;
    double textureDepth = 200.0;
    int textureStrength = 100;
    double textureMerge = 1.0;
    std::string textureFile;  // the default texture: none
    TextTable textureFiles;   // full paths of the folder's JPEG pictures with "Multi"

    // Zoom text.
    int showZoomText = 1;
    std::string fontFace = "Courier New";

    // Timeline specification tables: cell 0 key frame number, cell 1 value.
    TextTable speedSpecs;
    TextTable rotateSpecs;
    TextTable cycleSpecs;
    TextTable divideSpecs;
    TextTable colorCountSpecs;

    std::array<HsbWave, kWaveSlots> hsbWaves{};
    std::array<LongWave, kWaveSlots> longWaves{};

    // Run flags shared by the dialog (writer) and the render thread (reader).
    std::atomic<int> running{0};
    std::atomic<int> stopRequested{0};

    // Working values of the colouring and the timeline, advanced by a run.
    double colorDivision = 1.0;  // 0 means no division
    int keyColorCount = 1;
    double stretchMin = -1.0;  // -1 and 1: the Stretched range is not set yet
    double stretchMax = 1.0;
    int maxIteration = -1;  // the last maxIteration read from any key frame file
    int divisionFromKeyFrame = 1;
    int colorsFromKeyFrame = 1;
    std::array<Bgr, kPaletteSize> keyColors{};
    std::array<Bgr, kPaletteSize> palette{};
};

// The record. Settings fields are written on the user interface thread (or the command
// line's main thread) only while no run is under way.
MovieSettings& movieSettings();

// Gives every field of the record its initial value again (program start; tests).
void resetMovieSettings();

// The cache lock: guards the key frame cache's slot table and, while a key frame file is
// read, the key colours, the palette and the colour division.
std::mutex& cacheLock();

}  // namespace zr
