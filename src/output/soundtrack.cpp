#include "output/soundtrack.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "output/ffmpeg_objects.h"
#include "output/movie_format.h"
#include "output/soundtrack_source.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

namespace zr {

namespace {

using ffmpeg::inQuotes;

// Whether the container takes the codec as it is; anything else is encoded.
bool containerCopies(const ContainerInfo& container, AVCodecID codec) {
    const std::string_view name = avcodec_get_name(codec);
    const std::vector<std::string_view>& copied = container.copiedSoundCodecs;
    return std::find(copied.begin(), copied.end(), name) != copied.end();
}

// Gain of the fade-out for a sample `before` samples ahead of the end of a fade `length` long:
// a raised cosine from 1 to 0.
float fadeGain(std::int64_t before, std::int64_t length) {
    if (before >= length) {
        return 1.0f;
    }
    const double x = 1.0 - static_cast<double>(before) / static_cast<double>(length);
    return static_cast<float>(0.5 * (1.0 + std::cos(std::numbers::pi * x)));
}

// The rate the encoder codes: the source's when the encoder takes it, else 48000.
int encodedRate(const AVCodec& encoder, int sourceRate) {
    if (encoder.supported_samplerates == nullptr) {
        return sourceRate >= 8000 && sourceRate <= 192000 ? sourceRate : 48000;
    }
    for (const int* supported = encoder.supported_samplerates; *supported != 0; ++supported) {
        if (*supported == sourceRate) {
            return sourceRate;
        }
    }
    return 48000;
}

// The first of the sample formats the resampler makes that the encoder takes; none when it
// takes none of them.
AVSampleFormat encodedSampleFormat(const AVCodec& encoder) {
    for (const AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16}) {
        for (const AVSampleFormat* offered = encoder.sample_fmts;
             offered != nullptr && *offered != AV_SAMPLE_FMT_NONE; ++offered) {
            if (*offered == wanted) {
                return wanted;
            }
        }
    }
    return AV_SAMPLE_FMT_NONE;
}

}  // namespace

struct SoundtrackWriter::State {
    SoundtrackPiece piece;
    std::string movieName;
    SoundSource source;
    AVStream* output = nullptr;  // owned by the movie's muxer
    ffmpeg::PacketPtr packet;
    bool copy = false;

    // Copying: how far packet times move from the soundtrack into the file, in its time base.
    std::int64_t copyShift = 0;
    bool packetHeld = false;  // `packet` holds the next packet, not yet written
    bool sourceEnded = false;

    // Encoding.
    ffmpeg::CodecContextPtr decoder;
    ffmpeg::CodecContextPtr encoder;
    ffmpeg::ResamplerPtr resampler;
    ffmpeg::FramePtr decoded;
    ffmpeg::FramePtr encoded;
    int rate = 0;
    int channels = 0;
    int frameSize = 0;
    int lead = 0;                 // added to the times given to the encoder
    std::int64_t fileStart = 0;   // the file's first sample, counted from the movie's start
    std::int64_t shift = 0;       // soundtrack sample = file sample + shift
    std::int64_t fileSample = 0;  // the next file sample to encode
    // Decoded sound at the output rate: `pending[c][i]` is sample pendingStart + i.
    std::vector<std::vector<float>> pending;
    std::int64_t pendingStart = 0;
    bool positioned = false;  // pendingStart is known
    std::vector<std::vector<float>> chunk;

    std::string fail(const std::string& what, int code) const {
        return "the soundtrack " + inQuotes(piece.path) + " of " + inQuotes(movieName) + ": " +
               what + ": " + ffmpeg::message(code);
    }

    std::string openCopy(AVFormatContext& muxer) {
        output = avformat_new_stream(&muxer, nullptr);
        if (output == nullptr ||
            avcodec_parameters_copy(output->codecpar, source.stream->codecpar) < 0) {
            return "out of memory";
        }
        output->codecpar->codec_tag = 0;
        output->time_base = source.stream->time_base;
        const double shiftSeconds = piece.offsetSeconds - piece.startSeconds;
        copyShift = av_rescale_q(std::llround(shiftSeconds * 1e6), AVRational{1, 1000000},
                                 source.stream->time_base) -
                    streamOrigin(*source.stream);
        return {};
    }

    std::string openEncode(AVFormatContext& muxer, const ContainerInfo& container) {
        std::string error = openDecoder();
        if (error.empty()) {
            error = openEncoder(muxer, std::string(container.soundEncoder));
        }
        if (error.empty()) {
            error = addEncodedStream(muxer);
        }
        if (error.empty()) {
            seekNearStart();
        }
        return error;
    }

    std::string openDecoder() {
        const AVCodecParameters& parameters = *source.stream->codecpar;
        const AVCodec* decoderCodec = avcodec_find_decoder(parameters.codec_id);
        if (decoderCodec == nullptr) {
            return "the soundtrack " + inQuotes(piece.path) + " is coded as " +
                   avcodec_get_name(parameters.codec_id) +
                   ", which this build cannot decode; convert it to .ogg, .flac or .wav";
        }
        decoder.reset(avcodec_alloc_context3(decoderCodec));
        if (!decoder || avcodec_parameters_to_context(decoder.get(), &parameters) < 0) {
            return "out of memory";
        }
        decoder->pkt_timebase = source.stream->time_base;
        if (const int opened = avcodec_open2(decoder.get(), decoderCodec, nullptr); opened < 0) {
            return fail("cannot decode", opened);
        }
        return {};
    }

    std::string openEncoder(const AVFormatContext& muxer, const std::string& encoderName) {
        const AVCodecParameters& parameters = *source.stream->codecpar;
        const AVCodec* encoderCodec = avcodec_find_encoder_by_name(encoderName.c_str());
        if (encoderCodec == nullptr) {
            return "this build's FFmpeg libraries lack the sound encoder " + inQuotes(encoderName) +
                   " for " + inQuotes(movieName);
        }
        encoder.reset(avcodec_alloc_context3(encoderCodec));
        if (!encoder) {
            return "out of memory";
        }
        rate = encodedRate(*encoderCodec, parameters.sample_rate);
        channels = parameters.ch_layout.nb_channels == 1 ? 1 : 2;
        const AVSampleFormat sampleFormat = encodedSampleFormat(*encoderCodec);
        if (sampleFormat == AV_SAMPLE_FMT_NONE) {
            return "the sound encoder " + inQuotes(encoderName) + " takes no sample format we make";
        }
        encoder->sample_fmt = sampleFormat;
        encoder->sample_rate = rate;
        av_channel_layout_default(&encoder->ch_layout, channels);
        encoder->time_base = AVRational{1, rate};
        if (encoderName != "pcm_s16le") {
            encoder->bit_rate = channels == 1 ? 96000 : (encoderName == "aac" ? 192000 : 160000);
        }
        if (muxer.oformat->flags & AVFMT_GLOBALHEADER) {
            encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        }
        if (const int opened = avcodec_open2(encoder.get(), encoderCodec, nullptr); opened < 0) {
            return fail("cannot start the sound encoder " + encoderName, opened);
        }
        frameSize = encoder->frame_size > 0 ? encoder->frame_size : 1024;
        // Encoders that start with a delay (Opus) give their first packets negative times. A
        // container without negative times (Matroska, WebM) would move every stream later to
        // make room, and the picture would lag the sound; starting the sound that much later
        // keeps both at 0.
        if (!(muxer.oformat->flags & AVFMT_TS_NEGATIVE)) {
            lead = encoder->initial_padding;
        }
        return {};
    }

    // The encoder's stream in the movie and the buffers that feed it.
    std::string addEncodedStream(AVFormatContext& muxer) {
        output = avformat_new_stream(&muxer, nullptr);
        if (output == nullptr ||
            avcodec_parameters_from_context(output->codecpar, encoder.get()) < 0) {
            return "out of memory";
        }
        output->time_base = encoder->time_base;

        // The resampler is set up for the first decoded frame, whose format is the one that
        // counts.
        decoded.reset(av_frame_alloc());
        encoded.reset(av_frame_alloc());
        if (!decoded || !encoded) {
            return "out of memory";
        }
        pending.assign(channels, {});
        chunk.assign(channels, std::vector<float>(frameSize));
        return {};
    }

    // Places the file's first sample in the soundtrack and, deep into it, starts decoding
    // shortly before the first sample needed.
    void seekNearStart() {
        fileStart = std::llround(piece.startSeconds * rate);
        shift = fileStart - std::llround(piece.offsetSeconds * rate);
        if (shift > rate) {
            const std::int64_t target =
                av_rescale_q(shift - rate / 2, AVRational{1, rate}, source.stream->time_base) +
                streamOrigin(*source.stream);
            if (av_seek_frame(source.input.get(), source.stream->index, target,
                              AVSEEK_FLAG_BACKWARD) >= 0) {
                avcodec_flush_buffers(decoder.get());
            }
        }
    }

    // Resamples a decoded frame and appends it to `pending`; without a frame, the resampler's
    // last samples.
    std::string appendDecoded(const AVFrame* frame) {
        if (!resampler && frame != nullptr) {
            SwrContext* rawResampler = nullptr;
            AVChannelLayout outLayout{};
            av_channel_layout_default(&outLayout, channels);
            AVChannelLayout inLayout{};
            if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
                av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) {
                av_channel_layout_default(&inLayout, std::max(1, frame->ch_layout.nb_channels));
            }
            const int allocated = swr_alloc_set_opts2(
                &rawResampler, &outLayout, AV_SAMPLE_FMT_FLTP, rate, &inLayout,
                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&inLayout);
            av_channel_layout_uninit(&outLayout);
            resampler.reset(rawResampler);
            if (allocated < 0 || swr_init(resampler.get()) < 0) {
                return "the soundtrack " + inQuotes(piece.path) +
                       " has a sound layout that cannot be converted";
            }
        }
        if (frame != nullptr && !positioned) {
            const std::int64_t pts = frame->best_effort_timestamp;
            pendingStart = pts == AV_NOPTS_VALUE
                               ? 0
                               : av_rescale_q(pts - streamOrigin(*source.stream),
                                              source.stream->time_base, AVRational{1, rate});
            positioned = true;
        }
        const int inputSamples = frame != nullptr ? frame->nb_samples : 0;
        const int room = swr_get_out_samples(resampler.get(), inputSamples);
        if (room < 0) {
            return "the soundtrack " + inQuotes(piece.path) + " could not be converted";
        }
        std::vector<std::vector<float>> converted(channels, std::vector<float>(room + 16));
        std::vector<std::uint8_t*> planes(channels);
        for (int c = 0; c < channels; ++c) {
            planes[c] = reinterpret_cast<std::uint8_t*>(converted[c].data());
        }
        const int made = swr_convert(
            resampler.get(), planes.data(), room + 16,
            frame != nullptr ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
            inputSamples);
        if (made < 0) {
            return fail("cannot convert the sound", made);
        }
        for (int c = 0; c < channels; ++c) {
            pending[c].insert(pending[c].end(), converted[c].begin(), converted[c].begin() + made);
        }
        return {};
    }

    // Decodes until `pending` reaches soundtrack sample `until` or the soundtrack ends.
    std::string decodeUntil(std::int64_t until) {
        while (
            !sourceEnded &&
            (!positioned || pendingStart + static_cast<std::int64_t>(pending[0].size()) < until)) {
            const int received = avcodec_receive_frame(decoder.get(), decoded.get());
            if (received >= 0) {
                std::string error = appendDecoded(decoded.get());
                av_frame_unref(decoded.get());
                if (!error.empty()) {
                    return error;
                }
                continue;
            }
            if (received == AVERROR_EOF) {
                sourceEnded = true;
                if (resampler && positioned) {
                    std::string error = appendDecoded(nullptr);  // the resampler's tail
                    if (!error.empty()) {
                        return error;
                    }
                }
                break;
            }
            if (received != AVERROR(EAGAIN)) {
                return fail("cannot decode", received);
            }
            const int read = av_read_frame(source.input.get(), packet.get());
            if (read == AVERROR_EOF || read == AVERROR(EIO)) {
                avcodec_send_packet(decoder.get(), nullptr);
                continue;
            }
            if (read < 0) {
                return fail("cannot read", read);
            }
            if (packet->stream_index == source.stream->index) {
                const int sent = avcodec_send_packet(decoder.get(), packet.get());
                // A damaged packet is skipped, as players do.
                if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR(EAGAIN)) {
                    av_packet_unref(packet.get());
                    return fail("cannot decode", sent);
                }
            }
            av_packet_unref(packet.get());
        }
        return {};
    }

    // Fills `chunk` with file samples [fileSample, fileSample + count): the soundtrack where it
    // has sound, silence elsewhere.
    std::string fillChunk(int count) {
        const std::int64_t first = fileSample + shift;
        if (first + count > 0) {
            std::string error = decodeUntil(first + count);
            if (!error.empty()) {
                return error;
            }
        }
        const auto available = static_cast<std::int64_t>(pending[0].size());
        for (int c = 0; c < channels; ++c) {
            for (int i = 0; i < count; ++i) {
                const std::int64_t at = first + i - pendingStart;
                chunk[c][i] = first + i >= 0 && positioned && at >= 0 && at < available
                                  ? pending[c][static_cast<std::size_t>(at)]
                                  : 0.0f;
            }
        }
        // What lies before the next chunk is no longer needed.
        const std::int64_t used =
            std::clamp<std::int64_t>(first + count - pendingStart, 0, available);
        if (positioned && used > 0) {
            for (int c = 0; c < channels; ++c) {
                pending[c].erase(pending[c].begin(), pending[c].begin() + used);
            }
            pendingStart += used;
        }
        return {};
    }

    std::string drain(PacketWriter write, void* context) {
        for (;;) {
            const int received = avcodec_receive_packet(encoder.get(), packet.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
                return {};
            }
            if (received < 0) {
                return fail("cannot encode", received);
            }
            av_packet_rescale_ts(packet.get(), encoder->time_base, output->time_base);
            packet->stream_index = output->index;
            std::string error = write(context, *packet);
            if (!error.empty()) {
                return error;
            }
        }
    }

    // Encodes file samples up to `end`, fading out towards `fadeEnd` over `fadeLength`.
    std::string encodeUntil(std::int64_t end, std::int64_t fadeEnd, std::int64_t fadeLength,
                            PacketWriter write, void* context) {
        while (fileSample < end) {
            const int count = static_cast<int>(std::min<std::int64_t>(frameSize, end - fileSample));
            // Encoders that take only whole frames get the last one padded with silence.
            const bool whole =
                (encoder->codec->capabilities &
                 (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE)) == 0;
            std::string error = fillChunk(count);
            if (!error.empty()) {
                return error;
            }
            if (fadeLength > 0) {
                for (int i = 0; i < count; ++i) {
                    const float gain = fadeGain(fadeEnd - (fileSample + i) - 1, fadeLength);
                    for (int c = 0; c < channels; ++c) {
                        chunk[c][i] *= gain;
                    }
                }
            }
            const int stored = whole ? frameSize : count;
            for (int c = 0; c < channels; ++c) {
                std::fill(chunk[c].begin() + count, chunk[c].end(), 0.0f);
            }
            av_frame_unref(encoded.get());
            encoded->nb_samples = stored;
            encoded->format = encoder->sample_fmt;
            encoded->sample_rate = rate;
            if (av_channel_layout_copy(&encoded->ch_layout, &encoder->ch_layout) < 0 ||
                av_frame_get_buffer(encoded.get(), 0) < 0) {
                return "out of memory";
            }
            storeChunk(stored);
            encoded->pts = fileSample + lead;
            fileSample += count;
            const int sent = avcodec_send_frame(encoder.get(), encoded.get());
            if (sent < 0) {
                return fail("cannot encode", sent);
            }
            error = drain(write, context);
            if (!error.empty()) {
                return error;
            }
        }
        return {};
    }

    // Puts `chunk` into the encoder's frame in its sample format.
    void storeChunk(int count) {
        switch (encoder->sample_fmt) {
            case AV_SAMPLE_FMT_FLTP:
                for (int c = 0; c < channels; ++c) {
                    std::copy_n(chunk[c].begin(), count,
                                reinterpret_cast<float*>(encoded->extended_data[c]));
                }
                break;
            case AV_SAMPLE_FMT_FLT: {
                auto* out = reinterpret_cast<float*>(encoded->data[0]);
                for (int i = 0; i < count; ++i) {
                    for (int c = 0; c < channels; ++c) {
                        *out++ = chunk[c][i];
                    }
                }
                break;
            }
            default: {  // AV_SAMPLE_FMT_S16
                auto* out = reinterpret_cast<std::int16_t*>(encoded->data[0]);
                for (int i = 0; i < count; ++i) {
                    for (int c = 0; c < channels; ++c) {
                        const float scaled = std::clamp(chunk[c][i], -1.0f, 1.0f) * 32767.0f;
                        *out++ = static_cast<std::int16_t>(std::lround(scaled));
                    }
                }
                break;
            }
        }
    }

    // Copies the soundtrack's packets that begin before file time `seconds`.
    std::string copyUntil(double seconds, PacketWriter write, void* context) {
        const std::int64_t limit = av_rescale_q(std::llround(seconds * 1e6), AVRational{1, 1000000},
                                                source.stream->time_base);
        for (;;) {
            if (!packetHeld) {
                if (sourceEnded) {
                    return {};
                }
                const int read = av_read_frame(source.input.get(), packet.get());
                if (read < 0) {
                    sourceEnded = true;
                    return read == AVERROR_EOF || read == AVERROR(EIO) ? std::string()
                                                                       : fail("cannot read", read);
                }
                if (packet->stream_index != source.stream->index) {
                    av_packet_unref(packet.get());
                    continue;
                }
                if (packet->pts != AV_NOPTS_VALUE) {
                    packet->pts += copyShift;
                }
                if (packet->dts != AV_NOPTS_VALUE) {
                    packet->dts += copyShift;
                }
                packetHeld = true;
            }
            const std::int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (at != AV_NOPTS_VALUE && at >= limit) {
                return {};
            }
            packetHeld = false;
            av_packet_rescale_ts(packet.get(), source.stream->time_base, output->time_base);
            packet->stream_index = output->index;
            packet->pos = -1;
            std::string error = write(context, *packet);
            if (!error.empty()) {
                return error;
            }
        }
    }
};

SoundtrackWriter::SoundtrackWriter(std::unique_ptr<State> state) : state_(std::move(state)) {}

SoundtrackWriter::~SoundtrackWriter() = default;

std::unique_ptr<SoundtrackWriter> SoundtrackWriter::add(AVFormatContext& output,
                                                        const ContainerInfo& container,
                                                        const SoundtrackPiece& piece,
                                                        const std::string& movieName,
                                                        std::string& error) {
    SoundtrackInfo info;
    if (!probeSoundtrack(piece.path, info, error)) {
        return nullptr;
    }
    auto state = std::make_unique<State>();
    state->piece = piece;
    state->movieName = movieName;
    if (!openSoundSource(piece.path, state->source, error)) {
        return nullptr;
    }
    state->packet.reset(av_packet_alloc());
    if (!state->packet) {
        error = "out of memory";
        return nullptr;
    }
    const AVStream& stream = *state->source.stream;
    const double seconds = streamSeconds(*state->source.input, stream);
    const double begins = piece.offsetSeconds - piece.startSeconds;  // in the file
    constexpr double kTolerance = 1e-3;
    state->copy = containerCopies(container, stream.codecpar->codec_id) &&
                  avformat_query_codec(output.oformat, stream.codecpar->codec_id,
                                       FF_COMPLIANCE_NORMAL) == 1 &&
                  begins >= 0.0 && piece.lengthSeconds > 0.0 && seconds > 0.0 &&
                  begins + seconds <= piece.lengthSeconds + kTolerance;
    error = state->copy ? state->openCopy(output) : state->openEncode(output, container);
    if (!error.empty()) {
        return nullptr;
    }
    return std::unique_ptr<SoundtrackWriter>(new SoundtrackWriter(std::move(state)));
}

bool SoundtrackWriter::copied() const {
    return state_->copy;
}

std::string SoundtrackWriter::writeUntil(double seconds, PacketWriter write, void* context) {
    State& s = *state_;
    if (s.copy) {
        return s.copyUntil(seconds, write, context);
    }
    std::int64_t end = std::llround((s.piece.startSeconds + seconds) * s.rate) - s.fileStart;
    if (s.piece.fadeOut) {
        end -= std::llround(kFadeOutSeconds * s.rate);
    }
    // Whole frames only, so the last, shorter frame is the file's last.
    end -= (end - s.fileSample) % s.frameSize;
    return s.encodeUntil(end, 0, 0, write, context);
}

std::string SoundtrackWriter::finish(double seconds, PacketWriter write, void* context) {
    State& s = *state_;
    if (s.copy) {
        return s.copyUntil(seconds, write, context);
    }
    const std::int64_t end = std::llround((s.piece.startSeconds + seconds) * s.rate) - s.fileStart;
    const std::int64_t fadeLength =
        s.piece.fadeOut ? std::min<std::int64_t>(std::llround(kFadeOutSeconds * s.rate), end) : 0;
    std::string error = s.encodeUntil(end, end, fadeLength, write, context);
    if (!error.empty()) {
        return error;
    }
    const int sent = avcodec_send_frame(s.encoder.get(), nullptr);
    if (sent < 0 && sent != AVERROR_EOF) {
        return s.fail("cannot encode", sent);
    }
    return s.drain(write, context);
}

}  // namespace zr
