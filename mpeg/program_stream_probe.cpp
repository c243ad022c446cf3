#include "mpeg/program_stream_probe.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"
#include "platform/file.h"

namespace qorvcd {

namespace {

constexpr size_t kSequenceHeaderSize = 12;  // start code, sizes, rates, flags
constexpr uint8_t kSequenceExtensionId = 1;

// The elementary stream of one video stream id, gathered packet by packet.
class VideoGatherer {
public:
    // Adds a packet's payload; true once the sequence header is understood.
    bool Add(const uint8_t* payload, size_t size) {
        stream_.insert(stream_.end(), payload, payload + size);
        return Understood();
    }
    const ProgramStreamVideo& Video() const { return video_; }

private:
    bool Understood() {
        // Each search resumes where the last one stopped (less a start
        // code's length, which may have been cut by a packet's end).
        if (header_ == kNone) {
            header_ = FindStartCode(searched_, uint8_t(VideoStartCode::SequenceHeader));
            searched_ = stream_.size() >= kStartCodeSize ? stream_.size() - kStartCodeSize + 1 : 0;
            if (header_ == kNone) return false;
            searched_ = header_ + kSequenceHeaderSize;
        }
        if (header_ + kSequenceHeaderSize > stream_.size()) return false;
        const uint8_t* h = &stream_[header_];
        video_.width = (h[4] << 4) | (h[5] >> 4);
        video_.height = ((h[5] & 0x0F) << 8) | h[6];
        // The quantiser matrices that may follow hold no zero byte, so the
        // next start code is the sequence extension of an MPEG-2 stream, or
        // whatever an MPEG-1 stream has next.
        const size_t next = FindStartCode(searched_, std::nullopt);
        if (next == kNone || next + kStartCodeSize >= stream_.size()) {
            searched_ = std::max(searched_, stream_.size() >= kStartCodeSize ? stream_.size() - kStartCodeSize + 1 : 0);
            return false;
        }
        video_.mpeg2 = stream_[next + 3] == uint8_t(VideoStartCode::Extension) &&
                       (stream_[next + 4] >> 4) == kSequenceExtensionId;
        return video_.width > 0 && video_.height > 0;
    }

    static constexpr size_t kNone = SIZE_MAX;
    size_t FindStartCode(size_t from, std::optional<uint8_t> code) const {
        for (size_t i = from; i + kStartCodeSize <= stream_.size(); ++i) {
            if (IsStartCodePrefix(&stream_[i]) && (!code || stream_[i + 3] == *code)) return i;
        }
        return kNone;
    }

    std::vector<uint8_t> stream_;
    size_t header_ = kNone;  // where the sequence header starts, once found
    size_t searched_ = 0;    // where the next search starts
    ProgramStreamVideo video_;
};

}  // namespace

std::optional<ProgramStreamVideo> ReadProgramStreamVideo(const uint8_t* bytes, size_t size) {
    if (size < kMpeg2PackHeaderSize || !IsStartCode(bytes, StreamId::PackStart)) return std::nullopt;
    PackSyntax syntax = PackSyntax::Mpeg1;
    std::optional<uint8_t> videoId;
    VideoGatherer video;
    size_t at = 0;
    while (at + kPacketPrefixSize <= size) {
        const uint8_t* p = bytes + at;
        if (!IsStartCodePrefix(p)) return std::nullopt;
        const uint8_t code = p[3];
        if (code == uint8_t(StreamId::ProgramEnd)) return std::nullopt;
        if (code == uint8_t(StreamId::PackStart)) {
            if (IsMpeg2PackHeader(p)) {
                syntax = PackSyntax::Mpeg2;
            } else if (IsMpeg1PackHeader(p)) {
                syntax = PackSyntax::Mpeg1;
            } else {
                return std::nullopt;
            }
            at += PackHeaderLengthWithin(p, size - at);
            continue;
        }
        if (!IsPacketStreamId(code) && code != uint8_t(StreamId::SystemHeader)) return std::nullopt;
        const size_t length = kPacketPrefixSize + ((size_t(p[4]) << 8) | p[5]);
        if (length > size - at) return std::nullopt;  // the window ends inside this packet
        if ((code & 0xF0) == 0xE0) {  // an MPEG video stream
            if (!videoId) videoId = code;
            if (code == *videoId) {
                const size_t payload = PacketPayloadOffset(p, length, syntax);
                if (payload < length && video.Add(p + payload, length - payload)) return video.Video();
            }
        }
        at += length;
    }
    return std::nullopt;
}

std::optional<ProgramStreamVideo> ProbeProgramStreamVideo(const std::string& path) {
    File file;
    if (!file.Open(path, FileMode::Read)) return std::nullopt;
    std::vector<uint8_t> window(size_t(std::min<uint64_t>(file.Length(), kProgramStreamProbeWindow)));
    if (!file.Ok() || !file.ReadExact(window.data(), window.size())) return std::nullopt;
    return ReadProgramStreamVideo(window.data(), window.size());
}

}  // namespace qorvcd
