#include "movie/run_status_text.h"

#include <cstdio>
#include <filesystem>

#include "support/printf_text.h"

namespace zr {

namespace {

std::string countersAndColors(const RunCounters& counters, const RunColors& colors) {
    return printfText("M:%d,P:%d,F:%d,C:%f,D:%f,R:%f", counters.movieNumber, counters.keyFrame,
                      counters.frameInMovie, colors.cycle, colors.division, colors.rotation);
}

std::string doneText(const RenderOutcome& outcome) {
    std::string status = "Done! " + countersAndColors(outcome.counters, outcome.colors);
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
    if (!outcome.textureProblem.empty()) {
        status += " The " + outcome.textureProblem + ", so the movie has no texture.";
    }
    if (outcome.stopped && !outcome.shortMovie.empty()) {
        status += printfText(
            " Stopped: %s holds %lld of its %lld frames; the next Start makes it "
            "whole.",
            std::filesystem::path(outcome.shortMovie).filename().string().c_str(),
            outcome.shortMovieFrames, outcome.shortMovieFramesDue);
    }
    return status;
}

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
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
        countersAndColors(event.counters, event.colors) + ' ' + event.keyFrameName;
    if (!event.writerError.empty()) {
        status += ' ' + event.writerError;
    }
    return status;
}

std::string statusText(const RenderOutcome& outcome) {
    return outcome.done ? doneText(outcome) : outcome.failure;
}

std::string keptFileText(const FileKept& event) {
    switch (event.reason) {
        case FileKeptReason::kRecordMatches:
            return fileNameOf(event.path) + ": complete and made with these settings, kept";
        case FileKeptReason::kNoRecord:
            break;
    }
    return fileNameOf(event.path) +
           ": complete but carries no record of its settings (an older version made it), kept as "
           "it is; remove it to have it made again";
}

std::string remadeFileText(const FileRemade& event) {
    const std::string name = fileNameOf(event.path);
    switch (event.reason) {
        case FileRemadeReason::kOtherSettings:
            return name + ": made with other settings, key frames or codec, made again";
        case FileRemadeReason::kShort:
            return printfText("%s: holds %lld of its %lld frames, made again", name.c_str(),
                              event.frames, event.due);
        case FileRemadeReason::kMarked:
            return name + ": marked as not whole, made again";
        case FileRemadeReason::kFresh:
            return name + ": made again, as a fresh render was asked for";
        case FileRemadeReason::kOverwrite:
            break;
    }
    return name + ": not made by this program, replaced as asked";
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

std::string colorRangeText(const ColorRangeTaken& event) {
    return printfText("%d-%d-%d", event.smallest, event.keyMin, event.start);
}

std::string colorRangeText(const StretchRangeMoved& event) {
    return printfText("%d-%d %d-%d", event.stretchMin, event.stretchMax, event.keyMin,
                      event.keyMax);
}

}  // namespace zr
