#include "output/movie_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "output/movie_file.h"
#include "support/safe_file.h"

extern "C" {
#include <libavformat/avformat.h>
}

#ifndef ZR_VERSION
#define ZR_VERSION "0"
#endif

namespace zr {

namespace {

constexpr std::string_view kMagic = "zoomreel movie record 1";
constexpr std::size_t kSearchedBytes = 1 << 20;

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

bool readNumber(std::string_view text, long long& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

// Takes "key=value" of a record's field into the record; false for a field it cannot read.
bool readField(std::string_view field, MovieRecord& record) {
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    const std::string_view key = field.substr(0, equals);
    const std::string_view value = field.substr(equals + 1);
    long long number = 0;
    if (key == "program") {
        record.program = value;
    } else if (key == "fingerprint") {
        record.fingerprint = value;
    } else if (key == "file") {
        const std::size_t slash = value.find('/');
        long long files = 0;
        if (slash == std::string_view::npos || !readNumber(value.substr(0, slash), number) ||
            !readNumber(value.substr(slash + 1), files) || files > 1000000 || number >= files) {
            return false;
        }
        record.index = static_cast<int>(number);
        record.files = static_cast<int>(files);
    } else if (key == "frames" || key == "written" || key == "total") {
        if (!readNumber(value, number)) {
            return false;
        }
        (key == "frames"    ? record.frames
         : key == "written" ? record.written
                            : record.total) = number;
    }
    return true;  // fields a later version adds are passed over
}

}  // namespace

std::string recordProgram() {
    return std::string("zoomreel ") + ZR_VERSION;
}

std::string movieRecordText(const MovieRecord& record) {
    char numbers[160];
    std::snprintf(numbers, sizeof numbers, "; file=%d/%d; frames=%lld; written=%010lld; total=%lld",
                  record.index, record.files, record.frames, record.written, record.total);
    return std::string(kMagic) + "; program=" + record.program +
           "; fingerprint=" + record.fingerprint + numbers;
}

std::optional<MovieRecord> parseMovieRecord(std::string_view text) {
    if (!text.starts_with(kMagic)) {
        return std::nullopt;
    }
    text.remove_prefix(kMagic.size());
    MovieRecord record;
    record.written = -1;
    record.frames = -1;
    while (!text.empty()) {
        if (!text.starts_with("; ")) {
            return std::nullopt;
        }
        text.remove_prefix(2);
        const std::size_t end = std::min(text.find("; "), text.size());
        if (!readField(text.substr(0, end), record)) {
            return std::nullopt;
        }
        text.remove_prefix(end);
    }
    if (record.fingerprint.empty() || record.frames < 0 || record.written < 0) {
        return std::nullopt;
    }
    return record;
}

MovieRecordReading readMovieRecord(const std::string& path) {
    MovieRecordReading reading;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        return reading;
    }
    const std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    // The stream information is not needed: every container here reads its tags with the header.
    reading.movie = input->nb_streams > 0;
    const AVDictionaryEntry* entry = av_dict_get(input->metadata, kMovieRecordKey, nullptr, 0);
    if (entry != nullptr && entry->value != nullptr) {
        reading.record = parseMovieRecord(entry->value);
    }
    return reading;
}

bool replaceRecordInFile(const std::string& path, const std::string& before,
                         const std::string& after, std::string& error) {
    if (before.size() != after.size() || before.empty()) {
        error = "the movie record changed its length";
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + " to complete its record: " + std::strerror(errno);
        return false;
    }
    std::vector<char> head(kSearchedBytes);
    const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
    bool ok = got >= 0;
    if (ok) {
        const std::string_view bytes(head.data(), static_cast<std::size_t>(got));
        const std::size_t at = bytes.find(before);
        if (at != std::string_view::npos) {
            ok = ::pwrite(fd, after.data(), after.size(), static_cast<off_t>(at)) ==
                 static_cast<ssize_t>(after.size());
        }
    }
    if (!ok) {
        error = "cannot complete the record of " + path + ": " + std::strerror(errno);
    }
    ::close(fd);
    return ok;
}

std::string publishMovieFile(const std::string& partialName, const std::string& fileName) {
    if (!syncFile(partialName)) {
        return "the finished movie \"" + partialName +
               "\" could not be synced to the disk: " + std::strerror(errno) + "; check the disk";
    }
    // Others go first: however the process ends, no leftover outlives the final name.
    removeOtherPartialMovies(fileName, partialName);
    std::error_code renameError;
    std::filesystem::rename(partialName, fileName, renameError);
    if (renameError) {
        return "the finished movie \"" + partialName + "\" could not be renamed to \"" + fileName +
               "\": " + renameError.message();
    }
    syncFolderOf(fileName);
    return {};
}

}  // namespace zr
