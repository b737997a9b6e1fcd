#include "output/movie_join.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "output/avi_writer.h"
#include "output/compressors.h"
#include "output/ffmpeg_objects.h"
#include "output/movie_file.h"
#include "output/movie_files.h"
#include "output/movie_record.h"
#include "output/movie_writer.h"
#include "output/soundtrack.h"
#include "support/frame_image.h"
#include "support/safe_file.h"
#include "support/text_match.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace zr {

namespace fs = std::filesystem;
using ffmpeg::inQuotes;

namespace {

// One split file, opened.
struct Piece {
    std::string path;
    ffmpeg::InputPtr input;
    AVStream* video = nullptr;
    AVRational rate{0, 1};
    long long frames = 0;
    bool hasSound = false;
    std::optional<MovieRecord> record;  // what made it, when it carries a record
};

std::string openPiece(const std::string& path, Piece& piece) {
    piece.path = path;
    std::string error;
    piece.input = ffmpeg::openInput(path, error);
    if (!piece.input) {
        return "the split file " + error;
    }
    const int index =
        av_find_best_stream(piece.input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        return "the split file " + inQuotes(path) + " holds no video; render it again";
    }
    piece.video = piece.input->streams[index];
    piece.rate = av_guess_frame_rate(piece.input.get(), piece.video, nullptr);
    piece.hasSound =
        av_find_best_stream(piece.input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
    piece.frames = movieFileFrameCount(path);
    if (piece.frames <= 0 || piece.rate.num <= 0 || piece.rate.den <= 0) {
        return "the split file " + inQuotes(path) + " holds no readable frames; render it again";
    }
    const AVDictionaryEntry* record =
        av_dict_get(piece.input->metadata, kMovieRecordKey, nullptr, 0);
    if (record != nullptr && record->value != nullptr) {
        piece.record = parseMovieRecord(record->value);
    }
    return {};
}

constexpr const char* kCompleteIt = "run the same render command again to make it whole, then join";

// What the record of piece `index` says against the piece and the first piece's record: empty
// when they agree (or it carries none), else why the piece cannot be joined.
std::string recordProblem(const Piece& piece, std::size_t index, const Piece& first) {
    if (!piece.record) {
        return {};
    }
    const MovieRecord& record = *piece.record;
    if (!record.whole()) {
        return "the split file " + inQuotes(piece.path) + " holds " +
               std::to_string(record.written) + " of its " + std::to_string(record.frames) +
               " frames (its render was stopped); " + kCompleteIt;
    }
    if (piece.frames != record.frames) {
        return "the split file " + inQuotes(piece.path) + " holds " + std::to_string(piece.frames) +
               " frames where its record says " + std::to_string(record.frames) +
               "; it was cut or damaged: remove it and " + kCompleteIt;
    }
    if (record.index != static_cast<int>(index)) {
        return "the split file " + inQuotes(piece.path) + " is file " +
               std::to_string(record.index) + " of its movie by its record, not file " +
               std::to_string(index) + "; it was renamed or copied from another render";
    }
    if (first.record && first.record->fingerprint != record.fingerprint) {
        return "the split file " + inQuotes(piece.path) + " was made with other settings than " +
               inQuotes(first.path) + "; remove the older one and " + kCompleteIt;
    }
    return {};
}

// The fingerprint of a joined movie: those of its pieces (their names and sizes for pieces
// without a record), and the choices of the join.
std::string joinedFingerprint(const std::vector<Piece>& pieces, const JoinRequest& request) {
    std::string text =
        "join\n" + fs::path(request.output).extension().string() + "\n" + request.video.codec +
        "\n" + request.video.preset + "\n" + request.video.pixelFormat + "\n" +
        std::to_string(request.video.crf.value_or(-1)) + "\n" + request.aviCodec + "\n" +
        request.soundtrack.value_or("") + "\n" + std::to_string(request.soundtrackOffset) + "\n";
    for (const Piece& piece : pieces) {
        text += piece.record
                    ? piece.record->fingerprint
                    : fs::path(piece.path).filename().string() + " " + std::to_string(piece.frames);
        text += '\n';
    }
    return hexDigits(fnv1a64(text));
}

MovieRecord joinedRecord(const std::vector<Piece>& pieces, const JoinRequest& request,
                         long long frames) {
    MovieRecord record;
    record.program = recordProgram();
    record.fingerprint = joinedFingerprint(pieces, request);
    record.frames = frames;
    record.total = frames;
    return record;
}

bool sameParameters(const AVCodecParameters& a, const AVCodecParameters& b) {
    return a.codec_id == b.codec_id && a.format == b.format && a.width == b.width &&
           a.height == b.height && a.codec_tag == b.codec_tag &&
           a.extradata_size == b.extradata_size &&
           (a.extradata_size == 0 || std::memcmp(a.extradata, b.extradata, a.extradata_size) == 0);
}

// Whether the container takes the video codec as it is.
bool containerTakes(const ContainerInfo& container, AVCodecID codec) {
    const AVOutputFormat* muxer =
        av_guess_format(std::string(container.muxer).c_str(), nullptr, nullptr);
    if (muxer == nullptr || avformat_query_codec(muxer, codec, FF_COMPLIANCE_NORMAL) != 1) {
        return false;
    }
    if (container.id == Container::kAvi) {
        return true;
    }
    for (const VideoCodec* offered : availableVideoCodecs(container.id)) {
        const AVCodec* encoder =
            avcodec_find_encoder_by_name(std::string(offered->encoderName).c_str());
        if (encoder != nullptr && encoder->id == codec) {
            return true;
        }
    }
    return false;
}

bool bottomUpRows(const AVCodecParameters& parameters) {
    constexpr char kMark[] = "BottomUp";
    return parameters.codec_id == AV_CODEC_ID_RAWVIDEO &&
           parameters.extradata_size >= static_cast<int>(sizeof kMark) &&
           std::memcmp(parameters.extradata + parameters.extradata_size - sizeof kMark, kMark,
                       sizeof kMark) == 0;
}

std::string writeToFile(void* file, AVPacket& packet) {
    return static_cast<ffmpeg::PartialOutput*>(file)->write(packet);
}

// The joined movie's video stream: the first piece's, with a tag the container takes.
AVStream* addCopiedVideo(AVFormatContext& output, const Piece& first,
                         const ContainerInfo& container) {
    AVStream* video = avformat_new_stream(&output, nullptr);
    if (video == nullptr || avcodec_parameters_copy(video->codecpar, first.video->codecpar) < 0) {
        return nullptr;
    }
    const AVCodecParameters& source = *first.video->codecpar;
    const bool tagFits =
        output.oformat->codec_tag == nullptr ||
        av_codec_get_id(output.oformat->codec_tag, source.codec_tag) == source.codec_id;
    video->codecpar->codec_tag = tagFits ? source.codec_tag : 0;
    if (source.codec_id == AV_CODEC_ID_HEVC &&
        (container.id == Container::kMp4 || container.id == Container::kMov)) {
        video->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    }
    video->time_base =
        container.id == Container::kAvi ? av_inv_q(first.rate) : first.video->time_base;
    video->avg_frame_rate = first.rate;
    return video;
}

// Where the pieces' packets go.
struct CopyTarget {
    ffmpeg::PartialOutput& file;
    AVStream& video;
    AVRational frameTime;
    SoundtrackWriter* sound;  // null without a soundtrack
};

// Appends the piece's video packets after `framesBefore` frames, the soundtrack keeping up.
std::string copyPiece(Piece& piece, long long framesBefore, AVPacket& packet,
                      const CopyTarget& target) {
    AVStream& video = target.video;
    const std::int64_t shift = av_rescale_q(framesBefore, target.frameTime, video.time_base);
    long long framesDone = 0;
    int read = 0;
    while ((read = av_read_frame(piece.input.get(), &packet)) >= 0) {
        if (packet.stream_index != piece.video->index) {
            av_packet_unref(&packet);
            continue;
        }
        av_packet_rescale_ts(&packet, piece.video->time_base, video.time_base);
        if (packet.pts != AV_NOPTS_VALUE) {
            packet.pts += shift;
        }
        if (packet.dts != AV_NOPTS_VALUE) {
            packet.dts += shift;
        }
        packet.stream_index = video.index;
        packet.pos = -1;
        if (std::string error = target.file.write(packet); !error.empty()) {
            return error;
        }
        ++framesDone;
        if (target.sound != nullptr) {
            const double seconds =
                static_cast<double>(framesBefore + framesDone) * av_q2d(target.frameTime);
            if (std::string error = target.sound->writeUntil(seconds, &writeToFile, &target.file);
                !error.empty()) {
                return error;
            }
        }
    }
    if (read != AVERROR_EOF) {
        return "cannot read " + inQuotes(piece.path) + ": " + ffmpeg::message(read);
    }
    return {};
}

// The pieces' packets into one stream, with the soundtrack.
std::string copyPieces(std::vector<Piece>& pieces, const JoinRequest& request,
                       const ContainerInfo& container, const std::optional<SoundtrackPiece>& sound,
                       JoinResult& result) {
    ffmpeg::PartialOutput file(request.output, std::string(container.muxer));
    if (std::string error = file.create(); !error.empty()) {
        return error;
    }
    file.setRecord(joinedRecord(pieces, request, result.frames));
    file.setWrittenFrames(result.frames);
    AVFormatContext& output = file.context();
    const Piece& first = pieces.front();
    AVStream* video = addCopiedVideo(output, first, container);
    if (video == nullptr) {
        return "out of memory";
    }
    const AVCodecParameters& source = *first.video->codecpar;
    const AVRational frameTime = av_inv_q(first.rate);

    std::unique_ptr<SoundtrackWriter> soundWriter;
    if (sound) {
        std::string error;
        soundWriter = SoundtrackWriter::add(output, container, *sound, request.output, error);
        if (!soundWriter) {
            return error;
        }
        result.soundCopied = soundWriter->copied();
    }
    std::string options;
    if (container.indexAtFront) {
        options = "movflags=+faststart";
    } else if (container.id == Container::kAvi && bottomUpRows(source)) {
        options = "flipped_raw_rgb=1";
    }
    if (std::string error = file.writeHeader(options.empty() ? nullptr : options.c_str());
        !error.empty()) {
        return error;
    }

    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!packet) {
        return "out of memory";
    }
    const CopyTarget target{file, *video, frameTime, soundWriter.get()};
    long long framesBefore = 0;
    for (Piece& piece : pieces) {
        if (std::string error = copyPiece(piece, framesBefore, *packet, target); !error.empty()) {
            return error;
        }
        framesBefore += piece.frames;
    }
    if (soundWriter) {
        const double seconds = static_cast<double>(framesBefore) * av_q2d(frameTime);
        if (std::string error = soundWriter->finish(seconds, &writeToFile, &file); !error.empty()) {
            return error;
        }
    }
    return file.finish();
}

// Converts decoded frames to blue, green, red pictures, reading the colour tags of each.
class BgrConverter {
  public:
    const FrameImage& convert(const AVFrame& frame) {
        if (!scaler_ || frame.width != image_.width() || frame.height != image_.height() ||
            frame.format != format_) {
            image_ = FrameImage(frame.width, frame.height);
            format_ = frame.format;
            scaler_.reset(sws_getContext(
                frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), frame.width,
                frame.height, AV_PIX_FMT_BGR24, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                nullptr, nullptr, nullptr));
            if (!scaler_) {
                throw std::bad_alloc();
            }
            const AVPixFmtDescriptor* pixel =
                av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
            if (pixel != nullptr && !(pixel->flags & AV_PIX_FMT_FLAG_RGB) &&
                frame.colorspace != AVCOL_SPC_UNSPECIFIED) {
                const int matrix =
                    frame.colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_SMPTE170M;
                sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(matrix),
                                         frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0,
                                         sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16,
                                         1 << 16);
            }
        }
        std::uint8_t* const rows[1] = {image_.data()};
        const int strides[1] = {image_.stride()};
        sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height, rows, strides);
        return image_;
    }

  private:
    ffmpeg::ScalerPtr scaler_;
    FrameImage image_;
    int format_ = -1;
};

// The writer of the joined movie when its frames are encoded again; null with `error` set when
// the container or codec cannot take them. `soundOf` is the writer that carries the soundtrack.
std::unique_ptr<MovieFileWriter> makeJoinWriter(const JoinRequest& request,
                                                const ContainerInfo& container, AVRational rate,
                                                const std::optional<SoundtrackPiece>& sound,
                                                const MovieWriter*& soundOf, std::string& error) {
    if (container.id == Container::kAvi) {
        if (sound) {
            error =
                "an AVI file with sound is joined only from split files whose video can be "
                "copied; choose an " +
                containerExtensions(true) + " file for " + inQuotes(request.output);
            return nullptr;
        }
        if (!compressorAvailable(request.aviCodec)) {
            error = "--codec: " + inQuotes(request.aviCodec) +
                    " is not a compressor this build can write into " + inQuotes(request.output) +
                    " (see \"zoomreel-cli codecs\")";
            return nullptr;
        }
        return std::make_unique<AviWriter>(request.output, 24, rate.num, 1, 85, request.aviCodec);
    }
    VideoFormat format;
    if (!chooseVideoFormat(request.output, request.video, format, error)) {
        return nullptr;
    }
    auto movie =
        std::make_unique<MovieWriter>(request.output, MovieWriterSettings{format, rate.num, sound});
    soundOf = movie.get();
    return movie;
}

// Decodes the pieces and encodes their frames into one movie.
std::string encodePieces(std::vector<Piece>& pieces, const JoinRequest& request,
                         const ContainerInfo& container,
                         const std::optional<SoundtrackPiece>& sound, JoinResult& result) {
    const AVRational rate = pieces.front().rate;
    if (rate.den != 1) {
        return "the split files run at " + std::to_string(rate.num) + "/" +
               std::to_string(rate.den) +
               " frames a second; only whole numbers of frames a second can be encoded again";
    }
    const MovieWriter* soundOf = nullptr;
    std::string writerError;
    const std::unique_ptr<MovieFileWriter> writer =
        makeJoinWriter(request, container, rate, sound, soundOf, writerError);
    if (!writer) {
        return writerError;
    }
    MovieRecord record = joinedRecord(pieces, request, result.frames);
    record.written = 0;
    writer->setRecord(record);

    ffmpeg::PacketPtr packet(av_packet_alloc());
    ffmpeg::FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        return "out of memory";
    }
    BgrConverter converter;
    for (Piece& piece : pieces) {
        const AVCodec* codec = avcodec_find_decoder(piece.video->codecpar->codec_id);
        ffmpeg::CodecContextPtr decoder(avcodec_alloc_context3(codec));
        if (codec == nullptr || !decoder ||
            avcodec_parameters_to_context(decoder.get(), piece.video->codecpar) < 0 ||
            avcodec_open2(decoder.get(), codec, nullptr) < 0) {
            return "cannot decode the video of " + inQuotes(piece.path);
        }
        std::string error;
        const auto receive = [&]() {
            while (error.empty() && avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
                if (writer->writeFrame(converter.convert(*frame)) != WriteStatus::kOk) {
                    error = writer->errorText();
                }
                av_frame_unref(frame.get());
            }
        };
        int read = 0;
        while (error.empty() && (read = av_read_frame(piece.input.get(), packet.get())) >= 0) {
            if (packet->stream_index == piece.video->index) {
                const int sent = avcodec_send_packet(decoder.get(), packet.get());
                if (sent < 0) {
                    error = "cannot decode a frame of " + inQuotes(piece.path) + ": " +
                            ffmpeg::message(sent);
                }
                receive();
            }
            av_packet_unref(packet.get());
        }
        if (error.empty()) {
            avcodec_send_packet(decoder.get(), nullptr);
            receive();
        }
        if (!error.empty()) {
            return error;
        }
    }
    result.soundCopied = soundOf != nullptr && soundOf->soundtrackCopied();
    if (writer->close() != WriteStatus::kOk) {
        return writer->errorText();
    }
    return {};
}

// Opens every split file and checks that they make one movie: the same size and rate, records
// of the same render, files of equal length but the last, every file there. Returns the error
// text, empty on success, with the frames they hold in `frames`.
std::string openPieces(const JoinRequest& request, std::vector<Piece>& pieces, long long& frames) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::error_code notThere;
        if (fs::equivalent(request.pieces[i], request.output, notThere)) {
            return "the joined movie " + inQuotes(request.output) +
                   " would replace its own split file; choose another --output";
        }
        if (std::string error = openPiece(request.pieces[i], pieces[i]); !error.empty()) {
            return error;
        }
        const Piece& first = pieces.front();
        const Piece& piece = pieces[i];
        const AVCodecParameters& size = *piece.video->codecpar;
        if (size.width != first.video->codecpar->width ||
            size.height != first.video->codecpar->height || av_cmp_q(piece.rate, first.rate) != 0) {
            return "the split file " + inQuotes(piece.path) + " holds " +
                   std::to_string(size.width) + " x " + std::to_string(size.height) +
                   " frames at " + std::to_string(av_q2d(piece.rate)) + " a second, unlike " +
                   inQuotes(first.path) +
                   "; every split file of a movie must come from the same render";
        }
        if (std::string problem = recordProblem(piece, i, first); !problem.empty()) {
            return problem;
        }
        if (piece.hasSound && !request.soundtrack) {
            return "the split file " + inQuotes(piece.path) +
                   " holds sound; give its sound file with --audio (and "
                   "--audio-offset) so that it plays through the joined movie "
                   "without breaks";
        }
        frames += piece.frames;
    }
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        if (pieces[i].frames != pieces[0].frames) {
            return "the split file " + inQuotes(pieces[i].path) + " holds " +
                   std::to_string(pieces[i].frames) + " frames where " + inQuotes(pieces[0].path) +
                   " holds " + std::to_string(pieces[0].frames) +
                   ": a stopped render leaves a short file; run the render again to "
                   "complete it";
        }
    }
    const MovieRecord* last = pieces.back().record ? &*pieces.back().record : nullptr;
    if (last != nullptr && pieces.size() < static_cast<std::size_t>(last->files)) {
        return "the movie has " + std::to_string(last->files) +
               " split files by their records, but only " + std::to_string(pieces.size()) +
               " are there; " + kCompleteIt;
    }
    if (request.expectedFrames >= 0 && frames != request.expectedFrames) {
        return "the split files hold " + std::to_string(frames) + " frames, but the movie has " +
               std::to_string(request.expectedFrames) +
               "; run the render again to write what is missing";
    }
    return {};
}

}  // namespace

JoinResult joinMovies(const JoinRequest& request) {
    JoinResult result;
    const ContainerInfo* container = containerForFile(request.output);
    if (container == nullptr) {
        result.error = "the movie file " + inQuotes(request.output) +
                       " has an extension this program cannot write; end its name in one of " +
                       containerList();
        return result;
    }
    if (request.pieces.empty()) {
        result.error = "no split files to join";
        return result;
    }
    std::vector<Piece> pieces(request.pieces.size());
    result.error = openPieces(request, pieces, result.frames);
    if (!result.error.empty()) {
        return result;
    }

    std::optional<SoundtrackPiece> sound;
    if (request.soundtrack) {
        const double seconds = static_cast<double>(result.frames) / av_q2d(pieces.front().rate);
        sound = SoundtrackPiece{*request.soundtrack, request.soundtrackOffset, 0.0, seconds, true};
    }
    const bool videoChosen = !request.video.codec.empty() || request.video.crf ||
                             !request.video.preset.empty() || !request.video.pixelFormat.empty();
    bool alike = true;
    for (const Piece& piece : pieces) {
        alike = alike && sameParameters(*piece.video->codecpar, *pieces[0].video->codecpar);
    }
    result.videoCopied =
        !videoChosen && alike && containerTakes(*container, pieces[0].video->codecpar->codec_id);
    result.error = result.videoCopied ? copyPieces(pieces, request, *container, sound, result)
                                      : encodePieces(pieces, request, *container, sound, result);
    if (!result.error.empty()) {
        return result;
    }
    const long long written = movieFileFrameCount(request.output);
    if (written != result.frames) {
        std::error_code ignored;
        fs::remove(request.output, ignored);
        result.error = "the joined movie " + inQuotes(request.output) + " holds " +
                       std::to_string(written) + " frames instead of " +
                       std::to_string(result.frames) + "; it was removed";
    }
    return result;
}

}  // namespace zr
