#include "settings/memory_controls.h"

#include <cstdint>
#include <utility>

#include "settings/parameters.h"

namespace zr {

namespace {

constexpr std::int64_t kFramesPerMovieBudget = 1037000000;

}  // namespace

int proposedFramesPerMovie(int width, int height) {
    std::int64_t product = static_cast<std::int64_t>(width) * height;
    if (product == 0)
        product = 1;
    return static_cast<int>(kFramesPerMovieBudget / product);
}

DerivedMovieSize deriveFromMovieWidth(int width) {
    DerivedMovieSize derived;
    derived.height = static_cast<int>(static_cast<std::int64_t>(width) * 360 / 640);
    derived.framesPerMovie = proposedFramesPerMovie(width, derived.height);
    return derived;
}

MemoryControls::MemoryControls() {
    fill(kIdWaveType, {"Hue", "Saturation", "Brightness", "Wave(RGB)"}, -1);
    for (const int id : {kIdSpeedList, kIdRotateList, kIdCycleList, kIdDivideList,
                         kIdColorCountList, kIdWaveList, kIdLongWaveList}) {
        fill(id, {}, -1);
    }
    for (const Parameter& parameter : parameters()) {
        if (!parameter.choices.empty())
            fill(parameter.control, {parameter.choices.begin(), parameter.choices.end()}, -1);
        if (!parameter.defaultValue.empty())
            applyDefaultValue(*this, parameter);
    }
}

void MemoryControls::fill(int id, std::vector<std::string> entries, int selected) {
    ListState& state = list(id);
    state.entries = std::move(entries);
    state.selected = selected;
}

const MemoryControls::ListState* MemoryControls::findList(int id) const {
    const auto found = lists_.find(id);
    return found == lists_.end() ? nullptr : &found->second;
}

std::string MemoryControls::text(int id) const {
    const auto found = texts_.find(id);
    return found == texts_.end() ? std::string() : found->second;
}

void MemoryControls::setText(int id, std::string_view text) {
    texts_[id] = std::string(text);
    if (id == kIdMovieWidth) {
        const DerivedMovieSize derived = deriveFromMovieWidth(readInt(text));
        texts_[kIdMovieHeight] = std::to_string(derived.height);
        texts_[kIdFramesPerMovie] = std::to_string(derived.framesPerMovie);
    } else if (id == kIdFps) {
        recomputeMovieLength();
    }
}

bool MemoryControls::checked(int id) const {
    const auto found = checks_.find(id);
    return found != checks_.end() && found->second;
}

void MemoryControls::setChecked(int id, bool checked) {
    checks_[id] = checked;
}

int MemoryControls::selection(int id) const {
    const ListState* state = findList(id);
    return state == nullptr ? -1 : state->selected;
}

void MemoryControls::setSelection(int id, int index) {
    ListState& state = list(id);
    const bool inRange = index >= 0 && index < static_cast<int>(state.entries.size());
    state.selected = inRange ? index : -1;
}

int MemoryControls::entryCount(int id) const {
    const ListState* state = findList(id);
    return state == nullptr ? 0 : static_cast<int>(state->entries.size());
}

std::vector<std::string> MemoryControls::lines(int id) const {
    const ListState* state = findList(id);
    return state == nullptr ? std::vector<std::string>() : state->entries;
}

void MemoryControls::clearLines(int id) {
    ListState& state = list(id);
    state.entries.clear();
    state.selected = -1;
}

void MemoryControls::addLine(int id, std::string_view line) {
    list(id).entries.emplace_back(line);
}

void MemoryControls::replaceLine(int id, int index, std::string_view line) {
    ListState& state = list(id);
    if (index < 0 || index >= static_cast<int>(state.entries.size()))
        return;
    state.entries[static_cast<std::size_t>(index)] = std::string(line);
}

void MemoryControls::removeLine(int id, int index) {
    ListState& state = list(id);
    if (index < 0 || index >= static_cast<int>(state.entries.size()))
        return;
    state.entries.erase(state.entries.begin() + index);
    if (state.selected == index) {
        state.selected = -1;
    } else if (state.selected > index) {
        --state.selected;
    }
}

std::optional<std::string> MemoryControls::askZoomSize() {
    ++zoomSizeQuestions_;
    return zoomSizeAnswer_;
}

void MemoryControls::recomputeMovieLength() {
    if (movieLengthHook_)
        movieLengthHook_(*this);
}

}  // namespace zr
