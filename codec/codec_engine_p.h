// The calls the codec module's table points to, inside the module. The rest of
// the program reaches them only through LoadCodecModule.
#pragma once

#include <string>
#include <vector>

#include "codec/codec_module.h"

namespace qorvcd::codec {

SourceFacts ProbeSourceWith(CodecFileOpener open, const std::string& path);
TranscodeOutcome TranscodeWith(CodecFileOpener open, const TranscodeRequest& request);
bool MeasurePicture(const std::vector<uint8_t>& bytes, const std::string& fileName, int& width, int& height,
                    std::string* error);
CodecResult EncodePictureFileStill(const std::vector<uint8_t>& bytes, const std::string& fileName,
                                   const PictureStillRequest& request, std::vector<uint8_t>& stream,
                                   std::string* error);

}  // namespace qorvcd::codec
