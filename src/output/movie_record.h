#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zr {

// What made a movie file, kept in the file's own metadata (the "comment" tag: an AVI file's
// INFO list, an MP4 or QuickTime file's user data, a Matroska or WebM file's tags), so that
// ffprobe shows it and a later run or join can tell whether the file is whole and made with the
// same settings. One line of text:
//
//   zoomreel movie record 1; program=zoomreel 1.4.0; fingerprint=0123456789abcdef;
//   file=2/12; frames=300; written=0000000300; total=3501
//
// (on one line): the program and its version, the fingerprint of everything that decides the
// frames and the sound, the file's index among the movie's files and their number, the frames
// the plan gives this file, the frames it holds (written with ten digits, so that the count can
// be put in place once the file is complete) and the frames of the whole movie.
struct MovieRecord {
    std::string program;
    std::string fingerprint;
    int index = 0;
    int files = 1;
    long long frames = 0;
    long long written = 0;
    long long total = 0;

    // The file holds every frame the plan gives it.
    bool whole() const { return written == frames; }
    bool operator==(const MovieRecord&) const = default;
};

// The metadata key the record is kept under.
inline constexpr const char* kMovieRecordKey = "comment";

// This program and its version, as records name it.
std::string recordProgram();

// The record as the file keeps it.
std::string movieRecordText(const MovieRecord& record);

// The record a text holds, or none when it is no record of ours.
std::optional<MovieRecord> parseMovieRecord(std::string_view text);

// Whether the file at `path` could be read as a movie, and the record it carries if any.
struct MovieRecordReading {
    bool movie = false;  // the file opens as a movie
    std::optional<MovieRecord> record;
};
MovieRecordReading readMovieRecord(const std::string& path);

// Replaces the record text `before` by `after` (of the same length) in the first megabyte of
// the file at `path`, where the containers that keep their metadata at the front hold it. True
// when it was found and replaced, or is not there; false with `error` set when the file could
// not be read or written.
bool replaceRecordInFile(const std::string& path, const std::string& before,
                         const std::string& after, std::string& error);

// Makes a finished movie file under its partial name its own: syncs it to the disk, removes
// what other processes left under partial names of the same file, renames it and syncs the
// folder, so a power cut leaves either no file or the whole one. Returns the error text, empty
// on success.
std::string publishMovieFile(const std::string& partialName, const std::string& fileName);

}  // namespace zr
