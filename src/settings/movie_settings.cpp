#include "settings/movie_settings.h"

namespace zr {

MovieSettings::MovieSettings() { hsbWaves[0].endFlag = 1; }

MovieSettings& movieSettings() {
    static MovieSettings record;
    return record;
}

void resetMovieSettings() {
    MovieSettings& s = movieSettings();
    const MovieSettings initial;
    s.folderPattern = initial.folderPattern;
    s.keyFrameCount = initial.keyFrameCount;
    s.fps = initial.fps;
    s.framesPerMovie = initial.framesPerMovie;
    s.movieWidth = initial.movieWidth;
    s.movieHeight = initial.movieHeight;
    s.bitsPerPixel = initial.bitsPerPixel;
    s.zoomFactor = initial.zoomFactor;
    s.mergeCount = initial.mergeCount;
    s.startCycle = initial.startCycle;
    s.startRotation = initial.startRotation;
    s.rotationActive = initial.rotationActive;
    s.stopOnLastFrame = initial.stopOnLastFrame;
    s.frameByFrame = initial.frameByFrame;
    s.testOnly = initial.testOnly;
    s.skipRender = initial.skipRender;
    s.ellipticRegion = initial.ellipticRegion;
    s.leftScrolling = initial.leftScrolling;
    s.aspect43 = initial.aspect43;
    s.colorMethod = initial.colorMethod;
    s.smoothColoring = initial.smoothColoring;
    s.fixedColorCycling = initial.fixedColorCycling;
    s.insideColor = initial.insideColor;
    s.waveColoring = initial.waveColoring;
    s.slopes = initial.slopes;
    s.slopePower = initial.slopePower;
    s.slopeRatio = initial.slopeRatio;
    s.divideSlopes = initial.divideSlopes;
    s.texture = initial.texture;
    s.textureDepth = initial.textureDepth;
    s.textureStrength = initial.textureStrength;
    s.textureMerge = initial.textureMerge;
    s.textureFile = initial.textureFile;
    s.textureFiles.clear();
    s.showZoomText = initial.showZoomText;
    s.fontFace = initial.fontFace;
    s.speedSpecs.clear();
    s.rotateSpecs.clear();
    s.cycleSpecs.clear();
    s.divideSpecs.clear();
    s.colorCountSpecs.clear();
    s.hsbWaves = initial.hsbWaves;
    s.longWaves = initial.longWaves;
    s.running = 0;
    s.stopRequested = 0;
    s.colorDivision = initial.colorDivision;
    s.keyColorCount = initial.keyColorCount;
    s.stretchMin = initial.stretchMin;
    s.stretchMax = initial.stretchMax;
    s.maxIteration = initial.maxIteration;
    s.divisionFromKeyFrame = initial.divisionFromKeyFrame;
    s.colorsFromKeyFrame = initial.colorsFromKeyFrame;
    s.keyColors = initial.keyColors;
    s.palette = initial.palette;
}

std::mutex& cacheLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace zr
