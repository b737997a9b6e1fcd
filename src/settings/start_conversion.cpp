#include "settings/start_conversion.h"

#include "settings/movie_settings.h"
#include "support/text_table.h"

namespace zr {

namespace {

template <typename Track>
void copyTrack(const Track& track, TextTable& table) {
    table.clear();
    for (const auto& row : track.rows()) {
        const int added = table.addRow() - 1;
        table.appendCell(added, row.keyText);
        table.appendCell(added, row.valueText);
    }
    table.buildIndex(0);
}

}  // namespace

bool prepareStart(Controls& controls, double zoomFactorInForce) {
    if (keyFramePattern(controls.text(kIdDirectory)).size() > kMaxPathLength)
        return false;  // Start refuses the folder before it asks anything
    if (selectionOr(controls, kIdZoomOutLevel, 0) == kCustomZoomEntry) {
        const std::optional<std::string> typed = controls.askZoomSize();
        if (typed) {
            const double value = readDouble(*typed);
            controls.setCustomZoomFactor(value == 0.0 ? 2.0 : value);
        } else {
            controls.setCustomZoomFactor(zoomFactorInForce);
        }
    }
    if (controls.checked(kIdTextureMulti)) {
        const std::vector<std::string> pictures =
            textureFolderPictures(controls.text(kIdTextureFile));
        if (!pictures.empty()) {
            controls.setText(kIdTextureFile, pictures.front());
            return true;
        }
    }
    return false;
}

void copySpecIntoRecord(const MovieSpec& spec, MovieSettings& s) {
    s.textureFiles.clear();
    for (const std::string& picture : spec.texture.textureFiles)
        s.textureFiles.appendCell(s.textureFiles.addRow() - 1, picture);
    s.textureFile = spec.texture.textureFile;
    s.waveColoring = spec.coloring.waveColoring ? 1 : 0;
    s.mergeCount = spec.zoom.mergeCount;
    s.bitsPerPixel = spec.output.bitsPerPixel;
    s.colorDivision = 1.0;
    s.zoomFactor = spec.zoom.zoomFactor;
    s.colorMethod = spec.coloring.colorMethod;
    s.startCycle = spec.start.startCycle;
    s.movieWidth = spec.output.movieWidth;
    s.movieHeight = spec.output.movieHeight;
    s.testOnly = spec.output.testOnly ? 1 : 0;
    s.ellipticRegion = spec.zoom.ellipticRegion ? 1 : 0;
    s.skipRender = spec.output.skipRender ? 1 : 0;
    s.divideSlopes = spec.coloring.divideSlopes ? 1 : 0;
    s.folderPattern = spec.output.folderPattern;
    s.showZoomText = spec.zoomText.showZoomText ? 1 : 0;
    s.smoothColoring = spec.coloring.smoothColoring ? 1 : 0;
    s.fixedColorCycling = spec.coloring.fixedColorCycling ? 1 : 0;
    s.stopOnLastFrame = spec.zoom.stopOnLastFrame ? 1 : 0;
    s.leftScrolling = spec.zoom.leftScrolling ? 1 : 0;
    s.frameByFrame = spec.zoom.frameByFrame ? 1 : 0;
    s.aspect43 = spec.output.aspect43 ? 1 : 0;
    s.fontFace = spec.zoomText.fontFace;
    s.insideColor = spec.coloring.insideColor;
    copyTrack(spec.timeline.speedSpecs, s.speedSpecs);
    copyTrack(spec.timeline.rotateSpecs, s.rotateSpecs);
    s.startRotation = spec.start.startRotation;
    s.rotationActive = spec.start.rotationActive ? 1 : 0;
    s.slopes = spec.coloring.slopes ? 1 : 0;
    s.slopePower = spec.coloring.slopePower;
    s.slopeRatio = spec.coloring.slopeRatio;
    copyTrack(spec.timeline.cycleSpecs, s.cycleSpecs);
    copyTrack(spec.timeline.divideSpecs, s.divideSpecs);
    copyTrack(spec.timeline.colorCountSpecs, s.colorCountSpecs);
    s.hsbWaves = spec.coloring.hsbWaves;
    s.longWaves = spec.coloring.longWaves;
    s.fps = spec.output.fps;
    s.framesPerMovie = spec.output.framesPerMovie;
    s.texture = spec.texture.texture ? 1 : 0;
    s.textureMerge = spec.texture.textureMerge;
    s.textureDepth = spec.texture.textureDepth;
    s.textureStrength = spec.texture.textureStrength;
}

StartConversionResult convertControlsForStart(Controls& controls) {
    MovieSettings& s = movieSettings();
    StartConversionResult result;
    result.texturePositionReset = prepareStart(controls, s.zoomFactor);
    MovieSpec previous;
    previous.coloring.hsbWaves = s.hsbWaves;
    MovieSpecResult built = buildMovieSpec(controls, previous);
    if (!built.ok()) {
        result.ok = false;
        result.errorKind = built.error.kind;
        result.message = built.error.message;
        result.focusControl = built.error.focusControl;
        return result;
    }
    result.spec = std::move(built.spec);
    copySpecIntoRecord(result.spec, s);
    return result;
}

}  // namespace zr
