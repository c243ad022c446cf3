#include "codec/picture_facts.h"

#include "codec/bitmap_header.h"
#include "codec/codec_module.h"
#include "codec/still_format.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd::codec {

namespace {

bool Fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

}  // namespace

bool HasBitmapSignature(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

bool ReadPictureFile(const std::string& path, std::vector<uint8_t>& bytes, std::string* error) {
    File in;
    if (!in.Open(path, FileMode::Read)) return Fail(error, in.Error());
    const uint64_t length = in.Length();
    if (!in.Ok()) return Fail(error, in.Error());
    if (length > kMaxPictureFileSize)
        return Fail(error, Format("%s is %llu bytes, more than the %llu a still may take", path.c_str(),
                                  (unsigned long long)length, (unsigned long long)kMaxPictureFileSize));
    bytes.resize(size_t(length));
    if (!in.ReadExact(bytes.data(), bytes.size())) return Fail(error, in.Error());
    return true;
}

bool ReadPictureFacts(const std::string& path, PictureFacts& facts, std::string* error) {
    facts = PictureFacts{};
    std::vector<uint8_t> bytes;
    if (!ReadPictureFile(path, bytes, error)) return false;
    if (HasBitmapSignature(bytes)) {
        // A bitmap is read by its own headers, and refused as the encoder would.
        BitmapHeader header;
        if (!ParseBitmapHeader(bytes.data(), bytes.size(), header, error)) return false;
        facts.width = header.width;
        facts.height = header.height;
        facts.bitmap = true;
        facts.standardBitmap = IsStandardFrameSize(header.width, header.height);
        return true;
    }
    std::string reason;
    const CodecModuleCalls* calls = LoadCodecModule("reading the picture " + path, &reason);
    if (!calls) return Fail(error, reason);
    return calls->measurePicture(bytes, path, facts.width, facts.height, error);
}

}  // namespace qorvcd::codec
