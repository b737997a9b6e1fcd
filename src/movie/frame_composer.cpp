#include "movie/frame_composer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

#include "coloring/render_key_frame.h"
#include "coloring/scale_image.h"
#include "keyframes/key_frame_cache.h"
#include "settings/movie_spec.h"
#include "support/worker_pool.h"

namespace zr {

namespace {

constexpr int kMaxMergedKeyFrames = 16;
constexpr int kNarrowestPlacement = 10;

// Scales the whole of `picture` into `place` of `composed`; with `elliptic`, only the pixels
// inside the circle whose diameter is the placement's height, centred in it, are drawn.
void drawKeyFrame(const FrameImage& picture, FrameImage& composed, const PlacementRect& place,
                  bool elliptic, const ThreadShare& threads) {
    if (place.width() <= 0 || place.height() <= 0) {
        return;
    }
    const PixelRect whole{0, 0, picture.width(), picture.height()};
    if (!elliptic) {
        scaleImageInto(picture, whole, composed,
                       PixelRect{place.left, place.top, place.width(), place.height()},
                       scalingThreads(threads));
        return;
    }
    FrameImage scaled(place.width(), place.height());
    scaleImageInto(picture, whole, scaled, PixelRect{0, 0, scaled.width(), scaled.height()},
                   scalingThreads(threads));

    // The ellipse inscribed in the box from (cx - hh, top) to (cx + hh, bottom).
    const int centreX = (place.left + place.right) / 2;
    const int halfHeight = (place.bottom - place.top) / 2;
    const double boxLeft = centreX - halfHeight;
    const double boxRight = centreX + halfHeight;
    const double ellipseX = (boxLeft + boxRight) / 2.0;
    const double ellipseY = (place.top + place.bottom) / 2.0;
    const double radiusX = (boxRight - boxLeft) / 2.0;
    const double radiusY = (place.bottom - place.top) / 2.0;
    if (radiusX <= 0.0 || radiusY <= 0.0) {
        return;
    }
    for (int y = place.top; y < place.bottom; ++y) {
        const double dy = (y + 0.5 - ellipseY) / radiusY;
        if (dy * dy > 1.0) {
            continue;
        }
        const double reach = radiusX * std::sqrt(1.0 - dy * dy);
        // Pixels whose centres lie within the ellipse's span on this row.
        const int first =
            std::max({place.left, static_cast<int>(std::ceil(ellipseX - reach - 0.5)), 0});
        const int last =
            std::min({place.right - 1, static_cast<int>(std::floor(ellipseX + reach - 0.5)),
                      composed.width() - 1});
        if (first > last || y < 0 || y >= composed.height()) {
            continue;
        }
        std::memcpy(composed.pixel(first, y), scaled.pixel(first - place.left, y - place.top),
                    static_cast<std::size_t>(last - first + 1) * FrameImage::kBytesPerPixel);
    }
}

// Sub-pixel zoom: scales the whole of `picture` into the exact placement `place` of
// `composed`; with `elliptic`, within the circle whose diameter is the placement's height,
// centred in it. Pixels on the edges are blended by the part of them covered.
void drawKeyFrameExact(const FrameImage& picture, FrameImage& composed, const ExactRect& place,
                       bool elliptic, const ThreadShare& threads) {
    ExactSampling sampling;
    sampling.threads = scalingThreads(threads);
    const ExactRect whole{0.0, 0.0, static_cast<double>(picture.width()),
                          static_cast<double>(picture.height())};
    if (!elliptic) {
        resampleExact(picture, whole, composed, place, sampling);
        return;
    }
    const EllipseClip circle{place.left + place.width / 2.0, place.top + place.height / 2.0,
                             place.height / 2.0, place.height / 2.0};
    resampleExact(picture, whole, composed, place, sampling, &circle);
}

// The size of the composed picture of `request`, trunc(Z * movieWidth) x trunc(Z *
// movieHeight); none when that is no size a picture can have.
std::optional<std::pair<int, int>> composedSizeOf(const ComposeRequest& request) {
    const double zoom = request.zoomFactor;
    const double composedWidth = std::trunc(zoom * request.movieWidth);
    const double composedHeight = std::trunc(zoom * request.movieHeight);
    if (!(composedWidth >= 1.0 && composedHeight >= 1.0 && composedWidth < 1e6 &&
          composedHeight < 1e6)) {
        return std::nullopt;
    }
    return std::pair{static_cast<int>(composedWidth), static_cast<int>(composedHeight)};
}

// The key frames a composition of `request` merges, `drawable` at most, each with its plan.
std::vector<KeyFrameJob> keyFrameJobsOf(KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
                                        const std::vector<std::string>& keyFramePaths,
                                        const ComposeRequest& request, int drawable) {
    const int keyFrameCount = static_cast<int>(keyFramePaths.size());
    const double zoom = request.zoomFactor;
    std::vector<KeyFrameJob> jobs;
    jobs.reserve(kMaxMergedKeyFrames);
    double slopeScale = request.slopeScale;
    double textureScale = request.textureScale;
    for (int i = 0; i < drawable && request.keyFrame + i < keyFrameCount; ++i) {
        KeyFrameJob job;
        job.cache = &cache;
        job.path = keyFramePaths[static_cast<std::size_t>(request.keyFrame + i)];
        job.plan = request.plan.withScales(slopeScale, textureScale);
        job.listener = listener;
        jobs.push_back(std::move(job));
        if (!request.leftScrolling) {
            slopeScale *= zoom;
        }
        textureScale *= zoom;
        if (i == 0 && request.frameByFrame) {
            break;
        }
        if (i == 1 && (request.testOnly || request.leftScrolling)) {
            break;
        }
    }
    return jobs;
}

// A key frame that colorKeyFrame() colours: a size, and tables that cover it.
bool colorable(const KeyFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0) {
        return false;
    }
    const std::size_t pixels =
        static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    return frame.counts.size() >= pixels && frame.fractions.size() >= pixels;
}

PixelRect intersection(const PixelRect& a, const PixelRect& b) {
    const int left = std::max(a.left, b.left);
    const int top = std::max(a.top, b.top);
    const int right = std::min(a.left + a.width, b.left + b.width);
    const int bottom = std::min(a.top + a.height, b.top + b.height);
    return PixelRect{left, top, std::max(right - left, 0), std::max(bottom - top, 0)};
}

// The parts of `rect` outside `hole`: up to four bands (above, below, left, right of it).
std::vector<PixelRect> without(const PixelRect& rect, const PixelRect& hole) {
    const PixelRect inside = intersection(rect, hole);
    if (inside.width <= 0 || inside.height <= 0) {
        return {rect};
    }
    const int right = rect.left + rect.width;
    const int bottom = rect.top + rect.height;
    const int holeRight = inside.left + inside.width;
    const int holeBottom = inside.top + inside.height;
    std::vector<PixelRect> parts;
    const auto add = [&parts](int left, int top, int partRight, int partBottom) {
        if (left < partRight && top < partBottom) {
            parts.push_back(PixelRect{left, top, partRight - left, partBottom - top});
        }
    };
    add(rect.left, rect.top, right, inside.top);
    add(rect.left, holeBottom, right, bottom);
    add(rect.left, inside.top, inside.left, holeBottom);
    add(holeRight, inside.top, right, holeBottom);
    return parts;
}

// Reads (and colours) the key frames of a composition of `request`, `drawable` at most, in
// parallel on the worker pool; adds those that gave no picture at all to `unusable`, when given.
std::vector<KeyFrameJob> runKeyFrameJobs(KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
                                         const std::vector<std::string>& keyFramePaths,
                                         const ComposeRequest& request, int drawable,
                                         std::vector<KeyFrameReadError>* unusable) {
    std::vector<KeyFrameJob> jobs =
        keyFrameJobsOf(cache, listener, keyFramePaths, request, drawable);
    WorkerPool pool(request.threads);
    pool.init(std::clamp(request.mergeCount, 1, kMaxMergedKeyFrames), WorkerPool::kWaitForever, 0);
    cache.clearInUse();
    for (KeyFrameJob& job : jobs) {
        pool.addJob([&job] { return keyFrameJobRun(job); });
    }
    pool.run();
    pool.clear();
    if (unusable != nullptr) {
        for (const KeyFrameJob& job : jobs) {
            if (job.unusable) {
                unusable->push_back(*job.unusable);
            }
        }
    }
    return jobs;
}

PixelRect pixelRectOf(const PlacementRect& place) {
    return PixelRect{place.left, place.top, place.width(), place.height()};
}

}  // namespace

ExactRect exactPlacement(int width, int height, double zoomFactor, int index) {
    const double scale = std::pow(zoomFactor, -index);
    const double placedWidth = width * scale;
    const double placedHeight = height * scale;
    return {(width - placedWidth) / 2.0, (height - placedHeight) / 2.0, placedWidth, placedHeight};
}

std::vector<PlacementRect> mergePlacements(int width, int height, double zoomFactor, int maxCount) {
    std::vector<PlacementRect> placements;
    PlacementRect place{0, 0, width, height};
    for (int i = 0; i < maxCount; ++i) {
        placements.push_back(place);
        const int u =
            static_cast<int>((place.right - place.left) * (zoomFactor - 1.0) / (2.0 * zoomFactor));
        place.right -= u;
        place.left += u;
        if (place.right - place.left < kNarrowestPlacement) {
            break;
        }
        const int v =
            static_cast<int>((place.bottom - place.top) * (zoomFactor - 1.0) / (2.0 * zoomFactor));
        place.top += v;
        place.bottom -= v;
    }
    return placements;
}

ComposeRequest composeRequestOf(const MovieSpec& spec, int keyFrame) {
    ComposeRequest request;
    request.keyFrame = keyFrame;
    request.zoomFactor = spec.zoom.zoomFactor;
    request.movieWidth = spec.output.movieWidth;
    request.movieHeight = spec.output.movieHeight;
    request.mergeCount = spec.zoom.mergeCount;
    request.frameByFrame = spec.zoom.frameByFrame;
    request.testOnly = spec.output.testOnly;
    request.leftScrolling = spec.zoom.leftScrolling;
    request.ellipticRegion = spec.zoom.ellipticRegion;
    request.subpixel = spec.zoom.subpixelZoom;
    return request;
}

OptionalImage composeKeyFrames(KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
                               const std::vector<std::string>& keyFramePaths,
                               const ComposeRequest& request,
                               std::vector<KeyFrameReadError>* unusable) {
    const int keyFrameCount = static_cast<int>(keyFramePaths.size());
    if (request.keyFrame < 0 || request.keyFrame >= keyFrameCount) {
        return std::nullopt;
    }
    const std::optional<std::pair<int, int>> size = composedSizeOf(request);
    if (!size) {
        return std::nullopt;
    }
    const double zoom = request.zoomFactor;
    const auto [width, height] = *size;
    const bool leftScrolling = request.leftScrolling;
    const int mergeCount = std::clamp(request.mergeCount, 1, kMaxMergedKeyFrames);

    // Key frames whose placement would be narrower than 10 pixels are never drawn, so they
    // are not read either.
    const std::vector<PlacementRect> placements = mergePlacements(width, height, zoom, mergeCount);
    const int drawable = leftScrolling ? mergeCount : static_cast<int>(placements.size());
    std::vector<KeyFrameJob> jobs =
        runKeyFrameJobs(cache, listener, keyFramePaths, request, drawable, unusable);

    const bool exact = request.subpixel && !leftScrolling;
    if (exact && !jobs.empty() && jobs[0].result && !jobs[0].result->empty() &&
        (jobs.size() == 1 || !jobs[1].result || jobs[1].result->empty())) {
        // Key frame k alone: its own picture, which the view reads at its own size.
        return std::move(jobs[0].result);
    }
    OptionalImage composed;
    int x = request.movieWidth;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        KeyFrameJob& job = jobs[i];
        if (!job.result || job.result->empty()) {
            break;
        }
        if (!composed) {
            composed.emplace(width, height);
        }
        if (leftScrolling) {
            copyBlock(*job.result, 0, 0, *composed, x, 0, request.movieWidth, request.movieHeight);
            x -= request.movieWidth;
            job.result.reset();
            if (i == 1) {
                break;
            }
            continue;
        }
        if (exact && i > 0) {
            drawKeyFrameExact(*job.result, *composed,
                              exactPlacement(width, height, zoom, static_cast<int>(i)),
                              request.ellipticRegion, request.threads);
        } else {
            drawKeyFrame(*job.result, *composed, placements[i], i > 0 && request.ellipticRegion,
                         request.threads);
        }
        job.result.reset();
    }
    return composed;
}

std::optional<LayeredComposition> composeKeyFrameLayers(
    KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
    const std::vector<std::string>& keyFramePaths, const ComposeRequest& request,
    std::vector<KeyFrameReadError>* unusable) {
    const int keyFrameCount = static_cast<int>(keyFramePaths.size());
    if (request.keyFrame < 0 || request.keyFrame >= keyFrameCount || request.leftScrolling) {
        return std::nullopt;
    }
    const std::optional<std::pair<int, int>> size = composedSizeOf(request);
    if (!size) {
        return std::nullopt;
    }
    const auto [width, height] = *size;
    const double zoom = request.zoomFactor;
    const int mergeCount = std::clamp(request.mergeCount, 1, kMaxMergedKeyFrames);
    const int drawable = static_cast<int>(mergePlacements(width, height, zoom, mergeCount).size());
    std::vector<KeyFrameJob> jobs =
        runKeyFrameJobs(cache, listener, keyFramePaths, request, drawable, unusable);

    LayeredComposition composition;
    composition.width = width;
    composition.height = height;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        KeyFrameJob& job = jobs[i];
        if (!job.result || job.result->empty()) {
            break;
        }
        ViewLayer layer;
        layer.place = exactPlacement(width, height, zoom, static_cast<int>(i));
        layer.elliptic = i > 0 && request.ellipticRegion;
        layer.picture = std::move(*job.result);
        job.result.reset();
        composition.layers.push_back(std::move(layer));
    }
    if (composition.layers.empty()) {
        return std::nullopt;
    }
    return composition;
}

void drawLayeredView(const LayeredComposition& composition, int composedWidth, int composedHeight,
                     double progress, FrameImage& movieFrame, const ThreadShare& threads) {
    if (composition.width <= 0 || composition.height <= 0 || composedWidth <= 0 ||
        composedHeight <= 0 || movieFrame.empty() || !(progress > 0.0)) {
        return;
    }
    // The view in the composition's coordinates, and how they map onto the movie frame.
    const double toCompositionX = static_cast<double>(composition.width) / composedWidth;
    const double toCompositionY = static_cast<double>(composition.height) / composedHeight;
    const double viewWidth = composedWidth * progress * toCompositionX;
    const double viewHeight = composedHeight * progress * toCompositionY;
    const double viewLeft = (composition.width - viewWidth) / 2.0;
    const double viewTop = (composition.height - viewHeight) / 2.0;
    const double scaleX = movieFrame.width() / viewWidth;
    const double scaleY = movieFrame.height() / viewHeight;
    if (!std::isfinite(scaleX) || !std::isfinite(scaleY)) {
        return;
    }
    ExactSampling sampling;
    sampling.threads = scalingThreads(threads);
    const auto inFrame = [&](const ExactRect& place) {
        return ExactRect{(place.left - viewLeft) * scaleX, (place.top - viewTop) * scaleY,
                         place.width * scaleX, place.height * scaleY};
    };
    const std::vector<ViewLayer>& layers = composition.layers;
    for (std::size_t i = 0; i < layers.size(); ++i) {
        const ViewLayer& layer = layers[i];
        const ExactRect whole{0.0, 0.0, static_cast<double>(layer.picture.width()),
                              static_cast<double>(layer.picture.height())};
        const ExactRect to = inFrame(layer.place);
        // The pixels that the next key frame covers whole are left to it.
        std::optional<PixelRect> hole;
        if (i + 1 < layers.size() && !layers[i + 1].elliptic) {
            const ExactRect next = inFrame(layers[i + 1].place);
            const double left = std::max(std::ceil(next.left), 0.0);
            const double top = std::max(std::ceil(next.top), 0.0);
            const double right = std::min(std::floor(next.right()), double(movieFrame.width()));
            const double bottom = std::min(std::floor(next.bottom()), double(movieFrame.height()));
            if (right > left && bottom > top) {
                hole = PixelRect{static_cast<int>(left), static_cast<int>(top),
                                 static_cast<int>(right - left), static_cast<int>(bottom - top)};
            }
        }
        std::optional<EllipseClip> circle;
        if (layer.elliptic) {
            // The circle whose diameter is the placement's height, centred in it.
            circle =
                EllipseClip{to.left + to.width / 2.0, to.top + to.height / 2.0,
                            layer.place.height / 2.0 * scaleX, layer.place.height / 2.0 * scaleY};
        }
        const EllipseClip* clip = circle ? &*circle : nullptr;
        const PixelRect* skipped = hole ? &*hole : nullptr;
        resampleLinearMean(layer.picture, whole, movieFrame, to, sampling, clip, skipped);
    }
}

bool composableInParts(const ComposeRequest& request) {
    return !request.leftScrolling && !request.subpixel && !request.ellipticRegion;
}

// One key frame of a partial composition: the key frame to colour, or the picture standing in
// for it (in job.result).
struct PartialComposition::Layer {
    KeyFrameJob job;
    const KeyFrame* keyFrame = nullptr;
    FrameImage* colored = nullptr;  // where the key frame is coloured, part by part

    bool drawable() const { return keyFrame != nullptr || (job.result && !job.result->empty()); }
};

PartialComposition::PartialComposition() = default;
PartialComposition::~PartialComposition() = default;

bool PartialComposition::prepare(KeyFrameCache& cache, UnreadableKeyFrameListener* listener,
                                 const std::vector<std::string>& keyFramePaths,
                                 const ComposeRequest& request,
                                 std::vector<KeyFrameReadError>* unusable) {
    layers_.clear();
    placements_.clear();
    width_ = 0;
    height_ = 0;
    const int keyFrameCount = static_cast<int>(keyFramePaths.size());
    const std::optional<std::pair<int, int>> size = composedSizeOf(request);
    if (request.keyFrame < 0 || request.keyFrame >= keyFrameCount || !size ||
        !composableInParts(request)) {
        return false;
    }
    const int mergeCount = std::clamp(request.mergeCount, 1, kMaxMergedKeyFrames);
    std::vector<PlacementRect> placements =
        mergePlacements(size->first, size->second, request.zoomFactor, mergeCount);
    std::vector<KeyFrameJob> jobs = keyFrameJobsOf(cache, listener, keyFramePaths, request,
                                                   static_cast<int>(placements.size()));
    std::vector<Layer> layers(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        layers[i].job = std::move(jobs[i]);
    }
    if (coloredPictures_.size() < layers.size()) {
        coloredPictures_.resize(layers.size());
    }

    // Each key frame is read (the files at once, as composeKeyFrames reads them) and gets a
    // picture to be coloured into; one that cannot be coloured is stood in for by its picture.
    WorkerPool pool(request.threads);
    pool.init(mergeCount, WorkerPool::kWaitForever, 0);
    cache.clearInUse();
    for (std::size_t i = 0; i < layers.size(); ++i) {
        Layer& layer = layers[i];
        FrameImage& colored = coloredPictures_[i];
        pool.addJob([&layer, &colored] {
            KeyFrameJob& job = layer.job;
            job.unusable.reset();
            const KeyFrame* frame = job.cache->load(job.path, job.listener);
            if (frame != nullptr && colorable(*frame)) {
                try {
                    if (colored.width() != frame->width || colored.height() != frame->height) {
                        colored = FrameImage();
                        colored = FrameImage(frame->width, frame->height);
                    }
                    layer.keyFrame = frame;
                    layer.colored = &colored;
                    return 0;
                } catch (const std::exception&) {
                    // Too large to hold: as for a key frame that cannot be coloured.
                }
            }
            standInForKeyFrame(job);
            return 0;
        });
    }
    pool.run();
    pool.clear();
    if (unusable != nullptr) {
        for (const Layer& layer : layers) {
            if (layer.job.unusable) {
                unusable->push_back(*layer.job.unusable);
            }
        }
    }
    // The merge ends at the first key frame without a picture.
    std::size_t drawn = 0;
    while (drawn < layers.size() && layers[drawn].drawable()) {
        ++drawn;
    }
    if (drawn == 0) {
        return false;
    }
    layers.resize(drawn);
    layers_ = std::move(layers);
    placements_ = std::move(placements);
    threads_ = request.threads;
    width_ = size->first;
    height_ = size->second;
    return true;
}

void PartialComposition::draw(FrameImage& composed, PixelRect part) {
    if (layers_.empty() || composed.width() != width_ || composed.height() != height_) {
        return;
    }
    const PixelRect wanted = intersection(part, PixelRect{0, 0, width_, height_});
    if (wanted.width <= 0 || wanted.height <= 0) {
        return;
    }
    for (std::size_t i = 0; i < layers_.size(); ++i) {
        Layer& layer = layers_[i];
        const PixelRect place = pixelRectOf(placements_[i]);
        if (place.width <= 0 || place.height <= 0) {
            continue;
        }
        const PixelRect shown = intersection(wanted, place);
        if (shown.width <= 0 || shown.height <= 0) {
            continue;
        }
        // The next deeper key frame covers the whole of its placement.
        const std::vector<PixelRect> pieces = i + 1 < layers_.size()
                                                  ? without(shown, pixelRectOf(placements_[i + 1]))
                                                  : std::vector<PixelRect>{shown};
        const FrameImage& picture = layer.keyFrame != nullptr ? *layer.colored : *layer.job.result;
        const PixelRect whole{0, 0, picture.width(), picture.height()};
        for (const PixelRect& piece : pieces) {
            if (layer.keyFrame != nullptr) {
                colorKeyFrameInto(
                    *layer.keyFrame, layer.job.plan, *layer.colored,
                    sourcePixelsRead(whole, picture.width(), picture.height(), place, piece),
                    scalingThreads(threads_));
            }
            scaleImageInto(picture, whole, composed, place, piece, scalingThreads(threads_));
        }
    }
}

}  // namespace zr
