#include "mpeg/mpeg_probe.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "core/progress.h"
#include "core/sector_unit.h"
#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"
#include "platform/bytes.h"
#include "platform/file.h"

namespace qorvcd {

namespace {

constexpr size_t kPackArea = kSectorModeUnitSize - kSubheaderSize;  // 2328
constexpr size_t kFindBlockSize = kRawSectorSize;  // the first pack is searched for in 2352-byte blocks
constexpr size_t kPackAlignment = 8;
constexpr size_t kSequenceHeaderBytes = 8;

// The duration search starts this many units before the end of the file.
constexpr uint64_t kDurationSearchUnits = 46;
constexpr size_t kDurationReadSize = 128;
constexpr size_t kCodingByte = 3;  // subheader byte holding the coding information

// When every announced stream has been parsed but only video or only audio
// was announced, the scan goes on this many units: some streams (Video CD)
// announce each stream in a pack of its own.
constexpr uint32_t kAnnouncementWindow = 150;

// ISO/IEC 11172-3 bit-rate tables in kbit/s: Layer I, II, III.
constexpr int32_t kBitRates[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, -1},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, -1},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1},
};
constexpr float kSamplingRates[4] = {44.1f, 48.0f, 32.0f, 0.0f};
constexpr double kFrameRates[9] = {-1.0, 23.976, 24.0, 25.0, 29.97, 30.0, 50.0, 59.94, 60.0};

bool IsPackStart(const uint8_t* p) { return IsStartCode(p, StreamId::PackStart); }
bool IsProgramEnd(const uint8_t* p) { return IsStartCode(p, StreamId::ProgramEnd); }

// An empty Form 2 unit stands for a stream's padding sector: no pack in it.
bool IsEmptyUnitArea(const uint8_t* area, size_t size) {
    return std::all_of(area, area + std::min<size_t>(size, 4), [](uint8_t b) { return b == 0; });
}

bool HasAudioSync(const uint8_t* h) { return h[0] == 0xFF && (h[1] & 0xF0) == 0xF0; }

// A frame header a scan may trust: sync, a layer, a usable rate index.
bool IsPlausibleAudioHeader(const uint8_t* h) {
    return HasAudioSync(h) && (h[1] & 0x06) != 0 && (h[2] >> 4) != 15 && ((h[2] >> 2) & 3) != 3;
}

void DecodeAudioHeader(const uint8_t* h, AudioStreamInfo& out) {
    static constexpr int32_t kLayerOfCode[4] = {0, 3, 2, 1};
    out.layer = kLayerOfCode[(h[1] >> 1) & 3];
    if (out.layer != 0) out.bitRate = kBitRates[out.layer - 1][h[2] >> 4];
    out.samplingRate = kSamplingRates[(h[2] >> 2) & 3];
    static constexpr int32_t kClassOfMode[4] = {int32_t(AudioClass::Stereo), int32_t(AudioClass::Stereo),
                                                int32_t(AudioClass::DualChannel),
                                                int32_t(AudioClass::SingleChannel)};
    out.audioClass = kClassOfMode[h[3] >> 6];
}

// Reads the first audio frame header of a packet into `out`. The header at
// the start of the payload is taken as it is; when the payload starts inside
// a frame, the first plausible header within the packet is used.
void ReadAudioHeader(const uint8_t* packet, size_t size, PackSyntax syntax, AudioStreamInfo& out) {
    const size_t payload = PacketPayloadOffset(packet, size, syntax);
    if (payload + 4 > size) return;
    if (HasAudioSync(packet + payload)) {
        DecodeAudioHeader(packet + payload, out);
        return;
    }
    for (size_t q = payload + 1; q + 4 <= size; ++q) {
        if (IsPlausibleAudioHeader(packet + q)) {
            DecodeAudioHeader(packet + q, out);
            return;
        }
    }
}

// A sector-mode file on disk.
class FileSource : public SectorModeSource {
public:
    bool Open(const std::string& path) { return file_.Open(path, FileMode::Read); }
    uint64_t Length() override { return file_.Length(); }
    size_t ReadAt(uint64_t position, uint8_t* out, size_t size) override {
        if (!file_.Seek(position)) return 0;
        return file_.Read(out, size);
    }
    bool Ok() const override { return file_.Ok(); }
    void Close() { file_.Close(); }

private:
    File file_;
};

struct ParsedFlags {
    bool video = false;
    bool audio0 = false;
    bool audio1 = false;
};

class Prober {
public:
    Prober(MpegStreamInfo& info, const std::string& path, Progress* progress,
           const MessageHandler& showMessage)
        : info_(info), path_(path), progress_(progress), showMessage_(showMessage) {}

    // Probes the file at the path.
    int32_t Run();
    // Probes `source`, named by the path.
    int32_t Run(SectorModeSource& source);

private:
    // A read or seek that failed leaves the facts unknown, whatever was found.
    int32_t Finish(int32_t status) {
        if (!source_->Ok() && status != kProbeCancelled) status = kProbeCannotOpen;
        info_.status = status;
        return status;
    }
    void Begin();
    int32_t Scan(SectorModeSource& source);
    bool FindFirstPack(uint64_t& position);
    size_t ReadArea(uint64_t position, uint8_t* area);
    int32_t ScanForward(uint64_t position);
    bool ExaminePack(const uint8_t* area, size_t size);
    void ReadSystemHeader(const uint8_t* header, size_t size);
    void ExaminePacket(const uint8_t* packet, size_t size);
    bool ScanComplete() const;
    // The syntax of the last pack header examined.
    PackSyntax Syntax() const { return info_.isMpeg2 ? PackSyntax::Mpeg2 : PackSyntax::Mpeg1; }
    int32_t MeasureDuration();
    void Show(const std::string& text) const {
        if (showMessage_) showMessage_(text);
    }

    MpegStreamInfo& info_;
    const std::string& path_;
    Progress* progress_;
    const MessageHandler& showMessage_;
    SectorModeSource* source_ = nullptr;
    uint64_t length_ = 0;
    ParsedFlags parsed_;
};

int32_t Prober::Run() {
    Begin();
    FileSource file;
    source_ = &file;
    if (!file.Open(path_)) return Finish(kProbeCannotOpen);
    const int32_t status = Scan(file);
    file.Close();
    return status;
}

int32_t Prober::Run(SectorModeSource& source) {
    Begin();
    return Scan(source);
}

void Prober::Begin() {
    info_.videoAnnounced = info_.audio1Announced = info_.audio2Announced = 0;
    if (progress_) {
        progress_->SetMessage(Format("Searching %s for Audio, Video and OGT information\n", path_.c_str()));
    }
}

int32_t Prober::Scan(SectorModeSource& source) {
    source_ = &source;
    length_ = source.Length();
    uint64_t position = 0;
    if (!FindFirstPack(position)) return Finish(kProbeFormatError);
    const int32_t scanned = ScanForward(position);
    if (scanned != kOk || !info_.isMpeg2) return Finish(scanned);
    return Finish(MeasureDuration());
}

bool Prober::FindFirstPack(uint64_t& position) {
    std::vector<uint8_t> block(kFindBlockSize);
    for (uint64_t start = 0; start < length_; start += kFindBlockSize) {
        const size_t got = source_->ReadAt(start, block.data(), block.size());
        if (!source_->Ok()) return false;
        for (size_t at = 0; at + 4 <= got; at += kPackAlignment) {
            if (IsPackStart(block.data() + at)) {
                position = start + at;
                return true;
            }
        }
        if (got < block.size()) break;
    }
    return false;
}

size_t Prober::ReadArea(uint64_t position, uint8_t* area) {
    const size_t want = size_t(std::min<uint64_t>(kPackArea, length_ - position));
    std::memset(area, 0, kPackArea);
    return source_->ReadAt(position, area, want);
}

bool Prober::ScanComplete() const {
    const bool videoSettled = bool(info_.videoAnnounced) == parsed_.video;
    const bool audio0Settled = bool(info_.audio1Announced) == parsed_.audio0;
    if (!info_.isMpeg2) return videoSettled && audio0Settled;
    return videoSettled && audio0Settled && bool(info_.audio2Announced) == parsed_.audio1;
}

int32_t Prober::ScanForward(uint64_t position) {
    std::array<uint8_t, kPackArea> area;
    uint32_t unitsSinceSettled = 0;
    for (; position < length_; position += kSectorModeUnitSize) {
        const size_t got = ReadArea(position, area.data());
        // The unit the packet reader writes for a closing end code: the
        // program ends here.
        if (got >= 4 && IsProgramEnd(area.data())) break;
        if (got < 14 || !IsPackStart(area.data())) {
            if (IsEmptyUnitArea(area.data(), got) && got >= 4) continue;
            return kProbeFormatError;
        }
        if (!ExaminePack(area.data(), got)) return kProbeFormatError;

        if (!ScanComplete()) {
            unitsSinceSettled = 0;
            continue;
        }
        // Once video and audio have both been announced, nothing is waiting
        // for an announcement of its own.
        const bool bothKindsAnnounced =
            info_.videoAnnounced && (info_.audio1Announced || info_.audio2Announced);
        if (bothKindsAnnounced || ++unitsSinceSettled > kAnnouncementWindow) break;
    }
    return kOk;
}

bool Prober::ExaminePack(const uint8_t* area, size_t size) {
    info_.isMpeg2 = HasMpeg2MarkerBit(area) ? 1 : 0;
    const size_t first = PackHeaderLength(area, Syntax());
    if (first + kPacketPrefixSize > size || !IsStartCodePrefix(area + first)) return false;
    const uint8_t* packet = area + first;
    const size_t room = size - first;
    if (packet[3] == uint8_t(StreamId::SystemHeader)) {
        ReadSystemHeader(packet, room);
        return true;
    }
    const size_t packetSize = std::min<size_t>(room, kPacketPrefixSize + GetBe16(packet + 4));
    ExaminePacket(packet, packetSize);
    return true;
}

// Every stream the system header lists is announced (entries of three bytes).
void Prober::ReadSystemHeader(const uint8_t* header, size_t size) {
    const size_t end = std::min<size_t>(size, kPacketPrefixSize + GetBe16(header + 4));
    for (size_t e = kSystemHeaderFirstStream; e + kStreamEntrySize <= end; e += kStreamEntrySize) {
        const uint8_t id = header[e];
        if (!IsListedStreamId(id)) break;  // the list has ended
        if (id == uint8_t(StreamId::Audio0)) {
            info_.audio1StreamId = id;
            info_.audio1Announced = 1;
        } else if (id == uint8_t(StreamId::Audio1)) {
            info_.audio2StreamId = id;
            info_.audio2Announced = 1;
        } else if (IsVideoStreamId(id)) {
            info_.videoStreamId = id;
            info_.videoAnnounced = 1;
        }
    }
}

void Prober::ExaminePacket(const uint8_t* packet, size_t size) {
    const uint8_t id = packet[3];
    if (IsVideoStreamId(id) && !parsed_.video) {
        info_.sequenceHeader.fill(0);
        for (size_t q = kPacketPrefixSize; q + kSequenceHeaderBytes <= size; ++q) {
            const uint8_t* s = packet + q;
            if (!IsStartCodePrefix(s) || s[3] != uint8_t(VideoStartCode::SequenceHeader)) continue;
            std::memcpy(info_.sequenceHeader.data(), s, kSequenceHeaderBytes);
            info_.width = (s[4] << 4) | (s[5] >> 4);
            info_.height = ((s[5] & 0x0F) << 8) + s[6];
            parsed_.video = true;
            break;
        }
    } else if (id == uint8_t(StreamId::Audio0) && !parsed_.audio0) {
        ReadAudioHeader(packet, size, Syntax(), info_.audio[0]);
        parsed_.audio0 = true;
    } else if (id == uint8_t(StreamId::Audio1) && !parsed_.audio1) {
        ReadAudioHeader(packet, size, Syntax(), info_.audio[1]);
        parsed_.audio1 = true;
    }
}

// The playing time is the clock reference of the last video unit near the end.
int32_t Prober::MeasureDuration() {
    const uint64_t searchSpan = kDurationSearchUnits * kSectorModeUnitSize;
    // A file too short for the usual start is searched from its last unit.
    int64_t q = length_ > searchSpan ? int64_t(length_ - searchSpan)
                                     : int64_t(length_) - int64_t(kSectorModeUnitSize);
    std::array<uint8_t, kDurationReadSize> unit{};
    bool haveUnit = false;
    for (; q >= 0; q -= int64_t(kSectorModeUnitSize)) {
        if (progress_) {
            progress_->SetProgress(int((length_ - uint64_t(q)) * 100 / length_));
            if (progress_->TakeCancelRequest()) return kProbeCancelled;
        }
        unit.fill(0);
        const size_t got = source_->ReadAt(uint64_t(q), unit.data(), unit.size());
        if (got == 0 && !source_->Ok()) break;
        // Neither an empty unit nor the end-code unit holds a clock reference.
        const bool emptyUnit = got >= kSubheaderSize + 4 && IsEmptyUnitArea(unit.data() + kSubheaderSize, 4) &&
                               Subheader::ReadFrom(unit.data()) == kEmptyForm2Subheader;
        if (emptyUnit || (got >= kSubheaderSize + 4 && IsProgramEnd(unit.data() + kSubheaderSize))) continue;
        if (got < kSubheaderSize + 14 || !IsPackStart(unit.data() + kSubheaderSize)) {
            Show(Format("File %s format error!", path_.c_str()));
            return kProbeFormatError;
        }
        haveUnit = true;
        if (unit[kCodingByte] == kVideoCoding) break;
    }
    if (!haveUnit) {
        Show("Not a multiplex file");
        return kProbeFormatError;
    }
    // The unit's pack is read as an MPEG-2 pack header, whatever its marker;
    // the low 32 bits of the clock reference base count as a signed number.
    const uint32_t clock = uint32_t(ReadClockReference(unit.data() + kSubheaderSize, PackSyntax::Mpeg2));
    info_.duration = int32_t(clock) / int32_t(kMpegClockTicksPerHundredth);
    return kOk;
}

}  // namespace

void ResetStreamInfo(MpegStreamInfo& info) { info.status = kProbeNotProbed; }

int32_t ProbeMpegFile(MpegStreamInfo& info, const std::string& path, Progress* progress,
                      const MessageHandler& showMessage) {
    Prober prober(info, path, progress, showMessage);
    return prober.Run();
}

double FrameRateOfCode(unsigned code) { return code < std::size(kFrameRates) ? kFrameRates[code] : 0.0; }

int32_t ProbeMpegSource(MpegStreamInfo& info, SectorModeSource& source, const std::string& name,
                        Progress* progress, const MessageHandler& showMessage) {
    Prober prober(info, name, progress, showMessage);
    return prober.Run(source);
}

double FrameRate(const MpegStreamInfo& info) {
    if (info.status != kOk) return double(info.status);
    return FrameRateOfCode(info.sequenceHeader[7] & 0x0F);
}

int32_t ClassifyVideoStandard(MpegStreamInfo& info) {
    info.videoStandard = int32_t(VideoStandard::Unknown);
    if (info.status == kOk) {
        const double rate = FrameRate(info);
        if (rate == 24.0 || rate == 25.0) info.videoStandard = int32_t(VideoStandard::Pal);
        if (rate == 29.97 || rate == 30.0) info.videoStandard = int32_t(VideoStandard::Ntsc);
    }
    return info.videoStandard;
}

int32_t PlayingTime(const MpegStreamInfo& info) {
    return info.status != kOk ? info.status : info.duration;
}

int32_t GetAudioStream(const MpegStreamInfo& info, AudioStreamInfo& out, int index) {
    if (info.status != kOk) return info.status;
    if (index != 0 && index != 1) return kNoSuchAudioStream;
    out = info.audio[size_t(index)];
    return kOk;
}

const char* AudioClassName(unsigned nibble) {
    switch (nibble) {
        case 0: return "None";
        case 1: return "Single channel";
        case 2: return "Stereo";
        case 3: return "Dual language";
        case 6: return "karaoke music only";
        case 7: return "Left-channel is karaoke music";
        case 10: return "karaoke music+vocal";
        case 11: return "Right-channel is karaoke music";
        case 14: return "Multi-channel surround";
        default: return "Unknow!!";
    }
}

std::string DescribeTrack(DiscKind kind, const TrackSummaryFacts& track) {
    std::string text = track.videoStandard == int32_t(VideoStandard::Pal) ? "It is PAL," : "It is NTSC,";
    const char* first = AudioClassName(track.audioInfo & 0x0F);
    if (kind == DiscKind::Vcd30) {
        text += std::string(" Audio ") + first;
        return text;
    }
    text += std::string(" Audio#1 ") + first + "," + "Audio#2 " + AudioClassName((track.audioInfo >> 4) & 0x0F);
    const double seconds = track.duration * 0.01;
    const int whole = int(seconds);
    const int frames = int((seconds - whole) * 75);
    text += Format(", time(s) is %02d:%02d.%02d", whole / 60, whole % 60, frames);
    return text;
}

}  // namespace qorvcd
