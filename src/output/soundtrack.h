#pragma once

#include <memory>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace zr {

struct ContainerInfo;

// What a sound file holds.
struct SoundtrackInfo {
    double seconds = 0.0;   // the length of the sound
    std::string codecName;  // FFmpeg's name: "vorbis", "aac", "pcm_s16le", ...
    int sampleRate = 0;
    int channels = 0;
};

// Opens `path` as sound and describes its first sound stream. Returns false with `error` naming
// the file and what to do when it cannot be read, holds no sound stream, or its sound stream
// holds no samples.
bool probeSoundtrack(const std::string& path, SoundtrackInfo& info, std::string& error);

// The stretch of a soundtrack that one movie file carries. Movie time t plays the soundtrack at
// t - offsetSeconds; the file begins at movie time startSeconds, so the split files of a movie,
// each given its own start, play in sync one after another.
struct SoundtrackPiece {
    std::string path;            // any file FFmpeg reads
    double offsetSeconds = 0.0;  // where the soundtrack begins in the movie; negative: the movie
                                 // begins that far into the soundtrack
    double startSeconds = 0.0;   // the movie time at which this file begins
    double lengthSeconds = 0.0;  // the planned length of this file; 0 when not known
    bool fadeOut = true;         // this file ends the movie: the sound fades out at its end
};

// The stretch of a soundtrack for the movie file that holds `frames` frames from movie frame
// `firstFrame` on, at `framesPerSecond`; `lastFile` when it ends the movie.
SoundtrackPiece soundtrackPieceFor(const std::string& path, double offsetSeconds,
                                   long long firstFrame, long long frames, int framesPerSecond,
                                   bool lastFile);

// The sound fades out over this much of the movie's end (or all of a shorter file).
inline constexpr double kFadeOutSeconds = 1.0;

// The sound stream of one movie file being written. The stream is copied from the soundtrack
// when the container takes its codec and the stretch needs no cut: the soundtrack begins inside
// the file and ends before the file's planned end. Otherwise it is decoded, cut to the sample at
// the file's start and end (silence where the soundtrack has none), faded out when the file ends
// the movie, and encoded with the container's sound encoder.
class SoundtrackWriter {
  public:
    ~SoundtrackWriter();
    SoundtrackWriter(const SoundtrackWriter&) = delete;
    SoundtrackWriter& operator=(const SoundtrackWriter&) = delete;

    // Opens the soundtrack and adds its stream to `output`, whose header is not yet written.
    // `movieName` names the movie file in messages. Returns null with `error` set when the
    // soundtrack cannot be read or holds no sound, or its encoder is missing.
    static std::unique_ptr<SoundtrackWriter> add(AVFormatContext& output,
                                                 const ContainerInfo& container,
                                                 const SoundtrackPiece& piece,
                                                 const std::string& movieName, std::string& error);

    // Writes the sound of the file's first `seconds`, holding back what a fade-out may still
    // change. Call only after the output's header is written, from the thread that writes the
    // file. `write` is how a packet reaches the file. Returns the error text, empty on success.
    using PacketWriter = std::string (*)(void* context, AVPacket& packet);
    std::string writeUntil(double seconds, PacketWriter write, void* context);

    // Writes the rest of the sound up to the file's end at `seconds`, faded out when the file
    // ends the movie. Returns the error text, empty on success.
    std::string finish(double seconds, PacketWriter write, void* context);

    // Whether the stream is a copy of the soundtrack's own.
    bool copied() const;

  private:
    struct State;
    explicit SoundtrackWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace zr
