#include "settings/parameters.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "settings/movie_spec.h"
#include "settings/setting_types.h"
#include "support/text_pieces.h"

namespace zr {

namespace {

using Kind = ParameterKind;

constexpr std::string_view kZoomOutLevels[] = {"2", "4", "8", "16", "Custom..."};
constexpr std::string_view kTimeTypes[] = {"Speed", "Time", "Time NS"};
constexpr std::string_view kMergeCounts[] = {"0", "1", "2",  "3",  "4",  "5",  "6",  "7",
                                             "8", "9", "10", "11", "12", "13", "14", "15"};
constexpr std::string_view kColorMethods[] = {"Standard",  "Square root", "Cubic root",
                                              "Logarithm", "Stretched",   "Distance"};
constexpr std::string_view kColorBits[] = {"24", "32"};

// Fields a row leaves out keep their defaults; GCC 12 warns about designated initialisers that
// leave fields out all the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
// clang-format off
constexpr Parameter kParameters[] = {
    // The settings file, in the order in which it is written.
    {.key = "SPEED", .control = kIdSpeedList, .kind = Kind::kSpecList, .loadStep = 1,
     .defaultValue = "0\t25", .label = "Speed control",
     .help = "the speed list: lines KEYFRAME<TAB>SPEED, SPEED being the movie frames that show "
             "key frame KEYFRAME (1 to 16777216; the speed changes smoothly from one line's key "
             "frame to the next) or, with TimeType 1 or 2, the time stamp mm:ss or hh:mm:ss at "
             "which that key frame begins",
     .lineFormat = ListLineFormat::kSpeed},
    {.key = "ROTATE", .control = kIdRotateList, .kind = Kind::kSpecList, .loadStep = 2,
     .label = "Rotation control",
     .help = "the rotation list: lines KEYFRAME<TAB>DEGREES, the rotation per movie frame reached "
             "at the end of that key frame, -360 to 360 (default: no rotation); R turns the "
             "picture back upright",
     .lineFormat = ListLineFormat::kRotation},
    {.key = "CYCLE", .control = kIdCycleList, .kind = Kind::kSpecList, .loadStep = 3,
     .label = "Color cycle control",
     .help = "the colour cycle list: lines KEYFRAME<TAB>SPEED, SPEED being the colour cycle "
             "speed reached at the end of that key frame, in palette entries (of 1024) the "
             "colours move on each movie frame, -1024 to 1024 (default: no cycling)",
     .lineFormat = ListLineFormat::kCycle},
    {.key = "DIVIDE", .control = kIdDivideList, .kind = Kind::kSpecList, .loadStep = 4,
     .label = "Color division control",
     .help = "the colour division list: lines KEYFRAME<TAB>DIVISION, DIVISION being the "
             "iterations per palette entry reached at the end of that key frame, 0 to 1000000 (0: "
             "no division; default: the division each key frame file holds)",
     .lineFormat = ListLineFormat::kDivision},
    {.key = "NOC", .control = kIdColorCountList, .kind = Kind::kSpecList, .loadStep = 5,
     .label = "Number of colors control",
     .help = "the number of colours list: lines KEYFRAME<TAB>CHANGE, key colours added (or taken "
             "away) per movie frame from that key frame on, -1024 to 1024; the count stays "
             "within 4 to 1024 (default: the key frame files' colours)",
     .lineFormat = ListLineFormat::kColorCount},
    {.key = "WAVES", .control = kIdWaveList, .kind = Kind::kWaveList, .loadStep = 6,
     .label = "Wave coloring",
     .help = "the HSB wave list: lines TYPE<TAB>PERIOD with TYPE H (hue), S (saturation), B "
             "(brightness) or W (colour bands) and PERIOD a whole number of colour indices (H, S, "
             "B; negative: the constant level -PERIOD/100) or of iterations (W), not 0; at most 60 "
             "waves are used. Written only while wave colouring is on, and loading it turns wave "
             "colouring on",
     .lineFormat = ListLineFormat::kWave},
    {.key = "LONGWAVES", .control = kIdLongWaveList, .kind = Kind::kLongWaveList, .loadStep = 7,
     .label = "Long waves",
     .help = "the long colour wave list: lines R,G,B<TAB>PERIOD<TAB>PERCENT, a colour (each 0 "
             "to 255) laid over the picture in bumps PERIOD iterations wide (1 or more) at "
             "PERCENT strength (0 to 100); lines are joined by \":\" in the file",
     .lineFormat = ListLineFormat::kLongWave},
    {.key = "DIR", .control = kIdDirectory, .kind = Kind::kFolder, .loadStep = 8,
     .label = "Directory",
     .help = "the key frame folder; loading it does not read the folder again (the command "
             "line's FOLDER wins over it)",
     .maxLength = 249},
    {.key = "FPS", .control = kIdFps, .kind = Kind::kWholeNumber, .loadStep = 9,
     .defaultValue = "30", .min = 1, .max = 1000, .label = "FPS",
     .help = "movie frames per second", .unit = "frames a second"},
    {.key = "Slope", .control = kIdSlopes, .kind = Kind::kCheck, .loadStep = 11,
     .defaultValue = "0", .label = "Slope",
     .help = "slope shading"},
    {.key = "SlopePower", .control = kIdSlopePower, .kind = Kind::kDecimal, .loadStep = 12,
     .label = "Slope ^",
     .help = "the depth of the slope shadows (the dialog starts empty, which reads as 0; the "
             "Distance colour method uses 1)",
     .low = 0.0, .high = 1000.0, .emptyAllowed = true},
    {.key = "SlopeRatio", .control = kIdSlopeRatio, .kind = Kind::kDecimal, .loadStep = 13,
     .label = "Slope %",
     .help = "the strength of the slope shadows (empty reads as 0)",
     .low = 0.0, .high = 100.0, .unit = "percent", .emptyAllowed = true},
    {.key = "FPM", .control = kIdFramesPerMovie, .kind = Kind::kWholeNumber, .loadStep = 10,
     .label = "Frames per movie",
     .help = "movie frames per movie file (0 or empty: the movie in one file); a new movie width "
             "(MSZ) proposes it anew",
     .unit = "movie frames a file", .emptyAllowed = true},
    {.key = "ZOL", .control = kIdZoomOutLevel, .kind = Kind::kChoice, .loadStep = 14,
     .defaultValue = "0", .choices = kZoomOutLevels, .label = "Zoom out level",
     .help = "the zoom factor between consecutive key frames: 0 for 2, 1 for 4, 2 for 8, 3 for "
             "16, 4 for the factor --zoom-size gives (make-keyframes --zoom-factor 4 needs "
             "ZOL=1)"},
    {.key = "TimeType", .control = kIdTimeType, .kind = Kind::kChoice, .loadStep = 16,
     .defaultValue = "0", .choices = kTimeTypes, .label = "Speed control",
     .help = "how the speed list reads: 0 speeds, 1 time stamps, 2 time stamps whose speeds "
             "change without smooth transitions"},
    {.key = "MergeFrames", .control = kIdMergeCount, .kind = Kind::kChoice, .loadStep = 15,
     .defaultValue = "4", .choices = kMergeCounts, .label = "Merge Count",
     .help = "key frames merged into one movie frame, less one: 0 to 15"},
    {.key = "SZT", .control = kIdShowZoomText, .kind = Kind::kCheck, .loadStep = 18,
     .defaultValue = "1", .label = "Show zoom text",
     .help = "the zoom level drawn on every frame: 1 on, 0 off"},
    {.key = "SCT", .control = kIdSmoothColoring, .kind = Kind::kCheck, .loadStep = 20,
     .defaultValue = "1", .label = "Smooth color transitions",
     .help = "smooth colour transitions: 1 on, 0 off"},
    {.key = "SMD", .control = kIdStopOnLastFrame, .kind = Kind::kCheck, .loadStep = 21,
     .defaultValue = "0", .label = "Stop movie directly on last frame",
     .help = "the movie ends on the deepest key frame instead of zooming into it: 1 on, 0 off"},
    {.key = "MSZ", .control = kIdMovieWidth, .kind = Kind::kWholeNumber, .loadStep = 22,
     .min = 2, .max = 16384, .label = "Movie size",
     .help = "the movie width; it sets the height to width * 360 / 640 and proposes the frames "
             "per movie file. With rotation the movie file is half as wide and high",
     .unit = "pixels"},
    {.key = "BIT", .control = kIdColorBits, .kind = Kind::kColorBits, .loadStep = 23,
     .defaultValue = "24", .choices = kColorBits, .label = "Code color bits",
     .help = "bits per pixel of the frames handed to the AVI compressor: 24 or 32"},
    {.key = "COL", .control = kIdColorMethod, .kind = Kind::kChoice, .loadStep = 17,
     .defaultValue = "0", .choices = kColorMethods, .label = "Color method",
     .help = "how iteration counts become colour indices: 0 Standard, 1 Square root, 2 Cubic "
             "root, 3 Logarithm, 4 Stretched, 5 Distance"},
    {.key = "FONT", .control = kIdFontFace, .kind = Kind::kText, .loadStep = 19,
     .defaultValue = "Courier New", .label = "Font",
     .help = "the font face of the zoom text, as fontconfig names it",
     .maxLength = kMaxFontFaceLength},
    {.key = "TEXTURE", .control = kIdTexture, .kind = Kind::kCheck, .loadStep = 24,
     .defaultValue = "0", .label = "Texture",
     .help = "a texture picture laid over the colours: 1 on, 0 off"},
    {.key = "TEXTUREDEPTH", .control = kIdTextureDepth, .kind = Kind::kDecimal, .loadStep = 25,
     .label = "Texture ^",
     .help = "the depth of the texture (empty reads as 0)", .low = 0.0, .high = 100000.0,
     .emptyAllowed = true},
    {.key = "TEXTURESTRENGTH", .control = kIdTextureStrength, .kind = Kind::kDecimal,
     .loadStep = 26, .label = "Texture %",
     .help = "the strength of the texture, truncated to a whole number (empty reads as 0)",
     .low = 0.0, .high = 1000.0, .unit = "percent", .emptyAllowed = true},
    {.key = "TEXTUREMERGE", .control = kIdTextureMerge, .kind = Kind::kDecimal, .loadStep = 27,
     .label = "Texture merge %",
     .help = "how much of the texture is merged with the palette (empty reads as 0)",
     .low = 0.0, .high = 100.0, .unit = "percent", .emptyAllowed = true},
    {.key = "TEXTUREFILE", .control = kIdTextureFile, .kind = Kind::kTextureFile, .loadStep = 28,
     .label = "File...",
     .help = "the texture picture, a JPEG file", .maxLength = kMaxPathLength},
    {.key = "TEXTURE_MULTI", .control = kIdTextureMulti, .kind = Kind::kCheck, .loadStep = 29,
     .defaultValue = "0", .label = "Multi",
     .help = "every JPEG picture in the texture picture's folder, one after another: 1 on, 0 "
             "off"},
    // The movie file and its soundtrack, kept only when chosen.
    {.key = "MOVIEFILE", .control = kIdMovieFile, .kind = Kind::kText, .loadStep = 30,
     .flag = "--output", .valueName = "FILE", .label = "Movie file",
     .help = "the movie file; its extension chooses the container: .avi, .mp4, .mkv (Matroska), "
             ".mov (QuickTime), .webm. render writes FOLDER/film.avi unless told otherwise, and "
             "split files add _01, _02, ... to the name; join writes FOLDER/film_joined with the "
             "split files' extension. A relative FILE is taken from the current folder (in a "
             "settings file, from the key frame folder)",
     .flagValue = FlagValueKind::kFile, .omittedWhenEmpty = true, .movieFile = true},
    {.key = "CODEC", .control = kIdVideoCodec, .kind = Kind::kText, .loadStep = 31,
     .flag = "--codec", .valueName = "NAME", .label = "Codec",
     .help = "the video codec: h264, h265, av1, vp9, prores or ffv1 (default h264, vp9 for "
             "WebM); for AVI a compressor's four-character code (default MJPG, Motion JPEG). "
             "\"zoomreel-cli codecs\" lists what each container takes",
     .flagValue = FlagValueKind::kCodec, .omittedWhenEmpty = true, .movieFile = true},
    {.key = "CRF", .control = kIdCrf, .kind = Kind::kWholeNumber, .loadStep = 32, .max = 63,
     .flag = "--crf", .valueName = "N", .label = "CRF",
     .help = "constant quality: lower is better and larger (not for AVI); each codec has its own "
             "scale, h264 and h265 0 to 51, vp9 and av1 0 to 63 (\"zoomreel-cli codecs\" lists "
             "them)",
     .omittedWhenEmpty = true, .movieFile = true,
     .unit = "the codec's scale (h264, h265 0 to 51; av1 1 to 63; vp9 0 to 63)",
     .emptyAllowed = true},
    {.key = "PRESET", .control = kIdPreset, .kind = Kind::kText, .loadStep = 33,
     .flag = "--preset", .valueName = "NAME", .label = "Preset",
     .help = "encoder speed against size (h264, h265: ultrafast ... veryslow; av1: 0 ... 13; "
             "vp9: best, good, realtime; prores: proxy, lt, standard, hq, 4444, 4444xq)",
     .flagValue = FlagValueKind::kPreset, .omittedWhenEmpty = true, .movieFile = true},
    {.key = "PIXFMT", .control = kIdPixelFormat, .kind = Kind::kText, .loadStep = 34,
     .flag = "--pix-fmt", .valueName = "FORMAT", .label = "Pixel format",
     .help = "yuv420p (default, plays everywhere), yuv444p, yuv420p10le, ...",
     .flagValue = FlagValueKind::kPixelFormat, .omittedWhenEmpty = true, .movieFile = true},
    {.key = "SOUND", .control = kIdSoundFile, .kind = Kind::kText, .loadStep = 35,
     .flag = "--audio", .valueName = "FILE", .label = "Sound...",
     .help = "a soundtrack: any sound file FFmpeg reads, cut at the movie's end with a short "
             "fade-out (render: MP4, Matroska, QuickTime and WebM files, each split file with "
             "its own stretch of it)",
     .flagValue = FlagValueKind::kFile, .omittedWhenEmpty = true, .movieFile = true},
    {.key = "SOUNDOFFSET", .control = kIdSoundOffset, .kind = Kind::kDecimal, .loadStep = 36,
     .flag = "--audio-offset", .valueName = "S", .label = "Offset",
     .help = "the soundtrack begins S seconds into the movie (negative: the movie begins S "
             "seconds into the soundtrack)",
     .omittedWhenEmpty = true, .movieFile = true, .low = -86400.0, .high = 86400.0,
     .unit = "seconds", .emptyAllowed = true},
    {.key = "SubpixelZoom", .control = kIdSubpixelZoom, .kind = Kind::kCheck, .loadStep = 37,
     .defaultValue = "0", .flag = "--subpixel-zoom", .label = "Sub-pixel zoom",
     .help = "zooms without a tremor: the view, the merged key frames and left scrolling are "
             "placed at exact sub-pixel positions instead of whole pixels, so every zoom step is "
             "alike. Off by default; a render takes about 1.2 to 1.4 times as long with it",
     .omittedAtDefault = true},
    {.key = "Supersample", .control = kIdSupersample, .kind = Kind::kWholeNumber, .loadStep = 38,
     .defaultValue = "1", .min = 1, .max = kMaxSupersample, .flag = "--supersample",
     .valueName = "N", .label = "Supersample",
     .help = "only together with sub-pixel zoom (alone it changes nothing): averages N x N "
             "samples for each movie pixel, softer frames with less shimmer on fine detail; each "
             "frame is then cut out of a composed picture, which takes about 1.7 times as long as "
             "the whole-pixel cut at 2 and 2.3 times at 4",
     .omittedAtDefault = true, .unit = "samples a side"},

    // What the settings file does not store: the command line sets it with flags.
    {.control = kIdStartFrame, .kind = Kind::kWholeNumber, .defaultValue = "0",
     .flag = "--start-frame", .valueName = "K", .label = "Start frame",
     .help = "the key frame at which the run begins (0 is the widest)", .emptyAllowed = true},
    {.control = kIdStartCycle, .kind = Kind::kDecimal, .flag = "--start-cycle",
     .valueName = "X", .label = "Start cycle value",
     .help = "the colour cycle offset at the start, in palette entries (default 0)",
     .low = -1e9, .high = 1e9, .emptyAllowed = true},
    {.control = kIdStartRotation, .kind = Kind::kDecimal, .flag = "--start-rotation",
     .valueName = "X", .label = "Start rotation value",
     .help = "the rotation at the start (default 0); with slope shading it turns the slopes' "
             "light too",
     .low = -1e9, .high = 1e9, .unit = "degrees", .emptyAllowed = true,
     .maxLength = kMaxStartRotationText},
    {.control = kIdStartIteration, .kind = Kind::kWholeNumber, .max = 4294967295LL,
     .flag = "--start-iteration",
     .valueName = "N", .label = "Start iter value",
     .help = "the iteration value at the start, for a movie made in parts (0: not set)",
     .emptyAllowed = true},
    {.control = kIdMovieHeight, .kind = Kind::kWholeNumber, .min = 1, .max = 16384,
     .flag = "--movie-height", .valueName = "H", .label = "Movie size",
     .help = "the movie height, instead of the one the width proposes", .unit = "pixels"},
    {.control = kIdInsideColor, .kind = Kind::kInsideColor, .flag = "--inside-color",
     .valueName = "R,G,B", .label = "M-Color",
     .help = "the colour of the points inside the set (default black)"},
    {.control = kIdFrameByFrame, .kind = Kind::kCheck, .flag = "--frame-by-frame",
     .label = "Frame by frame",
     .help = "every key frame becomes one movie frame"},
    {.control = kIdEllipticRegion, .kind = Kind::kCheck, .flag = "--elliptic",
     .label = "Elliptic Region",
     .help = "key frames merged within an ellipse"},
    {.control = kIdFixedColorCycling, .kind = Kind::kCheck, .flag = "--fixed-cycling",
     .label = "Fixed color cycling",
     .help = "fixed colour cycling"},
    {.control = kIdLeftScrolling, .kind = Kind::kCheck, .flag = "--left-scrolling",
     .label = "Left scrolling",
     .help = "the key frames taken in the opposite order"},
    {.control = kIdAspect43, .kind = Kind::kCheck, .flag = "--aspect43", .label = "4:3",
     .help = "frames of 4:3 shape"},
    {.control = kIdDivideSlopes, .kind = Kind::kCheck, .flag = "--div-slopes", .label = "Div",
     .help = "the colour division applied to the slopes too"},
    {.control = kIdTestOnly, .kind = Kind::kCheck, .flag = "--test-only", .label = "Test only",
     .help = "no movie file is written"},
    {.control = kIdSkipRender, .kind = Kind::kCheck, .flag = "--skip-render",
     .label = "Skip render",
     .help = "nothing is rendered; the time of each speed list line is reported"},
    {.control = kIdDumpImages, .kind = Kind::kCheck, .flag = "--dump-images",
     .label = "Dump images",
     .help = "every movie frame also saved as a JPEG picture in the folder, while the movie turns "
             "(a ROTATE line or a start rotation); without rotation nothing is saved"},
    {.control = kIdWaveColoring, .kind = Kind::kCheck, .flag = "--wave-coloring",
     .label = "Wave coloring",
     .help = "the HSB waves of the wave list on"},
};
// clang-format on
#pragma GCC diagnostic pop

// Each stored parameter has its own load step, 1 to the number of stored parameters.
constexpr bool loadStepsArePermutation() {
    int stored = 0;
    for (const Parameter& parameter : kParameters) {
        stored += parameter.key.empty() ? 0 : 1;
    }
    for (int step = 1; step <= stored; ++step) {
        int found = 0;
        for (const Parameter& parameter : kParameters) {
            found += (!parameter.key.empty() && parameter.loadStep == step) ? 1 : 0;
        }
        if (found != 1)
            return false;
    }
    return true;
}
static_assert(loadStepsArePermutation());

std::string joinLines(const std::vector<std::string>& lines, char separator) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined += separator;
        joined += lines[i];
    }
    return joined;
}

// Replaces the lines of a list with the pieces of `value`, unless there are too many of them.
void replaceLines(Controls& controls, const Parameter& parameter, std::string_view value,
                  char separator, std::vector<std::string>* notes) {
    const std::size_t separators =
        static_cast<std::size_t>(std::count(value.begin(), value.end(), separator));
    if (value.size() > kMaxListBytes || separators >= kMaxListLines) {
        if (notes != nullptr) {
            notes->push_back("The " + std::string(parameter.key) + " list has more than " +
                             std::to_string(kMaxListLines) + " lines or " +
                             std::to_string(kMaxListBytes >> 10) +
                             " KiB of text; the list was left unchanged.");
        }
        return;
    }
    controls.clearLines(parameter.control);
    forEachPiece(value, separator,
                 [&](std::string_view line) { controls.addLine(parameter.control, line); });
}

}  // namespace

std::span<const Parameter> parameters() {
    return kParameters;
}

const Parameter* parameterWithKey(std::string_view key) {
    if (key.empty())
        return nullptr;
    const auto found = std::find_if(std::begin(kParameters), std::end(kParameters),
                                    [&](const Parameter& p) { return p.key == key; });
    return found == std::end(kParameters) ? nullptr : found;
}

const Parameter* parameterWithFlag(std::string_view flag) {
    if (flag.empty())
        return nullptr;
    const auto found = std::find_if(std::begin(kParameters), std::end(kParameters),
                                    [&](const Parameter& p) { return p.flag == flag; });
    return found == std::end(kParameters) ? nullptr : found;
}

const Parameter* parameterOfControl(int control) {
    const auto found = std::find_if(std::begin(kParameters), std::end(kParameters),
                                    [&](const Parameter& p) { return p.control == control; });
    return found == std::end(kParameters) ? nullptr : found;
}

std::vector<const Parameter*> parametersInLoadOrder() {
    std::vector<const Parameter*> stored;
    for (const Parameter& parameter : kParameters) {
        if (!parameter.key.empty())
            stored.push_back(&parameter);
    }
    std::sort(stored.begin(), stored.end(),
              [](const Parameter* a, const Parameter* b) { return a->loadStep < b->loadStep; });
    return stored;
}

std::string parameterValue(const Controls& controls, const Parameter& parameter) {
    switch (parameter.kind) {
        case Kind::kSpecList:
        case Kind::kWaveList:
            return joinLines(controls.lines(parameter.control), ',');
        case Kind::kLongWaveList:
            return joinLines(controls.lines(parameter.control), ':');
        case Kind::kFolder:
        case Kind::kWholeNumber:
        case Kind::kDecimal:
        case Kind::kText:
            return controls.text(parameter.control);
        case Kind::kCheck:
            return controls.checked(parameter.control) ? "1" : "0";
        case Kind::kChoice:
            return std::to_string(controls.selection(parameter.control));
        case Kind::kColorBits:
            return controls.selection(parameter.control) == 1 ? "32" : "24";
        case Kind::kTextureFile:
            return controls.text(parameter.control);
        case Kind::kInsideColor:
            break;
    }
    return {};
}

void applyParameterValue(Controls& controls, const Parameter& parameter, std::string_view value,
                         std::vector<std::string>* notes) {
    switch (parameter.kind) {
        case Kind::kSpecList:
            replaceLines(controls, parameter, value, ',', notes);
            break;
        case Kind::kWaveList:
            replaceLines(controls, parameter, value, ',', notes);
            controls.setChecked(kIdWaveColoring, true);
            break;
        case Kind::kLongWaveList:
            replaceLines(controls, parameter, value, ':', notes);
            break;
        case Kind::kFolder:
        case Kind::kWholeNumber:
        case Kind::kDecimal:
        case Kind::kText:
            controls.setText(parameter.control, value);
            break;
        case Kind::kCheck:
            controls.setChecked(parameter.control, readInt(value) != 0);
            break;
        case Kind::kChoice:
            controls.setSelection(parameter.control, readInt(value));
            break;
        case Kind::kColorBits:
            controls.setSelection(parameter.control, readInt(value) == 32 ? 1 : 0);
            break;
        case Kind::kTextureFile:
            if (value.size() > kMaxPathLength) {
                if (notes != nullptr) {
                    notes->push_back("The texture file path is longer than " +
                                     std::to_string(kMaxPathLength) +
                                     " characters; the texture file was left unchanged.");
                }
                break;
            }
            controls.setText(parameter.control, value);
            break;
        case Kind::kInsideColor:
            if (const std::optional<std::uint32_t> color = parseColorTriple(value))
                controls.setInsideColor(*color);
            break;
    }
}

void applyDefaultValue(Controls& controls, const Parameter& parameter) {
    applyParameterValue(controls, parameter, parameter.defaultValue, nullptr);
}

std::optional<std::uint32_t> parseColorTriple(std::string_view text) {
    std::uint32_t color = 0;
    for (int channel = 0; channel < 3; ++channel) {
        const std::size_t comma = text.find(',');
        const bool last = channel == 2;
        if (last != (comma == std::string_view::npos))
            return std::nullopt;
        const std::optional<long long> value = parseInteger(text.substr(0, comma), 0, 255);
        if (!value)
            return std::nullopt;
        color |= static_cast<std::uint32_t>(*value) << (8 * channel);
        if (!last)
            text.remove_prefix(comma + 1);
    }
    return color;
}

std::optional<long long> parseInteger(std::string_view text, long long min, long long max) {
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    long long value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<double> parseDecimal(std::string_view text) {
    const std::string copy(text);
    if (copy.empty() || std::isspace(static_cast<unsigned char>(copy.front())))
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace zr
