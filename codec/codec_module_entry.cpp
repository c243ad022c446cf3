// The codec module's entry point: the table of its calls. Built only into
// libqorvcd_codec.so (and into the tests that call the FFmpeg code directly).
#include "codec/codec_engine_p.h"
#include "codec/picture_reader.h"
#include "codec/still_encoder.h"

namespace qorvcd::codec {

bool MeasurePicture(const std::vector<uint8_t>& bytes, const std::string& fileName, int& width, int& height,
                    std::string* error) {
    DecodedPicture picture;
    if (!picture.Decode(bytes, error, fileName)) return false;
    width = picture.Width();
    height = picture.Height();
    return true;
}

CodecResult EncodePictureFileStill(const std::vector<uint8_t>& bytes, const std::string& fileName,
                                   const PictureStillRequest& request, std::vector<uint8_t>& stream,
                                   std::string* error) {
    DecodedPicture picture;
    if (!picture.Decode(bytes, error, fileName)) return CodecResult::InputFormat;
    const VideoStandard standard = request.standard.value_or(StandardOfPicture(picture.Height()));
    const StillFrameFormat format = StillFormatFor(request.kind, request.pictureMode, standard);
    if (!EncodePictureStill(picture, format, request.syntax, stream, error)) return CodecResult::CodecFailure;
    return CodecResult::Ok;
}

}  // namespace qorvcd::codec

extern "C" __attribute__((visibility("default"))) const qorvcd::codec::CodecModuleCalls* qorvcd_codec_module() {
    using namespace qorvcd::codec;
    static constexpr CodecModuleCalls kCalls{
        kCodecModuleInterface, sizeof(CodecModuleCalls), CodecModuleLayout(), &ProbeSourceWith,
        &TranscodeWith,        &MeasurePicture,          &EncodeBitmapStill,  &EncodePictureFileStill,
    };
    return &kCalls;
}
