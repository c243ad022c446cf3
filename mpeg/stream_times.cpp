#include "mpeg/stream_times.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/sector_unit.h"
#include "mpeg/mpeg_probe.h"
#include "mpeg/pack_header.h"
#include "mpeg/stream_codes.h"
#include "platform/bytes.h"
#include "platform/file.h"
#include "platform/log_list.h"

namespace qorvcd {

namespace {

// The pictures of a stretch of a track file with the time stamps that time
// some of them: a packet's time stamp belongs to the first picture that
// begins in it.
struct TimedStretch {
    PictureClock clock;
    std::vector<PictureClock::Picture> pictures;
    struct Stamp {
        size_t picture;  // index into `pictures`
        uint64_t time;
    };
    std::vector<Stamp> stamps;
};

using PackArea = std::array<uint8_t, kMaxPackSize>;

bool ReadPackArea(const PackSource& source, uint64_t unit, PackArea& area, size_t& got) {
    area.fill(0);
    got = 0;
    return source(unit, area.data(), got);
}

bool FeedUnit(const PackSource& source, uint64_t unit, TimedStretch& stretch) {
    PackArea area;
    size_t got = 0;
    if (!ReadPackArea(source, unit, area, got)) return false;
    for (const VideoPacket& packet : VideoPacketsOfPack(area.data(), got)) {
        const uint64_t packetStart = stretch.clock.Offset();
        const size_t before = stretch.pictures.size();
        stretch.clock.Feed(packet.payload, packet.size, stretch.pictures);
        if (packet.presentationTime < 0) continue;
        for (size_t i = before; i < stretch.pictures.size(); ++i) {
            if (stretch.pictures[i].startOffset < packetStart) continue;
            stretch.stamps.push_back({i, uint64_t(packet.presentationTime)});
            break;
        }
    }
    return true;
}

bool HoldsGroupHeader(const PackSource& source, uint64_t unit, bool& holds) {
    PackArea area;
    size_t got = 0;
    if (!ReadPackArea(source, unit, area, got)) return false;
    holds = false;
    for (const VideoPacket& packet : VideoPacketsOfPack(area.data(), got)) {
        for (size_t i = 0; i + kStartCodeSize <= packet.size && !holds; ++i) {
            holds = IsStartCodePrefix(packet.payload + i) &&
                    packet.payload[i + 3] == uint8_t(VideoStartCode::GroupOfPictures);
        }
    }
    return true;
}

// Moves `time` by `pictures` pictures (negative: earlier), on the 33-bit clock.
uint64_t Shifted(uint64_t time, double pictures, double ticksPerPicture) {
    const int64_t shift = std::llround(pictures * ticksPerPicture);
    return uint64_t(int64_t(time) + shift) & kMaxTimestamp;
}

// Enough of the start for the first picture shown and a time stamp.
constexpr uint64_t kStartUnits = 512;
// The end is read from the second last group header on: the last group
// then lies wholly in the stretch, and one before it.
constexpr int kGroupsAtEnd = 2;

}  // namespace

std::vector<VideoPacket> VideoPacketsOfPack(const uint8_t* pack, size_t size) {
    std::vector<VideoPacket> packets;
    if (size < kMpeg1PackHeaderSize || !IsStartCode(pack, StreamId::PackStart)) return packets;
    const PackSyntax syntax = IsMpeg2PackHeader(pack) ? PackSyntax::Mpeg2 : PackSyntax::Mpeg1;
    // Bounds are checked by subtraction: a damaged length cannot overflow.
    for (size_t at = PackHeaderLengthWithin(pack, size); at < size && size - at >= kPacketPrefixSize;) {
        const uint8_t* packet = pack + at;
        if (!IsStartCodePrefix(packet)) break;
        const uint8_t id = packet[3];
        if (id != uint8_t(StreamId::SystemHeader) && !IsPacketStreamId(id)) break;
        const size_t length = std::min<size_t>(size - at, kPacketPrefixSize + GetBe16(packet + 4));
        if (IsVideoStreamId(id)) {
            const size_t payload = PacketPayloadOffset(packet, length, syntax);
            if (payload < length) {
                packets.push_back({packet + payload, length - payload, PacketPresentationTime(packet, length, syntax)});
            }
        }
        at += length;
    }
    return packets;
}

double TicksPerPicture(double frameRate) { return frameRate > 0 ? kMpegClockHz / frameRate : 0.0; }

uint64_t StreamTimes::PlayingTicks() const {
    const uint64_t span = (lastTimestamp - firstTimestamp) & kMaxTimestamp;  // a wrap of the 33-bit clock
    return span + uint64_t(std::llround(ticksPerPicture));
}

uint32_t StreamTimes::PlayingHundredths() const {
    return uint32_t((PlayingTicks() + kMpegClockTicksPerHundredth - 1) / kMpegClockTicksPerHundredth);
}

std::optional<StreamTimes> MeasureStreamTimes(const std::string& path, double frameRate, std::string* why) {
    File file;
    if (!file.Open(path, FileMode::Read)) {
        if (why) *why = file.Error();
        return std::nullopt;
    }
    const PackSource source = [&file](uint64_t unit, uint8_t* area, size_t& got) {
        if (!file.Seek(unit * kSectorModeUnitSize + kSubheaderSize)) return false;
        got = file.Read(area, kMaxPackSize);
        return file.Ok();
    };
    std::string reason;
    std::optional<StreamTimes> times = MeasurePackTimes(source, file.Length() / kSectorModeUnitSize, frameRate, &reason);
    if (!times && why) *why = file.Ok() ? "the stream " + reason : file.Error();
    return times;
}

std::optional<StreamTimes> MeasureSourceTimes(SectorModeSource& source, double frameRate, std::string* why) {
    const PackSource packs = [&source](uint64_t unit, uint8_t* area, size_t& got) {
        got = source.ReadAt(unit * kSectorModeUnitSize + kSubheaderSize, area, kMaxPackSize);
        return source.Ok();
    };
    std::string reason;
    std::optional<StreamTimes> times = MeasurePackTimes(packs, source.Length() / kSectorModeUnitSize, frameRate, &reason);
    if (!times && why) *why = source.Ok() ? "the stream " + reason : "it could not be read";
    return times;
}

std::optional<StreamTimes> MeasurePackTimes(const PackSource& source, uint64_t units, double frameRate,
                                            std::string* why) {
    auto fail = [why](const std::string& text) -> std::optional<StreamTimes> {
        if (why) *why = text;
        return std::nullopt;
    };

    // The first picture shown has display index 0 from the stream's start.
    TimedStretch head;
    for (uint64_t u = 0; u < units && u < kStartUnits && head.stamps.empty(); ++u) {
        if (!FeedUnit(source, u, head)) return fail("could not be read");
    }
    if (head.stamps.empty()) return fail("has no video time stamps");
    const double ticks = TicksPerPicture(frameRate > 0 ? frameRate : FrameRateOfCode(head.clock.FrameRateCode()));
    if (ticks <= 0) return fail("has no frame rate a disc knows");
    const TimedStretch::Stamp& firstStamp = head.stamps.front();
    StreamTimes times;
    times.ticksPerPicture = ticks;
    times.firstTimestamp = Shifted(firstStamp.time, -double(head.pictures[firstStamp.picture].displayIndex), ticks);

    uint64_t from = units;
    for (int groups = 0; from > 0 && groups < kGroupsAtEnd;) {
        bool holds = false;
        if (!HoldsGroupHeader(source, --from, holds)) return fail("could not be read");
        groups += holds ? 1 : 0;
    }
    TimedStretch tail;
    for (uint64_t u = from; u < units; ++u) {
        if (!FeedUnit(source, u, tail)) return fail("could not be read");
    }
    // Pictures in front of the stretch's first group header have no place yet.
    const auto placed = [&tail](size_t i) { return tail.pictures[i].group > 0; };
    std::optional<uint64_t> lastShown;
    for (size_t i = 0; i < tail.pictures.size(); ++i) {
        if (placed(i)) lastShown = std::max(lastShown.value_or(0), tail.pictures[i].displayIndex);
    }
    const TimedStretch::Stamp* stamp = nullptr;
    for (const TimedStretch::Stamp& s : tail.stamps) {
        if (placed(s.picture)) stamp = &s;
    }
    if (!lastShown || !stamp) return fail("has no timed group of pictures at its end");
    const double after = double(*lastShown) - double(tail.pictures[stamp->picture].displayIndex);
    times.lastTimestamp = Shifted(stamp->time, after, ticks);
    return times;
}

void PictureClock::Feed(const uint8_t* bytes, size_t size, std::vector<Picture>& out) {
    for (size_t i = 0; i < size; ++i, ++offset_) {
        const uint8_t b = bytes[i];
        if (pending_ > 0) {
            header_[2 - pending_] = b;
            if (--pending_ == 0) {
                // temporal_reference: 10 bits; picture_coding_type: the next 3
                const uint64_t temporalReference = (uint64_t(header_[0]) << 2) | (header_[1] >> 6);
                out.push_back({groupBase_ + temporalReference, uint8_t((header_[1] >> 3) & 0x07),
                               accessStart_.value_or(pictureStart_), pictureStart_, groups_});
                ++picturesSeen_;
                accessStart_.reset();
            }
        }
        // The sequence header's fourth byte after its start code holds the
        // aspect ratio and the frame-rate code.
        if (sequencePending_ > 0 && --sequencePending_ == 0 && frameRateCode_ == 0) frameRateCode_ = b & 0x0F;
        if (prefix_ == 0x000001) {
            const uint64_t codeStart = offset_ - 3;
            if (b == uint8_t(VideoStartCode::SequenceHeader)) sequencePending_ = 4;
            if (b == uint8_t(VideoStartCode::Picture)) {
                pending_ = 2;
                pictureStart_ = codeStart;
            } else if (b == uint8_t(VideoStartCode::SequenceHeader) || b == uint8_t(VideoStartCode::GroupOfPictures)) {
                if (!accessStart_) accessStart_ = codeStart;
                if (b == uint8_t(VideoStartCode::GroupOfPictures)) {
                    groupBase_ = picturesSeen_;
                    ++groups_;
                }
            }
        }
        prefix_ = ((prefix_ << 8) | b) & 0xFFFFFF;
    }
}

}  // namespace qorvcd
