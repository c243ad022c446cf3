// The FFmpeg side of the still encoder. Only this file and the codec's entry
// points see FFmpeg's types; the bytes come in and go out as vectors, so the
// files themselves are read and written through qorvcd::File by the caller.
#include "codec/still_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "codec/ffmpeg_log_p.h"
#include "mpeg/stream_codes.h"
#include "platform/log_list.h"

namespace qorvcd::codec {

namespace {

constexpr size_t kVcdStillBufferBytes = 20 * 16 * 1024 / 8;  // 40 KiB
constexpr size_t kLargeStillBufferBytes = 224 * 1024;
constexpr int kVcdNormalWidth = 352;
// Peak rates the sequence header declares: the Video CD's video rate and the
// SVCD's highest one.
constexpr int64_t kMpeg1MaxBitRate = 1150000;
constexpr int64_t kMpeg2MaxBitRate = 2600000;
// Quantisers tried in turn, finest first, until the picture fits.
constexpr int kQuantiserSteps[] = {2, 3, 4, 5, 6, 8, 10, 12, 16, 20, 24, 31};
// Black in the video range of levels.
constexpr uint8_t kBlackLuma = 16;
constexpr uint8_t kNeutralChroma = 128;
constexpr uint8_t kSequenceEndCode[] = {0x00, 0x00, 0x01, uint8_t(VideoStartCode::SequenceEnd)};

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScalerDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerDeleter>;

std::string AvErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

FramePtr DecodeBitmap(const std::vector<uint8_t>& bitmap, std::string* error) {
    const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_BMP);
    if (!decoder) {
        Fail(error, "no BMP decoder in this FFmpeg build");
        return nullptr;
    }
    CodecContextPtr ctx(avcodec_alloc_context3(decoder));
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!ctx || !packet || !frame || av_new_packet(packet.get(), int(bitmap.size())) < 0) {
        Fail(error, "out of memory decoding the bitmap");
        return nullptr;
    }
    std::copy(bitmap.begin(), bitmap.end(), packet->data);
    int rc = avcodec_open2(ctx.get(), decoder, nullptr);
    if (rc >= 0) rc = avcodec_send_packet(ctx.get(), packet.get());
    if (rc >= 0) rc = avcodec_receive_frame(ctx.get(), frame.get());
    if (rc < 0) {
        Fail(error, "bitmap cannot be decoded: " + AvErrorText(rc));
        return nullptr;
    }
    return frame;
}

// An empty 4:2:0 frame of the still's size, in video range.
FramePtr NewStillFrame(const StillFrameFormat& format, std::string* error) {
    FramePtr still(av_frame_alloc());
    if (still) {
        still->format = AV_PIX_FMT_YUV420P;
        still->width = format.width;
        still->height = format.height;
        still->color_range = AVCOL_RANGE_MPEG;
    }
    if (!still || av_frame_get_buffer(still.get(), 0) < 0) {
        Fail(error, "out of memory making the still's frame");
        return nullptr;
    }
    return still;
}

FramePtr ScaleToStill(const AVFrame& source, const StillFrameFormat& format, std::string* error) {
    ScalerPtr scaler(sws_getContext(source.width, source.height, AVPixelFormat(source.format), format.width,
                                    format.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND,
                                    nullptr, nullptr, nullptr));
    if (!scaler) {
        Fail(error, "the bitmap's pixel format cannot be converted");
        return nullptr;
    }
    FramePtr still = NewStillFrame(format, error);
    if (!still) return nullptr;
    sws_scale(scaler.get(), source.data, source.linesize, 0, source.height, still->data, still->linesize);
    return still;
}

CodecContextPtr OpenEncoder(const StillFrameFormat& format, StillVideoSyntax syntax, int quantiser,
                            size_t budget, std::string* error) {
    const AVCodecID id = syntax == StillVideoSyntax::Mpeg1 ? AV_CODEC_ID_MPEG1VIDEO : AV_CODEC_ID_MPEG2VIDEO;
    const AVCodec* encoder = avcodec_find_encoder(id);
    if (!encoder) {
        Fail(error, "no MPEG video encoder in this FFmpeg build");
        return nullptr;
    }
    CodecContextPtr ctx(avcodec_alloc_context3(encoder));
    if (!ctx) {
        Fail(error, "out of memory opening the encoder");
        return nullptr;
    }
    ctx->width = format.width;
    ctx->height = format.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{format.frameRateDen, format.frameRateNum};
    ctx->framerate = AVRational{format.frameRateNum, format.frameRateDen};
    // Stills are shown on a 4:3 screen whatever their pixel count.
    av_reduce(&ctx->sample_aspect_ratio.num, &ctx->sample_aspect_ratio.den, 4LL * format.height,
              3LL * format.width, 255);
    ctx->gop_size = 0;  // intra pictures only
    ctx->max_b_frames = 0;
    ctx->flags |= AV_CODEC_FLAG_QSCALE;
    ctx->global_quality = quantiser * FF_QP2LAMBDA;
    ctx->rc_buffer_size = int(budget * 8);
    ctx->rc_max_rate = syntax == StillVideoSyntax::Mpeg1 ? kMpeg1MaxBitRate : kMpeg2MaxBitRate;
    ctx->bit_rate = ctx->rc_max_rate;
    ctx->thread_count = 1;
    const int rc = avcodec_open2(ctx.get(), encoder, nullptr);
    if (rc < 0) {
        Fail(error, "the MPEG encoder refused the still's settings: " + AvErrorText(rc));
        return nullptr;
    }
    return ctx;
}

bool EncodeOnce(const AVFrame& still, const StillFrameFormat& format, StillVideoSyntax syntax, int quantiser,
                size_t budget, std::vector<uint8_t>& stream, std::string* error) {
    CodecContextPtr ctx = OpenEncoder(format, syntax, quantiser, budget, error);
    FramePtr frame(av_frame_clone(&still));
    PacketPtr packet(av_packet_alloc());
    if (!ctx || !frame || !packet) return ctx ? Fail(error, "out of memory encoding the still") : false;
    frame->pts = 0;
    frame->pict_type = AV_PICTURE_TYPE_I;
    frame->quality = ctx->global_quality;

    stream.clear();
    int rc = avcodec_send_frame(ctx.get(), frame.get());
    if (rc >= 0) rc = avcodec_send_frame(ctx.get(), nullptr);
    while (rc >= 0) {
        rc = avcodec_receive_packet(ctx.get(), packet.get());
        if (rc < 0) break;
        stream.insert(stream.end(), packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    if (rc != AVERROR_EOF) return Fail(error, "the MPEG encoder failed: " + AvErrorText(rc));
    if (stream.empty()) return Fail(error, "the MPEG encoder gave no picture");
    stream.insert(stream.end(), std::begin(kSequenceEndCode), std::end(kSequenceEndCode));
    return true;
}

// Encodes at the finest quantiser whose picture fits the decoder buffer.
bool EncodeFinestFitting(const AVFrame& still, const StillFrameFormat& format, StillVideoSyntax syntax,
                         std::vector<uint8_t>& stream, std::string* error) {
    const size_t budget = StillPictureBudget(syntax, format);
    for (int quantiser : kQuantiserSteps) {
        if (!EncodeOnce(still, format, syntax, quantiser, budget, stream, error)) return false;
        if (stream.size() <= budget) return true;
    }
    stream.clear();
    return Fail(error, Format("the picture does not fit the decoder buffer of %zu bytes", budget));
}

// A still's frame, black but for `area`, which holds the whole picture.
FramePtr FitToStill(const AVFrame& source, const FittedArea& area, const StillFrameFormat& format,
                    std::string* error) {
    if (area.width <= 0 || area.height <= 0) {
        Fail(error, "the picture cannot be fitted to the still's frame");
        return nullptr;
    }
    FramePtr still = NewStillFrame(format, error);
    if (!still) return nullptr;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? format.height : format.height / 2;
        const int bytes = plane == 0 ? format.width : format.width / 2;
        for (int row = 0; row < rows; ++row)
            std::memset(still->data[plane] + size_t(row) * still->linesize[plane], plane == 0 ? kBlackLuma : kNeutralChroma,
                        size_t(bytes));
    }
    ScalerPtr scaler(sws_getContext(source.width, source.height, AVPixelFormat(source.format), area.width,
                                    area.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                                    nullptr, nullptr));
    if (!scaler) {
        Fail(error, "the picture's pixel format cannot be converted");
        return nullptr;
    }
    // A picture that says it uses the full range of levels (JPEG) is brought
    // to the video range of the still.
    int* inverse = nullptr;
    int* table = nullptr;
    int sourceFull = 0, targetFull = 0, brightness = 0, contrast = 0, saturation = 0;
    if (sws_getColorspaceDetails(scaler.get(), &inverse, &sourceFull, &table, &targetFull, &brightness, &contrast,
                                 &saturation) >= 0) {
        if (source.color_range == AVCOL_RANGE_JPEG) sourceFull = 1;
        sws_setColorspaceDetails(scaler.get(), inverse, sourceFull, table, 0, brightness, contrast, saturation);
    }
    uint8_t* target[4] = {
        still->data[0] + size_t(area.y) * still->linesize[0] + area.x,
        still->data[1] + size_t(area.y / 2) * still->linesize[1] + area.x / 2,
        still->data[2] + size_t(area.y / 2) * still->linesize[2] + area.x / 2,
        nullptr,
    };
    sws_scale(scaler.get(), source.data, source.linesize, 0, source.height, target, still->linesize);
    return still;
}

}  // namespace

size_t StillPictureBudget(StillVideoSyntax syntax, const StillFrameFormat& format) {
    if (syntax == StillVideoSyntax::Mpeg1 && format.width <= kVcdNormalWidth) return kVcdStillBufferBytes;
    return kLargeStillBufferBytes;
}

bool EncodeBitmapStill(const std::vector<uint8_t>& bitmap, const StillFrameFormat& format,
                       StillVideoSyntax syntax, std::vector<uint8_t>& stream, std::string* error) {
    SilenceFfmpegLog();
    FramePtr decoded = DecodeBitmap(bitmap, error);
    if (!decoded) return false;
    FramePtr still = ScaleToStill(*decoded, format, error);
    if (!still) return false;
    return EncodeFinestFitting(*still, format, syntax, stream, error);
}

FittedArea FitPicture(int width, int height, double pixelAspect, const StillFrameFormat& format) {
    FittedArea area;
    if (width <= 0 || height <= 0 || !(pixelAspect > 0.0)) return area;
    // Shown on a 4:3 screen, one pixel of the still's frame is this wide for
    // each unit of height.
    const double frameAspect = 4.0 * format.height / (3.0 * format.width);
    const double shownWidth = width * pixelAspect, shownHeight = height;
    const double scale = std::min(format.width * frameAspect / shownWidth, format.height / shownHeight);
    const auto even = [](double value, int limit) {
        const int rounded = int(std::lround(value / 2.0)) * 2;
        return std::clamp(rounded, 2, limit);
    };
    area.width = even(shownWidth * scale / frameAspect, format.width);
    area.height = even(shownHeight * scale, format.height);
    area.x = (format.width - area.width) / 2 / 2 * 2;
    area.y = (format.height - area.height) / 2 / 2 * 2;
    return area;
}

bool EncodePictureStill(const DecodedPicture& picture, const StillFrameFormat& format, StillVideoSyntax syntax,
                        std::vector<uint8_t>& stream, std::string* error) {
    SilenceFfmpegLog();
    const AVFrame* decoded = picture.Frame();
    if (!decoded) return Fail(error, "no picture to encode");
    FramePtr still = IsStandardFrameSize(decoded->width, decoded->height)
                         ? ScaleToStill(*decoded, format, error)
                         : FitToStill(*decoded, FitPicture(decoded->width, decoded->height, picture.PixelAspect(), format),
                                      format, error);
    if (!still) return false;
    return EncodeFinestFitting(*still, format, syntax, stream, error);
}

}  // namespace qorvcd::codec
