#include "output/movie_files.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "output/avi_writer.h"
#include "output/compressors.h"
#include "output/movie_writer.h"
#include "output/soundtrack.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace zr {

namespace fs = std::filesystem;

namespace {

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

// "MJPG, DIB , cvid, ...": the compressors this build writes into AVI files.
std::string compressorCodes() {
    std::string codes;
    for (const Compressor& compressor : availableCompressors()) {
        codes += (codes.empty() ? "" : ", ") + compressor.fourcc;
    }
    return codes;
}

std::string checkAviChoice(const MovieFileSpec& file, const std::string& path) {
    if (file.aviQuality < 0 || file.aviQuality > 100 || file.aviKeyFrameEvery < 1) {
        return "the AVI movie " + inQuotes(path) + " cannot be written with quality " +
               std::to_string(file.aviQuality) + " and a key frame every " +
               std::to_string(file.aviKeyFrameEvery) +
               " frames; choose a quality from 0 to 100 and a key frame every 1 or more frames";
    }
    if (file.crf >= 0 || !file.preset.empty() || !file.pixelFormat.empty()) {
        return "--crf, --preset and --pix-fmt are for " + containerNames("and") +
               " files, not the AVI movie " + inQuotes(path) + "; its quality is --quality N";
    }
    if (!file.soundtrack.empty()) {
        return "the AVI movie " + inQuotes(path) + " carries no soundtrack; write an " +
               containerNames("or") +
               " file (such as "
               "--output film.mp4), or put the AVI files together with their sound with "
               "\"zoomreel-cli join FOLDER --audio FILE\"";
    }
    if (!file.codec.empty() && !compressorAvailable(normalizeFourcc(file.codec))) {
        return findVideoCodec(file.codec) != nullptr
                   ? "the AVI movie " + inQuotes(path) +
                         " is written with a compressor chosen by four-character code; the codec " +
                         inQuotes(file.codec) + " goes into " + containerExtensions(true) + " files"
                   : inQuotes(file.codec) + " is not a compressor this build can write into " +
                         inQuotes(path) + "; choose one of " + compressorCodes();
    }
    return {};
}

std::string checkSoundtrack(const ContainerInfo& container, const std::string& soundtrack) {
    SoundtrackInfo info;
    std::string error;
    if (!probeSoundtrack(soundtrack, info, error)) {
        return error;
    }
    // A soundtrack that cannot be copied whole is encoded, and so is every cut one.
    const std::string encoder(container.soundEncoder);
    if (avcodec_find_encoder_by_name(encoder.c_str()) == nullptr) {
        return "this build's FFmpeg libraries lack the sound encoder " + inQuotes(encoder) +
               " that " + std::string(container.description) +
               " files need for the soundtrack; choose another container";
    }
    return {};
}

}  // namespace

std::string unfinishedMarkerPath(const std::string& moviePath) {
    return moviePath + ".unfinished";
}

std::string splitMovieFileName(const std::string& firstFile, int index) {
    if (index <= 0) {
        return firstFile;
    }
    const fs::path first(firstFile);
    char number[16];
    std::snprintf(number, sizeof number, "_%02d", index);
    fs::path name = first.stem();
    name += number;
    name += first.extension();
    return (first.parent_path() / name).string();
}

MovieFiles::MovieFiles(const OutputSpec& output, WriterThreads threads)
    : output_(output),
      firstFile_(output.firstMovieFile()),
      soundtrack_(output.soundtrackFile()),
      container_(containerForFile(firstFile_)),
      threads_(threads) {}

std::string MovieFiles::check(int frameWidth, int frameHeight) {
    format_.reset();
    const MovieFileSpec& file = output_.movieFile;
    if (container_ == nullptr) {
        return "the movie file " + inQuotes(firstFile_) +
               " has an extension this program cannot write; end its name in one of " +
               containerList();
    }
    const fs::path folder = fs::path(firstFile_).parent_path();
    std::error_code error;
    if (!folder.empty() && !fs::is_directory(folder, error)) {
        return "the folder " + inQuotes(folder.string()) + " of the movie file " +
               inQuotes(firstFile_) + " does not exist; create it or choose another movie file";
    }
    if (avi()) {
        return checkAviChoice(file, firstFile_);
    }
    if (output_.fps <= 0) {
        return "a movie file of " + std::to_string(output_.fps) +
               " frames a second cannot be written; choose an FPS of 1 or more";
    }
    VideoRequest request;
    request.codec = file.codec;
    if (file.crf >= 0) {
        request.crf = file.crf;
    }
    request.preset = file.preset;
    request.pixelFormat = file.pixelFormat;
    VideoFormat format;
    std::string problem;
    if (!chooseVideoFormat(firstFile_, request, format, problem)) {
        return problem;
    }
    problem = frameSizeProblem(format, frameWidth, frameHeight);
    if (!problem.empty()) {
        return "cannot write " + inQuotes(firstFile_) + ": " + problem;
    }
    if (!soundtrack_.empty()) {
        problem = checkSoundtrack(*container_, soundtrack_);
        if (!problem.empty()) {
            return problem;
        }
    }
    format_ = format;
    return {};
}

int MovieFiles::fileCount() const {
    const long long perFile = std::max(output_.framesPerMovie, 1);
    return static_cast<int>(
        std::min<long long>((plannedFrames_ + perFile - 1) / perFile, 2147483647));
}

long long MovieFiles::framesOfFile(int index) const {
    const long long perFile = std::max(output_.framesPerMovie, 1);
    return std::clamp<long long>(plannedFrames_ - index * perFile, 0, perFile);
}

MovieRecord MovieFiles::wholeRecord(int index) const {
    MovieRecord record;
    record.program = recordProgram();
    record.fingerprint = fingerprint_;
    record.index = index;
    record.files = std::max(fileCount(), index + 1);
    record.frames = framesOfFile(index);
    record.written = record.frames;
    record.total = plannedFrames_;
    return record;
}

std::unique_ptr<MovieFileWriter> MovieFiles::open(int index) const {
    std::unique_ptr<MovieFileWriter> writer = openWriter(index);
    if (writer && !fingerprint_.empty()) {
        MovieRecord record = wholeRecord(index);
        record.written = 0;
        writer->setRecord(record);
    }
    return writer;
}

std::unique_ptr<MovieFileWriter> MovieFiles::openWriter(int index) const {
    const std::string name = path(index);
    if (avi()) {
        const MovieFileSpec& file = output_.movieFile;
        return std::make_unique<AviWriter>(
            name, output_.bitsPerPixel, output_.fps, file.aviKeyFrameEvery, file.aviQuality,
            file.codec.empty() ? std::string(kDefaultAviCompressor) : file.codec, threads_.frames);
    }
    if (!format_) {
        return nullptr;
    }
    MovieWriterSettings settings;
    settings.format = *format_;
    settings.framesPerSecond = output_.fps;
    settings.threads = threads_.encoder;
    if (!soundtrack_.empty()) {
        const long long perFile = std::max(output_.framesPerMovie, 1);
        const long long first = static_cast<long long>(index) * perFile;
        const long long frames = std::clamp<long long>(plannedFrames_ - first, 0, perFile);
        settings.soundtrack =
            soundtrackPieceFor(soundtrack_, output_.movieFile.soundtrackOffset, first, frames,
                               output_.fps, plannedFrames_ > 0 && first + frames >= plannedFrames_);
    }
    return std::make_unique<MovieWriter>(name, std::move(settings));
}

}  // namespace zr
