#include "movie/frame_renderer.h"

#include <algorithm>

#include "coloring/color_key_frame.h"
#include "coloring/render_key_frame.h"
#include "coloring/scale_image.h"
#include "keyframes/image_file.h"
#include "keyframes/key_frame_cache.h"
#include "movie/frame_composer.h"
#include "movie/frame_seeker.h"
#include "movie/render_host.h"
#include "movie/render_session.h"

namespace zr {

FrameRenderer::FrameRenderer(const MovieRun& run, RenderSession& session, RenderHost* host)
    : run_(run), session_(session), host_(host) {
    if (run_.spec.zoomText.showZoomText) {
        painter_ = std::make_unique<ZoomTextPainter>(run_.spec.zoomText.fontFace);
    }
}

FrameRenderer::~FrameRenderer() = default;

void FrameRenderer::startRun(const RunState& startState) {
    const MovieSpec& spec = run_.spec;
    const int width = std::max(spec.output.movieWidth, 1);
    const int height = std::max(spec.output.movieHeight, 1);
    if (run_.keyFrames.empty()) {
        movieFrame_ = FrameImage(width, height);
        return;
    }
    const std::string& widest = run_.keyFrames.front();
    OptionalImage first;
    if (!spec.output.skipRender) {
        ColorState color = startState.color;
        color.startCycle = 0.0;
        const ColoringPlan plan =
            makeColoringPlan(spec.coloring, spec.texture, color,
                             heldTexture(startState.texture, session_.textures()),
                             startState.timeline.slopeScale, 1.0);
        first = renderKeyFrame(session_.keyFrames(), widest, plan, host_);
    }
    if (!first) {
        first = loadImageFile(widest);
    }
    if (!first || first->empty()) {
        movieFrame_ = FrameImage(width, height);
    } else if (first->width() != width || first->height() != height) {
        movieFrame_ = scaleImage(*first, width, height);
    } else {
        movieFrame_ = std::move(*first);
    }
}

void FrameRenderer::compose(const RunState& state) {
    const MovieSpec& spec = run_.spec;
    const CompositionInputs& inputs = state.composition;
    ComposeRequest request = composeRequestOf(spec, inputs.keyFrame);
    request.plan = makeColoringPlan(spec.coloring, spec.texture, inputs.color,
                                    heldTexture(inputs.texture, session_.textures()),
                                    inputs.slopeScale, inputs.textureScale);
    request.slopeScale = inputs.slopeScale;
    request.textureScale = inputs.textureScale;
    request.threads = session_.threads();
    unusable_.clear();
    composedWith_ = inputs;
    drawnPart_.reset();
    layers_.reset();
    if (readsLayers()) {
        composed_.reset();
        layers_ =
            composeKeyFrameLayers(session_.keyFrames(), host_, run_.keyFrames, request, &unusable_);
        return;
    }
    inParts_ = composableInParts(request);
    if (!inParts_) {
        composed_.reset();
        composed_ =
            composeKeyFrames(session_.keyFrames(), host_, run_.keyFrames, request, &unusable_);
        return;
    }
    // The key frames are read now; each frame draws the part of the composition it looks at.
    if (!parts_.prepare(session_.keyFrames(), host_, run_.keyFrames, request, &unusable_)) {
        composed_.reset();
        return;
    }
    if (!composed_ || composed_->width() != parts_.width() ||
        composed_->height() != parts_.height()) {
        composed_.reset();
        composed_.emplace(parts_.width(), parts_.height());
    }
}

void FrameRenderer::drawViewedPart(const FrameView& view) {
    const PixelRect viewed =
        viewedPixels(composed_->width(), composed_->height(), movieFrame_.width(),
                     movieFrame_.height(), view.halfWidth, view.halfHeight);
    const auto holds = [&viewed](const PixelRect& drawn) {
        return viewed.left >= drawn.left && viewed.top >= drawn.top &&
               viewed.left + viewed.width <= drawn.left + drawn.width &&
               viewed.top + viewed.height <= drawn.top + drawn.height;
    };
    if (viewed.width <= 0 || viewed.height <= 0 || (drawnPart_ && holds(*drawnPart_))) {
        return;
    }
    // The first frame of a composition draws what it looks at; one that looks beyond that
    // (the view grows) draws the whole composition, which then serves every later frame.
    const PixelRect part =
        drawnPart_ ? PixelRect{0, 0, composed_->width(), composed_->height()} : viewed;
    parts_.draw(*composed_, part);
    drawnPart_ = part;
}

FrameRenderer::Frame FrameRenderer::drawFrame(const RunState& state, const FrameView& view,
                                              std::optional<double> column) {
    const MovieSpec& spec = run_.spec;
    if (state.composition.made && (!composedWith_ || *composedWith_ != state.composition)) {
        // The run was brought here without pictures: its last composition is made now.
        compose(state);
    }
    if (layers_) {
        drawLayeredView(*layers_, state.zoom.composedWidth(), state.zoom.composedHeight(),
                        view.progress, movieFrame_, session_.threads());
    } else if (composed_ && spec.zoom.subpixelZoom) {
        drawExactView(state, view, column);
    } else if (column) {
        if (composed_) {
            scrollFrame(*composed_, movieFrame_, *column);
        }
    } else if (composed_) {
        if (inParts_) {
            drawViewedPart(view);
        }
        viewFrame(*composed_, movieFrame_, view.halfWidth, view.halfHeight, session_.threads());
    }
    const std::string zoomText =
        painter_ ? buildZoomText(run_.keyFrames[static_cast<std::size_t>(state.counters.keyFrame)])
                 : std::string();
    if (painter_) {
        const ZoomTextPainter::Area area = painter_->area(movieFrame_.width(), zoomText);
        if (!composed_ && !layers_ && !underCaption_.empty()) {
            // The frame repeats the last one: take its caption off first.
            copyBlock(underCaption_, 0, 0, movieFrame_, 0, 0, underCaption_.width(),
                      underCaption_.height());
        }
        if (area.right > 0 && area.bottom > 0) {
            if (underCaption_.width() != area.right || underCaption_.height() != area.bottom) {
                underCaption_ = FrameImage(area.right, area.bottom);
            }
            copyBlock(movieFrame_, 0, 0, underCaption_, 0, 0, area.right, area.bottom);
        }
        painter_->draw(movieFrame_, zoomText);
    }

    Frame frame;
    if (spec.start.rotationActive) {
        FinishOptions options;
        options.rotationActive = true;
        options.rotation = state.color.startRotation;
        options.zoomText = painter_.get();
        options.zoomTextString = zoomText;
        finished_ = finishFrame(movieFrame_, options, true);
        frame.preview = finished_ ? &*finished_ : &movieFrame_;
        frame.movieFile = frame.preview;
    } else {
        FinishOptions options;
        options.aspect43 = spec.output.aspect43;
        finished_ = finishFrame(movieFrame_, options, true);
        frame.preview = &movieFrame_;
        frame.movieFile = finished_ ? &*finished_ : &movieFrame_;
    }
    return frame;
}

bool FrameRenderer::readsLayers() const {
    const ZoomSpec& zoom = run_.spec.zoom;
    return zoom.subpixelZoom && !zoom.leftScrolling && zoom.supersample <= 1;
}

void FrameRenderer::drawExactView(const RunState& state, const FrameView& view,
                                  std::optional<double> column) {
    const ExactSampling sampling = exactSamplingOf(run_.spec, session_.threads());
    if (column) {
        scrollFrameExact(*composed_, movieFrame_, *column, sampling);
    } else {
        viewFrameExact(*composed_, state.zoom.composedWidth(), state.zoom.composedHeight(),
                       view.progress, movieFrame_, sampling);
    }
}

OptionalImage renderMovieFrame(const MovieRun& run, RenderSession& session, long long frame) {
    FrameSeeker seeker(run, session);
    if (!seeker.start()) {
        return std::nullopt;
    }
    const std::optional<FrameRenderer::Frame> made = seeker.frame(frame);
    if (!made) {
        return std::nullopt;
    }
    return *made->movieFile;
}

}  // namespace zr
