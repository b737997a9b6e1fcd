#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/controls.h"

namespace zr {

// What a new movie width proposes for the height and "Frames per movie".
struct DerivedMovieSize {
    int height = 0;
    int framesPerMovie = 0;
};

// Movie height := width * 360 / 640 (integer division); "Frames per movie" := 1037000000 /
// (width * height), a product of 0 taken as 1. Computed in 64 bits, so no width overflows.
DerivedMovieSize deriveFromMovieWidth(int width);

// "Frames per movie" proposed for a picture of width x height, a product of 0 taken as 1.
int proposedFramesPerMovie(int width, int height);

// The controls held in memory: the state of the main dialog just after its initialisation,
// with the same change handling. Used by the command line and by tests.
class MemoryControls : public Controls {
  public:
    MemoryControls();

    std::string text(int id) const override;
    void setText(int id, std::string_view text) override;

    bool checked(int id) const override;
    void setChecked(int id, bool checked) override;

    int selection(int id) const override;
    void setSelection(int id, int index) override;
    int entryCount(int id) const override;

    std::vector<std::string> lines(int id) const override;
    void clearLines(int id) override;
    void addLine(int id, std::string_view line) override;
    void replaceLine(int id, int index, std::string_view line) override;
    void removeLine(int id, int index) override;

    std::optional<std::string> askZoomSize() override;
    void recomputeMovieLength() override;

    // The answer of the "Zoom size(float value)" box: a text, or none for cancel (the default).
    void setZoomSizeAnswer(std::optional<std::string> answer) {
        zoomSizeAnswer_ = std::move(answer);
    }
    // How many times the box was asked.
    int zoomSizeQuestions() const { return zoomSizeQuestions_; }

    // The movie length estimate, run whenever the FPS text changes and when a folder is
    // chosen.
    void setMovieLengthHook(std::function<void(Controls&)> hook) {
        movieLengthHook_ = std::move(hook);
    }

  private:
    struct ListState {
        std::vector<std::string> entries;
        int selected = -1;
    };

    ListState& list(int id) { return lists_[id]; }
    const ListState* findList(int id) const;
    void fill(int id, std::vector<std::string> entries, int selected);

    std::map<int, std::string> texts_;
    std::map<int, bool> checks_;
    std::map<int, ListState> lists_;
    std::optional<std::string> zoomSizeAnswer_;
    int zoomSizeQuestions_ = 0;
    std::function<void(Controls&)> movieLengthHook_;
};

}  // namespace zr
