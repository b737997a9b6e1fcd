#include "coloring/exact_resample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/thread_pool.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zr {

namespace {

constexpr int kChannels = FrameImage::kBytesPerPixel;
constexpr double kPi = 3.14159265358979323846;

double catmullRom(double x) {
    x = std::fabs(x);
    if (x < 1.0)
        return (1.5 * x - 2.5) * x * x + 1.0;
    if (x < 2.0)
        return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
    return 0.0;
}

double lanczos2(double x) {
    x = std::fabs(x);
    if (x < 1e-9)
        return 1.0;
    if (x >= 2.0)
        return 0.0;
    const double a = kPi * x;
    return 2.0 * std::sin(a) * std::sin(a / 2.0) / (a * a);
}

double kernel(MagnifyFilter filter, double x) {
    return filter == MagnifyFilter::kLanczos2 ? lanczos2(x) : catmullRom(x);
}

// The weights of one axis: for each target index drawn, the part of the target pixel covered
// and `taps` weights (adding up to 1) of consecutive source indices from start[j].
struct AxisPlan {
    int first = 0;  // first target index drawn
    int count = 0;  // target indices drawn
    int taps = 0;
    int sourceFirst = 0;  // lowest and highest source index read
    int sourceLast = 0;
    std::vector<int> start;
    std::vector<float> weights;
    std::vector<float> coverage;
    // The weights again, each repeated in four lanes, for the horizontal pass.
    std::vector<float> laneWeights;
};

// Source weights of one target pixel, before they are packed into the plan.
class PixelWeights {
  public:
    explicit PixelWeights(int sourceLength) : sourceLength_(sourceLength) {}
    void clear() {
        low_ = 0;
        values_.clear();
    }
    // Weight on source index i; indices outside the source go to its border pixel.
    void add(long long i, double weight) {
        if (weight == 0.0)
            return;
        const int index = static_cast<int>(std::clamp<long long>(i, 0, sourceLength_ - 1));
        if (values_.empty()) {
            low_ = index;
            values_.push_back(weight);
            return;
        }
        if (index < low_) {
            values_.insert(values_.begin(), static_cast<std::size_t>(low_ - index), 0.0);
            low_ = index;
        } else if (index >= low_ + static_cast<int>(values_.size())) {
            values_.resize(static_cast<std::size_t>(index - low_ + 1), 0.0);
        }
        values_[static_cast<std::size_t>(index - low_)] += weight;
    }
    int low() const { return low_; }
    int high() const { return low_ + static_cast<int>(values_.size()) - 1; }
    const std::vector<double>& values() const { return values_; }
    double sum() const {
        double total = 0.0;
        for (const double value : values_)
            total += value;
        return total;
    }

  private:
    int sourceLength_;
    int low_ = 0;
    std::vector<double> values_;
};

// Exact coverage: the source interval [u0, u1) averaged, each source pixel by its part in it.
void coverageWeights(double u0, double u1, PixelWeights& weights) {
    const double length = u1 - u0;
    const long long firstIndex = static_cast<long long>(std::floor(u0));
    if (!(length > 1e-12)) {
        weights.add(firstIndex, 1.0);
        return;
    }
    const long long lastIndex = static_cast<long long>(std::ceil(u1)) - 1;
    for (long long i = firstIndex; i <= lastIndex; ++i) {
        const double covered =
            std::min(u1, static_cast<double>(i + 1)) - std::max(u0, static_cast<double>(i));
        if (covered > 0.0)
            weights.add(i, covered / length);
    }
}

// The interpolating filter at source position `centre` (pixel centres at i + 0.5), widened by
// `spread` >= 1.
void filterWeights(MagnifyFilter filter, double centre, double spread, double share,
                   PixelWeights& weights) {
    const double c = centre - 0.5;
    const long long low = static_cast<long long>(std::floor(c - 2.0 * spread)) + 1;
    const long long high = static_cast<long long>(std::floor(c + 2.0 * spread));
    for (long long i = low; i <= high; ++i) {
        weights.add(i, share * kernel(filter, (c - static_cast<double>(i)) / spread) / spread);
    }
}

// The integral from -1 of the linear interpolation kernel (the tent of half width 1).
double tentIntegral(double x) {
    if (x <= -1.0)
        return 0.0;
    if (x <= 0.0)
        return (1.0 + x) * (1.0 + x) / 2.0;
    if (x < 1.0)
        return 1.0 - (1.0 - x) * (1.0 - x) / 2.0;
    return 1.0;
}

// The picture interpolated linearly between pixel centres (i + 0.5) averaged over the source
// interval [u0, u1), or read at u0 when that is empty.
void linearMeanWeights(double u0, double u1, PixelWeights& weights) {
    const double length = u1 - u0;
    const long long low = static_cast<long long>(std::floor(u0 - 1.5));
    const long long high = static_cast<long long>(std::ceil(u1 + 0.5));
    for (long long i = low; i <= high; ++i) {
        const double centre = static_cast<double>(i) + 0.5;
        if (length > 1e-6) {
            weights.add(i, (tentIntegral(u1 - centre) - tentIntegral(u0 - centre)) / length);
        } else {
            weights.add(i, std::max(0.0, 1.0 - std::fabs(u0 - centre)));
        }
    }
}

// How the source of a resampling is read.
enum class SourceRead {
    kPixels,      // exact coverage when shrinking, the interpolating filter otherwise
    kLinearMean,  // pixels interpolated linearly, averaged over each target pixel's part
};

// Plans the target indices that the interval [to, to + toLength) touches inside a target of
// `targetLength`, reading [from, from + fromLength) of a source of `sourceLength`.
AxisPlan planAxis(double from, double fromLength, int sourceLength, double to, double toLength,
                  int targetLength, const ExactSampling& sampling, SourceRead read) {
    AxisPlan plan;
    const double toEnd = to + toLength;
    const double firstTouched = std::max(std::floor(to), 0.0);
    const double endTouched = std::min(std::ceil(toEnd), static_cast<double>(targetLength));
    if (!(endTouched > firstTouched))
        return plan;
    plan.first = static_cast<int>(firstTouched);
    plan.count = static_cast<int>(endTouched) - plan.first;
    const double ratio = fromLength / toLength;  // source pixels per target pixel
    auto sourceAt = [&](double x) { return from + (x - to) * ratio; };

    std::vector<PixelWeights> perPixel(static_cast<std::size_t>(plan.count),
                                       PixelWeights(sourceLength));
    plan.coverage.resize(static_cast<std::size_t>(plan.count));
    const int samples = std::max(sampling.supersample, 1);
    for (int n = 0; n < plan.count; ++n) {
        const int j = plan.first + n;
        const double a = std::max(static_cast<double>(j), to);
        const double b = std::min(static_cast<double>(j + 1), toEnd);
        plan.coverage[static_cast<std::size_t>(n)] = static_cast<float>(std::max(b - a, 0.0));
        PixelWeights& weights = perPixel[static_cast<std::size_t>(n)];
        if (read == SourceRead::kLinearMean) {
            linearMeanWeights(sourceAt(a), sourceAt(b), weights);
        } else if (samples == 1) {
            if (ratio > 1.0) {
                coverageWeights(sourceAt(a), sourceAt(b), weights);
            } else {
                filterWeights(sampling.magnify, sourceAt((a + b) / 2.0), 1.0, 1.0, weights);
            }
        } else {
            const double spacing = ratio * (b - a) / samples;
            const double spread = std::max(1.0, spacing);
            for (int s = 0; s < samples; ++s) {
                const double x = a + (s + 0.5) * (b - a) / samples;
                filterWeights(sampling.magnify, sourceAt(x), spread, 1.0 / samples, weights);
            }
        }
    }

    plan.sourceFirst = sourceLength;
    plan.sourceLast = 0;
    for (const PixelWeights& weights : perPixel) {
        if (weights.values().empty())
            continue;
        plan.sourceFirst = std::min(plan.sourceFirst, weights.low());
        plan.sourceLast = std::max(plan.sourceLast, weights.high());
        plan.taps = std::max(plan.taps, weights.high() - weights.low() + 1);
    }
    if (plan.taps == 0) {
        plan.count = 0;
        return plan;
    }
    plan.start.resize(static_cast<std::size_t>(plan.count));
    plan.weights.assign(static_cast<std::size_t>(plan.count) * plan.taps, 0.0f);
    for (int n = 0; n < plan.count; ++n) {
        const PixelWeights& weights = perPixel[static_cast<std::size_t>(n)];
        // Near the far end the taps start earlier, with zero weights in front.
        const int start = std::min(weights.low(), plan.sourceLast - plan.taps + 1);
        plan.start[static_cast<std::size_t>(n)] = start;
        const double sum = weights.sum();
        const double scale = sum != 0.0 ? 1.0 / sum : 0.0;
        float* out = plan.weights.data() + static_cast<std::size_t>(n) * plan.taps;
        for (std::size_t k = 0; k < weights.values().size(); ++k) {
            out[static_cast<std::size_t>(weights.low() - start) + k] =
                static_cast<float>(weights.values()[k] * scale);
        }
    }
    plan.laneWeights.resize(plan.weights.size() * 4);
    for (std::size_t i = 0; i < plan.weights.size(); ++i)
        std::fill_n(plan.laneWeights.begin() + static_cast<std::ptrdiff_t>(4 * i), 4,
                    plan.weights[i]);
    return plan;
}

// sRGB stored values and linear light.
struct LightTables {
    std::array<float, 256> toLinear{};
    LightTables() {
        for (int v = 0; v < 256; ++v) {
            const double s = v / 255.0;
            toLinear[static_cast<std::size_t>(v)] = static_cast<float>(
                255.0 * (s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4)));
        }
    }
    static float toStored(float linear) {
        const float s = std::clamp(linear, 0.0f, 255.0f) / 255.0f;
        return 255.0f * (s <= 0.0031308f ? 12.92f * s : 1.055f * std::pow(s, 1.0f / 2.4f) - 0.055f);
    }
};

const LightTables& lightTables() {
    static const LightTables tables;
    return tables;
}

// Which part of the pixels of row y lies inside the ellipse: the chords of four lines through
// the row, and the pixel's part of each.
struct EllipseRow {
    std::array<double, 4> left{};
    std::array<double, 4> right{};
    double firstX = 0.0;  // the pixels from floor(firstX) to ceil(lastX) may be touched
    double lastX = -1.0;

    EllipseRow(const EllipseClip& clip, int y) {
        bool any = false;
        for (int s = 0; s < 4; ++s) {
            const double dy = (y + (s + 0.5) / 4.0 - clip.centreY) / clip.radiusY;
            const double reach = dy * dy < 1.0 ? clip.radiusX * std::sqrt(1.0 - dy * dy) : -1.0;
            left[static_cast<std::size_t>(s)] = clip.centreX - reach;
            right[static_cast<std::size_t>(s)] = clip.centreX + reach;
            if (reach > 0.0) {
                firstX = any ? std::min(firstX, clip.centreX - reach) : clip.centreX - reach;
                lastX = any ? std::max(lastX, clip.centreX + reach) : clip.centreX + reach;
                any = true;
            }
        }
    }
    float part(int x) const {
        double inside = 0.0;
        for (std::size_t s = 0; s < 4; ++s) {
            inside += std::max(0.0, std::min(right[s], x + 1.0) - std::max(left[s], double(x)));
        }
        return static_cast<float>(inside / 4.0);
    }
};

struct ResampleJob {
    const FrameImage* source;
    FrameImage* target;
    const AxisPlan* columns;
    const AxisPlan* rows;
    const EllipseClip* clip;
    std::optional<PixelRect> hole;  // target pixels not drawn
    bool linearLight;
};

// The horizontal pass of one row: for target columns [begin, end) of the plan, the weighted
// sums of the column sums, 4 floats a pixel (blue, green, red and a spare lane that the next
// pixel overwrites).
template <int Taps>
void sumColumns(const AxisPlan& columns, const float* sums, int begin, int end, float* values) {
    const int taps = Taps > 0 ? Taps : columns.taps;
    for (int m = begin; m < end; ++m) {
        const float* in =
            sums + static_cast<std::size_t>(columns.start[static_cast<std::size_t>(m)] -
                                            columns.sourceFirst) *
                       kChannels;
#if defined(__SSE2__)
        const float* lanes = columns.laneWeights.data() + static_cast<std::size_t>(m) * taps * 4;
        __m128 sum = _mm_mul_ps(_mm_loadu_ps(lanes), _mm_loadu_ps(in));
        for (int k = 1; k < taps; ++k) {
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(lanes + 4 * k),
                                             _mm_loadu_ps(in + static_cast<std::size_t>(k) * 3)));
        }
        _mm_storeu_ps(values + static_cast<std::size_t>(m - begin) * kChannels, sum);
#else
        const float* weights = columns.weights.data() + static_cast<std::size_t>(m) * taps;
        float blue = 0.0f, green = 0.0f, red = 0.0f;
        for (int k = 0; k < taps; ++k) {
            blue += weights[k] * in[k * kChannels];
            green += weights[k] * in[k * kChannels + 1];
            red += weights[k] * in[k * kChannels + 2];
        }
        float* out = values + static_cast<std::size_t>(m - begin) * kChannels;
        out[0] = blue;
        out[1] = green;
        out[2] = red;
#endif
    }
}

void sumColumnsOf(const AxisPlan& columns, const float* sums, int begin, int end, float* values) {
    switch (columns.taps) {
        case 1:
            return sumColumns<1>(columns, sums, begin, end, values);
        case 2:
            return sumColumns<2>(columns, sums, begin, end, values);
        case 3:
            return sumColumns<3>(columns, sums, begin, end, values);
        case 4:
            return sumColumns<4>(columns, sums, begin, end, values);
        case 5:
            return sumColumns<5>(columns, sums, begin, end, values);
        default:
            return sumColumns<0>(columns, sums, begin, end, values);
    }
}

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::min(std::max(value, 0.0f), 255.0f) + 0.5f);
}

// Values rounded to bytes, 0 ... 255.
void toBytes(const float* values, std::size_t count, std::uint8_t* bytes) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 half = _mm_set1_ps(0.5f);
    for (; i + 16 <= count; i += 16) {
        // Truncation of value + 0.5 rounds the values from -0.5 on; the packs saturate.
        const __m128i a = _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(values + i), half));
        const __m128i b = _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(values + i + 4), half));
        const __m128i c = _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(values + i + 8), half));
        const __m128i d = _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(values + i + 12), half));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes + i),
                         _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)));
    }
#endif
    for (; i < count; ++i)
        bytes[i] = toByte(values[i]);
}

// Adds row `in` of the source, times `weight`, to `sums` (sets it when `first`).
void addRow(const std::uint8_t* in, float weight, bool first, std::size_t span, float* sums,
            const LightTables* light) {
    if (light != nullptr) {
        for (std::size_t i = 0; i < span; ++i) {
            const float value = light->toLinear[in[i]];
            sums[i] = first ? weight * value : sums[i] + weight * value;
        }
    } else if (first) {
        for (std::size_t i = 0; i < span; ++i)
            sums[i] = weight * static_cast<float>(in[i]);
    } else if (weight != 0.0f) {
        for (std::size_t i = 0; i < span; ++i)
            sums[i] += weight * static_cast<float>(in[i]);
    }
}

// What the rows of one resample share.
struct RowsContext {
    const ResampleJob& job;
    const AxisPlan& columns;
    const LightTables* light;  // linear light, when the job asks for it
    // The columns covered whole: those between the first and the last column planned, and
    // those two when the target rectangle covers them whole.
    int wholeBegin;
    int wholeEnd;
};

// One target row as its horizontal pass draws it.
struct RowPass {
    int y;
    float coverage;  // the part of the row the target rectangle covers
    const EllipseRow* ellipse;
    const float* sums;  // the vertical pass's sums over every column read
    float* values;      // room for the horizontal pass's values
};

// Without linear light or a clip, on a row covered whole: the columns covered whole take their
// values as they are, the partly covered ones at either end are blended. False, with nothing
// drawn, when no column is covered whole.
bool drawWholeColumns(const RowsContext& context, const RowPass& row, int firstColumn,
                      int endColumn) {
    const AxisPlan& columns = context.columns;
    const int begin = std::max(firstColumn, context.wholeBegin);
    const int end = std::min(endColumn, context.wholeEnd);
    std::uint8_t* out = context.job.target->row(row.y);
    const float* value = row.values;
    std::uint8_t* to = out + static_cast<std::size_t>(columns.first + begin) * kChannels;
    const float* from = value + static_cast<std::size_t>(begin - firstColumn) * kChannels;
    const std::size_t count = static_cast<std::size_t>(std::max(end - begin, 0)) * kChannels;
    toBytes(from, count, to);
    if (begin >= end) {
        return false;
    }
    for (const int m : {firstColumn, endColumn - 1}) {
        if (m >= begin && m < end)
            continue;
        const float alpha = columns.coverage[static_cast<std::size_t>(m)];
        std::uint8_t* pixel = out + static_cast<std::size_t>(columns.first + m) * kChannels;
        const float* v = value + static_cast<std::size_t>(m - firstColumn) * kChannels;
        for (int c = 0; c < kChannels; ++c)
            pixel[c] = toByte(alpha * v[c] + (1.0f - alpha) * pixel[c]);
    }
    return true;
}

// The horizontal pass, and the pixels drawn, of target columns [firstColumn, endColumn).
void drawColumns(const RowsContext& context, const RowPass& row, int firstColumn, int endColumn) {
    if (firstColumn >= endColumn)
        return;
    const AxisPlan& columns = context.columns;
    const LightTables* light = context.light;
    sumColumnsOf(columns, row.sums, firstColumn, endColumn, row.values);
    if (light == nullptr && row.ellipse == nullptr && row.coverage >= 1.0f &&
        drawWholeColumns(context, row, firstColumn, endColumn)) {
        return;
    }
    // Blend each pixel by the part of it covered.
    std::uint8_t* out = context.job.target->row(row.y);
    for (int m = firstColumn; m < endColumn; ++m) {
        const int x = columns.first + m;
        float alpha = row.coverage * columns.coverage[static_cast<std::size_t>(m)];
        if (row.ellipse != nullptr)
            alpha *= row.ellipse->part(x);
        if (alpha <= 0.0f)
            continue;
        std::uint8_t* pixel = out + static_cast<std::size_t>(x) * kChannels;
        const float* v = row.values + static_cast<std::size_t>(m - firstColumn) * kChannels;
        for (int c = 0; c < kChannels; ++c) {
            float blended = v[c];
            if (alpha < 1.0f) {
                const float held =
                    light != nullptr ? light->toLinear[pixel[c]] : static_cast<float>(pixel[c]);
                blended = alpha * blended + (1.0f - alpha) * held;
            }
            if (light != nullptr)
                blended = LightTables::toStored(blended);
            pixel[c] = toByte(blended);
        }
    }
}

void resampleRows(const ResampleJob& job, int rowBegin, int rowEnd) {
    const AxisPlan& columns = *job.columns;
    const AxisPlan& rows = *job.rows;
    const std::size_t span =
        static_cast<std::size_t>(columns.sourceLast - columns.sourceFirst + 1) * kChannels;
    // Spare elements for the four-lane loads and stores past the last pixel.
    std::vector<float> columnSums(span + 4);
    std::vector<float> values(static_cast<std::size_t>(columns.count) * kChannels + 4);
    const int wholeBegin = columns.coverage.front() >= 1.0f ? 0 : 1;
    const RowsContext context{
        job, columns, job.linearLight ? &lightTables() : nullptr, wholeBegin,
        std::max(wholeBegin, columns.coverage.back() >= 1.0f ? columns.count : columns.count - 1)};
    // The hole's columns, as indices of the plan.
    const int holeBegin = job.hole ? job.hole->left - columns.first : 0;
    const int holeEnd = job.hole ? job.hole->left + job.hole->width - columns.first : 0;

    for (int n = rowBegin; n < rowEnd; ++n) {
        const int y = rows.first + n;
        int firstColumn = 0;
        int endColumn = columns.count;
        std::optional<EllipseRow> ellipse;
        if (job.clip != nullptr) {
            ellipse.emplace(*job.clip, y);
            firstColumn = std::max(firstColumn,
                                   static_cast<int>(std::floor(ellipse->firstX)) - columns.first);
            endColumn =
                std::min(endColumn, static_cast<int>(std::ceil(ellipse->lastX)) - columns.first);
            if (firstColumn >= endColumn)
                continue;
        }

        // Vertical pass: the weighted sum of the source rows over every column read.
        const float* rowWeights = rows.weights.data() + static_cast<std::size_t>(n) * rows.taps;
        const int firstRow = rows.start[static_cast<std::size_t>(n)];
        for (int k = 0; k < rows.taps; ++k) {
            addRow(
                job.source->row(firstRow + k) + static_cast<std::size_t>(columns.sourceFirst) * 3,
                rowWeights[k], k == 0, span, columnSums.data(), context.light);
        }

        const RowPass row{y, rows.coverage[static_cast<std::size_t>(n)],
                          ellipse ? &*ellipse : nullptr, columnSums.data(), values.data()};
        if (job.hole && y >= job.hole->top && y < job.hole->top + job.hole->height) {
            drawColumns(context, row, firstColumn, std::min(endColumn, holeBegin));
            drawColumns(context, row, std::max(firstColumn, holeEnd), endColumn);
        } else {
            drawColumns(context, row, firstColumn, endColumn);
        }
    }
}

bool usable(const ExactRect& rect) {
    return std::isfinite(rect.left) && std::isfinite(rect.top) && std::isfinite(rect.width) &&
           std::isfinite(rect.height) && rect.width > 0.0 && rect.height > 0.0 &&
           std::fabs(rect.left) < 1e9 && std::fabs(rect.top) < 1e9 && rect.width < 1e9 &&
           rect.height < 1e9;
}

bool usableClip(const EllipseClip* clip) {
    return clip == nullptr || (clip->radiusX > 0.0 && clip->radiusY > 0.0 &&
                               std::isfinite(clip->centreX) && std::isfinite(clip->centreY));
}

void resample(const FrameImage& source, const ExactRect& from, FrameImage& target,
              const ExactRect& to, const ExactSampling& sampling, const EllipseClip* clip,
              const PixelRect* hole, SourceRead read) {
    if (source.empty() || target.empty() || !usable(from) || !usable(to) || !usableClip(clip))
        return;
    const AxisPlan columns = planAxis(from.left, from.width, source.width(), to.left, to.width,
                                      target.width(), sampling, read);
    const AxisPlan rows = planAxis(from.top, from.height, source.height(), to.top, to.height,
                                   target.height(), sampling, read);
    if (columns.count == 0 || rows.count == 0)
        return;
    const bool linearLight = read == SourceRead::kPixels && sampling.linearLight;
    std::optional<PixelRect> skipped;
    if (hole != nullptr && hole->width > 0 && hole->height > 0)
        skipped = *hole;
    const ResampleJob job{&source, &target, &columns, &rows, clip, skipped, linearLight};
    sampling.threads.parallelFor(
        0, rows.count, [&job](int begin, int end) { resampleRows(job, begin, end); }, 16);
}

}  // namespace

void resampleExact(const FrameImage& source, const ExactRect& from, FrameImage& target,
                   const ExactRect& to, const ExactSampling& sampling, const EllipseClip* clip,
                   const PixelRect* hole) {
    if (&source == &target)
        return;
    resample(source, from, target, to, sampling, clip, hole, SourceRead::kPixels);
}

void resampleLinearMean(const FrameImage& source, const ExactRect& from, FrameImage& target,
                        const ExactRect& to, const ExactSampling& sampling, const EllipseClip* clip,
                        const PixelRect* hole) {
    if (&source == &target)
        return;
    resample(source, from, target, to, sampling, clip, hole, SourceRead::kLinearMean);
}

}  // namespace zr
