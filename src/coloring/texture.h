#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "keyframes/key_frame.h"
#include "settings/movie_spec.h"
#include "support/frame_image.h"

namespace zr {

// The texture stage: a picture blended into every coloured pixel, sampled at a point that the
// slope of the smooth values displaces, and zoomed with the key frame so that it stays fixed
// to the fractal. With "Multi" the pictures of the texture's folder follow one another, each
// cross-fading into the next.
//
// Which texture a run holds is part of the run's state (TexturePosition): the picture, where the
// cross-fade stands and how the held texture was made (TextureRecipe). The pictures themselves
// come from a TextureStore, which makes each held texture once from its recipe; so a run brought
// forward without making pictures holds exactly the texture a full run holds at that frame.

// How the held texture was made: `file` scaled to width x height, while a cross-fade runs
// blended with `incoming` (percent is the share of `file`), then turned back by `turnDegrees`.
struct TextureRecipe {
    enum class Turn {
        kNone,
        kAboutCorner,  // when the texture is first made: about (w/2 - 1, h/2 - 1)
        kAboutCentre,  // after a frame that turned the picture: about (w/2, h/2)
    };
    std::string file;
    std::string incoming;  // empty: no blend (no cross-fade, or the next picture did not load)
    int percent = 0;
    int width = 0;
    int height = 0;
    Turn turn = Turn::kNone;
    double turnDegrees = 0.0;
    bool operator==(const TextureRecipe&) const = default;
};

// Where a run stands in its texture pictures, and the texture it holds.
struct TexturePosition {
    int index = 0;     // current picture of the movie's textureFiles
    int fade = 0;      // movie frames left of the cross-fade under way; 0: none
    std::string file;  // the current texture picture
    // A texture picture that could not be loaded: the stage is off while it is the current one.
    std::optional<std::string> failedFile;
    bool held = false;  // a texture has been made; `recipe` says how
    TextureRecipe recipe;
    bool operator==(const TexturePosition&) const = default;
};

// Loads texture pictures and makes textures from recipes, keeping the last ones. Used by one
// thread at a time (the run's, or Test's); the textures it hands out are never changed.
class TextureStore {
  public:
    // The picture at `path` at its own size; none when it cannot be loaded.
    std::shared_ptr<const FrameImage> picture(const std::string& path);
    // The texture of `recipe`; none when its file cannot be loaded or the size is not positive.
    std::shared_ptr<const FrameImage> texture(const TextureRecipe& recipe);

  private:
    std::shared_ptr<const FrameImage> scaled(const std::string& path, int width, int height);

    struct Loaded {
        std::string path;
        std::shared_ptr<const FrameImage> picture;  // none: the file did not load
    };
    struct Scaled {
        std::string path;
        int width = 0;
        int height = 0;
        std::shared_ptr<const FrameImage> picture;
    };
    std::mutex lock_;
    std::list<Loaded> loaded_;  // most recent first, at most a few
    std::list<Scaled> scaled_;
    TextureRecipe lastRecipe_;
    std::shared_ptr<const FrameImage> lastTexture_;
};

// The steps of the texture stage. `spec` is the movie's texture; each step changes `position`
// only (the store is asked whether pictures load).

// The position a run starts from: the movie's texture file, nothing held.
TexturePosition startingTexture(const TextureSpec& spec);

// Empty when the texture pictures the movie uses can be read (or it uses none), else what is
// wrong with the first that cannot: "texture file \"/a/b.jpg\" cannot be read: No such file
// or directory". Without a readable picture the stage is off and the movie is made without
// texture, which a user who asked for one must be told.
std::string textureProblem(const TextureSpec& spec);

// Before the first colouring that needs a texture while none is held: the texture for key frames
// of width x height, larger by a margin that grows with the depth, and turned back by the
// rotation when the rotation list has rows. A file that cannot be loaded turns the stage off
// until the current picture changes.
void prepareTexture(const TextureSpec& spec, int fps, bool rotationListHasRows,
                    TexturePosition& position, TextureStore& store, int width, int height,
                    double rotation);
// Start of key frame `keyFrame` of `keyFrameCount`: with a texture folder, when the key frame
// reaches the next picture's share of the movie, a cross-fade of fps - 1 movie frames begins.
void textureKeyFrameStep(const TextureSpec& spec, int fps, TexturePosition& position, int keyFrame,
                         int keyFrameCount);
// After a frame written while rotating, the rotation having advanced: the held texture is made
// again (continuing a cross-fade) and turned back by the rotation about its centre.
void textureRotationStep(const TextureSpec& spec, int fps, TexturePosition& position,
                         TextureStore& store, double rotation);
// After a frame written without rotation: while a cross-fade runs, the held texture is made
// again one frame further into the fade.
void textureFadeStep(const TextureSpec& spec, int fps, TexturePosition& position,
                     TextureStore& store);

// The held texture of `position`, or none.
std::shared_ptr<const FrameImage> heldTexture(const TexturePosition& position, TextureStore& store);

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

}  // namespace zr
