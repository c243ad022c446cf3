// What a sector-mode MPEG track file holds: MPEG-1 or MPEG-2, its video and
// audio streams, picture size and frame rate (hence PAL or NTSC), the audio
// layers, rates and channel modes, and for MPEG-2 the playing time. The track
// list probes each track file once and keeps the answers in its TrackEntry.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/disc_kind.h"
#include "core/results.h"
#include "platform/log_list.h"

namespace qorvcd {

class Progress;

// PAL or NTSC, derived from the frame rate.
enum class VideoStandard : int32_t { Ntsc = 0, Pal = 1, Unknown = 2 };

// Channel classes of an audio stream as the disc's track tables code them.
enum class AudioClass : int32_t { None = 0, SingleChannel = 1, Stereo = 2, DualChannel = 3 };

// The first audio frame header of one stream (ISO/IEC 11172-3).
struct AudioStreamInfo {
    int32_t layer = 0;         // 1, 2 or 3; 0 for the reserved code
    int32_t bitRate = 0;       // kbit/s; 0 free format, -1 the forbidden index
    float samplingRate = 0.f;  // kHz: 44.1, 48 or 32; 0 for the reserved code
    int32_t audioClass = 0;    // an AudioClass value
};

struct MpegStreamInfo {
    std::array<uint8_t, 8> sequenceHeader{};  // first 8 bytes of the first sequence header
    uint32_t videoStreamId = 0;
    uint32_t audio1StreamId = 0;
    uint32_t audio2StreamId = 0;
    uint32_t isMpeg2 = 0;
    std::array<AudioStreamInfo, 2> audio{};  // streams 0xC0 and 0xC1
    int32_t width = 0;
    int32_t height = 0;
    int32_t videoStandard = int32_t(VideoStandard::Unknown);
    int32_t duration = 0;  // hundredths of a second, measured for MPEG-2 only
    int32_t status = kProbeNotProbed;  // kOk or one of the kProbe... codes of core/results.h
    uint32_t videoAnnounced = 0;
    uint32_t audio1Announced = 0;
    uint32_t audio2Announced = 0;
};

// Marks the record as not probed; call before ProbeMpegFile.
void ResetStreamInfo(MpegStreamInfo& info);

// The bytes of a sector-mode file as the probe reads them: a file on disk,
// or the units a program stream packs into, made only as they are read.
class SectorModeSource {
public:
    virtual ~SectorModeSource() = default;
    virtual uint64_t Length() = 0;
    // Reads up to `size` bytes at `position`; short only at the end or after
    // a failure.
    virtual size_t ReadAt(uint64_t position, uint8_t* out, size_t size) = 0;
    // False once a read has failed.
    virtual bool Ok() const = 0;
};

// Reads the sector-mode file at `path` (already resolved) and fills `info`.
// `progress` may be null; with one the duration search shows its progress and
// honours Cancel. Messages ("File %s format error!", "Not a multiplex file")
// go to `showMessage`. Returns the status, also kept in `info.status`.
int32_t ProbeMpegFile(MpegStreamInfo& info, const std::string& path, Progress* progress,
                      const MessageHandler& showMessage);
// The same over `source`; `name` is the file the messages name.
int32_t ProbeMpegSource(MpegStreamInfo& info, SectorModeSource& source, const std::string& name,
                        Progress* progress, const MessageHandler& showMessage);

// Frames per second of a sequence header's frame-rate code; 0 for a code
// the standards leave unused.
double FrameRateOfCode(unsigned code);
// Frames per second of the sequence header, or the status when not probed.
double FrameRate(const MpegStreamInfo& info);
// Sets and returns info.videoStandard (a VideoStandard value).
int32_t ClassifyVideoStandard(MpegStreamInfo& info);
// Playing time in hundredths of a second, or the status when not probed.
int32_t PlayingTime(const MpegStreamInfo& info);
// Copies audio stream `index` (0 or 1) into `out`; returns kOk, the status when
// not probed, or kNoSuchAudioStream for another index.
int32_t GetAudioStream(const MpegStreamInfo& info, AudioStreamInfo& out, int index);

// The name of one audio-class nibble of a track's audio byte.
const char* AudioClassName(unsigned nibble);

// What the one-line track summary needs of a track.
struct TrackSummaryFacts {
    int32_t videoStandard = int32_t(VideoStandard::Unknown);
    uint32_t audioInfo = 0;  // class of stream 1 << 4 | class of stream 0
    uint32_t duration = 0;   // hundredths of a second
};

// "It is PAL, Audio#1 Stereo,Audio#2 None, time(s) is 00:12.00" and the like.
std::string DescribeTrack(DiscKind kind, const TrackSummaryFacts& track);

}  // namespace qorvcd
