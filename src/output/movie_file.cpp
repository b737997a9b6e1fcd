#include "output/movie_file.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "output/ffmpeg_objects.h"

namespace zr {
namespace {

// The machine's name up to its first dot, and the process, as a file name may hold them.
std::string writerName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') {
        std::snprintf(host, sizeof host, "host");
    }
    std::string name;
    for (const char* c = host; *c != '\0' && *c != '.'; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || *c == '-' || *c == '_';
        name += plain ? *c : '_';
    }
    return name + '-' + std::to_string(static_cast<long long>(::getpid()));
}

}  // namespace

std::string partialMovieName(const std::string& fileName) {
    return fileName + '.' + writerName() + ".part";
}

bool isPartialMovieName(std::string_view name, std::string_view fileName) {
    return name.size() >= fileName.size() + 5 && name.starts_with(fileName) &&
           name[fileName.size()] == '.' && name.ends_with(".part");
}

void removeOtherPartialMovies(const std::string& fileName, const std::string& own) {
    namespace fs = std::filesystem;
    const fs::path path(fileName);
    const std::string name = path.filename().string();
    const std::string ownName = fs::path(own).filename().string();
    std::error_code error;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::vector<fs::path> leftovers;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string found = entry->path().filename().string();
        if (found != ownName && isPartialMovieName(found, name)) {
            leftovers.push_back(entry->path());
        }
    }
    for (const fs::path& leftover : leftovers) {
        fs::remove(leftover, error);
    }
}

std::string movieFileName(int index, std::string_view extension) {
    std::string name = "film";
    if (index > 0) {
        char number[16];
        std::snprintf(number, sizeof number, "_%02d", index);
        name += number;
    }
    name += '.';
    name += extension;
    return name;
}

long long movieFileFrameCount(const std::string& path) {
    AVFormatContext* rawInput = nullptr;
    if (avformat_open_input(&rawInput, path.c_str(), nullptr, nullptr) < 0) {
        return -1;
    }
    const ffmpeg::InputPtr input(rawInput);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return -1;
    }
    const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) {
        return -1;
    }
    const ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!packet) {
        return -1;
    }
    long long frames = 0;
    int result = 0;
    while ((result = av_read_frame(input.get(), packet.get())) >= 0) {
        if (packet->stream_index == stream) {
            ++frames;
        }
        av_packet_unref(packet.get());
    }
    return result == AVERROR_EOF ? frames : -1;
}

}  // namespace zr
