#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr {

// Identifiers of the main dialog's controls. Code and tests address controls by these.
enum ControlId : int {
    kIdStart = 1,
    kIdExit = 2,
    kIdDirectory = 1000,
    kIdBrowseFolder = 1001,
    kIdSpeedList = 1002,
    kIdSpeedKey = 1003,
    kIdSpeedValue = 1004,
    kIdSpeedAdd = 1005,
    kIdSpeedUpdate = 1006,
    kIdSpeedRemove = 1007,
    kIdRotateList = 1008,
    kIdSpeedGroup = 1009,
    kIdStatus = 1010,
    kIdFrameWidth = 1011,
    kIdFrameHeight = 1012,
    kIdMovieWidth = 1013,
    kIdMovieHeight = 1014,
    kIdZoomOutLevel = 1015,
    kIdFramesPerMovie = 1016,
    kIdFps = 1017,
    kIdTimeType = 1018,
    kIdTestOnly = 1020,
    kIdAbout = 1021,
    kIdSpeedFrameNum = 1022,
    kIdRotateGroup = 1023,
    kIdShowZoomText = 1024,
    kIdFont = 1025,
    kIdFontFace = 1026,
    kIdMovieLength = 1027,
    kIdSmoothColoring = 1028,
    kIdRotateKey = 1029,
    kIdRotateValue = 1030,
    kIdRotateAdd = 1031,
    kIdRotateUpdate = 1032,
    kIdRotateRemove = 1033,
    kIdRotateFrameNum = 1034,
    kIdCycleList = 1035,
    kIdCycleGroup = 1036,
    kIdCycleKey = 1037,
    kIdCycleValue = 1038,
    kIdCycleAdd = 1039,
    kIdCycleUpdate = 1040,
    kIdCycleRemove = 1041,
    kIdCycleFrameNum = 1042,
    kIdDivideList = 1043,
    kIdDivideGroup = 1044,
    kIdDivideKey = 1045,
    kIdDivideValue = 1046,
    kIdDivideAdd = 1047,
    kIdDivideUpdate = 1048,
    kIdDivideRemove = 1049,
    kIdDivideFrameNum = 1050,
    kIdSaveSettings = 1051,
    kIdLoadSettings = 1052,
    kIdStopOnLastFrame = 1053,
    kIdColorBits = 1054,
    kIdColorCountList = 1055,
    kIdColorCountGroup = 1056,
    kIdColorCountKey = 1057,
    kIdColorCountValue = 1058,
    kIdColorCountAdd = 1059,
    kIdColorCountUpdate = 1060,
    kIdColorCountRemove = 1061,
    kIdColorCountFrameNum = 1062,
    kIdColorCountLabel = 1063,
    kIdColors = 1064,
    kIdAspect43 = 1065,
    kIdColorMethod = 1066,
    kIdStartFrame = 1067,
    kIdWaveList = 1068,
    kIdWaveGroup = 1069,
    kIdWaveType = 1070,
    kIdWavePeriodLabel = 1071,
    kIdWavePeriod = 1072,
    kIdWaveAdd = 1073,
    kIdWaveUpdate = 1074,
    kIdWaveRemove = 1075,
    kIdWaveColoring = 1076,
    kIdWaveTypeLetter = 1077,
    kIdWavePrime = 1078,
    kIdFrameByFrame = 1079,
    kIdStartIteration = 1080,
    kIdSkipRender = 1081,
    kIdTest = 1085,
    kIdWaveSeed = 1086,
    kIdLeftScrolling = 1089,
    kIdFixedColorCycling = 1090,
    kIdLongWaveList = 1091,
    kIdLongWaveGroup = 1092,
    kIdLongWaveColorText = 1093,
    kIdLongWavePeriod = 1094,
    kIdLongWaveAdd = 1095,
    kIdLongWaveUpdate = 1096,
    kIdLongWaveRemove = 1097,
    kIdLongWaveColor = 1098,
    kIdMergeCount = 1099,
    kIdLongWavePercent = 1100,
    kIdStartCycle = 1101,
    kIdSlopes = 1102,
    kIdSlopePower = 1103,
    kIdSlopeRatio = 1104,
    kIdStartRotation = 1105,
    kIdCurrentCycle = 1106,
    kIdCurrentRotation = 1107,
    kIdCurrentIteration = 1108,
    kIdTexture = 1109,
    kIdInsideColor = 1110,
    kIdDivideSlopes = 1111,
    kIdEllipticRegion = 1112,
    kIdTextureDepth = 1113,
    kIdTextureStrength = 1114,
    kIdTextureChoose = 1115,
    kIdTextureFile = 1116,
    kIdTextureMerge = 1117,
    kIdTextureMulti = 1118,
    kIdDumpImages = 1119,
    kIdMovieFile = 1120,
    kIdMovieFileChoose = 1121,
    kIdSoundFile = 1122,
    kIdSoundChoose = 1123,
    kIdSoundOffset = 1124,
    kIdVideoCodec = 1125,
    kIdCrf = 1126,
    kIdPreset = 1127,
    kIdPixelFormat = 1128,
    kIdSubpixelZoom = 1129,
    kIdSupersample = 1130,
};

// The dialog's controls, the working copy of the settings, addressed by identifier. The Qt
// dialog and the in-memory controls of the command line and the tests implement it; the
// settings file, the Start conversion, Test and the list controllers are written against it.
class Controls {
  public:
    virtual ~Controls() = default;

    // Text of an edit (or caption of a button). Setting it fires the change handling that
    // typing would: a movie width sets the height and "Frames per movie", FPS recomputes the
    // movie length estimate.
    virtual std::string text(int id) const = 0;
    virtual void setText(int id, std::string_view text) = 0;

    // Check state of a check box. Setting it does not fire the click handling.
    virtual bool checked(int id) const = 0;
    virtual void setChecked(int id, bool checked) = 0;

    // Selected entry of a drop-down list or list box; -1 when none. Setting a position out of
    // range leaves the control without a selection.
    virtual int selection(int id) const = 0;
    virtual void setSelection(int id, int index) = 0;
    // Number of entries of a drop-down list or lines of a list box.
    virtual int entryCount(int id) const = 0;

    // Lines of a list box, in list order.
    virtual std::vector<std::string> lines(int id) const = 0;
    virtual void clearLines(int id) = 0;
    virtual void addLine(int id, std::string_view line) = 0;
    virtual void replaceLine(int id, int index, std::string_view line) = 0;
    virtual void removeLine(int id, int index) = 0;

    // The "Zoom size(float value)" input box of "Custom..."; none when cancelled.
    virtual std::optional<std::string> askZoomSize() = 0;

    // Recomputes the movie length estimate with keyFrameCount and the FPS edit's value (after
    // a folder choice; after the speed list changed). The same work a new FPS text does.
    virtual void recomputeMovieLength() {}

    // Values the dialog keeps without a control that shows them.

    // The zoom factor that "Custom..." stands for: the last value confirmed in the "Zoom
    // size(float value)" box (a typed 0 counting as 2), 2 until one is confirmed.
    double customZoomFactor() const { return customZoomFactor_; }
    void setCustomZoomFactor(double factor) { customZoomFactor_ = factor; }
    // The colour of the pixels inside the set, 0x00BBGGRR, chosen with "M-Color".
    std::uint32_t insideColor() const { return insideColor_; }
    void setInsideColor(std::uint32_t color) { insideColor_ = color; }
    // The number of key frames of the chosen folder (at least 1).
    int keyFrameCount() const { return keyFrameCount_; }
    void setKeyFrameCount(int count) { keyFrameCount_ = count; }

  private:
    double customZoomFactor_ = 2.0;
    std::uint32_t insideColor_ = 0;
    int keyFrameCount_ = 1;
};

// Numbers typed into the dialog read leniently, like the C library's atoi and atof.
int readInt(std::string_view text);
double readDouble(std::string_view text);
inline int controlInt(const Controls& controls, int id) {
    return readInt(controls.text(id));
}
inline double controlDouble(const Controls& controls, int id) {
    return readDouble(controls.text(id));
}

}  // namespace zr
