#include "output/soundtrack_source.h"

#include "output/soundtrack.h"

namespace zr {

using ffmpeg::inQuotes;

double streamSeconds(const AVFormatContext& input, const AVStream& stream) {
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
        return static_cast<double>(stream.duration) * av_q2d(stream.time_base);
    }
    if (input.duration != AV_NOPTS_VALUE && input.duration > 0) {
        return static_cast<double>(input.duration) / AV_TIME_BASE;
    }
    return 0.0;
}

bool openSoundSource(const std::string& path, SoundSource& source, std::string& error) {
    std::string openError;
    source.input = ffmpeg::openInput(path, openError);
    if (!source.input) {
        error = "the soundtrack " + inQuotes(path) + " cannot be read (" + openError +
                "); give a sound file FFmpeg reads, such as .ogg, .mp3, .m4a, .flac or .wav";
        return false;
    }
    const int index =
        av_find_best_stream(source.input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) {
        error = "the soundtrack " + inQuotes(path) +
                " holds no sound; give a file with a sound stream (music, a recording)";
        return false;
    }
    source.stream = source.input->streams[index];
    return true;
}

std::int64_t streamOrigin(const AVStream& stream) {
    return stream.start_time != AV_NOPTS_VALUE && stream.start_time > 0 ? stream.start_time : 0;
}

SoundtrackPiece soundtrackPieceFor(const std::string& path, double offsetSeconds,
                                   long long firstFrame, long long frames, int framesPerSecond,
                                   bool lastFile) {
    SoundtrackPiece piece;
    piece.path = path;
    piece.offsetSeconds = offsetSeconds;
    piece.startSeconds = static_cast<double>(firstFrame) / framesPerSecond;
    piece.lengthSeconds = static_cast<double>(frames) / framesPerSecond;
    piece.fadeOut = lastFile;
    return piece;
}

bool probeSoundtrack(const std::string& path, SoundtrackInfo& info, std::string& error) {
    SoundSource source;
    if (!openSoundSource(path, source, error)) {
        return false;
    }
    const AVCodecParameters& parameters = *source.stream->codecpar;
    info.codecName = avcodec_get_name(parameters.codec_id);
    info.sampleRate = parameters.sample_rate;
    info.channels = parameters.ch_layout.nb_channels;
    info.seconds = streamSeconds(*source.input, *source.stream);
    // Without a stated length the packets are summed; a stream without any is silent.
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!packet) {
        error = "out of memory";
        return false;
    }
    std::int64_t packetsSeen = 0;
    double packetSeconds = 0.0;
    while (av_read_frame(source.input.get(), packet.get()) >= 0) {
        if (packet->stream_index == source.stream->index && packet->size > 0) {
            ++packetsSeen;
            packetSeconds +=
                static_cast<double>(packet->duration) * av_q2d(source.stream->time_base);
            if (info.seconds > 0.0) {
                av_packet_unref(packet.get());
                break;
            }
        }
        av_packet_unref(packet.get());
    }
    if (info.seconds <= 0.0) {
        info.seconds = packetSeconds;
    }
    if (packetsSeen == 0 || info.sampleRate <= 0 || info.channels <= 0 || info.seconds <= 0.0) {
        error = "the soundtrack " + inQuotes(path) +
                " holds no sound: its sound stream is empty; give a file with sound in it";
        return false;
    }
    return true;
}

}  // namespace zr
