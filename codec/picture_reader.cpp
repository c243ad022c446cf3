#include "codec/picture_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

#include "codec/ffmpeg_log_p.h"
#include "codec/bitmap_header.h"
#include "codec/still_format.h"
#include "platform/log_list.h"

namespace qorvcd::codec {

namespace {

constexpr size_t kIoBufferSize = 64 * 1024;

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The picture's bytes as the demuxer's input.
struct MemoryInput {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t position = 0;
};

int ReadMemory(void* opaque, uint8_t* buffer, int size) {
    auto* in = static_cast<MemoryInput*>(opaque);
    const size_t count = std::min(in->size - in->position, size_t(std::max(size, 0)));
    if (count == 0) return AVERROR_EOF;
    std::memcpy(buffer, in->data + in->position, count);
    in->position += count;
    return int(count);
}

int64_t SeekMemory(void* opaque, int64_t offset, int whence) {
    auto* in = static_cast<MemoryInput*>(opaque);
    if (whence & AVSEEK_SIZE) return int64_t(in->size);
    int64_t base = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET: base = 0; break;
        case SEEK_CUR: base = int64_t(in->position); break;
        case SEEK_END: base = int64_t(in->size); break;
        default: return AVERROR(EINVAL);
    }
    const int64_t target = base + offset;
    if (target < 0 || target > int64_t(in->size)) return AVERROR(EINVAL);
    in->position = size_t(target);
    return target;
}

struct IoContextDeleter {
    void operator()(AVIOContext* io) const {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};
struct FormatContextDeleter {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

std::unique_ptr<AVIOContext, IoContextDeleter> OpenMemoryInput(MemoryInput& input) {
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return nullptr;
    std::unique_ptr<AVIOContext, IoContextDeleter> io(
        avio_alloc_context(buffer, int(kIoBufferSize), 0, &input, ReadMemory, nullptr, SeekMemory));
    if (!io) av_free(buffer);
    return io;
}

// Opens the demuxer on `io`: the one the bytes' probe finds when `format` is
// null, else `format` reading pictures of `codec`.
int OpenPictureInput(AVIOContext& io, const AVInputFormat* format, AVCodecID codec,
                     std::unique_ptr<AVFormatContext, FormatContextDeleter>& opened) {
    opened.reset();
    AVFormatContext* context = avformat_alloc_context();
    if (!context) return AVERROR(ENOMEM);
    context->pb = &io;
    context->video_codec_id = codec;
    // On failure the context is freed and set to null; the input stays ours.
    const int rc = avformat_open_input(&context, "", format, nullptr);
    if (rc >= 0) opened.reset(context);
    return rc;
}

// The demuxers of still pictures: FFmpeg's image readers (one per format,
// named "..._pipe"), and the few picture formats with demuxers of their own.
// A video file is no picture, even though its first frame would decode.
bool IsStillPictureFormat(std::string_view name) {
    static constexpr std::string_view kPipeSuffix = "_pipe";
    if (name.size() > kPipeSuffix.size() && name.substr(name.size() - kPipeSuffix.size()) == kPipeSuffix) return true;
    static constexpr std::string_view kOthers[] = {"image2", "image2pipe", "gif", "apng", "ico",
                                                   "alias_pix", "brender_pix", "fits"};
    return std::find(std::begin(kOthers), std::end(kOthers), name) != std::end(kOthers);
}

// Feeds packets of the picture stream to the decoder until one picture
// comes out (or the input ends and the decoder is drained).
int DecodeFirstPicture(AVFormatContext& format, int streamIndex, AVCodecContext& decoder, AVFrame& frame) {
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    if (!packet) return AVERROR(ENOMEM);
    int lastError = AVERROR_INVALIDDATA;
    bool draining = false;
    while (true) {
        int rc = avcodec_receive_frame(&decoder, &frame);
        if (rc >= 0) return 0;
        if (rc == AVERROR_EOF) return lastError;
        if (rc != AVERROR(EAGAIN)) return rc;
        if (draining) return lastError;
        rc = av_read_frame(&format, packet.get());
        if (rc < 0) {
            draining = true;
            avcodec_send_packet(&decoder, nullptr);
            continue;
        }
        if (packet->stream_index == streamIndex) {
            rc = avcodec_send_packet(&decoder, packet.get());
            if (rc < 0) lastError = rc;
        }
        av_packet_unref(packet.get());
    }
}

std::string OutsideSizeText(int width, int height) {
    return Format("picture size %d x %d is outside 1 to %d pixels", width, height, kMaxBitmapSide);
}

}  // namespace

void DecodedPicture::FrameDeleter::operator()(AVFrame* frame) const { av_frame_free(&frame); }

DecodedPicture::DecodedPicture() = default;
DecodedPicture::~DecodedPicture() = default;
DecodedPicture::DecodedPicture(DecodedPicture&&) noexcept = default;
DecodedPicture& DecodedPicture::operator=(DecodedPicture&&) noexcept = default;

bool DecodedPicture::Decode(const std::vector<uint8_t>& bytes, std::string* error, const std::string& fileName) {
    frame_.reset();
    SilenceFfmpegLog();
    if (bytes.empty()) return Fail(error, "the file is empty");

    // The format is recognised from the bytes (the image demuxers' probes),
    // whatever the file is called; a format without a signature of its own
    // (TGA, say) is then taken from the file's extension.
    MemoryInput input{bytes.data(), bytes.size(), 0}, again{bytes.data(), bytes.size(), 0};
    std::unique_ptr<AVIOContext, IoContextDeleter> io = OpenMemoryInput(input), ioByName = OpenMemoryInput(again);
    if (!io || !ioByName) return Fail(error, "out of memory reading the picture");
    std::unique_ptr<AVFormatContext, FormatContextDeleter> format;
    int rc = OpenPictureInput(*io, nullptr, AV_CODEC_ID_NONE, format);
    if (rc < 0 && !fileName.empty()) {
        // Only an extension that names a picture format counts.
        const AVOutputFormat* named = av_guess_format(nullptr, fileName.c_str(), nullptr);
        const AVCodecID byName = named && std::string_view(named->name) == "image2"
                                     ? av_guess_codec(named, nullptr, fileName.c_str(), nullptr, AVMEDIA_TYPE_VIDEO)
                                     : AV_CODEC_ID_NONE;
        const AVInputFormat* pipe = av_find_input_format("image2pipe");
        if (byName != AV_CODEC_ID_NONE && pipe && OpenPictureInput(*ioByName, pipe, byName, format) >= 0) rc = 0;
    }
    if (rc < 0) return Fail(error, "not a picture format FFmpeg reads (" + AvErrorText(rc) + ")");
    if (!IsStillPictureFormat(format->iformat->name))
        return Fail(error, Format("the file holds %s, not a still picture",
                                  format->iformat->long_name ? format->iformat->long_name : format->iformat->name));

    const int streamIndex = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (streamIndex < 0)
        return Fail(error, Format("the %s file holds no picture", format->iformat->name));
    const AVCodecParameters* parameters = format->streams[streamIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return Fail(error, Format("no decoder for the %s picture in this FFmpeg build", avcodec_get_name(parameters->codec_id)));
    std::unique_ptr<AVCodecContext, CodecContextDeleter> decoder(avcodec_alloc_context3(codec));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    if (!decoder || !frame) return Fail(error, "out of memory decoding the picture");
    decoder->thread_count = 1;
    // A few header bytes can claim a huge picture, and the decoder would
    // allocate its frame before the size check below sees it: the decoder
    // refuses more pixels than the largest picture taken, and a size the
    // container already gives is checked before decoding.
    decoder->max_pixels = int64_t(kMaxBitmapSide) * kMaxBitmapSide;
    if (parameters->width > kMaxBitmapSide || parameters->height > kMaxBitmapSide)
        return Fail(error, OutsideSizeText(parameters->width, parameters->height));
    rc = avcodec_parameters_to_context(decoder.get(), parameters);
    if (rc >= 0) rc = avcodec_open2(decoder.get(), codec, nullptr);
    if (rc >= 0) rc = DecodeFirstPicture(*format, streamIndex, *decoder, *frame);
    if (rc < 0) {
        // The decoder says only "invalid argument" when a picture is over
        // max_pixels (and forgets its size); name the limit it may have hit.
        const std::string hint =
            rc == AVERROR(EINVAL) ? Format(" (a picture may have at most %d x %d pixels)", kMaxBitmapSide, kMaxBitmapSide)
                                  : "";
        return Fail(error, Format("the %s picture cannot be decoded: %s", codec->name, AvErrorText(rc).c_str()) + hint);
    }
    if (frame->width <= 0 || frame->height <= 0 || frame->width > kMaxBitmapSide || frame->height > kMaxBitmapSide)
        return Fail(error, OutsideSizeText(frame->width, frame->height));
    frame_ = std::move(frame);
    return true;
}

int DecodedPicture::Width() const { return frame_ ? frame_->width : 0; }
int DecodedPicture::Height() const { return frame_ ? frame_->height : 0; }

double DecodedPicture::PixelAspect() const {
    if (!frame_ || frame_->sample_aspect_ratio.num <= 0 || frame_->sample_aspect_ratio.den <= 0) return 1.0;
    const double aspect = av_q2d(frame_->sample_aspect_ratio);
    // A density that far from square is a damaged field, not a picture's shape.
    return aspect >= 0.25 && aspect <= 4.0 ? aspect : 1.0;
}

}  // namespace qorvcd::codec
