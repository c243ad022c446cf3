// The codec module: the part of the codec built on FFmpeg's libraries
// (transcoding, reading pictures, encoding stills). It is a shared module of
// its own, libqorvcd_codec.so, that the first step needing it loads; a build
// of ready sector-mode files, an export or an inspection never maps FFmpeg and
// its hundred-odd libraries, so they start fast and stay small.
//
// The module is found, in this order: the file $QORVCD_CODEC_MODULE names;
// beside the running program; in the program's ../lib/qorvcd/ (an installed
// tree); in this build's tree (the module built with this very library); in
// the library folder this build installs to.
//
// Both sides are built together from one tree, so the calls pass C++ types;
// the table carries an interface number and its size, and a module of another
// build is refused rather than called.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/still_format.h"
#include "codec/transcode.h"
#include "core/results.h"

namespace qorvcd::codec {

inline constexpr const char* kCodecModuleFileName = "libqorvcd_codec.so";
inline constexpr const char* kCodecModuleEntry = "qorvcd_codec_module";
// Raised whenever a call of the table, or a type one passes, changes.
inline constexpr uint32_t kCodecModuleInterface = 2;

// A file of the host's checked file layer lent to the module. Its calls run in
// the host's code, so the module never asks the system for a file itself and
// every read and write is checked (and seen by a test's fault plan) exactly
// as the rest of a build's are.
class CodecFile {
public:
    virtual ~CodecFile() = default;
    virtual size_t Read(void* buffer, size_t size) = 0;
    virtual bool Write(const void* buffer, size_t size) = 0;
    virtual bool Seek(uint64_t position) = 0;
    virtual uint64_t Position() = 0;
    virtual uint64_t Length() = 0;
    // Writes what is buffered and closes; false when a byte did not land.
    virtual bool Close() = 0;
    virtual bool Ok() = 0;
    virtual std::string Error() = 0;
    virtual std::string Path() = 0;
};

// Opens `path` for reading, or for writing (created or emptied); null with
// the reason in `error`.
using CodecFileOpener = std::unique_ptr<CodecFile> (*)(const std::string& path, bool forWriting,
                                                       std::string* error);

// How a picture other than a standard-size bitmap becomes a still.
struct PictureStillRequest {
    DiscKind kind = DiscKind::Svcd;
    int pictureMode = 2;
    // None: the picture's own standard (StandardOfPicture of its height).
    std::optional<VideoStandard> standard;
    StillVideoSyntax syntax = StillVideoSyntax::Mpeg2;
};

// The sizes of the types the calls pass, folded into one number: a module
// whose types differ from the program's is refused even when the interface
// number was not raised.
inline constexpr uint32_t CodecModuleLayout() {
    uint32_t layout = 2166136261u;
    for (size_t size : {sizeof(SourceFacts), sizeof(TranscodeRequest), sizeof(TranscodeOutcome),
                        sizeof(StillFrameFormat), sizeof(PictureStillRequest), sizeof(std::string),
                        sizeof(std::vector<uint8_t>)}) {
        layout = (layout ^ uint32_t(size)) * 16777619u;
    }
    return layout;
}

// The module's calls.
struct CodecModuleCalls {
    uint32_t interfaceNumber = 0;  // kCodecModuleInterface of the module's build
    uint32_t size = 0;       // sizeof(CodecModuleCalls) of the module's build
    uint32_t layout = 0;     // CodecModuleLayout() of the module's build

    // What FFmpeg sees in a file (see ProbeSource).
    SourceFacts (*probeSource)(CodecFileOpener open, const std::string& path);
    // A video into a disc kind's program stream (see TranscodeForDisc).
    TranscodeOutcome (*transcodeForDisc)(CodecFileOpener open, const TranscodeRequest& request);
    // The size of the first picture in a picture file's bytes; `fileName`
    // names the format of pictures without a signature.
    bool (*measurePicture)(const std::vector<uint8_t>& bytes, const std::string& fileName, int& width,
                           int& height, std::string* error);
    // A whole BMP file, already checked by ParseBitmapHeader, into a still.
    bool (*encodeBitmapStill)(const std::vector<uint8_t>& bitmap, const StillFrameFormat& format,
                              StillVideoSyntax syntax, std::vector<uint8_t>& stream, std::string* error);
    // Any picture file's bytes into a still: InputFormat when they hold no
    // readable picture, CodecFailure when the encoder fails, else Ok.
    CodecResult (*encodePictureStill)(const std::vector<uint8_t>& bytes, const std::string& fileName,
                                      const PictureStillRequest& request, std::vector<uint8_t>& stream,
                                      std::string* error);
};

// The module's calls, loading it when this process has not yet. Null when it
// cannot be had, with "`purpose` needs the codec module PATH: REASON" in
// `error` (`purpose` says what the caller was doing: "converting x.avi").
const CodecModuleCalls* LoadCodecModule(const std::string& purpose, std::string* error);

// The checked file layer's files, for the module.
std::unique_ptr<CodecFile> OpenCheckedCodecFile(const std::string& path, bool forWriting, std::string* error);

}  // namespace qorvcd::codec

// The module's one exported symbol.
extern "C" const qorvcd::codec::CodecModuleCalls* qorvcd_codec_module();
