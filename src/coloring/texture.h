#pragma once

#include <memory>

#include "keyframes/key_frame.h"
#include "settings/movie_settings.h"
#include "support/frame_image.h"

namespace zr {

// The texture stage: a picture blended into every coloured pixel, sampled at a point that the
// slope of the smooth values displaces, and zoomed with the key frame so that it stays fixed
// to the fractal. The prepared texture is shared by all colouring threads; it is made once,
// under a lock, by the first colouring that needs it, and replaced by the render job's steps
// only between movie frames.

// The prepared texture for a key frame of width x height: made now when none is held, from
// movieSettings().textureFile, scaled to the key frame's size plus the depth margin. Null when
// the file cannot be loaded: the stage is then off until the run ends or another texture file
// is chosen.
std::shared_ptr<const FrameImage> prepareTexture(int width, int height);

// One pixel's texture step with the settings read once, for use on a whole key frame.
struct TextureSampler {
    std::shared_ptr<const FrameImage> texture;
    double textureScale = 1.0;  // zoom of the key frame relative to the texture
    double depth = 200.0;       // textureDepth
    int strength = 100;         // textureStrength, percent
    double merge = 1.0;         // textureMerge, weight of the texture in the blend

    // Blends the texture pixel that the slope around (x, y) points at into the pixel.
    void apply(Bgr& pixel, int x, int y, const KeyFrame& frame) const;
};

// Run start: releases the prepared texture and forgets a texture file that failed to load.
void discardTexture();
// Start with "Multi": the first picture of the texture folder, no cross-fade under way.
void resetTexturePosition();
// Start of key frame `keyFrame` of `keyFrameCount`: with a texture folder, when the key frame
// reaches the next picture's share of the movie, a cross-fade of fps - 1 movie frames begins.
void textureKeyFrameStep(int keyFrame, int keyFrameCount);
// After a movie frame written while rotating, the rotation having advanced: the held texture
// is made again (continuing a cross-fade) and turned back by the rotation about its centre.
void textureRotationStep();
// After a movie frame written without rotation: while a cross-fade runs, the held texture is
// made again one frame further into the fade.
void textureFadeStep();

// The texture position: index of the current picture in movieSettings().textureFiles, and the
// movie frames left of the cross-fade under way (0: none).
int textureIndex();
int textureFadeFrames();
// True while a prepared texture is held.
bool textureHeld();

}  // namespace zr
