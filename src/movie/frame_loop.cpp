#include "movie/frame_loop.h"

#include <algorithm>
#include <cstdio>

#include "keyframes/key_frame_cache.h"
#include "keyframes/key_frame_folder.h"
#include "movie/color_range.h"
#include "movie/render_host.h"
#include "movie/render_session.h"

namespace zr {

std::vector<std::string> listRunKeyFrames(const MovieSpec& spec) {
    return listKeyFrames(spec.output.folder(),
                         spec.zoom.leftScrolling ? SortOrder::kAscending : SortOrder::kDescending);
}

FrameLoop::FrameLoop(const MovieRun& run, RenderSession& session)
    : FrameLoop(run, session, Options{}) {}

FrameLoop::FrameLoop(const MovieRun& run, RenderSession& session, Options options)
    : run_(run), session_(session), options_(std::move(options)) {}

void takeStartColors(const MovieSpec& spec, ColorState& color) {
    color.startCycle = spec.start.startCycle;
    color.startRotation = spec.start.startRotation;
    color.colorDivision = 1.0;
}

bool FrameLoop::stopRequested() const {
    return options_.stop && options_.stop();
}

bool FrameLoop::start(RunState& state, const ColorState& from) {
    const MovieSpec& spec = run_.spec;
    state = RunState{};
    state.color = from;
    takeStartColors(spec, state.color);
    state.texture = startingTexture(spec.texture);

    Timeline timeline(spec, state, options_.host);
    timeline.startColorRange();
    state.color.colorsFromKeyFrame = true;
    timeline.applyFirstKeyFrameRows();

    if (options_.depth == LoopDepth::kState && !spec.output.skipRender) {
        // The key colours, and the division unless a DIVIDE row of key frame 0 gives it, come
        // from the first key frame of the list that reads (the widest one, unless it is
        // damaged). The widest one is coloured first, so a texture is made for its size.
        KeyFrameCache& cache = session_.keyFrames();
        for (int k = 0; k < run_.keyFrameCount(); ++k) {
            const KeyFrame* keyFrame =
                cache.load(run_.keyFrames[static_cast<std::size_t>(k)], options_.host);
            if (keyFrame == nullptr) {
                continue;
            }
            takeKeyFrameHeader(*keyFrame, state.color);
            if (k == 0 && spec.texture.texture) {
                prepareTexture(spec.texture, spec.output.fps, !spec.timeline.rotateSpecs.empty(),
                               state.texture, session_.textures(), keyFrame->width,
                               keyFrame->height, state.color.startRotation);
            }
            break;
        }
    }

    if (!timeline.startSpeeds(run_.keyFrameCount(), options_.stop)) {
        return false;
    }
    state.counters.keyFrame = std::max(0, spec.start.startFrame);
    state.phase = RunState::Phase::kKeyFrameStart;
    return true;
}

void FrameLoop::compose(RunState& state, bool pictures) {
    const MovieSpec& spec = run_.spec;
    if (spec.output.skipRender) {
        return;
    }
    if (spec.coloring.colorMethod == kStretched) {
        // The range moves on before the key frames are coloured.
        state.color.stretchMin += state.timeline.stretchMinStep;
        state.color.stretchMax += state.timeline.stretchMaxStep;
        if (options_.host != nullptr) {
            options_.host->stretchRangeMoved({static_cast<int>(state.color.stretchMin),
                                              static_cast<int>(state.color.stretchMax),
                                              state.timeline.keyMin, state.timeline.keyMax});
        }
    }
    const int k = state.counters.keyFrame;
    if (options_.depth == LoopDepth::kState && spec.texture.texture && !state.texture.held) {
        // The texture is made for the size of the first key frame of the composition that
        // reads, before any of them is coloured.
        KeyFrameCache& cache = session_.keyFrames();
        for (int i = 0; i < spec.zoom.mergeCount && k + i < run_.keyFrameCount(); ++i) {
            const KeyFrame* keyFrame =
                cache.load(run_.keyFrames[static_cast<std::size_t>(k + i)], options_.host);
            if (keyFrame != nullptr) {
                prepareTexture(spec.texture, spec.output.fps, !spec.timeline.rotateSpecs.empty(),
                               state.texture, session_.textures(), keyFrame->width,
                               keyFrame->height, state.color.startRotation);
                break;
            }
        }
    }
    CompositionInputs& composition = state.composition;
    composition.made = true;
    composition.keyFrame = k;
    composition.color = state.color;
    composition.slopeScale = state.timeline.slopeScale;
    composition.textureScale = state.timeline.textureScale;
    composition.texture = state.texture;
    if (pictures && options_.hooks != nullptr) {
        options_.hooks->compose(state);
    }
}

void FrameLoop::startKeyFrame(RunState& state, bool pictures) {
    const MovieSpec& spec = run_.spec;
    const int k = state.counters.keyFrame;
    const int keyFrameCount = run_.keyFrameCount();
    Timeline timeline(spec, state, options_.host);

    textureKeyFrameStep(spec.texture, spec.output.fps, state.texture, k, keyFrameCount);
    if (options_.depth == LoopDepth::kState && !spec.output.skipRender &&
        colorRangeInUse(spec.coloring)) {
        KeyFrameCache& cache = session_.keyFrames();
        const std::string& path = run_.keyFrames[static_cast<std::size_t>(k)];
        const KeyFrame* keyFrame = cache.find(path);
        if (keyFrame == nullptr) {
            keyFrame = cache.load(path, options_.host);
        }
        if (keyFrame != nullptr && !keyFrame->counts.empty()) {
            applyColorRange(*keyFrame, spec, state, options_.host);
        }
    }
    if (options_.depth == LoopDepth::kState) {
        session_.keyFrames().clearInUse();
    }
    if (options_.hooks != nullptr) {
        options_.hooks->keyFrameStarting(state);
    }
    state.composition = CompositionInputs{};
    timeline.applyColorCountStep();
    compose(state, pictures);
    timeline.beginKeyFrame(k, keyFrameCount);
    if (options_.hooks != nullptr) {
        options_.hooks->keyFrameBegun(state);
    }
    state.phase = RunState::Phase::kInKeyFrame;
}

void FrameLoop::endKeyFrame(RunState& state) {
    Timeline(run_.spec, state, options_.host).endKeyFrame();
    ++state.counters.keyFrame;
    state.phase = RunState::Phase::kKeyFrameStart;
}

bool FrameLoop::step(RunState& state, bool pictures) {
    const MovieSpec& spec = run_.spec;
    for (;;) {
        if (state.phase == RunState::Phase::kEnded) {
            return false;
        }
        if (state.phase == RunState::Phase::kKeyFrameStart) {
            if (stopRequested() || state.counters.keyFrame >= run_.keyFrameCount()) {
                state.phase = RunState::Phase::kEnded;
                return false;
            }
            startKeyFrame(state, pictures);
            // A stop asked for while the key frame was composed ends the run before its first
            // frame.
            if (stopRequested()) {
                endKeyFrame(state);
                continue;
            }
        }

        Timeline timeline(spec, state, options_.host);
        const std::optional<FrameView> view = timeline.beginFrame();
        if (!view) {
            endKeyFrame(state);
            continue;
        }
        if (timeline.needsRecomposition()) {
            timeline.advanceColorsForComposition();
            compose(state, pictures);
            timeline.advanceScalesAfterComposition();
        }
        std::optional<double> column;
        if (spec.zoom.leftScrolling) {
            column = timeline.scrollColumn();
            if (!column) {
                endKeyFrame(state);
                continue;
            }
        }
        if (pictures && options_.hooks != nullptr) {
            options_.hooks->outputFrame(state, *view, column);
        }

        if (!spec.output.skipRender) {
            ColorState& color = state.color;
            const bool textures = options_.depth == LoopDepth::kState;
            if (spec.start.rotationActive) {
                color.startRotation += state.timeline.rotationSpeed;
                if (textures) {
                    textureRotationStep(spec.texture, spec.output.fps, state.texture,
                                        session_.textures(), color.startRotation);
                }
                if (color.startRotation > 360.0) {
                    color.startRotation -= 360.0;
                } else if (color.startRotation < -360.0) {
                    color.startRotation += 360.0;
                }
            } else if (textures) {
                textureFadeStep(spec.texture, spec.output.fps, state.texture, session_.textures());
            }
        }
        RunCounters& counters = state.counters;
        ++counters.frameInMovie;
        if (counters.frameInMovie >= spec.output.framesPerMovie) {
            counters.frameInMovie = 0;
            ++counters.movieNumber;
        }
        ++counters.framesCounted;
        if (options_.hooks != nullptr) {
            options_.hooks->frameDone(state);
        }
        const bool goOn = timeline.endFrame();
        if (!goOn || stopRequested()) {
            endKeyFrame(state);
        }
        return true;
    }
}

bool FrameLoop::seek(RunState& state, long long frame) {
    while (state.counters.framesCounted < frame) {
        if (!step(state, false)) {
            return false;
        }
    }
    return true;
}

long long framesOfRun(const MovieRun& run, RenderSession& session, RunState state) {
    FrameLoop::Options options;
    options.depth = LoopDepth::kFrames;
    FrameLoop loop(run, session, options);
    while (loop.step(state, false)) {
    }
    return state.counters.framesCounted;
}

}  // namespace zr
