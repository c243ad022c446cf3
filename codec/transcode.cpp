#include "codec/transcode.h"
#include "codec/codec_engine_p.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "codec/ffmpeg_log_p.h"
#include "codec/file_io.h"
#include "core/results.h"

namespace qorvcd::codec {

namespace {

constexpr int kAudioRate = 44100;
constexpr int kAudioBitRate = 224000;
constexpr int kPackSize = 2324;

std::string AvError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// An input reads through a FileIo kept in the context's opaque pointer; it
// goes when the context has gone.
struct InputCloser {
    void operator()(AVFormatContext* c) const {
        auto* io = static_cast<FileIo*>(c->opaque);
        avformat_close_input(&c);
        delete io;
    }
};
// An output writes through a FileIo that the transcoder owns.
struct OutputCloser {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct ResampleFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// Opens a container and reads its stream parameters; `error` names the file.
InputPtr OpenInput(CodecFileOpener open, const std::string& path, std::string* error) {
    std::unique_ptr<FileIo> io = FileIo::OpenForReading(open, path, error);
    AVFormatContext* raw = io ? avformat_alloc_context() : nullptr;
    if (!raw) {
        if (io) *error = "cannot read " + path + ": out of memory";
        return nullptr;
    }
    raw->pb = io->Context();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (const int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr); rc < 0) {  // frees `raw`
        *error = "cannot read " + path + ": " + (io->Stream().Ok() ? AvError(rc) : io->Stream().Error());
        return nullptr;
    }
    raw->opaque = io.release();
    InputPtr input(raw);
    if (const int rc = avformat_find_stream_info(input.get(), nullptr); rc < 0) {
        *error = "cannot read the streams of " + path + ": " + AvError(rc);
        return nullptr;
    }
    return input;
}

// The output frame rate of a norm, as a rational.
AVRational RateOf(::qorvcd::VideoStandard norm) { return norm == ::qorvcd::VideoStandard::Pal ? AVRational{25, 1} : AVRational{30000, 1001}; }

// Where a picture of display aspect `sourceAspect` sits in a 4:3 frame of
// `frame`: the largest even-sized centred area that keeps its shape.
struct ActiveArea {
    int x = 0, y = 0, width = 0, height = 0;
};
ActiveArea FitInFrame(double sourceAspect, const DiscFrame& frame) {
    constexpr double kFrameAspect = 4.0 / 3.0;
    ActiveArea area{0, 0, frame.width, frame.height};
    if (sourceAspect > kFrameAspect * 1.01) {
        area.height = int(std::lround(frame.height * kFrameAspect / sourceAspect / 2.0)) * 2;
    } else if (sourceAspect < kFrameAspect / 1.01) {
        area.width = int(std::lround(frame.width * sourceAspect / kFrameAspect / 2.0)) * 2;
    }
    area.width = std::clamp(area.width, 2, frame.width);
    area.height = std::clamp(area.height, 2, frame.height);
    area.x = (frame.width - area.width) / 4 * 2;
    area.y = (frame.height - area.height) / 4 * 2;
    return area;
}

class Transcoder {
public:
    Transcoder(CodecFileOpener open, const TranscodeRequest& request) : open_(open), request_(request) {}

    TranscodeOutcome Run() {
        TranscodeOutcome outcome;
        const bool ok = OpenSource() && OpenOutput() && Pump() && Finish();
        outcome.norm = norm_;
        if (ok) return outcome;
        outcome.result = cancelled_ ? kCancelled : kStepFailed;
        outcome.error = cancelled_ ? "cancelled" : error_;
        return outcome;
    }

private:
    bool Fail(const std::string& text) {
        if (error_.empty()) error_ = text;
        return false;
    }
    bool FailAv(const std::string& what, int code) { return Fail(what + ": " + AvError(code)); }

    CodecPtr OpenDecoder(int index, const char* what) {
        AVStream* stream = input_->streams[index];
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (!decoder) {
            Fail(request_.inputPath + ": no decoder for its " + what + " (" +
                 avcodec_get_name(stream->codecpar->codec_id) + ")");
            return nullptr;
        }
        CodecPtr context(avcodec_alloc_context3(decoder));
        if (!context) return Fail("out of memory"), nullptr;
        if (const int rc = avcodec_parameters_to_context(context.get(), stream->codecpar); rc < 0) {
            return FailAv(request_.inputPath + ": its " + what, rc), nullptr;
        }
        context->pkt_timebase = stream->time_base;
        context->thread_count = request_.threads;
        context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if (const int rc = avcodec_open2(context.get(), decoder, nullptr); rc < 0) {
            return FailAv(request_.inputPath + ": the " + std::string(what) + " decoder cannot start", rc), nullptr;
        }
        return context;
    }

    bool OpenSource() {
        input_ = OpenInput(open_, request_.inputPath, &error_);
        if (!input_) return false;
        videoIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (videoIndex_ < 0) return Fail(request_.inputPath + " holds no video stream");
        videoDecoder_ = OpenDecoder(videoIndex_, "video");
        if (!videoDecoder_) return false;
        audioIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, videoIndex_, nullptr, 0);
        if (audioIndex_ >= 0) {
            audioDecoder_ = OpenDecoder(audioIndex_, "audio");
            if (!audioDecoder_) return false;
        }
        AVStream* video = input_->streams[videoIndex_];
        const AVRational guessed = av_guess_frame_rate(input_.get(), video, nullptr);
        sourceFrameTime_ = guessed.num > 0 && guessed.den > 0 ? av_q2d(av_inv_q(guessed)) : 1.0 / 25;
        norm_ = request_.norm ? *request_.norm : NormForFrameRate(guessed.den ? av_q2d(guessed) : 0);
        if (input_->duration > 0) totalSeconds_ = double(input_->duration) / AV_TIME_BASE;
        return true;
    }

    AVStream* AddStream(AVCodecContext* encoder) {
        AVStream* stream = avformat_new_stream(output_.get(), nullptr);
        if (!stream) return Fail("out of memory"), nullptr;
        if (const int rc = avcodec_parameters_from_context(stream->codecpar, encoder); rc < 0) {
            return FailAv(request_.outputPath, rc), nullptr;
        }
        stream->time_base = encoder->time_base;
        return stream;
    }

    bool OpenVideoEncoder() {
        frame_ = FrameOf(request_.kind, norm_);
        const AVCodec* encoder = avcodec_find_encoder(frame_.mpeg2 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG1VIDEO);
        if (!encoder) return Fail("this FFmpeg has no MPEG video encoder");
        videoEncoder_.reset(avcodec_alloc_context3(encoder));
        if (!videoEncoder_) return Fail("out of memory");
        AVCodecContext* c = videoEncoder_.get();
        const bool pal = norm_ == ::qorvcd::VideoStandard::Pal;
        rate_ = RateOf(norm_);
        c->width = frame_.width;
        c->height = frame_.height;
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->time_base = av_inv_q(rate_);
        c->framerate = rate_;
        c->gop_size = pal ? 15 : 18;
        // Every frame of every kind is 4:3 on the screen.
        av_reduce(&c->sample_aspect_ratio.num, &c->sample_aspect_ratio.den, 4 * int64_t(frame_.height),
                  3 * int64_t(frame_.width), 255);
        if (request_.kind == DiscKind::Vcd30) {
            c->bit_rate = 1150000;
            c->rc_max_rate = 1150000;
            c->rc_min_rate = 1150000;
            c->rc_buffer_size = 327680;
        } else {
            c->bit_rate = 2040000;
            c->rc_max_rate = 2516000;
            c->rc_min_rate = 0;
            c->rc_buffer_size = 1835008;
        }
        c->thread_count = request_.threads;
        c->thread_type = FF_THREAD_SLICE;
        AVDictionary* options = nullptr;
        if (request_.kind != DiscKind::Vcd30) av_dict_set(&options, "scan_offset", "1", 0);
        const int rc = avcodec_open2(c, encoder, &options);
        av_dict_free(&options);
        if (rc < 0) return FailAv("the MPEG video encoder cannot start", rc);
        videoStream_ = AddStream(c);
        return videoStream_ != nullptr;
    }

    bool OpenAudioEncoder() {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MP2);
        if (!encoder) return Fail("this FFmpeg has no MP2 audio encoder");
        audioEncoder_.reset(avcodec_alloc_context3(encoder));
        if (!audioEncoder_) return Fail("out of memory");
        AVCodecContext* c = audioEncoder_.get();
        c->sample_fmt = AV_SAMPLE_FMT_S16;
        c->sample_rate = kAudioRate;
        av_channel_layout_default(&c->ch_layout, 2);
        c->bit_rate = kAudioBitRate;
        c->time_base = AVRational{1, kAudioRate};
        if (const int rc = avcodec_open2(c, encoder, nullptr); rc < 0) return FailAv("the MP2 audio encoder cannot start", rc);
        audioFrameSize_ = c->frame_size > 0 ? c->frame_size : 1152;
        fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, 2, audioFrameSize_ * 4));
        if (!fifo_) return Fail("out of memory");
        audioStream_ = AddStream(c);
        return audioStream_ != nullptr;
    }

    bool OpenOutput() {
        const bool vcd = request_.kind == DiscKind::Vcd30;
        AVFormatContext* raw = nullptr;
        if (const int rc = avformat_alloc_output_context2(&raw, nullptr, vcd ? "vcd" : "svcd", request_.outputPath.c_str());
            rc < 0 || !raw) {
            return FailAv("cannot prepare the program stream multiplexer", rc < 0 ? rc : AVERROR(ENOMEM));
        }
        output_.reset(raw);
        output_->packet_size = kPackSize;
        output_->max_delay = 700000;
        if (!OpenVideoEncoder() || !OpenAudioEncoder()) return false;
        outputIo_ = FileIo::OpenForWriting(open_, request_.outputPath, &error_);
        if (!outputIo_) return false;
        output_->pb = outputIo_->Context();
        output_->flags |= AVFMT_FLAG_CUSTOM_IO;
        AVDictionary* options = nullptr;
        if (vcd) {
            // The disc's data rate, and a start delay that keeps the time
            // stamps ahead of the first packs' clock references.
            av_dict_set_int(&options, "muxrate", 2352 * 75 * 8, 0);
            av_dict_set_int(&options, "preload", (36000 + 3 * 1200) * int64_t(AV_TIME_BASE) / 90000, 0);
        }
        const int rc = avformat_write_header(output_.get(), &options);
        av_dict_free(&options);
        if (rc < 0) return FailAv("cannot start " + request_.outputPath, rc);
        packet_.reset(av_packet_alloc());
        decoded_.reset(av_frame_alloc());
        if (!packet_ || !decoded_) return Fail("out of memory");
        return true;
    }

    bool Cancelled() {
        if (request_.cancelRequested && request_.cancelRequested()) cancelled_ = true;
        return cancelled_;
    }

    void Report(double done, bool force) {
        if (!request_.progress) return;
        if (!force && done - reported_ < 0.2) return;
        reported_ = done;
        request_.progress(std::max(0.0, done), totalSeconds_);
    }

    // Reads every packet of the source and feeds the decoders.
    bool Pump() {
        AVPacket* packet = packet_.get();
        for (;;) {
            if (Cancelled()) return false;
            const int rc = av_read_frame(input_.get(), packet);
            if (rc == AVERROR_EOF) break;
            if (rc < 0) return FailAv("cannot read " + request_.inputPath, rc);
            bool ok = true;
            if (packet->stream_index == videoIndex_) {
                ok = Decode(videoDecoder_.get(), packet, true);
            } else if (packet->stream_index == audioIndex_) {
                ok = Decode(audioDecoder_.get(), packet, false);
            }
            av_packet_unref(packet);
            if (!ok) return false;
        }
        if (!Decode(videoDecoder_.get(), nullptr, true)) return false;
        if (audioDecoder_ && !Decode(audioDecoder_.get(), nullptr, false)) return false;
        if (framesDecoded_ == 0) {
            return Fail(request_.inputPath + ": its video cannot be decoded" +
                        (decodeError_.empty() ? std::string() : ": " + decodeError_));
        }
        return true;
    }

    // A damaged packet is skipped as players skip it; only a source of which
    // no picture decodes fails (Pump), with the decoder's reason.
    bool Decode(AVCodecContext* decoder, const AVPacket* packet, bool video) {
        const int sent = avcodec_send_packet(decoder, packet);
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) {
            if (video) decodeError_ = AvError(sent);
            return true;
        }
        for (;;) {
            const int rc = avcodec_receive_frame(decoder, decoded_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) {
                if (video) decodeError_ = AvError(rc);
                return true;
            }
            const bool ok = video ? TakeVideoFrame(decoded_.get()) : TakeAudioFrame(decoded_.get());
            av_frame_unref(decoded_.get());
            if (!ok) return false;
        }
    }

    // ------------------------------------------------------------ video

    // Source frames are held until the next one arrives; each output frame
    // time shows the source frame that is current then, so the rate changes
    // by repeating or dropping frames and the playing time stays the same.
    bool TakeVideoFrame(AVFrame* frame) {
        AVStream* stream = input_->streams[videoIndex_];
        double time = lastSourceTime_ + sourceFrameTime_;
        if (frame->best_effort_timestamp != AV_NOPTS_VALUE) {
            time = double(frame->best_effort_timestamp) * av_q2d(stream->time_base);
        }
        if (framesDecoded_ == 0) origin_ = time;
        ++framesDecoded_;
        lastSourceTime_ = time;
        if (held_ && !EmitHeldUntil(time - origin_)) return false;
        if (!held_) held_.reset(av_frame_alloc());
        if (!held_) return Fail("out of memory");
        av_frame_unref(held_.get());
        if (const int rc = av_frame_ref(held_.get(), frame); rc < 0) return FailAv("video frame", rc);
        heldAspect_ = av_guess_sample_aspect_ratio(input_.get(), stream, frame);
        heldScaled_ = false;
        Report(time - origin_, false);
        return true;
    }

    bool EmitHeldUntil(double untilSeconds) {
        const double frameTime = av_q2d(av_inv_q(rate_));
        while ((double(nextVideoFrame_) + 0.5) * frameTime < untilSeconds) {
            if (!heldScaled_ && !ScaleHeld()) return false;
            FramePtr out(av_frame_clone(scaled_.get()));
            if (!out) return Fail("out of memory");
            out->pts = nextVideoFrame_++;
            if (!Encode(videoEncoder_.get(), out.get(), videoStream_)) return false;
            if (!audioDecoder_ && !AddSilenceUntil(double(nextVideoFrame_) * frameTime)) return false;
        }
        return true;
    }

    bool ScaleHeld() {
        const AVFrame* source = held_.get();
        if (!scaled_) {
            scaled_.reset(av_frame_alloc());
            if (!scaled_) return Fail("out of memory");
            scaled_->format = AV_PIX_FMT_YUV420P;
            scaled_->width = frame_.width;
            scaled_->height = frame_.height;
            if (const int rc = av_frame_get_buffer(scaled_.get(), 0); rc < 0) return FailAv("video frame", rc);
        } else if (const int rc = av_frame_make_writable(scaled_.get()); rc < 0) {
            return FailAv("video frame", rc);
        }
        AVRational aspect = heldAspect_;
        if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
        const double displayAspect = double(source->width) * aspect.num / (double(source->height) * aspect.den);
        const ActiveArea area = FitInFrame(displayAspect, frame_);
        if (area.width != lastArea_.width || area.height != lastArea_.height) {
            // The bars: black in the limited range the encoder expects.
            for (int y = 0; y < frame_.height; ++y) std::memset(scaled_->data[0] + y * scaled_->linesize[0], 16, frame_.width);
            for (int plane = 1; plane < 3; ++plane) {
                for (int y = 0; y < frame_.height / 2; ++y) {
                    std::memset(scaled_->data[plane] + y * scaled_->linesize[plane], 128, frame_.width / 2);
                }
            }
            lastArea_ = area;
        }
        scaler_.reset(sws_getCachedContext(scaler_.release(), source->width, source->height,
                                           AVPixelFormat(source->format), area.width, area.height,
                                           AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler_) return Fail(request_.inputPath + ": its pictures cannot be scaled");
        uint8_t* planes[4] = {scaled_->data[0] + area.y * scaled_->linesize[0] + area.x,
                              scaled_->data[1] + area.y / 2 * scaled_->linesize[1] + area.x / 2,
                              scaled_->data[2] + area.y / 2 * scaled_->linesize[2] + area.x / 2, nullptr};
        sws_scale(scaler_.get(), source->data, source->linesize, 0, source->height, planes, scaled_->linesize);
        heldScaled_ = true;
        return true;
    }

    // ------------------------------------------------------------ audio

    bool TakeAudioFrame(AVFrame* frame) {
        if (!resampler_) {
            AVChannelLayout in{};
            if (frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC && frame->ch_layout.nb_channels > 0) {
                av_channel_layout_copy(&in, &frame->ch_layout);
            } else {
                av_channel_layout_default(&in, std::max(1, frame->ch_layout.nb_channels));
            }
            SwrContext* raw = nullptr;
            const int rc = swr_alloc_set_opts2(&raw, &audioEncoder_->ch_layout, AV_SAMPLE_FMT_S16, kAudioRate, &in,
                                               AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&in);
            resampler_.reset(raw);
            if (rc < 0 || !raw) return FailAv(request_.inputPath + ": its audio cannot be resampled", rc < 0 ? rc : AVERROR(ENOMEM));
            if (const int init = swr_init(raw); init < 0) return FailAv(request_.inputPath + ": its audio cannot be resampled", init);
        }
        return Resample(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    }

    // Converts (or with no input, drains) samples into the queue and encodes
    // every whole audio frame in it.
    bool Resample(const uint8_t** in, int count) {
        const int room = swr_get_out_samples(resampler_.get(), count) + 32;
        uint8_t* buffer = nullptr;
        if (av_samples_alloc(&buffer, nullptr, 2, room, AV_SAMPLE_FMT_S16, 0) < 0) return Fail("out of memory");
        const int made = swr_convert(resampler_.get(), &buffer, room, in, count);
        int rc = made;
        if (made > 0) rc = av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(&buffer), made);
        av_freep(&buffer);
        if (rc < 0) return FailAv(request_.inputPath + ": its audio cannot be resampled", rc);
        return EncodeQueuedAudio(false);
    }

    bool EncodeQueuedAudio(bool last) {
        while (av_audio_fifo_size(fifo_.get()) >= audioFrameSize_ || (last && av_audio_fifo_size(fifo_.get()) > 0)) {
            FramePtr out = NewAudioFrame();
            if (!out) return false;
            const int got = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(out->data), audioFrameSize_);
            if (got < audioFrameSize_) {
                av_samples_set_silence(out->data, std::max(got, 0), audioFrameSize_ - std::max(got, 0), 2, AV_SAMPLE_FMT_S16);
            }
            if (!EncodeAudioFrame(out.get())) return false;
        }
        return true;
    }

    FramePtr NewAudioFrame() {
        FramePtr out(av_frame_alloc());
        if (!out) return Fail("out of memory"), nullptr;
        out->format = AV_SAMPLE_FMT_S16;
        out->sample_rate = kAudioRate;
        out->nb_samples = audioFrameSize_;
        av_channel_layout_copy(&out->ch_layout, &audioEncoder_->ch_layout);
        if (const int rc = av_frame_get_buffer(out.get(), 0); rc < 0) return FailAv("audio frame", rc), nullptr;
        return out;
    }

    bool EncodeAudioFrame(AVFrame* frame) {
        frame->pts = audioSamples_;
        audioSamples_ += frame->nb_samples;
        return Encode(audioEncoder_.get(), frame, audioStream_);
    }

    // Silence up to `seconds` of audio, in whole frames: the sound of a clip
    // without any, and the rest of one whose sound stops early.
    bool AddSilenceUntil(double seconds) {
        while (double(audioSamples_) < seconds * kAudioRate) {
            FramePtr out = NewAudioFrame();
            if (!out) return false;
            av_samples_set_silence(out->data, 0, audioFrameSize_, 2, AV_SAMPLE_FMT_S16);
            if (!EncodeAudioFrame(out.get())) return false;
        }
        return true;
    }

    // ------------------------------------------------------------ output

    bool Encode(AVCodecContext* encoder, const AVFrame* frame, AVStream* stream) {
        if (const int rc = avcodec_send_frame(encoder, frame); rc < 0 && rc != AVERROR_EOF) {
            return FailAv("the encoder failed on " + request_.inputPath, rc);
        }
        for (;;) {
            const int rc = avcodec_receive_packet(encoder, packet_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
            if (rc < 0) return FailAv("the encoder failed on " + request_.inputPath, rc);
            av_packet_rescale_ts(packet_.get(), encoder->time_base, stream->time_base);
            packet_->stream_index = stream->index;
            if (const int written = av_interleaved_write_frame(output_.get(), packet_.get()); written < 0) {
                return FailAv("cannot write " + request_.outputPath, written);
            }
        }
    }

    bool Finish() {
        if (Cancelled()) return false;
        if (held_ && !EmitHeldUntil(lastSourceTime_ + sourceFrameTime_ - origin_)) return false;
        const double videoSeconds = double(nextVideoFrame_) * av_q2d(av_inv_q(rate_));
        if (resampler_ && !Resample(nullptr, 0)) return false;
        if (!EncodeQueuedAudio(true) || !AddSilenceUntil(videoSeconds)) return false;
        if (!Encode(videoEncoder_.get(), nullptr, videoStream_)) return false;
        if (!Encode(audioEncoder_.get(), nullptr, audioStream_)) return false;
        if (const int rc = av_write_trailer(output_.get()); rc < 0) return FailAv("cannot finish " + request_.outputPath, rc);
        if (!outputIo_->Finish(&error_)) return false;
        Report(videoSeconds, true);
        return true;
    }

    CodecFileOpener open_;
    const TranscodeRequest& request_;
    std::string error_;
    bool cancelled_ = false;
    ::qorvcd::VideoStandard norm_ = ::qorvcd::VideoStandard::Unknown;
    DiscFrame frame_;
    AVRational rate_{25, 1};

    InputPtr input_;
    std::unique_ptr<FileIo> outputIo_;  // outlives output_, which writes through it
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    CodecPtr videoDecoder_;
    CodecPtr audioDecoder_;
    double sourceFrameTime_ = 1.0 / 25;
    double totalSeconds_ = 0;
    double reported_ = -1;

    OutputPtr output_;
    CodecPtr videoEncoder_;
    CodecPtr audioEncoder_;
    AVStream* videoStream_ = nullptr;
    AVStream* audioStream_ = nullptr;
    PacketPtr packet_;
    FramePtr decoded_;

    FramePtr held_;
    AVRational heldAspect_{1, 1};
    bool heldScaled_ = false;
    FramePtr scaled_;
    ActiveArea lastArea_;
    std::unique_ptr<SwsContext, ScaleFree> scaler_;
    int64_t framesDecoded_ = 0;
    double origin_ = 0;
    double lastSourceTime_ = 0;
    int64_t nextVideoFrame_ = 0;
    std::string decodeError_;

    std::unique_ptr<SwrContext, ResampleFree> resampler_;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo_;
    int audioFrameSize_ = 1152;
    int64_t audioSamples_ = 0;
};

}  // namespace

SourceFacts ProbeSourceWith(CodecFileOpener open, const std::string& path) {
    SilenceFfmpegLog();
    SourceFacts facts;
    InputPtr input = OpenInput(open, path, &facts.error);
    if (!input) return facts;
    facts.readable = true;
    facts.container = input->iformat->name;
    if (input->duration > 0) facts.duration = double(input->duration) / AV_TIME_BASE;
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
        AVStream* stream = input->streams[video];
        facts.hasVideo = true;
        facts.videoCodec = avcodec_get_name(stream->codecpar->codec_id);
        facts.width = stream->codecpar->width;
        facts.height = stream->codecpar->height;
        const AVRational rate = av_guess_frame_rate(input.get(), stream, nullptr);
        if (rate.num > 0 && rate.den > 0) facts.frameRate = av_q2d(rate);
    }
    facts.hasAudio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0) >= 0;
    return facts;
}

TranscodeOutcome TranscodeWith(CodecFileOpener open, const TranscodeRequest& request) {
    SilenceFfmpegLog();
    Transcoder transcoder(open, request);
    return transcoder.Run();
}

}  // namespace qorvcd::codec
