#include "movie/run_status_text.h"

#include <cstdio>
#include <filesystem>

#include "support/printf_text.h"

namespace zr {

namespace {

std::string countersAndColours(const RunCounters& counters, const RunColours& colours) {
    return printfText("M:%d,P:%d,F:%d,C:%f,D:%f,R:%f", counters.movieNumber, counters.keyFrame,
                      counters.frameInMovie, colours.cycle, colours.division, colours.rotation);
}

std::string doneText(const RenderOutcome& outcome) {
    std::string status = "Done! " + countersAndColours(outcome.counters, outcome.colours);
    if (!outcome.movieFailures.empty()) {
        status += ' ' + outcome.movieFailures.back().reason;
    }
    if (!outcome.noFrameReason.empty()) {
        status += " (no frame: " + outcome.noFrameReason + ")";
    }
    for (const KeyFrameReadError& error : outcome.unusableKeyFrames) {
        status += " Key frame " + error.text() + '.';
    }
    if (!outcome.moviesMissingKeyFrames.empty()) {
        status += " Made without it, and written again by the next run:";
        for (const std::string& movie : outcome.moviesMissingKeyFrames) {
            status += ' ' + std::filesystem::path(movie).filename().string();
        }
    }
    return status;
}

}  // namespace

std::string browsingText(int keyFrame) {
    return printfText("Browsing:%d", keyFrame);
}

std::string statusText(const KeyFrameStarted& event) {
    const RunCounters& counters = event.counters;
    return printfText("Create image M:%d,P:%d,F:%d %s", counters.movieNumber, counters.keyFrame,
                      counters.frameInMovie, event.keyFrameName.c_str());
}

std::string statusText(const FrameDone& event) {
    std::string status =
        countersAndColours(event.counters, event.colours) + ' ' + event.keyFrameName;
    if (!event.writerError.empty()) {
        status += ' ' + event.writerError;
    }
    return status;
}

std::string statusText(const RenderOutcome& outcome) {
    return outcome.done ? doneText(outcome) : outcome.failure;
}

std::string speedLineText(const SpeedLineReached& event) {
    const long long fps = event.fps > 0 ? event.fps : 1;
    const long long t = event.frame;
    return printfText("Frame: %d\nTime: %02lld:%02lld:%02lld.%03lld", event.keyFrame,
                      t / (fps * 3600), (t / (fps * 60)) % 60, (t / fps) % 60,
                      (t % fps) * 1000 / fps);
}

std::string valueText(double value) {
    return printfText("%f", value);
}

std::string colourRangeText(const ColourRangeTaken& event) {
    return printfText("%d-%d-%d", event.smallest, event.keyMin, event.start);
}

std::string colourRangeText(const StretchRangeMoved& event) {
    return printfText("%d-%d %d-%d", event.stretchMin, event.stretchMax, event.keyMin,
                      event.keyMax);
}

}  // namespace zr
