#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keyframes/key_frame_cache.h"
#include "movie/frame_composer.h"
#include "movie/frame_loop.h"
#include "movie/zoom_text.h"
#include "support/frame_image.h"

namespace zr {

class RenderHost;
class RenderSession;

// The pictures of a run: the composed picture of the key frame shown, the movie frame cut out of
// it with its zoom text, and the picture that goes into the movie file. The render job makes its
// frames with one; so does anything that wants a single frame exactly as the run writes it.
class FrameRenderer {
  public:
    // `host` hears of key frame files that cannot be opened (none: nobody does).
    FrameRenderer(const MovieRun& run, RenderSession& session, RenderHost* host = nullptr);
    ~FrameRenderer();
    FrameRenderer(const FrameRenderer&) = delete;
    FrameRenderer& operator=(const FrameRenderer&) = delete;

    // The movie frame a run starts with, from the state at the start of the run: the widest key
    // frame coloured at cycle offset 0 (or its picture), scaled to the movie size; black when
    // there is neither. A frame whose key frame yields no picture shows it, or the frame before.
    void startRun(const RunState& startState);

    // Makes the composed picture of state.composition now.
    void compose(const RunState& state);

    // The pictures of one frame, valid until the next call.
    struct Frame {
        const FrameImage* preview = nullptr;    // what the preview shows
        const FrameImage* movieFile = nullptr;  // what the movie file gets
    };
    // Draws the movie frame (the view of the composed picture, or with left scrolling the
    // column it is copied from) with its zoom text, and gives the pictures to show and to
    // write. The composed picture is made first when the state's last composition is not the
    // one held (after the run was brought forward without pictures).
    Frame drawFrame(const RunState& state, const FrameView& view, std::optional<double> column);

    // The key frames the composed picture now held lacks because neither they nor their
    // pictures gave one: its frames are made without their detail.
    const std::vector<KeyFrameReadError>& unusableKeyFrames() const { return unusable_; }

  private:
    // Sub-pixel zoom without supersampling: frames are drawn from the key frames of the
    // composition (layers_) instead of from a composed picture.
    bool readsLayers() const;

    // Sub-pixel zoom: the exact view of the composed picture, or the scrolled part of it.
    void drawExactView(const RunState& state, const FrameView& view, std::optional<double> column);

    // Zoom mode, composed in parts: draws what the view reads, unless drawn already.
    void drawViewedPart(const FrameView& view);

    const MovieRun& run_;
    RenderSession& session_;
    RenderHost* host_;

    FrameImage movieFrame_;
    OptionalImage composed_;
    std::optional<LayeredComposition> layers_;       // instead of composed_ when readsLayers()
    std::optional<CompositionInputs> composedWith_;  // what composed_ was made with
    std::vector<KeyFrameReadError> unusable_;        // what composed_ lacks
    // Composed in parts: composed_ holds only drawnPart_ of the composition parts_ prepared.
    bool inParts_ = false;
    PartialComposition parts_;
    std::optional<PixelRect> drawnPart_;

    std::unique_ptr<ZoomTextPainter> painter_;
    // What lay under the caption of the last frame: a frame that is repeated because its key
    // frame has no picture gets it back before the caption is drawn again.
    FrameImage underCaption_;
    OptionalImage finished_;
};

// Movie frame `frame` of the run (0 is its first frame, at "Start frame") exactly as the run
// writes it into its movie file, made by bringing the run forward to it without pictures. None
// when the run has fewer frames, and with "Skip render".
OptionalImage renderMovieFrame(const MovieRun& run, RenderSession& session, long long frame);

}  // namespace zr
