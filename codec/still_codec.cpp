#include "codec/still_codec.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/bitmap_header.h"
#include "codec/codec_module.h"
#include "codec/picture_facts.h"
#include "codec/still_format.h"
#include "codec/still_mux.h"
#include "mpeg/pack_header.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd::codec {

namespace {

constexpr int kEncoderArgc = 4;
constexpr int kMuxArgc = 5;
constexpr int kMuxArgcWithBlankFirst = 6;
constexpr uint64_t kMaxElementaryStreamSize = 16ull << 20;
constexpr double kMaxStartSeconds = 86400.0;

bool IsFlag(const char* text) { return std::strcmp(text, "0") == 0 || std::strcmp(text, "1") == 0; }

bool ArgumentsPresent(int argc, char* argv[]) {
    for (int i = 0; i < argc; ++i)
        if (!argv[i]) return false;
    return true;
}

// Reads a whole file of at most `limit` bytes.
bool ReadInput(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes, std::string& error,
               CodecResult& result) {
    File in;
    if (!in.Open(path, FileMode::Read)) {
        error = in.Error();
        result = CodecResult::InputUnreadable;
        return false;
    }
    const uint64_t length = in.Length();
    if (length > limit) {
        error = Format("%s is %llu bytes, more than the %llu a still may take", path.c_str(),
                       (unsigned long long)length, (unsigned long long)limit);
        result = CodecResult::InputFormat;
        return false;
    }
    bytes.resize(size_t(length));
    if (!in.ReadExact(bytes.data(), bytes.size())) {
        error = in.Error();
        result = CodecResult::InputUnreadable;
        return false;
    }
    return true;
}

// Writes a whole output file; a half-written one is removed.
bool WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    if (File::WriteAll(path, bytes.data(), bytes.size(), &error)) return true;
    File::Remove(path);
    return false;
}

bool ParseStartSeconds(const char* text, uint64_t& scr) {
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(seconds >= 0.0 && seconds <= kMaxStartSeconds)) return false;
    scr = uint64_t(seconds * double(kMpegClockHz) + 0.5);
    return true;
}

}  // namespace

int StillCodec::Failed(CodecResult result, const std::string& reason) {
    lastError_ = reason;
    return int(result);
}

int StillCodec::EncodeMain(int argc, char* argv[]) {
    lastError_.clear();
    if (argc != kEncoderArgc || !argv || !ArgumentsPresent(argc, argv) || !IsFlag(argv[3]))
        return Failed(CodecResult::BadArguments, "encoder: expected a bitmap, an output and \"1\" or \"0\"");
    const std::string bitmapPath = argv[1];
    const std::string streamPath = argv[2];
    const StillVideoSyntax syntax = std::strcmp(argv[3], "1") == 0 ? StillVideoSyntax::Mpeg1 : StillVideoSyntax::Mpeg2;

    std::vector<uint8_t> bitmap;
    std::string error;
    CodecResult result = CodecResult::Ok;
    if (!ReadInput(bitmapPath, kMaxBitmapFileSize, bitmap, error, result)) return Failed(result, error);

    const CodecModuleCalls* calls = LoadCodecModule("encoding the still picture " + bitmapPath, &error);
    if (!calls) return Failed(CodecResult::CodecFailure, error);

    std::vector<uint8_t> stream;
    if (HasBitmapSignature(bitmap)) {
        BitmapHeader header;
        if (!ParseBitmapHeader(bitmap.data(), bitmap.size(), header, &error))
            return Failed(CodecResult::InputFormat, bitmapPath + ": " + error);
        // A bitmap of a standard frame size is a whole 4:3 frame, encoded as
        // bitmaps always were.
        if (IsStandardFrameSize(header.width, header.height)) {
            const StillFrameFormat format =
                settings_.standard ? StillFormatFor(settings_.kind, settings_.pictureMode, *settings_.standard)
                                   : StillFormatFor(settings_.kind, settings_.pictureMode, header.height);
            if (!calls->encodeBitmapStill(bitmap, format, syntax, stream, &error))
                return Failed(CodecResult::CodecFailure, bitmapPath + ": " + error);
            if (!WriteOutput(streamPath, stream, error)) return Failed(CodecResult::OutputFailure, error);
            return int(CodecResult::Ok);
        }
    }

    const PictureStillRequest request{settings_.kind, settings_.pictureMode, settings_.standard, syntax};
    const CodecResult encoded = calls->encodePictureStill(bitmap, bitmapPath, request, stream, &error);
    if (encoded != CodecResult::Ok) return Failed(encoded, bitmapPath + ": " + error);
    if (!WriteOutput(streamPath, stream, error)) return Failed(CodecResult::OutputFailure, error);
    return int(CodecResult::Ok);
}

int StillCodec::MuxMpg1(int argc, char* argv[], int pictureMode, int /*reserved*/) {
    lastError_.clear();
    if (argc != kMuxArgc) return Failed(CodecResult::BadArguments, "multiplexer: expected five arguments");
    return MuxStream(argc, argv, pictureMode, true);
}

int StillCodec::Mux(int argc, char* argv[], int pictureMode, int /*reserved1*/, int /*reserved2*/) {
    lastError_.clear();
    if (argc != kMuxArgc && argc != kMuxArgcWithBlankFirst)
        return Failed(CodecResult::BadArguments, "multiplexer: expected five or six arguments");
    return MuxStream(argc, argv, pictureMode, false);
}

int StillCodec::MuxStream(int argc, char* argv[], int pictureMode, bool mpeg1) {
    if (!argv || !ArgumentsPresent(argc, argv) || std::strcmp(argv[1], "-o") != 0)
        return Failed(CodecResult::BadArguments, "multiplexer: expected \"-o\" and an output path");
    uint64_t startScr = 0;
    if (!ParseStartSeconds(argv[4], startScr))
        return Failed(CodecResult::BadArguments, Format("multiplexer: bad start time \"%s\"", argv[4]));
    if (argc == kMuxArgcWithBlankFirst && !IsFlag(argv[5]))
        return Failed(CodecResult::BadArguments, Format("multiplexer: bad flag \"%s\"", argv[5]));
    if (pictureMode != 2 && pictureMode != 3)
        return Failed(CodecResult::BadArguments, Format("multiplexer: picture mode %d (2 or 3 expected)", pictureMode));
    const std::string programPath = argv[2];
    const std::string streamPath = argv[3];

    std::vector<uint8_t> stream;
    std::string error;
    CodecResult result = CodecResult::Ok;
    if (!ReadInput(streamPath, kMaxElementaryStreamSize, stream, error, result)) return Failed(result, error);
    const VideoStreamKind expected = mpeg1 ? VideoStreamKind::Mpeg1 : VideoStreamKind::Mpeg2;
    if (DetectVideoStream(stream) != expected)
        return Failed(CodecResult::InputFormat, Format("%s is not an MPEG-%d video stream", streamPath.c_str(),
                                                       mpeg1 ? 1 : 2));

    StillMuxSettings settings =
        DiscMuxSettings(mpeg1 ? PackSyntax::Mpeg1 : PackSyntax::Mpeg2, /*doubleSpeed=*/!mpeg1);
    settings.streamId = pictureMode == 3 ? kHighStillStreamId : kNormalStillStreamId;
    settings.startScr = startScr;
    settings.reserveFirstSector = argc == kMuxArgcWithBlankFirst && std::strcmp(argv[5], "1") == 0;
    if (!WriteOutput(programPath, MultiplexStill(stream, settings), error))
        return Failed(CodecResult::OutputFailure, error);
    return int(CodecResult::Ok);
}

}  // namespace qorvcd::codec
